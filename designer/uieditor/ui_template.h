// UI templates: a whole design of the four wizard windows with its images and
// icon in a ".umb" file, a zip archive with the archive password holding
// "umb.dat" (the UI configuration text after the line "//Created by
// Corvane") and the "res\" images it names. Opening one unpacks it into the
// designer's "defui\" folder, which then holds the current template.
//
// The dialogs (name and author, file choice, overwrite question, recent
// menu) are the page's; these functions do the work and return the message
// to show on failure.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "designer/uieditor/ui_design.h"

namespace corvane {

class IniStore;
class ZipArchive;

extern const char kTemplateHeader[];       // "//Created by Corvane"
extern const char kTemplateEntry[];        // "umb.dat"
extern const char kDefaultDesignFile[];    // "system.dat", the built-in design in "defui\"
extern const char kTemplateExtension[];    // ".umb"
extern const char kTemplateFilter[];       // "Template File(*.umb)|*.umb||"
extern const char kNotFoundMessage[];      // "Not find file:"
extern const char kCreateFileMessage[];    // "Failed to create file:"
extern const char kTemplateFormatError[];  // "Template file format error:"
extern const char kOverwriteQuestion[];    // "File already exists, overwrite?"
// Reasons added after "Template file format error:" + path, and the box for
// a template whose files are too large: message + path + reason.
extern const char kTemplateTwinReason[];       // followed by the entry name
extern const char kTemplateSystemDatReason[];
extern const char kTemplateTooLargeMessage[];
extern const char kTemplateTooLargeReason[];
// The most a template's files may take unpacked, all together.
constexpr uint64_t kMaxTemplateUnpackedBytes = uint64_t{64} << 20;

// Writes the design as a template at `path` with `name` and `author` as
// mbname and mbauthor; images and the icon are converted and packed once
// each. The file appears only when complete. On failure returns false with
// the message: a conversion message of the writer, or "Failed to create
// file:" + path.
bool SaveUiTemplate(const UiDesign& design, const std::string& name, const std::string& author,
                    const std::string& designer_version, const std::string& path, std::string* error);

// Reads a UI configuration text (a template's "umb.dat", the built-in
// "system.dat", or a "ui.dat") over `design`: windows, title, icon,
// copyright, web address, template name and author. Image and icon entries
// ("res\logo.bmp") become paths under `base_folder`. Keys that are absent
// give the values of a new design; garbage values read as the updater reads
// them. CurrentWin and use_myui are kept. False (design unchanged) when the
// text is empty.
bool ReadDesignFromUiText(const std::string& text, const std::string& base_folder, UiDesign* design);

// The same from a file ("Use template": defui\umb.dat; "Default template":
// defui\system.dat); entries are relative to the file's folder.
bool LoadDesignFromUiFile(const std::string& path, UiDesign* design);

// Opens the template file `path`: it must exist ("Not find file:" + path)
// and end in ".umb" (without regard to case). The archive is refused as a
// whole ("Template file format error:" + path, with a reason for the cases
// below) when it cannot be read, has no "umb.dat", names any entry that would
// land outside `defui_folder`, names one file twice (names differing only in
// case or separator count as the same), holds "system.dat", or would unpack
// to more than kMaxTemplateUnpackedBytes. All of that is checked before
// anything is written. The entries are then unpacked into a folder beside
// `defui_folder` (as plain files: no attributes from the archive), which
// replaces `defui_folder` as a whole once every entry is there; the built-in
// "system.dat" and the images it names stay. On any failure `defui_folder`
// is as it was.
bool OpenUiTemplate(const std::string& path, const std::string& defui_folder, UiDesign* design,
                    std::string* error);
// The same for an archive already open (password set by the caller);
// `name` is used in the messages.
bool OpenUiTemplateArchive(ZipArchive& archive, const std::string& name, const std::string& defui_folder,
                           UiDesign* design, std::string* error);

// The recent-template list in "system\status.cfg", section "umb", keys name0
// to name9, newest first.
constexpr int kMaxRecentTemplates = 10;
// Reads the keys up to the first empty one and keeps the files that exist.
std::vector<std::string> ReadRecentTemplates(IniStore& status);
// `path` moved to the front: equal entries (without regard to case) removed,
// the oldest dropped when ten or more remain.
std::vector<std::string> PromoteRecentTemplate(std::vector<std::string> list, const std::string& path);
// Writes name0 .. name(n-1) and removes the keys after them.
bool WriteRecentTemplates(IniStore& status, const std::vector<std::string>& list);

}  // namespace corvane
