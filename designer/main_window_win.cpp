#include "designer/main_window_win.h"
#include "win32/file_version.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>

#include "designer/build_test_page_win.h"
#include "designer/folder_ops_win.h"
#include "designer/item_page_win.h"
#include "designer/new_project_dialog_win.h"
#include "designer/resource.h"
#include "designer/system_page_win.h"
#include "designer/ui_design_page_win.h"
#include "designer/ui_design_resource.h"
#include "shared/ini_store.h"
#include "shared/text_util.h"

namespace corvane {

namespace {

struct ButtonInfo {
  int id;
  const char* tip;
};
const ButtonInfo kButtons[] = {{IDC_BTN_NEW, "Create a new project"},
                               {IDC_BTN_OPEN, "Open a project"},
                               {IDC_BTN_SAVE, "Save the current project"},
                               {IDC_BTN_SAVEAS, "Save the current project as..."},
                               {IDC_BTN_CLOSE, "Close the current project"},
                               {IDC_BTN_HELP, "Help"},
                               {IDC_BTN_EXIT, "Exit the program"}};

struct TabInfo {
  const char* caption;
  const char* tip;
};
const TabInfo kTabs[] = {{"System", "System configuration"},
                         {"File", "File configuration"},
                         {"Directory", "Directory configuration"},
                         {"UI-Design", "User-interface design"},
                         {"Build-Test", "Build and test a upgrade package"}};

const int kTabHeight = 30;
const int kTabWidth = 110;

std::string ProgramPath() {
  char path[MAX_PATH * 2] = {};
  ::GetModuleFileNameA(nullptr, path, sizeof(path));
  return path;
}

ScopedFont MakeArial(int height, int weight) {
  LOGFONTA font{};
  font.lfHeight = height;
  font.lfWeight = weight;
  lstrcpyA(font.lfFaceName, "Arial");
  return ScopedFont(::CreateFontIndirectA(&font));
}

bool IsDialogWindow(HWND hwnd) {
  char cls[16] = {};
  ::GetClassNameA(hwnd, cls, sizeof(cls));
  return std::string(cls) == "#32770";
}

// "About Corvane": the program name and its web and mail links.
class AboutDialog : public Dialog {
 protected:
  bool OnCommand(int id, int code, HWND control) override {
    if ((id == IDC_ABOUT_WEB || id == IDC_ABOUT_MAIL) && code == STN_CLICKED) {
      const std::string target = ItemText(id);
      ::ShellExecuteA(Hwnd(), "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
      return true;
    }
    return Dialog::OnCommand(id, code, control);
  }
  INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp) override {
    HWND control = reinterpret_cast<HWND>(lp);
    if (msg == WM_CTLCOLORSTATIC && (control == Item(IDC_ABOUT_WEB) || control == Item(IDC_ABOUT_MAIL))) {
      HDC dc = reinterpret_cast<HDC>(wp);
      ::SetTextColor(dc, RGB(0, 0, 255));
      ::SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    return Dialog::OnMessage(msg, wp, lp);
  }
};

}  // namespace

std::string DesignerVersion() {
  const std::string path = ProgramPath();
  return FileVersionText(path);
}

MainWindow::MainWindow(std::string document) : document_(std::move(document)) {
  version_ = DesignerVersion();
  const std::string program = ProgramPath();
  designer_folder_ = program.substr(0, program.find_last_of('\\') + 1);
}

MainWindow::~MainWindow() = default;

bool MainWindow::Create() { return CreateModeless(nullptr, IDD_MAIN); }

BOOL MainWindow::OnInitDialog() {
  HMENU system_menu = ::GetSystemMenu(Hwnd(), FALSE);
  ::AppendMenuA(system_menu, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuA(system_menu, MF_STRING, IDM_ABOUT, "About Corvane...");
  icon_.Reset(static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_CORVANE),
                                              IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)));
  ::SendMessageA(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.Get()));
  ::SendMessageA(Hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_.Get()));
  title_font_ = MakeArial(25, FW_BOLD);
  note_font_ = MakeArial(20, FW_NORMAL);
  CreateControls();
  ::DragAcceptFiles(Hwnd(), TRUE);
  RestoreProject();
  LayoutPages();
  UpdateButtonsAndPages();
  ::PostMessageA(Hwnd(), kStartUpdateCheckMessage, 0, 0);
  return TRUE;
}

void MainWindow::CreateControls() {
  tooltip_ = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                               Hwnd(), nullptr, ::GetModuleHandleA(nullptr), nullptr);
  for (const ButtonInfo& b : kButtons) {
    TOOLINFOA tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = Hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(Item(b.id));
    tool.lpszText = const_cast<char*>(b.tip);
    ::SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }

  HWND tabs = Item(IDC_TABS);
  ::SetWindowLongPtrA(tabs, GWL_EXSTYLE, ::GetWindowLongPtrA(tabs, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
  ::SendMessageA(tabs, TCM_SETITEMSIZE, 0, MAKELPARAM(kTabWidth, kTabHeight));
  for (int i = 0; i < kTabCount; ++i) {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(kTabs[i].caption);
    ::SendMessageA(tabs, TCM_INSERTITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
  }

  const PageFonts fonts{title_font_.Get(), note_font_.Get()};
  auto system = std::make_unique<SystemPage>(Hwnd(), fonts);
  system_page_ = system.get();
  pages_[kSystemTab] = std::move(system);
  pages_[kFileTab] = std::make_unique<ItemPage>(Hwnd(), fonts, ItemKind::kFile);
  pages_[kDirectoryTab] = std::make_unique<ItemPage>(Hwnd(), fonts, ItemKind::kDirectory);
  pages_[kUiTab] = std::make_unique<UiDesignPage>(Hwnd(), fonts, [this] { return location_.folder; });
  BuildTestHost build_host;
  build_host.save = [this]() { return Save(); };
  build_host.project = [this]() { return location_; };
  build_host.output = [this](const std::string& folder) { output_folder_ = folder; };
  build_host.server_file_name = [this]() { return system_page_->ServerFileName(); };
  build_host.designer_folder = designer_folder_;
  build_host.designer_version = version_;
  pages_[kBuildTab] = std::make_unique<BuildTestPage>(Hwnd(), fonts, std::move(build_host));
  const int templates[kTabCount] = {IDD_PAGE_SYSTEM, IDD_PAGE_FILE, IDD_PAGE_DIR, IDD_PAGE_UI, IDD_PAGE_BUILD};
  for (int i = 0; i < kTabCount; ++i) pages_[i]->Create(tabs, templates[i]);
}

std::array<DesignerPage*, MainWindow::kTabCount> MainWindow::SaveOrder() const {
  return {pages_[kBuildTab].get(), pages_[kSystemTab].get(), pages_[kFileTab].get(), pages_[kUiTab].get(),
          pages_[kDirectoryTab].get()};
}

void MainWindow::ShowError(const std::string& text) const {
  ::MessageBoxA(Hwnd(), text.c_str(), "Corvane", MB_OK | MB_ICONWARNING);
}

bool MainWindow::Modified() const {
  for (const auto& page : pages_) {
    if (page->Modified()) return true;
  }
  return false;
}

int MainWindow::SelectedTab() const {
  LRESULT sel = ::SendMessageA(Item(IDC_TABS), TCM_GETCURSEL, 0, 0);
  return sel < 0 ? 0 : static_cast<int>(sel);
}

void MainWindow::SelectTab(int index) {
  if (index < 0 || index >= kTabCount) index = 0;
  ::SendMessageA(Item(IDC_TABS), TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void MainWindow::SetTitle() {
  std::string title = "Corvane" + version_;
  if (ProjectOpen()) title += " - " + location_.name;
  ::SetWindowTextA(Hwnd(), title.c_str());
}

void MainWindow::UpdateButtonsAndPages() {
  const bool open = ProjectOpen();
  ::EnableWindow(Item(IDC_BTN_NEW), !open);
  ::EnableWindow(Item(IDC_BTN_OPEN), !open);
  ::EnableWindow(Item(IDC_BTN_SAVE), open && Modified());
  ::EnableWindow(Item(IDC_BTN_SAVEAS), open);
  ::EnableWindow(Item(IDC_BTN_CLOSE), open);
  const int selected = SelectedTab();
  for (int i = 0; i < kTabCount; ++i) {
    ::ShowWindow(pages_[i]->Hwnd(), open && i == selected ? SW_SHOW : SW_HIDE);
  }
}

void MainWindow::LayoutPages() {
  RECT area;
  ::GetClientRect(Item(IDC_TABS), &area);
  for (const auto& page : pages_) {
    ::MoveWindow(page->Hwnd(), area.left, area.top + kTabHeight, area.right - area.left,
                 area.bottom - area.top - kTabHeight, TRUE);
  }
}

bool MainWindow::OpenProject(const std::string& path) {
  ProjectLocation location;
  IniStore project;
  if (!LocateProject(path, &location)) return false;
  if (!ReadProjectFile(path, &project)) {
    ShowError("Failed to open file: " + path);
    return false;
  }
  location_ = location;
  for (DesignerPage* page : SaveOrder()) page->LoadFrom(project);
  SetTitle();
  UpdateButtonsAndPages();
  return true;
}

void MainWindow::RestoreProject() {
  IniStore status;
  status.SetFileName(designer_folder_ + "system\\status.cfg");
  recent_.Load(status, [](const std::string& p) { return FileHasContent(p); });
  if (!document_.empty()) {
    if (FileHasContent(document_) && document_.find('\\') != std::string::npos &&
        document_.find('\\') > 0) {
      OpenProject(document_);
    }
  } else if (ReadProjectInt(status, "prj", "have_prj", 0) != 0 && !recent_.Paths().empty()) {
    const std::string& first = recent_.Paths().front();
    if (first.find('\\') != std::string::npos && HasProjectExtension(first) && OpenProject(first)) {
      SelectTab(ReadProjectInt(status, "prj", "cursel", 0));
    }
  }
  SetTitle();
}

void MainWindow::NewProject() {
  NewProjectDialog dialog(&browse_folder_);
  if (dialog.RunModal(Hwnd(), IDD_NEW_PROJECT) != IDOK) return;
  location_ = dialog.Created();
  for (DesignerPage* page : SaveOrder()) page->InitNewProject();
  recent_.Insert(location_.file);
  SetTitle();
  UpdateButtonsAndPages();
}

void MainWindow::ChooseAndOpen() {
  std::string path;
  if (!recent_.Paths().empty()) {
    ScopedMenu menu(::CreatePopupMenu());
    ::AppendMenuA(menu.Get(), MF_STRING, IDM_OPEN_PROJECT, "&Open project...");
    ::AppendMenuA(menu.Get(), MF_SEPARATOR, 0, nullptr);
    for (size_t i = 0; i < recent_.Paths().size(); ++i) {
      ::AppendMenuA(menu.Get(), MF_STRING, IDM_RECENT_FIRST + i, recent_.Paths()[i].c_str());
    }
    POINT at;
    ::GetCursorPos(&at);
    UINT chosen = static_cast<UINT>(::TrackPopupMenu(menu.Get(), TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN,
                                                     at.x, at.y, 0, Hwnd(), nullptr));
    if (chosen == 0) return;
    if (chosen != IDM_OPEN_PROJECT) {
      path = recent_.Paths()[chosen - IDM_RECENT_FIRST];
      if (path.find('\\') == std::string::npos || !FileHasContent(path) || !HasProjectExtension(path)) {
        ShowError("File: " + path + " does not exist.");
        return;
      }
    }
  }
  if (path.empty()) {
    path = ChooseOpenFile(Hwnd(), "Project File(*.prj;*.epj)|*.prj;*.epj||", "epj");
    if (path.empty()) return;
    if (FileTitle(path).empty()) {
      ShowError("Error: Cannt open the project file.");
      return;
    }
  }
  const std::string chosen_path = path;
  if (OpenProject(chosen_path)) {
    location_.name = FileTitle(chosen_path);
    recent_.Insert(chosen_path);
    SetTitle();
  }
}

bool MainWindow::Save() {
  IniStore project;
  // Every page writes into one copy of the file, which then replaces the
  // file in one write: a failure leaves the file as it was and the pages
  // still modified, so nothing is lost.
  if (!ReadProjectFile(location_.file, &project)) {
    ShowError("Failed to save file: " + location_.file);
    return false;
  }
  for (DesignerPage* page : SaveOrder()) {
    if (page->Modified()) page->SaveTo(project);
  }
  if (!WriteProjectFile(location_.file, project)) {
    ShowError("Failed to save file: " + location_.file);
    return false;
  }
  for (const auto& page : pages_) page->ClearModified();
  UpdateButtonsAndPages();
  return true;
}

void MainWindow::SaveAs() {
  std::string path = ChooseSaveFile(Hwnd(), "Project File(*.epj)|*.epj||", "epj", location_.file);
  if (path.empty()) return;
  ProjectLocation target;
  if (!LocateProject(path, &target)) return;
  target.name = FileTitle(path);
  // The open project stays where it is until the new file is really taken.
  if (::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
    if (::MessageBoxA(Hwnd(), ("File: " + path + " Has existed. Override it?").c_str(), "Corvane",
                      MB_YESNO | MB_ICONQUESTION) != IDYES) {
      return;
    }
  } else {
    CreateFolderPath(target.folder);
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file || std::fclose(file) != 0) {
    ShowError("Failed to create file: " + path);
    return;
  }
  const ProjectLocation previous = location_;
  location_ = target;
  // The new file starts empty, so every page writes all it has.
  for (const auto& page : pages_) page->MarkModified();
  IniStore named;
  named.LoadFromText(NewProjectText(location_.name));
  WriteProjectFile(path, named);
  if (!Save()) {
    location_ = previous;
    SetTitle();
    UpdateButtonsAndPages();
    return;
  }
  recent_.Insert(path);
  SetTitle();
  UpdateButtonsAndPages();
}

void MainWindow::WriteStatusFile() {
  const std::string folder = designer_folder_ + "system\\";
  const std::string path = folder + "status.cfg";
  if (::GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    CreateFolderPath(folder);
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
      std::fputs(kStatusFileCreatedLine, file);
      std::fclose(file);
    }
  }
  IniStore status;
  status.SetFileName(path);
  recent_.Write(status, ProjectOpen(), SelectedTab());
}

bool MainWindow::CloseProject() {
  WriteStatusFile();
  if (ProjectOpen() && Modified()) {
    if (::MessageBoxA(Hwnd(), "Save the changes to the project?", "Corvane", MB_YESNO | MB_ICONQUESTION) == IDYES) {
      // A project that could not be saved stays open rather than lost.
      if (!Save()) return false;
    }
  }
  for (const auto& page : pages_) page->ClearModified();
  location_ = ProjectLocation();
  output_folder_.clear();
  SetTitle();
  UpdateButtonsAndPages();
  return true;
}

void MainWindow::DropFiles(HDROP drop) {
  char path[MAX_PATH * 2] = {};
  UINT count = ::DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
  if (count > 0) ::DragQueryFileA(drop, 0, path, sizeof(path));
  ::DragFinish(drop);
  if (count == 0) return;
  if (!CloseProject()) return;
  const std::string dropped = path;
  if (dropped.find('\\') != std::string::npos && dropped.find('\\') > 0) OpenProject(dropped);
}

void MainWindow::TrackInput(const MSG& msg) {
  if (msg.message != WM_CHAR && msg.message != WM_LBUTTONDOWN) return;
  if (!ProjectOpen() || IsDialogWindow(msg.hwnd)) return;
  for (const auto& page : pages_) {
    HWND page_hwnd = page->Hwnd();
    if (!page_hwnd || !::IsChild(page_hwnd, msg.hwnd)) continue;
    HWND parent = ::GetParent(msg.hwnd);
    if (page->IsNavigationControl(msg.hwnd) || page->IsNavigationControl(parent)) return;
    page->MarkModified();
    return;
  }
}

bool MainWindow::OnCommand(int id, int code, HWND control) {
  switch (id) {
    case IDC_BTN_NEW: NewProject(); break;
    case IDC_BTN_OPEN: ChooseAndOpen(); break;
    case IDC_BTN_SAVE: Save(); break;
    case IDC_BTN_SAVEAS: SaveAs(); break;
    case IDC_BTN_CLOSE: CloseProject(); break;
    case IDC_BTN_HELP:
      ::ShellExecuteA(Hwnd(), "open", (designer_folder_ + "help.chm").c_str(), nullptr, nullptr, SW_SHOWNORMAL);
      break;
    case IDC_BTN_EXIT: ::PostMessageA(Hwnd(), WM_CLOSE, 0, 0); break;
    default:
      // Enter and Escape do not close the main window.
      return id == IDOK || id == IDCANCEL;
  }
  return true;
}

INT_PTR MainWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kPageModifiedMessage:
      UpdateButtonsAndPages();
      return TRUE;
    case kStartUpdateCheckMessage:
      notice_bar_ = std::make_unique<NoticeBar>(designer_folder_ + "updateApp\\");
      notice_bar_->Create(Hwnd());
      StartUpdater(Hwnd(), designer_folder_ + "updateApp\\",
                   "/HWND:" + std::to_string(reinterpret_cast<UINT_PTR>(Hwnd())) + " /OP:CheckVer");
      return TRUE;
    case kUpdaterResultMessage:
      if (wp == 3 && notice_bar_) notice_bar_->Show(true);
      return TRUE;
    case WM_NOTIFY: {
      const NMHDR* hdr = reinterpret_cast<const NMHDR*>(lp);
      if (hdr->idFrom == IDC_TABS && hdr->code == TCN_SELCHANGE) {
        UpdateButtonsAndPages();
        return TRUE;
      }
      if (hdr->code == TTN_GETDISPINFOA &&
          hdr->hwndFrom == reinterpret_cast<HWND>(::SendMessageA(Item(IDC_TABS), TCM_GETTOOLTIPS, 0, 0)) &&
          hdr->idFrom < static_cast<UINT_PTR>(kTabCount)) {
        NMTTDISPINFOA* info = reinterpret_cast<NMTTDISPINFOA*>(const_cast<NMHDR*>(hdr));
        info->lpszText = const_cast<char*>(kTabs[hdr->idFrom].tip);
        return TRUE;
      }
      break;
    }
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == IDM_ABOUT) {
        AboutDialog about;
        about.RunModal(Hwnd(), IDD_ABOUT);
        return TRUE;
      }
      break;
    case WM_DROPFILES:
      DropFiles(reinterpret_cast<HDROP>(wp));
      return TRUE;
    case WM_CLOSE:
      if (CloseProject()) {
        notice_bar_.reset();
        ::DestroyWindow(Hwnd());
      }
      return TRUE;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return TRUE;
    default:
      break;
  }
  return Dialog::OnMessage(msg, wp, lp);
}

}  // namespace corvane
