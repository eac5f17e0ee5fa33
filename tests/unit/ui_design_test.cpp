// The design model against the updater's own parser, the project sections,
// and the editing rules of the UI-Design page.
#include "designer/uieditor/ui_design.h"

#include <gtest/gtest.h>

#include "designer/uieditor/ui_config_writer.h"
#include "designer/uieditor/ui_design_edit.h"
#include "designer/uieditor/ui_template.h"
#include "shared/ini_store.h"
#include "tests/unit/ui_editor_test_support.h"
#include "tests/unit/zip_test_support.h"
#include "updater/ui/ui_config.h"

namespace corvane {
namespace {

using ziptest::TempDir;
using ziptest::WriteFile;

SkinRect Rect(int l, int t, int r, int b) {
  SkinRect rect;
  rect.left = l;
  rect.top = t;
  rect.right = r;
  rect.bottom = b;
  return rect;
}

std::string Text(const ByteBuffer& bytes) { return std::string(bytes.begin(), bytes.end()); }

// What the updater must see of one placement: hidden ones too.
void ExpectPlacement(const ControlPlacement& parsed, const ControlPlacement& designed, const char* what) {
  EXPECT_EQ(parsed.show, designed.show) << what;
  EXPECT_EQ(parsed.rect, designed.rect) << what;
}

TEST(UiDesignWriter, EveryWindowParsesBackIntoTheSameModel) {
  TempDir dir;
  UiDesign design = uitest::RichDesign();
  WriteFile(dir / "logo.bmp", Text(uitest::MakeBmp(5, 3)));
  WriteFile(dir / "strip.bmp", Text(uitest::MakeBmp(64, 16)));
  design.windows[0].images[0].source = dir / "logo.bmp";
  design.windows[3].images[1].source = dir / "logo.bmp";
  design.sysicon = dir / "strip.bmp";

  UiPackage package;
  std::string error;
  ASSERT_TRUE(BuildUiPackage(design, "2.5", &package, &error)) << error;
  UiModel model;
  ASSERT_TRUE(ParseUiConfiguration(package.text, &model)) << package.text;

  for (int n = 0; n < kWizardWindows; ++n) {
    SCOPED_TRACE(n);
    const DesignWindow& d = design.windows[n];
    const WindowModel& m = model.windows[n];
    EXPECT_EQ(m.attr.show, d.attr.show);
    EXPECT_EQ(m.attr.rect, d.attr.rect);
    EXPECT_EQ(m.attr.background, d.attr.background);
    for (int h = 0; h < 2; ++h) {
      EXPECT_EQ(m.images[h].show, d.images[h].show);
      EXPECT_EQ(m.images[h].rect, d.images[h].rect);
      EXPECT_EQ(m.images[h].transparent, d.images[h].transparent);
      EXPECT_EQ(m.buttons[h].rect, d.buttons[h].rect);
      EXPECT_EQ(m.buttons[h].caption, d.buttons[h].caption);
    }
    const bool has_logo = (n == 0);
    EXPECT_EQ(m.images[0].entry, has_logo ? "res\\logo.bmp" : "");
    EXPECT_EQ(m.images[1].entry, n == 3 ? "res\\logo.bmp" : "");
    for (int s = 0; s < 4; ++s) {
      const TextSkin& t = m.texts[s];
      const TextSkin& e = d.texts[s];
      EXPECT_EQ(t.show, e.show);
      EXPECT_EQ(t.rect, e.rect);
      EXPECT_EQ(t.text, e.text);
      EXPECT_EQ(t.url, e.url);
      EXPECT_EQ(t.text_color, e.text_color);
      EXPECT_EQ(t.normal_color, e.normal_color);
      EXPECT_EQ(t.hover_color, e.hover_color);
      EXPECT_EQ(t.normal_underline, e.normal_underline);
      EXPECT_EQ(t.hover_underline, e.hover_underline);
      EXPECT_EQ(t.font_height, e.font_height);
      EXPECT_EQ(t.font_weight, e.font_weight);
      EXPECT_EQ(t.italic, e.italic);
      EXPECT_EQ(t.underline, e.underline);
    }
  }
  const UiDesign& d = design;
  ExpectPlacement(model.list0, d.windows[0].list, "list0");
  ExpectPlacement(model.list1, d.windows[1].list, "list1");
  ExpectPlacement(model.details1, d.windows[1].details, "details1");
  ExpectPlacement(model.details3, d.windows[3].details, "details3");
  ExpectPlacement(model.progress1_0, d.windows[1].progress[0], "progress1_0");
  ExpectPlacement(model.progress1_1, d.windows[1].progress[1], "progress1_1");
  ExpectPlacement(model.progress3_0, d.windows[3].progress[0], "progress3_0");
  ExpectPlacement(model.status1_0, d.windows[1].status[0], "status1_0");
  ExpectPlacement(model.status1_1, d.windows[1].status[1], "status1_1");
  ExpectPlacement(model.status3_0, d.windows[3].status[0], "status3_0");
  EXPECT_EQ(model.title, "Acme Updater");
  EXPECT_EQ(model.sysicon, "res\\sysicon.bmp:4");
  EXPECT_EQ(model.copyright, "(C) Acme");
  EXPECT_EQ(model.myurl, "https://acme.example/");

  IniStore store;
  ASSERT_TRUE(store.LoadFromText(package.text));
  EXPECT_EQ(store.GetString("UI", "ui_ver"), "2.5");
  EXPECT_EQ(store.GetString("UI", "mbname"), "Blue");
  EXPECT_EQ(store.GetString("UI", "mbauthor"), "Ann");
  // The shared logo is converted once; the strip comes first.
  ASSERT_EQ(package.files.size(), 2u);
  EXPECT_EQ(package.files[0].entry, "res\\sysicon.bmp");
  EXPECT_EQ(package.files[1].entry, "res\\logo.bmp");
}

TEST(UiDesignWriter, AControlDraggedPartlyOutOfThePreviewIsWrittenEmpty) {
  UiDesign design = NewUiDesign();
  DesignSelection selection;
  DesignDrag drag;
  const SkinRect title = design.windows[0].texts[0].rect;  // 20,14 - 480,38
  ASSERT_EQ(drag.Begin(design, 0, selection, SkinPoint{30, 20}, false), DesignDrag::Mode::kMove);
  drag.Track(design, SkinPoint{5, 25});  // 25 pixels left: the left edge ends at -5
  const std::vector<RectChange> changes = drag.End(design, selection);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].after, Rect(title.left - 25, title.top + 5, title.right - 25, title.bottom + 5));
  design.windows[0].images[0].rect = Rect(10, -1, 50, 30);  // out at the top
  design.windows[0].buttons[1].rect = Rect(0, 0, 10, 10);  // touching the corner is fine

  UiPackage package;
  ASSERT_TRUE(BuildUiPackage(design, "1.0", &package, nullptr));
  IniStore store;
  ASSERT_TRUE(store.LoadFromText(package.text));
  EXPECT_EQ(GetAttribute(store.GetString("win0", "static0"), "rect"), "0,0,0,0");
  EXPECT_EQ(GetAttribute(store.GetString("win0", "image0"), "rect"), "0,0,0,0");
  EXPECT_EQ(GetAttribute(store.GetString("win0", "button1"), "rect"), "0,0,10,10");
  UiModel model;
  ASSERT_TRUE(ParseUiConfiguration(package.text, &model));
  EXPECT_TRUE(model.windows[0].texts[0].rect.IsEmpty());
  // The design itself keeps where the control really is.
  EXPECT_EQ(design.windows[0].texts[0].rect.left, -5);
}

TEST(UiDesignWriter, TextsStayOnOneLineAndWholeValues) {
  EXPECT_EQ(OneLineAttributeText("a\r\nb;;c;;;d"), "a  b;c;d");
  EXPECT_EQ(OneLineAttributeText("ends;"), "ends");
  UiDesign design = NewUiDesign();
  design.windows[2].texts[1].text = "Line one\nline two;; half";
  design.windows[2].buttons[0].caption = "&Next;;show=0";
  design.windows[2].texts[2].text = "semi;";
  design.windows[2].texts[2].url = "u";
  UiPackage package;
  ASSERT_TRUE(BuildUiPackage(design, "1.0", &package, nullptr));
  UiModel model;
  ASSERT_TRUE(ParseUiConfiguration(package.text, &model));
  EXPECT_EQ(model.windows[2].texts[1].text, "Line one line two; half");
  EXPECT_EQ(model.windows[2].buttons[0].caption, "&Next;show=0");
  EXPECT_EQ(model.windows[2].texts[1].url, "");
  EXPECT_EQ(model.windows[2].texts[2].text, "semi");
  EXPECT_EQ(model.windows[2].texts[2].url, "u");
}

TEST(UiDesignProject, SectionsRoundTripAndLeaveThePromptKeysAlone) {
  TempDir dir;
  const std::string path = dir / "demo.epj";
  WriteFile(path, "[project]\r\nname=demo\r\n[UI]\r\nstart_win=1\r\nstart_win_msg=Upgrade now?\r\n");
  IniStore project;
  project.SetFileName(path);
  UiDesign design = uitest::RichDesign();
  design.windows[1].images[0].source = "C:\\Pictures\\top banner.gif";
  design.windows[1].texts[0].rect = Rect(-7, 3, 40, 20);  // kept as it is in the project
  design.sysicon = "C:\\icons\\app.ico";
  design.current_window = 2;
  design.use_custom = false;
  ASSERT_TRUE(SaveUiDesign(design, project));

  IniStore reopened;
  reopened.SetFileName(path);
  UiDesign loaded;
  LoadUiDesign(reopened, &loaded);
  EXPECT_EQ(reopened.GetString("UI", "start_win_msg"), "Upgrade now?");
  EXPECT_EQ(reopened.GetString("project", "name"), "demo");
  EXPECT_EQ(GetAttribute(reopened.GetString("win1", "image0"), "bmpfile"), "C:\\Pictures\\top banner.gif");
  EXPECT_EQ(loaded.current_window, 2);
  EXPECT_FALSE(loaded.use_custom);
  EXPECT_EQ(loaded.sysicon, "C:\\icons\\app.ico");
  // Writing the loaded design gives the same project text.
  TempDir other;
  IniStore copy;
  copy.SetFileName(other / "copy.epj");
  ASSERT_TRUE(SaveUiDesign(loaded, copy));
  IniStore first;
  first.SetFileName(path);
  for (int n = 0; n < kWizardWindows; ++n) {
    for (int c = 0; c < kDesignControlCount; ++c) {
      const std::string section = Format("win%d", n);
      const char* key = DesignControlKey(static_cast<DesignControl>(c));
      EXPECT_EQ(copy.GetString(section, key), first.GetString(section, key)) << section << " " << key;
    }
  }
  for (const char* key : {"title", "mbname", "mbauthor", "copyright", "myurl", "CurrentWin", "use_myui"}) {
    EXPECT_EQ(copy.GetString("UI", key), first.GetString("UI", key)) << key;
  }

  // A project without the editor's keys starts from a new design.
  IniStore bare;
  ASSERT_TRUE(bare.LoadFromText("[project]\r\nname=x\r\n[win1]\r\nstatic0=show=0\r\n"));
  UiDesign fresh;
  LoadUiDesign(bare, &fresh);
  const UiDesign defaults = NewUiDesign();
  EXPECT_EQ(fresh.windows[0].texts[0].text, defaults.windows[0].texts[0].text);
  EXPECT_FALSE(fresh.windows[1].texts[0].show);
  EXPECT_EQ(fresh.windows[1].texts[0].text, "");
  EXPECT_TRUE(fresh.use_custom);
}

TEST(UiDesignDefaults, NewDesignHasTheWizardTexts) {
  const UiDesign design = NewUiDesign();
  const char* const expected[4][2] = {{"Update Program Wizard", "Find new version."},
                                      {"Download File", "Downloading update file, please wait..."},
                                      {"Download Complete", "All the update files have been ready."},
                                      {"Update File", "File is being updated..."}};
  for (int n = 0; n < kWizardWindows; ++n) {
    const DesignWindow& w = design.windows[n];
    EXPECT_EQ(w.texts[0].text, expected[n][0]);
    EXPECT_EQ(w.texts[1].text, expected[n][1]);
    EXPECT_EQ(w.texts[3].text, "Click to visit our website");
    EXPECT_FALSE(w.texts[3].url.empty()) << "static3 is a link";
    EXPECT_EQ(w.buttons[0].caption, "&Next");
    EXPECT_EQ(w.buttons[1].caption, "E&xit");
    // Every shown control fits the window.
    const SkinRect box = ShownControlsBox(design, n);
    EXPECT_LE(box.right, w.attr.rect.right);
    EXPECT_LE(box.bottom, w.attr.rect.bottom);
  }
  EXPECT_EQ(design.windows[1].texts[2].text, "Text3");
  EXPECT_EQ(design.windows[3].texts[2].text, "Text");
  EXPECT_NE(design.windows[0].texts[2].text.find("[Cancel] exit the the process"), std::string::npos);
  EXPECT_NE(design.windows[2].texts[2].text.find("complete the last update process."), std::string::npos);
}

TEST(UiDesignEdit, AlignmentCommandsFollowTheReference) {
  struct Case {
    AlignCommand command;
    SkinRect expected;  // of the other control (10,10 - 50,30) against the reference (100,200 - 180,260)
  };
  const Case cases[] = {
      {AlignCommand::kLeft, Rect(100, 10, 140, 30)},    {AlignCommand::kRight, Rect(140, 10, 180, 30)},
      {AlignCommand::kTop, Rect(10, 200, 50, 220)},     {AlignCommand::kBottom, Rect(10, 240, 50, 260)},
      {AlignCommand::kSameWidth, Rect(10, 10, 90, 30)}, {AlignCommand::kSameHeight, Rect(10, 10, 50, 70)},
      {AlignCommand::kSameSize, Rect(10, 10, 90, 70)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(AlignCommandTip(c.command));
    UiDesign design = NewUiDesign();
    design.windows[2].texts[1].rect = Rect(10, 10, 50, 30);
    design.windows[2].images[0].rect = Rect(100, 200, 180, 260);
    DesignSelection selection;
    selection.Click(DesignControl::kText1, false);
    selection.Click(DesignControl::kWindow, true);  // the window is never moved
    selection.Click(DesignControl::kImage0, true);  // clicked last: the reference
    const std::vector<RectChange> changes = AlignSelection(design, 2, selection, c.command);
    EXPECT_EQ(design.windows[2].texts[1].rect, c.expected);
    EXPECT_EQ(design.windows[2].images[0].rect, Rect(100, 200, 180, 260));
    EXPECT_EQ(design.windows[2].attr.rect, NewUiDesign().windows[2].attr.rect);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].before, Rect(10, 10, 50, 30));
  }
  EXPECT_STREQ(AlignCommandTip(AlignCommand::kSameHeight), "Make same hight");
}

TEST(UiDesignEdit, HandlesCursorsAndHits) {
  const SkinRect r = Rect(100, 100, 200, 140);
  struct Case {
    SkinPoint at;
    DragHandle handle;
    DragCursor cursor;
  };
  const Case cases[] = {
      {{100, 100}, DragHandle::kTopLeft, DragCursor::kSizeNWSE},   {{150, 99}, DragHandle::kTop, DragCursor::kSizeNS},
      {{201, 100}, DragHandle::kTopRight, DragCursor::kSizeNESW},  {{200, 120}, DragHandle::kRight, DragCursor::kSizeWE},
      {{200, 140}, DragHandle::kBottomRight, DragCursor::kSizeNWSE}, {{150, 141}, DragHandle::kBottom, DragCursor::kSizeNS},
      {{99, 140}, DragHandle::kBottomLeft, DragCursor::kSizeNESW}, {{100, 120}, DragHandle::kLeft, DragCursor::kSizeWE},
      {{130, 125}, DragHandle::kInside, DragCursor::kSizeAll},     {{300, 300}, DragHandle::kNone, DragCursor::kArrow},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HitHandle(r, c.at), c.handle) << c.at.x << "," << c.at.y;
    EXPECT_EQ(CursorForHandle(HitHandle(r, c.at)), c.cursor) << c.at.x << "," << c.at.y;
  }
  // The window only from the right, the bottom and the bottom-right corner.
  EXPECT_EQ(HitWindowHandle(r, SkinPoint{100, 100}), DragHandle::kNone);
  EXPECT_EQ(HitWindowHandle(r, SkinPoint{100, 120}), DragHandle::kNone);
  EXPECT_EQ(HitWindowHandle(r, SkinPoint{200, 120}), DragHandle::kRight);
  EXPECT_EQ(HitWindowHandle(r, SkinPoint{200, 140}), DragHandle::kBottomRight);

  // Hidden controls and controls the window lacks are not hit.
  UiDesign design = NewUiDesign();
  const SkinPoint in_list{100, 200};  // list of window 0; window 2 has none
  EXPECT_EQ(ControlAt(design, 0, in_list), static_cast<int>(DesignControl::kList));
  EXPECT_EQ(ControlAt(design, 2, in_list), static_cast<int>(DesignControl::kWindow));
  design.windows[0].list.show = false;
  EXPECT_EQ(ControlAt(design, 0, in_list), static_cast<int>(DesignControl::kWindow));
  EXPECT_EQ(ControlAt(design, 0, SkinPoint{600, 10}), kNoControl);
  // A button over a text wins.
  design.windows[0].buttons[0].rect = Rect(20, 14, 60, 30);
  EXPECT_EQ(ControlAt(design, 0, SkinPoint{25, 20}), static_cast<int>(DesignControl::kButton0));
}

TEST(UiDesignEdit, SelectionResizeWindowRuleAndRubberBand) {
  UiDesign design = NewUiDesign();
  DesignSelection selection;
  DesignDrag drag;
  // Click the title, Control-click the subtitle: both move together.
  drag.Begin(design, 0, selection, SkinPoint{30, 20}, false);
  drag.End(design, selection);
  ASSERT_EQ(drag.Begin(design, 0, selection, SkinPoint{40, 50}, true), DesignDrag::Mode::kMove);
  drag.Track(design, SkinPoint{50, 60});
  EXPECT_EQ(drag.End(design, selection).size(), 2u);
  EXPECT_EQ(selection.Reference(), static_cast<int>(DesignControl::kText1));
  EXPECT_EQ(design.windows[0].texts[0].rect, Rect(30, 24, 490, 48));
  EXPECT_EQ(design.windows[0].texts[1].rect, Rect(46, 52, 490, 72));

  // The bottom-right handle of the reference resizes it and nothing else.
  ASSERT_EQ(drag.Begin(design, 0, selection, SkinPoint{490, 72}, false), DesignDrag::Mode::kResize);
  drag.Track(design, SkinPoint{470, 500});
  drag.End(design, selection);
  EXPECT_EQ(design.windows[0].texts[1].rect, Rect(46, 52, 470, 500));
  // Resizing past the opposite edge stops at the smallest size.
  ASSERT_EQ(drag.Begin(design, 0, selection, SkinPoint{470, 500}, false), DesignDrag::Mode::kResize);
  drag.Track(design, SkinPoint{0, 0});
  drag.End(design, selection);
  EXPECT_EQ(design.windows[0].texts[1].rect, Rect(46, 52, 46 + kMinControlSide, 52 + kMinControlSide));

  // Press on empty window area: the window is selected and a band starts.
  ASSERT_EQ(drag.Begin(design, 0, selection, SkinPoint{495, 395}, false), DesignDrag::Mode::kRubberBand);
  drag.Track(design, SkinPoint{300, 350});
  drag.End(design, selection);
  ASSERT_EQ(selection.Items().size(), 2u);  // the two buttons
  EXPECT_TRUE(selection.Contains(DesignControl::kButton0));
  EXPECT_TRUE(selection.Contains(DesignControl::kButton1));

  // The window shrinks from its bottom-right corner, never below its controls.
  selection.Click(DesignControl::kWindow, false);
  ASSERT_EQ(drag.Begin(design, 0, selection, SkinPoint{500, 400}, false), DesignDrag::Mode::kResizeWindow);
  drag.Track(design, SkinPoint{100, 100});
  drag.End(design, selection);
  const SkinRect box = ShownControlsBox(design, 0);
  EXPECT_EQ(design.windows[0].attr.rect, Rect(0, 0, box.right, box.bottom));
  EXPECT_EQ(box.bottom, 386);  // the buttons
  // Pressing its top-left corner does not resize it.
  EXPECT_NE(drag.Begin(design, 0, selection, SkinPoint{0, 0}, false), DesignDrag::Mode::kResizeWindow);

  // Cancel puts things back.
  selection.Clear();
  const SkinRect before = design.windows[0].buttons[1].rect;
  ASSERT_EQ(drag.Begin(design, 0, selection, SkinPoint{before.left + 2, before.top + 2}, false),
            DesignDrag::Mode::kMove);
  drag.Track(design, SkinPoint{5, 5});
  drag.Cancel(design);
  EXPECT_EQ(design.windows[0].buttons[1].rect, before);
}

TEST(UiDesignEdit, OptionBoxesAreEnabledWhereTheWizardHasTheControl) {
  UiDesign design = NewUiDesign();
  // Enabled boxes per window, in the order of kOptionBoxes.
  const char* const expected[kWizardWindows] = {"111111001000", "111111111111", "111111000000", "111111100110"};
  for (int n = 0; n < kWizardWindows; ++n) {
    std::string enabled;
    for (const OptionBox& box : kOptionBoxes) enabled += OptionBoxEnabled(design, n, box.control) ? '1' : '0';
    EXPECT_EQ(enabled, expected[n]) << kWindowCaptions[n];
  }
  design.use_custom = false;
  for (const OptionBox& box : kOptionBoxes) EXPECT_FALSE(OptionBoxEnabled(design, 1, box.control));
}

TEST(UiDesignEdit, ApplyAndApplyToAllWindows) {
  UiDesign design = NewUiDesign();
  design.windows[1].texts[2].rect = Rect(5, 6, 105, 26);
  TextPanel panel = TextPanelFrom(design.windows[1].texts[2]);
  EXPECT_FALSE(panel.bold);
  panel.text = "New words";
  panel.bold = true;
  panel.italic = true;
  panel.text_color = 255;
  panel.url = "https://x.example/";
  panel.hover_color = 65280;
  panel.font_height = 22;
  ApplyTextPanel(design, 1, 2, panel, false);
  EXPECT_EQ(design.windows[1].texts[2].text, "New words");
  EXPECT_EQ(design.windows[1].texts[2].font_weight, 700);
  EXPECT_EQ(design.windows[0].texts[2].font_weight, 400);

  ApplyTextPanel(design, 1, 2, panel, true);
  for (int n = 0; n < kWizardWindows; ++n) {
    const TextSkin& t = design.windows[n].texts[2];
    EXPECT_EQ(t.text, n == 1 ? "New words" : NewUiDesign().windows[n].texts[2].text) << "each keeps its text";
    EXPECT_EQ(t.rect, Rect(5, 6, 105, 26));
    EXPECT_EQ(t.font_weight, 700);
    EXPECT_TRUE(t.italic);
    EXPECT_EQ(t.url, "https://x.example/");
    EXPECT_EQ(t.hover_color, 65280u);
    EXPECT_EQ(t.font_height, 22);
  }
  ApplyImageFile(design, 3, 1, "b.gif", true);
  ApplyBackground(design, 0, 12345, false);
  ApplyButtonCaption(design, 2, 0, "&Finish", false);
  for (int n = 0; n < kWizardWindows; ++n) {
    EXPECT_EQ(design.windows[n].images[1].source, "b.gif");
    EXPECT_EQ(design.windows[n].attr.background, n == 0 ? 12345u : 16777215u);
    EXPECT_EQ(design.windows[n].buttons[0].caption, n == 2 ? "&Finish" : "&Next");
  }

  // The panel follows the reference control.
  DesignSelection selection;
  selection.Click(DesignControl::kText3, false);
  EXPECT_EQ(PanelFor(design, 0, selection), AttributePanel::kText);
  design.windows[0].texts[3].show = false;
  EXPECT_EQ(PanelFor(design, 0, selection), AttributePanel::kNone);
  selection.Click(DesignControl::kButton1, true);
  EXPECT_EQ(PanelFor(design, 0, selection), AttributePanel::kButton);
  selection.Click(DesignControl::kWindow, false);
  EXPECT_EQ(PanelFor(design, 0, selection), AttributePanel::kBackground);
  selection.Click(DesignControl::kList, false);
  EXPECT_EQ(PanelFor(design, 0, selection), AttributePanel::kNone);

  // "Original Size" takes the picture's size.
  TempDir dir;
  WriteFile(dir / "pic.bmp", Text(uitest::MakeBmp(33, 17)));
  design.windows[0].images[1].source = dir / "pic.bmp";
  design.windows[0].images[1].rect = Rect(10, 20, 11, 21);
  selection.Click(DesignControl::kImage0, false);  // no file: skipped
  selection.Click(DesignControl::kImage1, true);
  design.windows[0].images[0].source.clear();
  RectChange change{DesignControl::kWindow, SkinRect(), SkinRect()};
  ASSERT_TRUE(ApplyOriginalSize(design, 0, selection, &change));
  EXPECT_EQ(design.windows[0].images[1].rect, Rect(10, 20, 43, 37));
  EXPECT_EQ(change.control, DesignControl::kImage1);
}

}  // namespace
}  // namespace corvane
