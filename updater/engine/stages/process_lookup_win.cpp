// Finding a running program by its executable's file name.
#include <windows.h>
#include <tlhelp32.h>

#include "shared/text_util.h"
#include "updater/engine/updater_app.h"

namespace corvane {

DWORD UpdaterApp::FindProcessByName(const std::string& file_name) {
  if (file_name.empty()) return 0;
  {
    ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.Get() != INVALID_HANDLE_VALUE && snapshot) {
      PROCESSENTRY32 entry{};
      entry.dwSize = sizeof(entry);
      for (BOOL ok = ::Process32First(snapshot.Get(), &entry); ok;
           ok = ::Process32Next(snapshot.Get(), &entry)) {
        if (EqualsNoCase(entry.szExeFile, file_name)) return entry.th32ProcessID;
      }
    } else {
      snapshot.Release();  // INVALID_HANDLE_VALUE is not ours to close
    }
  }
  // Not a separate process: perhaps a module of this very process.
  ScopedHandle modules(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, ::GetCurrentProcessId()));
  if (modules.Get() == INVALID_HANDLE_VALUE || !modules) {
    modules.Release();
    return 0;
  }
  MODULEENTRY32 module{};
  module.dwSize = sizeof(module);
  for (BOOL ok = ::Module32First(modules.Get(), &module); ok;
       ok = ::Module32Next(modules.Get(), &module)) {
    if (EndsWithNoCase(module.szExePath, file_name)) return ::GetCurrentProcessId();
  }
  return 0;
}

}  // namespace corvane
