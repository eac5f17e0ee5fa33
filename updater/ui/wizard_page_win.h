// WizardPage: what the four pages of the wizard share. A page is a child
// dialog of the main window; when it opens it applies its window of the UI
// model (texts, images, buttons, control placements), paints its background
// (colour, then image 0, then image 1), and asks before the user leaves.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "updater/ui/details_box_win.h"
#include "updater/ui/progress_list_win.h"
#include "updater/ui/skin_label.h"
#include "updater/ui/ui_model.h"
#include "win32/critical_lock.h"
#include "win32/dialog.h"
#include "win32/scoped_handles.h"

namespace corvane {

// Sent to the main window to show it again after it was hidden to the tray
// (the after-download page does so when it appears).
constexpr UINT kFrameShowFromTray = WM_APP + 0x2301;

class WizardPage : public Dialog {
 public:
  static constexpr int kTextCount = 4;
  static constexpr COLORREF kDetailsBackground = 16448250;  // red, green and blue 250

  // `index` is the window of the UI model (0..3), `template_id` the dialog.
  WizardPage(int index, int template_id);
  ~WizardPage() override;

  // Creates the page as a child of `frame` at the client origin with the
  // window's designed size (hidden; the frame shows it).
  bool Open(HWND frame);

  int Index() const { return index_; }
  // True while a message box of the page is open: the frame then waits
  // before it destroys the page.
  bool Busy() const { return busy_ > 0; }

  // Paints the page background into `dc` (page client coordinates): the
  // window's background colour, then each loaded image whose show flag is
  // set, stretched opaquely over its rectangle.
  void PaintBackground(HDC dc);
  // Frees the two images (on the page's thread, whoever calls).
  void ReleaseImages();

 protected:
  BOOL OnInitDialog() final;
  bool OnCommand(int id, int code, HWND control) final;
  INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp) final;

  // Page hooks, all on the page's thread; exceptions are caught around them.
  virtual void OnOpen() {}
  virtual void OnForward() {}
  virtual void OnExit() { ConfirmExit(); }
  virtual void OnCloseRequest() { OnExit(); }
  virtual bool OnPageMessage(UINT msg, WPARAM wp, LPARAM lp) { return false; }

  const WindowModel& Model() const;
  HWND Frame() const { return ::GetParent(Hwnd()); }
  bool IsPreview() const;

  // Moves a control to a placement and shows or hides it; an empty
  // rectangle leaves it with zero size.
  void Place(int control_id, const ControlPlacement& placement);
  void AttachDetailsBox();
  void AttachStatusLabel(int control_id, SkinLabel& label);

  // The cancel question. On Yes: outside a preview the host gets -1 and the
  // log the two lines; then the page tells the frame to leave. Returns true
  // on Yes.
  bool ConfirmExit();
  bool AskCancelQuestion();
  // Posts WM_USER+125 to the main window, once per page (any thread).
  void PostPageDone(bool leave);
  bool PageDonePosted() const { return page_done_posted_; }
  // Repaints the page and all its controls on the page's thread.
  void RepaintPage();

  // Message boxes owned by the page; the frame keeps the page alive meanwhile.
  int MessageBoxOnPage(const std::string& text, const std::string& caption, UINT type);

  // ShowStatus of the download and update pages: log line, status line,
  // details box. Safe from a worker thread, which does not wait for the
  // page: the log line is written at once, the page shows the line as soon
  // as its thread is free (before any later work the worker hands it).
  void ShowStatusLine(const std::string& text);

  void SetButtonEnabled(int control_id, bool enabled);
  void SetButtonCaption(int control_id, const std::string& text);

  // Carries out `work` on the page's own thread and returns when it is done:
  // directly there, from a worker as one sent message. A worker's update of
  // several controls costs one round trip between the threads this way, not
  // one per control message.
  void RunOnPageThread(const std::function<void()>& work);

  SkinLabel texts_[kTextCount];
  SkinLabel status_;
  DetailsBox details_;

 private:
  static constexpr UINT kReleaseImagesMessage = WM_APP + 0x2201;
  static constexpr UINT kRepaintMessage = WM_APP + 0x2202;
  static constexpr UINT kRunOnPageThreadMessage = WM_APP + 0x2203;  // lParam: the work
  static constexpr UINT kStatusLinesMessage = WM_APP + 0x2204;

  // The status lines a worker gave since the page last showed them.
  void ShowPendingStatusLines();
  CriticalLock status_lock_;
  std::vector<std::string> pending_status_;

  void ApplyModel();

  const int index_;
  const int template_id_;
  ScopedBitmap images_[2];
  int busy_ = 0;
  std::atomic<bool> page_done_posted_{false};
};

// The four pages, one file each.
std::unique_ptr<WizardPage> MakeBeforeDownloadPage();  // window 0
std::unique_ptr<WizardPage> MakeDownloadPage();        // window 1
std::unique_ptr<WizardPage> MakeAfterDownloadPage();   // window 2
std::unique_ptr<WizardPage> MakeUpdatePage();          // window 3

// Waits for a worker thread to end while carrying out the messages it sends
// to this thread's windows, so that a worker that is updating a control
// cannot deadlock the wait. Returns false after `timeout_ms`.
bool WaitForThreadServingMessages(HANDLE thread, DWORD timeout_ms);

}  // namespace corvane
