#include "designer/system_page_win.h"

#include "designer/resource.h"
#include "shared/ini_store.h"
#include "shared/text_util.h"

namespace corvane {

namespace {

const char* const kTreeItems[3] = {"Pop-up prompt", "Close process", "Execute external program"};
const char* const kProgramConstants[] = {"{parent}", "{win}", "{sys}", "{temp}",
                                         "{pf}",     "{font}", "{mydoc}", "{desktop}"};
// The program drop-downs from top to bottom, as keys of the project file.
const char* const kProgramRows[kProgramCount] = {"run_before",   "run_after",    "run_dlbefore",
                                                 "run_dlafters", "run_dlafterf", "run_udbefore",
                                                 "run_udafters", "run_udafterf"};

size_t ProgramKeyIndex(const char* key) {
  for (size_t i = 0; i < kProgramCount; ++i) {
    if (std::string(kProgramKeys[i]) == key) return i;
  }
  return 0;
}

}  // namespace

SystemPage::SystemPage(HWND main_window, const PageFonts& fonts)
    : DesignerPage(main_window, fonts, "Local Configuration", "Server-side Configuration"),
      url_({kSystemProtocols[0], kSystemProtocols[1], kSystemProtocols[2]}, "out of range.") {}

BOOL SystemPage::OnInitDialog() {
  url_.Attach(Hwnd(), MainWindow());
  prompt_panel_.CreateModeless(Hwnd(), IDD_PANEL_PROMPT);
  close_panel_.CreateModeless(Hwnd(), IDD_PANEL_CLOSE);
  programs_panel_.CreateModeless(Hwnd(), IDD_PANEL_PROGRAMS);
  for (size_t i = 0; i < kPromptCount; ++i) {
    HWND combo = prompt_panel_.Item(IDC_PROMPT_TEXT + static_cast<int>(i));
    const char* choices[2] = {kPrompts[i].new_text, kPrompts[i].other_text};
    FillCombo(combo, choices, std::string(choices[0]) == choices[1] ? 1 : 2);
  }
  for (size_t i = 0; i < kProgramCount; ++i) {
    FillCombo(programs_panel_.Item(IDC_PROGRAM + static_cast<int>(i)), kProgramConstants,
              sizeof(kProgramConstants) / sizeof(kProgramConstants[0]));
  }
  HWND tree = Item(IDC_SYS_TREE);
  for (int i = 0; i < 3; ++i) {
    TVINSERTSTRUCTA insert{};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<char*>(kTreeItems[i]);
    tree_items_[i] = reinterpret_cast<HTREEITEM>(
        ::SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
  }
  LayoutPanels();
  ::SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(tree_items_[0]));
  ShowPanel(0);
  ShowValues(SystemPageValues::NewProject());
  return TRUE;
}

void SystemPage::LayoutPanels() {
  RECT frame;
  ::GetWindowRect(Item(IDC_SYS_FRAME), &frame);
  ::MapWindowPoints(nullptr, Hwnd(), reinterpret_cast<POINT*>(&frame), 2);
  ::MoveWindow(Item(IDC_SYS_TREE), frame.left + 8, frame.top + 20, 144, frame.bottom - frame.top - 30, TRUE);
  const int x = frame.left + 160, y = frame.top + 20;
  const int w = frame.right - 10 - x, h = frame.bottom - 10 - y;
  for (Panel* panel : {&prompt_panel_, &close_panel_, &programs_panel_}) {
    ::MoveWindow(panel->Hwnd(), x, y, w, h, TRUE);
  }
}

void SystemPage::ShowPanel(int index) {
  Panel* panels[3] = {&prompt_panel_, &close_panel_, &programs_panel_};
  for (int i = 0; i < 3; ++i) ::ShowWindow(panels[i]->Hwnd(), i == index ? SW_SHOW : SW_HIDE);
}

bool SystemPage::IsNavigationControl(HWND control) const { return control == Item(IDC_SYS_TREE); }

void SystemPage::ShowValues(const SystemPageValues& v) {
  url_.SetLines(v.url_lines);
  url_.SetFields(v.protocol, v.address, v.user, v.password);
  SetChecked(Hwnd(), IDC_URL_RANDOM, v.randomsel != 0);
  SetChecked(Hwnd(), IDC_URL_TRYALL, v.tryallurl != 0);
  SetChecked(Hwnd(), IDC_SYS_CLOSELOG, v.closelog != 0);
  for (size_t i = 0; i < kPromptCount; ++i) {
    SetChecked(prompt_panel_.Hwnd(), IDC_PROMPT_CHECK + static_cast<int>(i), v.prompts[i].shown != 0);
    prompt_panel_.SetItemText(IDC_PROMPT_TEXT + static_cast<int>(i), v.prompts[i].text);
  }
  for (size_t i = 0; i < kCloseCount; ++i) close_panel_.SetItemText(IDC_CLOSE_EDIT + static_cast<int>(i), v.close[i]);
  for (size_t i = 0; i < kProgramCount; ++i) {
    programs_panel_.SetItemText(IDC_PROGRAM + static_cast<int>(i), v.programs[ProgramKeyIndex(kProgramRows[i])]);
  }
}

SystemPageValues SystemPage::TakeValues() const {
  SystemPageValues v;
  v.url_lines = url_.Lines();
  v.protocol = url_.Protocol();
  v.address = url_.Address();
  v.user = url_.User();
  v.password = url_.Password();
  v.randomsel = IsChecked(Hwnd(), IDC_URL_RANDOM) ? 1 : 0;
  v.tryallurl = IsChecked(Hwnd(), IDC_URL_TRYALL) ? 1 : 0;
  v.closelog = IsChecked(Hwnd(), IDC_SYS_CLOSELOG) ? 1 : 0;
  for (size_t i = 0; i < kPromptCount; ++i) {
    v.prompts[i].shown = IsChecked(prompt_panel_.Hwnd(), IDC_PROMPT_CHECK + static_cast<int>(i)) ? 1 : 0;
    v.prompts[i].text = prompt_panel_.ItemText(IDC_PROMPT_TEXT + static_cast<int>(i));
  }
  for (size_t i = 0; i < kCloseCount; ++i) v.close[i] = close_panel_.ItemText(IDC_CLOSE_EDIT + static_cast<int>(i));
  for (size_t i = 0; i < kProgramCount; ++i) {
    v.programs[ProgramKeyIndex(kProgramRows[i])] = programs_panel_.ItemText(IDC_PROGRAM + static_cast<int>(i));
  }
  return v;
}

void SystemPage::LoadFrom(IniStore& project) {
  ShowValues(SystemPageValues::Load(project));
  ClearModified();
}

void SystemPage::InitNewProject() {
  ShowValues(SystemPageValues::NewProject());
  MarkModified();
}

bool SystemPage::SaveTo(IniStore& project) { return TakeValues().Save(project); }

bool SystemPage::OnCommand(int id, int code, HWND control) {
  if (id == IDC_URL_BROWSE && code == BN_CLICKED) {
    std::string path = ChooseOpenFile(MainWindow(), "File(*.*)|*.*||", nullptr);
    if (!path.empty()) {
      url_.SetAddress(ReplaceAll(path, "\\", "/"));
      MarkModified();
    }
    return true;
  }
  if (url_.OnCommand(id, code)) MarkModified();
  // Enter and Escape inside a page must not end anything.
  return id == IDOK || id == IDCANCEL || id >= IDC_URL_LIST;
}

INT_PTR SystemPage::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NOTIFY) {
    const NMHDR* hdr = reinterpret_cast<const NMHDR*>(lp);
    if (hdr->idFrom == IDC_SYS_TREE && hdr->code == TVN_SELCHANGEDA) {
      const NMTREEVIEWA* tv = reinterpret_cast<const NMTREEVIEWA*>(lp);
      for (int i = 0; i < 3; ++i) {
        if (tv->itemNew.hItem == tree_items_[i]) ShowPanel(i);
      }
      return TRUE;
    }
  }
  return DesignerPage::OnMessage(msg, wp, lp);
}

}  // namespace corvane
