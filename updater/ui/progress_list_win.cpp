#include "updater/ui/progress_list_win.h"

#include <vector>

#include "shared/text_util.h"
#include "win32/scoped_handles.h"

namespace corvane {

namespace {

// "%d" in a cell's format text becomes the percent and "%%" a percent sign;
// the format is never handed to printf, so no text can read stray arguments.
std::string ProgressText(const std::string& format, int percent) {
  if (format.empty()) return std::to_string(percent) + "%";
  std::string out;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      if (format[i + 1] == 'd') {
        out += std::to_string(percent);
        ++i;
        continue;
      }
      if (format[i + 1] == '%') {
        out += '%';
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

}  // namespace

UINT ProgressListCtrl::ComboSelectionMessage() {
  return ::RegisterWindowMessageA("WM_XLISTCTRL_COMBO_SELECTION");
}
UINT ProgressListCtrl::EditEndMessage() { return ::RegisterWindowMessageA("WM_XLISTCTRL_EDIT_END"); }
UINT ProgressListCtrl::CheckboxClickedMessage() {
  return ::RegisterWindowMessageA("WM_XLISTCTRL_CHECKBOX_CLICKED");
}

ProgressListCtrl::ProgressListCtrl()
    : border_color_(::GetSysColor(COLOR_BTNSHADOW)),
      bar_color_(::GetSysColor(COLOR_HIGHLIGHT)),
      bar_text_color_(::GetSysColor(COLOR_HIGHLIGHTTEXT)) {
  ComboSelectionMessage();
  EditEndMessage();
  CheckboxClickedMessage();
}

bool ProgressListCtrl::Attach(HWND list) {
  if (!Subclass(list)) return false;
  ::SetWindowLongA(list, GWL_STYLE, ::GetWindowLongA(list, GWL_STYLE) | LVS_SHAREIMAGELISTS);
  return true;
}

void ProgressListCtrl::SetReportLook(int row_height) {
  if (!Hwnd()) return;
  ListView_SetExtendedListViewStyle(Hwnd(), LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  row_images_.Reset(::ImageList_Create(1, row_height, ILC_COLOR, 1, 1));
  if (row_images_) ListView_SetImageList(Hwnd(), row_images_.Get(), LVSIL_SMALL);
}

void ProgressListCtrl::AddColumn(const std::string& title, int width) {
  if (!Hwnd()) return;
  HWND header = ListView_GetHeader(Hwnd());
  const int index = header ? Header_GetItemCount(header) : 0;
  std::vector<char> text(title.begin(), title.end());
  text.push_back('\0');
  LVCOLUMNA column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  column.fmt = LVCFMT_CENTER;
  column.cx = width;
  column.pszText = text.data();
  column.iSubItem = index;
  ::SendMessageA(Hwnd(), LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
}

int ProgressListCtrl::AddRow(const std::string& text) {
  if (!Hwnd()) return -1;
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  LVITEMA item{};
  item.mask = LVIF_TEXT;
  item.iItem = RowCount();
  item.pszText = buffer.data();
  return static_cast<int>(
      ::SendMessageA(Hwnd(), LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

void ProgressListCtrl::SetCellText(int row, int column, const std::string& text) {
  if (!Hwnd()) return;
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = buffer.data();
  ::SendMessageA(Hwnd(), LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

std::string ProgressListCtrl::CellText(int row, int column) const {
  if (!Hwnd()) return std::string();
  std::vector<char> buffer(1024, '\0');
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = buffer.data();
  item.cchTextMax = static_cast<int>(buffer.size());
  ::SendMessageA(Hwnd(), LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
  return std::string(buffer.data());
}

int ProgressListCtrl::RowCount() const {
  return Hwnd() ? static_cast<int>(::SendMessageA(Hwnd(), LVM_GETITEMCOUNT, 0, 0)) : 0;
}

void ProgressListCtrl::SetProgress(int row, int column, int percent, bool show_text,
                                   const std::string& format) {
  if (!Hwnd()) return;
  CellUpdate update{row, ProgressCell{column, percent < 0 ? 0 : (percent > 100 ? 100 : percent),
                                      show_text, format}};
  ::SendMessageA(Hwnd(), kSetProgress, 0, reinterpret_cast<LPARAM>(&update));
}

int ProgressListCtrl::Progress(int row) const {
  if (!Hwnd()) return -1;
  return static_cast<int>(::SendMessageA(Hwnd(), kGetProgress, row, 0));
}

void ProgressListCtrl::RowsRemoved(int first, bool all) {
  if (all) {
    cells_.clear();
    return;
  }
  std::map<int, ProgressCell> kept;
  for (auto& [row, cell] : cells_) {
    if (row < first) kept.emplace(row, cell);
    if (row > first) kept.emplace(row - 1, cell);
  }
  cells_.swap(kept);
}

void ProgressListCtrl::DrawProgressCell(HDC dc, int row, const ProgressCell& cell,
                                        COLORREF text_color) {
  RECT rc{};
  if (!ListView_GetSubItemRect(Hwnd(), row, cell.column, LVIR_BOUNDS, &rc)) return;
  if (::IsRectEmpty(&rc)) return;
  rc.top += 5;
  rc.left += 1;
  rc.bottom -= 1;
  if (rc.bottom <= rc.top || rc.right <= rc.left) return;

  ScopedBrush background(::CreateSolidBrush(kCellBackground));
  ::FillRect(dc, &rc, background.Get());
  ScopedBrush border(::CreateSolidBrush(border_color_));
  ::FrameRect(dc, &rc, border.Get());
  if (cell.percent <= 0) return;

  const int width = rc.right - rc.left;
  RECT bar{rc.left + 1, rc.top + 1, rc.left + (width - 1) * cell.percent / 100, rc.bottom - 1};
  ScopedBrush bar_brush(::CreateSolidBrush(bar_color_));
  ::FillRect(dc, &bar, bar_brush.Get());
  if (!cell.show_text) return;

  const std::string text = ProgressText(cell.format, cell.percent);
  RECT text_rect = rc;
  ::InflateRect(&text_rect, -1, -1);
  const UINT flags = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
  const int old_mode = ::SetBkMode(dc, TRANSPARENT);
  {
    ScopedSaveDc saved(dc);
    ::IntersectClipRect(dc, bar.left, bar.top, bar.right, bar.bottom);
    ::SetTextColor(dc, bar_text_color_);
    ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &text_rect, flags);
  }
  {
    ScopedSaveDc saved(dc);
    ::IntersectClipRect(dc, bar.right, rc.top, rc.right, rc.bottom);
    ::SetTextColor(dc, text_color);
    ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &text_rect, flags);
  }
  ::SetBkMode(dc, old_mode);
}

LRESULT ProgressListCtrl::OnCustomDraw(NMLVCUSTOMDRAW* draw) {
  switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
      return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
      const int row = static_cast<int>(draw->nmcd.dwItemSpec);
      auto found = cells_.find(row);
      if (found == cells_.end() || found->second.column != draw->iSubItem) return CDRF_DODEFAULT;
      COLORREF text_color = draw->clrText;
      if (text_color == CLR_DEFAULT || text_color == CLR_NONE) {
        text_color = ::GetSysColor(COLOR_WINDOWTEXT);
      }
      DrawProgressCell(draw->nmcd.hdc, row, found->second, text_color);
      return CDRF_SKIPDEFAULT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

LRESULT ProgressListCtrl::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  try {
    return HandleMessage(msg, wp, lp);
  } catch (...) {
    return CallDefault(msg, wp, lp);
  }
}

LRESULT ProgressListCtrl::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kSetProgress: {
      const auto* update = reinterpret_cast<const CellUpdate*>(lp);
      cells_[update->row] = update->cell;
      RECT rc{};
      if (ListView_GetSubItemRect(Hwnd(), update->row, update->cell.column, LVIR_BOUNDS, &rc)) {
        ::InvalidateRect(Hwnd(), &rc, FALSE);
        ::UpdateWindow(Hwnd());
      }
      return 0;
    }
    case kGetProgress: {
      auto found = cells_.find(static_cast<int>(wp));
      return found == cells_.end() ? -1 : found->second.percent;
    }
    case kReflectBase + WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lp);
      if (header->code == static_cast<UINT>(NM_CUSTOMDRAW)) {
        return OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lp));
      }
      return 0;
    }
    case LVM_INSERTITEMA:
    case LVM_INSERTITEMW: {
      LRESULT index = CallDefault(msg, wp, lp);
      if (index >= 0 && !cells_.empty()) {
        std::map<int, ProgressCell> moved;
        for (auto& [row, cell] : cells_) moved.emplace(row >= index ? row + 1 : row, cell);
        cells_.swap(moved);
      }
      return index;
    }
    case LVM_DELETEITEM: {
      LRESULT result = CallDefault(msg, wp, lp);
      if (result) RowsRemoved(static_cast<int>(wp), false);
      return result;
    }
    case LVM_DELETEALLITEMS: {
      LRESULT result = CallDefault(msg, wp, lp);
      if (result) RowsRemoved(0, true);
      return result;
    }
    default:
      break;
  }
  return CallDefault(msg, wp, lp);
}

}  // namespace corvane
