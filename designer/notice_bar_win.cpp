#include "designer/notice_bar_win.h"

#include <shellapi.h>

#include "designer/resource.h"

namespace corvane {

namespace {
const char kWebSite[] = "http://www.corvane.example/";
}

bool StartUpdater(HWND owner, const std::string& updater_folder, const std::string& parameters) {
  const std::string program = updater_folder + "update.exe";
  HINSTANCE rc = ::ShellExecuteA(owner, "open", program.c_str(), parameters.c_str(),
                                 updater_folder.c_str(), SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(rc) > 32;
}

bool NoticeBar::Create(HWND main_window) {
  if (!CreateModeless(main_window, IDD_NOTICE_BAR)) return false;
  RECT client;
  ::GetClientRect(main_window, &client);
  ::SetWindowPos(Hwnd(), HWND_TOP, client.left + 10, client.top + 1, 0, 0, SWP_NOSIZE | SWP_HIDEWINDOW);
  return true;
}

void NoticeBar::Show(bool visible) {
  if (!Hwnd()) return;
  ::SetWindowPos(Hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | (visible ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

BOOL NoticeBar::OnInitDialog() {
  LOGFONTA font{};
  font.lfHeight = 16;
  font.lfWeight = FW_BOLD;
  lstrcpyA(font.lfFaceName, "Arial");
  bold_.Reset(::CreateFontIndirectA(&font));
  ::SendMessageA(Item(IDC_NOTICE_TEXT), WM_SETFONT, reinterpret_cast<WPARAM>(bold_.Get()), FALSE);
  return TRUE;
}

bool NoticeBar::OnCommand(int id, int code, HWND control) {
  switch (id) {
    case IDC_NOTICE_UPGRADE:
      StartUpdater(::GetParent(Hwnd()), updater_folder_, "/Tray");
      Show(false);
      return true;
    case IDC_NOTICE_LATER:
      Show(false);
      return true;
    case IDC_NOTICE_LINK:
      if (code == STN_CLICKED) ::ShellExecuteA(Hwnd(), "open", kWebSite, nullptr, nullptr, SW_SHOWNORMAL);
      return true;
    default:
      return id == IDOK || id == IDCANCEL;
  }
}

INT_PTR NoticeBar::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CTLCOLORSTATIC) {
    HDC dc = reinterpret_cast<HDC>(wp);
    HWND control = reinterpret_cast<HWND>(lp);
    ::SetBkMode(dc, TRANSPARENT);
    if (control == Item(IDC_NOTICE_TEXT)) ::SetTextColor(dc, RGB(50, 50, 50));
    if (control == Item(IDC_NOTICE_LINK)) ::SetTextColor(dc, RGB(0, 0, 255));
    return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
  }
  return Dialog::OnMessage(msg, wp, lp);
}

}  // namespace corvane
