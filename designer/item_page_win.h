// The "File" and "Directory" tabs: a list of item slots and the values of
// the selected one.
#pragma once

#include "designer/designer_page_win.h"
#include "designer/item_slots.h"
#include "designer/url_group_win.h"

namespace corvane {

class ItemPage : public DesignerPage {
 public:
  ItemPage(HWND main_window, const PageFonts& fonts, ItemKind kind);

  void LoadFrom(IniStore& project) override;
  void InitNewProject() override;
  bool SaveTo(IniStore& project) override;
  bool IsNavigationControl(HWND control) const override;

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;

 private:
  void StoreControls();
  void ShowSlot(int index);
  void RelabelSlots();
  void FillDisplayStyles(int op_mode, int show_type);
  void Browse();
  // The File page's builds (item_page_builds_win.cpp): the new build fills
  // the digests; up to five previous builds get a patch each.
  void ShowBuilds(const ItemSlot& s);
  void StoreBuilds(ItemSlot& s);
  void BrowseUpdateFile();
  void AddPreviousBuild();
  void RemovePreviousBuild();

  ItemKind kind_;
  ItemSlots slots_;
  UrlGroup url_;
  int current_ = -1;
};

}  // namespace corvane
