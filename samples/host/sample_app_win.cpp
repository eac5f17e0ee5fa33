// Sample App: the smallest host program of the updater, and the example a
// publisher copies. It shows its own version (from its version resource, so
// the file that replaced it reads the new number), starts update.exe with
// "/HWND:" and its window handle when "Check for updates" is pressed, and
// shows what the updater posts back: file and overall progress in two bars,
// the bytes of the current file, and the result in words.
//
// Installation layout: SampleApp.exe with update.exe in its "updateApp"
// subfolder (or beside it), as the publisher ships them.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

#include "samples/host/sample_app_ids.h"
#include "sdk/corvane_host.h"

namespace {

const char kWindowClass[] = "CorvaneSampleApp";
const UINT_PTR kWatchTimer = 1;

struct HandleCloser {
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
struct FontDeleter {
  void operator()(HFONT font) const { ::DeleteObject(font); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

// The program's state: one window, at most one updater at a time. WinMain
// owns it; the window finds it through its user data.
struct SampleApp {
  HWND window = nullptr;
  UniqueFont title_font;
  UniqueHandle updater;  // the running update.exe, while it runs
  bool got_result = false;
};

// The version from the program's own version resource, as "major.minor".
// The resource is read in place, so no extra DLL is needed for it.
std::string OwnVersion() {
  HRSRC info = ::FindResourceA(nullptr, MAKEINTRESOURCEA(VS_VERSION_INFO),
                               MAKEINTRESOURCEA(16) /* RT_VERSION */);
  HGLOBAL loaded = info ? ::LoadResource(nullptr, info) : nullptr;
  const BYTE* data = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
  const DWORD size = info ? ::SizeofResource(nullptr, info) : 0;
  for (DWORD at = 0; data && at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, data + at, sizeof(fixed));
    if (fixed.dwSignature != 0xFEEF04BD) continue;
    char text[32];
    std::snprintf(text, sizeof(text), "%u.%u", static_cast<unsigned>(HIWORD(fixed.dwFileVersionMS)),
                  static_cast<unsigned>(LOWORD(fixed.dwFileVersionMS)));
    return text;
  }
  return "?";
}

std::string OwnFolder() {
  char path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

bool FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void SetText(HWND window, int id, const std::string& text) {
  ::SetDlgItemTextA(window, id, text.c_str());
}

void SetBar(HWND window, int id, LPARAM position, WPARAM range) {
  HWND bar = ::GetDlgItem(window, id);
  ::SendMessageA(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(range));
  ::SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

const char* ResultInWords(int result) {
  switch (result) {
    case CORVANE_RESULT_UPDATED: return "Update completed successfully.";
    case CORVANE_RESULT_NO_NEW_VERSION: return "Sample App is up to date.";
    case CORVANE_RESULT_NEW_VERSION: return "A new version was found.";
    case CORVANE_RESULT_NOT_COMPLETED: return "The update was not completed.";
    default: return "The updater sent an unknown result.";
  }
}

std::string Mebibytes(unsigned long long bytes) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

void UpdaterEnded(SampleApp& app) {
  ::KillTimer(app.window, kWatchTimer);
  app.updater.reset();
  ::EnableWindow(::GetDlgItem(app.window, IDC_SAMPLE_CHECK), TRUE);
  if (!app.got_result) SetText(app.window, IDC_SAMPLE_STATUS, "The updater ended without a result.");
}

// Starts update.exe with this window's handle. It runs in its own folder,
// where it keeps its configuration and its log.
void CheckForUpdates(SampleApp& app) {
  if (app.updater) return;
  const std::string folder = OwnFolder();
  std::string updater_folder = folder + "updateApp\\";
  if (!FileExists(updater_folder + "update.exe")) updater_folder = folder;
  const std::string updater = updater_folder + "update.exe";
  if (!FileExists(updater)) {
    SetText(app.window, IDC_SAMPLE_STATUS, "update.exe was not found.");
    return;
  }
  char handle[32];
  std::snprintf(handle, sizeof(handle), "%llu",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(app.window)));
  // "/log" keeps update.log in the updater's folder (when the local
  // configuration's "closelog" is 0), for support.
  std::string command = "\"" + updater + "\" /HWND:" + handle + " /log";

  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                        updater_folder.c_str(), &startup, &process)) {
    SetText(app.window, IDC_SAMPLE_STATUS, "update.exe could not be started.");
    return;
  }
  ::CloseHandle(process.hThread);
  app.updater.reset(process.hProcess);
  app.got_result = false;
  SetBar(app.window, IDC_SAMPLE_FILE_BAR, 0, 100);
  SetBar(app.window, IDC_SAMPLE_ALL_BAR, 0, 100);
  SetText(app.window, IDC_SAMPLE_BYTES, "");
  SetText(app.window, IDC_SAMPLE_STATUS, "Checking for updates...");
  ::EnableWindow(::GetDlgItem(app.window, IDC_SAMPLE_CHECK), FALSE);
  // The updater may end without a word (killed, or a configuration it cannot
  // read): watch it, so the button comes back either way.
  ::SetTimer(app.window, kWatchTimer, 250, nullptr);
}

void CreateControls(SampleApp& app, HWND window) {
  HINSTANCE instance = ::GetModuleHandleA(nullptr);
  HFONT font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  app.title_font.reset(::CreateFontA(-24, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                   OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   DEFAULT_PITCH | FF_SWISS, "Arial"));
  struct Control {
    const char* cls;
    const char* text;
    DWORD style;
    int id, x, y, w, h;
  };
  const Control controls[] = {
      {"STATIC", "", SS_LEFT, IDC_SAMPLE_VERSION, 16, 14, 360, 32},
      {"BUTTON", "Check for updates", BS_PUSHBUTTON | WS_TABSTOP, IDC_SAMPLE_CHECK, 16, 56, 150, 28},
      {"STATIC", "Current file:", SS_LEFT, -1, 16, 98, 90, 18},
      {PROGRESS_CLASSA, "", 0, IDC_SAMPLE_FILE_BAR, 110, 96, 266, 18},
      {"STATIC", "All items:", SS_LEFT, -1, 16, 124, 90, 18},
      {PROGRESS_CLASSA, "", 0, IDC_SAMPLE_ALL_BAR, 110, 122, 266, 18},
      {"STATIC", "", SS_LEFT, IDC_SAMPLE_BYTES, 110, 146, 266, 18},
      {"STATIC", "Press the button to look for a new version.", SS_LEFT, IDC_SAMPLE_STATUS, 16, 170,
       360, 36},
  };
  for (const Control& c : controls) {
    HWND control = ::CreateWindowExA(0, c.cls, c.text, WS_CHILD | WS_VISIBLE | c.style, c.x, c.y, c.w,
                                     c.h, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)),
                                     instance, nullptr);
    ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  ::SendDlgItemMessageA(window, IDC_SAMPLE_VERSION, WM_SETFONT,
                        reinterpret_cast<WPARAM>(app.title_font.get()), FALSE);
}

LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lp);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* app = reinterpret_cast<SampleApp*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!app) return ::DefWindowProcA(window, msg, wp, lp);
  switch (msg) {
    case WM_CREATE: {
      app->window = window;
      CreateControls(*app, window);
      const std::string title = "Sample App " + OwnVersion();
      ::SetWindowTextA(window, title.c_str());
      SetText(window, IDC_SAMPLE_VERSION, title);
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDC_SAMPLE_CHECK && HIWORD(wp) == BN_CLICKED) CheckForUpdates(*app);
      return 0;
    case WM_TIMER:
      if (wp == kWatchTimer && app->updater &&
          ::WaitForSingleObject(app->updater.get(), 0) == WAIT_OBJECT_0) {
        UpdaterEnded(*app);
      }
      return 0;
    case CORVANE_MSG_FILE_BYTES:
      // Sizes come as pointer-sized values: a 32-bit program sees up to 4 GiB.
      SetText(window, IDC_SAMPLE_BYTES, Mebibytes(static_cast<ULONG_PTR>(lp)) + " of " +
                                            Mebibytes(static_cast<ULONG_PTR>(wp)));
      SetText(window, IDC_SAMPLE_STATUS, "Downloading the new version...");
      return 0;
    case CORVANE_MSG_FILE_PERCENT:
      SetBar(window, IDC_SAMPLE_FILE_BAR, lp, wp);
      return 0;
    case CORVANE_MSG_OVERALL_PROGRESS:
      SetBar(window, IDC_SAMPLE_ALL_BAR, lp, wp);
      return 0;
    case CORVANE_MSG_RESULT: {
      // A result is a signed number in an unsigned parameter.
      const int result = static_cast<int>(static_cast<INT_PTR>(wp));
      app->got_result = true;
      if (result == CORVANE_RESULT_UPDATED) {
        SetBar(window, IDC_SAMPLE_FILE_BAR, 100, 100);
        SetBar(window, IDC_SAMPLE_ALL_BAR, 100, 100);
      }
      SetText(window, IDC_SAMPLE_STATUS, ResultInWords(result));
      return 0;
    }
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
  }
  return ::DefWindowProcA(window, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
  ::InitCommonControlsEx(&controls);

  WNDCLASSA wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  if (!::RegisterClassA(&wc)) return 1;

  RECT frame = {0, 0, 392, 216};
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  ::AdjustWindowRect(&frame, style, FALSE);
  SampleApp app;
  HWND window = ::CreateWindowExA(0, kWindowClass, "Sample App", style, 40, 40,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                  nullptr, instance, &app);
  if (!window) return 1;
  ::ShowWindow(window, show);
  ::UpdateWindow(window);

  // The updater closes this program before it replaces SampleApp.exe by
  // posting WM_QUIT to its window: GetMessage then returns 0 and the
  // program ends like any other.
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!::IsDialogMessageA(window, &msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }
  return 0;
}
