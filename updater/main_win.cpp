// update.exe: entry point.
#include <windows.h>

#include <cstdlib>
#include <exception>
#include <new>
#include <typeinfo>

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

// The same for the C++ runtime's error throws (a string's length beyond its
// maximum, a position past its end): the runtime's own throw a
// std::logic_error family exception with its message, which brings a second
// string implementation, the message formatter and their unwind tables into
// the program (about 20 KiB). The updater catches exceptions only with
// catch (...), which catches these throws just the same.
namespace {
struct RuntimeError {};
}  // namespace

namespace std {
void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_logic_error(const char*) { throw RuntimeError(); }
void __throw_domain_error(const char*) { throw RuntimeError(); }
void __throw_invalid_argument(const char*) { throw RuntimeError(); }
void __throw_length_error(const char*) { throw RuntimeError(); }
void __throw_out_of_range(const char*) { throw RuntimeError(); }
void __throw_out_of_range_fmt(const char*, ...) { throw RuntimeError(); }
void __throw_runtime_error(const char*) { throw RuntimeError(); }
void __throw_range_error(const char*) { throw RuntimeError(); }
void __throw_overflow_error(const char*) { throw RuntimeError(); }
void __throw_underflow_error(const char*) { throw RuntimeError(); }
}  // namespace std

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
