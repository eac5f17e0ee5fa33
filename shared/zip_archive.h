// Zip archives (single volume; stored and deflated entries; the traditional
// PKWARE encryption): listing, extraction into a folder or into memory,
// adding and deleting entries. Every operation reports success as its
// result; nothing is thrown out of this module.
//
// An archive opened for changing is rewritten as a whole on Close: the new
// archive is written beside the old one and moved over it only when it is
// complete, so a failure leaves the old archive as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

struct ZipEntryHeader {
  std::string name;  // as stored: a relative path with "/" or "\" between folders
  bool is_directory = false;
  bool is_encrypted = false;
  uint32_t attributes = 0;  // external attributes; the low byte holds DOS attributes
  uint16_t dos_date = 0;
  uint16_t dos_time = 0;
  uint16_t method = 0;  // 0 stored, 8 deflate
  uint32_t crc32 = 0;
  uint32_t compressed_size = 0;  // including the 12-byte encryption header
  uint32_t uncompressed_size = 0;
};

enum class ZipOpenMode { kRead, kChange };

class ZipArchive {
 public:
  static constexpr int kMaxEntries = 65535;
  static constexpr size_t kDefaultBufferSize = 65535;

  ZipArchive();
  // Closes the archive; changes that were not committed by Close are dropped.
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  // Opens an existing archive and reads its central directory. Fails for
  // anything that is not a sound single-volume zip archive.
  bool Open(const std::string& path, ZipOpenMode mode = ZipOpenMode::kRead);
  // Opens an archive held in memory (copied), for reading.
  bool OpenFromMemory(const void* data, size_t size);
  // Starts a new, empty archive; the file is written by Close and replaces
  // any file of that name.
  bool Create(const std::string& path);
  bool IsOpen() const;

  // Writes the changed archive (if anything changed) and closes it. The
  // result is false when the archive could not be written.
  bool Close();
  // Closes without writing any change.
  void Discard();

  // The password for reading encrypted entries and for encrypting new ones;
  // one of fewer than two characters means no password.
  void SetPassword(const std::string& password);

  int GetEntryCount() const;
  // Null for an index out of range.
  const ZipEntryHeader* GetEntryHeader(int index) const;
  std::string GetEntryName(int index) const;
  // Index of the entry with this stored name ("/" and "\" match each other;
  // an exact match is preferred over one that differs in ASCII case), or -1.
  int FindEntry(const std::string& name) const;

  // Extracts entry `index` into `folder` (created when missing), under its
  // stored path or, without `keep_path`, under its file name alone. The data
  // are checked against the CRC-32 before the file appears under its name; a
  // stored name that could leave the folder fails without writing anything.
  bool ExtractEntry(int index, const std::string& folder, bool keep_path = true,
                    size_t buffer_size = kDefaultBufferSize);
  // The entry's data, checked against the CRC-32.
  bool ExtractEntryToMemory(int index, std::vector<char>& out);

  // Changing (archives opened with ZipOpenMode::kChange or created).
  bool DeleteEntry(int index);
  // Adds an entry deflated at the default level (and encrypted when a
  // password is set). A name ending in "/" adds an empty folder entry. Fails
  // for an unsafe name and when the archive already holds kMaxEntries.
  bool AddEntryFromMemory(const std::string& name, const void* data, size_t size);
  bool AddEntryFromMemory(const std::string& name, const std::string& data);
  // As above with the content and modification time of a file.
  bool AddEntryFromFile(const std::string& name, const std::string& file_path);

 private:
  struct State;

  bool ExtractIntoFile(int index, const std::string& folder, bool keep_path, size_t buffer_size);
  bool AddEntry(const std::string& name, const unsigned char* data, size_t size, const time_t* modified);

  std::unique_ptr<State> state_;
};

// The named entry of an archive (with an optional password) in a buffer one
// byte longer than the entry whose last byte is zero, so that a text entry is
// zero-terminated. Nothing when the archive or the entry cannot be read.
std::optional<std::vector<char>> ReadArchiveEntry(const std::string& archive_path, const std::string& entry_name,
                                                  const std::string& password);
// The same for an archive held in memory.
std::optional<std::vector<char>> ReadArchiveEntryFromBytes(const void* archive_data, size_t archive_size,
                                                           const std::string& entry_name,
                                                           const std::string& password);

// Adds the file `file_path` to the archive (created when missing) as
// `stored_name`, replacing any entry of that name.
bool PackIntoArchive(const std::string& archive_path, const std::string& file_path, const std::string& stored_name,
                     const std::string& password);

// Replaces the entry `entry_name` of an existing archive with `text` (adding
// it when absent); true when the new entry was written.
bool ReplaceArchiveEntry(const std::string& archive_path, const std::string& entry_name, const std::string& text,
                         const std::string& password);

}  // namespace corvane
