// Feeds arbitrary bytes to the archive reader as an archive: opens it, lists
// the entries, extracts each into memory and into a temporary folder, and
// checks that nothing was written outside that folder and that whatever
// extracted matches the entry's declared size.
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "shared/zip_archive.h"

namespace {

// The password of the encrypted seeds, so that decryption is reached too.
const char kPassword[] = "s3cret";
// Larger entries are valid but make the fuzzer write gigabytes for nothing.
constexpr uint32_t kMaxExtractedSize = 1u << 20;
constexpr int kMaxEntries = 32;

void Require(bool condition) {
  if (!condition) std::abort();
}

void RemoveRoot();

// A private folder for the whole run; extraction goes two levels below it so
// that an escape by ".." or an absolute name would show up in it.
const std::string& Root() {
  // Never destroyed: the exit handler that removes the folder still needs it.
  static const std::string* const root = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "zip_open_fuzz_XXXXXX").string();
    Require(mkdtemp(&pattern[0]) != nullptr);
    std::atexit(RemoveRoot);
    return new std::string(pattern);
  }();
  return *root;
}

void RemoveRoot() {
  std::error_code ignored;
  std::filesystem::remove_all(Root(), ignored);
}

void RequireOnlyTarget(const std::string& root, const std::string& target) {
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(root, error)) {
    std::string name = item.path().filename().string();
    Require(name == "a");
  }
  for (const auto& item : std::filesystem::directory_iterator(root + "/a", error)) {
    Require(item.path().string() == target);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  corvane::ZipArchive archive;
  if (!archive.OpenFromMemory(data, size)) return 0;
  archive.SetPassword(kPassword);
  const std::string& root = Root();
  const std::string target = root + "/a/out";

  int count = archive.GetEntryCount();
  for (int i = 0; i < count && i < kMaxEntries; ++i) {
    const corvane::ZipEntryHeader* header = archive.GetEntryHeader(i);
    Require(header != nullptr);
    Require(archive.FindEntry(header->name) >= 0);
    if (header->uncompressed_size > kMaxExtractedSize) continue;
    std::vector<char> content;
    if (archive.ExtractEntryToMemory(i, content)) {
      Require(content.size() == header->uncompressed_size);
    }
    archive.ExtractEntry(i, target, true, 4096);
    archive.ExtractEntry(i, target, false);
  }
  if (count > 0) {
    std::optional<std::vector<char>> first =
        corvane::ReadArchiveEntryFromBytes(data, size, archive.GetEntryName(0), kPassword);
    if (first) Require(!first->empty() && first->back() == '\0');
  }
  RequireOnlyTarget(root, target);
  std::error_code ignored;
  std::filesystem::remove_all(root + "/a", ignored);
  return 0;
}
