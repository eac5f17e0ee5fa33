// The preview area of the "UI-Design" page: draws the selected window of the
// design as the wizard shows it (background, images, texts and links, buttons,
// list, details box, progress bars and status lines), the selection with its
// eight handles and the rubber band, and turns mouse input into DesignDrag
// steps. The page owns the design; the canvas tells it what changed.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>

#include "designer/uieditor/ui_design_edit.h"
#include "win32/scoped_handles.h"

namespace corvane {

class DesignCanvas {
 public:
  struct Hooks {
    std::function<void()> selection_changed;  // a press changed the selection
    std::function<void()> design_changed;     // a drag moved or resized something
    // The file to draw for an image source; empty: not to be read (a path
    // outside the project). Without it the source is read as it is.
    std::function<std::string(const std::string&)> image_path;
  };

  DesignCanvas(UiDesign* design, DesignSelection* selection, Hooks hooks)
      : design_(design), selection_(selection), hooks_(std::move(hooks)) {}
  ~DesignCanvas();
  DesignCanvas(const DesignCanvas&) = delete;
  DesignCanvas& operator=(const DesignCanvas&) = delete;

  // Creates the canvas over `area` (page coordinates) of `page`.
  bool Create(HWND page, const RECT& area, int id);
  HWND Hwnd() const { return hwnd_; }

  // Editing is possible only on the page's own design ("Custom Windows");
  // otherwise `shown` (the template's design) is drawn and the mouse ignored.
  void SetEditable(bool editable, const UiDesign* shown);
  void Redraw();
  // Drops cached pictures (after a template replaced the files under them).
  void ForgetImages();

 private:
  static LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Proc(UINT msg, WPARAM wp, LPARAM lp);
  void Paint(HDC dc, const RECT& client);
  void PaintText(HDC dc, const TextSkin& text);
  void PaintImage(HDC dc, const DesignImage& image);
  void PaintSelection(HDC dc);
  HBITMAP Picture(const std::string& path, int* width, int* height);
  bool SetCursorAt(SkinPoint point);
  void OnPress(SkinPoint point, bool control_key);
  void OnRelease();
  const UiDesign& Shown() const { return editable_ || !shown_ ? *design_ : *shown_; }
  int Window() const { return design_->current_window; }

  struct Picture_ {
    ScopedBitmap bitmap;
    int width = 0;
    int height = 0;
  };

  HWND hwnd_ = nullptr;
  UiDesign* design_;
  DesignSelection* selection_;
  Hooks hooks_;
  bool editable_ = true;
  const UiDesign* shown_ = nullptr;
  DesignDrag drag_;
  bool dragging_ = false;
  std::map<std::string, Picture_> pictures_;
};

}  // namespace corvane
