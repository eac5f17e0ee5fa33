// Page 0, the before-download window: the list of the new versions, "&Next"
// and "E&xit".
#include "updater/engine/host_messages.h"
#include "updater/engine/updater_app.h"
#include "updater/ui/wizard_page_win.h"
#include "updater/ui/wizard_resource.h"
#include "updater/ui/wizard_rows.h"

namespace corvane {

namespace {

class BeforeDownloadPage : public WizardPage {
 public:
  BeforeDownloadPage() : WizardPage(0, IDD_PAGE_BEFORE_DOWNLOAD) {}

 protected:
  void OnOpen() override {
    Place(IDC_ITEM_LIST, App().ui.list0);
    if (HWND list = Item(IDC_ITEM_LIST)) {
      list_.Attach(list);
      list_.SetReportLook(20);
      RECT rc{};
      ::GetClientRect(list, &rc);
      const int third = (rc.right - rc.left) / 3;
      list_.AddColumn("File/Folder", third);
      list_.AddColumn("New version", third);
      list_.AddColumn("Description", third);
    }
    // A preview has nothing to list.
    if (!IsPreview()) ::PostMessageA(Hwnd(), kPageStartDownload, 0, 0);
  }

  void OnForward() override { PostPageDone(false); }

  bool OnPageMessage(UINT msg, WPARAM, LPARAM) override {
    if (msg != kPageStartDownload) return false;
    for (const NewVersionRow& row : BuildNewVersionRows(App().run)) {
      const int index = list_.AddRow(row.name);
      if (index < 0) continue;
      list_.SetCellText(index, 1, row.version);
      list_.SetCellText(index, 2, row.description);
    }
    if (!::IsWindowVisible(Hwnd())) PostPageDone(false);
    return true;
  }

 private:
  ProgressListCtrl list_;
};

}  // namespace

std::unique_ptr<WizardPage> MakeBeforeDownloadPage() {
  return std::make_unique<BeforeDownloadPage>();
}

}  // namespace corvane
