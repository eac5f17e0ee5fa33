// Writes a VCDIFF patch (RFC 3284, default code table, no secondary
// compression, xdelta3's Adler-32 per window) that turns `source` into
// `target`: what `xdelta3 -d -s SOURCE PATCH OUT` and DecodeVcdiff apply.
#pragma once

#include <string>

#include "shared/vcdiff/vcdiff_decoder.h"

namespace corvane {

// Target bytes per window: xdelta3's own default, which every decoder
// accepts.
constexpr size_t kVcdiffEncoderWindow = size_t{1} << 23;

std::string EncodeVcdiff(ByteSpan source, ByteSpan target);

}  // namespace corvane
