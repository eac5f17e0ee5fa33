// The strip of 16x16 icon frames that animates the wizard's window icon and
// the tray icon during the download. Built once without a window at start-up
// (the built-in 4-frame strip, black as the mask colour) and again by the
// wizard's main window from the UI model's "sysicon" value ("entry:count", a
// BMP strip inside "ui.bin", cyan as the mask colour).
//
// Typical use by the wizard's main window (the object is App().icon_strip):
//   App().icon_strip->Build(hwnd);                       // at initialisation
//   HICON big = App().icon_strip->IconCount() ? App().icon_strip->Icon(0) : program icon;
//   SendMessage(hwnd, WM_SETICON, ICON_BIG, (LPARAM)big);
//   App().icon_strip->ShowNextFrame(hwnd);               // timer 2, every 150 ms
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vector>

namespace corvane {

class AnimatedIcon {
 public:
  static constexpr int kMaxIcons = 10;
  static constexpr COLORREF kBuiltInMask = RGB(0, 0, 0);
  static constexpr COLORREF kSysIconMask = 16776960;  // cyan: red 0, green and blue 255

  AnimatedIcon() = default;
  ~AnimatedIcon();
  AnimatedIcon(const AnimatedIcon&) = delete;
  AnimatedIcon& operator=(const AnimatedIcon&) = delete;

  // Without a window: the built-in strip. With a window: the UI model's
  // sysicon when it names a strip that loads (else the strip built before is
  // kept; a value without a colon logs "Configuration error:sys_icon").
  // Then, when the tray is on and there are frames, frame 0 becomes the tray
  // icon and the frame icons the tray's animation list. Returns true when
  // the strip has frames.
  bool Build(HWND window);

  // Replaces the image list with the frames of `strip` (16 pixels high,
  // 16 pixels per frame), at most `frame_count` of them, with `mask` as the
  // transparent colour, and extracts up to kMaxIcons icons. The bitmap stays
  // the caller's. False (and the strip unchanged) when nothing could be made.
  bool BuildFromBitmap(HBITMAP strip, int frame_count, COLORREF mask);

  int FrameCount() const { return frame_count_; }
  int IconCount() const { return static_cast<int>(icons_.size()); }
  // Icons owned by the strip (valid until the next build or destruction).
  HICON Icon(int index) const;
  const HICON* Icons() const { return icons_.empty() ? nullptr : icons_.data(); }
  HIMAGELIST ImageList() const { return image_list_; }

  // Steps to the next frame (after the last comes frame 0) and sends a new
  // icon of it to `window` as its large icon; the icon it replaces is
  // destroyed when it was made here. Returns the frame shown, or -1.
  int ShowNextFrame(HWND window);
  int CurrentFrame() const { return current_frame_; }

 private:
  void Clear();

  HIMAGELIST image_list_ = nullptr;
  int frame_count_ = 0;
  std::vector<HICON> icons_;
  int current_frame_ = 0;
  HICON last_window_icon_ = nullptr;  // made by ShowNextFrame, destroyed on replacement
};

}  // namespace corvane
