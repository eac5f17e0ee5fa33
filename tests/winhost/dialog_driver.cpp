// Script commands (one per line; the last argument may contain blanks and is
// separated from the command by a tab when the command takes two):
//   window <title prefix>|main     wait for a top-level window, make it current
//   tab <index>                    select a tab of the current window's tab control
//   type <sel>\t<text>             replace an edit's text by typing it
//   pick <sel>\t<text>             choose a list or drop-down entry by its text
//   check <sel>\t0|1               set a check box by clicking it when needed
//   click <sel>                    click a control
//   key <sel>\t<virtual key>       press a key on a control (e.g. 40 down)
//   list <sel> | text <sel> | enabled <sel> | title
//   visible <sel> | waitvisible <sel>  whether the control is shown (now / within 20 s)
//   box <answer>                   wait for a message box, record it, answer it
//   nobox                          record any message box that is open now
//   filedlg <path>                 wait for a file dialog and choose the path
//   menu <n>                       wait for a pop-up menu and choose entry n (0 first)
//   shot <bmp path>                capture the current window
//   sleep <ms> | close | waitexit
// Selectors: "Caption" (exact window text), "next:Label" (the control after
// the label), "#<id>" (control id). Only visible windows are searched.
// Record lines: "> command", results ("LIST a|b", "TEXT ...", "ENABLED 1",
// "BOX caption\ttext\tanswer", "EXIT n") and "ERROR ..." for anything that
// failed; the script goes on after an error.
#include "dialog_driver.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/winhost/record_text.h"

namespace {

FILE* g_out = nullptr;
DWORD g_pid = 0;
HWND g_main = nullptr;
HWND g_current = nullptr;

void Out(const std::string& line) {
  std::fprintf(g_out, "%s\n", line.c_str());
  std::fflush(g_out);
}

std::string Escape(const std::string& s) { return winhost::EscapeRecordText(s); }

std::string Text(HWND hwnd) {
  // Long texts (a message log) are read whole.
  DWORD_PTR length = 0;
  SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
  std::vector<char> buf(static_cast<size_t>(length) + 4096, '\0');
  SendMessageTimeoutA(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_ABORTIFHUNG, 5000,
                      nullptr);
  return buf.data();
}

std::string ClassOf(HWND hwnd) {
  char buf[64] = {};
  GetClassNameA(hwnd, buf, sizeof(buf));
  return buf;
}

struct TopSearch {
  std::string prefix;
  std::string cls;
  HWND found = nullptr;
};

BOOL CALLBACK FindTop(HWND hwnd, LPARAM lp) {
  TopSearch* s = reinterpret_cast<TopSearch*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != g_pid || !IsWindowVisible(hwnd)) return TRUE;
  if (!s->cls.empty() && ClassOf(hwnd) != s->cls) return TRUE;
  if (Text(hwnd).compare(0, s->prefix.size(), s->prefix) != 0) return TRUE;
  s->found = hwnd;
  return FALSE;
}

HWND WaitTop(const std::string& prefix, const std::string& cls, DWORD ms, bool (*accept)(HWND) = nullptr) {
  const DWORD until = GetTickCount() + ms;
  do {
    TopSearch s{prefix, cls};
    EnumWindows(FindTop, reinterpret_cast<LPARAM>(&s));
    if (s.found && (!accept || accept(s.found))) return s.found;
    Sleep(100);
  } while (GetTickCount() < until);
  return nullptr;
}

bool IsMessageBox(HWND hwnd) { return GetDlgItem(hwnd, 0xFFFF) != nullptr; }
bool IsFileDialog(HWND hwnd) {
  return GetDlgItem(hwnd, 0x47c) != nullptr || GetDlgItem(hwnd, 0x480) != nullptr;
}

struct ChildSearch {
  std::vector<HWND> all;
};
BOOL CALLBACK CollectChild(HWND hwnd, LPARAM lp) {
  reinterpret_cast<ChildSearch*>(lp)->all.push_back(hwnd);
  return TRUE;
}

HWND Find(const std::string& selector) {
  ChildSearch s;
  EnumChildWindows(g_current, CollectChild, reinterpret_cast<LPARAM>(&s));
  if (!selector.empty() && selector[0] == '#') {
    int id = std::atoi(selector.c_str() + 1);
    for (HWND h : s.all) {
      if (IsWindowVisible(h) && GetDlgCtrlID(h) == id) return h;
    }
    return nullptr;
  }
  const bool next = selector.compare(0, 5, "next:") == 0;
  const std::string caption = next ? selector.substr(5) : selector;
  for (HWND h : s.all) {
    if (!IsWindowVisible(h) || Text(h) != caption) continue;
    if (!next) return h;
    HWND after = GetWindow(h, GW_HWNDNEXT);
    while (after && !IsWindowVisible(after)) after = GetWindow(after, GW_HWNDNEXT);
    return after;
  }
  return nullptr;
}

void Settle() { Sleep(250); }

void PostClick(HWND hwnd) {
  RECT r;
  GetClientRect(hwnd, &r);
  LPARAM at = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
  PostMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageA(hwnd, WM_LBUTTONUP, 0, at);
}

void NotifyParent(HWND control, WORD code) {
  PostMessageA(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
               reinterpret_cast<LPARAM>(control));
}

// List and drop-down texts cross the process boundary as wide text.
std::vector<std::string> Rows(HWND hwnd) {
  std::vector<std::string> rows;
  const bool combo = ClassOf(hwnd) == "ComboBox";
  LRESULT count = SendMessageW(hwnd, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t wide[2048] = {};
    SendMessageW(hwnd, combo ? CB_GETLBTEXT : LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(wide));
    char narrow[4096] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof(narrow), nullptr, nullptr);
    rows.push_back(narrow);
  }
  return rows;
}

bool Answer(HWND box, const std::string& word) {
  int id = word == "yes" ? IDYES : word == "no" ? IDNO : word == "cancel" ? IDCANCEL : IDOK;
  HWND button = GetDlgItem(box, id);
  if (!button) return false;
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  return true;
}

void SaveBitmap(HWND hwnd, const std::string& path) {
  RECT r;
  GetWindowRect(hwnd, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) & ~3u);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
  file.bfSize = file.bfOffBits + stride * static_cast<DWORD>(h);
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(&file, sizeof(file), 1, f);
    std::fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, f);
    std::fwrite(bits, stride, static_cast<size_t>(h), f);
    std::fclose(f);
  }
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
}

// Runs one command; false ends the script.
bool Run(const std::string& line, HANDLE process) {
  size_t space = line.find(' ');
  const std::string cmd = line.substr(0, space);
  std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
  std::string arg = rest, value;
  size_t tab = rest.find('\t');
  if (tab != std::string::npos) {
    arg = rest.substr(0, tab);
    value = rest.substr(tab + 1);
  }
  Out("> " + Escape(line));
  auto need = [&](HWND h) {
    if (!h) Out("ERROR no control " + arg);
    return h != nullptr;
  };

  if (cmd == "window") {
    HWND h = arg == "main" ? g_main : WaitTop(arg, "#32770", 10000);
    if (!h) Out("ERROR no window " + arg);
    else g_current = h;
  } else if (cmd == "title") {
    Out("TITLE " + Text(g_current));
  } else if (cmd == "tab") {
    HWND tabs = FindWindowExA(g_current, nullptr, "SysTabControl32", nullptr);
    if (!need(tabs)) return true;
    int target = std::atoi(arg.c_str());
    for (int guard = 0; guard < 10; ++guard) {
      int cur = static_cast<int>(SendMessageA(tabs, TCM_GETCURSEL, 0, 0));
      if (cur == target) break;
      WPARAM key = cur < target ? VK_RIGHT : VK_LEFT;
      PostMessageA(tabs, WM_KEYDOWN, key, 0);
      PostMessageA(tabs, WM_KEYUP, key, 0);
      Settle();
    }
  } else if (cmd == "type") {
    HWND h = Find(arg);
    if (!need(h)) return true;
    if (ClassOf(h) == "ComboBox") h = FindWindowExA(h, nullptr, "Edit", nullptr);
    if (!need(h)) return true;
    PostMessageA(h, EM_SETSEL, 0, -1);
    PostMessageA(h, WM_CHAR, VK_BACK, 0);
    for (unsigned char c : value) PostMessageA(h, WM_CHAR, c, 0);
  } else if (cmd == "pick") {
    HWND h = Find(arg);
    if (!need(h)) return true;
    const bool combo = ClassOf(h) == "ComboBox";
    std::vector<std::string> rows = Rows(h);
    size_t i = 0;
    while (i < rows.size() && rows[i] != value) ++i;
    if (i == rows.size()) {
      Out("ERROR no entry " + value);
      return true;
    }
    SendMessageA(h, combo ? CB_SETCURSEL : LB_SETCURSEL, i, 0);
    NotifyParent(h, combo ? CBN_SELCHANGE : LBN_SELCHANGE);
  } else if (cmd == "check") {
    HWND h = Find(arg);
    if (!need(h)) return true;
    bool want = value == "1";
    if ((SendMessageA(h, BM_GETCHECK, 0, 0) == BST_CHECKED) != want) PostClick(h);
  } else if (cmd == "click") {
    HWND h = Find(arg);
    if (!need(h)) return true;
    PostClick(h);
  } else if (cmd == "visible" || cmd == "waitvisible") {
    const DWORD until = GetTickCount() + (cmd == "visible" ? 0 : 20000);
    HWND h = Find(arg);
    while (!h && GetTickCount() < until) {
      Sleep(200);
      h = Find(arg);
    }
    Out(std::string("VISIBLE ") + (h ? "1" : "0"));
    return true;
  } else if (cmd == "key") {
    HWND h = Find(arg);
    if (!need(h)) return true;
    WPARAM vk = static_cast<WPARAM>(std::atoi(value.c_str()));
    PostMessageA(h, WM_KEYDOWN, vk, 0);
    PostMessageA(h, WM_KEYUP, vk, 0);
  } else if (cmd == "list") {
    HWND h = Find(arg);
    if (!need(h)) return true;
    std::string joined;
    for (const std::string& row : Rows(h)) joined += (joined.empty() ? "" : "|") + row;
    Out("LIST " + Escape(joined));
    return true;
  } else if (cmd == "text") {
    HWND h = Find(arg);
    if (!need(h)) return true;
    Out("TEXT " + Escape(Text(h)));
    return true;
  } else if (cmd == "enabled") {
    HWND h = Find(arg);
    if (!need(h)) return true;
    Out(std::string("ENABLED ") + (IsWindowEnabled(h) ? "1" : "0"));
    return true;
  } else if (cmd == "box" || cmd == "nobox") {
    HWND box = WaitTop("", "#32770", cmd == "box" ? 10000 : 300, IsMessageBox);
    if (!box) {
      Out(cmd == "box" ? "ERROR no message box" : "NOBOX");
      return true;
    }
    Out("BOX " + Escape(Text(box)) + "\t" + Escape(Text(GetDlgItem(box, 0xFFFF))) + "\t" + arg);
    if (cmd == "box" && !Answer(box, arg)) Out("ERROR no button " + arg);
  } else if (cmd == "filedlg") {
    HWND dlg = WaitTop("", "#32770", 10000, IsFileDialog);
    if (!dlg) {
      Out("ERROR no file dialog");
      return true;
    }
    Out("FILEDLG " + Escape(Text(dlg)));
    HWND name = GetDlgItem(dlg, 0x47c);
    if (!name) name = GetDlgItem(dlg, 0x480);
    SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(rest.c_str()));
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDOK)));
  } else if (cmd == "menu") {
    HWND menu = WaitTop("", "#32768", 10000);
    if (!menu) {
      Out("ERROR no menu");
      return true;
    }
    int steps = std::atoi(arg.c_str()) + 1;
    for (int i = 0; i < steps; ++i) {
      PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
      Sleep(50);
    }
    PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
  } else if (cmd == "shot") {
    SaveBitmap(g_current, rest);
    return true;
  } else if (cmd == "where") {
    // The control's place on the screen, for tests that use the real mouse.
    HWND h = Find(arg);
    if (!need(h)) return true;
    RECT r;
    GetWindowRect(h, &r);
    Out("WHERE " + std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) + " " +
        std::to_string(r.bottom));
    return true;
  } else if (cmd == "waitfile") {
    // Holds the script until the test, done with the mouse, makes the file.
    const DWORD until = GetTickCount() + 120000;
    while (GetFileAttributesA(rest.c_str()) == INVALID_FILE_ATTRIBUTES && GetTickCount() < until) Sleep(100);
    if (GetFileAttributesA(rest.c_str()) == INVALID_FILE_ATTRIBUTES) Out("ERROR no file " + rest);
  } else if (cmd == "sleep") {
    Sleep(static_cast<DWORD>(std::atoi(arg.c_str())));
    return true;
  } else if (cmd == "close") {
    PostMessageA(g_current, WM_CLOSE, 0, 0);
  } else if (cmd == "waitexit") {
    if (WaitForSingleObject(process, 20000) != WAIT_OBJECT_0) {
      Out("ERROR still running");
      return true;
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    Out("EXIT " + std::to_string(code));
    return false;
  } else {
    Out("ERROR unknown command " + cmd);
  }
  Settle();
  return true;
}

}  // namespace

int RunDialogDriver(int argc, char** argv) {
  if (argc < 5) return 2;
  std::ifstream script(argv[2]);
  g_out = std::fopen(argv[3], "w");
  if (!script || !g_out) return 3;
  const std::string program = argv[4];
  std::string command = "\"" + program + "\"";
  for (int i = 5; i < argc; ++i) command += std::string(" \"") + argv[i] + "\"";
  size_t slash = program.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? "." : program.substr(0, slash);
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &process)) {
    Out("STARTFAILED " + std::to_string(GetLastError()));
    return 5;
  }
  CloseHandle(process.hThread);
  g_pid = process.dwProcessId;
  g_main = WaitTop("Corvane", "#32770", 20000);
  g_current = g_main;
  Out(g_main ? "READY" : "ERROR no main window");
  std::string line;
  bool going = true;
  while (going && std::getline(script, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    going = Run(line, process.hProcess);
  }
  if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process.hProcess, 1);
    Out("KILLED");
  }
  CloseHandle(process.hProcess);
  std::fclose(g_out);
  return 0;
}
