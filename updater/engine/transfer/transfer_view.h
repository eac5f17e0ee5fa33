// What the transfer engine shows while it moves a file. The download page of
// the wizard implements it (file progress bar, the row of the download list,
// the rate line and the status line); Windows-side tests implement a recorder.
// Calls come from the worker thread; an implementation on the wizard sends
// synchronous messages to its controls.
#pragma once

#include <string>

namespace corvane {

class TransferView {
 public:
  virtual ~TransferView() = default;
  virtual void SetFileProgress(int percent) = 0;
  // Column 0 of a row of the download list ("File/Folder").
  virtual std::string RowLabel(int row) = 0;
  virtual void SetRowLabel(int row, const std::string& text) = 0;
  // Column 1 ("Progress"), a progress cell in percent.
  virtual void SetRowProgress(int row, int percent) = 0;
  // Column 2 ("Rate").
  virtual void SetRowRate(int row, const std::string& rate) = 0;
  // The page's rate line (status1 of window 1), repainted at once.
  virtual void SetRateLine(const std::string& text) = 0;
  // The page's status line (status0).
  virtual void ShowStatus(const std::string& text) = 0;
};

}  // namespace corvane
