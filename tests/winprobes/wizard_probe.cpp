// Drives the wizard's skinned controls directly and looks at a running
// wizard from outside. Each fact is printed as one "KEY values" line.
//
// Usage: wizard_probe.exe <command> <args...>
//   controls <seconds>        shows a window with a progress list (cells at 50,
//                             0 and 100 percent) and three labels (gradient,
//                             transparent, solid); prints their screen
//                             rectangles and the list's colours, then READY,
//                             and keeps the window up for <seconds>
//   wait <title> <ms>         waits until a window with that caption is
//                             visible, then prints its state (as "state")
//   state <title>             VISIBLE 0|1, CLIENT x y w h (screen), PAGE n
//                             (-1: none), FORWARD and EXIT enabled flags,
//                             BOX 0|1 (a box captioned "Information" is up)
//   sysmin <title>            sends the minimise system command
//   close <title>             posts WM_CLOSE (the caption's close button)
//   end <title>               terminates the process that owns the window
//   command <title> <id>      sends WM_COMMAND <id> (a tray menu command)
//   key <title> <vk>          posts a key press to the focused control
//   click <title> <id>        clicks button <id> of the current page
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "updater/ui/progress_list_win.h"
#include "updater/ui/skin_label.h"
#include "updater/ui/wizard_resource.h"
#include "win32/scoped_handles.h"
#include "win32/window.h"

using namespace corvane;

namespace {

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

void SayRect(const char* key, HWND hwnd, RECT rc) {
  ::MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&rc), 2);
  char line[128];
  std::snprintf(line, sizeof(line), "%s %ld %ld %ld %ld", key, rc.left, rc.top,
                rc.right - rc.left, rc.bottom - rc.top);
  Say(line);
}

void SayColor(const char* key, COLORREF c) {
  char line[64];
  std::snprintf(line, sizeof(line), "%s %d %d %d", key, GetRValue(c), GetGValue(c), GetBValue(c));
  Say(line);
}

void Pump(DWORD milliseconds) {
  const DWORD start = ::GetTickCount();
  MSG msg;
  while (::GetTickCount() - start < milliseconds) {
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

// A plain parent that reflects notifications to its controls, as the
// dialogs of the window layer do, and paints a known colour.
class ProbeHost : public Window {
 public:
  static constexpr COLORREF kBackground = RGB(30, 120, 60);

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override {
    LRESULT result = 0;
    if (Window::ReflectNotification(Hwnd(), msg, wp, lp, &result)) return result;
    if (msg == WM_ERASEBKGND) {
      RECT rc;
      ::GetClientRect(Hwnd(), &rc);
      ScopedBrush brush(::CreateSolidBrush(kBackground));
      ::FillRect(reinterpret_cast<HDC>(wp), &rc, brush.Get());
      return 1;
    }
    return CallDefault(msg, wp, lp);
  }
};

HWND MakeStatic(HWND parent, int x, int y, int w, int h) {
  return ::CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT, x, y, w, h, parent,
                           nullptr, ::GetModuleHandleA(nullptr), nullptr);
}

int RunControls(int seconds) {
  ProbeHost host;
  if (!host.Create("CorvaneWizardProbe", "Skin controls probe", WS_POPUP | WS_VISIBLE, 0, 100,
                   100, 400, 200, nullptr, nullptr)) {
    Say("ERROR host");
    return 1;
  }
  HWND list_window = ::CreateWindowExA(
      0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT, 10, 10, 370, 90,
      host.Hwnd(), reinterpret_cast<HMENU>(1), ::GetModuleHandleA(nullptr), nullptr);
  ProgressListCtrl list;
  list.Attach(list_window);
  list.SetReportLook(20);
  list.AddColumn("File", 120);
  list.AddColumn("Progress", 150);
  list.AddColumn("Rate", 80);
  const int percents[3] = {50, 0, 100};
  const char* names[3] = {"half", "none", "full"};
  for (int i = 0; i < 3; ++i) {
    const int row = list.AddRow(names[i]);
    list.SetProgress(row, 1, percents[i]);
  }

  SkinLabel gradient, transparent, solid;
  gradient.Attach(MakeStatic(host.Hwnd(), 10, 110, 200, 30));
  gradient.SetGradient(RGB(255, 0, 0), RGB(0, 0, 255), SkinLabel::GradientDirection::kHorizontal);
  transparent.Attach(MakeStatic(host.Hwnd(), 220, 110, 160, 30));
  transparent.MakeTransparent(true);
  solid.Attach(MakeStatic(host.Hwnd(), 10, 150, 200, 30));
  solid.SetBackgroundColor(RGB(250, 220, 0));
  Pump(300);

  for (int i = 0; i < 3; ++i) {
    RECT cell{};
    ListView_GetSubItemRect(list_window, i, 1, LVIR_BOUNDS, &cell);
    char key[16];
    std::snprintf(key, sizeof(key), "CELL%d", i);
    SayRect(key, list_window, cell);
  }
  RECT rc;
  ::GetClientRect(gradient.Hwnd(), &rc);
  SayRect("GRADIENT", gradient.Hwnd(), rc);
  ::GetClientRect(transparent.Hwnd(), &rc);
  SayRect("TRANSPARENT", transparent.Hwnd(), rc);
  ::GetClientRect(solid.Hwnd(), &rc);
  SayRect("SOLID", solid.Hwnd(), rc);
  SayColor("BAR", list.BarColor());
  SayColor("BORDER", list.BorderColor());
  Say(std::string("PROGRESS ") + std::to_string(list.Progress(0)) + " " +
      std::to_string(list.Progress(1)) + " " + std::to_string(list.Progress(2)));
  Say("READY");
  Pump(static_cast<DWORD>(seconds) * 1000);
  return 0;
}

struct WizardSearch {
  const std::string* title;
  HWND found;
};

BOOL CALLBACK FindInTopLevel(HWND top, LPARAM lp) {
  auto* search = reinterpret_cast<WizardSearch*>(lp);
  search->found = ::FindWindowExA(top, nullptr, nullptr, search->title->c_str());
  return search->found ? FALSE : TRUE;
}

// The wizard's main window, wherever it is (hidden to the tray it is the
// child of a parking window).
HWND FindWizard(const std::string& title) {
  if (HWND hwnd = ::FindWindowA(nullptr, title.c_str())) return hwnd;
  WizardSearch search{&title, nullptr};
  ::EnumWindows(FindInTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND CurrentPage(HWND wizard) {
  for (int i = 0; i < 4; ++i) {
    if (HWND page = ::GetDlgItem(wizard, IDC_PAGE_BASE + i)) return page;
  }
  return nullptr;
}

// A message box of the wizard's own process (the cancel question) is open.
// Boxes of other programs on the same desktop do not count.
struct BoxSearch {
  DWORD pid = 0;
  bool found = false;
};

BOOL CALLBACK FindWizardBox(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<BoxSearch*>(param);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  char title[32] = {};
  char cls[16] = {};
  ::GetWindowTextA(window, title, sizeof title);
  ::GetClassNameA(window, cls, sizeof cls);
  if (pid == search->pid && ::IsWindowVisible(window) && std::string(cls) == "#32770" &&
      std::string(title) == "Information") {
    search->found = true;
    return FALSE;
  }
  return TRUE;
}

bool WizardBoxIsOpen(HWND wizard) {
  BoxSearch search;
  ::GetWindowThreadProcessId(wizard, &search.pid);
  ::EnumWindows(FindWizardBox, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

int PrintState(HWND wizard) {
  Say(std::string("VISIBLE ") + (::IsWindowVisible(wizard) ? "1" : "0"));
  RECT rc;
  ::GetClientRect(wizard, &rc);
  SayRect("CLIENT", wizard, rc);
  HWND page = CurrentPage(wizard);
  Say("PAGE " + std::to_string(page ? ::GetDlgCtrlID(page) - IDC_PAGE_BASE : -1));
  HWND forward = page ? ::GetDlgItem(page, IDC_FORWARD) : nullptr;
  HWND exit_button = page ? ::GetDlgItem(page, IDC_EXIT) : nullptr;
  Say(std::string("FORWARD ") + (forward && ::IsWindowEnabled(forward) ? "1" : "0"));
  Say(std::string("EXIT ") + (exit_button && ::IsWindowEnabled(exit_button) ? "1" : "0"));
  Say(std::string("BOX ") + (WizardBoxIsOpen(wizard) ? "1" : "0"));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string command = argv[1];
  if (command == "controls" && argc >= 3) return RunControls(std::atoi(argv[2]));
  if (argc < 3) return 2;
  const std::string title = argv[2];

  if (command == "wait") {
    const DWORD limit = argc >= 4 ? static_cast<DWORD>(std::atoi(argv[3])) : 10000;
    const DWORD start = ::GetTickCount();
    HWND wizard = nullptr;
    while (::GetTickCount() - start < limit) {
      wizard = FindWizard(title);
      if (wizard && ::IsWindowVisible(wizard) && CurrentPage(wizard)) break;
      ::Sleep(50);
    }
    if (!wizard) {
      Say("MISSING");
      return 1;
    }
    return PrintState(wizard);
  }

  HWND wizard = FindWizard(title);
  if (!wizard) {
    Say("MISSING");
    return 1;
  }
  if (command == "state") return PrintState(wizard);
  if (command == "sysmin") {
    ::SendMessageA(wizard, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    return PrintState(wizard);
  }
  if (command == "end") {
    // A test that failed halfway stops the updater it started.
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wizard, &pid);
    HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, pid);
    if (!process) return 1;
    ::TerminateProcess(process, 1);
    ::CloseHandle(process);
    Say("ENDED");
    return 0;
  }
  if (command == "close") {
    ::PostMessageA(wizard, WM_CLOSE, 0, 0);
    ::Sleep(300);
    return PrintState(wizard);
  }
  if (command == "command" && argc >= 4) {
    ::SendMessageA(wizard, WM_COMMAND, MAKEWPARAM(std::atoi(argv[3]), 0), 0);
    return PrintState(wizard);
  }
  if (command == "key" && argc >= 4) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    const DWORD thread = ::GetWindowThreadProcessId(wizard, nullptr);
    HWND target = ::GetGUIThreadInfo(thread, &info) && info.hwndFocus ? info.hwndFocus : wizard;
    const WPARAM vk = static_cast<WPARAM>(std::atoi(argv[3]));
    ::PostMessageA(target, WM_KEYDOWN, vk, 1);
    ::PostMessageA(target, WM_KEYUP, vk, 0xC0000001);
    ::Sleep(300);
    return PrintState(wizard);
  }
  if (command == "click" && argc >= 4) {
    HWND page = CurrentPage(wizard);
    HWND button = page ? ::GetDlgItem(page, std::atoi(argv[3])) : nullptr;
    if (!button) {
      Say("NOBUTTON");
      return 1;
    }
    ::PostMessageA(button, BM_CLICK, 0, 0);
    return 0;
  }
  return 2;
}
