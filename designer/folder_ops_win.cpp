#include "designer/folder_ops_win.h"

#include <windows.h>
#include <shlobj.h>

#include "win32/scoped_handles.h"

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

bool DeleteFolderTree(const std::string& path) {
  std::string folder = path;
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  WIN32_FIND_DATAA found;
  ScopedFind find(::FindFirstFileA((folder + "\\*").c_str(), &found));
  bool ok = true;
  if (find.Valid()) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = folder + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        ok = DeleteFolderTree(child) && ok;
      } else {
        ::SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        ok = ::DeleteFileA(child.c_str()) != FALSE && ok;
      }
    } while (::FindNextFileA(find.Get(), &found));
  }
  find.Reset();
  return ::RemoveDirectoryA(folder.c_str()) != FALSE && ok;
}

}  // namespace corvane
