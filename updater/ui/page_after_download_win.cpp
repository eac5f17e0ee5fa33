// Page 2, the after-download window: the prompt before the update starts.
#include "updater/engine/updater_app.h"
#include "updater/ui/wizard_page_win.h"
#include "updater/ui/wizard_resource.h"

namespace corvane {

namespace {

class AfterDownloadPage : public WizardPage {
 public:
  AfterDownloadPage() : WizardPage(2, IDD_PAGE_AFTER_DOWNLOAD) {}

 protected:
  void OnOpen() override {
    if (App().run.display_style != kStyleNormal) {
      PostPageDone(false);
      return;
    }
    // The user hid the wizard to the tray during the download: the prompt
    // brings it back.
    if (!::IsWindowVisible(Frame())) ::SendMessageA(Frame(), kFrameShowFromTray, 0, 0);
  }

  void OnForward() override { PostPageDone(false); }
};

}  // namespace

std::unique_ptr<WizardPage> MakeAfterDownloadPage() {
  return std::make_unique<AfterDownloadPage>();
}

}  // namespace corvane
