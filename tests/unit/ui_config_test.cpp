#include "updater/ui/ui_config.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "shared/archive_password.h"
#include "shared/zip_archive.h"
#include "updater/ui/skin_bitmap.h"

namespace corvane {
namespace {

SkinRect Rect(int l, int t, int r, int b) {
  SkinRect rect;
  rect.left = l;
  rect.top = t;
  rect.right = r;
  rect.bottom = b;
  return rect;
}

UiModel Parse(const std::string& text) {
  UiModel model;
  EXPECT_TRUE(ParseUiConfiguration(text, &model)) << text;
  return model;
}

TEST(UiConfigNumbers, ConversionsTrimTakeTheLeadingNumberAndFallBackToTheDefault) {
  EXPECT_EQ(ParseIntValue("", 7), 7);
  EXPECT_EQ(ParseIntValue("   ", 7), 7);
  EXPECT_EQ(ParseIntValue(" 12 ", 7), 12);
  EXPECT_EQ(ParseIntValue("12px", 7), 12);
  EXPECT_EQ(ParseIntValue("-5", 7), -5);
  EXPECT_EQ(ParseIntValue("+5", 7), 5);
  EXPECT_EQ(ParseIntValue("abc", 7), 0);  // no digits: 0, not the default
  EXPECT_EQ(ParseIntValue("99999999999", 0), INT_MAX);
  EXPECT_EQ(ParseLongValue("16777215", 0), 16777215L);
  EXPECT_EQ(ParseLongValue("", -3), -3L);
  // Colours are 32-bit signed on every platform.
  EXPECT_EQ(ParseLongValue("4294967295", 0), static_cast<long>(INT_MAX));
  EXPECT_EQ(ParseLongValue("-99999999999", 0), static_cast<long>(INT_MIN));
}

TEST(UiConfigRect, NeedsThreeCommasAndTurnsWidthAndHeightIntoRightAndBottom) {
  EXPECT_EQ(ParseRect("10,20,30"), SkinRect());
  EXPECT_EQ(ParseRect(""), SkinRect());
  EXPECT_EQ(ParseRect("10 , 20 , 30 , 40"), Rect(10, 20, 40, 60));
  EXPECT_EQ(ParseRect("10,20,30,40"), Rect(10, 20, 40, 60));
  EXPECT_EQ(ParseRect(",,,"), SkinRect());
  EXPECT_EQ(ParseRect("a,b,c,d"), SkinRect());
  // A fifth part is ignored after the leading number of the fourth.
  EXPECT_EQ(ParseRect("1,2,3,4,5"), Rect(1, 2, 4, 6));
  EXPECT_EQ(ParseRect("-5,-5,10,10"), Rect(-5, -5, 5, 5));
  EXPECT_TRUE(ParseRect("10,10,-20,5").IsEmpty());
  // Sums that would overflow are clamped, not wrapped.
  EXPECT_EQ(ParseRect("2147483647,0,2147483647,1"), Rect(INT_MAX, 0, INT_MAX, 1));
  EXPECT_EQ(ParseRect("-2147483648,0,-2147483648,1").right, INT_MIN);
}

TEST(UiConfigParse, SubKeyRules) {
  const UiModel model = Parse(
      "[win0]\r\n"
      "attr=show=1\r\n"
      "static0=show=1;;rect=1,2,3,4;;text=Hello;;World;;url=\r\n"
      "static1=show=1;;text=a=b=c;;url=http://x/?q=1\r\n"
      "static2=xshow=1;;fontsize=12;;rect=0,0,10,10\r\n"
      "image0=show=1;;clrtp=255;;rect=0,0,5,5;;bmpfile=res\\top.bmp\r\n");
  // An attribute string that holds only "show=1" is read through the
  // start-of-string rule.
  EXPECT_TRUE(model.windows[0].attr.show);
  // ";;" ends a text; "=" inside one is kept whole.
  EXPECT_EQ(model.windows[0].texts[0].text, "Hello");
  EXPECT_EQ(model.windows[0].texts[1].text, "a=b=c");
  EXPECT_EQ(model.windows[0].texts[1].url, "http://x/?q=1");
  // "xshow" is not "show".
  EXPECT_FALSE(model.windows[0].texts[2].show);
  EXPECT_EQ(model.windows[0].texts[2].font_height, 12);
  EXPECT_EQ(model.windows[0].images[0].entry, "res\\top.bmp");
  EXPECT_EQ(model.windows[0].images[0].transparent, 255u);
}

TEST(UiConfigParse, DefaultsWhenKeysAreMissing) {
  const UiModel model = Parse("[UI]\r\n");
  EXPECT_EQ(model.title, "Corvane");
  EXPECT_EQ(model.sysicon, "");
  EXPECT_EQ(model.copyright, "");
  for (const WindowModel& window : model.windows) {
    EXPECT_FALSE(window.attr.show);
    EXPECT_TRUE(window.attr.rect.IsEmpty());
    EXPECT_EQ(window.attr.background, 0u);
    for (const TextSkin& text : window.texts) {
      EXPECT_FALSE(text.show);
      EXPECT_EQ(text.font_height, 0);
      EXPECT_EQ(text.font_weight, 0);
      EXPECT_EQ(text.text, "");
    }
    for (const ImageSkin& image : window.images) EXPECT_FALSE(image.show);
  }
  EXPECT_FALSE(model.list0.show);
  EXPECT_FALSE(model.status3_0.show);

  // A title key that is present but empty gives an empty title.
  EXPECT_EQ(Parse("[UI]\r\ntitle=\r\n").title, "");
  // A present attr without a show pair is hidden.
  EXPECT_FALSE(Parse("[win2]\r\nattr=clrbk=5;;rect=0,0,10,10\r\n").windows[2].attr.show);
}

TEST(UiConfigParse, TextThatDoesNotParseLeavesTheModelAlone) {
  UiModel model;
  model.title = "kept";
  EXPECT_FALSE(ParseUiConfiguration("", &model));
  EXPECT_FALSE(ParseUiConfiguration(std::string(1, '\0'), &model));
  EXPECT_FALSE(ParseUiConfiguration("just some words\r\nno sections here\r\n", &model));
  EXPECT_FALSE(ParseUiConfiguration("[other]\r\ntitle=x\r\n", &model));
  EXPECT_EQ(model.title, "kept");
  // The zero byte that the archive reader appends is accepted.
  EXPECT_TRUE(ParseUiConfiguration(std::string("[UI]\r\ntitle=T\r\n") + '\0', &model));
  EXPECT_EQ(model.title, "T");
}

TEST(UiConfigParse, EveryFieldOfAFullFileReachesItsRecord) {
  const std::string text =
      "[UI]\n"
      "title=My Update\n"
      "sysicon=res\\sysicon.bmp:4\n"
      "copyright=(c) Publisher\n"
      "myurl=http://example.test/\n"
      "ui_ver=1.0\n"
      "[win1]\n"
      "attr=show=1;;clrbk=16777215;;rect=0,0,500,400\n"
      "image0=show=1;;clrtp=16711935;;rect=1,2,30,40;;bmpfile=res\\a.bmp\n"
      "image1=show=0;;clrtp=0;;rect=5,6,7,8;;bmpfile=\n"
      "button0=show=0;;rect=310,360,80,26;;text=&Continue\n"
      "button1=show=1;;rect=400,360,80,26;;text=E&xit\n"
      "static0=show=1;;clrtext=1;;clrnormal=2;;clrHover=3;;nor_underline=1;;hov_underline=0;;"
      "fontsize=20;;fontweight=700;;fontitalic=1;;fontunderline=1;;rect=20,14,460,24;;"
      "text=Download File;;url=\n"
      "static3=show=1;;clrtext=0;;clrnormal=16711680;;clrHover=255;;nor_underline=0;;hov_underline=1;;"
      "fontsize=0;;fontweight=0;;fontitalic=0;;fontunderline=0;;rect=20,365,200,18;;"
      "text=Visit us;;url=http://example.test/\n"
      "list=show=1;;rect=20,72,460,120\n"
      "rich_edit=show=1;;rect=20,272,460,76\n"
      "progress0=show=1;;rect=20,200,460,16\n"
      "progress1=show=0;;rect=20,246,460,16\n"
      "status0=show=1;;rect=20,222,320,18\n"
      "status1=show=1;;rect=350,222,130,18\n"
      "[win0]\n"
      "list=show=1;;rect=1,1,10,10\n"
      "progress0=show=1;;rect=9,9,9,9\n"
      "[win3]\n"
      "rich_edit=show=1;;rect=20,130,460,215\n"
      "progress0=show=1;;rect=20,76,460,18\n"
      "status0=show=0;;rect=20,100,460,18\n"
      "progress1=show=1;;rect=1,1,1,1\n";
  const UiModel m = Parse(text);
  EXPECT_EQ(m.title, "My Update");
  EXPECT_EQ(m.sysicon, "res\\sysicon.bmp:4");
  EXPECT_EQ(m.copyright, "(c) Publisher");
  EXPECT_EQ(m.myurl, "http://example.test/");

  const WindowModel& w = m.windows[1];
  EXPECT_TRUE(w.attr.show);
  EXPECT_EQ(w.attr.background, 16777215u);
  EXPECT_EQ(w.attr.rect, Rect(0, 0, 500, 400));
  EXPECT_TRUE(w.images[0].show);
  EXPECT_EQ(w.images[0].rect, Rect(1, 2, 31, 42));
  EXPECT_EQ(w.images[0].entry, "res\\a.bmp");
  EXPECT_EQ(w.images[0].transparent, 16711935u);
  EXPECT_FALSE(w.images[1].show);
  EXPECT_EQ(w.images[1].entry, "");
  EXPECT_EQ(w.buttons[0].caption, "&Continue");
  EXPECT_EQ(w.buttons[0].rect, Rect(310, 360, 390, 386));
  EXPECT_EQ(w.buttons[1].caption, "E&xit");
  EXPECT_EQ(w.buttons[1].rect, Rect(400, 360, 480, 386));

  const TextSkin& title = w.texts[0];
  EXPECT_TRUE(title.show);
  EXPECT_EQ(title.text, "Download File");
  EXPECT_EQ(title.url, "");
  EXPECT_EQ(title.text_color, 1u);
  EXPECT_EQ(title.normal_color, 2u);
  EXPECT_EQ(title.hover_color, 3u);
  EXPECT_TRUE(title.normal_underline);
  EXPECT_FALSE(title.hover_underline);
  EXPECT_EQ(title.font_height, 20);
  EXPECT_EQ(title.font_weight, 700);
  EXPECT_TRUE(title.italic);
  EXPECT_TRUE(title.underline);
  EXPECT_EQ(title.rect, Rect(20, 14, 480, 38));
  const TextSkin& link = w.texts[3];
  EXPECT_EQ(link.url, "http://example.test/");
  EXPECT_EQ(link.normal_color, 16711680u);
  EXPECT_EQ(link.hover_color, 255u);
  EXPECT_FALSE(link.normal_underline);
  EXPECT_TRUE(link.hover_underline);
  EXPECT_FALSE(w.texts[1].show);  // absent key

  EXPECT_EQ(m.list1.rect, Rect(20, 72, 480, 192));
  EXPECT_TRUE(m.list1.show);
  EXPECT_EQ(m.details1.rect, Rect(20, 272, 480, 348));
  EXPECT_EQ(m.progress1_0.rect, Rect(20, 200, 480, 216));
  EXPECT_TRUE(m.progress1_0.show);
  EXPECT_EQ(m.progress1_1.rect, Rect(20, 246, 480, 262));
  EXPECT_FALSE(m.progress1_1.show);
  EXPECT_EQ(m.status1_0.rect, Rect(20, 222, 340, 240));
  EXPECT_EQ(m.status1_1.rect, Rect(350, 222, 480, 240));

  EXPECT_EQ(m.list0.rect, Rect(1, 1, 11, 11));
  EXPECT_EQ(m.details3.rect, Rect(20, 130, 480, 345));
  EXPECT_EQ(m.progress3_0.rect, Rect(20, 76, 480, 94));
  EXPECT_EQ(m.status3_0.rect, Rect(20, 100, 480, 118));
  EXPECT_FALSE(m.status3_0.show);
  // Keys a window does not have (progress0 of window 0, progress1 of
  // window 3) reach nothing.
  EXPECT_EQ(m.progress1_0.rect, Rect(20, 200, 480, 216));
}

TEST(UiConfigParse, FirstOccurrenceOfAKeyWins) {
  const UiModel model = Parse("[UI]\ntitle=first\ntitle=second\n[win0]\nattr=show=1\nattr=show=0\n");
  EXPECT_EQ(model.title, "first");
  EXPECT_TRUE(model.windows[0].attr.show);
}

TEST(UiConfigSysIcon, SplitsEntryAndCountAndFlagsAMissingColon) {
  SysIconSetting s = ParseSysIcon("res\\sysicon.bmp:4");
  EXPECT_EQ(s.kind, SysIconSetting::kStrip);
  EXPECT_EQ(s.entry, "res\\sysicon.bmp");
  EXPECT_EQ(s.frames, 4);

  s = ParseSysIcon(" res\\ sys icon.bmp : 12 ");
  EXPECT_EQ(s.kind, SysIconSetting::kStrip);
  EXPECT_EQ(s.entry, "res\\sysicon.bmp");
  EXPECT_EQ(s.frames, 12);

  EXPECT_EQ(ParseSysIcon("res\\sysicon.bmp").kind, SysIconSetting::kMalformed);
  EXPECT_EQ(ParseSysIcon("").kind, SysIconSetting::kBuiltIn);
  EXPECT_EQ(ParseSysIcon("   ").kind, SysIconSetting::kBuiltIn);
  EXPECT_EQ(ParseSysIcon(" x ").kind, SysIconSetting::kBuiltIn);
  EXPECT_EQ(ParseSysIcon("a.bmp:").frames, 0);
  EXPECT_EQ(ParseSysIcon("a.bmp:x").frames, 0);
  EXPECT_EQ(ParseSysIcon("a.bmp:-3").frames, -3);
}

// The shipped sample design must parse and give every window a usable
// layout: the default texts, every shown control inside the window, and no
// two shown controls on top of each other.
std::string ReadSample(const char* name) {
  std::ifstream in(std::string(CORVANE_SOURCE_DIR) + "/samples/ui/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

TEST(UiConfigSample, DefaultDesignIsCompleteAndLaidOut) {
  const UiModel m = Parse(ReadSample("ui.dat"));

  const char* titles[] = {"Update Program Wizard", "Download File", "Download Complete", "Update File"};
  const char* subtitles[] = {"Find new version.", "Downloading update file, please wait...",
                             "All the update files have been ready.", "File is being updated..."};
  for (int n = 0; n < kWizardWindows; ++n) {
    const WindowModel& w = m.windows[n];
    SCOPED_TRACE("window " + std::to_string(n));
    EXPECT_TRUE(w.attr.show);
    EXPECT_GE(w.attr.rect.Width(), 400);
    EXPECT_GE(w.attr.rect.Height(), 300);
    EXPECT_EQ(w.texts[0].text, titles[n]);
    EXPECT_EQ(w.texts[1].text, subtitles[n]);
    EXPECT_EQ(w.texts[3].text, "Click to visit our website");
    EXPECT_FALSE(w.texts[3].url.empty());
    EXPECT_EQ(w.buttons[1].caption, "E&xit");

    std::vector<std::pair<std::string, SkinRect>> shown;
    for (int s = 0; s < 4; ++s) {
      if (w.texts[s].show) shown.push_back({"static" + std::to_string(s), w.texts[s].rect});
    }
    // Window 3 has only its exit button.
    if (n != 3) shown.push_back({"button0", w.buttons[0].rect});
    shown.push_back({"button1", w.buttons[1].rect});
    auto add = [&](const char* name, const ControlPlacement& p) {
      if (p.show) shown.push_back({name, p.rect});
    };
    if (n == 0) add("list", m.list0);
    if (n == 1) {
      add("list", m.list1);
      add("rich_edit", m.details1);
      add("progress0", m.progress1_0);
      add("progress1", m.progress1_1);
      add("status0", m.status1_0);
      add("status1", m.status1_1);
    }
    if (n == 3) {
      add("rich_edit", m.details3);
      add("progress0", m.progress3_0);
      add("status0", m.status3_0);
    }
    for (size_t i = 0; i < shown.size(); ++i) {
      const SkinRect& r = shown[i].second;
      EXPECT_FALSE(r.IsEmpty()) << shown[i].first;
      EXPECT_GE(r.left, 0) << shown[i].first;
      EXPECT_GE(r.top, 0) << shown[i].first;
      EXPECT_LE(r.right, w.attr.rect.Width()) << shown[i].first;
      EXPECT_LE(r.bottom, w.attr.rect.Height()) << shown[i].first;
      for (size_t j = i + 1; j < shown.size(); ++j) {
        const SkinRect& o = shown[j].second;
        const bool overlap = r.left < o.right && o.left < r.right && r.top < o.bottom && o.top < r.bottom;
        EXPECT_FALSE(overlap) << shown[i].first << " overlaps " << shown[j].first;
      }
    }
  }
  EXPECT_EQ(m.windows[0].buttons[0].caption, "&Next");
  EXPECT_EQ(m.windows[1].buttons[0].caption, "&Continue");
  EXPECT_EQ(m.windows[2].buttons[0].caption, "&Next");
  EXPECT_TRUE(m.list0.show);
  EXPECT_TRUE(m.progress1_0.show && m.progress1_1.show && m.status1_0.show && m.status1_1.show);
  EXPECT_TRUE(m.details1.show && m.details3.show && m.progress3_0.show && m.status3_0.show);
}

// The binary sample must be the text sample plus its images: regenerate it
// with samples/ui/make_ui_bin.py after changing ui.dat.
TEST(UiConfigSample, ArchiveHoldsTheSameDesignWithSoundImages) {
  const std::string archive = ReadSample("ui.bin");
  auto entry = [&](const std::string& name) {
    return ReadArchiveEntryFromBytes(archive.data(), archive.size(), name, ArchivePassword());
  };
  const auto text = entry("ui.dat");
  ASSERT_TRUE(text);
  const UiModel packed = Parse(std::string(text->data(), text->size()));
  const UiModel plain = Parse(ReadSample("ui.dat"));
  for (int n = 0; n < kWizardWindows; ++n) {
    EXPECT_EQ(packed.windows[n].attr.rect, plain.windows[n].attr.rect);
    for (int s = 0; s < 4; ++s) {
      EXPECT_EQ(packed.windows[n].texts[s].text, plain.windows[n].texts[s].text);
      EXPECT_EQ(packed.windows[n].texts[s].rect, plain.windows[n].texts[s].rect);
    }
    EXPECT_TRUE(packed.windows[n].images[0].show);
    EXPECT_EQ(packed.windows[n].images[0].entry, "res\\band.bmp");
  }
  EXPECT_EQ(packed.copyright, plain.copyright);
  const SysIconSetting icon = ParseSysIcon(packed.sysicon);
  ASSERT_EQ(icon.kind, SysIconSetting::kStrip);
  EXPECT_EQ(icon.frames, 4);

  for (const std::string& name : {packed.windows[0].images[0].entry, icon.entry}) {
    const auto bmp = entry(name);
    ASSERT_TRUE(bmp) << name;
    const auto layout = ParseBmpLayout(reinterpret_cast<const uint8_t*>(bmp->data()), bmp->size() - 1);
    ASSERT_TRUE(layout) << name;
    if (name == icon.entry) {
      EXPECT_EQ(layout->height, 16);
      EXPECT_EQ(layout->width, 16 * icon.frames);
    }
  }
}

}  // namespace
}  // namespace corvane
