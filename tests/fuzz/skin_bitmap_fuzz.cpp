// Checks that whatever ParseBmpLayout accepts stays inside the buffer: the
// Windows side hands exactly these ranges to GDI.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "updater/ui/skin_bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A private copy so that ASan sees reads one byte past the end.
  std::vector<uint8_t> bytes(data, data + size);
  const auto layout = corvane::ParseBmpLayout(bytes.data(), bytes.size());
  if (!layout) return 0;
  const size_t info_end = layout->header_offset + layout->header_size;
  const size_t table_end = layout->colors_offset + layout->stored_colors * size_t{4};
  if (info_end > size || table_end > layout->bits_offset || layout->colors_offset < info_end ||
      layout->bits_offset + layout->bits_size > size || layout->bits_size == 0 ||
      layout->header_offset + layout->InfoSize() != table_end) {
    __builtin_trap();
  }
  if (layout->width <= 0 || layout->width > corvane::kMaxSkinBitmapSide || layout->height == 0) {
    __builtin_trap();
  }
  // Touch every byte GDI would read.
  unsigned sum = 0;
  for (size_t i = layout->header_offset; i < table_end; ++i) sum += bytes[i];
  for (size_t i = 0; i < layout->bits_size; ++i) sum += bytes[layout->bits_offset + i];
  volatile unsigned sink = sum;
  (void)sink;
  return 0;
}
