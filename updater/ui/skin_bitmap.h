// Checking a BMP file held in memory before it is handed to GDI. The images of
// the wizard come from the publisher's archive and may be damaged or hostile;
// GDI must never be asked to read past the buffer, so every size the headers
// claim is checked against the bytes that are really there.
//
// Accepted: "BM" file header (14 bytes), an information header of 40 bytes or
// one of the later 52, 56, 108 or 124 byte forms, 1, 4, 8, 16, 24 or 32 bits
// per pixel, uncompressed, RLE8 (8 bits), RLE4 (4 bits) or bit fields (16 and
// 32 bits), one plane, positive width, non-zero height (negative: top-down,
// uncompressed only), at most kMaxSkinBitmapSide pixels per side and
// kMaxSkinBitmapPixels in all. The pixel bound holds for compressed images
// too: a few bytes of RLE data may declare a picture that GDI would need a
// gigabyte to draw.
//
// The Windows side (skin_bitmap_win.h) turns an accepted buffer into a
// device-dependent bitmap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace corvane {

constexpr int32_t kMaxSkinBitmapSide = 16384;
constexpr uint64_t kMaxSkinBitmapPixels = uint64_t{4096} * 4096;

struct BmpLayout {
  int32_t width = 0;
  int32_t height = 0;          // as stored: negative means top-down rows
  uint16_t bit_count = 0;
  uint32_t compression = 0;    // 0 RGB, 1 RLE8, 2 RLE4, 3 bit fields
  uint32_t header_size = 0;    // information header: 40, 52, 56, 108 or 124
  size_t header_offset = 14;   // where the information header starts

  // The colour table: the used-colours count, or 2 to the power of the bit
  // count when that count is 0 (so 2^24 for a plain 24-bit image).
  uint64_t table_length = 0;
  // Colour entries actually stored in the file (4 bytes each, blue, green,
  // red, reserved) and where they start; bit-field masks, when they follow a
  // 40-byte header, come before them.
  uint32_t stored_colors = 0;
  size_t colors_offset = 0;

  // The pixel bits: start (taken from the file header; it must not overlap
  // the headers and the colour table) and the number of bytes GDI will read.
  size_t bits_offset = 0;
  size_t bits_size = 0;

  // A logical palette is made for tables of at most 256 entries.
  bool WantsPalette() const { return table_length <= 256 && stored_colors > 0; }
  // Bytes from the information header up to the end of the colour table:
  // what GDI reads as the BITMAPINFO.
  size_t InfoSize() const { return colors_offset + stored_colors * 4u - header_offset; }
};

// Returns the layout of a well-formed BMP file, or nothing when the buffer is
// not one or is truncated, claims sizes beyond the buffer, has an absurd
// colour count or pixel offset, or is larger than the bounds above.
std::optional<BmpLayout> ParseBmpLayout(const uint8_t* data, size_t size);

}  // namespace corvane
