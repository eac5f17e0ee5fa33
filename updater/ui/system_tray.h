// The notification-area (tray) icon of the updater.
//
// CSystemTray owns a hidden popup window of its own; the shell sends the
// icon's mouse events to it, and it re-adds the icon when the task bar is
// re-created ("TaskbarCreated") or the work area changes. Menu commands go to
// the target window (the wizard's main window once it exists). The icon can
// be animated through a list of icons (timer 4567 on the owner window), and
// a window can be hidden to the tray (off the task bar) and shown again.
//
// Typical use by the wizard (the tray object is App().tray, created hidden at
// start-up; App().tray_on says whether "/Tray" was given):
//   tray->SetTargetWnd(main_window);            // menu commands reach the wizard
//   tray->Animate(150, 0);  ...  tray->StopAnimation();
//   tray->SetTooltipText(status_text);
//   HideMainWindowToTray(main_window);           // on SC_MINIMIZE, or Silent/Hide
//   ShowMainWindowFromTray(main_window);         // on ID_SHOW_MAIN_WINDOW
// The menu (resource POPMENU, 139) sends ID_SHOW_MAIN_WINDOW and ID_APP_EXIT
// as WM_COMMAND to the target window.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "win32/window.h"

namespace corvane {

class CSystemTray : public Window {
 public:
  static constexpr UINT_PTR kAnimationTimer = 4567;

  CSystemTray();
  ~CSystemTray() override;

  // Creates the owner window and adds the icon. `id` is both the icon's
  // identifier and the menu resource. With `hidden` the icon is added in the
  // hidden state (or, where the shell has no hidden state, not added until
  // ShowIcon). The balloon is used only when `balloon_text` is not empty and
  // the shell supports balloons. Returns false when the shell is older than
  // version 4 (there is no icon then; every other call is harmless).
  bool Create(HWND parent, UINT callback_message, const std::string& tooltip, HICON icon,
              UINT id, bool hidden = false, const std::string& balloon_text = std::string(),
              const std::string& balloon_title = std::string(), DWORD balloon_icon_flags = 0,
              UINT balloon_timeout_seconds = 10);

  bool Enabled() const { return enabled_; }
  bool Hidden() const { return hidden_; }
  bool Removed() const { return removed_; }
  // True when the icon should be on screen: enabled, added and not hidden.
  bool Visible() const { return enabled_ && !hidden_ && !removed_; }

  // Adds the icon again after RemoveIcon (or after a failed add).
  bool AddIcon();
  bool RemoveIcon();
  bool HideIcon();
  bool ShowIcon();

  // The icon is not owned by the tray; the caller keeps it alive while shown.
  bool SetIcon(HICON icon);
  HICON GetIcon() const { return data_.hIcon; }

  // At most 127 characters are kept (the shell's limit). May be called from
  // a worker thread: the change is then posted to the tray's own thread.
  bool SetTooltipText(const std::string& text);
  std::string GetTooltipText() const;

  // Menu commands and the left-click command go here; null means the
  // tray's own window, which ignores them.
  void SetTargetWnd(HWND target) { target_ = target; }
  HWND GetTargetWnd() const;

  // The default (bold) menu item: a command identifier, or a position in
  // the popup when `by_position`.
  bool SetMenuDefaultItem(UINT item, bool by_position);
  UINT MenuDefaultItem() const { return default_item_; }
  bool MenuDefaultByPosition() const { return default_by_position_; }

  // Animation. The icons are not owned (the AnimatedIcon strip owns them).
  void SetIconList(const HICON* icons, int count);
  int IconListSize() const { return static_cast<int>(icon_list_.size()); }
  // Shows the next icon every `interval_ms`; `duration_seconds` <= 0 runs
  // until StopAnimation. Does nothing (false) with an empty icon list.
  bool Animate(UINT interval_ms, int duration_seconds);
  bool StepAnimation();
  // Kills the timer and puts back the icon shown before Animate.
  bool StopAnimation();
  bool Animating() const { return animating_; }

  // Hides `window` to the tray: it becomes a child of a hidden parking
  // window (created once) and invisible, so it leaves the task bar.
  void MinimiseToTray(HWND window);
  // Detaches `window` from the parking window, makes it visible, redraws it
  // with its children and frame, activates it and brings it to the front.
  void MaximiseFromTray(HWND window);

 protected:
  // Lets a derived tray change the popup menu before it is shown.
  virtual void CustomizeMenu(HMENU menu) {}
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  bool Notify(DWORD message);
  void OnTrayNotification(WPARAM id, LPARAM event);
  void OnTaskbarCreated();
  void ShowContextMenu();
  void PostDefaultCommand();
  void DropPendingTooltips();

  NOTIFYICONDATAA data_{};
  DWORD saved_flags_ = 0;
  bool enabled_ = false;
  UINT taskbar_created_ = 0;  // the "TaskbarCreated" message
  bool hidden_ = false;
  bool removed_ = true;
  bool hidden_state_supported_ = false;
  bool balloons_supported_ = false;
  HWND target_ = nullptr;
  UINT menu_id_ = 0;
  UINT default_item_ = 0;
  bool default_by_position_ = true;

  std::vector<HICON> icon_list_;
  size_t animation_index_ = 0;
  bool animating_ = false;
  DWORD animation_start_ = 0;
  int animation_duration_ = 0;
  HICON icon_before_animation_ = nullptr;

  Window parking_;  // hidden parent of windows hidden to the tray
};

// The updater's own use of App().tray (app_tray_win.cpp). Both do nothing
// unless the tray is on.
// Hides the wizard's main window to the tray and makes "&Show main window"
// the default menu item again.
void HideMainWindowToTray(HWND main_window);
// "&Show main window": nothing when `main_window` is visible; otherwise the
// display style becomes Normal and the window is shown from the tray.
// Returns true when the window was shown.
bool ShowMainWindowFromTray(HWND main_window);

}  // namespace corvane
