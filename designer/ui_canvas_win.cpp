#include "designer/ui_canvas_win.h"

#include <windowsx.h>

#include <vector>

#include "designer/uieditor/image_convert.h"
#include "shared/zip_file_system.h"

namespace corvane {
namespace {

const char kCanvasClass[] = "CorvaneUiCanvas";
const COLORREF kOutside = RGB(128, 128, 128);
const COLORREF kSample = RGB(255, 255, 255);

RECT ToRect(const SkinRect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

void FillColor(HDC dc, const RECT& rect, COLORREF color) {
  ScopedBrush brush(::CreateSolidBrush(color));
  ::FillRect(dc, &rect, brush.Get());
}

// A sunken white box: the list and the details box.
void PaintBox(HDC dc, const SkinRect& r, const char* sample) {
  RECT rect = ToRect(r);
  FillColor(dc, rect, kSample);
  ::DrawEdge(dc, &rect, EDGE_SUNKEN, BF_RECT);
  if (!sample) return;
  RECT text = rect;
  ::InflateRect(&text, -4, -3);
  ::SetTextColor(dc, RGB(0, 0, 0));
  ::DrawTextA(dc, sample, -1, &text, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
}

void PaintProgress(HDC dc, const SkinRect& r) {
  RECT rect = ToRect(r);
  FillColor(dc, rect, ::GetSysColor(COLOR_BTNFACE));
  ::DrawEdge(dc, &rect, BDR_SUNKENOUTER, BF_RECT);
  RECT bar = rect;
  ::InflateRect(&bar, -2, -2);
  bar.right = bar.left + (bar.right - bar.left) * 2 / 5;
  FillColor(dc, bar, ::GetSysColor(COLOR_HIGHLIGHT));
}

void PaintButton(HDC dc, const DesignButton& button) {
  RECT rect = ToRect(button.rect);
  ::DrawFrameControl(dc, &rect, DFC_BUTTON, DFCS_BUTTONPUSH);
  ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
  ::DrawTextA(dc, button.caption.c_str(), -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

}  // namespace

DesignCanvas::~DesignCanvas() {
  if (hwnd_) ::DestroyWindow(hwnd_);
}

bool DesignCanvas::Create(HWND page, const RECT& area, int id) {
  HINSTANCE instance = ::GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  if (!::GetClassInfoA(instance, kCanvasClass, &wc)) {
    wc.lpfnWndProc = StaticProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kCanvasClass;
    if (!::RegisterClassA(&wc)) return false;
  }
  hwnd_ = ::CreateWindowExA(0, kCanvasClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, area.left, area.top,
                            area.right - area.left, area.bottom - area.top, page,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, this);
  return hwnd_ != nullptr;
}

void DesignCanvas::SetEditable(bool editable, const UiDesign* shown) {
  editable_ = editable;
  shown_ = shown;
  if (!editable_ && dragging_) {
    drag_.Cancel(*design_);
    dragging_ = false;
    ::ReleaseCapture();
  }
  Redraw();
}

void DesignCanvas::Redraw() {
  if (hwnd_) ::InvalidateRect(hwnd_, nullptr, FALSE);
}

void DesignCanvas::ForgetImages() { pictures_.clear(); }

LRESULT CALLBACK DesignCanvas::StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lp);
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<DesignCanvas*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (msg == WM_NCDESTROY) {
    // The page's window may go first: the object must not use the handle after.
    if (self) self->hwnd_ = nullptr;
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
  }
  if (!self || !self->hwnd_) return ::DefWindowProcA(hwnd, msg, wp, lp);
  return self->Proc(msg, wp, lp);
}

LRESULT DesignCanvas::Proc(UINT msg, WPARAM wp, LPARAM lp) {
  const SkinPoint point{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      ScopedPaint paint(hwnd_);
      RECT client;
      ::GetClientRect(hwnd_, &client);
      // Drawn off screen first so that dragging does not flicker.
      ScopedMemoryDc memory(::CreateCompatibleDC(paint.Dc()));
      ScopedBitmap buffer(::CreateCompatibleBitmap(paint.Dc(), client.right, client.bottom));
      {
        ScopedSelectObject target(memory.Get(), buffer.Get());
        Paint(memory.Get(), client);
        ::BitBlt(paint.Dc(), 0, 0, client.right, client.bottom, memory.Get(), 0, 0, SRCCOPY);
      }
      return 0;
    }
    case WM_SETCURSOR:
      if (LOWORD(lp) == HTCLIENT && !dragging_) {
        POINT at;
        ::GetCursorPos(&at);
        ::ScreenToClient(hwnd_, &at);
        if (SetCursorAt(SkinPoint{at.x, at.y})) return TRUE;
      }
      break;
    case WM_LBUTTONDOWN:
      if (editable_) OnPress(point, (wp & MK_CONTROL) != 0);
      return 0;
    case WM_MOUSEMOVE:
      if (dragging_) {
        drag_.Track(*design_, point);
        Redraw();
      }
      return 0;
    case WM_LBUTTONUP:
      if (dragging_) OnRelease();
      return 0;
    case WM_CAPTURECHANGED:
      if (dragging_ && reinterpret_cast<HWND>(lp) != hwnd_) {
        drag_.Cancel(*design_);
        dragging_ = false;
        Redraw();
      }
      return 0;
    case WM_KEYDOWN:
      if (wp == VK_ESCAPE && dragging_) ::ReleaseCapture();
      return 0;
  }
  return ::DefWindowProcA(hwnd_, msg, wp, lp);
}

void DesignCanvas::OnPress(SkinPoint point, bool control_key) {
  ::SetFocus(hwnd_);
  const DesignDrag::Mode mode = drag_.Begin(*design_, Window(), *selection_, point, control_key);
  if (hooks_.selection_changed) hooks_.selection_changed();
  if (mode != DesignDrag::Mode::kNone) {
    dragging_ = true;
    ::SetCapture(hwnd_);
  }
  Redraw();
}

void DesignCanvas::OnRelease() {
  dragging_ = false;
  const std::vector<RectChange> changes = drag_.End(*design_, *selection_);
  ::ReleaseCapture();
  if (!changes.empty() && hooks_.design_changed) hooks_.design_changed();
  if (hooks_.selection_changed) hooks_.selection_changed();
  Redraw();
}

bool DesignCanvas::SetCursorAt(SkinPoint point) {
  if (!editable_) return false;
  const DesignWindow& window = design_->windows[Window()];
  DragHandle handle = DragHandle::kNone;
  const int reference = selection_->Reference();
  if (reference > static_cast<int>(DesignControl::kWindow)) {
    handle = HitHandle(ControlRect(window, static_cast<DesignControl>(reference)), point);
  }
  if (handle == DragHandle::kNone && selection_->Contains(DesignControl::kWindow)) {
    handle = HitWindowHandle(window.attr.rect, point);
  }
  if (handle == DragHandle::kNone) {
    for (DesignControl control : selection_->Items()) {
      if (control != DesignControl::kWindow && RectContains(ControlRect(window, control), point)) {
        handle = DragHandle::kInside;
        break;
      }
    }
  }
  LPCSTR cursor = IDC_ARROW;
  switch (CursorForHandle(handle)) {
    case DragCursor::kSizeNWSE: cursor = IDC_SIZENWSE; break;
    case DragCursor::kSizeNESW: cursor = IDC_SIZENESW; break;
    case DragCursor::kSizeWE: cursor = IDC_SIZEWE; break;
    case DragCursor::kSizeNS: cursor = IDC_SIZENS; break;
    case DragCursor::kSizeAll: cursor = IDC_SIZEALL; break;
    case DragCursor::kArrow: break;
  }
  ::SetCursor(::LoadCursor(nullptr, cursor));
  return true;
}

HBITMAP DesignCanvas::Picture(const std::string& path, int* width, int* height) {
  auto found = pictures_.find(path);
  if (found == pictures_.end()) {
    Picture_ entry;
    std::vector<unsigned char> bytes;
    std::optional<RgbImage> image;
    if (zipfs::ReadWholeFile(path, bytes)) image = DecodePicture(bytes.data(), bytes.size());
    if (image) {
      BITMAPINFO info{};
      info.bmiHeader.biSize = sizeof(info.bmiHeader);
      info.bmiHeader.biWidth = image->width;
      info.bmiHeader.biHeight = -image->height;
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 32;
      info.bmiHeader.biCompression = BI_RGB;
      void* bits = nullptr;
      entry.bitmap.Reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
      if (entry.bitmap && bits) {
        auto* out = static_cast<uint8_t*>(bits);
        const size_t pixels = static_cast<size_t>(image->width) * static_cast<size_t>(image->height);
        for (size_t i = 0; i < pixels; ++i) {
          out[i * 4 + 0] = image->rgb[i * 3 + 2];
          out[i * 4 + 1] = image->rgb[i * 3 + 1];
          out[i * 4 + 2] = image->rgb[i * 3 + 0];
          out[i * 4 + 3] = 0;
        }
        entry.width = image->width;
        entry.height = image->height;
      }
    }
    found = pictures_.emplace(path, std::move(entry)).first;
  }
  *width = found->second.width;
  *height = found->second.height;
  return found->second.bitmap.Get();
}

void DesignCanvas::PaintImage(HDC dc, const DesignImage& image) {
  RECT rect = ToRect(image.rect);
  int width = 0, height = 0;
  const std::string path = image.source.empty() || !hooks_.image_path ? image.source : hooks_.image_path(image.source);
  HBITMAP bitmap = path.empty() ? nullptr : Picture(path, &width, &height);
  if (!bitmap) {
    // No picture yet: a frame marks where it goes.
    ::DrawEdge(dc, &rect, BDR_SUNKENOUTER, BF_RECT);
    return;
  }
  ScopedMemoryDc source(::CreateCompatibleDC(dc));
  ScopedSelectObject selected(source.Get(), bitmap);
  ::SetStretchBltMode(dc, COLORONCOLOR);
  ::StretchBlt(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, source.Get(), 0, 0, width,
               height, SRCCOPY);
}

// As the wizard's label draws it: the font built from the size, weight,
// italic and underline alone; a link in its normal look.
void DesignCanvas::PaintText(HDC dc, const TextSkin& text) {
  const bool link = !text.url.empty();
  const bool underline = link ? text.normal_underline : text.underline;
  ScopedFont font(::CreateFontA(text.font_height > 0 ? text.font_height : 0, 0, 0, 0,
                                text.font_weight > 0 ? text.font_weight : FW_NORMAL, text.italic ? TRUE : FALSE,
                                underline ? TRUE : FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, ""));
  ScopedSelectObject selected(dc, font ? static_cast<HGDIOBJ>(font.Get()) : ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetTextColor(dc, link ? text.normal_color : text.text_color);
  RECT rect = ToRect(text.rect);
  ::DrawTextA(dc, text.text.c_str(), -1, &rect, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
}

void DesignCanvas::Paint(HDC dc, const RECT& client) {
  FillColor(dc, client, kOutside);
  const UiDesign& design = Shown();
  const int index = Window();
  const DesignWindow& window = design.windows[index];
  RECT area = ToRect(window.attr.rect);
  FillColor(dc, area, window.attr.background);
  ScopedSaveDc saved(dc);
  ::IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
  ::SetBkMode(dc, TRANSPARENT);
  ScopedSelectObject gui_font(dc, ::GetStockObject(DEFAULT_GUI_FONT));
  // Images lie on the window's background and the wizard's other controls
  // are windows over it: images first, then boxes and bars, texts, buttons.
  for (int i = 0; i < 2; ++i) {
    if (ControlVisible(design, index, ImageControl(i))) PaintImage(dc, window.images[i]);
  }
  if (ControlVisible(design, index, DesignControl::kDetails)) PaintBox(dc, window.details.rect, nullptr);
  if (ControlVisible(design, index, DesignControl::kList)) PaintBox(dc, window.list.rect, "File(Folder)");
  for (int i = 0; i < 2; ++i) {
    if (ControlVisible(design, index, static_cast<DesignControl>(static_cast<int>(DesignControl::kProgress0) + i))) {
      PaintProgress(dc, window.progress[i].rect);
    }
    if (ControlVisible(design, index, static_cast<DesignControl>(static_cast<int>(DesignControl::kStatus0) + i))) {
      RECT rect = ToRect(window.status[i].rect);
      ::SetTextColor(dc, RGB(0, 0, 0));
      ::DrawTextA(dc, i == 0 ? "Status" : "0 KB/s", -1, &rect, DT_LEFT | DT_SINGLELINE | DT_VCENTER);
    }
  }
  for (int i = 0; i < 4; ++i) {
    if (ControlVisible(design, index, TextControl(i))) PaintText(dc, window.texts[i]);
  }
  for (int i = 0; i < 2; ++i) {
    if (ControlVisible(design, index, ButtonControl(i))) PaintButton(dc, window.buttons[i]);
  }
  ::SelectClipRgn(dc, nullptr);
  if (editable_) PaintSelection(dc);
}

void DesignCanvas::PaintSelection(HDC dc) {
  const DesignWindow& window = design_->windows[Window()];
  for (DesignControl control : selection_->Items()) {
    const SkinRect& rect = ControlRect(window, control);
    const bool reference = static_cast<int>(control) == selection_->Reference();
    const std::array<SkinRect, 8> handles = HandleRects(rect);
    for (size_t i = 0; i < handles.size(); ++i) {
      // The window shows only the handles it can be dragged by.
      if (control == DesignControl::kWindow && i != 3 && i != 4 && i != 5) continue;
      RECT handle = ToRect(handles[i]);
      FillColor(dc, handle, reference ? RGB(0, 0, 0) : RGB(255, 255, 255));
      ScopedBrush frame(::CreateSolidBrush(RGB(0, 0, 0)));
      ::FrameRect(dc, &handle, frame.Get());
    }
  }
  if (dragging_ && drag_.mode() == DesignDrag::Mode::kRubberBand) {
    RECT band = ToRect(drag_.band());
    ::DrawFocusRect(dc, &band);
  }
}

}  // namespace corvane
