// The parsed look of the updater's wizard: four windows, each with its size,
// background, two images, two buttons, four texts and the extra controls of
// that window. Filled once per run from "ui.bin" or "ui.dat".
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

// Rectangles are held as left, top, right, bottom (right = x + width).
struct SkinRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool operator==(const SkinRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

// COLORREF as stored in the files: red in the low byte, blue in bits 16 to 23.
using SkinColor = uint32_t;

struct WindowSkin {
  SkinRect rect;
  SkinColor background = 0;  // clrbk
  bool show = false;
};

struct ImageSkin {
  SkinRect rect;
  std::string entry;  // bmpfile: archive entry of the BMP
  SkinColor transparent = 0;  // clrtp, used by the designer only
  bool show = false;
};

struct ButtonSkin {
  SkinRect rect;
  std::string caption;
};

struct TextSkin {
  SkinRect rect;
  std::string text;
  std::string url;
  bool normal_underline = false;  // nor_underline
  bool hover_underline = false;   // hov_underline
  SkinColor text_color = 0;       // clrtext
  SkinColor normal_color = 0;     // clrnormal
  SkinColor hover_color = 0;      // clrHover
  int font_height = 0;            // fontsize; <= 0 leaves it to the system
  int font_weight = 0;            // fontweight; <= 0 leaves it to the system
  bool italic = false;
  bool underline = false;
  bool show = false;
};

struct ControlPlacement {
  SkinRect rect;
  bool show = false;
};

constexpr int kWizardWindows = 4;

struct WindowModel {
  WindowSkin attr;
  ImageSkin images[2];
  ButtonSkin buttons[2];
  TextSkin texts[4];
};

struct UiModel {
  WindowModel windows[kWizardWindows];
  ControlPlacement list0, list1;              // list of window 0 and of window 1
  ControlPlacement details1, details3;        // rich_edit of windows 1 and 3
  ControlPlacement progress1_0, progress1_1;  // progress0 and progress1 of window 1
  ControlPlacement progress3_0;               // progress0 of window 3
  ControlPlacement status1_0, status1_1;      // status0 and status1 of window 1
  ControlPlacement status3_0;                 // status0 of window 3
  std::string title = "Corvane";
  std::string sysicon;
  std::string copyright;
  std::string myurl;
};

}  // namespace corvane
