// Corvane.exe: entry point of the designer.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <string>

#include "designer/command_line_build_win.h"
#include "designer/main_window_win.h"
#include "win32/safe_dll.h"

namespace {

// The one argument the designer takes: a project file, quoted or not.
std::string DocumentArgument(const char* command_line) {
  std::string arg = command_line ? command_line : "";
  size_t start = arg.find_first_not_of(' ');
  if (start == std::string::npos) return std::string();
  arg = arg.substr(start);
  if (!arg.empty() && arg[0] == '"') {
    size_t end = arg.find('"', 1);
    return arg.substr(1, end == std::string::npos ? std::string::npos : end - 1);
  }
  size_t end = arg.find_last_not_of(' ');
  return arg.substr(0, end + 1);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int show) {
  corvane::RestrictDllSearchToSystem();
  int build_exit = 0;
  if (corvane::RunCommandLineBuild(command_line, &build_exit)) return build_exit;
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_TREEVIEW_CLASSES;
  ::InitCommonControlsEx(&controls);
  // The folder chooser needs COM on this thread.
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  int rc = 0;
  {
    corvane::MainWindow main(DocumentArgument(command_line));
    if (!main.Create()) return 1;
    ::ShowWindow(main.Hwnd(), show);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
      main.TrackInput(msg);
      if (main.Hwnd() && ::IsDialogMessageA(main.Hwnd(), &msg)) continue;
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    rc = static_cast<int>(msg.wParam);
  }
  ::CoUninitialize();
  return rc;
}
