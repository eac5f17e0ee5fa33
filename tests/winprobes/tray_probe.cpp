// Drives the tray icon, the icon strip and the skin bitmaps directly. Each
// fact is printed as one "KEY value" line for the Wine tests to compare.
//
// Usage: tray_probe.exe <command> <args...>
//   tray                      the CSystemTray life cycle (see RunTray)
//   strip <sysicon>           App().ui.sysicon = <sysicon>; builds the icon
//                             strip with a window, logging to update.log
//   bitmap <entry>            LoadSkinBitmap from ui.bin in the current folder
//   hold <seconds> <tooltip> [<tooltip> ...]
//                             shows an icon for that long, the tooltips one
//                             after the other in equal shares of the time;
//                             prints "READY" once shown, "TIP <text>" at each
//                             change and "COMMAND <id>" for each command
//                             the target window receives
//   pack <archive> <entry> <file> [<entry> <file> ...]
//                             writes an archive with the archive password
#include <windows.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "shared/archive_password.h"
#include "shared/zip_archive.h"
#include "updater/engine/host_messages.h"
#include "updater/engine/updater_app.h"
#include "updater/resource.h"
#include "updater/ui/animated_icon.h"
#include "updater/ui/skin_bitmap_win.h"
#include "updater/ui/system_tray.h"

using namespace corvane;

namespace {

void Say(const std::string& key, const std::string& value) {
  std::printf("%s %s\n", key.c_str(), value.c_str());
  std::fflush(stdout);
}
void Say(const std::string& key, long long value) { Say(key, std::to_string(value)); }

void Pump(DWORD milliseconds) {
  const DWORD start = ::GetTickCount();
  MSG msg;
  while (::GetTickCount() - start < milliseconds) {
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    ::Sleep(5);
  }
}

// A solid 16x16 icon of one colour, so that icons can be told apart.
HICON SolidIcon(COLORREF colour) {
  ScopedWindowDc screen(nullptr);
  ScopedBitmap colour_bits(::CreateCompatibleBitmap(screen.Get(), 16, 16));
  ScopedBitmap mask(::CreateBitmap(16, 16, 1, 1, nullptr));
  {
    ScopedMemoryDc dc(::CreateCompatibleDC(screen.Get()));
    ScopedSelectObject select(dc.Get(), colour_bits.Get());
    ScopedBrush brush(::CreateSolidBrush(colour));
    RECT all{0, 0, 16, 16};
    ::FillRect(dc.Get(), &all, brush.Get());
  }
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmColor = colour_bits.Get();
  info.hbmMask = mask.Get();
  return ::CreateIconIndirect(&info);
}

// A window that records the commands it receives.
std::vector<WPARAM> g_commands;
LRESULT CALLBACK TargetProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND) g_commands.push_back(wp);
  return ::DefWindowProcA(hwnd, msg, wp, lp);
}
HWND MakeWindow(const char* title, bool visible) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = TargetProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = "TrayProbeTarget";
  ::RegisterClassA(&wc);
  return ::CreateWindowExA(0, "TrayProbeTarget", title, WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0),
                           100, 100, 300, 200, nullptr, nullptr, wc.hInstance, nullptr);
}

// Whether the shell still holds an icon of this owner and identifier: a
// modification succeeds only for an icon it knows.
bool ShellKnowsIcon(HWND owner, UINT id) {
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V2_SIZE;
  data.hWnd = owner;
  data.uID = id;
  data.uFlags = 0;
  return ::Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

int RunTray() {
  UpdaterApp app;  // the tray's helpers reach the application object
  HICON base = SolidIcon(RGB(255, 0, 0));
  HICON frames[3] = {SolidIcon(RGB(0, 255, 0)), SolidIcon(RGB(0, 0, 255)), SolidIcon(RGB(9, 9, 9))};

  CSystemTray tray;
  Say("CREATE", tray.Create(nullptr, kTrayCallbackMessage, "", base, kTrayIconId, true) ? 1 : 0);
  Say("ENABLED", tray.Enabled() ? 1 : 0);
  Say("HIDDEN", tray.Hidden() ? 1 : 0);
  HWND owner = ::FindWindowExA(nullptr, nullptr, "CorvaneTrayOwner", nullptr);
  Say("OWNER_FOUND", owner == tray.Hwnd() && owner ? 1 : 0);
  Say("OWNER_VISIBLE", ::IsWindowVisible(owner) ? 1 : 0);
  DWORD owner_process = 0;
  ::GetWindowThreadProcessId(owner, &owner_process);
  Say("OWNER_OURS", owner_process == ::GetCurrentProcessId() ? 1 : 0);

  Say("SHOW", tray.ShowIcon() ? 1 : 0);
  Say("VISIBLE", tray.Visible() ? 1 : 0);
  Say("SHELL_KNOWS", ShellKnowsIcon(owner, kTrayIconId) ? 1 : 0);

  Say("TIP_SET", tray.SetTooltipText("Downloading app.exe") ? 1 : 0);
  Say("TIP", tray.GetTooltipText());
  // The stages set the tooltip from their worker threads.
  std::thread worker([&tray] { tray.SetTooltipText("From the worker"); });
  worker.join();
  Say("TIP_BEFORE_PUMP", tray.GetTooltipText());
  Pump(50);
  Say("TIP_FROM_WORKER", tray.GetTooltipText());
  const std::string long_tip(200, 'x');
  tray.SetTooltipText(long_tip);
  Say("TIP_LENGTH", static_cast<long long>(tray.GetTooltipText().size()));

  // Animation: the icon walks through the list and comes back afterwards.
  Say("ANIMATE_EMPTY", tray.Animate(20, 0) ? 1 : 0);
  tray.SetIconList(frames, 3);
  Say("ANIMATE", tray.Animate(100, 0) ? 1 : 0);
  std::vector<HICON> seen;
  // Sampled far more often than the interval, so that no step is missed.
  for (int i = 0; i < 400 && seen.size() < 6; ++i) {
    Pump(10);
    if (seen.empty() || seen.back() != tray.GetIcon()) seen.push_back(tray.GetIcon());
  }
  std::string order;
  for (HICON icon : seen) {
    for (int f = 0; f < 3; ++f) {
      if (icon == frames[f]) order += std::to_string(f);
    }
  }
  Say("ANIMATION_ORDER", order);
  Say("STOP", tray.StopAnimation() ? 1 : 0);
  Say("RESTORED", tray.GetIcon() == base ? 1 : 0);
  // A limited animation ends by itself.
  tray.Animate(20, 1);
  Pump(2600);
  Say("ANIMATING_AFTER_DURATION", tray.Animating() ? 1 : 0);
  Say("RESTORED_AFTER_DURATION", tray.GetIcon() == base ? 1 : 0);

  // Left click: the default command goes to the target window.
  HWND target = MakeWindow("tray target", false);
  tray.SetTargetWnd(target);
  tray.SetMenuDefaultItem(ID_SHOW_MAIN_WINDOW, false);
  ::SendMessageA(owner, kTrayCallbackMessage, kTrayIconId, WM_LBUTTONUP);
  ::SendMessageA(owner, kTrayCallbackMessage, kTrayIconId + 1, WM_LBUTTONUP);  // not ours
  Pump(100);
  std::string commands;
  for (WPARAM wp : g_commands) commands += std::to_string(LOWORD(wp)) + ",";
  Say("COMMANDS", commands);

  // The task bar restarts: the shell has forgotten the icon.
  NOTIFYICONDATAA gone{};
  gone.cbSize = NOTIFYICONDATAA_V2_SIZE;
  gone.hWnd = owner;
  gone.uID = kTrayIconId;
  ::Shell_NotifyIconA(NIM_DELETE, &gone);
  Say("SHELL_KNOWS_AFTER_DELETE", ShellKnowsIcon(owner, kTrayIconId) ? 1 : 0);
  ::SendMessageA(owner, ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  Say("SHELL_KNOWS_AFTER_TASKBAR", ShellKnowsIcon(owner, kTrayIconId) ? 1 : 0);
  // A hidden icon is not brought back by a restart, only when shown.
  tray.HideIcon();
  ::Shell_NotifyIconA(NIM_DELETE, &gone);
  ::SendMessageA(owner, ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  Say("SHELL_KNOWS_HIDDEN_AFTER_TASKBAR", ShellKnowsIcon(owner, kTrayIconId) ? 1 : 0);
  tray.ShowIcon();
  Say("SHELL_KNOWS_AFTER_SHOW", ShellKnowsIcon(owner, kTrayIconId) ? 1 : 0);
  // The work area changes the same way.
  ::Shell_NotifyIconA(NIM_DELETE, &gone);
  ::SendMessageA(owner, WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
  Say("SHELL_KNOWS_AFTER_WORKAREA", ShellKnowsIcon(owner, kTrayIconId) ? 1 : 0);

  // Hiding a window to the tray and showing it again.
  HWND main = MakeWindow("probe main window", true);
  app.tray_on = false;
  HideMainWindowToTray(main);
  Say("HIDDEN_WITHOUT_TRAY_ON", ::IsWindowVisible(main) ? 0 : 1);
  app.tray = std::make_unique<CSystemTray>();
  app.tray->Create(nullptr, kTrayCallbackMessage, "", base, kTrayIconId + 5, true);
  app.tray_on = true;
  app.run.display_style = kStyleSilent;
  HideMainWindowToTray(main);
  Say("MAIN_VISIBLE_AFTER_HIDE", ::IsWindowVisible(main) ? 1 : 0);
  HWND parking = ::FindWindowExA(nullptr, nullptr, "CorvaneTrayParking", nullptr);
  Say("PARKED", parking && ::GetAncestor(main, GA_PARENT) == parking ? 1 : 0);
  Say("PARKING_VISIBLE", ::IsWindowVisible(parking) ? 1 : 0);
  Say("DEFAULT_ITEM", app.tray->MenuDefaultItem());
  Say("SHOWN", ShowMainWindowFromTray(main) ? 1 : 0);
  Say("MAIN_VISIBLE_AFTER_SHOW", ::IsWindowVisible(main) ? 1 : 0);
  Say("MAIN_TOP_LEVEL", ::GetAncestor(main, GA_PARENT) == ::GetDesktopWindow() ? 1 : 0);
  Say("STYLE_NORMAL", app.run.display_style == kStyleNormal ? 1 : 0);
  Say("SHOWN_AGAIN", ShowMainWindowFromTray(main) ? 1 : 0);

  app.tray.reset();
  tray.RemoveIcon();
  Say("SHELL_KNOWS_AFTER_REMOVE", ShellKnowsIcon(owner, kTrayIconId) ? 1 : 0);
  ::DestroyWindow(main);
  ::DestroyWindow(target);
  return 0;
}

int RunStrip(const std::string& sysicon) {
  UpdaterApp app;
  app.log.SetEnabled(true);
  app.log.Open("update.log");
  app.tray = std::make_unique<CSystemTray>();
  app.tray->Create(nullptr, kTrayCallbackMessage, "", nullptr, kTrayIconId, true);
  app.tray_on = true;
  app.ui.sysicon = sysicon;
  AnimatedIcon strip;
  HWND window = MakeWindow("strip window", false);
  Say("BUILT", strip.Build(window) ? 1 : 0);
  Say("FRAMES", strip.FrameCount());
  Say("ICONS", strip.IconCount());
  Say("TRAY_LIST", app.tray->IconListSize());
  Say("TRAY_ICON_IS_FRAME0", strip.IconCount() > 0 && app.tray->GetIcon() == strip.Icon(0) ? 1 : 0);
  std::string steps;
  HICON previous = nullptr;
  bool changed_each_time = true;
  for (int i = 0; i < 12 && strip.IconCount() > 0; ++i) {
    steps += std::to_string(strip.ShowNextFrame(window)) + ",";
    HICON now = reinterpret_cast<HICON>(::SendMessageA(window, WM_GETICON, ICON_BIG, 0));
    if (!now || now == previous) changed_each_time = false;
    previous = now;
  }
  Say("STEPS", steps);
  Say("ICON_CHANGED_EACH_STEP", changed_each_time ? 1 : 0);
  if (strip.IconCount() > 0) {
    // The mask colour must have become transparent: pixel (0,0) of every
    // frame of the test strips is cyan.
    ICONINFO info{};
    ::GetIconInfo(strip.Icon(0), &info);
    ScopedBitmap colour(info.hbmColor), mask(info.hbmMask);
    ScopedMemoryDc dc(::CreateCompatibleDC(nullptr));
    ScopedSelectObject select(dc.Get(), mask.Get());
    Say("MASK_CORNER", ::GetPixel(dc.Get(), 0, 0) == RGB(255, 255, 255) ? 1 : 0);
    Say("MASK_CENTRE", ::GetPixel(dc.Get(), 8, 8) == RGB(255, 255, 255) ? 1 : 0);
  }
  app.log.Close();
  ::DestroyWindow(window);
  return 0;
}

int RunBitmap(const std::string& entry) {
  UpdaterApp app;
  app.log.SetEnabled(true);
  app.log.Open("update.log");
  ScopedBitmap bitmap = LoadSkinBitmap(nullptr, entry);
  if (!bitmap) {
    Say("BITMAP", "none");
  } else {
    BITMAP info{};
    ::GetObjectA(bitmap.Get(), sizeof(info), &info);
    Say("BITMAP", std::to_string(info.bmWidth) + "x" + std::to_string(info.bmHeight));
    ScopedMemoryDc dc(::CreateCompatibleDC(nullptr));
    ScopedWindowDc screen(nullptr);
    ScopedMemoryDc screen_dc(::CreateCompatibleDC(screen.Get()));
    ScopedSelectObject select(screen_dc.Get(), bitmap.Get());
    const COLORREF corner = ::GetPixel(screen_dc.Get(), 0, 0);
    Say("PIXEL00", std::to_string(GetRValue(corner)) + "," + std::to_string(GetGValue(corner)) + "," +
                       std::to_string(GetBValue(corner)));
  }
  app.log.Close();
  return 0;
}

int RunHold(int seconds, const std::vector<std::string>& tips) {
  UpdaterApp app;
  CSystemTray tray;
  HICON icon = SolidIcon(RGB(255, 0, 0));
  if (tips.empty() || !tray.Create(nullptr, kTrayCallbackMessage, "", icon, kTrayIconId, true)) return 2;
  HWND target = MakeWindow("tray target", false);
  tray.SetTargetWnd(target);
  tray.SetMenuDefaultItem(ID_SHOW_MAIN_WINDOW, false);
  Say("READY", tray.ShowIcon() ? 1 : 0);
  size_t reported = 0;
  const DWORD start = ::GetTickCount();
  const DWORD total = static_cast<DWORD>(seconds) * 1000;
  size_t shown_tip = tips.size();
  while (::GetTickCount() - start < total) {
    // The tooltip changes while the icon is up, as the stages do.
    const size_t tip =
        std::min(tips.size() - 1, static_cast<size_t>((::GetTickCount() - start) * tips.size() / total));
    if (tip != shown_tip) {
      shown_tip = tip;
      tray.SetTooltipText(tips[tip]);
      Say("TIP", tips[tip]);
    }
    Pump(50);
    for (; reported < g_commands.size(); ++reported) Say("COMMAND", LOWORD(g_commands[reported]));
  }
  ::DestroyWindow(target);
  return 0;
}

int RunPack(int argc, char** argv) {
  ZipArchive archive;
  if (!archive.Create(argv[2])) return 2;
  archive.SetPassword(ArchivePassword());
  for (int i = 3; i + 1 < argc; i += 2) {
    std::ifstream in(argv[i + 1], std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!archive.AddEntryFromMemory(argv[i], data)) return 3;
  }
  Say("PACKED", archive.Close() ? 1 : 0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  const std::string command = argv[1];
  if (command == "tray") return RunTray();
  if (command == "strip" && argc >= 3) return RunStrip(argv[2]);
  if (command == "strip") return RunStrip("");
  if (command == "bitmap" && argc >= 3) return RunBitmap(argv[2]);
  if (command == "hold" && argc >= 4) return RunHold(std::atoi(argv[2]), std::vector<std::string>(argv + 3, argv + argc));
  if (command == "pack" && argc >= 5) return RunPack(argc, argv);
  return 1;
}
