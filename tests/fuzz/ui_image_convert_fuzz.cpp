// Feeds arbitrary bytes to the picture conversion and the icon reader: what
// comes out must always be a BMP the updater's LoadSkinBitmap accepts, and
// an icon always gives one 16x16 frame.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "designer/uieditor/image_convert.h"
#include "updater/ui/skin_bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A private copy so that ASan sees reads one byte past the end.
  const std::vector<uint8_t> bytes(data, data + size);
  const auto bmp = corvane::ConvertToSkinBmp(bytes.data(), bytes.size());
  if (bmp && !corvane::ParseBmpLayout(bmp->data(), bmp->size())) __builtin_trap();
  int width = 0, height = 0;
  if (corvane::ReadPictureSize(bytes.data(), bytes.size(), &width, &height) && (width <= 0 || height <= 0)) {
    __builtin_trap();
  }
  const auto strip = corvane::IconToSysIconStrip(bytes.data(), bytes.size());
  if (strip) {
    int frames = 0;
    if (corvane::CheckSysIconBitmap(strip->data(), strip->size(), &frames) != corvane::SysIconCheck::kAccepted ||
        frames != 1) {
      __builtin_trap();
    }
  }
  (void)corvane::CheckSysIconBitmap(bytes.data(), bytes.size());
  return 0;
}
