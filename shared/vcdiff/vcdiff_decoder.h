// Applies a VCDIFF patch (RFC 3284, default code table, no secondary
// compression) to a source file, as written by `xdelta3 -e -S none` or by
// EncodeVcdiff. Accepted beyond the RFC: xdelta3's application header
// (skipped) and its Adler-32 of each window (checked). Refused, each with a
// reason: secondary compression, a custom code table, windows that copy
// from earlier output (VCD_TARGET), and every field that is malformed, out
// of bounds or inconsistent. Patch bytes are untrusted: every size and
// address is checked before use, with arithmetic that cannot overflow, and
// the output is capped before anything is allocated for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvane {

struct ByteSpan {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// Where decoded windows go, in order. Write returns false to stop the
// decoding (a full disk, say).
class VcdiffSink {
 public:
  virtual ~VcdiffSink() = default;
  virtual bool Write(const uint8_t* data, size_t size) = 0;
};

struct VcdiffLimits {
  uint64_t max_output = 0;  // all windows together
  size_t max_window = 0;    // one window's target, held in memory
};

// Decodes `patch` against `source` into `sink`. On failure returns false with
// `error` saying why (in English, for the log); the sink may then hold the
// windows decoded before the fault and must be discarded.
bool DecodeVcdiff(ByteSpan source, ByteSpan patch, const VcdiffLimits& limits, VcdiffSink& sink,
                  std::string* error);

// The same into a string, for callers that hold everything in memory.
bool DecodeVcdiffToString(ByteSpan source, ByteSpan patch, const VcdiffLimits& limits,
                          std::string* target, std::string* error);

}  // namespace corvane
