// UpdaterApp: the updater's single application object. Its Run() is the whole
// life of the process: single-instance mutex, folders and directory
// constants, command line, configuration and check, the wizard, and the
// closing sequence. It owns the run state (items, configuration values, the
// UI model, the log) that the wizard pages and their workers read.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "updater/engine/command_line.h"
#include "updater/engine/directory_constants.h"
#include "updater/engine/update_items.h"
#include "updater/engine/update_log.h"
#include "updater/ui/ui_model.h"
#include "win32/scoped_handles.h"

namespace corvane {

class CSystemTray;
class AnimatedIcon;

enum RunMode { RunUpdate = 0, RunPreview = 1, RunCheckOnly = 2, RunSelfUpdate = 3 };


class UpdaterApp {
 public:
  UpdaterApp();
  ~UpdaterApp();
  UpdaterApp(const UpdaterApp&) = delete;
  UpdaterApp& operator=(const UpdaterApp&) = delete;

  // The start-up routine; returns when the process should end.
  void Run(const char* command_line);

  // --- Command line (stored as given; see command_line.h for the rules).
  std::string GetSwitchValue(const std::string& name) const;

  // --- Folders.
  std::string ExpandDirectoryConstants(const std::string& path) const;
  static DWORD FindProcessByName(const std::string& file_name);

  // --- Log, host window and message boxes.
  void WriteLog(const std::string& message) { log.Write(message); }
  // Posts to the host window, when there is one.
  void PostToHost(UINT message, WPARAM wp, LPARAM lp) const;
  // Posts a result (WM_USER+999) and, unless `quiet`, logs the matching line.
  void SendResult(int result, bool quiet = false);
  // Shown only in the Normal and Silent display styles.
  void ShowInfoBox(const std::string& text, HWND owner) const;
  bool AskRetry(const std::string& text, HWND owner) const;

  // --- Steps supplied by the check, the UI and the wizard.
  bool ReadConfiguration();    // update_check_win.cpp
  bool MarkNewItems();         // update_check_win.cpp
  bool ParseUiConfiguration(); // ui/ui_config_win.cpp
  bool CheckSelfUpgrade();     // self_update_win.cpp
  // Runs the wizard modally; returns true when it ended with "cancelled".
  bool ShowWizard();           // ui/wizard_win.cpp

  // --- Notification-area icon (ui/app_tray_win.cpp).
  // Builds the icon strip; the hidden icon itself only `with_icon`.
  bool CreateHiddenTray(bool with_icon);
  void ShowTray();
  void RemoveTray();
  void SetTrayTooltip(const std::string& text);

  // Run state read by the wizard pages and their workers.
  std::string module_path;
  std::string folder;          // with trailing "\"
  std::string own_file_name;
  std::string temp_folder;     // "{temp}" + "\~tovrel_tmp\"
  std::string directory_constants[kDirectoryConstants];
  std::string command_line;    // as given to the process, without the program name
  std::string file_version;    // "%d.%d" from the version resource, or empty
  HWND host_window = nullptr;
  RunMode run_mode = RunUpdate;
  bool tray_on = false;
  bool tray_created = false;
  int self_item = -1;
  int config_item = -1;
  int ui_item = -1;

  UpdateRun run;
  UiModel ui;
  UpdateLog log;
  std::unique_ptr<CSystemTray> tray;
  std::unique_ptr<AnimatedIcon> icon_strip;

 private:
  bool AcquireInstanceMutex();
  void DeriveFolders();
  CommandLineOptions ReadCommandLine();
  // Puts back what an update stage killed part-way had changed.
  void RecoverInterruptedStage();
  void RunOutcome();
  bool RunProgramIfPresent(const std::string& configured);
  void Close();

  ScopedHandle instance_mutex_;
};

// The application object. The only global of the updater.
UpdaterApp& App();

// Starts, registers or imports a file by its extension (".exe" and others are
// run, ".dll"/".ocx" registered, ".reg" imported).
bool RunByExtension(const std::string& path);

}  // namespace corvane
