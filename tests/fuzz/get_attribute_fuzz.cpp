// Reads sub-values of arbitrary packed values, and checks that a pair that
// is plainly present is found whole.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "shared/ini_store.h"
#include "shared/text_util.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  std::string name = input.ConsumeRandomLengthString(16);
  std::string value = input.ConsumeRandomLengthString(32);
  std::string packed = input.ConsumeRemainingBytesAsString();

  std::string found = corvane::GetAttribute(packed, name);
  Require(found.find(";;") == std::string::npos);
  Require(packed.find(found) != std::string::npos);

  // A simple name and a value without ";;" must come back whole, both as
  // the first pair and behind another pair.
  bool simple_name = !name.empty() && name.find_first_of(";=") == std::string::npos &&
                     corvane::Trim(name) == name;
  bool simple_value = value.find(";;") == std::string::npos &&
                      corvane::TrimRight(value) == value &&
                      (value.empty() || value.front() != ';') &&
                      (value.empty() || value.back() != ';');
  if (simple_name && simple_value) {
    Require(corvane::GetAttribute(name + "=" + value, name) == value);
    Require(corvane::GetAttribute("other=1;;" + name + "=" + value, name) == value ||
            name == "other");
  }
  return 0;
}
