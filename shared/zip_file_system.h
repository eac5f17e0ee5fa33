// The file-system work of the archive module: random-access reading of an
// archive, files written under a temporary name and moved into place only
// when complete, folders, modification times and attributes. Everything that
// differs between Windows and other systems lives behind this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace corvane {
namespace zipfs {

// Random-access reader over the bytes of an archive.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Reads exactly `size` bytes at `offset`; false when they are not all there.
  virtual bool ReadAt(uint64_t offset, void* buffer, size_t size) = 0;
};

class MemoryByteSource final : public ByteSource {
 public:
  MemoryByteSource(const void* data, size_t size);
  uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(uint64_t offset, void* buffer, size_t size) override;

 private:
  std::vector<unsigned char> bytes_;
};

class FileByteSource final : public ByteSource {
 public:
  // Nothing when the file cannot be opened for reading.
  static std::unique_ptr<FileByteSource> Open(const std::string& path);
  ~FileByteSource() override;
  FileByteSource(const FileByteSource&) = delete;
  FileByteSource& operator=(const FileByteSource&) = delete;

  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* buffer, size_t size) override;

 private:
  FileByteSource(FILE* file, uint64_t size) : file_(file), size_(size) {}

  FILE* file_;
  uint64_t size_;
  uint64_t position_ = 0;
};

// A file that is written under a temporary name beside its final path and
// only replaces that path on Commit, so that a failed write never leaves a
// partial or corrupted file behind. Dropped without Commit, it is deleted.
class StagedFile {
 public:
  StagedFile() = default;
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  bool Create(const std::string& final_path);
  bool Write(const void* data, size_t size);
  // Closes the temporary file; it can then be given a time and attributes.
  bool Finish();
  // Finishes if needed and moves the temporary file over the final path.
  bool Commit();
  const std::string& temp_path() const { return temp_path_; }

 private:
  void Abandon();

  FILE* file_ = nullptr;
  std::string final_path_;
  std::string temp_path_;
  bool committed_ = false;
};

// `folder` and `name` joined with the system's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

// Creates the folder and all its parents; true when it exists afterwards.
bool MakeDirectories(const std::string& path);
bool IsDirectory(const std::string& path);
bool PathExists(const std::string& path);
bool RemoveFile(const std::string& path);

// Reads a whole regular file of less than 4 GiB.
bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& out);
bool GetModificationTime(const std::string& path, time_t& out);
bool SetModificationTime(const std::string& path, time_t when);

// MS-DOS date and time fields (local time, two-second steps).
bool DosDateTimeToTime(uint16_t dos_date, uint16_t dos_time, time_t& out);
void TimeToDosDateTime(time_t when, uint16_t& dos_date, uint16_t& dos_time);

// Gives an extracted file or folder the attributes stored for its entry:
// `host` is the high byte of "version made by" (3 = Unix permissions in the
// high 16 bits), the low byte of `external_attributes` holds DOS attributes.
bool ApplyAttributes(const std::string& path, uint8_t host, uint32_t external_attributes, bool is_directory);

}  // namespace zipfs
}  // namespace corvane
