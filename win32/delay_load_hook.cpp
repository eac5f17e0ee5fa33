// Delay-loaded DLLs (see cmake/delayload/) come from the system folder.
//
// The updater's folder is writable by users and publishers, so a DLL planted
// there must never be loaded. RestrictDllSearchToSystem() already takes the
// folder out of the search order, but only where SetDefaultDllDirectories
// exists; naming the system folder explicitly holds on every Windows.
//
// Linked into every program that uses the delay-import libraries (not through
// the win32 layer library: nothing references this object by name, so the
// linker would never pull it out of an archive).
#include <windows.h>
#include <delayimp.h>

#include <cstring>

namespace {

HMODULE LoadFromSystemFolder(const char* dll_name) {
  char path[MAX_PATH] = {};
  UINT len = ::GetSystemDirectoryA(path, MAX_PATH);
  size_t name_len = std::strlen(dll_name);
  if (len == 0 || len + 1 + name_len >= MAX_PATH) return nullptr;
  if (path[len - 1] != '\\') path[len++] = '\\';
  std::memcpy(path + len, dll_name, name_len + 1);
  return ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Returning null lets the helper fall back to LoadLibraryA under the process
// search order, which WinMain restricts to the system folder as well.
FARPROC WINAPI OnDelayLoadNotice(unsigned notice, PDelayLoadInfo info) {
  if (notice != dliNotePreLoadLibrary || !info || !info->szDll) return nullptr;
  // The names come from the build's own .def files and are bare; anything
  // else is left to the helper rather than glued onto the system folder.
  if (std::strpbrk(info->szDll, "\\/:")) return nullptr;
  // By name, as its static import would be: the manifest's activation
  // context redirects it to the side-by-side common controls, which a path
  // into the system folder would bypass.
  if (::lstrcmpiA(info->szDll, "comctl32.dll") == 0) return nullptr;
  return reinterpret_cast<FARPROC>(LoadFromSystemFolder(info->szDll));
}

}  // namespace

// The delay-load helper's notification hook (a fixed name it looks up).
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = OnDelayLoadNotice;
}
