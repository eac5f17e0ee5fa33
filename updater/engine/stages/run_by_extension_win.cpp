// Starting, registering or importing a file by its extension.
#include <windows.h>
#include <shellapi.h>

#include "updater/engine/stages/launch_commands.h"
#include "updater/engine/updater_app.h"

namespace corvane {

namespace {

// Started and not waited for; the result of the program is not checked.
bool StartCommand(const std::string& command_line) {
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  std::string mutable_line = command_line;
  if (!::CreateProcessA(nullptr, &mutable_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return false;
  }
  ScopedHandle thread(process.hThread);
  ScopedHandle handle(process.hProcess);
  return true;
}

}  // namespace

bool RunByExtension(const std::string& path) {
  if (path.empty()) return false;
  const std::vector<std::string> commands = LaunchCommandsFor(path);
  if (commands.empty()) {
    HINSTANCE result =
        ::ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
  }
  // Only the last one's start counts (the unregistering run before a
  // registration is not waited for).
  bool started = false;
  for (const std::string& command : commands) started = StartCommand(command);
  return started;
}

}  // namespace corvane
