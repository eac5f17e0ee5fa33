#include "designer/folder_ops_win.h"

#include <windows.h>
#include <shlobj.h>

namespace corvane {

bool FolderExists(const std::string& path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateFolderPath(const std::string& path) {
  std::string full = path;
  while (full.size() > 3 && (full.back() == '\\' || full.back() == '/')) full.pop_back();
  if (FolderExists(full)) return true;
  char absolute[MAX_PATH * 2] = {};
  if (!::GetFullPathNameA(full.c_str(), sizeof(absolute), absolute, nullptr)) return false;
  int rc = ::SHCreateDirectoryExA(nullptr, absolute, nullptr);
  return rc == ERROR_SUCCESS || rc == ERROR_ALREADY_EXISTS || FolderExists(full);
}

}  // namespace corvane
