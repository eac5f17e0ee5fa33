#include "updater/ui/wizard_page_win.h"

#include "updater/engine/host_messages.h"
#include "updater/engine/updater_app.h"
#include "updater/ui/skin_bitmap_win.h"
#include "updater/ui/wizard_resource.h"

namespace corvane {

namespace {

COLORREF PlainColor(SkinColor color) { return static_cast<COLORREF>(color & 0x00FFFFFFu); }

// Counts the page's open message boxes for the frame (see WizardPage::Busy).
class BusyScope {
 public:
  explicit BusyScope(int& counter) : counter_(counter) { ++counter_; }
  ~BusyScope() { --counter_; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  int& counter_;
};

}  // namespace

WizardPage::WizardPage(int index, int template_id) : index_(index), template_id_(template_id) {}

WizardPage::~WizardPage() = default;

const WindowModel& WizardPage::Model() const { return App().ui.windows[index_]; }

bool WizardPage::IsPreview() const { return App().run_mode == RunPreview; }

bool WizardPage::Open(HWND frame) {
  if (!CreateModeless(frame, template_id_)) return false;
  ::SetWindowLongPtrA(Hwnd(), GWLP_ID, IDC_PAGE_BASE + index_);
  const SkinRect& rect = Model().attr.rect;
  ::SetWindowPos(Hwnd(), nullptr, 0, 0, rect.Width() > 0 ? rect.Width() : 0,
                 rect.Height() > 0 ? rect.Height() : 0, SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
}

BOOL WizardPage::OnInitDialog() {
  try {
    ApplyModel();
    OnOpen();
  } catch (...) {
    // A page that could not finish its set-up still shows what it has.
  }
  return TRUE;
}

void WizardPage::ApplyModel() {
  const WindowModel& model = Model();
  for (int i = 0; i < kTextCount; ++i) {
    HWND text = Item(IDC_TEXT0 + i);
    if (!text) continue;
    texts_[i].Attach(text);
    ::ShowWindow(text, model.texts[i].show ? SW_SHOW : SW_HIDE);
    texts_[i].MakeTransparent(true);
    // The templates' texts are left-aligned statics, which break their
    // lines; a body text designed as a paragraph must not be cut at the
    // label's right edge.
    texts_[i].SetWordWrap(true);
  }
  for (int i = 0; i < 2; ++i) {
    if (!model.images[i].entry.empty()) images_[i] = LoadSkinBitmap(Hwnd(), model.images[i].entry);
  }
  for (int i = 0; i < kTextCount; ++i) {
    if (texts_[i].Hwnd()) ApplyTextSkin(texts_[i], model.texts[i]);
  }
  const int button_ids[2] = {IDC_FORWARD, IDC_EXIT};
  for (int i = 0; i < 2; ++i) {
    HWND button = Item(button_ids[i]);
    if (!button) continue;
    const ButtonSkin& skin = model.buttons[i];
    ::SetWindowTextA(button, skin.caption.c_str());
    MoveWindowTo(button, skin.rect.left, skin.rect.top, skin.rect.Width(), skin.rect.Height());
  }
}

void WizardPage::Place(int control_id, const ControlPlacement& placement) {
  HWND control = Item(control_id);
  if (!control) return;
  const SkinRect& r = placement.rect;
  if (r.IsEmpty()) {
    MoveWindowTo(control, r.left, r.top, 0, 0);
  } else {
    MoveWindowTo(control, r.left, r.top, r.Width(), r.Height());
  }
  ::ShowWindow(control, placement.show ? SW_SHOW : SW_HIDE);
}

void WizardPage::AttachDetailsBox() {
  if (HWND box = Item(IDC_DETAILS)) {
    details_.Attach(box);
    details_.SetBackgroundColor(kDetailsBackground);
  }
}

void WizardPage::AttachStatusLabel(int control_id, SkinLabel& label) {
  if (HWND control = Item(control_id)) {
    label.Attach(control);
    label.MakeTransparent(true);
  }
}

void WizardPage::PaintBackground(HDC dc) {
  RECT client;
  ::GetClientRect(Hwnd(), &client);
  const WindowModel& model = Model();
  ScopedBrush background(::CreateSolidBrush(PlainColor(model.attr.background)));
  ::FillRect(dc, &client, background.Get());
  for (int i = 0; i < 2; ++i) {
    const ImageSkin& image = model.images[i];
    if (!images_[i] || !image.show || image.rect.IsEmpty()) continue;
    BITMAP info{};
    if (!::GetObjectA(images_[i].Get(), sizeof(info), &info)) continue;
    ScopedMemoryDc source(::CreateCompatibleDC(dc));
    if (!source) continue;
    ScopedSelectObject keep(source.Get(), images_[i].Get());
    ScopedSaveDc saved(dc);
    ::SetStretchBltMode(dc, COLORONCOLOR);
    ::StretchBlt(dc, image.rect.left, image.rect.top, image.rect.Width(), image.rect.Height(),
                 source.Get(), 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
  }
}

void WizardPage::ReleaseImages() {
  if (Hwnd()) ::SendMessageA(Hwnd(), kReleaseImagesMessage, 0, 0);
}

int WizardPage::MessageBoxOnPage(const std::string& text, const std::string& caption, UINT type) {
  BusyScope busy(busy_);
  return ::MessageBoxA(Hwnd(), text.c_str(), caption.c_str(), type);
}

bool WizardPage::AskCancelQuestion() {
  return MessageBoxOnPage("Do you want to cancel this upgrade?", "Information",
                          MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool WizardPage::ConfirmExit() {
  if (page_done_posted_) return false;
  if (!AskCancelQuestion()) return false;
  if (page_done_posted_) return false;  // the page ended while the box was open
  if (!IsPreview()) {
    App().SendResult(kResultNotCompleted);
    App().WriteLog("Upgrade failure or forced out of the upgrade process.");
  }
  PostPageDone(true);
  return true;
}

void WizardPage::PostPageDone(bool leave) {
  if (page_done_posted_.exchange(true)) return;
  ::PostMessageA(Frame(), kPageDone, leave ? 1 : 0, 0);
}

void WizardPage::RepaintPage() {
  if (Hwnd()) ::SendMessageA(Hwnd(), kRepaintMessage, 0, 0);
}

void WizardPage::ShowStatusLine(const std::string& text) {
  App().WriteLog(text);
  HWND page = Hwnd();
  if (!page) return;
  // A line per file of a large directory item: waiting for the page each
  // time would cost more than the copy of the file.
  bool first = false;
  {
    std::lock_guard<CriticalLock> lock(status_lock_);
    first = pending_status_.empty();
    pending_status_.push_back(text);
  }
  if (::GetWindowThreadProcessId(page, nullptr) == ::GetCurrentThreadId()) {
    ShowPendingStatusLines();
  } else if (first) {
    ::PostMessageA(page, kStatusLinesMessage, 0, 0);
  }
}

void WizardPage::ShowPendingStatusLines() {
  std::vector<std::string> lines;
  {
    std::lock_guard<CriticalLock> lock(status_lock_);
    lines.swap(pending_status_);
  }
  if (lines.empty()) return;
  if (status_.Hwnd()) status_.SetLabelText(lines.back());
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\r\n") + line;
  details_.AppendLine(text);
}

void WizardPage::RunOnPageThread(const std::function<void()>& work) {
  HWND page = Hwnd();
  if (!page) return;
  if (::GetWindowThreadProcessId(page, nullptr) == ::GetCurrentThreadId()) {
    work();
    return;
  }
  ::SendMessageA(page, kRunOnPageThreadMessage, 0, reinterpret_cast<LPARAM>(&work));
}

void WizardPage::SetButtonEnabled(int control_id, bool enabled) {
  if (HWND button = Item(control_id)) ::EnableWindow(button, enabled ? TRUE : FALSE);
}

void WizardPage::SetButtonCaption(int control_id, const std::string& text) {
  if (HWND button = Item(control_id)) ::SetWindowTextA(button, text.c_str());
}

bool WizardPage::OnCommand(int id, int code, HWND control) {
  try {
    if (code != BN_CLICKED) return false;
    switch (id) {
      case IDC_FORWARD:
        OnForward();
        return true;
      case IDC_EXIT:
        OnExit();
        return true;
      case IDOK:
      case IDCANCEL:
        return true;  // a page never ends on Enter or Escape
      default:
        return false;
    }
  } catch (...) {
    return true;
  }
}

INT_PTR WizardPage::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  try {
    switch (msg) {
      case WM_ERASEBKGND:
        PaintBackground(reinterpret_cast<HDC>(wp));
        SetResult(TRUE);
        return TRUE;
      case WM_CLOSE:
        OnCloseRequest();
        return TRUE;
      case kRepaintMessage:
        ::RedrawWindow(Hwnd(), nullptr, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        return TRUE;
      case kStatusLinesMessage:
        ShowPendingStatusLines();
        return TRUE;
      case kRunOnPageThreadMessage:
        // Whatever the worker showed before comes first.
        ShowPendingStatusLines();
        (*reinterpret_cast<const std::function<void()>*>(lp))();
        SetResult(TRUE);
        return TRUE;
      case kReleaseImagesMessage:
        images_[0].Reset();
        images_[1].Reset();
        ::InvalidateRect(Hwnd(), nullptr, TRUE);
        return TRUE;
      default:
        return OnPageMessage(msg, wp, lp) ? TRUE : FALSE;
    }
  } catch (...) {
    return FALSE;
  }
}

bool WaitForThreadServingMessages(HANDLE thread, DWORD timeout_ms) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    const DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= timeout_ms) return false;
    const DWORD result =
        ::MsgWaitForMultipleObjects(1, &thread, FALSE, timeout_ms - elapsed, QS_SENDMESSAGE);
    if (result == WAIT_OBJECT_0) return true;
    if (result != WAIT_OBJECT_0 + 1) return false;
    MSG message;
    // Peeking carries out the messages other threads sent to this one.
    ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

}  // namespace corvane
