#include "designer/ui_design_page_win.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstdlib>
#include <vector>

#include "designer/main_window_win.h"
#include "designer/new_template_dialog_win.h"
#include "designer/resource.h"
#include "designer/ui_canvas_win.h"
#include "designer/ui_design_resource.h"
#include "designer/uieditor/image_place.h"
#include "designer/uieditor/ui_config_writer.h"
#include "designer/uieditor/ui_preview.h"
#include "designer/uieditor/ui_template.h"
#include "shared/ini_store.h"
#include "shared/zip_file_system.h"
#include "shared/zip_path.h"
#include "win32/scoped_handles.h"

namespace corvane {
namespace {

const char kImageFilter[] = "Image File(*.bmp;*.gif;*.jpg)|*.bmp;*.gif;*.jpg||";
const char kIconFilter[] = "Image file(*.bmp;*.ico)|*.bmp;*.ico||";
const char* const kFontSizes[] = {"9", "10", "11", "12", "13", "14", "16", "18", "20", "22", "24", "28", "32", "36"};
const int kIdmOpenTemplate = 1;
const int kIdmRecentTemplate = 2;  // .. + 9

const int kTextPanelIds[] = {IDC_UI_TEXT_LABEL, IDC_UI_TEXT,         IDC_UI_FONTSIZE,    IDC_UI_BOLD,
                             IDC_UI_ITALIC,     IDC_UI_UNDERLINE,    IDC_UI_TEXTCOLOR,   IDC_UI_LINK_LABEL,
                             IDC_UI_LINK,       IDC_UI_NORMAL_LABEL, IDC_UI_NORMAL_UL,   IDC_UI_NORMAL_COLOR,
                             IDC_UI_HOVER_LABEL, IDC_UI_HOVER_UL,    IDC_UI_HOVER_COLOR};
const int kImagePanelIds[] = {IDC_UI_IMAGE_LABEL, IDC_UI_IMAGE, IDC_UI_IMAGE_BROWSE, IDC_UI_ORIGINAL};
const int kButtonPanelIds[] = {IDC_UI_TEXT_LABEL, IDC_UI_TEXT};
const int kBackgroundPanelIds[] = {IDC_UI_BG_LABEL, IDC_UI_BG_COLOR};
const int kAllPanelIds[] = {IDC_UI_TEXT_LABEL,  IDC_UI_TEXT,        IDC_UI_FONTSIZE,     IDC_UI_BOLD,
                            IDC_UI_ITALIC,      IDC_UI_UNDERLINE,   IDC_UI_TEXTCOLOR,    IDC_UI_LINK_LABEL,
                            IDC_UI_LINK,        IDC_UI_NORMAL_LABEL, IDC_UI_NORMAL_UL,   IDC_UI_NORMAL_COLOR,
                            IDC_UI_HOVER_LABEL, IDC_UI_HOVER_UL,    IDC_UI_HOVER_COLOR,  IDC_UI_IMAGE_LABEL,
                            IDC_UI_IMAGE,       IDC_UI_IMAGE_BROWSE, IDC_UI_ORIGINAL,    IDC_UI_BG_LABEL,
                            IDC_UI_BG_COLOR,    IDC_UI_APPLY_ALL,   IDC_UI_APPLY};

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string program(path);
  return program.substr(0, program.find_last_of('\\') + 1);
}

bool FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The index of a text, image or button control within its kind.
int KindIndex(DesignControl control, DesignControl first) {
  return static_cast<int>(control) - static_cast<int>(first);
}

}  // namespace

UiDesignPage::UiDesignPage(HWND main_window, const PageFonts& fonts, std::function<std::string()> project_folder)
    : DesignerPage(main_window, fonts, nullptr, nullptr),
      project_folder_(std::move(project_folder)),
      designer_folder_(ProgramFolder()),
      design_(NewUiDesign()),
      template_design_(NewUiDesign()) {}

UiDesignPage::~UiDesignPage() {
  if (tooltip_) ::DestroyWindow(tooltip_);
}

BOOL UiDesignPage::OnInitDialog() {
  RECT area;
  ::GetWindowRect(Item(IDC_UI_CANVAS), &area);
  ::MapWindowPoints(nullptr, Hwnd(), reinterpret_cast<POINT*>(&area), 2);
  DesignCanvas::Hooks hooks;
  hooks.selection_changed = [this] { UpdatePanel(); };
  hooks.design_changed = [this] { MarkModified(); };
  hooks.image_path = [this](const std::string& source) { return PlacedImagePath(source, ImageFolders()); };
  canvas_ = std::make_unique<DesignCanvas>(&design_, &selection_, hooks);
  canvas_->Create(Hwnd(), area, IDC_UI_CANVAS + 100);
  FillCombo(Item(IDC_UI_FONTSIZE), kFontSizes, sizeof(kFontSizes) / sizeof(kFontSizes[0]));
  CreateToolTips();
  ReloadTemplateDesign();
  RefreshAll();
  return TRUE;
}

void UiDesignPage::CreateToolTips() {
  tooltip_ = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                               Hwnd(), nullptr, ::GetModuleHandleA(nullptr), nullptr);
  if (!tooltip_) return;
  for (int i = 0; i < 7; ++i) {
    TOOLINFOA tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = Hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(Item(IDC_UI_ALIGN0 + i));
    tool.lpszText = const_cast<char*>(AlignCommandTip(static_cast<AlignCommand>(i)));
    ::SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void UiDesignPage::LoadFrom(IniStore& project) {
  design_ = NewUiDesign();
  LoadUiDesign(project, &design_);
  // Paths inside the project (stored relative to it) become full paths;
  // anything outside stays as written and is never read.
  PlaceDesignImages(&design_, ImageFolders(), nullptr);
  images_folder_ = project_folder_();
  selection_.Clear();
  if (canvas_) canvas_->ForgetImages();
  ReloadTemplateDesign();
  RefreshAll();
  ClearModified();
}

void UiDesignPage::InitNewProject() {
  design_ = NewUiDesign();
  images_folder_ = project_folder_();
  selection_.Clear();
  ReloadTemplateDesign();
  RefreshAll();
  MarkModified();
}

bool UiDesignPage::SaveTo(IniStore& project) {
  design_.title = ItemText(IDC_UI_TITLE);
  design_.sysicon = ItemText(IDC_UI_SYSICON);
  CarryImagesTo(project_folder_());
  return SaveUiDesign(DesignRelativeTo(design_, project_folder_()), project);
}

// Save As into another folder: the pictures of the former project folder
// come along under the same relative paths, so the new project holds them.
void UiDesignPage::CarryImagesTo(const std::string& folder) {
  const std::string former = images_folder_;
  images_folder_ = folder;
  if (former.empty() || StoredNamesEqual(former, folder, true)) return;
  auto carry = [&](std::string& source) {
    const std::string relative = RelativeToFolder(source, former);
    const std::string target = relative == source ? std::string() : PlacedImagePath(relative, {folder});
    if (target.empty()) return;
    const size_t slash = target.find_last_of('\\');
    if (!FileExists(target) &&
        (!zipfs::MakeDirectories(target.substr(0, slash)) || !::CopyFileA(source.c_str(), target.c_str(), TRUE))) {
      return;
    }
    source = target;
  };
  carry(design_.sysicon);
  for (DesignWindow& window : design_.windows) {
    for (DesignImage& image : window.images) carry(image.source);
  }
  filling_ = true;
  SetItemText(IDC_UI_SYSICON, design_.sysicon);
  filling_ = false;
}

std::vector<std::string> UiDesignPage::ImageFolders() const {
  return {project_folder_(), designer_folder_ + "defui"};
}

std::string UiDesignPage::ImageInProject(const std::string& chosen) const {
  const std::string placed = PlacedImagePath(chosen, {project_folder_()});
  if (!placed.empty()) return placed;
  const std::string target = ImageCopyTarget(project_folder_(), chosen, &FileExists);
  const size_t slash = target.find_last_of('\\');
  if (!zipfs::MakeDirectories(target.substr(0, slash)) || !::CopyFileA(chosen.c_str(), target.c_str(), TRUE)) {
    ShowMessage(kImageCopyError + chosen);
    return std::string();
  }
  return target;
}

bool UiDesignPage::IsNavigationControl(HWND control) const {
  return control != Item(IDC_UI_TITLE) && control != Item(IDC_UI_SYSICON);
}

void UiDesignPage::ReloadTemplateDesign() {
  template_design_ = DesignForPackage(UiDesign{}, designer_folder_ + "defui");
  template_design_.current_window = design_.current_window;
}

void UiDesignPage::RefreshAll() {
  filling_ = true;
  SetItemText(IDC_UI_TITLE, design_.title);
  SetItemText(IDC_UI_SYSICON, design_.sysicon);
  SetChecked(Hwnd(), IDC_UI_CUSTOM, design_.use_custom);
  const UiDesign& named = design_.use_custom ? design_ : template_design_;
  SetItemText(IDC_UI_TPLNAME, named.template_name);
  SetItemText(IDC_UI_TPLAUTHOR, named.template_author);
  for (int i = 0; i < kWizardWindows; ++i) SetChecked(Hwnd(), IDC_UI_WIN0 + i, i == Window());
  filling_ = false;
  RefreshWindowControls();
}

void UiDesignPage::RefreshWindowControls() {
  filling_ = true;
  const bool custom = design_.use_custom;
  template_design_.current_window = design_.current_window;
  for (int i = 0; i < kWizardWindows; ++i) ::EnableWindow(Item(IDC_UI_WIN0 + i), custom);
  ::EnableWindow(Item(IDC_UI_HIDEWIN), custom);
  ::EnableWindow(Item(IDC_UI_USETPL), custom);
  ::EnableWindow(Item(IDC_UI_DEFTPL), custom);
  for (int i = 0; i < 7; ++i) ::EnableWindow(Item(IDC_UI_ALIGN0 + i), custom);
  const DesignWindow& window = (custom ? design_ : template_design_).windows[Window()];
  SetChecked(Hwnd(), IDC_UI_HIDEWIN, !window.attr.show);
  for (int i = 0; i < kOptionBoxCount; ++i) {
    const DesignControl control = kOptionBoxes[i].control;
    ::EnableWindow(Item(IDC_UI_OPTION0 + i), OptionBoxEnabled(design_, Window(), control));
    SetChecked(Hwnd(), IDC_UI_OPTION0 + i, ControlShown(window, control));
  }
  filling_ = false;
  if (canvas_) canvas_->SetEditable(custom, &template_design_);
  UpdatePanel();
}

void UiDesignPage::ShowPanel(AttributePanel panel) {
  for (int id : kAllPanelIds) ::ShowWindow(Item(id), SW_HIDE);
  auto show = [this](const int* ids, size_t count) {
    for (size_t i = 0; i < count; ++i) ::ShowWindow(Item(ids[i]), SW_SHOW);
  };
  switch (panel) {
    case AttributePanel::kText: show(kTextPanelIds, sizeof(kTextPanelIds) / sizeof(int)); break;
    case AttributePanel::kImage: show(kImagePanelIds, sizeof(kImagePanelIds) / sizeof(int)); break;
    case AttributePanel::kButton: show(kButtonPanelIds, sizeof(kButtonPanelIds) / sizeof(int)); break;
    case AttributePanel::kBackground: show(kBackgroundPanelIds, sizeof(kBackgroundPanelIds) / sizeof(int)); break;
    case AttributePanel::kNone: return;
  }
  ::ShowWindow(Item(IDC_UI_APPLY_ALL), SW_SHOW);
  ::ShowWindow(Item(IDC_UI_APPLY), SW_SHOW);
}

void UiDesignPage::UpdatePanel() {
  const AttributePanel panel = design_.use_custom ? PanelFor(design_, Window(), selection_) : AttributePanel::kNone;
  filling_ = true;
  const DesignWindow& window = CurrentWindow();
  const auto reference = static_cast<DesignControl>(selection_.Reference());
  switch (panel) {
    case AttributePanel::kText:
      FillTextPanel(window.texts[KindIndex(reference, DesignControl::kText0)]);
      break;
    case AttributePanel::kImage:
      SetItemText(IDC_UI_IMAGE, window.images[KindIndex(reference, DesignControl::kImage0)].source);
      break;
    case AttributePanel::kButton:
      SetItemText(IDC_UI_TEXT, window.buttons[KindIndex(reference, DesignControl::kButton0)].caption);
      break;
    case AttributePanel::kBackground:
      background_color_ = window.attr.background;
      ::InvalidateRect(Item(IDC_UI_BG_COLOR), nullptr, TRUE);
      break;
    case AttributePanel::kNone:
      break;
  }
  filling_ = false;
  ShowPanel(panel);
}

void UiDesignPage::FillTextPanel(const TextSkin& text) {
  const TextPanel panel = TextPanelFrom(text);
  SetItemText(IDC_UI_TEXT, panel.text);
  SetItemText(IDC_UI_FONTSIZE, panel.font_height > 0 ? std::to_string(panel.font_height) : std::string());
  SetChecked(Hwnd(), IDC_UI_BOLD, panel.bold);
  SetChecked(Hwnd(), IDC_UI_ITALIC, panel.italic);
  SetChecked(Hwnd(), IDC_UI_UNDERLINE, panel.underline);
  SetItemText(IDC_UI_LINK, panel.url);
  SetChecked(Hwnd(), IDC_UI_NORMAL_UL, panel.normal_underline);
  SetChecked(Hwnd(), IDC_UI_HOVER_UL, panel.hover_underline);
  text_color_ = panel.text_color;
  normal_color_ = panel.normal_color;
  hover_color_ = panel.hover_color;
  for (int id : {IDC_UI_TEXTCOLOR, IDC_UI_NORMAL_COLOR, IDC_UI_HOVER_COLOR}) ::InvalidateRect(Item(id), nullptr, TRUE);
}

TextPanel UiDesignPage::ReadTextPanel() const {
  TextPanel panel;
  panel.text = ItemText(IDC_UI_TEXT);
  panel.font_height = std::atoi(ControlText(Item(IDC_UI_FONTSIZE)).c_str());
  panel.bold = IsChecked(Hwnd(), IDC_UI_BOLD);
  panel.italic = IsChecked(Hwnd(), IDC_UI_ITALIC);
  panel.underline = IsChecked(Hwnd(), IDC_UI_UNDERLINE);
  panel.text_color = text_color_;
  panel.url = ItemText(IDC_UI_LINK);
  panel.normal_underline = IsChecked(Hwnd(), IDC_UI_NORMAL_UL);
  panel.normal_color = normal_color_;
  panel.hover_underline = IsChecked(Hwnd(), IDC_UI_HOVER_UL);
  panel.hover_color = hover_color_;
  return panel;
}

void UiDesignPage::DesignChanged() {
  MarkModified();
  if (canvas_) canvas_->Redraw();
}

void UiDesignPage::ShowMessage(const std::string& text) const { Ask(text, MB_OK | MB_ICONWARNING); }

COLORREF* UiDesignPage::ColorOf(int id) {
  switch (id) {
    case IDC_UI_TEXTCOLOR: return &text_color_;
    case IDC_UI_NORMAL_COLOR: return &normal_color_;
    case IDC_UI_HOVER_COLOR: return &hover_color_;
    case IDC_UI_BG_COLOR: return &background_color_;
  }
  return nullptr;
}

INT_PTR UiDesignPage::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DRAWITEM) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
    const COLORREF* color = ColorOf(static_cast<int>(item->CtlID));
    if (!color) return FALSE;
    RECT rect = item->rcItem;
    ::DrawFrameControl(item->hDC, &rect, DFC_BUTTON,
                       DFCS_BUTTONPUSH | ((item->itemState & ODS_SELECTED) ? DFCS_PUSHED : 0));
    ::InflateRect(&rect, -4, -4);
    ScopedBrush fill(::CreateSolidBrush(*color));
    ::FillRect(item->hDC, &rect, fill.Get());
    SetResult(TRUE);
    return TRUE;
  }
  return DesignerPage::OnMessage(msg, wp, lp);
}

bool UiDesignPage::OnCommand(int id, int code, HWND control) {
  if (filling_) return true;
  if (id >= IDC_UI_WIN0 && id < IDC_UI_WIN0 + kWizardWindows) {
    if (code == BN_CLICKED && IsChecked(Hwnd(), id) && Window() != id - IDC_UI_WIN0) {
      design_.current_window = id - IDC_UI_WIN0;
      selection_.Clear();
      RefreshWindowControls();
    }
    return true;
  }
  if (id >= IDC_UI_OPTION0 && id < IDC_UI_OPTION0 + kOptionBoxCount) {
    if (code == BN_CLICKED) OnOptionBox(id - IDC_UI_OPTION0);
    return true;
  }
  if (id >= IDC_UI_ALIGN0 && id < IDC_UI_ALIGN0 + 7) {
    if (!AlignSelection(design_, Window(), selection_, static_cast<AlignCommand>(id - IDC_UI_ALIGN0)).empty()) {
      DesignChanged();
    }
    return true;
  }
  switch (id) {
    case IDC_UI_HIDEWIN:
      if (code == BN_CLICKED) {
        CurrentWindow().attr.show = !IsChecked(Hwnd(), IDC_UI_HIDEWIN);
        DesignChanged();
      }
      return true;
    case IDC_UI_CUSTOM:
      if (code == BN_CLICKED) {
        design_.use_custom = IsChecked(Hwnd(), IDC_UI_CUSTOM);
        selection_.Clear();
        ReloadTemplateDesign();
        MarkModified();
        RefreshAll();
      }
      return true;
    case IDC_UI_TITLE:
      if (code == EN_CHANGE) design_.title = ItemText(IDC_UI_TITLE);
      return true;
    case IDC_UI_SYSICON:
      if (code == EN_CHANGE) design_.sysicon = ItemText(IDC_UI_SYSICON);
      return true;
    case IDC_UI_APPLY:
    case IDC_UI_APPLY_ALL:
      OnApply(id == IDC_UI_APPLY_ALL);
      return true;
    case IDC_UI_TEXTCOLOR:
    case IDC_UI_NORMAL_COLOR:
    case IDC_UI_HOVER_COLOR:
    case IDC_UI_BG_COLOR:
      OnChooseColor(id);
      return true;
    case IDC_UI_IMAGE_BROWSE: OnBrowseImage(); return true;
    case IDC_UI_ORIGINAL: OnOriginalSize(); return true;
    case IDC_UI_SYSICON_BROWSE: OnBrowseSystemIcon(); return true;
    case IDC_UI_PREVIEW: OnPreview(); return true;
    case IDC_UI_SAVETPL: OnSaveTemplate(); return true;
    case IDC_UI_SELTPL: OnSelectTemplate(); return true;
    case IDC_UI_USETPL: OnUseTemplate(false); return true;
    case IDC_UI_DEFTPL: OnUseTemplate(true); return true;
  }
  return DesignerPage::OnCommand(id, code, control);
}

void UiDesignPage::OnOptionBox(int index) {
  const DesignControl control = kOptionBoxes[index].control;
  const bool shown = IsChecked(Hwnd(), IDC_UI_OPTION0 + index);
  ControlShown(CurrentWindow(), control) = shown;
  if (!shown && selection_.Contains(control)) {
    std::vector<DesignControl> rest;
    for (DesignControl item : selection_.Items()) {
      if (item != control) rest.push_back(item);
    }
    selection_.Set(rest);
    UpdatePanel();
  }
  DesignChanged();
}

void UiDesignPage::OnApply(bool all_windows) {
  const auto reference = static_cast<DesignControl>(selection_.Reference());
  switch (PanelFor(design_, Window(), selection_)) {
    case AttributePanel::kText:
      ApplyTextPanel(design_, Window(), KindIndex(reference, DesignControl::kText0), ReadTextPanel(), all_windows);
      break;
    case AttributePanel::kImage: {
      const std::string source = ItemText(IDC_UI_IMAGE);
      if (!source.empty()) {
        const std::string problem = CheckImageFile(source);
        if (!problem.empty()) {
          ShowMessage(problem);
          return;
        }
      }
      const std::string placed = source.empty() ? source : ImageInProject(source);
      if (!source.empty() && placed.empty()) return;
      SetItemText(IDC_UI_IMAGE, placed);
      ApplyImageFile(design_, Window(), KindIndex(reference, DesignControl::kImage0), placed, all_windows);
      break;
    }
    case AttributePanel::kButton:
      ApplyButtonCaption(design_, Window(), KindIndex(reference, DesignControl::kButton0), ItemText(IDC_UI_TEXT),
                         all_windows);
      break;
    case AttributePanel::kBackground:
      ApplyBackground(design_, Window(), background_color_, all_windows);
      break;
    case AttributePanel::kNone:
      return;
  }
  DesignChanged();
}

void UiDesignPage::OnChooseColor(int id) {
  COLORREF* color = ColorOf(id);
  CHOOSECOLORA choose{};
  choose.lStructSize = sizeof(choose);
  choose.hwndOwner = Hwnd();
  choose.rgbResult = *color;
  choose.lpCustColors = custom_colors_;
  choose.Flags = CC_RGBINIT | CC_FULLOPEN;
  if (!::ChooseColorA(&choose)) return;
  *color = choose.rgbResult;
  ::InvalidateRect(Item(id), nullptr, TRUE);
}

void UiDesignPage::OnBrowseImage() {
  const std::string path = ChooseOpenFile(Hwnd(), kImageFilter, "bmp");
  if (path.empty()) return;
  const std::string problem = CheckImageFile(path);
  if (!problem.empty()) {
    ShowMessage(problem);
    return;
  }
  const std::string placed = ImageInProject(path);
  if (!placed.empty()) SetItemText(IDC_UI_IMAGE, placed);
}

void UiDesignPage::OnOriginalSize() {
  // The picture is read: only from the project's or the templates' folder.
  UiDesign placed = design_;
  std::string error;
  if (!PlaceDesignImages(&placed, ImageFolders(), &error)) {
    ShowMessage(error);
    return;
  }
  RectChange change{};
  if (ApplyOriginalSize(design_, Window(), selection_, &change)) DesignChanged();
}

void UiDesignPage::OnBrowseSystemIcon() {
  const std::string path = ChooseOpenFile(Hwnd(), kIconFilter, "bmp");
  if (path.empty()) return;
  const std::string problem = CheckSystemIconFile(path);
  if (!problem.empty()) {
    ShowMessage(problem);
    return;
  }
  const std::string placed = ImageInProject(path);
  if (placed.empty()) return;
  filling_ = true;
  SetItemText(IDC_UI_SYSICON, placed);
  filling_ = false;
  design_.sysicon = placed;
  MarkModified();
}

void UiDesignPage::OnPreview() {
  design_.title = ItemText(IDC_UI_TITLE);
  design_.sysicon = ItemText(IDC_UI_SYSICON);
  UiDesign package_design = DesignForPackage(design_, designer_folder_ + "defui");
  std::string folder, error;
  if (!PlaceDesignImages(&package_design, ImageFolders(), &error)) {
    ShowMessage(error);
    ShowMessage(kUiDesignError);
    return;
  }
  if (!WritePreviewPackage(package_design, project_folder_(), DesignerVersion(), &folder, &error)) {
    if (error != kCreateUiFileError) {
      ShowMessage(error);
      error = kUiDesignError;
    }
    ShowMessage(error);
    return;
  }
  const std::string updater = designer_folder_ + "updateApp\\update.exe";
  const std::string target = zipfs::JoinPath(folder, "update.exe");
  if (!::CopyFileA(updater.c_str(), target.c_str(), FALSE)) {
    ShowMessage(std::string(kCopyFileError) + updater);
    return;
  }
  std::string command = "\"" + target + "\" " + kPreviewCommandLine;
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(target.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process)) {
    ShowMessage("Failed to start the preview: " + target);
    return;
  }
  ScopedHandle thread(process.hThread);
  ScopedHandle child(process.hProcess);
}

void UiDesignPage::OnSaveTemplate() {
  NewTemplateDialog names;
  if (names.RunModal(MainWindow(), IDD_NEW_TEMPLATE) != IDOK) return;
  const std::string umb = designer_folder_ + "umb";
  zipfs::MakeDirectories(umb);
  const std::string path = ChooseSaveFile(Hwnd(), kTemplateFilter, "umb", umb + "\\NewUmb");
  if (path.empty()) return;
  if (FileExists(path) && Ask(kOverwriteQuestion, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  design_.title = ItemText(IDC_UI_TITLE);
  design_.sysicon = ItemText(IDC_UI_SYSICON);
  std::string error;
  UiDesign placed = design_;
  if (!PlaceDesignImages(&placed, ImageFolders(), &error) ||
      !SaveUiTemplate(placed, names.Name(), names.Author(), DesignerVersion(), path, &error)) {
    ShowMessage(error);
  }
}

void UiDesignPage::OnSelectTemplate() {
  const std::string status_folder = designer_folder_ + "system";
  IniStore status;
  status.SetFileName(status_folder + "\\status.cfg");
  const std::vector<std::string> recent = ReadRecentTemplates(status);
  std::string path;
  bool open_dialog = recent.empty();
  if (!recent.empty()) {
    ScopedMenu menu(::CreatePopupMenu());
    ::AppendMenuA(menu.Get(), MF_STRING, kIdmOpenTemplate, "&Open template file...");
    ::AppendMenuA(menu.Get(), MF_SEPARATOR, 0, nullptr);
    for (size_t i = 0; i < recent.size(); ++i) {
      ::AppendMenuA(menu.Get(), MF_STRING, kIdmRecentTemplate + i, recent[i].c_str());
    }
    POINT at;
    ::GetCursorPos(&at);
    const UINT chosen = static_cast<UINT>(
        ::TrackPopupMenu(menu.Get(), TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN, at.x, at.y, 0, Hwnd(), nullptr));
    if (chosen == 0) return;
    if (chosen == kIdmOpenTemplate) {
      open_dialog = true;
    } else {
      path = recent[chosen - kIdmRecentTemplate];
    }
  }
  if (open_dialog) {
    const std::string umb = designer_folder_ + "umb";
    zipfs::MakeDirectories(umb);
    char previous[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    ::SetCurrentDirectoryA(umb.c_str());
    path = ChooseOpenFile(Hwnd(), kTemplateFilter, "umb");
    ::SetCurrentDirectoryA(previous);
    if (path.empty()) return;
  }
  OpenTemplate(path);
}

void UiDesignPage::OpenTemplate(const std::string& path) {
  UiDesign opened = template_design_;
  std::string error;
  if (!OpenUiTemplate(path, designer_folder_ + "defui", &opened, &error)) {
    ShowMessage(error);
    return;
  }
  if (canvas_) canvas_->ForgetImages();
  template_design_ = opened;
  design_.template_name = opened.template_name;
  design_.template_author = opened.template_author;
  MarkModified();
  const std::string status_folder = designer_folder_ + "system";
  zipfs::MakeDirectories(status_folder);
  IniStore status;
  status.SetFileName(status_folder + "\\status.cfg");
  std::vector<std::string> recent;
  for (int i = 0; i < kMaxRecentTemplates; ++i) {
    const std::string entry = status.GetString("umb", "name" + std::to_string(i));
    if (entry.empty()) break;
    recent.push_back(entry);
  }
  WriteRecentTemplates(status, PromoteRecentTemplate(recent, path));
  RefreshAll();
}

void UiDesignPage::OnUseTemplate(bool built_in) {
  const std::string defui = designer_folder_ + "defui\\";
  UiDesign loaded = design_;
  if (built_in) {
    // The built-in design ships as "system.dat"; without it the design of a
    // new project is the default.
    if (!LoadDesignFromUiFile(defui + kDefaultDesignFile, &loaded)) {
      loaded = NewUiDesign();
      loaded.current_window = design_.current_window;
      loaded.use_custom = design_.use_custom;
    }
  } else if (!LoadDesignFromUiFile(defui + kTemplateEntry, &loaded)) {
    ShowMessage(std::string(kNotFoundMessage) + defui + kTemplateEntry);
    return;
  }
  if (canvas_) canvas_->ForgetImages();
  design_ = loaded;
  selection_.Clear();
  MarkModified();
  RefreshAll();
}

}  // namespace corvane
