#include "designer/uieditor/ui_template.h"

#include "designer/uieditor/ui_config_writer.h"
#include "shared/archive_password.h"
#include "shared/ini_store.h"
#include "shared/text_util.h"
#include "shared/zip_archive.h"
#include "shared/zip_file_system.h"
#include "shared/zip_path.h"
#include "updater/ui/ui_config.h"

namespace corvane {

const char kTemplateHeader[] = "//Created by Corvane";
const char kTemplateEntry[] = "umb.dat";
const char kDefaultDesignFile[] = "system.dat";
const char kTemplateExtension[] = ".umb";
const char kTemplateFilter[] = "Template File(*.umb)|*.umb||";
const char kNotFoundMessage[] = "Not find file:";
const char kCreateFileMessage[] = "Failed to create file:";
const char kTemplateFormatError[] = "Template file format error:";
const char kOverwriteQuestion[] = "File already exists, overwrite?";

namespace {

constexpr char kRecentSection[] = "umb";

void Fail(std::string* error, const std::string& message) {
  if (error) *error = message;
}

// An entry name of the file ("res\logo.bmp") as a path under `folder`;
// empty for no entry or one that would leave the folder.
std::string EntryUnder(const std::string& folder, const std::string& entry) {
  std::vector<std::string> parts;
  if (Trim(entry).empty() || !SplitStoredName(Trim(entry), parts)) return std::string();
  std::string path = folder;
  for (const std::string& part : parts) path = zipfs::JoinPath(path, part);
  return path;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool IsRegularFile(const std::string& path) { return zipfs::PathExists(path) && !zipfs::IsDirectory(path); }

}  // namespace

bool SaveUiTemplate(const UiDesign& design, const std::string& name, const std::string& author,
                    const std::string& designer_version, const std::string& path, std::string* error) {
  UiDesign named = design;
  named.template_name = name;
  named.template_author = author;
  UiPackage package;
  if (!BuildUiPackage(named, designer_version, &package, error)) return false;
  if (!PackUiPackage(package, path, kTemplateEntry, std::string(kTemplateHeader) + "\r\n")) {
    Fail(error, kCreateFileMessage + path);
    return false;
  }
  return true;
}

bool ReadDesignFromUiText(const std::string& text, const std::string& base_folder, UiDesign* design) {
  IniStore store;
  if (!store.LoadFromText(text)) return false;
  const UiDesign fresh = NewUiDesign();
  UiDesign read = fresh;
  read.current_window = design->current_window;
  read.use_custom = design->use_custom;
  for (int n = 0; n < kWizardWindows; ++n) {
    ReadDesignWindow(store, n, &read.windows[n]);
    for (int h = 0; h < 2; ++h) {
      DesignImage& image = read.windows[n].images[h];
      // An untouched default has no file; anything read names an entry.
      image.source = EntryUnder(base_folder, image.source);
    }
  }
  ReadDesignUiSection(store, &read);
  const SysIconSetting icon = ParseSysIcon(store.GetString("UI", "sysicon"));
  read.sysicon = icon.kind == SysIconSetting::kStrip ? EntryUnder(base_folder, icon.entry) : std::string();
  *design = std::move(read);
  return true;
}

bool LoadDesignFromUiFile(const std::string& path, UiDesign* design) {
  std::vector<unsigned char> bytes;
  if (!zipfs::ReadWholeFile(path, bytes)) return false;
  return ReadDesignFromUiText(std::string(bytes.begin(), bytes.end()), FolderOf(path), design);
}

bool OpenUiTemplateArchive(ZipArchive& archive, const std::string& name, const std::string& defui_folder,
                           UiDesign* design, std::string* error) {
  const std::string refused = kTemplateFormatError + name;
  // Every name is checked before anything is written, so that a hostile
  // archive leaves the current template as it was.
  const int count = archive.GetEntryCount();
  std::vector<std::string> parts;
  for (int i = 0; i < count; ++i) {
    if (!SplitStoredName(archive.GetEntryName(i), parts)) {
      Fail(error, refused);
      return false;
    }
  }
  const int text_index = archive.FindEntry(kTemplateEntry);
  std::vector<char> text;
  if (text_index < 0 || !archive.ExtractEntryToMemory(text_index, text)) {
    Fail(error, refused);
    return false;
  }
  UiDesign read = *design;
  if (!ReadDesignFromUiText(std::string(text.begin(), text.end()), defui_folder, &read)) {
    Fail(error, refused);
    return false;
  }
  if (!zipfs::MakeDirectories(defui_folder)) {
    Fail(error, refused);
    return false;
  }
  for (int i = 0; i < count; ++i) {
    if (!archive.ExtractEntry(i, defui_folder, true)) {
      Fail(error, refused);
      return false;
    }
  }
  *design = std::move(read);
  return true;
}

bool OpenUiTemplate(const std::string& path, const std::string& defui_folder, UiDesign* design,
                    std::string* error) {
  if (!IsRegularFile(path)) {
    Fail(error, kNotFoundMessage + path);
    return false;
  }
  if (!EndsWithNoCase(path, kTemplateExtension)) {
    Fail(error, kTemplateFormatError + path);
    return false;
  }
  ZipArchive archive;
  if (!archive.Open(path, ZipOpenMode::kRead)) {
    Fail(error, kTemplateFormatError + path);
    return false;
  }
  archive.SetPassword(ArchivePassword());
  return OpenUiTemplateArchive(archive, path, defui_folder, design, error);
}

std::vector<std::string> ReadRecentTemplates(IniStore& status) {
  std::vector<std::string> list;
  for (int i = 0; i < kMaxRecentTemplates; ++i) {
    const std::string path = Trim(status.GetString(kRecentSection, Format("name%d", i)));
    if (path.empty()) break;
    if (IsRegularFile(path)) list.push_back(path);
  }
  return list;
}

std::vector<std::string> PromoteRecentTemplate(std::vector<std::string> list, const std::string& path) {
  std::vector<std::string> kept;
  for (std::string& entry : list) {
    if (!EqualsNoCase(entry, path)) kept.push_back(std::move(entry));
  }
  while (static_cast<int>(kept.size()) >= kMaxRecentTemplates) kept.pop_back();
  kept.insert(kept.begin(), path);
  return kept;
}

bool WriteRecentTemplates(IniStore& status, const std::vector<std::string>& list) {
  bool ok = true;
  for (int i = 0; i < kMaxRecentTemplates; ++i) {
    const std::string value = i < static_cast<int>(list.size()) ? list[static_cast<size_t>(i)] : std::string();
    ok = status.SetString(kRecentSection, Format("name%d", i), value) && ok;
  }
  return ok;
}

}  // namespace corvane
