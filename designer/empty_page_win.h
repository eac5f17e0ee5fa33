// A tab whose page later work fills ("UI-Design", "Build-Test"): it takes
// part in load, new and save like every page but has no keys of its own yet.
#pragma once

#include "designer/designer_page_win.h"

namespace corvane {

class EmptyPage : public DesignerPage {
 public:
  EmptyPage(HWND main_window, const PageFonts& fonts, const char* note)
      : DesignerPage(main_window, fonts, nullptr, nullptr), note_(note) {}

  void LoadFrom(IniStore&) override { ClearModified(); }
  void InitNewProject() override { MarkModified(); }
  bool SaveTo(IniStore&) override { return true; }

 protected:
  BOOL OnInitDialog() override;

 private:
  const char* note_;
};

}  // namespace corvane
