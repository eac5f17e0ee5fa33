#include "updater/ui/details_box_win.h"

namespace corvane {

DetailsBox::DetailsBox()
    : text_color_(::GetSysColor(COLOR_WINDOWTEXT)),
      background_color_(::GetSysColor(COLOR_WINDOW)),
      brush_(::CreateSolidBrush(background_color_)) {}

bool DetailsBox::Attach(HWND edit) { return Subclass(edit); }

void DetailsBox::SetBackgroundColor(COLORREF color) {
  background_color_ = color;
  brush_.Reset(::CreateSolidBrush(color));
  if (Hwnd()) ::InvalidateRect(Hwnd(), nullptr, TRUE);
}

void DetailsBox::SetTextColor(COLORREF color) {
  text_color_ = color;
  if (Hwnd()) ::InvalidateRect(Hwnd(), nullptr, TRUE);
}

void DetailsBox::AppendLine(const std::string& text, int line_height) {
  HWND edit = Hwnd();
  if (!edit) return;
  // Only messages: a worker's call is carried out on the window's thread.
  const std::string line = text + "\r\n";
  const LRESULT length = ::SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0);
  ::SendMessageA(edit, EM_SETSEL, length, length);
  ::SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
  RECT rc{};
  ::GetClientRect(edit, &rc);
  const int fitting = line_height > 0 ? (rc.bottom - rc.top) / line_height : 0;
  const int lines = static_cast<int>(::SendMessageA(edit, EM_GETLINECOUNT, 0, 0));
  if (lines > fitting) {
    // The lines beyond what fits are scrolled out at the top (the caret move
    // may already have scrolled part of the way).
    const int first = static_cast<int>(::SendMessageA(edit, EM_GETFIRSTVISIBLELINE, 0, 0));
    const int wanted = lines - fitting;
    if (wanted != first) ::SendMessageA(edit, EM_LINESCROLL, 0, wanted - first);
  }
}

LRESULT DetailsBox::Colorize(HDC dc) {
  ::SetTextColor(dc, text_color_);
  ::SetBkColor(dc, background_color_);
  return reinterpret_cast<LRESULT>(brush_.Get());
}

LRESULT DetailsBox::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    // A read-only edit asks for the static colours.
    case kReflectBase + WM_CTLCOLOREDIT:
    case kReflectBase + WM_CTLCOLORSTATIC:
      return Colorize(reinterpret_cast<HDC>(wp));
    default:
      return CallDefault(msg, wp, lp);
  }
}

}  // namespace corvane
