// The "UI-Design" page: the publisher's design of the updater's four wizard
// windows, edited on a preview canvas and through the page's option boxes
// and attribute panels; templates; the preview run of the updater.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "designer/designer_page_win.h"
#include "designer/uieditor/ui_design_edit.h"

namespace corvane {

class DesignCanvas;

class UiDesignPage : public DesignerPage {
 public:
  // `project_folder` gives the open project's folder (with a trailing
  // backslash), where the preview is written.
  UiDesignPage(HWND main_window, const PageFonts& fonts, std::function<std::string()> project_folder);
  ~UiDesignPage() override;

  void LoadFrom(IniStore& project) override;
  void InitNewProject() override;
  bool SaveTo(IniStore& project) override;
  // Edits are marked where they change the design; a click on the page is
  // not one by itself. Only typing in the title and icon fields is.
  bool IsNavigationControl(HWND control) const override;

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  int Window() const { return design_.current_window; }
  DesignWindow& CurrentWindow() { return design_.windows[design_.current_window]; }
  void CreateToolTips();
  void RefreshAll();
  void RefreshWindowControls();
  void UpdatePanel();
  void ShowPanel(AttributePanel panel);
  void FillTextPanel(const TextSkin& text);
  TextPanel ReadTextPanel() const;
  void DesignChanged();
  void ShowMessage(const std::string& text) const;

  void OnOptionBox(int index);
  void OnApply(bool all_windows);
  void OnChooseColor(int id);
  void OnBrowseImage();
  void OnOriginalSize();
  void OnBrowseSystemIcon();
  void OnPreview();
  void OnSaveTemplate();
  void OnSelectTemplate();
  void OnUseTemplate(bool built_in);
  void OpenTemplate(const std::string& path);
  void ReloadTemplateDesign();
  // The folders images may be read from: the project's and the templates'.
  std::vector<std::string> ImageFolders() const;
  // A picture the publisher chose, inside the project folder: as it is when
  // it lies there, else a copy in the project's "images" folder; empty (after
  // a box) when it could not be copied.
  std::string ImageInProject(const std::string& chosen) const;
  void CarryImagesTo(const std::string& folder);
  COLORREF* ColorOf(int id);

  std::function<std::string()> project_folder_;
  std::string designer_folder_;  // with a trailing backslash
  std::string images_folder_;    // the project folder the design's pictures were placed in
  UiDesign design_;
  UiDesign template_design_;  // what the package gets while "Custom Windows" is off
  DesignSelection selection_;
  std::unique_ptr<DesignCanvas> canvas_;
  HWND tooltip_ = nullptr;
  bool filling_ = false;  // controls being set by the page, not the publisher
  COLORREF text_color_ = 0, normal_color_ = 0, hover_color_ = 0, background_color_ = 0;
  COLORREF custom_colors_[16] = {};
};

}  // namespace corvane
