#include "updater/ui/details_box_win.h"

#include <cstring>

namespace corvane {

namespace {

// Below the control's default limit of 30,000 characters.
constexpr LRESULT kKeptText = 24000;

}  // namespace

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
  const std::string line = text + "\r\n";
  if (length_ < 0) length_ = ::SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0);
  if (length_ + static_cast<LRESULT>(line.size()) > kKeptText) {
    // The older half goes, up to a line's end.
    std::string kept(static_cast<size_t>(length_) + 1, '\0');
    ::GetWindowTextA(edit, &kept[0], static_cast<int>(kept.size()));
    kept.resize(std::strlen(kept.c_str()));
    const size_t cut = kept.find("\r\n", kept.size() / 2);
    kept = cut == std::string::npos ? std::string() : kept.substr(cut + 2);
    ::SetWindowTextA(edit, kept.c_str());
    length_ = static_cast<LRESULT>(kept.size());
  }
  ::SendMessageA(edit, EM_SETSEL, length_, length_);
  ::SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
  length_ += static_cast<LRESULT>(line.size());
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
