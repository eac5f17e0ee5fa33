#include "updater/engine/config/install_paths.h"

#include <vector>

#include "shared/text_util.h"

namespace corvane {

namespace {

std::string PathKey(const std::string& path) {
  const std::string text = ToLowerAscii(ReplaceAll(path, "/", "\\"));
  const bool unc = StartsWith(text, "\\\\");
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\\', start);
    if (end == std::string::npos) end = text.size();
    const std::string part = text.substr(start, end - start);
    if (part == "..") {
      if (parts.size() > 1) parts.pop_back();  // never above the drive or share
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string key = unc ? "\\\\" : "";
  for (size_t i = 0; i < parts.size(); ++i) key += (i ? "\\" : "") + parts[i];
  return key;
}

}  // namespace

std::string InstallFolder(const std::string& item_path, const std::string& subfolder,
                          const std::string& updater_folder, const ExpandConstants& expand) {
  std::string folder;
  if (item_path.empty()) {
    folder = updater_folder;
  } else {
    folder = item_path;
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    folder = expand(folder);
    if (folder.find(':') == std::string::npos) {
      if (!folder.empty() && folder[0] == '\\') folder.erase(0, 1);
      folder = updater_folder + folder;
    }
  }
  if (!subfolder.empty()) folder += subfolder + "\\";
  return ReplaceAll(folder, "/", "\\");
}

bool SameInstalledPath(const std::string& a, const std::string& b) {
  return PathKey(a) == PathKey(b);
}

}  // namespace corvane
