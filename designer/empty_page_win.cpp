#include "designer/empty_page_win.h"

#include "designer/resource.h"

namespace corvane {

BOOL EmptyPage::OnInitDialog() {
  SetItemText(IDC_PAGE_NOTE, note_);
  ::SendMessageA(Item(IDC_PAGE_NOTE), WM_SETFONT, reinterpret_cast<WPARAM>(Fonts().note), FALSE);
  return TRUE;
}

}  // namespace corvane
