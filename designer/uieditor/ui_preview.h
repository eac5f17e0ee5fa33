// The files behind "Preview (Assumed to be wizard-style)" and the design a
// package is built from. The page copies "updateApp\update.exe" into the
// preview folder and starts it with kPreviewCommandLine; everything before
// that is here.
#pragma once

#include <string>

#include "designer/uieditor/ui_design.h"

namespace corvane {

extern const char kPreviewFolderName[];    // "preview"
extern const char kPreviewCommandLine[];   // "/OP:Preview /Tray"
extern const char kUiDesignError[];        // "UI-Design configuration error."
extern const char kCreateUiFileError[];    // "Failed to create UI configuration file."
extern const char kCopyFileError[];        // "Failed to copy file:"

// The design that goes into a package: the page's own design while "Custom
// Windows" is on, else the current template (`defui_folder` + "umb.dat"),
// else the built-in default design ("system.dat"), else a new design.
UiDesign DesignForPackage(const UiDesign& design, const std::string& defui_folder);

// Makes `project_folder` + "preview" and writes "ui.bin" there (the archive
// password, "ui.dat" and every image once); no loose "ui.dat" or "res\" is
// left. `preview_folder` receives the folder. On failure `error` holds the
// writer's message (an image problem), or "Failed to create UI configuration
// file." when the folder or archive could not be written; the page then
// also shows "UI-Design configuration error." for a writer failure.
bool WritePreviewPackage(const UiDesign& design, const std::string& project_folder,
                         const std::string& designer_version, std::string* preview_folder, std::string* error);

}  // namespace corvane
