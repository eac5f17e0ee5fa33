// Device-dependent bitmaps for the wizard's images and the icon strip, made
// from BMP files inside "ui.bin".
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "win32/scoped_handles.h"

namespace corvane {

// Reads `entry` from "ui.bin" (opened by that plain name, i.e. relative to the
// current directory) with the archive password and makes a device-dependent
// bitmap compatible with `window`'s device context (`window` may be null: the
// screen). A missing entry writes "Did not find image file: " + entry to the
// update log. Returns an empty owner when the entry is missing or not a sound
// BMP file.
ScopedBitmap LoadSkinBitmap(HWND window, const std::string& entry);

// The same from the bytes of a BMP file (the designer's converted images, the
// tests). Nothing is logged.
ScopedBitmap CreateSkinBitmap(HWND window, const std::vector<uint8_t>& bmp_file);

}  // namespace corvane
