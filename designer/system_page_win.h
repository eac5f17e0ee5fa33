// The "System" tab: the server-side file's URL list and the settings of the
// whole update (prompts, processes to close, programs to run).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>

#include "designer/designer_page_win.h"
#include "designer/system_settings.h"
#include "designer/url_group_win.h"

namespace corvane {

class SystemPage : public DesignerPage {
 public:
  SystemPage(HWND main_window, const PageFonts& fonts);

  void LoadFrom(IniStore& project) override;
  void InitNewProject() override;
  bool SaveTo(IniStore& project) override;
  bool IsNavigationControl(HWND control) const override;

  // The name of the server-side file the updater fetches.
  std::string ServerFileName() const { return corvane::ServerFileName(url_.Lines()); }

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  class Panel : public Dialog {};

  void ShowValues(const SystemPageValues& values);
  SystemPageValues TakeValues() const;
  void LayoutPanels();
  void ShowPanel(int index);

  UrlGroup url_;
  Panel prompt_panel_, close_panel_, programs_panel_;
  HTREEITEM tree_items_[3] = {};
};

}  // namespace corvane
