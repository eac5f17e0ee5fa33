// The designer's main window: seven command buttons, five tabs, the open
// project and its pages, the recent-project list and the designer's own
// update check.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <memory>
#include <string>

#include "designer/designer_page_win.h"
#include "designer/notice_bar_win.h"
#include "designer/project_files.h"
#include "win32/dialog.h"
#include "win32/scoped_handles.h"

namespace corvane {

class SystemPage;

// Posted to itself at the end of start-up: runs the designer's update check.
constexpr UINT kStartUpdateCheckMessage = WM_USER + 21;
// Posted by the updater with the check's result.
constexpr UINT kUpdaterResultMessage = WM_USER + 999;

class MainWindow : public Dialog {
 public:
  // `document`: a project file named on the command line, or empty.
  explicit MainWindow(std::string document);
  ~MainWindow() override;

  bool Create();
  // Change tracking: a character typed or a left click on a page's control
  // marks that page modified. Called for every message before dispatch.
  void TrackInput(const MSG& msg);

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  // Pages in the order of the tabs.
  enum Tab { kSystemTab, kFileTab, kDirectoryTab, kUiTab, kBuildTab, kTabCount };

  void CreateControls();
  void RestoreProject();
  bool OpenProject(const std::string& path);
  void NewProject();
  void ChooseAndOpen();
  bool Save();
  void SaveAs();
  bool CloseProject();
  void DropFiles(HDROP drop);
  void WriteStatusFile();

  bool ProjectOpen() const { return !location_.name.empty(); }
  bool Modified() const;
  void SetTitle();
  void UpdateButtonsAndPages();
  void LayoutPages();
  int SelectedTab() const;
  void SelectTab(int index);
  // Pages in the order they load, initialise and save.
  std::array<DesignerPage*, kTabCount> SaveOrder() const;
  void ShowError(const std::string& text) const;

  std::string document_;
  std::string designer_folder_;
  std::string version_;
  ProjectLocation location_;
  std::string output_folder_;
  std::string browse_folder_;
  RecentProjects recent_;
  ScopedFont title_font_;
  ScopedFont note_font_;
  ScopedIcon icon_;
  HWND tooltip_ = nullptr;
  std::array<std::unique_ptr<DesignerPage>, kTabCount> pages_;
  SystemPage* system_page_ = nullptr;
  std::unique_ptr<NoticeBar> notice_bar_;
};

// The designer's file version as "%d.%d", empty when it cannot be read.
std::string DesignerVersion();

}  // namespace corvane
