// One-call operations on a single named entry, as the configuration readers
// and writers of both programs use them.
#include "shared/zip_archive.h"
#include "shared/zip_file_system.h"

namespace corvane {

namespace {

std::optional<std::vector<char>> ReadNamedEntry(ZipArchive& archive, const std::string& entry_name,
                                                const std::string& password) {
  archive.SetPassword(password);
  int index = archive.FindEntry(entry_name);
  if (index < 0) return std::nullopt;
  try {
    std::vector<char> data;
    if (!archive.ExtractEntryToMemory(index, data)) return std::nullopt;
    data.push_back('\0');
    return data;
  } catch (...) {
    return std::nullopt;
  }
}

void DeleteAllNamed(ZipArchive& archive, const std::string& entry_name) {
  for (int index = archive.FindEntry(entry_name); index >= 0; index = archive.FindEntry(entry_name)) {
    if (!archive.DeleteEntry(index)) return;
  }
}

}  // namespace

std::optional<std::vector<char>> ReadArchiveEntry(const std::string& archive_path, const std::string& entry_name,
                                                  const std::string& password) {
  ZipArchive archive;
  if (!archive.Open(archive_path, ZipOpenMode::kRead)) return std::nullopt;
  return ReadNamedEntry(archive, entry_name, password);
}

std::optional<std::vector<char>> ReadArchiveEntryFromBytes(const void* archive_data, size_t archive_size,
                                                           const std::string& entry_name,
                                                           const std::string& password) {
  ZipArchive archive;
  if (!archive.OpenFromMemory(archive_data, archive_size)) return std::nullopt;
  return ReadNamedEntry(archive, entry_name, password);
}

bool PackIntoArchive(const std::string& archive_path, const std::string& file_path, const std::string& stored_name,
                     const std::string& password) {
  ZipArchive archive;
  // A missing archive is started; an existing file that is not an archive is
  // never overwritten.
  bool opened = zipfs::PathExists(archive_path) ? archive.Open(archive_path, ZipOpenMode::kChange)
                                                : archive.Create(archive_path);
  if (!opened) return false;
  archive.SetPassword(password);
  DeleteAllNamed(archive, stored_name);
  if (!archive.AddEntryFromFile(stored_name, file_path)) return false;  // the archive stays as it was
  return archive.Close();
}

bool ReplaceArchiveEntry(const std::string& archive_path, const std::string& entry_name, const std::string& text,
                         const std::string& password) {
  ZipArchive archive;
  if (!archive.Open(archive_path, ZipOpenMode::kChange)) return false;
  archive.SetPassword(password);
  DeleteAllNamed(archive, entry_name);
  if (!archive.AddEntryFromMemory(entry_name, text)) return false;
  return archive.Close();
}

}  // namespace corvane
