// update.exe: entry point.
#include <windows.h>

#include <cstdlib>

#include "shared/md5_drain_win.h"
#include "updater/engine/updater_app.h"
#include "win32/safe_dll.h"

// The C++ runtime's default handler for an uncaught exception prints the
// exception's demangled type name on the console, which pulls the whole
// demangler into the program. The updater has no console, and nothing may
// escape a stage anyway: end the process as the default handler would.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
  // Before anything loads a library at run time: the updater's folder is
  // writable by users, so a DLL planted there must never be picked up.
  corvane::RestrictDllSearchToSystem();

  // Digests of large downloads keep the wizard responsive.
  corvane::InstallMd5MessageDrain();

  corvane::UpdaterApp app;
  app.Run(command_line);
  // Results reach the host only through posted messages.
  return 0;
}
