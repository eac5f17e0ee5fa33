// Device-dependent bitmaps from BMP files inside "ui.bin".
#include "updater/ui/skin_bitmap_win.h"

#include <cstring>

#include "shared/archive_password.h"
#include "shared/zip_archive.h"
#include "updater/engine/updater_app.h"
#include "updater/ui/skin_bitmap.h"
#include "updater/ui/ui_config.h"

namespace corvane {

namespace {

// A logical palette (version 0x300) of the file's colour table.
ScopedPalette MakePalette(const uint8_t* table, uint32_t entries) {
  std::vector<uint8_t> storage(sizeof(LOGPALETTE) + entries * sizeof(PALETTEENTRY));
  auto* palette = reinterpret_cast<LOGPALETTE*>(storage.data());
  palette->palVersion = 0x300;
  palette->palNumEntries = static_cast<WORD>(entries);
  for (uint32_t i = 0; i < entries; ++i) {
    const uint8_t* quad = table + i * 4;  // blue, green, red, reserved
    palette->palPalEntry[i].peRed = quad[2];
    palette->palPalEntry[i].peGreen = quad[1];
    palette->palPalEntry[i].peBlue = quad[0];
    palette->palPalEntry[i].peFlags = 0;
  }
  return ScopedPalette(::CreatePalette(palette));
}

}  // namespace

ScopedBitmap CreateSkinBitmap(HWND window, const std::vector<uint8_t>& bmp_file) {
  const std::optional<BmpLayout> layout = ParseBmpLayout(bmp_file.data(), bmp_file.size());
  if (!layout) return ScopedBitmap();

  // The information header and colour table are copied so that GDI reads
  // them aligned and never beyond what was checked.
  std::vector<uint8_t> info(layout->InfoSize() + sizeof(RGBQUAD));
  std::memcpy(info.data(), bmp_file.data() + layout->header_offset, layout->InfoSize());
  const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(info.data());
  const auto* bitmap_info = reinterpret_cast<const BITMAPINFO*>(info.data());
  const uint8_t* bits = bmp_file.data() + layout->bits_offset;

  ScopedWindowDc dc(window);
  if (!dc.Get()) return ScopedBitmap();

  ScopedPalette palette;
  HPALETTE previous_palette = nullptr;
  if (layout->WantsPalette()) {
    palette = MakePalette(bmp_file.data() + layout->colors_offset, layout->stored_colors);
    if (palette) {
      previous_palette = ::SelectPalette(dc.Get(), palette.Get(), FALSE);
      ::RealizePalette(dc.Get());
    }
  }
  ScopedBitmap bitmap(::CreateDIBitmap(dc.Get(), header, CBM_INIT, bits, bitmap_info,
                                       DIB_RGB_COLORS));
  if (palette) ::SelectPalette(dc.Get(), previous_palette, FALSE);
  return bitmap;
}

ScopedBitmap LoadSkinBitmap(HWND window, const std::string& entry) {
  std::optional<std::vector<char>> data = ReadArchiveEntry(kUiArchiveName, entry, ArchivePassword());
  if (!data) {
    App().WriteLog("Did not find image file: " + entry);
    return ScopedBitmap();
  }
  // The reader adds one zero byte after the entry.
  const size_t size = data->empty() ? 0 : data->size() - 1;
  std::vector<uint8_t> bytes(data->begin(), data->begin() + static_cast<long>(size));
  return CreateSkinBitmap(window, bytes);
}

}  // namespace corvane
