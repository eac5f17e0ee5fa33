// The updater's notification-area icon: created hidden at start-up, shown
// for "/Tray", removed at the end of the run; and the wizard's main window
// hidden to it and shown from it.
#include <memory>

#include "updater/engine/host_messages.h"
#include "updater/engine/updater_app.h"
#include "updater/resource.h"
#include "updater/ui/animated_icon.h"
#include "updater/ui/system_tray.h"

namespace corvane {

bool UpdaterApp::CreateHiddenTray(bool with_icon) {
  // The wizard builds the strip again for its own window; before it only
  // the icon needs the frames.
  icon_strip = std::make_unique<AnimatedIcon>();
  if (!with_icon) return false;
  tray = std::make_unique<CSystemTray>();

  // The UI model is not read yet, so the tooltip starts empty.
  HICON program_icon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_UPDATE));
  const bool created = tray->Create(nullptr, kTrayCallbackMessage, std::string(), program_icon,
                                    kTrayIconId, /*hidden=*/true, std::string(), std::string(),
                                    NIIF_NONE, /*balloon_timeout_seconds=*/10);
  if (created) tray->HideIcon();
  icon_strip->Build(nullptr);
  tray->SetMenuDefaultItem(ID_SHOW_MAIN_WINDOW, /*by_position=*/false);
  return created;
}

void UpdaterApp::ShowTray() {
  if (tray) tray->ShowIcon();
}

void UpdaterApp::RemoveTray() {
  if (!tray) return;
  tray->StopAnimation();
  tray->RemoveIcon();
}

void UpdaterApp::SetTrayTooltip(const std::string& text) {
  if (tray) tray->SetTooltipText(text);
}

void HideMainWindowToTray(HWND main_window) {
  UpdaterApp& app = App();
  if (!app.tray_on || !app.tray || !main_window) return;
  app.tray->MinimiseToTray(main_window);
  app.tray->SetMenuDefaultItem(ID_SHOW_MAIN_WINDOW, /*by_position=*/false);
}

bool ShowMainWindowFromTray(HWND main_window) {
  UpdaterApp& app = App();
  if (!main_window || ::IsWindowVisible(main_window)) return false;
  app.run.display_style = kStyleNormal;
  if (app.tray) {
    app.tray->MaximiseFromTray(main_window);
  } else {
    ::ShowWindow(main_window, SW_SHOW);
    ::SetForegroundWindow(main_window);
  }
  return true;
}

}  // namespace corvane
