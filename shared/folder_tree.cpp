#include "shared/folder_tree.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace corvane {

namespace {

// Without its trailing separators: "a\link\" would name the link's target.
// A drive's root keeps its separator ("C:" alone is a current folder).
std::string WithoutTrailingSeparators(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && (trimmed.back() == '\\' || trimmed.back() == '/') && trimmed[trimmed.size() - 2] != ':') {
    trimmed.pop_back();
  }
  return trimmed;
}

#ifdef _WIN32

struct FindCloser {
  HANDLE handle;
  ~FindCloser() {
    if (handle != INVALID_HANDLE_VALUE) ::FindClose(handle);
  }
};

// A link is removed as what it is: a folder link by RemoveDirectory, which
// deletes the link and leaves its target alone, a file link by DeleteFile.
// (Wine 8 shows a Unix link to a folder as a folder link and cannot remove
// it; it then stays, and so does everything it points at.)
bool RemoveLink(const std::string& path, DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ::RemoveDirectoryA(path.c_str()) != FALSE
                                                  : ::DeleteFileA(path.c_str()) != FALSE;
}

bool DeleteContents(const std::string& folder) {
  WIN32_FIND_DATAA found;
  FindCloser find{::FindFirstFileA((folder + "\\*").c_str(), &found)};
  if (find.handle == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  bool ok = true;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const std::string child = folder + "\\" + name;
    const DWORD attributes = found.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      ok = RemoveLink(child, attributes) && ok;
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      ok = DeleteContents(child) && ::RemoveDirectoryA(child.c_str()) != FALSE && ok;
    } else {
      if (attributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      ok = ::DeleteFileA(child.c_str()) != FALSE && ok;
    }
  } while (::FindNextFileA(find.handle, &found));
  return ok;
}

}  // namespace

bool DeleteFolderTree(const std::string& path) {
  const std::string folder = WithoutTrailingSeparators(path);
  const DWORD attributes = ::GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return RemoveLink(folder, attributes);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  const bool emptied = DeleteContents(folder);
  return ::RemoveDirectoryA(folder.c_str()) != FALSE && emptied;
}

#else

struct DirCloser {
  DIR* dir;
  ~DirCloser() {
    if (dir) closedir(dir);
  }
};

bool DeleteEntry(const std::string& path);

bool DeleteContents(const std::string& folder) {
  DirCloser dir{opendir(folder.c_str())};
  if (!dir.dir) return false;
  bool ok = true;
  while (const dirent* entry = readdir(dir.dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    ok = DeleteEntry(folder + "/" + name) && ok;
  }
  return ok;
}

// lstat does not follow links, so a link is unlinked like a file.
bool DeleteEntry(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return false;
  if (!S_ISDIR(info.st_mode)) return unlink(path.c_str()) == 0;
  const bool emptied = DeleteContents(path);
  return rmdir(path.c_str()) == 0 && emptied;
}

}  // namespace

bool DeleteFolderTree(const std::string& path) {
  const std::string folder = WithoutTrailingSeparators(path);
  struct stat info;
  if (lstat(folder.c_str(), &info) != 0) return true;
  if (S_ISLNK(info.st_mode)) return unlink(folder.c_str()) == 0;
  if (!S_ISDIR(info.st_mode)) return false;
  return DeleteEntry(folder);
}

#endif

}  // namespace corvane
