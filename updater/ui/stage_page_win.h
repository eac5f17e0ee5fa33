// StagePage: the download and the update page answer their stage's
// StageView calls alike (status line, overall bar, the two buttons, boxes);
// only the bar that counts as "overall" differs.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "updater/engine/host_messages.h"
#include "updater/engine/updater_app.h"
#include "updater/ui/stage_view.h"
#include "updater/ui/wizard_page_win.h"
#include "updater/ui/wizard_resource.h"

namespace corvane {

template <typename View>
class StagePage : public WizardPage, public View {
 public:
  StagePage(int index, int template_id, int overall_bar_id)
      : WizardPage(index, template_id), overall_bar_id_(overall_bar_id) {}

  // --- StageView
  void ShowStatus(const std::string& text) override { ShowStatusLine(text); }
  void SetOverallRange(int maximum) override { SetBarRange(overall_bar_id_, maximum); }
  void SetOverallPosition(int position) override { SetBarPosition(overall_bar_id_, position); }
  void EnableButton(StageButton button, bool enabled) override {
    SetButtonEnabled(ButtonId(button), enabled);
  }
  void SetButtonText(StageButton button, const std::string& text) override {
    SetButtonCaption(ButtonId(button), text);
  }
  void PostWorkerDone(bool success) override {
    ::PostMessageA(Hwnd(), kPageWorkerDone, success ? 1 : 0, 0);
  }
  void PostPageDone(bool leave) override { WizardPage::PostPageDone(leave); }
  bool IsPageVisible() const override { return ::IsWindowVisible(Hwnd()) != FALSE; }
  void InfoBox(const std::string& text) override { App().ShowInfoBox(text, Hwnd()); }
  bool RetryBox(const std::string& text) override { return App().AskRetry(text, Hwnd()); }
  bool AskCancel() override { return AskCancelQuestion(); }
  void ReleaseBackgroundImages() override { ReleaseImages(); }

 protected:
  static int ButtonId(StageButton button) {
    return button == StageButton::kForward ? IDC_FORWARD : IDC_EXIT;
  }
  void SetBarRange(int id, int maximum) {
    if (HWND bar = Item(id)) ::SendMessageA(bar, PBM_SETRANGE32, 0, maximum);
  }
  void SetBarPosition(int id, int position) {
    if (HWND bar = Item(id)) ::SendMessageA(bar, PBM_SETPOS, position, 0);
  }

 private:
  const int overall_bar_id_;
};

}  // namespace corvane
