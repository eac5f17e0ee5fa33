// The systems the unit tests run on; the Windows build uses
// local_file_write_win.cpp.
#if !defined(_WIN32)

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "updater/engine/local_file_write.h"

namespace corvane {

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

}  // namespace corvane

#endif
