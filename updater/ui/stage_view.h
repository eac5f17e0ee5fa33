// What the download and update stages see of their wizard page, and what a
// page expects of the stage it runs. The pages (page_download_win.cpp,
// page_update_win.cpp) implement the views; the stages implement PageStage
// and are made by the two factory functions at the end.
//
// Threads: the view calls may come from the stage's worker thread; each is
// carried out on the page's thread through window messages sent to the
// controls (the worker blocks until the control has changed). The PageStage
// calls come only from the page's (user interface) thread.
//
// Portable: no Windows types, so a stage's logic can be driven by a recorder
// in a native test.
#pragma once

#include <memory>
#include <string>

#include "updater/engine/transfer/transfer_view.h"

namespace corvane {

// The two buttons of a page: "&Next"/"&Continue" (control 1018) and
// "E&xit" (control 1020; the update page's finish button).
enum class StageButton { kForward, kExit };

class StageView {
 public:
  virtual ~StageView() = default;

  // Writes `text` as a log line, shows it in the page's status line and
  // appends it to the details box (scrolled so the last line shows).
  virtual void ShowStatus(const std::string& text) = 0;

  // The page's overall progress bar: the whole download (page 1) or the
  // update (page 3).
  virtual void SetOverallRange(int maximum) = 0;
  virtual void SetOverallPosition(int position) = 0;

  virtual void EnableButton(StageButton button, bool enabled) = 0;
  virtual void SetButtonText(StageButton button, const std::string& text) = 0;

  // Posts WM_USER+124 to the page (wParam 1 success, 0 failure); the page
  // answers with PageStage::Finish on its own thread.
  virtual void PostWorkerDone(bool success) = 0;
  // Posts WM_USER+125 to the wizard's main window: wParam 0 shows the next
  // page, `leave` ends the wizard.
  virtual void PostPageDone(bool leave) = 0;

  // True while the page can be seen (the main window is shown, not hidden by
  // the display style, its show flag or the tray).
  virtual bool IsPageVisible() const = 0;

  // The message boxes of the update log's rules (display style honoured),
  // owned by the page.
  virtual void InfoBox(const std::string& text) = 0;
  virtual bool RetryBox(const std::string& text) = 0;
  // The cancel question "Do you want to cancel this upgrade?" (Yes/No,
  // caption "Information"); true for Yes.
  virtual bool AskCancel() = 0;

  // Frees the page's two background pictures (the download stage does so
  // when it finishes).
  virtual void ReleaseBackgroundImages() = 0;
};

// The download page adds its file bar and list (TransferView: file bar, row
// label, progress cell and rate, rate line; ShowStatus is shared).
class DownloadPageView : public StageView, public TransferView {
 public:
  void ShowStatus(const std::string& text) override = 0;

  // The file bar's range (0..maximum); TransferView::SetFileProgress sets
  // its position.
  virtual void SetFileRange(int maximum) = 0;
  // Appends a row with `label` in "File/Folder" and a progress cell at 0 in
  // "Progress"; returns its index.
  virtual int AddRow(const std::string& label) = 0;
  // Marks the row of a finished item (its progress cell full).
  virtual void MarkRowFinished(int row) = 0;
  // How many rows the list shows before it must scroll: its height / 20 - 3.
  virtual int VisibleRows() const = 0;
  // Scrolls the list down by `pixels` and repaints the page.
  virtual void ScrollList(int pixels) = 0;
};

// A stage as its page runs it. All calls on the page's thread.
class PageStage {
 public:
  virtual ~PageStage() = default;
  // The page posted itself `message`: WM_USER+120 (start the download),
  // +121 (start the self-update download) or +123 (start the update).
  virtual void Start(unsigned message) = 0;
  // WM_USER+124 arrived. The stage ends with StageView::PostPageDone.
  virtual void Finish(bool success) = 0;
  // The user asked to leave (exit button, closing the window, the tray's
  // "E&xit"). The stage asks and, on Yes, ends itself.
  virtual void RequestCancel() = 0;
  // Set when the stage got through all its steps (the update page's finish
  // button posts WM_USER+124 with it).
  virtual bool Finished() const = 0;
};

// Made by the stages; each page calls its factory once when it opens (never
// in a preview run). A null result makes the page leave the wizard at once.
std::unique_ptr<PageStage> CreateDownloadStage(DownloadPageView& view);
std::unique_ptr<PageStage> CreateUpdateStage(StageView& view);

}  // namespace corvane
