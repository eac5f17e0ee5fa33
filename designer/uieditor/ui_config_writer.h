// The UI configuration file the updater reads ("ui.dat", packed into "ui.bin"
// or a template), made from a design. The design is turned into a package
// in memory first: the INI text and the converted images under their entry
// names. A package is then either written into a folder (the build's
// "ui.dat" and "res\" files) or packed into an archive (preview "ui.bin",
// template ".umb"), so nothing half-written is left behind on failure.
//
// The text is the exact counterpart of ParseUiConfiguration
// (updater/ui/ui_config.h): parsing it gives back the design's values.
#pragma once

#include <string>
#include <vector>

#include "designer/uieditor/image_convert.h"
#include "designer/uieditor/ui_design.h"

namespace corvane {

// Messages of the writer, shown by the page followed by the path where the
// text ends in ":".
extern const char kImageFormatError[];   // "Image file format error:"
extern const char kImageCopyError[];     // "Failed to copy image file:"
extern const char kOpenFileError[];      // "Failed to open file."
extern const char kSysIconEntry[];       // "res\sysicon.bmp"

struct UiPackageFile {
  std::string entry;  // "res\" + base name + ".bmp"
  ByteBuffer bytes;   // a BMP file the updater's LoadSkinBitmap accepts
};

struct UiPackage {
  std::string text;  // the INI text, lines ended by "\r\n"
  std::vector<UiPackageFile> files;  // each distinct image once, the icon strip first
};

// The entry names of the design's images: one per distinct source file
// (paths compared without regard to case), "res\" + base name + ".bmp";
// different files with the same base name get "_2", "_3", ... so that
// neither overwrites the other. Sources that are empty map to "".
struct ImageEntries {
  std::vector<std::string> sources;  // distinct sources, in order of first use
  std::vector<std::string> entries;  // their entry names
  std::string EntryFor(const std::string& source) const;
};
ImageEntries AssignImageEntries(const UiDesign& design);

// The file part of a path ("C:\a\logo.gif" and "/a/logo.gif" give "logo")
// without its extension.
std::string SourceBaseName(const std::string& path);

// A rectangle as the updater gets it: one whose left or top would be
// negative (dragged partly out of the preview) is written empty.
SkinRect WrittenRect(const SkinRect& rect);

// Builds the package: converts every distinct image and the system icon
// (reading the source files) and makes the text. `designer_version` is the
// designer's own "%d.%d" version, written as ui_ver. On failure returns
// false with the message (e.g. "Image file format error:" + path).
bool BuildUiPackage(const UiDesign& design, const std::string& designer_version, UiPackage* package,
                    std::string* error);

// Only the text, with the given entry names (no file is read): what the
// project's images become in the file.
std::string FormatUiConfigurationText(const UiDesign& design, const ImageEntries& images,
                                      const std::string& sysicon_value, const std::string& designer_version);

// Writes `text_name` ("ui.dat") and every image under its entry path into
// `folder`. Errors: "Failed to open file." for the text, "Failed to copy image
// file:" + path for an image.
bool WriteUiPackageToFolder(const UiPackage& package, const std::string& folder, const std::string& text_name,
                            std::string* error);

// Creates the archive `archive_path` (replacing any file of that name only
// when complete) with the archive password, holding `header` + the text as
// `text_entry`, then every image once. False when it could not be written.
bool PackUiPackage(const UiPackage& package, const std::string& archive_path, const std::string& text_entry,
                   const std::string& header);

}  // namespace corvane
