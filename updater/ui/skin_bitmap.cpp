#include "updater/ui/skin_bitmap.h"

namespace corvane {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3;
// Colour-space types of the 124-byte header that point at profile data
// outside the header ("LINK" and "MBED"); GDI would read there unchecked.
constexpr uint32_t kProfileLinked = 0x4C494E4B, kProfileEmbedded = 0x4D424544;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
int32_t I32(const uint8_t* p) { return static_cast<int32_t>(U32(p)); }

bool KnownHeaderSize(uint32_t size) {
  return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

bool CompressionFits(uint32_t compression, uint16_t bits) {
  switch (compression) {
    case kRgb:
      return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    case kRle8:
      return bits == 8;
    case kRle4:
      return bits == 4;
    case kBitFields:
      return bits == 16 || bits == 32;
    default:  // JPEG and PNG inside BMP are not for screen bitmaps
      return false;
  }
}

}  // namespace

std::optional<BmpLayout> ParseBmpLayout(const uint8_t* data, size_t size) {
  if (!data || size < kFileHeaderSize + 40) return std::nullopt;
  if (data[0] != 'B' || data[1] != 'M') return std::nullopt;
  const uint32_t file_size = U32(data + 2);
  const uint32_t pixel_offset = U32(data + 10);
  // A file that says it is longer than what we hold was cut short. (Some
  // writers leave the size 0; that is harmless.)
  if (file_size > size) return std::nullopt;

  BmpLayout layout;
  const uint8_t* info = data + kFileHeaderSize;
  layout.header_size = U32(info);
  if (!KnownHeaderSize(layout.header_size) || kFileHeaderSize + layout.header_size > size) {
    return std::nullopt;
  }
  layout.width = I32(info + 4);
  layout.height = I32(info + 8);
  const uint16_t planes = U16(info + 12);
  layout.bit_count = U16(info + 14);
  layout.compression = U32(info + 16);
  const uint32_t image_size = U32(info + 20);
  const uint32_t used_colors = U32(info + 32);

  if (planes != 1 || !CompressionFits(layout.compression, layout.bit_count)) return std::nullopt;
  if (layout.width <= 0 || layout.width > kMaxSkinBitmapSide) return std::nullopt;
  if (layout.height == 0 || layout.height < -kMaxSkinBitmapSide || layout.height > kMaxSkinBitmapSide) {
    return std::nullopt;
  }
  const uint64_t rows = layout.height < 0 ? uint64_t{static_cast<uint32_t>(-static_cast<int64_t>(layout.height))}
                                          : uint64_t{static_cast<uint32_t>(layout.height)};
  if (uint64_t{static_cast<uint32_t>(layout.width)} * rows > kMaxSkinBitmapPixels) return std::nullopt;
  const bool rle = layout.compression == kRle8 || layout.compression == kRle4;
  if (rle && layout.height < 0) return std::nullopt;  // RLE images are bottom-up only
  if (layout.header_size == 124) {
    const uint32_t color_space = U32(info + 56);
    if (color_space == kProfileLinked || color_space == kProfileEmbedded) return std::nullopt;
  }

  // Colour table: the used-colours count, or every colour of the bit depth.
  if (layout.bit_count <= 8) {
    const uint32_t full = 1u << layout.bit_count;
    if (used_colors > full) return std::nullopt;
    layout.table_length = used_colors ? used_colors : full;
    layout.stored_colors = static_cast<uint32_t>(layout.table_length);
  } else {
    // Deeper images may carry an optional palette for display devices; a
    // longer one than any palette device has is not believable.
    if (used_colors > 256) return std::nullopt;
    layout.table_length = used_colors ? used_colors : (uint64_t{1} << layout.bit_count);
    layout.stored_colors = used_colors;
  }

  layout.header_offset = kFileHeaderSize;
  uint64_t table_start = kFileHeaderSize + layout.header_size;
  // Bit-field masks follow a 40-byte header; the later headers hold them.
  if (layout.compression == kBitFields && layout.header_size == 40) table_start += 12;
  const uint64_t table_end = table_start + uint64_t{layout.stored_colors} * 4;
  if (table_end > size) return std::nullopt;
  layout.colors_offset = static_cast<size_t>(table_start);

  // The pixels start where the file header says; that may not be inside the
  // headers or the colour table, nor beyond the file.
  if (pixel_offset < table_end || pixel_offset >= size) return std::nullopt;
  layout.bits_offset = pixel_offset;
  const uint64_t available = size - pixel_offset;

  uint64_t needed;
  if (rle) {
    // RLE data carry their own length; GDI stops at the end-of-bitmap code
    // but must be told no more than what is there.
    if (image_size == 0 || image_size > available) return std::nullopt;
    needed = image_size;
  } else {
    const uint64_t stride = ((uint64_t{static_cast<uint32_t>(layout.width)} * layout.bit_count + 31) / 32) * 4;
    needed = stride * rows;
    if (needed > available) return std::nullopt;
    // A declared image size larger than the file means a cut-short file.
    if (image_size > available) return std::nullopt;
  }
  layout.bits_size = static_cast<size_t>(needed);
  return layout;
}

}  // namespace corvane
