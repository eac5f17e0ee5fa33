#include "designer/url_group_win.h"

#include "designer/designer_page_win.h"
#include "designer/resource.h"
#include "shared/text_util.h"
#include "win32/scoped_handles.h"

namespace corvane {

namespace {
const int kUrlLineHeight = 20;
}

void UrlGroup::Attach(HWND dialog, HWND message_owner) {
  dialog_ = dialog;
  owner_ = message_owner;
  HWND combo = ::GetDlgItem(dialog_, IDC_URL_PROTOCOL);
  ::SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  for (const std::string& p : protocols_) {
    ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(p.c_str()));
  }
  ::SendMessageA(combo, CB_SETCURSEL, 0, 0);
  ::SendDlgItemMessageA(dialog_, IDC_URL_LIST, LB_SETITEMHEIGHT, 0, kUrlLineHeight);
}

void UrlGroup::SetLines(const std::vector<std::string>& lines) {
  editor_.SetLines(lines);
  RefreshList();
}

void UrlGroup::RefreshList() {
  HWND list = ::GetDlgItem(dialog_, IDC_URL_LIST);
  ::SendMessageA(list, LB_RESETCONTENT, 0, 0);
  int widest = 0;
  ScopedWindowDc dc(list);
  HFONT font = reinterpret_cast<HFONT>(::SendMessageA(list, WM_GETFONT, 0, 0));
  ScopedSelectObject select(dc.Get(), font);
  for (const std::string& line : editor_.Lines()) {
    ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    SIZE size{};
    ::GetTextExtentPoint32A(dc.Get(), line.c_str(), static_cast<int>(line.size()), &size);
    if (size.cx > widest) widest = size.cx;
  }
  ::SendMessageA(list, LB_SETHORIZONTALEXTENT, editor_.Lines().empty() ? 0 : widest + 8, 0);
  ::SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(editor_.Selected()), 0);
}

int UrlGroup::Protocol() const { return ComboSelection(dialog_, IDC_URL_PROTOCOL); }

std::string UrlGroup::ProtocolText() const {
  size_t index = static_cast<size_t>(Protocol());
  return index < protocols_.size() ? protocols_[index] : std::string();
}

void UrlGroup::SetFields(int protocol, const std::string& address, const std::string& user,
                         const std::string& password) {
  ::SendDlgItemMessageA(dialog_, IDC_URL_PROTOCOL, CB_SETCURSEL, static_cast<WPARAM>(protocol), 0);
  ::SetDlgItemTextA(dialog_, IDC_URL_ADDRESS, address.c_str());
  ::SetDlgItemTextA(dialog_, IDC_URL_USER, user.c_str());
  ::SetDlgItemTextA(dialog_, IDC_URL_PW, password.c_str());
  ApplyEnabling();
}

std::string UrlGroup::Address() const { return ControlText(::GetDlgItem(dialog_, IDC_URL_ADDRESS)); }
std::string UrlGroup::User() const { return ControlText(::GetDlgItem(dialog_, IDC_URL_USER)); }
std::string UrlGroup::Password() const { return ControlText(::GetDlgItem(dialog_, IDC_URL_PW)); }

void UrlGroup::SetAddress(const std::string& address) {
  ::SetDlgItemTextA(dialog_, IDC_URL_ADDRESS, address.c_str());
}

void UrlGroup::ApplyEnabling() {
  const std::string protocol = ProtocolText();
  const bool ftp = protocol == "ftp://";
  ::EnableWindow(::GetDlgItem(dialog_, IDC_URL_USER), ftp);
  ::EnableWindow(::GetDlgItem(dialog_, IDC_URL_PW), ftp);
  ::EnableWindow(::GetDlgItem(dialog_, IDC_URL_BROWSE), protocol == "file://");
}

void UrlGroup::FillFieldsFromSelection() {
  int sel = editor_.Selected();
  if (sel < 0) return;
  UrlSource url;
  if (!ParseDisplayLine(editor_.Lines()[static_cast<size_t>(sel)], &url)) return;
  int protocol = 0;
  for (size_t i = 0; i < protocols_.size(); ++i) {
    if (StartsWith(ToLowerAscii(protocols_[i]), ToLowerAscii(url.protocol))) {
      protocol = static_cast<int>(i);
      break;
    }
  }
  SetFields(protocol, url.address, url.user, url.password);
}

bool UrlGroup::OnCommand(int id, int code) {
  UrlSource fields{ProtocolText(), Address(), User(), Password()};
  UrlListEditor::Result result = UrlListEditor::Result::kIgnored;
  switch (id) {
    case IDC_URL_PROTOCOL:
      if (code == CBN_SELCHANGE) ApplyEnabling();
      return false;
    case IDC_URL_LIST:
      if (code != LBN_SELCHANGE) return false;
      editor_.Select(static_cast<int>(::SendDlgItemMessageA(dialog_, IDC_URL_LIST, LB_GETCURSEL, 0, 0)));
      FillFieldsFromSelection();
      return false;
    case IDC_URL_ADD:
      result = editor_.Add(fields);
      break;
    case IDC_URL_UPDATE:
      editor_.Select(static_cast<int>(::SendDlgItemMessageA(dialog_, IDC_URL_LIST, LB_GETCURSEL, 0, 0)));
      result = editor_.Update(fields);
      break;
    case IDC_URL_DELETE:
      editor_.Select(static_cast<int>(::SendDlgItemMessageA(dialog_, IDC_URL_LIST, LB_GETCURSEL, 0, 0)));
      result = editor_.Delete();
      if (result == UrlListEditor::Result::kChanged) {
        RefreshList();
        FillFieldsFromSelection();
        return true;
      }
      break;
    default:
      return false;
  }
  if (result == UrlListEditor::Result::kOutOfRange) {
    ::MessageBoxA(owner_, out_of_range_, "Corvane", MB_OK | MB_ICONWARNING);
  } else if (result == UrlListEditor::Result::kDuplicate) {
    ::MessageBoxA(owner_, "Already exists in the list.", "Corvane", MB_OK | MB_ICONWARNING);
  }
  if (result != UrlListEditor::Result::kChanged) return false;
  RefreshList();
  return true;
}

}  // namespace corvane
