// The updater's start-up sequence and closing sequence.
#include "updater/engine/updater_app.h"

#include <shlobj.h>

#include <vector>

#include "shared/text_util.h"
#include "updater/engine/command_line.h"
#include "updater/engine/host_messages.h"
#include "updater/engine/self_update/self_update.h"
#include "updater/engine/stages/stage_journal.h"
#include "updater/engine/stages/stage_platform_win.h"
#include "updater/engine/stages/stage_recovery.h"
#include "updater/ui/animated_icon.h"
#include "updater/ui/system_tray.h"
#include "win32/file_version.h"

namespace corvane {

namespace {

UpdaterApp* g_app = nullptr;

std::string ModulePath() {
  std::vector<char> buf(MAX_PATH);
  for (;;) {
    DWORD len = ::GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (len == 0) return std::string();
    if (len < buf.size()) return std::string(buf.data(), len);
    buf.resize(buf.size() * 2);
  }
}

std::string SpecialFolder(int csidl) {
  char path[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE)) return std::string();
  return path;
}

// The module path as one spelling per installation: full, with long names
// for 8.3 short ones, folded to lower case the way the file system compares
// names. A second start through "C:\APP\UPDATE.EXE" or "C:\APP~1\..."
// must find the first one's mutex.
std::string CanonicalModulePath(const std::string& path) {
  std::string full = path;
  DWORD needed = ::GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed > 0) {
    std::vector<char> buffer(needed + 1, '\0');
    const DWORD length = ::GetFullPathNameA(path.c_str(), needed + 1, buffer.data(), nullptr);
    if (length > 0 && length <= needed) full.assign(buffer.data(), length);
  }
  needed = ::GetLongPathNameA(full.c_str(), nullptr, 0);
  if (needed > 0) {
    std::vector<char> buffer(needed + 1, '\0');
    const DWORD length = ::GetLongPathNameA(full.c_str(), buffer.data(), needed + 1);
    if (length > 0 && length <= needed) full.assign(buffer.data(), length);
  }
  if (!full.empty()) ::CharLowerBuffA(&full[0], static_cast<DWORD>(full.size()));
  return full;
}

bool IsNonEmptyFile(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  return data.nFileSizeHigh != 0 || data.nFileSizeLow != 0;
}

}  // namespace

UpdaterApp& App() { return *g_app; }

UpdaterApp::UpdaterApp() { g_app = this; }

UpdaterApp::~UpdaterApp() {
  if (g_app == this) g_app = nullptr;
}

std::string UpdaterApp::GetSwitchValue(const std::string& name) const {
  return GetSwitchValueIn(command_line, name);
}

std::string UpdaterApp::ExpandDirectoryConstants(const std::string& path) const {
  return ExpandDirectoryConstantsIn(path, directory_constants);
}

bool UpdaterApp::AcquireInstanceMutex() {
  const std::string name = InstanceMutexName(CanonicalModulePath(module_path));
  instance_mutex_.Reset(::CreateMutexA(nullptr, TRUE, name.c_str()));
  if (!instance_mutex_) return false;
  // Another updater of the same installation (or its self-update copy) is
  // running: give it about seven seconds to finish before giving up quietly.
  for (int retry = 0; ::GetLastError() == ERROR_ALREADY_EXISTS; ++retry) {
    if (retry == 6) {
      ::Sleep(1000);
      ::ReleaseMutex(instance_mutex_.Get());
      instance_mutex_.Reset();
      return false;
    }
    ::ReleaseMutex(instance_mutex_.Get());
    instance_mutex_.Reset();
    ::Sleep(1000);
    instance_mutex_.Reset(::CreateMutexA(nullptr, TRUE, name.c_str()));
    if (!instance_mutex_) return false;
  }
  return true;
}

void UpdaterApp::DeriveFolders() {
  size_t slash = module_path.rfind('\\');
  folder = slash == std::string::npos ? std::string() : module_path.substr(0, slash + 1);
  own_file_name = slash == std::string::npos ? module_path : module_path.substr(slash + 1);
  file_version = FileVersionText(module_path);

  char buf[MAX_PATH] = {};
  std::string* c = directory_constants;
  c[kDirParent] = WithoutTrailingBackslash(ParentOfFolder(folder));
  c[kDirAppDriver] = c[kDirParent].substr(0, 2);
  c[kDirWin] = ::GetWindowsDirectoryA(buf, MAX_PATH) ? WithoutTrailingBackslash(buf) : "";
  c[kDirSys] = ::GetSystemDirectoryA(buf, MAX_PATH) ? WithoutTrailingBackslash(buf) : "";
  c[kDirTemp] = ::GetTempPathA(MAX_PATH, buf) ? WithoutTrailingBackslash(buf) : "";
  c[kDirPf] = WithoutTrailingBackslash(SpecialFolder(0x26));
  c[kDirFont] = WithoutTrailingBackslash(SpecialFolder(0x14));
  c[kDirMyDoc] = WithoutTrailingBackslash(SpecialFolder(0x05));
  c[kDirDesktop] = WithoutTrailingBackslash(SpecialFolder(0x00));
  temp_folder = c[kDirTemp] + "\\~tovrel_tmp\\";
}

CommandLineOptions UpdaterApp::ReadCommandLine() {
  const CommandLineOptions options = ParseCommandLine(command_line);
  host_window = reinterpret_cast<HWND>(static_cast<INT_PTR>(options.host_window));
  if (options.run_mode == 2) {
    run_mode = RunCheckOnly;
  } else if (options.run_mode == 1) {
    run_mode = RunPreview;
  }
  if (options.log) log.SetEnabled(true);
  return options;
}

bool UpdaterApp::RunProgramIfPresent(const std::string& configured) {
  const std::string path = ExpandDirectoryConstants(configured);
  if (path.empty() || !IsNonEmptyFile(path)) return false;
  WriteLog("Execute the program: " + path);
  RunByExtension(path);
  return true;
}

void UpdaterApp::Run(const char* cmd) {
  command_line = cmd ? cmd : "";
  module_path = ModulePath();
  if (!AcquireInstanceMutex()) return;

  DeriveFolders();
  const CommandLineOptions options = ReadCommandLine();
  // The icon's window only where "/Tray" asks for the icon: the first
  // window of a process is the dearest thing a check that finds nothing
  // would do.
  tray_created = CreateHiddenTray(options.tray);
  tray_on = options.tray && tray_created;
  if (options.self_update) {
    RunSelfUpdateCopy(*this);
    Close();
    return;
  }
  if (options.self_finish) FinishSelfUpdate(*this);
  if (run_mode != RunPreview) RecoverInterruptedStage();

  if (tray_on) ShowTray();

  if (!ReadConfiguration()) {
    // The check already said why; the post of this failure has no log line.
    SendResult(kResultNotCompleted, /*quiet=*/true);
    Close();
    return;
  }
  if (!ParseUiConfiguration()) {
    SendResult(kResultNotCompleted);
    Close();
    return;
  }
  RunOutcome();
  Close();
}

void UpdaterApp::RecoverInterruptedStage() {
  // Under the instance mutex: a journal found now belongs to a run that is
  // gone. It is settled before the local configuration is read, since an
  // interrupted stage may have written its versions already.
  std::unique_ptr<StageFileSystem> files = MakeWindowsFileSystem();
  std::vector<std::string> lines;
  RecoverInterruptedUpdate(*files, folder + kJournalName, &lines);
  for (const std::string& line : lines) log.Defer(line);
}

void UpdaterApp::RunOutcome() {
  if (run_mode == RunPreview) {
    ShowWizard();
    return;
  }
  if (RunProgramIfPresent(run.system.run_before)) ::Sleep(1000);

  if (MarkNewItems()) {
    if (CheckSelfUpgrade()) {
      WriteLog("Find self upgrade.");
      run_mode = RunSelfUpdate;
      ShowWizard();
      return;
    }
    WriteLog("Find new version.");
    SendResult(kResultNewVersion);
    if (run_mode == RunCheckOnly) return;
    const bool finishing_self_update = ToLowerAscii(command_line).find("self_finish") != std::string::npos;
    if (run.prompts.start_win != 0 && !finishing_self_update &&
        (run.display_style == kStyleNormal || run.display_style == kStyleSilent)) {
      int answer = ::MessageBoxA(nullptr, run.prompts.start_win_msg.c_str(), "Information",
                                 MB_YESNO | MB_ICONQUESTION | MB_TOPMOST);
      if (answer != IDYES) {
        WriteLog("Exit the upgrade process.");
        return;
      }
    }
    run_mode = RunUpdate;
    ShowWizard();
    return;
  }

  SendResult(kResultNoNewVersion);
  if (run.prompts.noupdate_win != 0) {
    run.display_style = kStyleNormal;
    const std::string text = "\n" + run.prompts.noupdate_win_msg + "\n";
    ::MessageBoxA(nullptr, text.c_str(), "Information", MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
  }
  WriteLog("No new version.");
}

void UpdaterApp::Close() {
  RunProgramIfPresent(run.system.run_after);
  if (!log.Enabled()) {
    log.Close();
    // A run without logging removes the log an earlier run left behind.
    if (IsNonEmptyFile("update.log")) ::DeleteFileA("update.log");
  } else {
    log.Close();
  }
  if (tray_on) RemoveTray();
  if (instance_mutex_) {
    ::ReleaseMutex(instance_mutex_.Get());
    instance_mutex_.Reset();
  }
}

}  // namespace corvane
