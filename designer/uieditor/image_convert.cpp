#include "designer/uieditor/image_convert.h"

#include <climits>
#include <memory>

#include <stb_image.h>

#include "shared/text_util.h"
#include "updater/ui/skin_bitmap.h"

namespace corvane {

const char kSysIconSizeMessage[] = "Image size does not meet the requirements.";
const char kSysIconFormatMessage[] = "Image format does not meet the requirements.";

namespace {

constexpr int kFrameSide = 16;

void Put16(ByteBuffer& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(ByteBuffer& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

struct StbFree {
  void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

bool FitsInt(size_t size) { return size <= static_cast<size_t>(INT_MAX); }

// Puts a partly transparent pixel on white.
uint8_t OnWhite(uint8_t channel, uint8_t alpha) {
  return static_cast<uint8_t>((channel * alpha + 255 * (255 - alpha) + 127) / 255);
}

// The stb_image packaged by Debian trusts the symbol counts of a JPEG
// Huffman table: more than 256 symbols overrun its tables. Such a table is
// never valid, so a file that holds one is refused before stb sees it. A
// marker is 0xFF (fill bytes may repeat it) followed by its code, so every
// "FF C4" in the file is checked, read the way the decoder reads it (bytes
// past the end read as 0).
bool JpegHuffmanTablesFit(const uint8_t* data, size_t size) {
  for (size_t at = 0; at + 1 < size; ++at) {
    if (data[at] != 0xFF || data[at + 1] != 0xC4) continue;
    size_t pos = at + 2;
    auto get8 = [&]() -> int { return pos < size ? data[pos++] : (++pos, 0); };
    long remaining = (get8() << 8);
    remaining |= get8();
    remaining -= 2;
    while (remaining > 0) {
      const int q = get8();
      if ((q >> 4) > 1 || (q & 15) > 3) break;  // the decoder stops here too
      long symbols = 0;
      for (int i = 0; i < 16; ++i) symbols += get8();
      if (symbols > 256) return false;
      for (long i = 0; i < symbols; ++i) get8();
      remaining -= 17 + symbols;
    }
  }
  return true;
}

}  // namespace

ImageSourceKind ImageKindOfPath(const std::string& path) {
  if (EndsWithNoCase(path, ".bmp")) return ImageSourceKind::kBmp;
  if (EndsWithNoCase(path, ".gif")) return ImageSourceKind::kGif;
  if (EndsWithNoCase(path, ".jpg")) return ImageSourceKind::kJpeg;
  if (EndsWithNoCase(path, ".ico")) return ImageSourceKind::kIcon;
  return ImageSourceKind::kOther;
}

bool ReadPictureSize(const uint8_t* data, size_t size, int* width, int* height) {
  if (!data || size == 0 || !FitsInt(size) || !JpegHuffmanTablesFit(data, size)) return false;
  int w = 0, h = 0, channels = 0;
  if (!stbi_info_from_memory(data, static_cast<int>(size), &w, &h, &channels)) return false;
  if (w <= 0 || h <= 0 || uint64_t{static_cast<uint32_t>(w)} * static_cast<uint32_t>(h) > kMaxDecodedPixels) {
    return false;
  }
  *width = w;
  *height = h;
  return true;
}

std::optional<RgbImage> DecodePicture(const uint8_t* data, size_t size) {
  int w = 0, h = 0;
  if (!ReadPictureSize(data, size, &w, &h)) return std::nullopt;
  int channels = 0;
  std::unique_ptr<stbi_uc, StbFree> pixels(stbi_load_from_memory(data, static_cast<int>(size), &w, &h, &channels, 4));
  if (!pixels || w <= 0 || h <= 0 ||
      uint64_t{static_cast<uint32_t>(w)} * static_cast<uint32_t>(h) > kMaxDecodedPixels) {
    return std::nullopt;
  }
  RgbImage image;
  image.width = w;
  image.height = h;
  const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
  image.rgb.resize(count * 3);
  const stbi_uc* rgba = pixels.get();
  for (size_t i = 0; i < count; ++i) {
    const uint8_t alpha = rgba[i * 4 + 3];
    for (int c = 0; c < 3; ++c) image.rgb[i * 3 + c] = OnWhite(rgba[i * 4 + c], alpha);
  }
  return image;
}

ByteBuffer EncodeBmp24(const RgbImage& image) {
  const size_t width = static_cast<size_t>(image.width);
  const size_t height = static_cast<size_t>(image.height);
  const size_t stride = (width * 3 + 3) / 4 * 4;
  const size_t offset = 14 + 40;
  ByteBuffer b(offset + stride * height, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<uint32_t>(b.size()));
  Put32(b, 10, static_cast<uint32_t>(offset));
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<uint32_t>(image.width));
  Put32(b, 22, static_cast<uint32_t>(image.height));  // positive: rows bottom-up
  Put16(b, 26, 1);
  Put16(b, 28, 24);
  Put32(b, 34, static_cast<uint32_t>(stride * height));
  Put32(b, 38, 2835);  // 72 dots per inch
  Put32(b, 42, 2835);
  for (size_t y = 0; y < height; ++y) {
    const uint8_t* src = image.rgb.data() + y * width * 3;
    uint8_t* row = b.data() + offset + (height - 1 - y) * stride;
    for (size_t x = 0; x < width; ++x) {
      row[x * 3] = src[x * 3 + 2];  // blue, green, red
      row[x * 3 + 1] = src[x * 3 + 1];
      row[x * 3 + 2] = src[x * 3];
    }
  }
  return b;
}

std::optional<ByteBuffer> ConvertToSkinBmp(const uint8_t* data, size_t size) {
  if (ParseBmpLayout(data, size)) return ByteBuffer(data, data + size);
  std::optional<RgbImage> image = DecodePicture(data, size);
  if (!image) return std::nullopt;
  return EncodeBmp24(*image);
}

SysIconCheck CheckSysIconBitmap(const uint8_t* data, size_t size, int* frames) {
  const std::optional<BmpLayout> layout = ParseBmpLayout(data, size);
  if (!layout) return SysIconCheck::kWrongFormat;
  const int height = layout->height < 0 ? -layout->height : layout->height;
  if (height != kFrameSide || layout->width < kFrameSide || layout->width % kFrameSide != 0) {
    return SysIconCheck::kWrongSize;
  }
  if (frames) *frames = layout->width / kFrameSide;
  return SysIconCheck::kAccepted;
}

const char* SysIconMessage(SysIconCheck check) {
  switch (check) {
    case SysIconCheck::kWrongSize:
      return kSysIconSizeMessage;
    case SysIconCheck::kWrongFormat:
      return kSysIconFormatMessage;
    default:
      return "";
  }
}

}  // namespace corvane
