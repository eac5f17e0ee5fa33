#include "designer/uieditor/ui_preview.h"

#include "designer/uieditor/ui_config_writer.h"
#include "designer/uieditor/ui_template.h"
#include "shared/zip_file_system.h"
#include "updater/ui/ui_config.h"

namespace corvane {

const char kPreviewFolderName[] = "preview";
const char kPreviewCommandLine[] = "/OP:Preview /Tray";
const char kUiDesignError[] = "UI-Design configuration error.";
const char kCreateUiFileError[] = "Failed to create UI configuration file.";
const char kCopyFileError[] = "Failed to copy file:";

UiDesign DesignForPackage(const UiDesign& design, const std::string& defui_folder) {
  if (design.use_custom) return design;
  UiDesign from_template = NewUiDesign();
  from_template.current_window = design.current_window;
  from_template.use_custom = false;
  // The template first, then the built-in design; a new design when neither
  // can be read. (A failed read leaves the design untouched.)
  if (!LoadDesignFromUiFile(zipfs::JoinPath(defui_folder, kTemplateEntry), &from_template)) {
    LoadDesignFromUiFile(zipfs::JoinPath(defui_folder, kDefaultDesignFile), &from_template);
  }
  return from_template;
}

bool WritePreviewPackage(const UiDesign& design, const std::string& project_folder,
                         const std::string& designer_version, std::string* preview_folder, std::string* error) {
  UiPackage package;
  if (!BuildUiPackage(design, designer_version, &package, error)) return false;
  const std::string folder = zipfs::JoinPath(project_folder, kPreviewFolderName);
  if (!zipfs::MakeDirectories(folder) ||
      !PackUiPackage(package, zipfs::JoinPath(folder, kUiArchiveName), kUiTextName, std::string())) {
    if (error) *error = kCreateUiFileError;
    return false;
  }
  if (preview_folder) *preview_folder = folder;
  return true;
}

}  // namespace corvane
