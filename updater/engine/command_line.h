// The updater's command-line rules. Switches are matched without regard to
// case: "/HWND:<n>", "/OP:CheckVer|Preview", and plain substring tests for
// "/log", "/tray", "self_update" and "self_finish".
#pragma once

#include <string>

namespace corvane {

// The value of "/<name>:" in `command_line`: both are lowercased, the first
// occurrence is taken, and the value runs to the next space or the end.
// Absent switch gives an empty string.
std::string GetSwitchValueIn(const std::string& command_line, const std::string& name);

struct CommandLineOptions {
  long host_window = 0;
  int run_mode = 0;         // 0 update, 1 preview, 2 check only
  bool log = false;         // "/log" anywhere, even as the start of a longer word
  bool tray = false;        // "/tray" anywhere
  bool self_update = false; // this process is the self-update copy
  bool self_finish = false; // this process finishes a self-update
};

CommandLineOptions ParseCommandLine(const std::string& command_line);

}  // namespace corvane
