#include "updater/engine/config/local_config.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "shared/zip_archive.h"
#include "shared/durable_file.h"

namespace corvane {

const char kLocalBinaryName[] = "update.bin";
const char kLocalTextName[] = "update.dat";
const char kLocalMemberName[] = "update.dat";
const char kLocalTempSuffix[] = ".tmp";

namespace {

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

bool DiskFolder::WriteFlushed(const std::string& name, const std::string& bytes) const {
  return WriteFileFlushed(PathOf(name), bytes);
}

bool DiskFolder::ReplaceArchiveMember(const std::string& name, const std::string& member,
                                      const std::string& text, const std::string& password) const {
  return ReplaceArchiveEntry(PathOf(name), member, text, password) && FlushFileToDisk(PathOf(name));
}

bool DiskFolder::RenameOver(const std::string& from, const std::string& to) const {
  return RenameFileOver(PathOf(from), PathOf(to));
}

bool DiskFolder::Remove(const std::string& name) const {
  return std::remove(PathOf(name).c_str()) == 0;
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
  std::string bytes;
  if (text_size > kMaxLocalFileBytes || !folder.ReadFile(kLocalTextName, &bytes) ||
      !store->LoadFromText(bytes)) {
    result.message = ParseErrorMessage(result.form);
    return result;
  }
  result.ok = true;
  return result;
}

bool ReplaceLocalFile(const LocalFolder& folder, const std::string& name, const std::string& bytes) {
  const std::string temp = name + kLocalTempSuffix;
  if (folder.WriteFlushed(temp, bytes) && folder.RenameOver(temp, name)) return true;
  folder.Remove(temp);
  return false;
}

bool SaveLocalConfiguration(const IniStore& store, const std::string& form,
                            const LocalFolder& folder, const std::string& password) {
  const std::string text = store.ToText();
  if (text.empty()) return false;
  if (form != kLocalBinaryName) return ReplaceLocalFile(folder, kLocalTextName, text);
  // The archive is rebuilt beside the old one from its present bytes, so
  // members other than "update.dat" stay; only the rename makes it count.
  std::string archive;
  const std::string temp = std::string(kLocalBinaryName) + kLocalTempSuffix;
  if (folder.ReadFile(kLocalBinaryName, &archive) && folder.WriteFlushed(temp, archive) &&
      folder.ReplaceArchiveMember(temp, kLocalMemberName, text, password) &&
      folder.RenameOver(temp, kLocalBinaryName)) {
    return true;
  }
  folder.Remove(temp);
  return false;
}

bool WriteLocalValues(IniStore& store, const std::string& form, const LocalFolder& folder,
                      const std::vector<LocalValue>& values, const std::string& password) {
  IniStore changed = store;
  for (const LocalValue& v : values) {
    if (!changed.SetString(v.section, v.key, v.value)) return false;
  }
  if (!SaveLocalConfiguration(changed, form, folder, password)) return false;
  store = changed;
  return true;
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
  return WriteLocalValues(store, form, folder, {{section, key, value}}, password);
}

bool WriteLocalVersion(IniStore& store, const std::string& form, const LocalFolder& folder,
                       const std::string& section, const std::string& version,
                       const std::string& password) {
  return WriteLocalValue(store, form, folder, section, "ver", version, password);
}

}  // namespace corvane
