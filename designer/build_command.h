// The command-line build: "Corvane.exe /build <project.epj> [/out <folder>]"
// builds the project's upgrade package without a window, for release
// pipelines.
#pragma once

#include <string>
#include <vector>

namespace corvane {

struct BuildCommand {
  std::string project_file;
  std::string output_folder;  // empty: the project's own output folder
};

enum class BuildCommandKind { kNone, kBuild, kBad };

// Splits a command line into arguments the way the Windows run-time does for
// the common cases: blanks separate, double quotes group (and are dropped).
std::vector<std::string> SplitCommandLine(const std::string& command_line);

// kNone when the first argument is not "/build" (any case); kBad with
// `error` set when it is but the rest does not fit.
BuildCommandKind ParseBuildCommand(const std::string& command_line, BuildCommand* command, std::string* error);

extern const char kBuildUsage[];

}  // namespace corvane
