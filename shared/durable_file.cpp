#include "shared/durable_file.h"

#ifdef _WIN32
// Only this helper talks to Windows directly; its header stays portable.
#include <windows.h>

#include "shared/durable_file_win.h"
#include "win32/scoped_handles.h"
#else
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#endif

namespace corvane {

#ifdef _WIN32
bool WriteAllFlushed(HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD wrote = 0;
    if (!::WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &wrote,
                     nullptr) ||
        wrote == 0) {
      return false;
    }
    done += wrote;
  }
  return ::FlushFileBuffers(file) != FALSE;
}

bool WriteFileFlushed(const std::string& path, const std::string& bytes) {
  ScopedFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && WriteAllFlushed(file.Get(), bytes);
}

bool FlushFileToDisk(const std::string& path) {
  ScopedFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && ::FlushFileBuffers(file.Get()) != FALSE;
}

bool RenameFileOver(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

#else
bool WriteFileFlushed(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
    ok = wrote > 0;
    if (ok) done += static_cast<size_t>(wrote);
  }
  ok = ok && ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

bool FlushFileToDisk(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

bool RenameFileOver(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

#endif

}  // namespace corvane
