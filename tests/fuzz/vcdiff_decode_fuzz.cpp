// Applies arbitrary patches to an arbitrary source under small caps: no
// read or write out of bounds, and never more output than the caps allow.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "shared/vcdiff/vcdiff_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string source = input.ConsumeRandomLengthString(4096);
  const std::string patch = input.ConsumeRemainingBytesAsString();
  const corvane::VcdiffLimits limits{1 << 20, 1 << 16};
  std::string target, error;
  const bool ok = corvane::DecodeVcdiffToString(
      corvane::ByteSpan{reinterpret_cast<const uint8_t*>(source.data()), source.size()},
      corvane::ByteSpan{reinterpret_cast<const uint8_t*>(patch.data()), patch.size()}, limits,
      &target, &error);
  if (target.size() > limits.max_output) std::abort();
  if (!ok && error.empty()) std::abort();
  return 0;
}
