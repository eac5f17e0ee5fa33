#include "updater/engine/local_file_write.h"

#include <windows.h>

#include "win32/scoped_handles.h"

namespace corvane {

bool WriteFileFlushed(const std::string& path, const std::string& bytes) {
  ScopedFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD wrote = 0;
    if (!::WriteFile(file.Get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done),
                     &wrote, nullptr) ||
        wrote == 0) {
      return false;
    }
    done += wrote;
  }
  return ::FlushFileBuffers(file.Get()) != FALSE;
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

}  // namespace corvane
