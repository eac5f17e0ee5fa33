// Looks at and drives the top-level windows of other programs (the sample
// host, the updater's message boxes) for the Wine tests and the demo. Each
// fact is printed as one "KEY values" line.
//
// Usage: window_probe.exe <command> <args...>
//   wait <title> <ms>         waits until a visible window whose caption starts
//                             with <title> exists, then prints its state;
//                             prints NONE when none came in time
//   state <title>             TITLE <caption>, CLIENT x y w h (screen), one
//                             TEXT <id> <text> per child with an identifier,
//                             BAR <id> <position> <maximum> per progress bar,
//                             ENABLED <id> 0|1 per button
//   gone <title> <ms>         waits until no visible window with that caption
//                             start is left; prints GONE 1 or GONE 0
//   click <title> <id>        presses button <id> of that window
//   close <title>             asks that window to close (WM_CLOSE)
//   answer <caption> <button> <ms>
//                             waits for a message box with that caption, prints
//                             BOX <text> and presses yes, no, ok or cancel;
//                             prints NONE when none came in time
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

std::string TextOf(HWND hwnd) {
  char text[1024] = {};
  ::GetWindowTextA(hwnd, text, sizeof(text));
  std::string out = text;
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

std::string ClassOf(HWND hwnd) {
  char name[64] = {};
  ::GetClassNameA(hwnd, name, sizeof(name));
  return name;
}

struct Search {
  std::string prefix;
  bool message_box = false;  // also: the window is a dialog with a message text
  HWND found = nullptr;
};

BOOL CALLBACK FindTopLevel(HWND hwnd, LPARAM lp) {
  auto* search = reinterpret_cast<Search*>(lp);
  if (!::IsWindowVisible(hwnd) || TextOf(hwnd).compare(0, search->prefix.size(), search->prefix) != 0) {
    return TRUE;
  }
  if (search->message_box && (ClassOf(hwnd) != "#32770" || !::GetDlgItem(hwnd, 0xFFFF))) return TRUE;
  search->found = hwnd;
  return FALSE;
}

HWND Find(const std::string& prefix, bool message_box = false) {
  Search search{prefix, message_box, nullptr};
  ::EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitFor(const std::string& prefix, DWORD limit_ms, bool message_box = false) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    if (HWND hwnd = Find(prefix, message_box)) return hwnd;
    if (::GetTickCount() - start >= limit_ms) return nullptr;
    ::Sleep(100);
  }
}

BOOL CALLBACK SayChild(HWND child, LPARAM) {
  const int id = ::GetDlgCtrlID(child);
  if (id <= 0 || id == 0xFFFF) return TRUE;
  const std::string cls = ClassOf(child);
  char line[1200];
  if (cls == PROGRESS_CLASSA) {
    const auto position = ::SendMessageA(child, PBM_GETPOS, 0, 0);
    const auto maximum = ::SendMessageA(child, PBM_GETRANGE, FALSE, 0);
    std::snprintf(line, sizeof(line), "BAR %d %ld %ld", id, static_cast<long>(position),
                  static_cast<long>(maximum));
    Say(line);
    return TRUE;
  }
  std::snprintf(line, sizeof(line), "TEXT %d %s", id, TextOf(child).c_str());
  Say(line);
  if (cls == "Button") {
    std::snprintf(line, sizeof(line), "ENABLED %d %d", id, ::IsWindowEnabled(child) ? 1 : 0);
    Say(line);
  }
  return TRUE;
}

int PrintState(HWND hwnd) {
  if (!hwnd) {
    Say("NONE");
    return 1;
  }
  Say("TITLE " + TextOf(hwnd));
  RECT rc;
  ::GetClientRect(hwnd, &rc);
  ::MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&rc), 2);
  char line[96];
  std::snprintf(line, sizeof(line), "CLIENT %ld %ld %ld %ld", rc.left, rc.top, rc.right - rc.left,
                rc.bottom - rc.top);
  Say(line);
  ::EnumChildWindows(hwnd, SayChild, 0);
  return 0;
}

int ButtonId(const std::string& word) {
  if (word == "yes") return IDYES;
  if (word == "no") return IDNO;
  if (word == "cancel") return IDCANCEL;
  return IDOK;
}

void Press(HWND window, int id) {
  HWND button = ::GetDlgItem(window, id);
  ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string command = argv[1];
  const std::string title = argv[2];
  const auto number = [&](int index, DWORD fallback) {
    return argc > index ? static_cast<DWORD>(std::strtoul(argv[index], nullptr, 10)) : fallback;
  };

  if (command == "wait") return PrintState(WaitFor(title, number(3, 10000)));
  if (command == "state") return PrintState(Find(title));
  if (command == "gone") {
    const DWORD start = ::GetTickCount();
    while (Find(title) && ::GetTickCount() - start < number(3, 10000)) ::Sleep(100);
    const bool gone = Find(title) == nullptr;
    Say(gone ? "GONE 1" : "GONE 0");
    return gone ? 0 : 1;
  }
  if (command == "click" && argc >= 4) {
    HWND window = Find(title);
    if (!window || !::GetDlgItem(window, std::atoi(argv[3]))) {
      Say("NONE");
      return 1;
    }
    Press(window, std::atoi(argv[3]));
    Say("CLICKED");
    return 0;
  }
  if (command == "close") {
    HWND window = Find(title);
    if (window) ::PostMessageA(window, WM_CLOSE, 0, 0);
    Say(window ? "CLOSED" : "NONE");
    return window ? 0 : 1;
  }
  if (command == "answer" && argc >= 4) {
    HWND box = WaitFor(title, number(4, 10000), true);
    if (!box) {
      Say("NONE");
      return 1;
    }
    Say("BOX " + TextOf(::GetDlgItem(box, 0xFFFF)));
    Press(box, ButtonId(argv[3]));
    return 0;
  }
  return 2;
}
