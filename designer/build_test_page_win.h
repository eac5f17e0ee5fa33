// The "Build-Test" tab: the upgrade package's output folder and form, the
// build on a worker thread, and the test run of the package's updater with
// the messages it posts back.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "designer/build_test_values.h"
#include "designer/designer_page_win.h"
#include "designer/project_files.h"

namespace corvane {

// What the page needs of the main window.
struct BuildTestHost {
  std::function<bool()> save;                     // the main window's Save
  std::function<ProjectLocation()> project;        // the open project
  std::function<void(const std::string&)> output;  // the main window's copy of the folder
  std::function<std::string()> server_file_name;   // from the System page
  std::string designer_folder;
  std::string designer_version;
};

class BuildTestPage : public DesignerPage {
 public:
  BuildTestPage(HWND main_window, const PageFonts& fonts, BuildTestHost host);
  ~BuildTestPage() override;

  void LoadFrom(IniStore& project) override;
  void InitNewProject() override;
  bool SaveTo(IniStore& project) override;
  bool IsNavigationControl(HWND control) const override;

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void TakeFields();
  void ShowFields();
  void FollowFolder();
  void Compose();
  void StartBuild();
  void OpenFolder();
  void ReplaceKey();
  void CompleteKeyReplacementAsked();
  void Launch();
  void View(int which);
  void AppendMessageLine(const std::string& text);
  void JoinWorker();

  BuildTestHost host_;
  BuildTestValues values_;
  std::array<bool, kTestOptionCount> checks_{};
  std::string options_;
  std::unique_ptr<std::thread> worker_;
  bool showing_ = false;
};

}  // namespace corvane
