#include "updater/ui/wizard_frame_win.h"

#include "updater/engine/host_messages.h"
#include "updater/engine/updater_app.h"
#include "updater/resource.h"
#include "updater/ui/animated_icon.h"
#include "updater/ui/system_tray.h"
#include "updater/ui/wizard_resource.h"

namespace corvane {

WizardFrame::WizardFrame() = default;

WizardFrame::~WizardFrame() { DestroyPages(); }

INT_PTR WizardFrame::Run() {
  const INT_PTR result = RunModal(nullptr, IDD_WIZARD);
  return result == kCompleted ? kCompleted : kCancelled;
}

void WizardFrame::PrepareIcon() {
  HICON icon = nullptr;
  if (AnimatedIcon* strip = App().icon_strip.get()) {
    if (strip->Build(Hwnd()) && strip->IconCount() > 0) icon = strip->Icon(0);
  }
  if (!icon) icon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_UPDATE));
  ::SendMessageA(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
}

BOOL WizardFrame::OnInitDialog() {
  try {
    UpdaterApp& app = App();
    PrepareIcon();
    if (app.tray_on && app.tray) app.tray->SetTargetWnd(Hwnd());
    if (!app.ui.title.empty()) ::SetWindowTextA(Hwnd(), app.ui.title.c_str());
    ::SetWindowPos(Hwnd(), nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (app.run.display_style == kStyleSilent || app.run.display_style == kStyleHide) {
      may_show_ = false;
      ::ShowWindow(Hwnd(), SW_HIDE);
      HideMainWindowToTray(Hwnd());
    }
  } catch (...) {
    // The pages still run; they report through the log and the host.
  }
  ::SetTimer(Hwnd(), kFirstPageTimer, 500, nullptr);
  return TRUE;
}

bool WizardFrame::PageWanted(bool visible) const {
  const UpdaterApp& app = App();
  // A preview shows every page, whatever the operation mode says.
  const bool automatic =
      app.run_mode != RunPreview && app.run.operation_mode == kModeAutomatic;
  return visible && !automatic && app.run_mode != RunSelfUpdate;
}

void WizardFrame::ShowPage(int index) {
  if (ended_ || index < 0 || index >= kWizardWindows) return;
  UpdaterApp& app = App();
  page_index_ = index;
  const WindowModel& window = app.ui.windows[index];
  const int width = window.attr.rect.Width() > 0 ? window.attr.rect.Width() : 0;
  const int height = window.attr.rect.Height() > 0 ? window.attr.rect.Height() : 0;

  // The outer size that gives exactly the designed client size with this
  // window's frame and caption.
  RECT outer{0, 0, width, height};
  ::AdjustWindowRectEx(&outer, static_cast<DWORD>(::GetWindowLongA(Hwnd(), GWL_STYLE)), FALSE,
                       static_cast<DWORD>(::GetWindowLongA(Hwnd(), GWL_EXSTYLE)));
  const int outer_width = outer.right - outer.left;
  const int outer_height = outer.bottom - outer.top;
  const int x = (::GetSystemMetrics(SM_CXSCREEN) - outer_width) / 2;
  const int y = (::GetSystemMetrics(SM_CYSCREEN) - outer_height) / 2;

  const bool visible = app.run_mode != RunSelfUpdate && app.run.display_style == kStyleNormal &&
                       window.attr.show;
  may_show_ = visible;
  ::SetWindowPos(Hwnd(), nullptr, x, y, outer_width, outer_height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  ::ShowWindow(Hwnd(), visible ? SW_SHOW : SW_HIDE);

  const bool always = index == 1 || index == 3;
  if (!always && !PageWanted(visible)) {
    // Skipped pages are never created; the run goes on without them.
    ::PostMessageA(Hwnd(), kPageDone, 0, 0);
    return;
  }
  std::unique_ptr<WizardPage> page;
  switch (index) {
    case 0:
      page = MakeBeforeDownloadPage();
      break;
    case 1:
      page = MakeDownloadPage();
      break;
    case 2:
      page = MakeAfterDownloadPage();
      break;
    default:
      page = MakeUpdatePage();
      break;
  }
  if (!page || !page->Open(Hwnd())) {
    // Without its page the run cannot go on; leave as after a failure.
    ::PostMessageA(Hwnd(), kPageDone, 1, 0);
    return;
  }
  HWND page_window = page->Hwnd();
  pages_[index] = std::move(page);
  if (index == 1) icon_timer_ = ::SetTimer(Hwnd(), kIconTimer, 150, nullptr);
  ::ShowWindow(page_window, SW_SHOW);
}

void WizardFrame::DestroyPages() {
  for (auto& page : pages_) {
    if (!page) continue;
    page->Destroy();
    page.reset();
  }
}

void WizardFrame::OnPageDone(WPARAM leave) {
  if (ended_) return;
  for (auto& page : pages_) {
    if (page && page->Busy()) {
      // The page is inside a message box; it goes when the box has closed.
      pending_page_done_ = leave;
      page_done_pending_ = true;
      ::SetTimer(Hwnd(), kPageDoneRetryTimer, 50, nullptr);
      return;
    }
  }
  const int ended_page = page_index_;
  DestroyPages();
  if (ended_page == 1) {
    if (icon_timer_) ::KillTimer(Hwnd(), kIconTimer);
    icon_timer_ = 0;
    if (App().run_mode == RunSelfUpdate) {
      ended_ = true;
      End(leave ? kCancelled : kCompleted);
      return;
    }
  }
  if (leave) {
    ended_ = true;
    End(kCancelled);
    return;
  }
  if (ended_page < 3) {
    ShowPage(ended_page + 1);
  } else {
    ended_ = true;
    End(kCompleted);
  }
}

void WizardFrame::OnTimer(UINT_PTR id) {
  switch (id) {
    case kFirstPageTimer:
      ::KillTimer(Hwnd(), kFirstPageTimer);
      ShowPage(0);
      break;
    case kIconTimer:
      if (AnimatedIcon* strip = App().icon_strip.get()) strip->ShowNextFrame(Hwnd());
      break;
    case kPageDoneRetryTimer:
      ::KillTimer(Hwnd(), kPageDoneRetryTimer);
      if (page_done_pending_) {
        page_done_pending_ = false;
        OnPageDone(pending_page_done_);
      }
      break;
    default:
      break;
  }
}

void WizardFrame::ForwardToPage(UINT msg, WPARAM wp, LPARAM lp) {
  const auto& page = pages_[page_index_];
  if (page && page->Hwnd()) ::SendMessageA(page->Hwnd(), msg, wp, lp);
}

bool WizardFrame::OnCommand(int id, int code, HWND control) {
  try {
    switch (id) {
      case IDOK:
      case IDCANCEL:
        // Enter and Escape do nothing here; only the pages' buttons act.
        return true;
      case ID_SHOW_MAIN_WINDOW:
        ::SendMessageA(Hwnd(), kFrameShowFromTray, 0, 0);
        return true;
      case ID_APP_EXIT: {
        // The tray's "E&xit" is the current page's exit button, and only
        // while that button may be pressed.
        const auto& page = pages_[page_index_];
        if (!page || !page->Hwnd()) return true;
        HWND exit_button = ::GetDlgItem(page->Hwnd(), IDC_EXIT);
        if (exit_button && ::IsWindowEnabled(exit_button)) {
          ForwardToPage(WM_COMMAND, MAKEWPARAM(IDC_EXIT, BN_CLICKED),
                        reinterpret_cast<LPARAM>(exit_button));
        }
        return true;
      }
      default:
        return false;
    }
  } catch (...) {
    return true;
  }
}

INT_PTR WizardFrame::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  try {
    switch (msg) {
      case kPageDone:
        OnPageDone(wp);
        return TRUE;
      case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wp));
        return TRUE;
      case WM_WINDOWPOSCHANGING: {
        auto* pos = reinterpret_cast<WINDOWPOS*>(lp);
        if (KeepHidden()) pos->flags &= ~SWP_SHOWWINDOW;
        return FALSE;
      }
      case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == SC_MINIMIZE && App().tray_on && App().tray) {
          may_show_ = false;
          HideMainWindowToTray(Hwnd());
          SetResult(0);
          return TRUE;
        }
        return FALSE;
      case kFrameShowFromTray:
        may_show_ = true;
        ShowMainWindowFromTray(Hwnd());
        SetResult(0);
        return TRUE;
      case WM_CLOSE:
        // Closing the window is the current page's business (its cancel
        // question); it must not turn into the dialog's IDCANCEL.
        ForwardToPage(WM_CLOSE, 0, 0);
        SetResult(0);
        return TRUE;
      case WM_DESTROY:
        DestroyPages();
        ::KillTimer(Hwnd(), kFirstPageTimer);
        ::KillTimer(Hwnd(), kIconTimer);
        ::KillTimer(Hwnd(), kPageDoneRetryTimer);
        if (App().tray) App().tray->SetTargetWnd(nullptr);
        return FALSE;
      default:
        return FALSE;
    }
  } catch (...) {
    return FALSE;
  }
}

}  // namespace corvane
