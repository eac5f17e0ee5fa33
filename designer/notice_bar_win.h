// The bar that tells the publisher a newer designer exists, shown when the
// designer's own update check reports one.
#pragma once

#include <string>

#include "win32/dialog.h"
#include "win32/scoped_handles.h"

namespace corvane {

class NoticeBar : public Dialog {
 public:
  // `updater_folder`: "updateApp\" under the designer's folder.
  explicit NoticeBar(std::string updater_folder) : updater_folder_(std::move(updater_folder)) {}

  bool Create(HWND main_window);
  void Show(bool visible);

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  std::string updater_folder_;
  ScopedFont bold_;
};

// Starts "update.exe" in `updater_folder` through the shell, not waiting.
bool StartUpdater(HWND owner, const std::string& updater_folder, const std::string& parameters);

}  // namespace corvane
