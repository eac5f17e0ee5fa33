#include "designer/build_test_page_win.h"
#include "win32/file_version.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdlib>
#include <ctime>

#include "designer/command_line_build_win.h"
#include "designer/package_build.h"
#include "designer/release_control.h"
#include "designer/resource.h"
#include "shared/cng_crypto_win.h"
#include "shared/ini_store.h"
#include "shared/text_util.h"
#include "updater/engine/config/rollout.h"

namespace corvane {

namespace {

// The worker's reports, posted to the page (the worker never touches a
// control). Strings travel as heap copies the page takes over.
constexpr UINT kBuildProgressMessage = WM_USER + 30;
constexpr UINT kBuildBoxMessage = WM_USER + 31;
constexpr UINT kBuildDoneMessage = WM_USER + 32;

// What the updater posts back to the window named by /HWND:.
constexpr UINT kFirstUpdaterMessage = WM_USER + 996;
constexpr UINT kLastUpdaterMessage = WM_USER + 999;

class PostingObserver : public PackageBuildObserver {
 public:
  explicit PostingObserver(HWND page) : page_(page) {}
  void Progress(int position) override { ::PostMessageA(page_, kBuildProgressMessage, position, 0); }
  void Step(const std::string&) override {}
  void Message(const std::string& text) override {
    // Sent, so that the boxes follow one another as the steps do.
    ::SendMessageA(page_, kBuildBoxMessage, 0, reinterpret_cast<LPARAM>(&text));
  }

 private:
  HWND page_;
};

bool FileExistsWithContent(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  return !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && (data.nFileSizeLow || data.nFileSizeHigh);
}

}  // namespace

BuildTestPage::BuildTestPage(HWND main_window, const PageFonts& fonts, BuildTestHost host)
    : DesignerPage(main_window, fonts, "Upgrade Package", "Test"), host_(std::move(host)) {}

BuildTestPage::~BuildTestPage() { JoinWorker(); }

void BuildTestPage::JoinWorker() {
  if (worker_ && worker_->joinable()) worker_->join();
  worker_.reset();
}

BOOL BuildTestPage::OnInitDialog() {
  ::SendMessageA(Item(IDC_BT_PROGRESS), PBM_SETRANGE32, 0, kBuildProgressMax);
  ShowFields();
  return TRUE;
}

// The key buttons change the key files beside the project, not the project.
bool BuildTestPage::IsNavigationControl(HWND control) const {
  return control == Item(IDC_BT_MESSAGES) || control == Item(IDC_BT_REPLACE_KEY) ||
         control == Item(IDC_BT_COMPLETE_KEY);
}

void BuildTestPage::TakeFields() {
  if (showing_) return;
  values_.output_folder = ItemText(IDC_BT_OUTPUT);
  values_.local_mode = IsChecked(Hwnd(), IDC_BT_BINARY) ? 1 : 0;
  values_.sign_config = IsChecked(Hwnd(), IDC_BT_SIGN) ? 1 : 0;
  values_.rollout = RolloutPercentage(ItemText(IDC_BT_ROLLOUT));
  values_.rollout_key = ItemText(IDC_BT_ROLLOUT_KEY);
  values_.sign_valid_days = std::atoi(ItemText(IDC_BT_VALID_DAYS).c_str());
  for (size_t i = 0; i < kTestOptionCount; ++i) checks_[i] = IsChecked(Hwnd(), IDC_BT_OPTION + static_cast<int>(i));
}

void BuildTestPage::ShowFields() {
  showing_ = true;
  SetItemText(IDC_BT_OUTPUT, values_.output_folder);
  SetChecked(Hwnd(), IDC_BT_TEXT, values_.local_mode == 0);
  SetChecked(Hwnd(), IDC_BT_BINARY, values_.local_mode == 1);
  SetChecked(Hwnd(), IDC_BT_SIGN, values_.sign_config != 0);
  SetItemText(IDC_BT_ROLLOUT, std::to_string(values_.rollout));
  SetItemText(IDC_BT_ROLLOUT_KEY, values_.rollout_key);
  SetItemText(IDC_BT_VALID_DAYS, std::to_string(values_.sign_valid_days));
  for (size_t i = 0; i < kTestOptionCount; ++i) SetChecked(Hwnd(), IDC_BT_OPTION + static_cast<int>(i), checks_[i]);
  showing_ = false;
}

void BuildTestPage::Compose() {
  TakeFields();
  const TestCommand command =
      ComposeTestCommandLine(checks_, static_cast<int64_t>(reinterpret_cast<intptr_t>(Hwnd())), values_.output_folder);
  options_ = command.options;
  values_.test_options = command.test_options;
  SetItemText(IDC_BT_COMMAND, command.command_line);
  MarkModified();
}

void BuildTestPage::FollowFolder() {
  if (host_.output) host_.output(values_.output_folder);
  Compose();
}

void BuildTestPage::LoadFrom(IniStore& project) {
  const ProjectLocation location = host_.project();
  values_ = BuildTestValues::Load(project, location.folder);
  if (host_.output) host_.output(values_.output_folder);
  SetItemText(IDC_BT_COMMAND, values_.output_folder + "update.exe");
  const bool compose = TestOptionsToChecks(values_.test_options, &checks_);
  ShowFields();
  if (compose) Compose();
  ClearModified();
}

void BuildTestPage::InitNewProject() {
  values_.output_folder = DefaultOutputFolder(host_.project().folder);
  if (host_.output) host_.output(values_.output_folder);
  SetItemText(IDC_BT_COMMAND, values_.output_folder + "update.exe");
  const bool compose = TestOptionsToChecks(values_.test_options, &checks_);
  ShowFields();
  if (compose) Compose();
  MarkModified();
}

bool BuildTestPage::SaveTo(IniStore& project) {
  if (!Modified()) return true;
  TakeFields();
  if (!values_.Save(project)) return false;
  ClearModified();
  return true;
}

void BuildTestPage::StartBuild() {
  TakeFields();
  if (values_.output_folder.empty()) return;
  JoinWorker();
  ::EnableWindow(Item(IDC_BT_BUILD), FALSE);
  HWND progress = Item(IDC_BT_PROGRESS);
  ::SendMessageA(progress, PBM_SETRANGE32, 0, kBuildProgressMax);
  ::SendMessageA(progress, PBM_SETPOS, 1, 0);
  ::ShowWindow(progress, SW_SHOW);
  SetItemText(IDC_BT_STATUS, "Building...");
  host_.save();  // the build reads the project file, not the controls

  PackageBuildSettings settings;
  settings.project_file = host_.project().file;
  settings.output_folder = values_.output_folder;
  settings.local_mode = values_.local_mode;
  settings.designer_folder = host_.designer_folder;
  settings.designer_version = host_.designer_version;
  HWND page = Hwnd();
  worker_ = std::make_unique<std::thread>([settings, page]() mutable {
    PostingObserver observer(page);
    WinFolderOps folders;
    CngP256 crypto;
    settings.crypto = &crypto;
    CngRandom random;
    settings.random = &random;
    auto* result = new PackageBuildResult(BuildPackage(settings, observer, folders));
    if (!::PostMessageA(page, kBuildDoneMessage, 0, reinterpret_cast<LPARAM>(result))) delete result;
  });
}

void BuildTestPage::ReplaceKey() {
  const std::string project_file = host_.project().file;
  if (project_file.empty()) return;
  CngP256 crypto;
  std::string message;
  StartKeyReplacement(project_file, crypto, &message);
  Ask(message, MB_OK | MB_ICONINFORMATION);
}

void BuildTestPage::CompleteKeyReplacementAsked() {
  const std::string project_file = host_.project().file;
  if (project_file.empty()) return;
  std::string message;
  if (!KeyReplacementUnderWay(project_file)) {
    CompleteKeyReplacement(project_file, &message);
    Ask(message, MB_OK | MB_ICONINFORMATION);
    return;
  }
  if (Ask("Installations that have not yet accepted a release announcing the next key will refuse every "
          "configuration signed from now on and need a new package.\nComplete the key replacement?",
          MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return;
  }
  CompleteKeyReplacement(project_file, &message);
  Ask(message, MB_OK | MB_ICONINFORMATION);
}

void BuildTestPage::OpenFolder() {
  TakeFields();
  // A relative output folder lies beside the project, as the build puts it.
  std::string folder = ResolveOutputFolder(host_.project().file, values_.output_folder);
  if (!folder.empty()) folder.pop_back();
  const DWORD attributes = folder.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    Ask("The folder does not exist. Build a upgrade package first.", MB_OK | MB_ICONINFORMATION);
    return;
  }
  ::ShellExecuteA(Hwnd(), "open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void BuildTestPage::Launch() {
  TakeFields();
  const std::string output = ResolveOutputFolder(host_.project().file, values_.output_folder);
  const std::string program = output + "update.exe";
  if (!FileExistsWithContent(program)) {
    Ask("Does not exist program: " + program, MB_OK | MB_ICONINFORMATION);
    return;
  }
  SetItemText(IDC_BT_STATUS, "");
  const std::string folder = program.substr(0, program.find_last_of('\\') + 1);
  SetItemText(IDC_BT_MESSAGES, "");
  ::DeleteFileA((output + "update.log").c_str());
  const std::string version = FileVersionText(program);
  if (!version.empty()) AppendMessageLine("The update.exe's version: " + version);
  const std::string parameters = Trim(options_);
  ::ShellExecuteA(Hwnd(), "open", "update.exe", parameters.empty() ? nullptr : parameters.c_str(), folder.c_str(),
                  SW_SHOWNORMAL);
}

void BuildTestPage::View(int which) {
  TakeFields();
  const std::string output = ResolveOutputFolder(host_.project().file, values_.output_folder);
  std::string path, message;
  if (which == 0) {
    path = output + "update.dat";
    message = "Does not exist file: " + path + "\nPlease build local configuration file with Text mode.";
  } else {
    path = output + (which == 1 ? host_.server_file_name() : std::string("update.log"));
    message = "Does not exist file: " + path;
  }
  if (!FileExistsWithContent(path)) {
    Ask(message, MB_OK | MB_ICONINFORMATION);
    return;
  }
  // Quoted, so that folders with blanks open too.
  const std::string command = "Notepad.exe \"" + path + "\"";
  ::WinExec(command.c_str(), SW_SHOWNORMAL);
}

void BuildTestPage::AppendMessageLine(const std::string& text) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_s(&local, &now);
  const std::string line = TimeStampedLine(local.tm_hour, local.tm_min, local.tm_sec, text);
  HWND box = Item(IDC_BT_MESSAGES);
  const LRESULT end = ::GetWindowTextLengthA(box);
  ::SendMessageA(box, EM_SETSEL, end, end);
  ::SendMessageA(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
  ::SendMessageA(box, EM_SCROLLCARET, 0, 0);
}

bool BuildTestPage::OnCommand(int id, int code, HWND control) {
  switch (id) {
    case IDC_BT_OUTPUT:
      if (showing_) return true;
      if (code == EN_CHANGE) {
        TakeFields();
        FollowFolder();
      } else if (code == EN_KILLFOCUS) {
        TakeFields();
        const std::string with_slash = WithTrailingBackslash(values_.output_folder);
        if (with_slash != values_.output_folder) {
          values_.output_folder = with_slash;
          showing_ = true;
          SetItemText(IDC_BT_OUTPUT, with_slash);
          showing_ = false;
          FollowFolder();
        }
      }
      return true;
    case IDC_BT_BROWSE: {
      const std::string folder = ChooseFolder(Hwnd(), "Select folder");
      if (!folder.empty()) {
        values_.output_folder = WithTrailingBackslash(folder);
        showing_ = true;
        SetItemText(IDC_BT_OUTPUT, values_.output_folder);
        showing_ = false;
        FollowFolder();
      }
      return true;
    }
    case IDC_BT_TEXT:
    case IDC_BT_BINARY:
    case IDC_BT_SIGN:
      if (code == BN_CLICKED) {
        TakeFields();
        MarkModified();
      }
      return true;
    case IDC_BT_ROLLOUT:
    case IDC_BT_ROLLOUT_KEY:
    case IDC_BT_VALID_DAYS:
      if (code == EN_CHANGE && !showing_) {
        TakeFields();
        MarkModified();
      }
      return true;
    case IDC_BT_REPLACE_KEY: ReplaceKey(); return true;
    case IDC_BT_COMPLETE_KEY: CompleteKeyReplacementAsked(); return true;
    case IDC_BT_OPEN: OpenFolder(); return true;
    case IDC_BT_BUILD: StartBuild(); return true;
    case IDC_BT_LAUNCH: Launch(); return true;
    case IDC_BT_VIEW + 0:
    case IDC_BT_VIEW + 1:
    case IDC_BT_VIEW + 2: View(id - IDC_BT_VIEW); return true;
    default:
      if (id >= IDC_BT_OPTION && id < IDC_BT_OPTION + static_cast<int>(kTestOptionCount)) {
        Compose();
        return true;
      }
      return DesignerPage::OnCommand(id, code, control);
  }
}

INT_PTR BuildTestPage::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg >= kFirstUpdaterMessage && msg <= kLastUpdaterMessage) {
    AppendMessageLine(DescribeUpdaterMessage(msg - WM_USER, static_cast<int64_t>(wp), static_cast<int64_t>(lp)));
    return TRUE;
  }
  switch (msg) {
    case kBuildProgressMessage:
      ::SendMessageA(Item(IDC_BT_PROGRESS), PBM_SETPOS, wp, 0);
      return TRUE;
    case kBuildBoxMessage:
      Ask(*reinterpret_cast<const std::string*>(lp), MB_OK | MB_ICONINFORMATION);
      return TRUE;
    case kBuildDoneMessage: {
      std::unique_ptr<PackageBuildResult> result(reinterpret_cast<PackageBuildResult*>(lp));
      JoinWorker();
      if (result->ok) {
        SetItemText(IDC_BT_STATUS, BuildCompleteText(result->output_folder));
        ::ShowWindow(Item(IDC_BT_PROGRESS), SW_HIDE);
      }
      ::EnableWindow(Item(IDC_BT_BUILD), TRUE);
      return TRUE;
    }
    default:
      return DesignerPage::OnMessage(msg, wp, lp);
  }
}

}  // namespace corvane
