#include "updater/engine/local_config.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "shared/zip_archive.h"
#include "shared/zip_file_system.h"

namespace corvane {

const char kLocalBinaryName[] = "update.bin";
const char kLocalTextName[] = "update.dat";
const char kLocalMemberName[] = "update.dat";

namespace {

// A local configuration is a few kilobytes; a file far beyond that is not
// one, and holding it in memory could exhaust a 32-bit process.
constexpr int64_t kMaxLocalFileBytes = 64 << 20;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

std::string ParseErrorMessage(const std::string& form) {
  return "Error: Local configuration file (" + form + ") parses error.";
}

}  // namespace

int64_t DiskFolder::FileSize(const std::string& name) const {
  const std::string path = PathOf(name);
#if defined(_WIN32)
  struct _stati64 info;
  if (_stati64(path.c_str(), &info) != 0) return -1;
#else
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return -1;
#endif
  if ((info.st_mode & S_IFMT) != S_IFREG) return -1;
  return static_cast<int64_t>(info.st_size);
}

bool DiskFolder::ReadFile(const std::string& name, std::string* bytes) const {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(PathOf(name).c_str(), "rb"));
  if (!file) return false;
  std::string data;
  char buffer[16384];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    if (static_cast<int64_t>(data.size() + got) > kMaxLocalFileBytes) return false;
    data.append(buffer, got);
  }
  if (std::ferror(file.get())) return false;
  bytes->swap(data);
  return true;
}

bool LoadLocalConfigFromArchive(const std::string& archive_bytes, const std::string& password,
                                IniStore* store) {
  std::optional<std::vector<char>> member = ReadArchiveEntryFromBytes(
      archive_bytes.data(), archive_bytes.size(), kLocalMemberName, password);
  if (!member || member->empty()) return false;
  // The buffer ends with a zero byte; the text is what comes before the
  // first one.
  const char* data = member->data();
  size_t length = strnlen(data, member->size());
  return store->LoadFromText(std::string(data, length));
}

LocalConfigResult ReadLocalConfiguration(const LocalFolder& folder, const std::string& password,
                                         IniStore* store) {
  LocalConfigResult result;
  if (folder.FileSize(kLocalBinaryName) > 0) {
    result.form = kLocalBinaryName;
    std::string bytes;
    if (folder.ReadFile(kLocalBinaryName, &bytes) &&
        LoadLocalConfigFromArchive(bytes, password, store)) {
      result.ok = true;
    } else {
      result.message = ParseErrorMessage(result.form);
    }
    return result;
  }
  result.form = kLocalTextName;
  const int64_t text_size = folder.FileSize(kLocalTextName);
  if (text_size <= 0) {
    result.message = "Error: Local configuration file (" + result.form + ") not found.";
    return result;
  }
  store->SetFileName(folder.PathOf(kLocalTextName));
  if (text_size > kMaxLocalFileBytes || !store->Load()) {
    result.message = ParseErrorMessage(result.form);
    return result;
  }
  result.ok = true;
  return result;
}

bool SetLocalVersion(IniStore& store, const std::string& section, const std::string& version) {
  return store.SetString(section, "ver", version);
}

bool SaveLocalArchive(const IniStore& store, const std::string& archive_path,
                      const std::string& password) {
  const std::string text = store.ToText();
  if (text.empty()) return false;
  return ReplaceArchiveEntry(archive_path, kLocalMemberName, text, password);
}

bool WriteLocalValue(IniStore& store, const std::string& form, const LocalFolder& folder,
                     const std::string& section, const std::string& key, const std::string& value,
                     const std::string& password) {
  if (!store.SetString(section, key, value)) return false;
  if (form != kLocalBinaryName) return true;
  return SaveLocalArchive(store, folder.PathOf(kLocalBinaryName), password);
}

bool WriteLocalValues(IniStore& store, const std::string& form, const LocalFolder& folder,
                      const std::vector<LocalValue>& values, const std::string& password) {
  if (form == kLocalBinaryName) {
    for (const LocalValue& v : values) {
      if (!store.SetString(v.section, v.key, v.value)) return false;
    }
    return SaveLocalArchive(store, folder.PathOf(kLocalBinaryName), password);
  }
  // The file-backed store would rewrite the file once per value; a copy in
  // memory takes them all, and the file is replaced once.
  std::string bytes;
  IniStore copy;
  if (!folder.ReadFile(kLocalTextName, &bytes) || !copy.LoadFromText(bytes)) return false;
  for (const LocalValue& v : values) {
    if (!copy.SetString(v.section, v.key, v.value)) return false;
  }
  const std::string text = copy.ToText();
  zipfs::StagedFile out;
  if (!out.Create(folder.PathOf(kLocalTextName)) || !out.Write(text.data(), text.size()) || !out.Commit()) {
    return false;
  }
  return store.Load();
}

bool WriteLocalVersion(IniStore& store, const std::string& form, const LocalFolder& folder,
                       const std::string& section, const std::string& version,
                       const std::string& password) {
  return WriteLocalValue(store, form, folder, section, "ver", version, password);
}

}  // namespace corvane
