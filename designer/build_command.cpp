#include "designer/build_command.h"

#include "shared/text_util.h"

namespace corvane {

const char kBuildUsage[] = "Usage: Corvane.exe /build <project.epj> [/out <folder>]";

std::vector<std::string> SplitCommandLine(const std::string& command_line) {
  std::vector<std::string> args;
  std::string current;
  bool in_quotes = false, have = false;
  for (char c : command_line) {
    if (c == '"') {
      in_quotes = !in_quotes;
      have = true;
    } else if ((c == ' ' || c == '\t') && !in_quotes) {
      if (have) args.push_back(current);
      current.clear();
      have = false;
    } else {
      current += c;
      have = true;
    }
  }
  if (have) args.push_back(current);
  return args;
}

BuildCommandKind ParseBuildCommand(const std::string& command_line, BuildCommand* command, std::string* error) {
  const std::vector<std::string> args = SplitCommandLine(command_line);
  if (args.empty() || !EqualsNoCase(args[0], "/build")) return BuildCommandKind::kNone;
  BuildCommand parsed;
  for (size_t i = 1; i < args.size(); ++i) {
    if (EqualsNoCase(args[i], "/out")) {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        *error = "/out needs a folder.";
        return BuildCommandKind::kBad;
      }
      parsed.output_folder = args[++i];
    } else if (parsed.project_file.empty() && !args[i].empty()) {
      parsed.project_file = args[i];
    } else {
      *error = "Unexpected argument: " + args[i];
      return BuildCommandKind::kBad;
    }
  }
  if (parsed.project_file.empty()) {
    *error = "No project file given.";
    return BuildCommandKind::kBad;
  }
  *command = parsed;
  return BuildCommandKind::kBuild;
}

}  // namespace corvane
