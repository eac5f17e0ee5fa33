#include "win32/window.h"

#include <vector>

namespace corvane {

namespace {
const char kObjectProp[] = "CorvaneWindowObject";
}

Window::~Window() {
  if (hwnd_) {
    if (original_proc_) {
      Unsubclass();
    } else {
      HWND h = hwnd_;
      ::RemovePropA(h, kObjectProp);
      hwnd_ = nullptr;
      ::DestroyWindow(h);
    }
  }
}

Window* Window::FromHandle(HWND hwnd) {
  return hwnd ? static_cast<Window*>(::GetPropA(hwnd, kObjectProp)) : nullptr;
}

void Window::Attach(HWND hwnd) {
  hwnd_ = hwnd;
  ::SetPropA(hwnd, kObjectProp, this);
}

bool Window::Create(const char* class_name, const char* title, DWORD style, DWORD ex_style,
                    int x, int y, int w, int h, HWND parent, HMENU menu_or_id) {
  HINSTANCE instance = ::GetModuleHandleA(nullptr);
  WNDCLASSEXA wc{};
  if (!::GetClassInfoExA(instance, class_name, &wc)) {
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = StaticProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = class_name;
    if (!::RegisterClassExA(&wc)) return false;
  }
  HWND hwnd = ::CreateWindowExA(ex_style, class_name, title, style, x, y, w, h, parent,
                                menu_or_id, instance, this);
  return hwnd != nullptr;
}

bool Window::Subclass(HWND hwnd) {
  if (!hwnd || hwnd_) return false;
  Attach(hwnd);
  original_proc_ = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StaticProc)));
  return original_proc_ != nullptr;
}

void Window::Unsubclass() {
  if (!hwnd_ || !original_proc_) return;
  ::SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_proc_));
  ::RemovePropA(hwnd_, kObjectProp);
  original_proc_ = nullptr;
  hwnd_ = nullptr;
}

void Window::Destroy() {
  if (hwnd_) ::DestroyWindow(hwnd_);
}

std::string Window::Text() const {
  if (!hwnd_) return std::string();
  int len = ::GetWindowTextLengthA(hwnd_);
  std::vector<char> buf(static_cast<size_t>(len) + 2, '\0');
  ::GetWindowTextA(hwnd_, buf.data(), len + 1);
  return std::string(buf.data());
}

void Window::SetText(const std::string& text) {
  if (hwnd_) ::SetWindowTextA(hwnd_, text.c_str());
}

LRESULT Window::CallDefault(UINT msg, WPARAM wp, LPARAM lp) {
  if (original_proc_) return ::CallWindowProcA(original_proc_, hwnd_, msg, wp, lp);
  return ::DefWindowProcA(hwnd_, msg, wp, lp);
}

LRESULT Window::OnMessage(UINT msg, WPARAM wp, LPARAM lp) { return CallDefault(msg, wp, lp); }

bool Window::ReflectNotification(HWND parent, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  HWND control = nullptr;
  switch (msg) {
    case WM_COMMAND:
      control = reinterpret_cast<HWND>(lp);
      break;
    case WM_NOTIFY:
      control = reinterpret_cast<NMHDR*>(lp)->hwndFrom;
      break;
    case WM_DRAWITEM:
      control = reinterpret_cast<DRAWITEMSTRUCT*>(lp)->hwndItem;
      break;
    case WM_MEASUREITEM: {
      auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
      if (mis->CtlType != ODT_MENU) control = ::GetDlgItem(parent, static_cast<int>(mis->CtlID));
      break;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
      control = reinterpret_cast<HWND>(lp);
      break;
    default:
      return false;
  }
  Window* target = FromHandle(control);
  if (!target || control == parent) return false;
  *result = ::SendMessageA(control, kReflectBase + msg, wp, lp);
  return true;
}

LRESULT CALLBACK Window::StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Window* self = FromHandle(hwnd);
  if (!self && msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
    self = static_cast<Window*>(cs->lpCreateParams);
    if (self) self->Attach(hwnd);
  }
  if (!self) return ::DefWindowProcA(hwnd, msg, wp, lp);

  LRESULT result = self->OnMessage(msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    WNDPROC original = self->original_proc_;
    ::RemovePropA(hwnd, kObjectProp);
    self->hwnd_ = nullptr;
    self->original_proc_ = nullptr;
    if (original) ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    self->OnFinalDestroy();
  }
  return result;
}

void MoveWindowTo(HWND hwnd, int x, int y, int w, int h, bool repaint) {
  if (hwnd) ::MoveWindow(hwnd, x, y, w < 0 ? 0 : w, h < 0 ? 0 : h, repaint ? TRUE : FALSE);
}

}  // namespace corvane
