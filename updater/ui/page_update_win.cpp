// Page 3, the update window: one progress bar, the status line and the
// details box, driven by the update stage; its exit button stays disabled
// until the stage lets the user finish. The main window cannot be closed
// meanwhile. A preview run steps the bar instead.
#include <windows.h>
#include <commctrl.h>

#include "updater/engine/host_messages.h"
#include "updater/engine/updater_app.h"
#include "updater/ui/stage_page_win.h"
#include "updater/ui/stage_view.h"
#include "updater/ui/wizard_page_win.h"
#include "updater/ui/wizard_resource.h"

namespace corvane {

namespace {

constexpr UINT_PTR kDemoTimer = 1;
constexpr int kDemoSteps = 10;

class UpdatePage : public StagePage<StageView> {
 public:
  UpdatePage() : StagePage(3, IDD_PAGE_UPDATE, IDC_PROGRESS_MAIN) {}

 protected:
  void OnOpen() override {
    const UiModel& ui = App().ui;
    Place(IDC_DETAILS, ui.details3);
    Place(IDC_PROGRESS_MAIN, ui.progress3_0);
    Place(IDC_STATUS, ui.status3_0);
    AttachDetailsBox();
    AttachStatusLabel(IDC_STATUS, status_);

    // The update must not be interrupted: Close (the last item of the
    // system menu) is greyed and the exit button waits for the stage.
    if (HMENU system_menu = ::GetSystemMenu(Frame(), FALSE)) {
      const int count = ::GetMenuItemCount(system_menu);
      if (count > 0) {
        ::EnableMenuItem(system_menu, static_cast<UINT>(count - 1), MF_BYPOSITION | MF_GRAYED);
      }
    }
    SetButtonEnabled(IDC_EXIT, false);

    if (IsPreview()) {
      ::PostMessageA(Hwnd(), kPageStartPreview, 0, 0);
      return;
    }
    stage_ = CreateUpdateStage(*this);
    ::PostMessageA(Hwnd(), kPageStartUpdate, 0, 0);
  }

  // The exit button is the finish button here.
  void OnExit() override {
    const bool finished = stage_ ? stage_->Finished() : demo_finished_;
    PostWorkerDone(finished);
  }

  // Close is greyed while this page is up.
  void OnCloseRequest() override {}

  bool OnPageMessage(UINT msg, WPARAM wp, LPARAM) override {
    switch (msg) {
      case kPageStartUpdate:
        if (stage_) {
          stage_->Start(msg);
        } else {
          PostPageDone(true);
        }
        return true;
      case kPageStartPreview:
        SetOverallRange(kDemoSteps);
        SetOverallPosition(0);
        ::SetTimer(Hwnd(), kDemoTimer, 250, nullptr);
        return true;
      case kPageWorkerDone:
        if (IsPreview() || !stage_) {
          // A preview ends normally whatever the button said.
          PostPageDone(!IsPreview() && wp == 0);
        } else {
          stage_->Finish(wp != 0);
        }
        return true;
      case WM_TIMER:
        if (wp == kDemoTimer) DemoStep();
        return true;
      default:
        return false;
    }
  }

 private:
  void DemoStep() {
    if (demo_step_ < kDemoSteps) {
      SetOverallPosition(++demo_step_);
      return;
    }
    ::KillTimer(Hwnd(), kDemoTimer);
    demo_finished_ = true;
    if (IsPageVisible()) {
      SetButtonCaption(IDC_EXIT, "&Complete");
      SetButtonEnabled(IDC_EXIT, true);
    } else {
      PostWorkerDone(true);
    }
  }

  int demo_step_ = 0;
  bool demo_finished_ = false;
  // Last: destroyed first, while the controls it may still address exist.
  std::unique_ptr<PageStage> stage_;
};

}  // namespace

std::unique_ptr<WizardPage> MakeUpdatePage() { return std::make_unique<UpdatePage>(); }

}  // namespace corvane
