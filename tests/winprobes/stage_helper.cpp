// A program for the update stage's Wine tests to close: it shows a top-level
// window with the given title and writes "RUNNING" to its ready file.
//   stage_helper.exe quit <title> <ready-file>      ends on WM_QUIT
//   stage_helper.exe stubborn <title> <ready-file>  ignores WM_QUIT (must be terminated)
//   stage_helper.exe spawn <copy-path> <title> <ready-file>
//       copies itself to <copy-path> (any extension) and starts the copy
//       "stubborn": the running copy holds its own file, as a loaded library would.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

void WriteReady(const char* path) {
  if (FILE* f = std::fopen(path, "w")) {
    std::fprintf(f, "RUNNING %lu\n", ::GetCurrentProcessId());
    std::fclose(f);
  }
}

int Serve(bool stubborn, const char* title, const char* ready) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = "CorvaneStageHelper";
  ::RegisterClassA(&wc);
  HWND window = ::CreateWindowExA(0, wc.lpszClassName, title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                  nullptr, nullptr, wc.hInstance, nullptr);
  if (!window) return 2;
  WriteReady(ready);
  const DWORD started = ::GetTickCount();
  for (;;) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT && !stubborn) return 0;
      ::DispatchMessageA(&msg);
    }
    // Never outlive a test run by much.
    if (::GetTickCount() - started > 120000) return 3;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 1;
  const std::string mode = argv[1];
  if (mode == "quit" || mode == "stubborn") return Serve(mode == "stubborn", argv[2], argv[3]);
  if (mode != "spawn" || argc < 5) return 1;
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  if (!::CopyFileA(self, argv[2], FALSE)) return 4;
  std::string command = std::string("\"") + argv[2] + "\" stubborn \"" + argv[3] + "\" \"" +
                        argv[4] + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(argv[2], &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return 5;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return 0;
}
