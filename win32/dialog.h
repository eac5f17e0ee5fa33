// Dialogs over resource templates. The object is bound to its HWND at
// WM_INITDIALOG; messages go to OnMessage with the usual dialog-procedure
// contract (return TRUE when handled, SetResult for a message's own answer).
// Notifications about subclassed controls are reflected to them first.
#pragma once

#include <windows.h>

#include <string>

namespace corvane {

class Dialog {
 public:
  Dialog() = default;
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Runs the dialog modally; returns the value given to End (or -1 when the
  // template could not be loaded).
  INT_PTR RunModal(HWND parent, int template_id);
  // Creates the dialog as a modeless (usually child) window.
  bool CreateModeless(HWND parent, int template_id);

  HWND Hwnd() const { return hwnd_; }
  HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }
  std::string ItemText(int id) const;
  void SetItemText(int id, const std::string& text);

  void End(INT_PTR result);  // modal dialogs only
  void Destroy();            // modeless dialogs only

  static Dialog* FromHandle(HWND hwnd);

 protected:
  virtual BOOL OnInitDialog() { return TRUE; }
  // Return true when the command was handled. The default ends a modal
  // dialog on IDOK and IDCANCEL.
  virtual bool OnCommand(int id, int code, HWND control);
  virtual INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp);
  virtual void OnFinalDestroy() {}
  // Sets the answer of the message being handled (DWLP_MSGRESULT).
  void SetResult(LRESULT value);

  bool IsModal() const { return modal_; }

 private:
  static INT_PTR CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  HWND hwnd_ = nullptr;
  bool modal_ = false;
};

}  // namespace corvane
