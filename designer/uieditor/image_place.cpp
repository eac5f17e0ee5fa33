#include "designer/uieditor/image_place.h"

#include "shared/text_util.h"
#include "shared/zip_path.h"

namespace corvane {

const char kImageOutsideMessage[] = "The image is not in the project folder: ";

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAbsolute(const std::string& path) {
  return !path.empty() && (IsSeparator(path[0]) || (path.size() >= 2 && path[1] == ':'));
}

std::string WithoutTrailingSeparators(std::string folder) {
  while (folder.size() > 1 && IsSeparator(folder.back())) folder.pop_back();
  return folder;
}

// The part of `path` below `folder`, when `path` lies inside it and the part
// is made of plain names only.
bool PartBelow(const std::string& path, const std::string& folder, std::string* below) {
  const std::string base = WithoutTrailingSeparators(folder);
  if (base.empty() || path.size() <= base.size() + 1 || !IsSeparator(path[base.size()])) return false;
  if (!StoredNamesEqual(path.substr(0, base.size()), base, true)) return false;
  std::vector<std::string> parts;
  const std::string rest = path.substr(base.size() + 1);
  if (!SplitStoredName(rest, parts)) return false;
  *below = rest;
  return true;
}

}  // namespace

std::string PlacedImagePath(const std::string& source, const std::vector<std::string>& folders) {
  const std::string path = Trim(source);
  if (path.empty()) return std::string();
  std::string below;
  if (IsAbsolute(path)) {
    for (const std::string& folder : folders) {
      if (PartBelow(path, folder, &below)) return path;
    }
    return std::string();
  }
  std::vector<std::string> parts;
  if (folders.empty() || !SplitStoredName(path, parts)) return std::string();
  const std::string base = WithoutTrailingSeparators(folders.front());
  if (base.empty()) return std::string();
  const char separator = base.find('\\') != std::string::npos ? '\\' : '/';
  std::string placed = base;
  for (const std::string& part : parts) placed += separator + part;
  return placed;
}

std::string RelativeToFolder(const std::string& path, const std::string& folder) {
  std::string below;
  return PartBelow(path, folder, &below) ? below : path;
}

bool PlaceDesignImages(UiDesign* design, const std::vector<std::string>& folders, std::string* error) {
  bool all = true;
  auto place = [&](std::string& source) {
    if (Trim(source).empty()) return;
    const std::string path = PlacedImagePath(source, folders);
    if (!path.empty()) {
      source = path;
    } else if (all) {
      all = false;
      if (error) *error = kImageOutsideMessage + source;
    }
  };
  place(design->sysicon);
  for (DesignWindow& window : design->windows) {
    for (DesignImage& image : window.images) place(image.source);
  }
  return all;
}

UiDesign DesignRelativeTo(const UiDesign& design, const std::string& project_folder) {
  UiDesign relative = design;
  relative.sysicon = RelativeToFolder(relative.sysicon, project_folder);
  for (DesignWindow& window : relative.windows) {
    for (DesignImage& image : window.images) image.source = RelativeToFolder(image.source, project_folder);
  }
  return relative;
}

std::string ImageCopyTarget(const std::string& project_folder, const std::string& chosen,
                            bool (*exists)(const std::string&)) {
  const size_t slash = chosen.find_last_of("\\/");
  std::string name = slash == std::string::npos ? chosen : chosen.substr(slash + 1);
  if (!IsSafePathComponent(name)) name = "image";
  const size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
  const std::string base = WithoutTrailingSeparators(project_folder);
  const char separator = base.find('\\') != std::string::npos ? '\\' : '/';
  const std::string folder = base + separator + "images" + separator;
  std::string target = folder + name;
  for (int n = 2; exists(target); ++n) target = folder + stem + Format("_%d", n) + extension;
  return target;
}

}  // namespace corvane
