#include "updater/engine/command_line.h"

#include "shared/text_util.h"

namespace corvane {

std::string GetSwitchValueIn(const std::string& command_line, const std::string& name) {
  const std::string lowered = ToLowerAscii(command_line);
  const std::string key = "/" + ToLowerAscii(name) + ":";
  size_t at = lowered.find(key);
  if (at == std::string::npos) return std::string();
  size_t start = at + key.size();
  size_t end = lowered.find(' ', start);
  if (end == std::string::npos) end = lowered.size();
  return lowered.substr(start, end - start);
}

CommandLineOptions ParseCommandLine(const std::string& command_line) {
  CommandLineOptions options;
  std::string hwnd = Trim(GetSwitchValueIn(command_line, "HWND"));
  options.host_window = hwnd.empty() ? 0 : ParseLeadingLong(hwnd);

  const std::string op = GetSwitchValueIn(command_line, "OP");
  if (op == "checkver") {
    options.run_mode = 2;
  } else if (op == "preview") {
    options.run_mode = 1;
  }

  const std::string lowered = ToLowerAscii(command_line);
  options.log = lowered.find("/log") != std::string::npos;
  options.tray = lowered.find("/tray") != std::string::npos;
  options.self_update = lowered.find("self_update") != std::string::npos;
  options.self_finish = !options.self_update && lowered.find("self_finish") != std::string::npos;
  return options;
}

}  // namespace corvane
