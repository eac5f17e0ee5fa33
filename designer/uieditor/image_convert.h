// Turning the publisher's pictures into BMP files that the updater's
// LoadSkinBitmap accepts (ParseBmpLayout in updater/ui/skin_bitmap.h).
//
// A ".bmp" source that the updater can already read is copied byte for byte;
// any other BMP, a ".gif" (its first image) or a ".jpg" is decoded (stb_image)
// and written as a 24-bit bottom-up BMP with a 40-byte information header.
// Transparent GIF pixels are put on white. Buffers in, buffers out: the
// callers read and write the files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "updater/ui/skin_bitmap.h"

namespace corvane {

using ByteBuffer = std::vector<uint8_t>;

// Larger pictures are refused before they are decoded: a wizard image is a
// few hundred pixels wide, and a hostile header must not make us allocate
// gigabytes. The same bound as the updater's for the BMPs it draws, so a BMP
// copied as it is can never be larger than a decoded picture.
constexpr uint64_t kMaxDecodedPixels = kMaxSkinBitmapPixels;

enum class ImageSourceKind { kBmp, kGif, kJpeg, kIcon, kOther };

// By the file's extension, without regard to case (".jpg", not ".jpeg").
ImageSourceKind ImageKindOfPath(const std::string& path);

// An RGB picture, rows top-down, 3 bytes a pixel.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
};

// Decodes a BMP, GIF (first image), JPEG or PNG held in memory; nothing when
// the bytes are none of these, are damaged or the picture is too large.
std::optional<RgbImage> DecodePicture(const uint8_t* data, size_t size);

// A 24-bit BMP file of the picture.
ByteBuffer EncodeBmp24(const RgbImage& image);

// The BMP file the package carries for a source picture (see above), or
// nothing when the bytes cannot be decoded.
std::optional<ByteBuffer> ConvertToSkinBmp(const uint8_t* data, size_t size);

// Width and height of a picture the converter accepts, without decoding
// the pixels ("Original Size").
bool ReadPictureSize(const uint8_t* data, size_t size, int* width, int* height);

// The system icon strip: a BMP 16 pixels high whose width is a positive
// multiple of 16, every 16 pixels one frame.
enum class SysIconCheck { kAccepted, kWrongSize, kWrongFormat };
extern const char kSysIconSizeMessage[];    // "Image size does not meet the requirements."
extern const char kSysIconFormatMessage[];  // "Image format does not meet the requirements."
SysIconCheck CheckSysIconBitmap(const uint8_t* data, size_t size, int* frames = nullptr);
// The message for a refused strip (empty for kAccepted).
const char* SysIconMessage(SysIconCheck check);

// An ".ico" file drawn as one 16 by 16 frame on cyan, the colour the updater
// treats as transparent in icon strips: the 16x16 image of the icon when it
// has one, else its nearest larger (or largest) image scaled down. BMP-style
// images of 1, 4, 8, 24 and 32 bits and PNG images are read. Nothing when the
// file is not an icon.
std::optional<ByteBuffer> IconToSysIconStrip(const uint8_t* data, size_t size);

}  // namespace corvane
