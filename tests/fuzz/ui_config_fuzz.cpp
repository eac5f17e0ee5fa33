// Feeds arbitrary text to the UI configuration parse and its helpers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "updater/ui/ui_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  corvane::UiModel model;
  if (corvane::ParseUiConfiguration(text, &model)) {
    // Every rectangle the parse produced must be internally consistent
    // (no wrapped sums).
    for (const corvane::WindowModel& w : model.windows) {
      for (const corvane::TextSkin& t : w.texts) (void)t.rect.Width();
      (void)w.attr.rect.Height();
    }
    (void)corvane::ParseSysIcon(model.sysicon);
  }
  const corvane::SkinRect rect = corvane::ParseRect(text);
  if (!rect.IsEmpty() && (rect.Width() <= 0 || rect.Height() <= 0)) __builtin_trap();
  (void)corvane::ParseSysIcon(text);
  (void)corvane::ParseLongValue(text, 0);
  return 0;
}
