#include "designer/new_template_dialog_win.h"

#include "designer/ui_design_resource.h"

namespace corvane {

bool NewTemplateDialog::OnCommand(int id, int code, HWND control) {
  if (id == IDOK) {
    name_ = ItemText(IDC_TPL_NAME);
    author_ = ItemText(IDC_TPL_AUTHOR);
  }
  return Dialog::OnCommand(id, code, control);
}

}  // namespace corvane
