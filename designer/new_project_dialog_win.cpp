#include "designer/new_project_dialog_win.h"

#include <cstdio>

#include "designer/designer_page_win.h"
#include "designer/folder_ops_win.h"
#include "designer/resource.h"
#include "shared/file_name_rule.h"
#include "shared/text_util.h"

namespace corvane {

BOOL NewProjectDialog::OnInitDialog() {
  SetItemText(IDC_NP_PATH, *browse_folder_);
  return TRUE;
}

void NewProjectDialog::Refuse(const char* text, int focus_id) {
  ::MessageBoxA(Hwnd(), text, "Corvane", MB_OK | MB_ICONWARNING);
  ::SetFocus(Item(focus_id));
}

bool NewProjectDialog::TryCreate() {
  const std::string name = ItemText(IDC_NP_NAME);
  // The name becomes a folder under the path and is deleted with it on
  // "overwrite": ".." or "." would name the path's parent or the path itself.
  if (!IsSafePathComponent(name)) {
    Refuse("Name can not be empty, can not contain characters not supported.", IDC_NP_NAME);
    return false;
  }
  std::string path = Trim(ItemText(IDC_NP_PATH));
  if (path.empty()) {
    Refuse("Path can not be empty.", IDC_NP_PATH);
    return false;
  }
  if (path.back() != '\\') path += '\\';
  std::string folder = path + name;
  if (FolderExists(folder)) {
    if (::MessageBoxA(Hwnd(), "Already exists, overwrite?\n(Note: Overwrite will be empty all the contents.)",
                      "Corvane", MB_YESNO | MB_ICONQUESTION) != IDYES) {
      return false;
    }
    DeleteFolderTree(folder);
  }
  folder += '\\';
  CreateFolderPath(folder);
  const std::string file = folder + name + ".epj";
  // The first text ends without a line break after the name.
  std::FILE* out = std::fopen(file.c_str(), "wb");
  bool ok = out != nullptr;
  if (out) {
    const std::string text = NewProjectText(name);
    ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    ok = std::fclose(out) == 0 && ok;
  }
  if (!ok) {
    ::MessageBoxA(Hwnd(), ("Failed to create project file: " + folder + name + ".epj").c_str(), "Corvane",
                  MB_OK | MB_ICONERROR);
    return false;
  }
  created_ = ProjectLocation{file, folder, name};
  return true;
}

bool NewProjectDialog::OnCommand(int id, int code, HWND control) {
  if (id == IDC_NP_BROWSE) {
    char current[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, current);
    *browse_folder_ = current;
    std::string folder = ChooseFolder(Hwnd(), "Select folder");
    if (!folder.empty()) SetItemText(IDC_NP_PATH, folder);
    return true;
  }
  if (id == IDOK) {
    if (TryCreate()) End(IDOK);
    return true;
  }
  return Dialog::OnCommand(id, code, control);
}

}  // namespace corvane
