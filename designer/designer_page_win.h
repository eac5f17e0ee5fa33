// What every tab page of the designer has in common: the three operations
// the main window calls, the modified flag with its WM_USER+20 notice, and
// the two title bands.
#pragma once

#include <windows.h>

#include <string>

#include "win32/dialog.h"

namespace corvane {

class IniStore;

// Sent by a page to the main window after it set its modified flag.
constexpr UINT kPageModifiedMessage = WM_USER + 20;

struct PageFonts {
  HFONT title = nullptr;
  HFONT note = nullptr;
};

class DesignerPage : public Dialog {
 public:
  DesignerPage(HWND main_window, const PageFonts& fonts, const char* band1, const char* band2)
      : main_window_(main_window), fonts_(fonts), band1_(band1), band2_(band2) {}

  bool Create(HWND parent, int template_id);

  // Reads the page's keys; clears the modified flag.
  virtual void LoadFrom(IniStore& project) = 0;
  // Sets the new-project values; sets the modified flag.
  virtual void InitNewProject() = 0;
  // Takes over the controls and writes the page's keys.
  virtual bool SaveTo(IniStore& project) = 0;
  // Controls on which a click is not an edit (item lists, trees).
  virtual bool IsNavigationControl(HWND control) const { return false; }

  bool Modified() const { return modified_; }
  void ClearModified() { modified_ = false; }
  // Sets the flag and tells the main window.
  void MarkModified();

 protected:
  INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
  HWND MainWindow() const { return main_window_; }
  const PageFonts& Fonts() const { return fonts_; }

  // Message box owned by the main window with the designer's caption.
  int Ask(const std::string& text, UINT flags) const;

 private:
  void PaintBands(HDC dc);

  HWND main_window_;
  PageFonts fonts_;
  const char* band1_;
  const char* band2_;
  bool modified_ = false;
};

// Control helpers shared by the pages.
std::string ControlText(HWND control);
bool IsChecked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool checked);
void FillCombo(HWND combo, const char* const* items, size_t count);
int ComboSelection(HWND dialog, int id);
// File dialogs with the MFC-style filter "Name|pattern||"; the current
// folder is restored afterwards. Empty when cancelled.
std::string ChooseOpenFile(HWND owner, const char* filter, const char* default_ext);
std::string ChooseSaveFile(HWND owner, const char* filter, const char* default_ext,
                           const std::string& initial);
std::string ChooseFolder(HWND owner, const char* title);

}  // namespace corvane
