// Feeds arbitrary text to the INI parser, then looks up, edits and writes it
// out again, checking that what was set can be read back and that the text
// form survives a reload unchanged.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "shared/ini_store.h"
#include "shared/text_util.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void RequireStableText(const corvane::IniStore& store) {
  std::string text = store.ToText();
  if (text.empty()) return;
  corvane::IniStore reloaded;
  Require(reloaded.LoadFromText(text));
  Require(reloaded.ToText() == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  std::string section = input.ConsumeRandomLengthString(24);
  std::string key = input.ConsumeRandomLengthString(24);
  std::string value = input.ConsumeRandomLengthString(48);
  int occurrence = input.ConsumeIntegralInRange<int>(0, 3);
  std::string text = input.ConsumeRemainingBytesAsString();

  corvane::IniStore store;
  if (!store.LoadFromText(text)) return 0;
  for (const std::string& line : store.Lines()) {
    Require(line.find('\n') == std::string::npos);
    Require(line.empty() || line.back() != '\r');
  }
  RequireStableText(store);

  store.GetString(section, key, "\x01", occurrence);
  store.GetInt(section, key, 7);

  if (store.SetString(section, key, value)) {
    if (!value.empty()) Require(store.GetString(section, key, "\x01") == corvane::Trim(value));
    RequireStableText(store);
  }
  store.SetInt(section, key, -5);
  RequireStableText(store);
  return 0;
}
