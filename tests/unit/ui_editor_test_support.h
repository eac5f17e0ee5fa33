// Helpers of the UI editor tests: small BMP files made in memory, reading the
// pixels of the 24-bit BMPs the converter writes, and a design with a value
// in every field that differs from the defaults.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "designer/uieditor/image_convert.h"
#include "designer/uieditor/ui_design.h"
#include "shared/text_util.h"

namespace corvane {
namespace uitest {

// A 24-bit BMP whose pixel (x, y) has red x, green y and blue `blue`.
inline ByteBuffer MakeBmp(int width, int height, uint8_t blue = 7) {
  RgbImage image;
  image.width = width;
  image.height = height;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.rgb.push_back(static_cast<uint8_t>(x));
      image.rgb.push_back(static_cast<uint8_t>(y));
      image.rgb.push_back(blue);
    }
  }
  return EncodeBmp24(image);
}

// The pixels of a 24-bit uncompressed BMP (either row order) as top-down RGB.
inline bool ReadBmp24(const ByteBuffer& b, RgbImage* out) {
  auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24));
  };
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M' || (b[28] | (b[29] << 8)) != 24 || u32(30) != 0) return false;
  const int width = static_cast<int>(u32(18));
  const int stored_height = static_cast<int>(u32(22));
  const int height = stored_height < 0 ? -stored_height : stored_height;
  const size_t offset = u32(10);
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
  if (width <= 0 || offset + stride * static_cast<size_t>(height) > b.size()) return false;
  out->width = width;
  out->height = height;
  out->rgb.clear();
  for (int y = 0; y < height; ++y) {
    const size_t row = static_cast<size_t>(stored_height < 0 ? y : height - 1 - y);
    const uint8_t* p = b.data() + offset + row * stride;
    for (int x = 0; x < width; ++x) {
      out->rgb.push_back(p[x * 3 + 2]);
      out->rgb.push_back(p[x * 3 + 1]);
      out->rgb.push_back(p[x * 3]);
    }
  }
  return true;
}

// Every field set, different per window, colours with the top bit set too.
inline UiDesign RichDesign() {
  UiDesign design = NewUiDesign();
  design.title = "Acme Updater";
  design.copyright = "(C) Acme";
  design.myurl = "https://acme.example/";
  design.template_name = "Blue";
  design.template_author = "Ann";
  for (int n = 0; n < kWizardWindows; ++n) {
    DesignWindow& w = design.windows[n];
    w.attr.show = n != 2;
    w.attr.background = static_cast<SkinColor>(0x00102030 + n);
    w.attr.rect.right = 520 + n;
    w.attr.rect.bottom = 410 + n;
    for (int h = 0; h < 2; ++h) {
      w.images[h].show = (n + h) % 2 == 0;
      w.images[h].transparent = static_cast<SkinColor>(0xFF00FF + h);
      w.images[h].rect.left += n;
    }
    w.buttons[0].caption = Format("&Go %d", n);
    w.buttons[1].rect.top -= n;
    for (int s = 0; s < 4; ++s) {
      TextSkin& t = w.texts[s];
      t.text = Format("Text %d.%d with a=b", n, s);
      t.url = s == 3 ? Format("https://acme.example/?w=%d&x=1", n) : std::string();
      t.text_color = static_cast<SkinColor>(0x800000u * static_cast<unsigned>(s) + static_cast<unsigned>(n));
      t.normal_color = 0xFFFFFFFFu;  // written as -1
      t.hover_color = static_cast<SkinColor>(n * 1000 + s);
      t.normal_underline = s % 2 == 1;
      t.hover_underline = s % 2 == 0;
      t.font_height = 10 + s + n;
      t.font_weight = s == 0 ? 700 : 400;
      t.italic = s == 2;
      t.underline = s == 1;
      t.show = s != n;
      t.rect.top += s;
    }
    w.list.rect.left = 30 + n;
    w.details.show = !w.details.show;
    w.progress[0].rect.bottom += 2;
    w.status[1].rect.right -= 3;
  }
  return design;
}

}  // namespace uitest
}  // namespace corvane
