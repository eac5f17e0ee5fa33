// The project's thin window layer. A C++ object is bound to its HWND when the
// window is created (WM_NCCREATE) or when an existing control is subclassed,
// and every message goes through one virtual OnMessage that falls back to the
// default procedure. Notifications (WM_COMMAND, WM_NOTIFY, WM_DRAWITEM, ...)
// that a parent receives about a subclassed control are reflected to it with
// Window::kReflectBase added to the message number.
#pragma once

#include <windows.h>

#include <string>

namespace corvane {

class Window {
 public:
  // Reflected notifications arrive as kReflectBase + the original message.
  static constexpr UINT kReflectBase = WM_APP + 0x3000;

  Window() = default;
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND Hwnd() const { return hwnd_; }

  // Registers `class_name` once (with this layer's window procedure) and
  // creates the window bound to this object.
  bool Create(const char* class_name, const char* title, DWORD style, DWORD ex_style,
              int x, int y, int w, int h, HWND parent, HMENU menu_or_id);

  // Binds this object to an existing window (a control of a dialog template)
  // by replacing its window procedure. The original is called by default.
  bool Subclass(HWND hwnd);
  void Unsubclass();

  void Destroy();

  // Window text helpers.
  std::string Text() const;
  void SetText(const std::string& text);

  // Reflects a parent's notification message to the control it concerns, if
  // that control is bound to a Window object. Returns true when handled and
  // puts the answer into `result`.
  static bool ReflectNotification(HWND parent, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

  static Window* FromHandle(HWND hwnd);

 protected:
  virtual LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
  // Called after the HWND is gone; the object may then be reused or deleted.
  virtual void OnFinalDestroy() {}
  LRESULT CallDefault(UINT msg, WPARAM wp, LPARAM lp);

 private:
  static LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void Attach(HWND hwnd);

  HWND hwnd_ = nullptr;
  WNDPROC original_proc_ = nullptr;  // set for subclassed controls
};

// Moves a window within its parent by left, top, width and height.
void MoveWindowTo(HWND hwnd, int x, int y, int w, int h, bool repaint = true);

}  // namespace corvane
