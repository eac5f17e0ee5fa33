// ProgressListCtrl: a report-view list control whose cells can show a
// progress bar (the "Progress" column of the download page). It subclasses
// the list of a dialog template and draws its progress cells itself through
// the list's custom-draw notification.
//
// Every public call goes to the control as a window message, so a worker
// thread may call them: the cell table is only touched on the window's own
// thread.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <string>

#include "win32/scoped_handles.h"
#include "win32/window.h"

namespace corvane {

// An image list owned by its creator (the list is given
// LVS_SHAREIMAGELISTS, so it does not destroy it).
struct ImageListTraits {
  using Handle = HIMAGELIST;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::ImageList_Destroy(h); }
};

class ProgressListCtrl : public Window {
 public:
  // Messages the control sends to its parent when an edit, combo or check
  // cell changes (registered window messages, so any parent can listen).
  static UINT ComboSelectionMessage();  // "WM_XLISTCTRL_COMBO_SELECTION"
  static UINT EditEndMessage();         // "WM_XLISTCTRL_EDIT_END"
  static UINT CheckboxClickedMessage(); // "WM_XLISTCTRL_CHECKBOX_CLICKED"

  // Colours of the progress cells, fixed when the control is made.
  static constexpr COLORREF kCellBackground = RGB(224, 224, 224);  // 14737632

  ProgressListCtrl();

  bool Attach(HWND list);

  // Grid lines, full-row selection and rows of `row_height` pixels (through
  // an image list of 1 by `row_height` pixels).
  void SetReportLook(int row_height);
  // Appends a centred column of `width` pixels.
  void AddColumn(const std::string& title, int width);

  // Appends a row with `text` in column 0; returns its index or -1.
  int AddRow(const std::string& text);
  void SetCellText(int row, int column, const std::string& text);
  std::string CellText(int row, int column) const;
  int RowCount() const;

  // Makes the cell at (row, column) a progress cell at `percent` (clamped to
  // 0..100) and repaints it. `show_text` draws "50%" (or `format` with the
  // percent) over the bar.
  void SetProgress(int row, int column, int percent, bool show_text = true,
                   const std::string& format = std::string());
  // The percent of the row's progress cell, or -1 when it has none.
  int Progress(int row) const;

  COLORREF BorderColor() const { return border_color_; }
  COLORREF BarColor() const { return bar_color_; }
  COLORREF BarTextColor() const { return bar_text_color_; }

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  struct ProgressCell {
    int column = 1;
    int percent = 0;
    bool show_text = true;
    std::string format;
  };
  struct CellUpdate {  // carried by kSetProgress
    int row;
    ProgressCell cell;
  };

  // Private messages (on the control's own thread).
  static constexpr UINT kSetProgress = WM_APP + 0x2101;  // lParam: CellUpdate*
  static constexpr UINT kGetProgress = WM_APP + 0x2102;  // wParam: row

  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw);
  void DrawProgressCell(HDC dc, int row, const ProgressCell& cell, COLORREF text_color);
  void RowsRemoved(int first, bool all);

  std::map<int, ProgressCell> cells_;  // by row
  COLORREF border_color_;
  COLORREF bar_color_;
  COLORREF bar_text_color_;
  ScopedOwner<ImageListTraits> row_images_;
};

}  // namespace corvane
