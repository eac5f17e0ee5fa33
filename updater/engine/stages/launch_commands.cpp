#include "updater/engine/stages/launch_commands.h"

#include "shared/text_util.h"

namespace corvane {

namespace {

// Paths may hold blanks ("C:\Program Files\..."); unquoted, the program
// would be given the wrong file.
std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

std::vector<std::string> LaunchCommandsFor(const std::string& path) {
  if (path.empty()) return {};
  const std::string ext = path.size() >= 4 ? ToLowerAscii(path.substr(path.size() - 4)) : "";
  if (ext == ".reg") return {"regedit /s " + Quoted(path)};
  if (ext == ".ocx" || ext == ".dll") {
    return {"regsvr32 /u /s " + Quoted(path), "regsvr32 /s " + Quoted(path)};
  }
  if (ext == ".exe") return {Quoted(path)};
  if (ext == ".bat" || ext == ".com") return {"cmd /c \"" + Quoted(path) + "\""};
  return {};
}

}  // namespace corvane
