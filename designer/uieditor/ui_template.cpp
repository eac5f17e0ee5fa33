#include "designer/uieditor/ui_template.h"

#include <cstdio>
#include <set>

#include "designer/uieditor/ui_config_writer.h"
#include "shared/archive_password.h"
#include "shared/folder_tree.h"
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
const char kTemplateTwinReason[] = "\r\nThe template holds more than one entry named ";
const char kTemplateSystemDatReason[] = "\r\nA template can not replace the built-in design system.dat.";
const char kTemplateTooLargeMessage[] = "The template is too large: ";
const char kTemplateTooLargeReason[] = "\r\nIts files would take more than 64 MiB.";

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

namespace {

// A checked template: its file entries (by index) with their checked folder
// and file names, and its folder entries.
struct TemplateEntries {
  std::vector<int> files;
  std::vector<std::vector<std::string>> file_parts;
  std::vector<std::vector<std::string>> folders;
};

std::string EntryKey(const std::vector<std::string>& parts) {
  std::string key;
  for (const std::string& part : parts) key += (key.empty() ? "" : "/") + ToLowerAscii(part);
  return key;
}

// Every entry is checked before anything is written: each name must stay
// inside the folder, no two may name the same file as Windows reads names
// (without regard to case, "/" and "\" alike), none may be "system.dat" (the
// built-in design is the designer's own), and the whole must fit the bound.
bool CheckTemplateEntries(ZipArchive& archive, const std::string& name, TemplateEntries* out, std::string* error) {
  const std::string refused = kTemplateFormatError + name;
  std::set<std::string> file_keys, folder_keys;
  uint64_t total = 0;
  std::vector<std::string> parts;
  for (int i = 0; i < archive.GetEntryCount(); ++i) {
    const ZipEntryHeader* header = archive.GetEntryHeader(i);
    if (!header || !SplitStoredName(header->name, parts)) {
      Fail(error, refused);
      return false;
    }
    const std::string key = EntryKey(parts);
    if (header->is_directory) {
      folder_keys.insert(key);
      out->folders.push_back(parts);
      continue;
    }
    if (!file_keys.insert(key).second) {
      Fail(error, refused + kTemplateTwinReason + header->name);
      return false;
    }
    if (parts.size() == 1 && EqualsNoCase(parts[0], kDefaultDesignFile)) {
      Fail(error, refused + kTemplateSystemDatReason);
      return false;
    }
    total += header->uncompressed_size;
    if (total > kMaxTemplateUnpackedBytes) {
      Fail(error, kTemplateTooLargeMessage + name + kTemplateTooLargeReason);
      return false;
    }
    out->files.push_back(i);
    out->file_parts.push_back(parts);
  }
  // A file may not also be a folder of another entry ("res" and "res/a.bmp").
  for (const std::string& key : file_keys) {
    const std::string below = key + "/";
    auto next = file_keys.lower_bound(below);
    auto folder = folder_keys.lower_bound(key);
    if ((next != file_keys.end() && next->compare(0, below.size(), below) == 0) ||
        (folder != folder_keys.end() && (*folder == key || folder->compare(0, below.size(), below) == 0))) {
      Fail(error, refused);
      return false;
    }
  }
  if (archive.FindEntry(kTemplateEntry) < 0) {
    Fail(error, refused);
    return false;
  }
  return true;
}

std::string JoinParts(std::string path, const std::vector<std::string>& parts) {
  for (const std::string& part : parts) path = zipfs::JoinPath(path, part);
  return path;
}

// Writes one entry as a plain new file: the archive's attributes (read-only,
// hidden) are not carried over, so the next template can replace it.
bool WriteStagedFile(const std::string& path, const void* data, size_t size) {
  const size_t slash = path.find_last_of("/\\");
  zipfs::StagedFile out;
  return (slash == std::string::npos || zipfs::MakeDirectories(path.substr(0, slash))) && out.Create(path) &&
         out.Write(data, size) && out.Commit();
}

bool CopyFileBytes(const std::string& from, const std::string& to) {
  std::vector<unsigned char> bytes;
  return zipfs::ReadWholeFile(from, bytes) && WriteStagedFile(to, bytes.data(), bytes.size());
}

// The built-in design stays with the current template's folder: its
// "system.dat" and the images and icon it names are carried into the new
// folder, unless the template brings a file of that name.
bool KeepBuiltInDesign(const std::string& defui, const std::string& staging) {
  const std::string built_in = zipfs::JoinPath(defui, kDefaultDesignFile);
  if (!IsRegularFile(built_in)) return true;
  if (!CopyFileBytes(built_in, zipfs::JoinPath(staging, kDefaultDesignFile))) return false;
  UiDesign design = NewUiDesign();
  if (!LoadDesignFromUiFile(built_in, &design)) return true;
  std::vector<std::string> used{design.sysicon};
  for (const DesignWindow& window : design.windows) {
    for (const DesignImage& image : window.images) used.push_back(image.source);
  }
  for (const std::string& path : used) {
    if (path.size() <= defui.size() + 1 || path.compare(0, defui.size(), defui) != 0 ||
        (path[defui.size()] != '/' && path[defui.size()] != '\\')) {
      continue;
    }
    const std::string target = staging + path.substr(defui.size());
    if (IsRegularFile(path) && !zipfs::PathExists(target) && !CopyFileBytes(path, target)) return false;
  }
  return true;
}

std::string WithoutTrailingSeparator(std::string folder) {
  while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  return folder;
}

// Puts the unpacked template in place of the folder as a whole; on failure
// the former folder is put back.
bool SwapInFolder(const std::string& staging, const std::string& folder) {
  const std::string old = folder + ".old";
  if (!DeleteFolderTree(old)) return false;
  const bool had_folder = zipfs::PathExists(folder);
  if (had_folder && std::rename(folder.c_str(), old.c_str()) != 0) return false;
  if (std::rename(staging.c_str(), folder.c_str()) != 0) {
    if (had_folder) std::rename(old.c_str(), folder.c_str());
    return false;
  }
  DeleteFolderTree(old);
  return true;
}

}  // namespace

bool OpenUiTemplateArchive(ZipArchive& archive, const std::string& name, const std::string& defui_folder,
                           UiDesign* design, std::string* error) {
  const std::string refused = kTemplateFormatError + name;
  TemplateEntries entries;
  if (!CheckTemplateEntries(archive, name, &entries, error)) return false;
  std::vector<char> text;
  if (!archive.ExtractEntryToMemory(archive.FindEntry(kTemplateEntry), text)) {
    Fail(error, refused);
    return false;
  }
  UiDesign read = *design;
  if (!ReadDesignFromUiText(std::string(text.begin(), text.end()), defui_folder, &read)) {
    Fail(error, refused);
    return false;
  }
  // Unpacked whole into a folder of its own first: an entry that turns out
  // damaged leaves the current template as it was.
  const std::string folder = WithoutTrailingSeparator(defui_folder);
  const std::string staging = folder + ".new";
  bool ok = DeleteFolderTree(staging) && zipfs::MakeDirectories(staging);
  for (const std::vector<std::string>& parts : entries.folders) {
    ok = ok && zipfs::MakeDirectories(JoinParts(staging, parts));
  }
  std::vector<char> bytes;
  for (size_t i = 0; ok && i < entries.files.size(); ++i) {
    ok = archive.ExtractEntryToMemory(entries.files[i], bytes) &&
         WriteStagedFile(JoinParts(staging, entries.file_parts[i]), bytes.data(), bytes.size());
  }
  ok = ok && KeepBuiltInDesign(folder, staging) && SwapInFolder(staging, folder);
  if (!ok) {
    DeleteFolderTree(staging);
    Fail(error, refused);
    return false;
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
