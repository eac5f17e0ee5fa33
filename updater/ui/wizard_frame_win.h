// WizardFrame: the wizard's main window. A modal dialog whose client area
// holds one page at a time; it shows pages 0 to 3 in turn, sizes itself to
// each page's designed client size, keeps itself hidden where the display
// style, the page's show flag or a self-update download say so, animates its
// icon during the download, and hides to the tray when minimised with the
// tray on.
#pragma once

#include <windows.h>

#include <memory>

#include "updater/ui/wizard_page_win.h"
#include "win32/dialog.h"

namespace corvane {

class WizardFrame : public Dialog {
 public:
  // Results of RunModal.
  static constexpr INT_PTR kCompleted = 0;
  static constexpr INT_PTR kCancelled = 1;

  static constexpr UINT_PTR kFirstPageTimer = 1;     // 500 ms, once
  static constexpr UINT_PTR kIconTimer = 2;          // 150 ms while the download page is up
  static constexpr UINT_PTR kPageDoneRetryTimer = 3; // a page with an open box ends later

  WizardFrame();
  ~WizardFrame() override;

  // Runs the wizard; returns kCompleted or kCancelled.
  INT_PTR Run();

  // Sizes and shows or hides the main window for page `index` and creates
  // the page (or moves on at once when the page is skipped).
  void ShowPage(int index);

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void PrepareIcon();
  void OnPageDone(WPARAM leave);
  void DestroyPages();
  void OnTimer(UINT_PTR id);
  bool PageWanted(bool visible) const;
  void ForwardToPage(UINT msg, WPARAM wp, LPARAM lp);
  bool KeepHidden() const { return !may_show_; }

  int page_index_ = 0;
  std::unique_ptr<WizardPage> pages_[4];
  UINT_PTR icon_timer_ = 0;
  // Cleared while the window must stay hidden: the modal dialog loop shows
  // a dialog on its own once, which would undo a hidden start.
  bool may_show_ = true;
  WPARAM pending_page_done_ = 0;
  bool page_done_pending_ = false;
  bool ended_ = false;
};

}  // namespace corvane
