#include "win32/dialog.h"

#include <commctrl.h>

#include <vector>

#include "win32/window.h"

namespace corvane {

namespace {
const char kDialogProp[] = "CorvaneDialogObject";
}

Dialog::~Dialog() {
  if (hwnd_ && !modal_) {
    HWND h = hwnd_;
    ::RemovePropA(h, kDialogProp);
    hwnd_ = nullptr;
    ::DestroyWindow(h);
  }
}

Dialog* Dialog::FromHandle(HWND hwnd) {
  return hwnd ? static_cast<Dialog*>(::GetPropA(hwnd, kDialogProp)) : nullptr;
}

namespace {

// A template may hold common controls; their classes are registered before
// each dialog (cheap once done), not at every program's start.
void RegisterCommonControls() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES;
  ::InitCommonControlsEx(&controls);
}

}  // namespace

INT_PTR Dialog::RunModal(HWND parent, int template_id) {
  RegisterCommonControls();
  modal_ = true;
  return ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(template_id), parent,
                           StaticProc, reinterpret_cast<LPARAM>(this));
}

bool Dialog::CreateModeless(HWND parent, int template_id) {
  RegisterCommonControls();
  modal_ = false;
  HWND h = ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(template_id), parent,
                                StaticProc, reinterpret_cast<LPARAM>(this));
  return h != nullptr;
}

std::string Dialog::ItemText(int id) const {
  HWND item = Item(id);
  if (!item) return std::string();
  int len = ::GetWindowTextLengthA(item);
  std::vector<char> buf(static_cast<size_t>(len) + 2, '\0');
  ::GetWindowTextA(item, buf.data(), len + 1);
  return std::string(buf.data());
}

void Dialog::SetItemText(int id, const std::string& text) {
  ::SetDlgItemTextA(hwnd_, id, text.c_str());
}

void Dialog::End(INT_PTR result) {
  if (hwnd_ && modal_) ::EndDialog(hwnd_, result);
}

void Dialog::Destroy() {
  if (hwnd_ && !modal_) ::DestroyWindow(hwnd_);
}

bool Dialog::OnCommand(int id, int code, HWND control) {
  if (modal_ && (id == IDOK || id == IDCANCEL)) {
    End(id);
    return true;
  }
  return false;
}

INT_PTR Dialog::OnMessage(UINT msg, WPARAM wp, LPARAM lp) { return FALSE; }

void Dialog::SetResult(LRESULT value) { ::SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, value); }

INT_PTR CALLBACK Dialog::StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Dialog* self = FromHandle(hwnd);
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<Dialog*>(lp);
    if (!self) return FALSE;
    self->hwnd_ = hwnd;
    ::SetPropA(hwnd, kDialogProp, self);
    return self->OnInitDialog();
  }
  if (!self) return FALSE;

  LRESULT reflected = 0;
  if (Window::ReflectNotification(hwnd, msg, wp, lp, &reflected)) {
    // Colour messages answer with a brush handle; the others with a result.
    if (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) {
      if (reflected) return static_cast<INT_PTR>(reflected);
    } else {
      ::SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, reflected);
      if (msg != WM_COMMAND) return TRUE;
    }
  }

  INT_PTR result = FALSE;
  if (msg == WM_COMMAND) {
    result = self->OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp)) ? TRUE : FALSE;
  } else {
    result = self->OnMessage(msg, wp, lp);
  }
  if (msg == WM_NCDESTROY) {
    ::RemovePropA(hwnd, kDialogProp);
    self->hwnd_ = nullptr;
    self->OnFinalDestroy();
  }
  return result;
}

}  // namespace corvane
