#include "updater/ui/skin_label.h"

#include <shellapi.h>
#include <windowsx.h>

#include <cstring>
#include <vector>

#include "updater/ui/label_wrap.h"
#include "win32/safe_dll.h"

namespace corvane {

namespace {

// The static styles that describe how the text is laid out.
constexpr LONG kKeptStaticStyles =
    SS_TYPEMASK | SS_NOPREFIX | SS_CENTERIMAGE | SS_ELLIPSISMASK;

// Colours from the configuration files are COLORREF values; anything in the
// top byte would turn them into palette references.
COLORREF PlainColor(SkinColor color) { return static_cast<COLORREF>(color & 0x00FFFFFFu); }

LOGFONTA LogFontOf(HFONT font) {
  LOGFONTA lf{};
  if (font) ::GetObjectA(font, sizeof(lf), &lf);
  return lf;
}

}  // namespace

SkinLabel::SkinLabel()
    : text_color_(::GetSysColor(COLOR_WINDOWTEXT)),
      background_color_(::GetSysColor(COLOR_BTNFACE)),
      background_brush_(::CreateSolidBrush(background_color_)),
      gradient_start_(background_color_),
      gradient_end_(background_color_) {
  // Gradients are a nicety: without msimg32 the solid brush is used.
  msimg32_.Reset(LoadSystemLibrary("msimg32.dll"));
  if (msimg32_) {
    gradient_fill_ =
        reinterpret_cast<GradientFillProc>(::GetProcAddress(msimg32_.Get(), "GradientFill"));
  }
}

SkinLabel::~SkinLabel() {
  if (Hwnd() && ::GetCapture() == Hwnd()) ::ReleaseCapture();
}

bool SkinLabel::Attach(HWND static_control) {
  if (!Subclass(static_control)) return false;
  const LONG style = ::GetWindowLongA(static_control, GWL_STYLE);
  static_styles_ = style & kKeptStaticStyles;
  ::SetWindowLongA(static_control, GWL_STYLE, (style & ~SS_TYPEMASK) | SS_OWNERDRAW);
  text_ = Text();

  HFONT font = reinterpret_cast<HFONT>(::SendMessageA(static_control, WM_GETFONT, 0, 0));
  if (!font) {
    HWND parent = ::GetParent(static_control);
    if (parent) font = reinterpret_cast<HFONT>(::SendMessageA(parent, WM_GETFONT, 0, 0));
  }
  if (!font) font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  if (!font) font = static_cast<HFONT>(::GetStockObject(ANSI_VAR_FONT));
  CopyFont(font);
  return true;
}

void SkinLabel::CopyFont(HFONT source) {
  if (!source) return;
  LOGFONTA lf = LogFontOf(source);
  ScopedFont copy(::CreateFontIndirectA(&lf));
  if (copy) font_ = std::move(copy);
}

void SkinLabel::MakeTransparent(bool transparent) {
  transparent_ = transparent;
  if (Hwnd()) {
    LONG ex = ::GetWindowLongA(Hwnd(), GWL_EXSTYLE);
    ex = transparent ? (ex | WS_EX_TRANSPARENT) : (ex & ~WS_EX_TRANSPARENT);
    ::SetWindowLongA(Hwnd(), GWL_EXSTYLE, ex);
  }
  Redraw();
}

void SkinLabel::SetTextColor(COLORREF color) {
  text_color_ = color;
  Redraw();
}

void SkinLabel::SetLabelText(const std::string& text) {
  if (Hwnd()) {
    // Through the window text, so that a worker thread's call is carried out
    // on the window's own thread (see WM_SETTEXT).
    ::SetWindowTextA(Hwnd(), text.c_str());
  } else {
    text_ = text;
  }
}

void SkinLabel::SetLabelFont(const std::string& face, int height, int weight, bool italic,
                             bool underline, bool redraw) {
  LOGFONTA lf{};
  std::strncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
  if (height > 0) lf.lfHeight = height;
  if (weight > 0) lf.lfWeight = weight;
  if (italic) lf.lfItalic = TRUE;
  if (underline) lf.lfUnderline = TRUE;
  ScopedFont font(::CreateFontIndirectA(&lf));
  if (font) font_ = std::move(font);
  font_height_ = height;
  font_weight_ = weight;
  font_italic_ = italic;
  font_underline_ = underline;
  if (redraw) Redraw();
}

void SkinLabel::SetLink(const std::string& text, const std::string& url) {
  url_ = url;
  link_mode_ = true;
  if (Hwnd()) {
    // Without SS_NOTIFY a static lets the mouse through to its parent.
    ::SetWindowLongA(Hwnd(), GWL_STYLE, ::GetWindowLongA(Hwnd(), GWL_STYLE) | SS_NOTIFY);
  }
  SetLabelText(text);
}

void SkinLabel::SetLinkColors(COLORREF normal, bool normal_underline, COLORREF hover,
                              bool hover_underline) {
  LOGFONTA lf = LogFontOf(font_.Get());
  if (font_height_ > 0) lf.lfHeight = font_height_;
  if (font_weight_ > 0) lf.lfWeight = font_weight_;
  lf.lfItalic = font_italic_ ? TRUE : FALSE;
  lf.lfUnderline = normal_underline ? TRUE : FALSE;
  link_normal_font_.Reset(::CreateFontIndirectA(&lf));
  lf.lfUnderline = hover_underline ? TRUE : FALSE;
  link_hover_font_.Reset(::CreateFontIndirectA(&lf));
  link_normal_color_ = normal;
  link_hover_color_ = hover;
  hover_ = false;
  Redraw();
}

void SkinLabel::SetPlain() {
  if (hover_) EndHover();
  link_normal_font_.Reset();
  link_hover_font_.Reset();
  link_mode_ = false;
  url_.clear();
  Redraw();
}

void SkinLabel::SetBackgroundColor(COLORREF color) {
  background_color_ = color;
  background_brush_.Reset(::CreateSolidBrush(color));
  Redraw();
}

void SkinLabel::SetGradient(COLORREF start, COLORREF end, GradientDirection direction) {
  gradient_ = true;
  gradient_start_ = start;
  gradient_end_ = end;
  gradient_direction_ = direction;
  Redraw();
}

void SkinLabel::SetBackgroundBitmap(ScopedBitmap bitmap) {
  background_bitmap_ = std::move(bitmap);
  Redraw();
}

void SkinLabel::SetWordWrap(bool on) {
  word_wrap_ = on;
  Redraw();
}

void SkinLabel::SetShrinkToFit(bool on) {
  shrink_to_fit_ = on;
  Redraw();
}

void SkinLabel::SetTextEffect(TextEffect effect) {
  effect_ = effect;
  Redraw();
}

COLORREF SkinLabel::CurrentTextColor() const {
  if (!link_mode_) return text_color_;
  return hover_ ? link_hover_color_ : link_normal_color_;
}

HFONT SkinLabel::CurrentFont() const {
  if (link_mode_) {
    if (hover_ && link_hover_font_) return link_hover_font_.Get();
    if (link_normal_font_) return link_normal_font_.Get();
  }
  return font_.Get();
}

void SkinLabel::Redraw(bool now) {
  HWND hwnd = Hwnd();
  if (!hwnd) return;
  const UINT update = now ? RDW_UPDATENOW : 0;
  HWND parent = ::GetParent(hwnd);
  if (transparent_ && parent) {
    // The parent (and the siblings under the label) repaint that area
    // first; the label then copies it as its background, so nothing of the
    // old text or an underline that the new look lacks survives.
    RECT rc;
    ::GetWindowRect(hwnd, &rc);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    ::RedrawWindow(parent, &rc, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | update);
  } else {
    ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | update);
  }
}

void SkinLabel::Paint(HDC target, const RECT& item) {
  const int width = item.right - item.left;
  const int height = item.bottom - item.top;
  if (width <= 0 || height <= 0) return;

  ScopedMemoryDc memory(::CreateCompatibleDC(target));
  ScopedBitmap buffer(::CreateCompatibleBitmap(target, width, height));
  if (!memory || !buffer) return;
  ScopedSelectObject keep_buffer(memory.Get(), buffer.Get());
  ::SetMapMode(memory.Get(), ::GetMapMode(target));
  // The buffer's first pixel is the item's top-left corner.
  ::SetWindowOrgEx(memory.Get(), item.left, item.top, nullptr);
  ::SetBkMode(memory.Get(), TRANSPARENT);

  if (background_bitmap_) {
    transparent_ = false;
    BITMAP info{};
    ::GetObjectA(background_bitmap_.Get(), sizeof(info), &info);
    ScopedMemoryDc source(::CreateCompatibleDC(target));
    if (source) {
      ScopedSelectObject keep_source(source.Get(), background_bitmap_.Get());
      RECT client;
      ::GetClientRect(Hwnd(), &client);
      ::SetStretchBltMode(memory.Get(), COLORONCOLOR);
      ::StretchBlt(memory.Get(), client.left, client.top, client.right - client.left,
                   client.bottom - client.top, source.Get(), 0, 0, info.bmWidth, info.bmHeight,
                   SRCCOPY);
    }
  } else if (transparent_) {
    // What the target already shows here: the parent's background and any
    // sibling under the label. Every redraw of a transparent label has the
    // parent repaint that area first (see Redraw), so no old text is read.
    ::BitBlt(memory.Get(), item.left, item.top, width, height, target, item.left, item.top,
             SRCCOPY);
  } else {
    ScopedBrush target_background(::CreateSolidBrush(::GetBkColor(target)));
    ::FillRect(memory.Get(), &item, target_background.Get());
    PaintOwnBackground(memory.Get(), item);
  }

  {
    ScopedSelectObject keep_font(memory.Get(), CurrentFont());
    ::SetTextColor(memory.Get(), CurrentTextColor());
    DrawLabelText(memory.Get(), item);
  }
  ::BitBlt(target, item.left, item.top, width, height, memory.Get(), item.left, item.top,
           SRCCOPY);
}

void SkinLabel::PaintOwnBackground(HDC memory, const RECT& area) {
  if (gradient_ && gradient_fill_) {
    TRIVERTEX vertices[2]{};
    vertices[0].x = area.left;
    vertices[0].y = area.top;
    vertices[0].Red = static_cast<COLOR16>(GetRValue(gradient_start_) << 8);
    vertices[0].Green = static_cast<COLOR16>(GetGValue(gradient_start_) << 8);
    vertices[0].Blue = static_cast<COLOR16>(GetBValue(gradient_start_) << 8);
    vertices[1].x = area.right;
    vertices[1].y = area.bottom;
    vertices[1].Red = static_cast<COLOR16>(GetRValue(gradient_end_) << 8);
    vertices[1].Green = static_cast<COLOR16>(GetGValue(gradient_end_) << 8);
    vertices[1].Blue = static_cast<COLOR16>(GetBValue(gradient_end_) << 8);
    GRADIENT_RECT rect{0, 1};
    const ULONG mode = gradient_direction_ == GradientDirection::kHorizontal
                           ? GRADIENT_FILL_RECT_H
                           : GRADIENT_FILL_RECT_V;
    if (gradient_fill_(memory, vertices, 2, &rect, 1, mode)) return;
  }
  ::FillRect(memory, &area, background_brush_.Get());
}

UINT SkinLabel::DrawFlags() const {
  UINT flags = DT_LEFT;
  switch (static_styles_ & SS_TYPEMASK) {
    case SS_CENTER:
      flags = DT_CENTER;
      break;
    case SS_RIGHT:
      flags = DT_RIGHT;
      break;
    default:
      break;
  }
  if (static_styles_ & SS_NOPREFIX) flags |= DT_NOPREFIX;
  if (static_styles_ & SS_ENDELLIPSIS) flags |= DT_END_ELLIPSIS | DT_WORD_ELLIPSIS;
  if (static_styles_ & SS_PATHELLIPSIS) flags |= DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS;
  if (text_.find('\t') != std::string::npos) flags |= DT_EXPANDTABS;
  return flags;
}

void SkinLabel::DrawLabelText(HDC dc, const RECT& area) {
  TEXTMETRICA metrics{};
  ::GetTextMetricsA(dc, &metrics);
  const int line_height = metrics.tmHeight > 0 ? static_cast<int>(metrics.tmHeight) : 1;
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;

  std::vector<std::string> lines;
  UINT flags = DrawFlags();
  if (word_wrap_) {
    lines = WrapLabelText(text_, width, [dc](const std::string& piece) {
      SIZE size{};
      ::GetTextExtentPoint32A(dc, piece.c_str(), static_cast<int>(piece.size()), &size);
      return static_cast<int>(size.cx);
    });
    flags |= DT_SINGLELINE;
  } else {
    lines.push_back(text_);
  }

  const int block_height = static_cast<int>(lines.size()) * line_height;
  int top = area.top;
  if (static_styles_ & SS_CENTERIMAGE) top += (height - block_height) / 2;

  if (shrink_to_fit_ && block_height > height && line_height > 1) {
    // One step per paint: the next paint measures with the smaller font.
    LOGFONTA lf = LogFontOf(font_.Get());
    if (lf.lfHeight == 0) lf.lfHeight = line_height;
    lf.lfHeight += lf.lfHeight > 0 ? -1 : 1;
    if (lf.lfHeight != 0) {
      ScopedFont smaller(::CreateFontIndirectA(&lf));
      if (smaller) {
        font_ = std::move(smaller);
        if (font_height_ > 0) font_height_ = lf.lfHeight > 0 ? lf.lfHeight : -lf.lfHeight;
        Redraw(/*now=*/false);
      }
    }
  }

  for (size_t i = 0; i < lines.size(); ++i) {
    RECT line_rect{area.left, top + static_cast<int>(i) * line_height, area.right, area.bottom};
    ::DrawTextA(dc, lines[i].c_str(), static_cast<int>(lines[i].size()), &line_rect, flags);
    if (effect_ != TextEffect::kNone) {
      const int shift = effect_ == TextEffect::kRaised ? 1 : -1;
      ::OffsetRect(&line_rect, shift, shift);
      ::DrawTextA(dc, lines[i].c_str(), static_cast<int>(lines[i].size()), &line_rect, flags);
    }
  }
}

void SkinLabel::OnMouseMove(LPARAM lp) {
  if (!link_mode_) return;
  ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)));
  POINT point{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
  RECT client;
  ::GetClientRect(Hwnd(), &client);
  const bool inside = ::PtInRect(&client, point) != FALSE;
  if (!hover_) {
    if (!inside) return;
    hover_ = true;
    ::SetCapture(Hwnd());
    // Where the pointer leaves for a window of another program, the capture
    // may not see it go; the leave notice does.
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, Hwnd(), 0};
    ::TrackMouseEvent(&track);
    Redraw();
  } else if (!inside) {
    EndHover();
  }
}

void SkinLabel::EndHover() {
  hover_ = false;
  if (Hwnd() && ::GetCapture() == Hwnd()) ::ReleaseCapture();
  Redraw();
}

void SkinLabel::OpenUrl() {
  EndHover();
  // A url the shell cannot open is not reported.
  ::ShellExecuteA(nullptr, "open", url_.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

LRESULT SkinLabel::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  try {
    return HandleMessage(msg, wp, lp);
  } catch (...) {
    // Nothing may unwind into the system's window procedure.
    return CallDefault(msg, wp, lp);
  }
}

LRESULT SkinLabel::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT: {
      ScopedPaint paint(Hwnd());
      RECT client;
      ::GetClientRect(Hwnd(), &client);
      Paint(paint.Dc(), client);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // the paint covers every pixel
    case kReflectBase + WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      Paint(item->hDC, item->rcItem);
      return TRUE;
    }
    case WM_SETTEXT: {
      LRESULT result = CallDefault(msg, wp, lp);
      text_ = lp ? reinterpret_cast<const char*>(lp) : "";
      Redraw();
      return result;
    }
    case WM_SETFONT: {
      CopyFont(reinterpret_cast<HFONT>(wp));
      LRESULT result = CallDefault(msg, wp, FALSE);
      if (LOWORD(lp)) Redraw();
      return result;
    }
    case WM_SIZE: {
      LRESULT result = CallDefault(msg, wp, lp);
      Redraw();
      return result;
    }
    case WM_SETCURSOR:
      if (link_mode_) {
        ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)));
        return TRUE;
      }
      break;
    case WM_MOUSEMOVE:
      OnMouseMove(lp);
      return 0;
    case WM_CAPTURECHANGED:
      if (hover_ && reinterpret_cast<HWND>(lp) != Hwnd()) {
        hover_ = false;
        Redraw();
      }
      break;
    case WM_MOUSELEAVE:
      if (hover_) EndHover();
      return 0;
    case WM_LBUTTONDOWN:
      if (link_mode_ && !url_.empty()) {
        OpenUrl();
        return 0;
      }
      break;
    default:
      break;
  }
  return CallDefault(msg, wp, lp);
}

void ApplyTextSkin(SkinLabel& label, const TextSkin& skin) {
  if (skin.rect.IsEmpty()) return;
  if (!skin.url.empty()) {
    label.SetLink(skin.text, skin.url);
    label.SetLabelFont("", skin.font_height, skin.font_weight, skin.italic,
                       skin.normal_underline);
    label.SetLinkColors(PlainColor(skin.normal_color), skin.normal_underline,
                        PlainColor(skin.hover_color), skin.hover_underline);
  } else {
    label.SetLabelText(skin.text);
    label.SetTextColor(PlainColor(skin.text_color));
    label.SetLabelFont("", skin.font_height, skin.font_weight, skin.italic, skin.underline);
    label.SetPlain();
  }
  MoveWindowTo(label.Hwnd(), skin.rect.left, skin.rect.top, skin.rect.Width(),
               skin.rect.Height());
  label.Redraw();
}

}  // namespace corvane
