// Feeds arbitrary bytes to the template reader: as a ".umb" archive (names
// checked, "umb.dat" parsed, entries unpacked into a staging folder and
// swapped into a scratch folder) and,
// when they are no archive, as the "umb.dat" text itself. Whatever opens
// must write back into a UI configuration the updater parses.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "designer/uieditor/ui_config_writer.h"
#include "designer/uieditor/ui_template.h"
#include "shared/archive_password.h"
#include "shared/text_util.h"
#include "shared/zip_archive.h"
#include "updater/ui/ui_config.h"

namespace {

const std::string& ScratchFolder() {
  static const std::string folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "umb_fuzz_XXXXXX").string();
    return std::string(mkdtemp(&pattern[0]) ? pattern.c_str() : "/tmp");
  }();
  return folder;
}

void CheckWritesBack(const corvane::UiDesign& design) {
  // Only the text: the images named by a template may be anything.
  const corvane::ImageEntries images = corvane::AssignImageEntries(design);
  const std::string text = corvane::FormatUiConfigurationText(design, images, "res\\sysicon.bmp:1", "1.0");
  corvane::UiModel model;
  if (!corvane::ParseUiConfiguration(text, &model)) __builtin_trap();
  // Whatever the texts held, the updater reads back what the writer meant
  // (values at the end of a line lose trailing blanks, as INI values do).
  for (int n = 0; n < corvane::kWizardWindows; ++n) {
    for (int s = 0; s < 4; ++s) {
      if (model.windows[n].texts[s].text != corvane::OneLineAttributeText(design.windows[n].texts[s].text)) {
        __builtin_trap();
      }
    }
    for (int b = 0; b < 2; ++b) {
      if (model.windows[n].buttons[b].caption !=
          corvane::TrimRight(corvane::OneLineAttributeText(design.windows[n].buttons[b].caption))) {
        __builtin_trap();
      }
    }
  }
  if (model.title != corvane::Trim(corvane::OneLineText(design.title))) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string defui = ScratchFolder() + "/defui";
  corvane::ZipArchive archive;
  corvane::UiDesign design = corvane::NewUiDesign();
  if (archive.OpenFromMemory(data, size)) {
    archive.SetPassword(corvane::ArchivePassword());
    std::string error;
    if (corvane::OpenUiTemplateArchive(archive, "fuzz.umb", defui, &design, &error)) {
      CheckWritesBack(design);
    } else if (error.empty() || std::filesystem::exists(defui)) {
      __builtin_trap();  // a refusal always says why and changes nothing
    }
    // The staging folders never stay behind.
    if (std::filesystem::exists(defui + ".new") || std::filesystem::exists(defui + ".old")) __builtin_trap();
    std::error_code ignored;
    std::filesystem::remove_all(defui, ignored);
    return 0;
  }
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (corvane::ReadDesignFromUiText(text, defui, &design)) CheckWritesBack(design);
  return 0;
}
