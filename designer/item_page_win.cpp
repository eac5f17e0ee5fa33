#include "designer/item_page_win.h"

#include "designer/resource.h"
#include "shared/ini_store.h"
#include "shared/text_util.h"

namespace corvane {

namespace {

const char* const kDestinations[] = {"{appdriver}", "{parent}", "{win}",   "{sys}",    "{temp}",
                                     "{pf}",        "{font}",   "{mydoc}", "{desktop}"};
const char* const kNoVersionChoice[] = {"0.0.0"};
const int kSlotLineHeight = 18;

}  // namespace

ItemPage::ItemPage(HWND main_window, const PageFonts& fonts, ItemKind kind)
    : DesignerPage(main_window, fonts, "Local Configuration", "Server-side Configuration"),
      kind_(kind),
      slots_(kind),
      url_(ItemProtocols(kind), "Out of range") {}

BOOL ItemPage::OnInitDialog() {
  url_.Attach(Hwnd(), MainWindow());
  FillCombo(Item(IDC_ITEM_LOCALVER), kNoVersionChoice, 1);
  FillCombo(Item(IDC_ITEM_SERVERVER), kNoVersionChoice, 1);
  FillCombo(Item(IDC_ITEM_PATH), kDestinations, sizeof(kDestinations) / sizeof(kDestinations[0]));
  FillCombo(Item(IDC_ITEM_OPMODE), kOperationModes, 2);
  ::SendDlgItemMessageA(Hwnd(), IDC_ITEM_SLOTS, LB_SETITEMHEIGHT, 0, kSlotLineHeight);
  RelabelSlots();
  ::SendDlgItemMessageA(Hwnd(), IDC_ITEM_SLOTS, LB_SETCURSEL, 0, 0);
  ShowSlot(0);
  return TRUE;
}

bool ItemPage::IsNavigationControl(HWND control) const { return control == Item(IDC_ITEM_SLOTS); }

void ItemPage::RelabelSlots() {
  HWND list = Item(IDC_ITEM_SLOTS);
  LRESULT sel = ::SendMessageA(list, LB_GETCURSEL, 0, 0);
  ::SendMessageA(list, LB_RESETCONTENT, 0, 0);
  for (size_t i = 0; i < slots_.Count(); ++i) {
    std::string label = SlotLabel(kind_, i, slots_.At(i).urls);
    ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
  }
  ::SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(sel), 0);
}

void ItemPage::FillDisplayStyles(int op_mode, int show_type) {
  HWND combo = Item(IDC_ITEM_SHOWTYPE);
  ::SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  for (const std::string& choice : DisplayStyleChoices(op_mode)) {
    ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.c_str()));
  }
  ::SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(EffectiveShowType(op_mode, show_type)), 0);
}

void ItemPage::ShowSlot(int index) {
  current_ = index;
  const ItemSlot& s = slots_.At(static_cast<size_t>(index));
  SetItemText(IDC_ITEM_LOCALVER, s.local_ver);
  SetItemText(IDC_ITEM_SERVERVER, s.file_ver);
  url_.SetLines(UnpackUrlList(s.urls));
  url_.SetFields(s.protocol, s.url, s.username, s.pw);
  SetChecked(Hwnd(), IDC_URL_RANDOM, s.randomsel != 0);
  SetChecked(Hwnd(), IDC_URL_TRYALL, s.tryallurl != 0);
  SetItemText(IDC_ITEM_PATH, s.path);
  SetItemText(IDC_ITEM_DESCRIBE, s.describe);
  SetChecked(Hwnd(), IDC_ITEM_KEEPVER, s.modify_ver != 0);
  ::SendDlgItemMessageA(Hwnd(), IDC_ITEM_OPMODE, CB_SETCURSEL, static_cast<WPARAM>(s.op_mode), 0);
  FillDisplayStyles(s.op_mode, s.show_type);
  if (kind_ == ItemKind::kFile) {
    SetItemText(IDC_ITEM_RENAME, s.rename);
    SetItemText(IDC_ITEM_MD5, s.md5);
    SetItemText(IDC_ITEM_SHA256, s.sha256);
    SetChecked(Hwnd(), IDC_ITEM_UNCOMPRESS, s.uncompress != 0);
    SetChecked(Hwnd(), IDC_ITEM_RUNME, s.runme != 0);
    ShowBuilds(s);
  } else {
    SetItemText(IDC_ITEM_FILTER, s.filter);
    SetChecked(Hwnd(), IDC_ITEM_SUBDIR, s.is_inc_subdir != 0);
  }
}

void ItemPage::StoreControls() {
  if (current_ < 0) return;
  ItemSlot& s = slots_.At(static_cast<size_t>(current_));
  s.local_ver = ItemText(IDC_ITEM_LOCALVER);
  s.file_ver = ItemText(IDC_ITEM_SERVERVER);
  s.urls = url_.Packed();
  s.protocol = url_.Protocol();
  s.url = url_.Address();
  s.username = url_.User();
  s.pw = url_.Password();
  s.randomsel = IsChecked(Hwnd(), IDC_URL_RANDOM) ? 1 : 0;
  s.tryallurl = IsChecked(Hwnd(), IDC_URL_TRYALL) ? 1 : 0;
  s.path = ItemText(IDC_ITEM_PATH);
  s.describe = ItemText(IDC_ITEM_DESCRIBE);
  s.modify_ver = IsChecked(Hwnd(), IDC_ITEM_KEEPVER) ? 1 : 0;
  s.op_mode = ComboSelection(Hwnd(), IDC_ITEM_OPMODE);
  s.show_type = EffectiveShowType(s.op_mode, ComboSelection(Hwnd(), IDC_ITEM_SHOWTYPE));
  if (kind_ == ItemKind::kFile) {
    s.rename = ItemText(IDC_ITEM_RENAME);
    s.md5 = ItemText(IDC_ITEM_MD5);
    s.sha256 = ItemText(IDC_ITEM_SHA256);
    s.uncompress = IsChecked(Hwnd(), IDC_ITEM_UNCOMPRESS) ? 1 : 0;
    s.runme = IsChecked(Hwnd(), IDC_ITEM_RUNME) ? 1 : 0;
    StoreBuilds(s);
  } else {
    s.filter = ItemText(IDC_ITEM_FILTER);
    s.is_inc_subdir = IsChecked(Hwnd(), IDC_ITEM_SUBDIR) ? 1 : 0;
  }
  HWND list = Item(IDC_ITEM_SLOTS);
  std::string label = SlotLabel(kind_, static_cast<size_t>(current_), s.urls);
  ::SendMessageA(list, LB_DELETESTRING, static_cast<WPARAM>(current_), 0);
  ::SendMessageA(list, LB_INSERTSTRING, static_cast<WPARAM>(current_), reinterpret_cast<LPARAM>(label.c_str()));
  ::SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(current_), 0);
  url_.ApplyEnabling();
}

void ItemPage::LoadFrom(IniStore& project) {
  slots_.Load(project);
  RelabelSlots();
  ::SendDlgItemMessageA(Hwnd(), IDC_ITEM_SLOTS, LB_SETCURSEL, 0, 0);
  ShowSlot(0);
  ClearModified();
}

void ItemPage::InitNewProject() {
  slots_.ResetForNewProject();
  RelabelSlots();
  ::SendDlgItemMessageA(Hwnd(), IDC_ITEM_SLOTS, LB_SETCURSEL, 0, 0);
  ShowSlot(0);
  MarkModified();
}

bool ItemPage::SaveTo(IniStore& project) {
  StoreControls();
  return slots_.Save(project);
}

void ItemPage::Browse() {
  if (kind_ == ItemKind::kFile) {
    std::string path = ChooseOpenFile(MainWindow(), "File(*.*)|*.*||", nullptr);
    if (path.empty()) return;
    std::string address = ReplaceAll(path, "\\", "/");
    url_.SetAddress(address);
    if (ItemText(IDC_ITEM_RENAME).empty()) {
      size_t slash = address.rfind('/');
      if (slash != std::string::npos) SetItemText(IDC_ITEM_RENAME, address.substr(slash + 1));
    }
  } else {
    std::string folder = ChooseFolder(MainWindow(), "Select folder");
    if (folder.empty()) return;
    url_.SetAddress(ReplaceAll(folder, "\\", "/"));
  }
  MarkModified();
}

bool ItemPage::OnCommand(int id, int code, HWND control) {
  switch (id) {
    case IDC_ITEM_SLOTS:
      if (code == LBN_SELCHANGE) {
        int sel = static_cast<int>(::SendMessageA(control, LB_GETCURSEL, 0, 0));
        StoreControls();
        if (sel >= 0) {
          ::SendMessageA(control, LB_SETCURSEL, static_cast<WPARAM>(sel), 0);
          ShowSlot(sel);
        }
      }
      return true;
    case IDC_ITEM_OPMODE:
      if (code == CBN_SELCHANGE) {
        FillDisplayStyles(ComboSelection(Hwnd(), IDC_ITEM_OPMODE), ComboSelection(Hwnd(), IDC_ITEM_SHOWTYPE));
        MarkModified();
      }
      return true;
    case IDC_ITEM_SHOWTYPE:
      if (code == CBN_SELCHANGE) MarkModified();
      return true;
    case IDC_URL_BROWSE:
      if (code == BN_CLICKED) Browse();
      return true;
    case IDC_ITEM_SOURCE_BROWSE:
      if (code == BN_CLICKED) BrowseUpdateFile();
      return true;
    case IDC_ITEM_PREVIOUS_ADD:
      if (code == BN_CLICKED) AddPreviousBuild();
      return true;
    case IDC_ITEM_PREVIOUS_REMOVE:
      if (code == BN_CLICKED) RemovePreviousBuild();
      return true;
    default:
      break;
  }
  if (url_.OnCommand(id, code)) {
    StoreControls();
    MarkModified();
  }
  return id == IDOK || id == IDCANCEL || id >= IDC_URL_LIST;
}

}  // namespace corvane
