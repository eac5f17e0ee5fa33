// Starting, registering or importing a file by its extension.
#include <windows.h>
#include <shellapi.h>

#include "shared/text_util.h"
#include "updater/engine/updater_app.h"

namespace corvane {

namespace {

// Paths may hold blanks ("C:\Program Files\..."); unquoted, the command
// interpreter would run the wrong program.
std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

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
  const std::string ext = path.size() >= 4 ? ToLowerAscii(path.substr(path.size() - 4)) : "";
  if (ext == ".reg") return StartCommand("regedit /s " + Quoted(path));
  if (ext == ".ocx" || ext == ".dll") {
    StartCommand("regsvr32 /u /s " + Quoted(path));
    return StartCommand("regsvr32 /s " + Quoted(path));
  }
  if (ext == ".exe" || ext == ".bat" || ext == ".com") {
    if (ext == ".exe") return StartCommand(Quoted(path));
    return StartCommand("cmd /c " + Quoted(path));
  }
  HINSTANCE result = ::ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace corvane
