// SkinLabel: the owner-drawn text and link control of the wizard pages (and of
// the designer's preview). It subclasses a static control of a dialog
// template, switches it to owner draw and paints it double-buffered: plain
// text in a colour and font of its own, or a link with a normal and a hover
// look, opened with the shell when clicked. A transparent label shows its
// parent's background (colour and images) through.
#pragma once

#include <windows.h>

#include <string>

#include "updater/ui/ui_model.h"
#include "win32/scoped_handles.h"
#include "win32/window.h"

namespace corvane {

class SkinLabel : public Window {
 public:
  enum class TextEffect { kNone, kRaised, kSunken };
  enum class GradientDirection { kHorizontal, kVertical };

  SkinLabel();
  ~SkinLabel() override;

  // Binds the label to a static control: remembers the static's alignment
  // and ellipsis styles, switches it to owner draw, takes its text and a copy
  // of its font (or the dialog's, or a stock font).
  bool Attach(HWND static_control);

  void MakeTransparent(bool transparent);
  void SetTextColor(COLORREF color);
  void SetLabelText(const std::string& text);
  const std::string& LabelText() const { return text_; }

  // A font built from nothing but these values: the face as given (empty:
  // the system's default face), the height and weight only when above 0,
  // italic and underline only when set. The values are remembered for the
  // link fonts.
  void SetLabelFont(const std::string& face, int height, int weight, bool italic, bool underline,
                    bool redraw = true);

  // Link mode: clicks open `url` with the shell's "open" verb.
  void SetLink(const std::string& text, const std::string& url);
  // The link's two looks; selects the normal one.
  void SetLinkColors(COLORREF normal, bool normal_underline, COLORREF hover, bool hover_underline);
  // Back to plain text: the link fonts are dropped.
  void SetPlain();

  // Backgrounds for a label that is not transparent (the designer's options).
  void SetBackgroundColor(COLORREF color);
  void SetGradient(COLORREF start, COLORREF end, GradientDirection direction);
  // Takes ownership; the bitmap is stretched over the label, which stops
  // being transparent.
  void SetBackgroundBitmap(ScopedBitmap bitmap);

  void SetWordWrap(bool on);
  void SetShrinkToFit(bool on);
  void SetTextEffect(TextEffect effect);

  bool IsLink() const { return link_mode_; }
  bool IsHovering() const { return hover_; }
  bool IsTransparent() const { return transparent_; }
  const std::string& Url() const { return url_; }
  COLORREF CurrentTextColor() const;
  // The font that the next paint selects.
  HFONT CurrentFont() const;

  // Repaints the label (now, or at the next paint); a transparent one
  // together with what lies under it.
  void Redraw(bool now = true);

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  using GradientFillProc = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);

  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  void Paint(HDC target, const RECT& item);
  void PaintOwnBackground(HDC memory, const RECT& area);
  void DrawLabelText(HDC dc, const RECT& area);
  UINT DrawFlags() const;
  void OnMouseMove(LPARAM lp);
  void EndHover();
  void OpenUrl();
  void CopyFont(HFONT source);

  std::string text_;
  std::string url_;
  bool link_mode_ = false;
  bool transparent_ = false;
  bool hover_ = false;

  COLORREF text_color_;
  COLORREF background_color_;
  ScopedBrush background_brush_;
  bool gradient_ = false;
  COLORREF gradient_start_;
  COLORREF gradient_end_;
  GradientDirection gradient_direction_ = GradientDirection::kHorizontal;
  ScopedBitmap background_bitmap_;

  COLORREF link_normal_color_ = RGB(0, 0, 0);
  COLORREF link_hover_color_ = RGB(0, 0, 0);
  ScopedFont link_normal_font_;
  ScopedFont link_hover_font_;
  ScopedFont font_;
  // Remembered by SetLabelFont for the link fonts.
  int font_height_ = 0;
  int font_weight_ = 0;
  bool font_italic_ = false;
  bool font_underline_ = false;

  LONG static_styles_ = 0;  // SS_ alignment, ellipsis and image styles before owner draw
  bool word_wrap_ = false;
  bool shrink_to_fit_ = false;
  TextEffect effect_ = TextEffect::kNone;

  ScopedLibrary msimg32_;
  GradientFillProc gradient_fill_ = nullptr;
};

// Gives a label the look of a UI model text: a link when the skin has a url,
// plain text otherwise, with the skin's font and colours, moved to the skin's
// rectangle. An empty rectangle leaves the label as the template made it.
void ApplyTextSkin(SkinLabel& label, const TextSkin& skin);

}  // namespace corvane
