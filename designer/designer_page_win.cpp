#include "designer/designer_page_win.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cstring>
#include <vector>

#include "designer/resource.h"
#include "win32/scoped_handles.h"

namespace corvane {

namespace {

const COLORREF kBandFill = RGB(205, 230, 255);
const COLORREF kBandLight = RGB(250, 250, 250);
const COLORREF kBandShadow = RGB(150, 150, 150);

std::string CurrentDirectory() {
  char buf[MAX_PATH] = {};
  ::GetCurrentDirectoryA(MAX_PATH, buf);
  return buf;
}

std::vector<char> FilterFromBars(const char* filter) {
  std::vector<char> out(filter, filter + strlen(filter) + 1);
  for (char& c : out) {
    if (c == '|') c = '\0';
  }
  out.push_back('\0');
  return out;
}

std::string RunFileDialog(HWND owner, const char* filter, const char* default_ext,
                          const std::string& initial, bool save) {
  const std::string folder = CurrentDirectory();
  std::vector<char> filter_z = FilterFromBars(filter);
  char file[MAX_PATH * 2] = {};
  lstrcpynA(file, initial.c_str(), sizeof(file));
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter_z.data();
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof(file);
  ofn.lpstrInitialDir = folder.c_str();
  ofn.lpstrDefExt = default_ext;
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | (save ? 0 : OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST);
  // Save As may name a folder that does not exist yet; it is created.
  BOOL ok = save ? ::GetSaveFileNameA(&ofn) : ::GetOpenFileNameA(&ofn);
  ::SetCurrentDirectoryA(folder.c_str());
  return ok ? std::string(file) : std::string();
}

int CALLBACK StartInCurrentFolder(HWND hwnd, UINT msg, LPARAM, LPARAM data) {
  if (msg == BFFM_INITIALIZED) ::SendMessageA(hwnd, BFFM_SETSELECTIONA, TRUE, data);
  return 0;
}

}  // namespace

bool DesignerPage::Create(HWND parent, int template_id) {
  return CreateModeless(parent, template_id);
}

void DesignerPage::MarkModified() {
  modified_ = true;
  ::SendMessageA(main_window_, kPageModifiedMessage, 0, 0);
}

int DesignerPage::Ask(const std::string& text, UINT flags) const {
  return ::MessageBoxA(main_window_, text.c_str(), "Corvane", flags);
}

void DesignerPage::PaintBands(HDC dc) {
  RECT page;
  ::GetClientRect(Hwnd(), &page);
  const int ids[] = {IDC_BAND1, IDC_BAND2};
  const char* captions[] = {band1_, band2_};
  for (int i = 0; i < 2; ++i) {
    HWND holder = Item(ids[i]);
    if (!holder || !captions[i]) continue;
    RECT band;
    ::GetWindowRect(holder, &band);
    ::MapWindowPoints(nullptr, Hwnd(), reinterpret_cast<POINT*>(&band), 2);
    band.right = page.right;
    ScopedBrush fill(::CreateSolidBrush(kBandFill));
    ::FillRect(dc, &band, fill.Get());
    ScopedPen light(::CreatePen(PS_SOLID, 1, kBandLight));
    ScopedPen shadow(::CreatePen(PS_SOLID, 1, kBandShadow));
    {
      ScopedSelectObject pen(dc, light.Get());
      ::MoveToEx(dc, band.left, band.bottom - 1, nullptr);
      ::LineTo(dc, band.left, band.top);
      ::LineTo(dc, band.right - 1, band.top);
    }
    {
      ScopedSelectObject pen(dc, shadow.Get());
      ::MoveToEx(dc, band.right - 1, band.top, nullptr);
      ::LineTo(dc, band.right - 1, band.bottom - 1);
      ::LineTo(dc, band.left - 1, band.bottom - 1);
    }
    ScopedSelectObject font(dc, fonts_.title);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(0, 0, 0));
    RECT text = band;
    text.left += 20;
    ::DrawTextA(dc, captions[i], -1, &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
  }
}

INT_PTR DesignerPage::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) {
    ScopedPaint paint(Hwnd());
    PaintBands(paint.Dc());
    return TRUE;
  }
  return Dialog::OnMessage(msg, wp, lp);
}

std::string ControlText(HWND control) {
  if (!control) return std::string();
  int len = ::GetWindowTextLengthA(control);
  std::vector<char> buf(static_cast<size_t>(len) + 2, '\0');
  ::GetWindowTextA(control, buf.data(), len + 1);
  return std::string(buf.data());
}

bool IsChecked(HWND dialog, int id) { return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void SetChecked(HWND dialog, int id, bool checked) {
  ::CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void FillCombo(HWND combo, const char* const* items, size_t count) {
  ::SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  for (size_t i = 0; i < count; ++i) {
    ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(items[i]));
  }
}

int ComboSelection(HWND dialog, int id) {
  LRESULT sel = ::SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
  return sel == CB_ERR ? 0 : static_cast<int>(sel);
}

std::string ChooseOpenFile(HWND owner, const char* filter, const char* default_ext) {
  return RunFileDialog(owner, filter, default_ext, std::string(), false);
}

std::string ChooseSaveFile(HWND owner, const char* filter, const char* default_ext,
                           const std::string& initial) {
  return RunFileDialog(owner, filter, default_ext, initial, true);
}

std::string ChooseFolder(HWND owner, const char* title) {
  const std::string start = CurrentDirectory();
  char display[MAX_PATH] = {};
  BROWSEINFOA info{};
  info.hwndOwner = owner;
  info.pszDisplayName = display;
  info.lpszTitle = title;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = StartInCurrentFolder;
  info.lParam = reinterpret_cast<LPARAM>(start.c_str());
  LPITEMIDLIST chosen = ::SHBrowseForFolderA(&info);
  if (!chosen) return std::string();
  char path[MAX_PATH] = {};
  bool ok = ::SHGetPathFromIDListA(chosen, path) != FALSE;
  ::CoTaskMemFree(chosen);
  return ok ? std::string(path) : std::string();
}

}  // namespace corvane
