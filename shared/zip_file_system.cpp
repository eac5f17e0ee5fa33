#include "shared/zip_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>

#include "shared/text_util.h"
#include "shared/zip_format.h"

#ifdef _WIN32
// Only this helper talks to Windows directly; its header stays portable.
#include <io.h>
#include <sys/utime.h>
#include <windows.h>
#else
#include <unistd.h>
#include <utime.h>
#endif

namespace corvane {
namespace zipfs {

namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';

bool SeekTo(FILE* file, uint64_t offset) { return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0; }

bool FileSizeOf(FILE* file, uint64_t& size) {
  if (_fseeki64(file, 0, SEEK_END) != 0) return false;
  __int64 end = _ftelli64(file);
  if (end < 0) return false;
  size = static_cast<uint64_t>(end);
  return true;
}

int OpenExclusive(const std::string& path) {
  return _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
}

FILE* StreamFromDescriptor(int fd) { return _fdopen(fd, "wb"); }

bool MoveOver(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool MakeOneDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool LocalTime(time_t when, struct tm& out) { return localtime_s(&out, &when) == 0; }
#else
constexpr char kSeparator = '/';

bool SeekTo(FILE* file, uint64_t offset) { return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0; }

bool FileSizeOf(FILE* file, uint64_t& size) {
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  size = static_cast<uint64_t>(info.st_size);
  return true;
}

int OpenExclusive(const std::string& path) { return open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0666); }

FILE* StreamFromDescriptor(int fd) { return fdopen(fd, "wb"); }

bool MoveOver(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

bool MakeOneDirectory(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

bool LocalTime(time_t when, struct tm& out) { return localtime_r(&when, &out) != nullptr; }
#endif

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

constexpr size_t kWriteBufferSize = 256 * 1024;

// stat() of the Windows runtime refuses "C:\app\"; roots keep their separator.
std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && IsSeparator(path.back()) && !(path.size() == 3 && path[1] == ':')) path.pop_back();
  return path;
}

uint32_t RandomSuffix() {
  uint32_t seed = static_cast<uint32_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
  try {
    std::random_device device;
    seed ^= device();
  } catch (...) {
  }
  std::mt19937 generator(seed);
  return generator();
}

}  // namespace

MemoryByteSource::MemoryByteSource(const void* data, size_t size)
    : bytes_(static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + size) {}

bool MemoryByteSource::ReadAt(uint64_t offset, void* buffer, size_t size) {
  if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
  if (size > 0) std::memcpy(buffer, bytes_.data() + offset, size);
  return true;
}

std::unique_ptr<FileByteSource> FileByteSource::Open(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return nullptr;
  uint64_t size = 0;
  if (!FileSizeOf(file, size) || !SeekTo(file, 0)) {
    std::fclose(file);
    return nullptr;
  }
  return std::unique_ptr<FileByteSource>(new FileByteSource(file, size));
}

FileByteSource::~FileByteSource() { std::fclose(file_); }

bool FileByteSource::ReadAt(uint64_t offset, void* buffer, size_t size) {
  if (offset > size_ || size > size_ - offset) return false;
  if (size == 0) return true;
  if (offset != position_ && !SeekTo(file_, offset)) return false;
  size_t got = std::fread(buffer, 1, size, file_);
  position_ = offset + got;
  if (got != size) {
    // Keep the next read from trusting a position the stream may not have.
    position_ = UINT64_MAX;
    return false;
  }
  return true;
}

StagedFile::~StagedFile() {
  if (!committed_) Abandon();
}

void StagedFile::Abandon() {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temp_path_.empty()) {
#ifdef _WIN32
    // A read-only attribute may already have been given to the file.
    SetFileAttributesA(temp_path_.c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
    std::remove(temp_path_.c_str());
    temp_path_.clear();
  }
}

bool StagedFile::Create(const std::string& final_path) {
  Abandon();
  committed_ = false;
  final_path_ = final_path;
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string candidate = final_path + Format(".~%08x", RandomSuffix());
    int fd = OpenExclusive(candidate);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    file_ = StreamFromDescriptor(fd);
    if (!file_) {
#ifdef _WIN32
      _close(fd);
#else
      close(fd);
#endif
      std::remove(candidate.c_str());
      return false;
    }
    // Entry data arrive in pieces of about 64 KiB; a larger stream buffer
    // turns them into fewer, larger writes.
    std::setvbuf(file_, nullptr, _IOFBF, kWriteBufferSize);
    temp_path_ = candidate;
    return true;
  }
  return false;
}

bool StagedFile::Write(const void* data, size_t size) {
  if (!file_) return false;
  return size == 0 || std::fwrite(data, 1, size, file_) == size;
}

bool StagedFile::Finish() {
  if (!file_) return !temp_path_.empty();
  bool ok = std::fflush(file_) == 0;
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  return ok;
}

bool StagedFile::Commit() {
  if (temp_path_.empty() || !Finish()) return false;
  if (!MoveOver(temp_path_, final_path_)) return false;
  committed_ = true;
  temp_path_.clear();
  return true;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (IsSeparator(folder.back())) return folder + name;
  return folder + kSeparator + name;
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(WithoutTrailingSeparators(path).c_str(), &info) == 0 && (info.st_mode & S_IFMT) == S_IFDIR;
}

bool PathExists(const std::string& path) {
  struct stat info;
  return stat(WithoutTrailingSeparators(path).c_str(), &info) == 0;
}

bool RemoveFile(const std::string& path) { return std::remove(path.c_str()) == 0; }

bool MakeDirectories(const std::string& path) {
  if (path.empty()) return false;
  if (IsDirectory(path)) return true;
  // Prefixes that are roots, drives or network shares cannot be created and
  // need not be; only the result matters.
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && !IsSeparator(path[i])) continue;
    std::string prefix = path.substr(0, i);
    if (IsSeparator(prefix.back()) || IsDirectory(prefix)) continue;
    MakeOneDirectory(prefix);
  }
  return IsDirectory(path);
}

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& out) {
  std::unique_ptr<FileByteSource> source = FileByteSource::Open(path);
  if (!source || source->Size() > UINT32_MAX) return false;
  out.resize(static_cast<size_t>(source->Size()));
  return source->ReadAt(0, out.data(), out.size());
}

bool GetModificationTime(const std::string& path, time_t& out) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  out = info.st_mtime;
  return true;
}

bool SetModificationTime(const std::string& path, time_t when) {
#ifdef _WIN32
  struct _utimbuf times;
  times.actime = when;
  times.modtime = when;
  return _utime(path.c_str(), &times) == 0;
#else
  struct utimbuf times;
  times.actime = when;
  times.modtime = when;
  return utime(path.c_str(), &times) == 0;
#endif
}

bool DosDateTimeToTime(uint16_t dos_date, uint16_t dos_time, time_t& out) {
  struct tm parts;
  std::memset(&parts, 0, sizeof parts);
  parts.tm_mday = dos_date & 0x1f;
  parts.tm_mon = ((dos_date >> 5) & 0x0f) - 1;
  parts.tm_year = (dos_date >> 9) + 80;
  parts.tm_sec = (dos_time & 0x1f) * 2;
  parts.tm_min = (dos_time >> 5) & 0x3f;
  parts.tm_hour = dos_time >> 11;
  parts.tm_isdst = -1;
  if (parts.tm_mday < 1 || parts.tm_mon < 0 || parts.tm_mon > 11 || parts.tm_hour > 23 || parts.tm_min > 59 ||
      parts.tm_sec > 59) {
    return false;
  }
  time_t result = std::mktime(&parts);
  if (result == static_cast<time_t>(-1)) return false;
  out = result;
  return true;
}

void TimeToDosDateTime(time_t when, uint16_t& dos_date, uint16_t& dos_time) {
  struct tm parts;
  if (!LocalTime(when, parts) || parts.tm_year < 80) {
    dos_date = (1 << 5) | 1;  // 1980-01-01, the earliest the format holds
    dos_time = 0;
    return;
  }
  if (parts.tm_year > 207) {
    dos_date = static_cast<uint16_t>((127 << 9) | (12 << 5) | 31);
    dos_time = static_cast<uint16_t>((23 << 11) | (59 << 5) | 29);
    return;
  }
  dos_date = static_cast<uint16_t>(((parts.tm_year - 80) << 9) | ((parts.tm_mon + 1) << 5) | parts.tm_mday);
  int seconds = parts.tm_sec > 59 ? 59 : parts.tm_sec;  // leap second
  dos_time = static_cast<uint16_t>((parts.tm_hour << 11) | (parts.tm_min << 5) | (seconds / 2));
}

bool ApplyAttributes(const std::string& path, uint8_t host, uint32_t external_attributes, bool is_directory) {
#ifdef _WIN32
  (void)host;
  DWORD attributes = external_attributes & (zipfmt::kDosReadOnly | zipfmt::kDosHidden | zipfmt::kDosSystem |
                                            zipfmt::kDosArchive);
  if (is_directory) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
  return SetFileAttributesA(path.c_str(), attributes) != 0;
#else
  unsigned unix_mode = (external_attributes >> 16) & 0777;
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  mode_t mode = info.st_mode & 0777;
  if (host == zipfmt::kHostUnix && unix_mode != 0) {
    // Permission bits only: set-id and sticky bits from an archive are not honoured.
    mode = static_cast<mode_t>(unix_mode);
  } else if (external_attributes & zipfmt::kDosReadOnly) {
    mode &= static_cast<mode_t>(~0222);
  }
  // A folder must stay writable and searchable for the entries that follow.
  if (is_directory) mode |= 0700;
  return chmod(path.c_str(), mode) == 0;
#endif
}

}  // namespace zipfs
}  // namespace corvane
