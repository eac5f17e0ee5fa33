// An ".ico" file as the one-frame system icon strip: the icon's image is read
// without Windows (so that the build and its tests behave the same
// everywhere) and drawn onto cyan, the strip's transparent colour.
#include <algorithm>
#include <cstring>
#include <memory>

#include <stb_image.h>

#include "designer/uieditor/image_convert.h"

namespace corvane {

namespace {

constexpr int kFrameSide = 16;
// Cyan (red 0, green and blue 255): the mask colour of system icon strips.
constexpr uint8_t kMaskRgb[3] = {0, 255, 255};

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;  // rows top-down
};

struct StbFree {
  void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

std::optional<RgbaImage> DecodePngImage(const uint8_t* data, size_t size) {
  int w = 0, h = 0, channels = 0;
  if (size > 64u * 1024 * 1024 || !stbi_info_from_memory(data, static_cast<int>(size), &w, &h, &channels) ||
      w <= 0 || h <= 0 || w > 1024 || h > 1024) {
    return std::nullopt;
  }
  std::unique_ptr<stbi_uc, StbFree> pixels(stbi_load_from_memory(data, static_cast<int>(size), &w, &h, &channels, 4));
  if (!pixels || w <= 0 || h <= 0 || w > 1024 || h > 1024) return std::nullopt;
  RgbaImage image;
  image.width = w;
  image.height = h;
  image.rgba.assign(pixels.get(), pixels.get() + static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
  return image;
}

// The BMP-style image of an icon: an information header whose height counts
// the colour image and the AND mask below it, the colour table, the colour
// rows and the mask rows, both bottom-up.
std::optional<RgbaImage> DecodeDibImage(const uint8_t* data, size_t size) {
  if (size < 40) return std::nullopt;
  const uint32_t header_size = U32(data);
  const int32_t width = static_cast<int32_t>(U32(data + 4));
  const int32_t double_height = static_cast<int32_t>(U32(data + 8));
  const uint16_t bits = U16(data + 14);
  const uint32_t compression = U32(data + 16);
  const uint32_t used_colors = U32(data + 32);
  if (header_size < 40 || header_size > size || compression != 0) return std::nullopt;
  if (width <= 0 || width > 256 || double_height <= 0 || double_height > 512 || double_height % 2) {
    return std::nullopt;
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return std::nullopt;
  const size_t w = static_cast<size_t>(width);
  const size_t h = static_cast<size_t>(double_height / 2);
  size_t colors = 0;
  if (bits <= 8) {
    const size_t full = size_t{1} << bits;
    if (used_colors > full) return std::nullopt;
    colors = used_colors ? used_colors : full;
  }
  const size_t palette_at = header_size;
  const size_t xor_at = palette_at + colors * 4;
  const size_t xor_stride = (w * bits + 31) / 32 * 4;
  const size_t and_at = xor_at + xor_stride * h;
  const size_t and_stride = (w + 31) / 32 * 4;
  if (and_at > size) return std::nullopt;
  const bool has_mask = and_at + and_stride * h <= size;

  RgbaImage image;
  image.width = width;
  image.height = static_cast<int>(h);
  image.rgba.assign(w * h * 4, 0);
  bool any_alpha = false;
  for (size_t y = 0; y < h; ++y) {
    const uint8_t* row = data + xor_at + (h - 1 - y) * xor_stride;
    for (size_t x = 0; x < w; ++x) {
      uint8_t* out = &image.rgba[(y * w + x) * 4];
      if (bits <= 8) {
        const size_t bit = x * bits;
        const unsigned index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
        if (index >= colors) return std::nullopt;
        const uint8_t* entry = data + palette_at + index * 4;
        out[0] = entry[2];
        out[1] = entry[1];
        out[2] = entry[0];
        out[3] = 255;
      } else {
        const uint8_t* px = row + x * (bits / 8);
        out[0] = px[2];
        out[1] = px[1];
        out[2] = px[0];
        out[3] = bits == 32 ? px[3] : 255;
        if (bits == 32 && px[3] != 0) any_alpha = true;
      }
    }
  }
  // Without an alpha channel (or with one left all zero) the AND mask says
  // which pixels are transparent.
  if (!any_alpha) {
    for (size_t y = 0; y < h; ++y) {
      const uint8_t* row = has_mask ? data + and_at + (h - 1 - y) * and_stride : nullptr;
      for (size_t x = 0; x < w; ++x) {
        const bool transparent = row && ((row[x / 8] >> (7 - x % 8)) & 1);
        image.rgba[(y * w + x) * 4 + 3] = transparent ? 0 : 255;
      }
    }
  }
  return image;
}

std::optional<RgbaImage> DecodeIconImage(const uint8_t* data, size_t size) {
  static const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (size >= 8 && std::memcmp(data, kPngSignature, 8) == 0) return DecodePngImage(data, size);
  return DecodeDibImage(data, size);
}

// How well a directory entry suits a 16x16 frame: the 16x16 image with the
// most colours first, then the smallest larger one, then the largest smaller.
long EntryScore(const uint8_t* entry) {
  const int w = entry[0] ? entry[0] : 256;
  const int h = entry[1] ? entry[1] : 256;
  const int bits = U16(entry + 6);
  const int side = w > h ? w : h;
  if (w == kFrameSide && h == kFrameSide) return 3000000L + bits;
  if (side > kFrameSide) return 2000000L - side * 100L + bits;
  return 1000000L + side * 100L + bits;
}

}  // namespace

std::optional<ByteBuffer> IconToSysIconStrip(const uint8_t* data, size_t size) {
  if (!data || size < 6 || U16(data) != 0 || U16(data + 2) != 1) return std::nullopt;
  const int count = U16(data + 4);
  if (count == 0 || 6 + static_cast<size_t>(count) * 16 > size) return std::nullopt;
  const uint8_t* dir = data + 6;
  // Entries are tried from the best suited down until one can be read (a
  // few at most: a real icon has a handful of images).
  constexpr size_t kMostTried = 16;
  std::vector<int> order;
  for (int i = 0; i < count; ++i) order.push_back(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return EntryScore(dir + a * 16) > EntryScore(dir + b * 16); });
  if (order.size() > kMostTried) order.resize(kMostTried);
  for (int pick : order) {
    const uint8_t* e = dir + pick * 16;
    const uint32_t bytes = U32(e + 8);
    const uint32_t offset = U32(e + 12);
    if (offset >= size || bytes > size - offset) continue;
    std::optional<RgbaImage> image = DecodeIconImage(data + offset, bytes);
    if (!image) continue;

    RgbImage frame;
    frame.width = kFrameSide;
    frame.height = kFrameSide;
    frame.rgb.resize(kFrameSide * kFrameSide * 3);
    for (int y = 0; y < kFrameSide; ++y) {
      for (int x = 0; x < kFrameSide; ++x) {
        // Nearest pixel at the frame pixel's centre.
        const size_t sx = static_cast<size_t>((2 * x + 1) * image->width / (2 * kFrameSide));
        const size_t sy = static_cast<size_t>((2 * y + 1) * image->height / (2 * kFrameSide));
        const uint8_t* px = &image->rgba[(sy * static_cast<size_t>(image->width) + sx) * 4];
        uint8_t* out = &frame.rgb[static_cast<size_t>(y * kFrameSide + x) * 3];
        const bool opaque = px[3] >= 128;
        for (int c = 0; c < 3; ++c) out[c] = opaque ? px[c] : kMaskRgb[c];
      }
    }
    return EncodeBmp24(frame);
  }
  return std::nullopt;
}

}  // namespace corvane
