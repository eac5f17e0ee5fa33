#include "win32/safe_dll.h"

#include <string>

namespace corvane {

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

void RestrictDllSearchToSystem() {
  // Looked up at run time: older systems without the update lack the entry.
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      kernel ? ::GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr);
  if (set_default) set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Also drop the current folder from the legacy search order.
  ::SetDllDirectoryA("");
}

HMODULE LoadSystemLibrary(const char* name) {
  char system_dir[MAX_PATH] = {};
  UINT len = ::GetSystemDirectoryA(system_dir, MAX_PATH);
  if (len == 0 || len >= MAX_PATH) return nullptr;
  std::string path(system_dir);
  if (path.back() != '\\') path += '\\';
  path += name;
  return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace corvane
