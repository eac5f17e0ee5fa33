// "Corvane.exe /build <project.epj> [/out <folder>]": builds the package
// without a window, printing each step on standard output and a failure on
// standard error.
#pragma once

#include <string>

#include "designer/package_build.h"

namespace corvane {

// Deletes folders with the shell-free Win32 calls the designer uses.
class WinFolderOps : public PackageFolderOps {
 public:
  bool DeleteFolderTree(const std::string& path) override;
};

// The designer's own folder, with a trailing backslash.
std::string DesignerFolder();

// Returns true when the command line asked for a build; `exit_code` is then
// the process's exit code (0 for a complete package with its updater).
bool RunCommandLineBuild(const char* command_line, int* exit_code);

}  // namespace corvane
