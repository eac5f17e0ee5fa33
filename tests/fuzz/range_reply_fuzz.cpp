// Reads arbitrary response headers as a resumed download does, and checks
// that nothing but the exact rest of the same file is ever appended.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "updater/engine/transfer/transfer_resume.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const uint64_t offset = input.ConsumeIntegral<uint64_t>();
  const uint64_t total = input.ConsumeIntegral<uint64_t>();
  const std::string raw = input.ConsumeRemainingBytesAsString();

  const corvane::HttpValidators validators = corvane::ValidatorsOf(raw);
  const std::string if_range = corvane::IfRangeValidator(validators);
  Require(if_range.empty() || if_range == validators.etag ||
          if_range == validators.last_modified);

  corvane::RangeReply reply;
  reply.status = 206;
  reply.content_range = corvane::HeaderValue(raw, "Content-Range");
  reply.etag = validators.etag;
  corvane::ContentRange range;
  const bool parsed = corvane::ParseContentRange(reply.content_range, &range);
  if (parsed) {
    Require(range.first <= range.last);
    Require(!range.total_known || range.last < range.total);
  }
  if (corvane::JudgeRangeReply(reply, offset, total, validators.etag) ==
      corvane::ResumeVerdict::kAppend) {
    Require(parsed && offset != 0 && range.first == offset && range.last + 1 == total &&
            range.total_known && range.total == total);
  }
  return 0;
}
