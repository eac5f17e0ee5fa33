// The notification-area icon: its owner window, the shell calls, the popup
// menu, the animation timer and hiding windows to the tray.
#include "updater/ui/system_tray.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "win32/safe_dll.h"
#include "win32/scoped_handles.h"

namespace corvane {

namespace {

// Shell32's own version; the tray needs 4, balloons 5.
DWORD ShellMajorVersion() {
  HMODULE shell = LoadSystemLibrary("shell32.dll");
  if (!shell) return 0;
  ScopedLibrary owner(shell);
  auto get_version = reinterpret_cast<DLLGETVERSIONPROC>(::GetProcAddress(shell, "DllGetVersion"));
  // Shells without DllGetVersion predate version 4.71 but still have a tray.
  if (!get_version) return 4;
  DLLVERSIONINFO info{};
  info.cbSize = sizeof(info);
  if (FAILED(get_version(&info))) return 4;
  return info.dwMajorVersion;
}

// The hidden icon state exists on NT from version 5 on.
bool ShellHasHiddenState() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof(info);
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  if (!::GetVersionExA(&info)) return false;
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion > 4;
}

// Copies at most `capacity` - 1 bytes and terminates.
template <size_t N>
void CopyLimited(char (&target)[N], const std::string& text) {
  size_t n = std::min(text.size(), N - 1);
  std::memcpy(target, text.data(), n);
  target[n] = '\0';
}

const DWORD kAddFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

// Carries a tooltip set from a worker thread to the owner window's thread,
// which owns the notification record; lParam is a heap string it deletes.
const UINT kTooltipFromWorker = WM_APP + 0x2F1;

}  // namespace

CSystemTray::CSystemTray() = default;

CSystemTray::~CSystemTray() {
  if (Hwnd()) {
    ::KillTimer(Hwnd(), kAnimationTimer);
    RemoveIcon();
    DropPendingTooltips();
  }
}

void CSystemTray::DropPendingTooltips() {
  // Tooltips still on their way would otherwise be lost with their strings.
  MSG pending;
  while (::PeekMessageA(&pending, Hwnd(), kTooltipFromWorker, kTooltipFromWorker, PM_REMOVE)) {
    delete reinterpret_cast<std::string*>(pending.lParam);
  }
}

bool CSystemTray::Create(HWND parent, UINT callback_message, const std::string& tooltip,
                         HICON icon, UINT id, bool hidden, const std::string& balloon_text,
                         const std::string& balloon_title, DWORD balloon_icon_flags,
                         UINT balloon_timeout_seconds) {
  const DWORD shell_version = ShellMajorVersion();
  enabled_ = shell_version >= 4;
  if (!enabled_) return false;
  balloons_supported_ = shell_version >= 5;
  hidden_state_supported_ = ShellHasHiddenState();

  if (!Hwnd() && !Window::Create("CorvaneTrayOwner", "", WS_POPUP, 0, 0, 0, 0, 0, parent, nullptr)) {
    enabled_ = false;
    return false;
  }

  data_ = NOTIFYICONDATAA{};
  data_.cbSize = NOTIFYICONDATAA_V2_SIZE;  // the layout every shell from version 5 reads
  data_.hWnd = Hwnd();
  data_.uID = id;
  data_.hIcon = icon;
  data_.uCallbackMessage = callback_message;
  data_.uFlags = kAddFlags;
  CopyLimited(data_.szTip, tooltip);
  menu_id_ = id;

  if (balloons_supported_ && !balloon_text.empty()) {
    data_.uFlags |= NIF_INFO;
    CopyLimited(data_.szInfo, balloon_text);
    CopyLimited(data_.szInfoTitle, balloon_title);
    data_.uTimeout = balloon_timeout_seconds * 1000;
    data_.dwInfoFlags = balloon_icon_flags;
  }
  saved_flags_ = data_.uFlags & kAddFlags;

  if (hidden && !hidden_state_supported_) {
    // Without a hidden state, hidden means not added yet.
    hidden_ = removed_ = true;
    return true;
  }
  if (hidden) {
    data_.uFlags |= NIF_STATE;
    data_.dwState = NIS_HIDDEN;
    data_.dwStateMask = NIS_HIDDEN;
  }
  if (Notify(NIM_ADD)) {
    removed_ = false;
    hidden_ = hidden;
  } else {
    // The next "TaskbarCreated" (or ShowIcon) tries again.
    hidden_ = removed_ = true;
  }
  data_.uFlags &= ~NIF_INFO;  // the balloon is shown once, not on every change
  return true;
}

bool CSystemTray::Notify(DWORD message) {
  if (!enabled_ || !Hwnd()) return false;
  return ::Shell_NotifyIconA(message, &data_) != FALSE;
}

bool CSystemTray::AddIcon() {
  if (!enabled_) return false;
  if (!removed_) return true;
  data_.uFlags = saved_flags_;
  data_.dwState = 0;
  data_.dwStateMask = 0;
  if (!Notify(NIM_ADD)) return false;
  removed_ = hidden_ = false;
  return true;
}

bool CSystemTray::RemoveIcon() {
  if (!enabled_ || removed_) return true;
  data_.uFlags = 0;
  const bool ok = Notify(NIM_DELETE);
  removed_ = true;
  return ok;
}

bool CSystemTray::HideIcon() {
  if (!enabled_) return false;
  if (hidden_ || removed_) {
    hidden_ = true;
    return true;
  }
  if (!hidden_state_supported_) {
    RemoveIcon();
    hidden_ = true;
    return true;
  }
  data_.uFlags = NIF_STATE;
  data_.dwState = NIS_HIDDEN;
  data_.dwStateMask = NIS_HIDDEN;
  if (!Notify(NIM_MODIFY)) return false;
  hidden_ = true;
  return true;
}

bool CSystemTray::ShowIcon() {
  if (!enabled_) return false;
  if (removed_) return AddIcon();
  if (!hidden_) return true;
  data_.uFlags = NIF_STATE;
  data_.dwState = 0;
  data_.dwStateMask = NIS_HIDDEN;
  if (!Notify(NIM_MODIFY)) {
    // The shell lost the icon (a task bar restart while it was hidden).
    removed_ = true;
    return AddIcon();
  }
  hidden_ = false;
  return true;
}

bool CSystemTray::SetIcon(HICON icon) {
  data_.hIcon = icon;
  if (!enabled_ || removed_) return enabled_;
  data_.uFlags = NIF_ICON;
  return Notify(NIM_MODIFY);
}

bool CSystemTray::SetTooltipText(const std::string& text) {
  // The stages report their status from worker threads; the record and the
  // shell calls stay on the thread that owns the icon.
  if (Hwnd() && ::GetWindowThreadProcessId(Hwnd(), nullptr) != ::GetCurrentThreadId()) {
    auto* copy = new std::string(text);
    if (::PostMessageA(Hwnd(), kTooltipFromWorker, 0, reinterpret_cast<LPARAM>(copy))) return true;
    delete copy;
    return false;
  }
  CopyLimited(data_.szTip, text);
  if (!enabled_ || removed_) return enabled_;
  data_.uFlags = NIF_TIP;
  return Notify(NIM_MODIFY);
}

std::string CSystemTray::GetTooltipText() const { return data_.szTip; }

HWND CSystemTray::GetTargetWnd() const { return target_ ? target_ : Hwnd(); }

bool CSystemTray::SetMenuDefaultItem(UINT item, bool by_position) {
  default_item_ = item;
  default_by_position_ = by_position;
  return true;
}

void CSystemTray::SetIconList(const HICON* icons, int count) {
  icon_list_.assign(icons, icons + (icons && count > 0 ? count : 0));
  if (icon_list_.empty()) {
    StopAnimation();
    animation_index_ = 0;
  } else if (animation_index_ >= icon_list_.size()) {
    animation_index_ = 0;
  }
}

bool CSystemTray::Animate(UINT interval_ms, int duration_seconds) {
  if (icon_list_.empty() || !Hwnd()) return false;
  if (!animating_) icon_before_animation_ = data_.hIcon;
  animation_index_ = 0;
  animation_start_ = ::GetTickCount();
  animation_duration_ = duration_seconds;
  animating_ = ::SetTimer(Hwnd(), kAnimationTimer, interval_ms, nullptr) != 0;
  return animating_;
}

bool CSystemTray::StepAnimation() {
  if (icon_list_.empty()) return false;
  animation_index_ = (animation_index_ + 1) % icon_list_.size();
  return SetIcon(icon_list_[animation_index_]);
}

bool CSystemTray::StopAnimation() {
  if (!animating_) return false;
  if (Hwnd()) ::KillTimer(Hwnd(), kAnimationTimer);
  animating_ = false;
  return SetIcon(icon_before_animation_);
}

void CSystemTray::MinimiseToTray(HWND window) {
  if (!window) return;
  if (!parking_.Hwnd()) {
    parking_.Create("CorvaneTrayParking", "", WS_POPUP, 0, 0, 0, 0, 0, nullptr, nullptr);
  }
  // As the child of a window that is never shown, the window has no task
  // bar button and cannot be seen, whatever its own style says.
  if (parking_.Hwnd()) ::SetParent(window, parking_.Hwnd());
  ::ShowWindow(window, SW_HIDE);
}

void CSystemTray::MaximiseFromTray(HWND window) {
  if (!window) return;
  ::SetParent(window, nullptr);
  ::ShowWindow(window, SW_SHOW);
  ::RedrawWindow(window, nullptr, nullptr,
                 RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME | RDW_INVALIDATE | RDW_ERASE);
  // Moving the activation away and back makes the shell give the window its
  // task bar button again.
  if (parking_.Hwnd()) ::SetActiveWindow(parking_.Hwnd());
  ::SetActiveWindow(window);
  ::SetForegroundWindow(window);
}

void CSystemTray::ShowContextMenu() {
  ScopedMenu menu(::LoadMenuA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(menu_id_)));
  if (!menu) return;
  HMENU popup = ::GetSubMenu(menu.Get(), 0);
  if (!popup) return;
  ::SetMenuDefaultItem(popup, default_item_, default_by_position_ ? TRUE : FALSE);
  CustomizeMenu(popup);

  POINT cursor{};
  ::GetCursorPos(&cursor);
  HWND target = GetTargetWnd();
  // Without the foreground the menu would not close when the user clicks
  // elsewhere; the null post afterwards makes a second click work at once.
  ::SetForegroundWindow(target);
  ::TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_LEFTBUTTON, cursor.x, cursor.y, 0, target, nullptr);
  ::PostMessageA(target, WM_NULL, 0, 0);
}

void CSystemTray::PostDefaultCommand() {
  HWND target = GetTargetWnd();
  UINT command = default_item_;
  if (default_by_position_) {
    ScopedMenu menu(::LoadMenuA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(menu_id_)));
    HMENU popup = menu ? ::GetSubMenu(menu.Get(), 0) : nullptr;
    if (!popup) return;
    command = ::GetMenuItemID(popup, static_cast<int>(default_item_));
    if (command == static_cast<UINT>(-1) || command == 0) return;
  }
  ::SetForegroundWindow(target);
  ::PostMessageA(target, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

void CSystemTray::OnTrayNotification(WPARAM id, LPARAM event) {
  if (id != data_.uID) return;
  switch (LOWORD(event)) {
    case WM_RBUTTONUP:
      ShowContextMenu();
      break;
    case WM_LBUTTONUP:
      PostDefaultCommand();
      break;
    default:
      break;
  }
}

void CSystemTray::OnTaskbarCreated() {
  if (!enabled_) return;
  // The new task bar knows none of the icons: a hidden one is added when
  // it is shown again.
  removed_ = true;
  if (!hidden_) AddIcon();
}

LRESULT CSystemTray::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  // Registered once per session; asking again returns the same number.
  if (taskbar_created_ == 0) taskbar_created_ = ::RegisterWindowMessageA("TaskbarCreated");
  const UINT taskbar_created = taskbar_created_;
  if (msg == data_.uCallbackMessage && data_.uCallbackMessage != 0) {
    OnTrayNotification(wp, lp);
    return 0;
  }
  if (msg == taskbar_created && taskbar_created != 0) {
    OnTaskbarCreated();
    return 0;
  }
  switch (msg) {
    case kTooltipFromWorker: {
      std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lp));
      if (text) SetTooltipText(*text);
      return 0;
    }
    case WM_SETTINGCHANGE:
      if (wp == SPI_SETWORKAREA) OnTaskbarCreated();
      break;
    case WM_TIMER:
      if (wp == kAnimationTimer) {
        const DWORD elapsed_seconds = (::GetTickCount() - animation_start_) / 1000;
        if (animation_duration_ > 0 && elapsed_seconds > static_cast<DWORD>(animation_duration_)) {
          StopAnimation();
        } else {
          StepAnimation();
        }
        return 0;
      }
      break;
    case WM_DESTROY: {
      ::KillTimer(Hwnd(), kAnimationTimer);
      animating_ = false;
      RemoveIcon();
      DropPendingTooltips();
      break;
    }
    default:
      break;
  }
  return Window::OnMessage(msg, wp, lp);
}

}  // namespace corvane
