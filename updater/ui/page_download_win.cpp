// Page 1, the download window: the download list with progress cells, the
// file and overall bars, the status and rate lines and the details box. The
// download stage drives it through DownloadPageView; a preview run shows a
// demonstration instead.
#include <windows.h>
#include <commctrl.h>

#include <mutex>
#include <string>
#include <vector>

#include "updater/engine/host_messages.h"
#include "updater/engine/updater_app.h"
#include "updater/ui/stage_page_win.h"
#include "updater/ui/stage_view.h"
#include "updater/ui/system_tray.h"
#include "updater/ui/wizard_page_win.h"
#include "updater/ui/wizard_resource.h"
#include "win32/critical_lock.h"

namespace corvane {

namespace {

constexpr int kProgressColumn = 1;
constexpr int kRateColumn = 2;
constexpr UINT_PTR kDemoTimer = 1;
constexpr int kDemoSteps = 10;

class DownloadPage : public StagePage<DownloadPageView> {
 public:
  DownloadPage() : StagePage(1, IDD_PAGE_DOWNLOAD, IDC_PROGRESS_OVERALL) {}

  // --- TransferView
  void SetFileProgress(int percent) override { SetBarPosition(IDC_PROGRESS_MAIN, percent); }
  // Kept on this side too: the transfer engine asks for a row's label at
  // every progress report, and asking the list from a worker would wait for
  // the page's thread each time.
  std::string RowLabel(int row) override {
    std::lock_guard<CriticalLock> lock(row_labels_mutex_);
    if (row < 0 || static_cast<size_t>(row) >= row_labels_.size()) return list_.CellText(row, 0);
    return row_labels_[row];
  }
  void SetRowLabel(int row, const std::string& text) override {
    list_.SetCellText(row, 0, text);
    RememberRowLabel(row, text);
  }
  void SetRowProgress(int row, int percent) override {
    list_.SetProgress(row, kProgressColumn, percent);
  }
  void SetRowRate(int row, const std::string& rate) override {
    list_.SetCellText(row, kRateColumn, rate);
  }
  void SetRateLine(const std::string& text) override { rate_.SetLabelText(text); }

  // --- DownloadPageView
  void SetFileRange(int maximum) override { SetBarRange(IDC_PROGRESS_MAIN, maximum); }
  int AddRow(const std::string& label) override {
    const int row = list_.AddRow(label);
    if (row >= 0) {
      list_.SetProgress(row, kProgressColumn, 0);
      RememberRowLabel(row, label);
    }
    return row;
  }
  void MarkRowFinished(int row) override { list_.SetProgress(row, kProgressColumn, 100); }
  int VisibleRows() const override {
    RECT rc{};
    if (HWND list = Item(IDC_ITEM_LIST)) ::GetWindowRect(list, &rc);
    return (rc.bottom - rc.top) / 20 - 3;
  }
  void ScrollList(int pixels) override {
    if (HWND list = Item(IDC_ITEM_LIST)) ::SendMessageA(list, LVM_SCROLL, 0, pixels);
    RepaintPage();
  }

 protected:
  void OnOpen() override {
    const UiModel& ui = App().ui;
    Place(IDC_ITEM_LIST, ui.list1);
    Place(IDC_DETAILS, ui.details1);
    Place(IDC_PROGRESS_MAIN, ui.progress1_0);
    Place(IDC_PROGRESS_OVERALL, ui.progress1_1);
    Place(IDC_STATUS, ui.status1_0);
    Place(IDC_RATE, ui.status1_1);
    AttachDetailsBox();
    AttachStatusLabel(IDC_STATUS, status_);
    AttachStatusLabel(IDC_RATE, rate_);
    if (HWND list = Item(IDC_ITEM_LIST)) {
      list_.Attach(list);
      list_.SetReportLook(20);
      RECT rc{};
      ::GetWindowRect(list, &rc);
      // Shares 10 : 6 : 5 of the width left beside a vertical scroll bar,
      // so that the three columns never need a horizontal one.
      const int usable = (rc.right - rc.left) - ::GetSystemMetrics(SM_CXVSCROLL) - 2;
      list_.AddColumn("File/Folder", usable * 10 / 21);
      list_.AddColumn("Progress", usable * 6 / 21);
      list_.AddColumn("Rate", usable * 5 / 21);
    }
    SetButtonEnabled(IDC_FORWARD, false);

    UpdaterApp& app = App();
    if (IsPreview()) {
      ::PostMessageA(Hwnd(), kPageStartPreview, 0, 0);
      return;
    }
    stage_ = CreateDownloadStage(*this);
    ::PostMessageA(Hwnd(), app.self_item != -1 ? kPageStartSelfDownload : kPageStartDownload, 0,
                   0);
  }

  void OnForward() override { PostWorkerDone(true); }

  void OnExit() override {
    if (stage_) {
      stage_->RequestCancel();
      return;
    }
    // The demonstration holds still while the question is open.
    demo_paused_ = true;
    ConfirmExit();
    demo_paused_ = false;
  }

  bool OnPageMessage(UINT msg, WPARAM wp, LPARAM) override {
    switch (msg) {
      case kPageStartDownload:
      case kPageStartSelfDownload:
        if (stage_) {
          stage_->Start(msg);
        } else {
          PostPageDone(true);
        }
        return true;
      case kPageStartPreview:
        StartDemo();
        return true;
      case kPageWorkerDone:
        OnWorkerDone(wp != 0);
        return true;
      case WM_TIMER:
        if (wp == kDemoTimer) DemoStep();
        return true;
      default:
        return false;
    }
  }

 private:
  void RememberRowLabel(int row, const std::string& text) {
    if (row < 0) return;
    std::lock_guard<CriticalLock> lock(row_labels_mutex_);
    if (static_cast<size_t>(row) >= row_labels_.size()) row_labels_.resize(row + 1);
    row_labels_[row] = text;
  }

  void OnWorkerDone(bool success) {
    if (IsPreview() || !stage_) {
      UpdaterApp& app = App();
      if (app.tray_on && app.tray && app.tray->Visible()) app.tray->StopAnimation();
      PostPageDone(!success);
      return;
    }
    stage_->Finish(success);
  }

  void StartDemo() {
    demo_row_ = AddRow("Example file");
    SetFileRange(kDemoSteps);
    SetOverallRange(kDemoSteps);
    demo_step_ = 0;
    ShowDemoStep();
    ::SetTimer(Hwnd(), kDemoTimer, 250, nullptr);
  }

  void ShowDemoStep() {
    SetFileProgress(demo_step_);
    SetOverallPosition(demo_step_);
    SetRowProgress(demo_row_, demo_step_ * 10);
  }

  void DemoStep() {
    if (demo_paused_) return;
    if (demo_step_ < kDemoSteps) {
      ++demo_step_;
      ShowDemoStep();
      return;
    }
    ::KillTimer(Hwnd(), kDemoTimer);
    demo_finished_ = true;
    // Nobody could press a button on a page that cannot be seen.
    if (IsPageVisible()) {
      SetButtonEnabled(IDC_FORWARD, true);
    } else {
      PostWorkerDone(true);
    }
  }

  ProgressListCtrl list_;
  CriticalLock row_labels_mutex_;
  std::vector<std::string> row_labels_;
  SkinLabel rate_;
  int demo_row_ = 0;
  int demo_step_ = 0;
  bool demo_paused_ = false;
  bool demo_finished_ = false;
  // Last: destroyed first, while the controls it may still address exist.
  std::unique_ptr<PageStage> stage_;
};

}  // namespace

std::unique_ptr<WizardPage> MakeDownloadPage() { return std::make_unique<DownloadPage>(); }

}  // namespace corvane
