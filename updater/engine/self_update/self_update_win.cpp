// Self-update: finding a new version of the updater among the items, and the
// two later legs of the relay. The installed updater downloads the new one as
// "<own name>.exe" and starts it (StartSelfUpdateCopy); that copy replaces
// the installed executable, records the versions and starts the installed
// updater again with "self_finish"; that run removes the copy and goes on.
#include "updater/engine/self_update/self_update.h"

#include <windows.h>
#include <shellapi.h>

#include "shared/archive_password.h"
#include "shared/text_util.h"
#include "updater/engine/config/local_config.h"
#include "updater/engine/config/rollout.h"
#include "updater/engine/self_update/self_update_items.h"
#include "updater/engine/self_update/self_update_relay.h"
#include "updater/engine/updater_app.h"

namespace corvane {

namespace {

// The predecessor in the relay may still be closing: poll for its process
// every 200 ms, at most 11 times, keeping this thread's messages moving.
void WaitForProcessToEnd(const std::string& file_name) {
  for (int poll = 0; poll < 11 && UpdaterApp::FindProcessByName(file_name) != 0; ++poll) {
    MSG msg;
    if (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    ::Sleep(200);
  }
}

bool IsNonEmptyFile(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  return data.nFileSizeHigh != 0 || data.nFileSizeLow != 0;
}

// Puts `source` in place of `target` without ever leaving a half-written
// target: the bytes go to a neighbour first, which is then renamed over the
// target. A target that cannot be replaced (held open by a program) stays as
// it was.
bool ReplaceFileWhole(const std::string& source, const std::string& target) {
  const std::string staged = target + ".new";
  if (!::CopyFileA(source.c_str(), staged.c_str(), FALSE)) {
    ::DeleteFileA(staged.c_str());
    return false;
  }
  if (!::MoveFileExA(staged.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ::DeleteFileA(staged.c_str());
    return false;
  }
  return true;
}

bool StartThroughShell(const std::string& program, const std::string& parameters,
                       const std::string& folder, int show) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOASYNC;
  info.lpVerb = "open";
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = folder.c_str();
  info.nShow = show;
  return ::ShellExecuteExA(&info) != FALSE;
}

}  // namespace

bool UpdaterApp::CheckSelfUpgrade() {
  WriteLog("Check self upgrade.");
  const SelfUpdateItems found = FindSelfUpdateItems(
      run, module_path, folder, [this](const std::string& path) { return ExpandDirectoryConstants(path); });
  self_item = found.self_item;
  config_item = found.config_item;
  ui_item = found.ui_item;
  if (self_item < 0) return false;
  WriteLog("Find the lastest update.exe. The self upgrade will be start.");
  return true;
}

bool StartSelfUpdateCopy(UpdaterApp& app, bool config_downloaded, bool ui_downloaded) {
  std::vector<SelfUpdateEntry> entries;
  entries.push_back({app.self_item, app.run.files[app.self_item].server_version});
  if (config_downloaded && app.config_item >= 0) {
    entries.push_back({app.config_item, app.run.files[app.config_item].server_version});
  }
  if (ui_downloaded && app.ui_item >= 0) {
    entries.push_back({app.ui_item, app.run.files[app.ui_item].server_version});
  }
  const int64_t host = static_cast<int64_t>(reinterpret_cast<INT_PTR>(app.host_window));
  const std::string command_line =
      RelayCommandLine(app.command_line, BuildSelfUpdateArgument(host, entries));
  return StartThroughShell(app.module_path + ".exe", command_line, WithoutTrailingBackslash(app.folder),
                           SW_HIDE);
}

void RunSelfUpdateCopy(UpdaterApp& app) {
  app.log.SetEnabled(false);
  const std::string installed_name = InstalledNameOfCopy(app.own_file_name);
  if (installed_name.empty()) return;
  WaitForProcessToEnd(installed_name);
  if (!ReplaceFileWhole(app.module_path, app.folder + installed_name)) return;

  const std::vector<SelfUpdateEntry> entries = ParseSelfUpdateArgument(app.GetSwitchValue("self_update"));
  if (entries.empty()) return;
  RecordSelfUpdateVersions(DiskFolder(app.folder), entries, ArchivePassword());
  if (entries.size() >= 2) {
    // A new local file from the publisher does not know this installation's
    // identifier; the installation keeps it, and with it its roll-out share.
    const DiskFolder local(app.folder);
    const std::string install_id = ReadInstallId(local, ArchivePassword());
    for (const std::string& name : ConfigurationFilesWaitingAsUbk()) {
      const std::string waiting = app.folder + name + ".ubk";
      if (!IsNonEmptyFile(waiting)) continue;
      if (ReplaceFileWhole(waiting, app.folder + name)) ::DeleteFileA(waiting.c_str());
    }
    KeepInstallId(local, install_id, ArchivePassword());
  }
  StartThroughShell(app.folder + installed_name, FinishCommandLine(app.command_line),
                    WithoutTrailingBackslash(app.folder), SW_SHOWNORMAL);
}

void FinishSelfUpdate(UpdaterApp& app) {
  const std::string copy_name = SelfUpdateCopyName(app.own_file_name);
  WaitForProcessToEnd(copy_name);
  ::DeleteFileA((app.folder + copy_name).c_str());
}

}  // namespace corvane
