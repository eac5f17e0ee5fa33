// A stand-in for the publisher's program in the Wine tests. It creates a
// hidden host window, starts the given program with "{hwnd}" in its command
// line replaced by that window's handle, records every WM_USER+990..+999
// message posted to the window, and answers the program's message boxes in
// the order given. One line per event goes to the record file:
//   READY <hwnd>
//   MSG <offset from WM_USER> <wParam> <lParam>
//   BOX <caption>\t<text with \n and \r escaped>\t<answer>
//   CLICK <button caption>
//   EXIT <code> | TIMEOUT
//
// Usage: testhost.exe <record-file> <timeout-ms> <answers> <working-dir> <program> [args...]
//   answers: comma-separated list of ok, yes, no, retry, cancel ("-" for none);
//            "hold" leaves that box (and every later one) open;
//            "until-result" keeps listening after the program exits until a
//            WM_USER+999 with an outcome (not 3) arrives (for programs that
//            hand over to another);
//            "click:<caption>" waits for a visible, enabled button of the
//            program with exactly that caption ("&Next") and presses it;
//            "sleep:<ms>" waits before the next step. Steps run in order: a
//            box is answered only when its answer is the next step.
//   working-dir: "-" for the program's own folder
//
// testhost.exe --drive ... drives a program's dialogs instead (dialog_driver.h).
#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "dialog_driver.h"
#include "tests/winhost/record_text.h"

namespace {

FILE* g_record = nullptr;
std::vector<std::string> g_answers;
size_t g_next_answer = 0;
DWORD g_child_pid = 0;
std::set<HWND> g_answered;
bool g_saw_result = false;
DWORD g_sleep_until = 0;

void Record(const std::string& line) {
  std::fprintf(g_record, "%s\n", line.c_str());
  std::fflush(g_record);
}

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg >= WM_USER + 990 && msg <= WM_USER + 999) {
    char line[96];
    std::snprintf(line, sizeof(line), "MSG %u %ld %ld", msg - WM_USER,
                  static_cast<long>(static_cast<LONG_PTR>(wp)), static_cast<long>(lp));
    Record(line);
    // 3 only says that a new version was found; the outcome follows.
    if (msg == WM_USER + 999 && static_cast<LONG_PTR>(wp) != 3) g_saw_result = true;
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

std::string Escape(const std::string& s) { return winhost::EscapeRecordText(s); }

std::string WindowText(HWND hwnd) {
  char buf[4096] = {};
  GetWindowTextA(hwnd, buf, sizeof(buf));
  return buf;
}

int AnswerId(const std::string& word) {
  if (word == "yes") return IDYES;
  if (word == "no") return IDNO;
  if (word == "retry") return IDRETRY;
  if (word == "cancel") return IDCANCEL;
  return IDOK;
}

// A message box: a dialog with the 0xFFFF text static and standard buttons.
BOOL CALLBACK FindBoxes(HWND hwnd, LPARAM) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != g_child_pid || !IsWindowVisible(hwnd)) return TRUE;
  char cls[64] = {};
  GetClassNameA(hwnd, cls, sizeof(cls));
  if (std::string(cls) != "#32770") return TRUE;
  HWND text = GetDlgItem(hwnd, 0xFFFF);
  if (!text) return TRUE;
  const int ids[] = {IDOK, IDYES, IDNO, IDRETRY, IDCANCEL};
  bool has_button = false;
  for (int id : ids) has_button = has_button || GetDlgItem(hwnd, id) != nullptr;
  if (!has_button || g_answered.count(hwnd)) return TRUE;

  std::string answer;
  if (g_next_answer < g_answers.size()) {
    answer = g_answers[g_next_answer];
    // A click or a pause comes first; the box waits for its turn.
    if (answer.compare(0, 6, "click:") == 0 || answer.compare(0, 6, "sleep:") == 0) return TRUE;
    if (answer == "hold") {
      Record("BOX " + Escape(WindowText(hwnd)) + "\t" + Escape(WindowText(text)) + "\thold");
      g_answered.insert(hwnd);
      return TRUE;
    }
    ++g_next_answer;
  }
  int id = AnswerId(answer);
  if (answer.empty() || !GetDlgItem(hwnd, id)) {
    // Used up (or not offered): the harmless choice the box has.
    const int fallback[] = {IDOK, IDNO, IDCANCEL};
    for (int f : fallback) {
      if (GetDlgItem(hwnd, f)) {
        id = f;
        break;
      }
    }
    answer = id == IDOK ? "ok" : id == IDNO ? "no" : "cancel";
  }
  Record("BOX " + Escape(WindowText(hwnd)) + "\t" + Escape(WindowText(text)) + "\t" + answer);
  g_answered.insert(hwnd);
  PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hwnd, id)));
  return TRUE;
}

struct ButtonSearch {
  std::string caption;
  HWND found;
};

BOOL CALLBACK FindButtonInWindow(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<ButtonSearch*>(param);
  char cls[64] = {};
  GetClassNameA(hwnd, cls, sizeof(cls));
  if (_stricmp(cls, "Button") == 0 && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd) &&
      WindowText(hwnd) == search->caption) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindButton(HWND hwnd, LPARAM param) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != g_child_pid || !IsWindowVisible(hwnd)) return TRUE;
  EnumChildWindows(hwnd, FindButtonInWindow, param);
  return reinterpret_cast<ButtonSearch*>(param)->found ? FALSE : TRUE;
}

// Carries out the next step when it is a click or a pause.
void NextStep() {
  if (g_next_answer >= g_answers.size()) return;
  const std::string& step = g_answers[g_next_answer];
  if (step.compare(0, 6, "sleep:") == 0) {
    if (g_sleep_until == 0) {
      g_sleep_until = GetTickCount() + std::strtoul(step.c_str() + 6, nullptr, 10);
      if (g_sleep_until == 0) g_sleep_until = 1;
    } else if (static_cast<LONG>(GetTickCount() - g_sleep_until) >= 0) {
      g_sleep_until = 0;
      ++g_next_answer;
    }
    return;
  }
  if (step.compare(0, 6, "click:") != 0) return;
  ButtonSearch search{step.substr(6), nullptr};
  EnumWindows(FindButton, reinterpret_cast<LPARAM>(&search));
  if (!search.found) return;
  ++g_next_answer;
  Record("CLICK " + search.caption);
  PostMessageA(GetParent(search.found), WM_COMMAND,
               MAKEWPARAM(GetDlgCtrlID(search.found), BN_CLICKED),
               reinterpret_cast<LPARAM>(search.found));
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

std::vector<std::string> SplitAnswers(const std::string& s) {
  std::vector<std::string> out;
  if (s == "-") return out;
  size_t start = 0;
  while (start <= s.size()) {
    size_t end = s.find(',', start);
    if (end == std::string::npos) end = s.size();
    if (end > start) out.push_back(s.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (__argc > 1 && std::string(__argv[1]) == "--drive") return RunDialogDriver(__argc, __argv);
  if (__argc < 6) return 2;
  g_record = std::fopen(__argv[1], "w");
  if (!g_record) return 3;
  const DWORD timeout_ms = static_cast<DWORD>(std::strtoul(__argv[2], nullptr, 10));
  g_answers = SplitAnswers(__argv[3]);
  // "until-result": the program hands over to other processes (the
  // self-update relay), so wait for a result message rather than its exit.
  bool until_result = false;
  for (size_t i = 0; i < g_answers.size(); ++i) {
    if (g_answers[i] == "until-result") {
      until_result = true;
      g_answers.erase(g_answers.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  std::string working_dir = __argv[4];
  const std::string program = __argv[5];

  WNDCLASSA wc{};
  wc.lpfnWndProc = HostProc;
  wc.hInstance = instance;
  wc.lpszClassName = "CorvaneTestHost";
  RegisterClassA(&wc);
  HWND host = CreateWindowExA(0, wc.lpszClassName, "Corvane test host", WS_OVERLAPPED, 0, 0, 10, 10,
                              nullptr, nullptr, instance, nullptr);
  if (!host) return 4;
  const std::string handle = std::to_string(reinterpret_cast<UINT_PTR>(host));
  Record("READY " + handle);

  std::string command = "\"" + program + "\"";
  for (int i = 6; i < __argc; ++i) {
    std::string arg = __argv[i];
    for (size_t at; (at = arg.find("{hwnd}")) != std::string::npos;) arg.replace(at, 6, handle);
    command += " " + arg;
  }
  if (working_dir == "-") {
    size_t slash = program.find_last_of("\\/");
    working_dir = slash == std::string::npos ? "." : program.substr(0, slash);
  }

  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, working_dir.c_str(),
                      &startup, &process)) {
    Record("STARTFAILED " + std::to_string(GetLastError()));
    return 5;
  }
  CloseHandle(process.hThread);
  g_child_pid = process.dwProcessId;

  const DWORD started = GetTickCount();
  DWORD last_scan = 0;
  bool exited = false;
  while (!exited) {
    DWORD wait = MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 50, QS_ALLINPUT);
    Pump();
    if (wait == WAIT_OBJECT_0) exited = true;
    DWORD now = GetTickCount();
    if (now - last_scan >= 100) {
      EnumWindows(FindBoxes, 0);
      NextStep();
      last_scan = now;
    }
    if (!exited && now - started > timeout_ms) {
      Record("TIMEOUT");
      TerminateProcess(process.hProcess, 1);
      WaitForSingleObject(process.hProcess, 5000);
      CloseHandle(process.hProcess);
      std::fclose(g_record);
      return 6;
    }
  }
  while (until_result && !g_saw_result && GetTickCount() - started <= timeout_ms) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    Pump();
  }
  // Posted messages may still be on their way.
  const DWORD drain_until = GetTickCount() + 300;
  while (GetTickCount() < drain_until) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    Pump();
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  Record("EXIT " + std::to_string(code));
  std::fclose(g_record);
  return 0;
}
