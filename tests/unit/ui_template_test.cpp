// UI templates: saving and opening ".umb" files, refusing hostile archives,
// and the recent-template list.
#include "designer/uieditor/ui_template.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "designer/uieditor/ui_config_writer.h"
#include "designer/uieditor/ui_preview.h"
#include "shared/archive_password.h"
#include "shared/ini_store.h"
#include "shared/text_util.h"
#include "shared/zip_archive.h"
#include "tests/unit/ui_editor_test_support.h"
#include "tests/unit/zip_test_support.h"
#include "updater/ui/ui_config.h"

namespace corvane {
namespace {

using ziptest::Exists;
using ziptest::ListTree;
using ziptest::ReadFile;
using ziptest::TempDir;
using ziptest::WriteFile;

std::string Text(const ByteBuffer& b) { return std::string(b.begin(), b.end()); }

// The design as the project would store it, with image paths left out
// (they change from the publisher's files to the unpacked copies).
std::string ProjectText(UiDesign design) {
  for (DesignWindow& w : design.windows) {
    for (DesignImage& image : w.images) image.source = image.source.empty() ? "" : "set";
  }
  design.sysicon = design.sysicon.empty() ? "" : "set";
  IniStore store;
  store.LoadFromText("[UI]\r\n");
  SaveUiDesign(design, store);
  return store.ToText();
}

TEST(UiTemplate, SavedAndOpenedAgainGivesTheSameDesignWithItsImages) {
  TempDir dir;
  WriteFile(dir / "pics/banner.bmp", Text(uitest::MakeBmp(30, 10, 9)));
  WriteFile(dir / "pics/strip.bmp", Text(uitest::MakeBmp(48, 16, 4)));
  UiDesign design = uitest::RichDesign();
  design.windows[0].images[0].source = dir / "pics/banner.bmp";
  design.windows[2].images[0].source = dir / "pics/banner.bmp";
  design.sysicon = dir / "pics/strip.bmp";
  design.current_window = 3;

  const std::string path = dir / "umb/Blue.umb";
  ASSERT_TRUE(ziptest::RunCommand("mkdir -p " + ziptest::Quote(dir / "umb")).exit_code == 0);
  std::string error;
  ASSERT_TRUE(SaveUiTemplate(design, "Blue sky", "Ann B", "3.1", path, &error)) << error;
  // The archive holds the text after its header line and each file once.
  const auto text = ReadArchiveEntry(path, "umb.dat", ArchivePassword());
  ASSERT_TRUE(text);
  EXPECT_EQ(std::string(text->data()).rfind("//Created by Corvane\r\n", 0), 0u);
  ZipArchive archive;
  ASSERT_TRUE(archive.Open(path));
  EXPECT_EQ(archive.GetEntryCount(), 3);
  EXPECT_TRUE(archive.GetEntryHeader(0)->is_encrypted);
  archive.Discard();

  UiDesign opened = NewUiDesign();
  opened.current_window = 1;
  const std::string defui = dir / "defui";
  ASSERT_TRUE(OpenUiTemplate(path, defui, &opened, &error)) << error;
  UiDesign expected = design;
  expected.template_name = "Blue sky";
  expected.template_author = "Ann B";
  expected.current_window = 1;  // the page's own state stays
  EXPECT_EQ(ProjectText(opened), ProjectText(expected));
  // Images and icon now come from the unpacked template.
  EXPECT_EQ(opened.windows[0].images[0].source, defui + "/res/banner.bmp");
  EXPECT_EQ(opened.windows[2].images[0].source, defui + "/res/banner.bmp");
  EXPECT_EQ(opened.windows[1].images[0].source, "");
  EXPECT_EQ(opened.sysicon, defui + "/res/sysicon.bmp");
  EXPECT_EQ(ReadFile(defui + "/res/banner.bmp"), Text(uitest::MakeBmp(30, 10, 9)));
  EXPECT_EQ(ReadFile(defui + "/res/sysicon.bmp"), Text(uitest::MakeBmp(48, 16, 4)));

  // "Use template" reads the unpacked copy the same way, and a template
  // made from the opened design is the same again.
  UiDesign used = NewUiDesign();
  used.current_window = 1;
  ASSERT_TRUE(LoadDesignFromUiFile(defui + "/umb.dat", &used));
  EXPECT_EQ(ProjectText(used), ProjectText(opened));
  ASSERT_TRUE(SaveUiTemplate(opened, "Blue sky", "Ann B", "3.1", dir / "again.umb", &error)) << error;
  UiDesign reopened = NewUiDesign();
  ASSERT_TRUE(OpenUiTemplate(dir / "again.umb", dir / "defui2", &reopened, &error)) << error;
  reopened.current_window = 1;
  EXPECT_EQ(ProjectText(reopened), ProjectText(opened));
}

TEST(UiTemplate, HostileOrBrokenArchivesAreRefusedAndChangeNothing) {
  TempDir dir;
  const std::string good_text = "//Created by Corvane\r\n[UI]\r\ntitle=Evil\r\n";
  struct Case {
    const char* name;
    std::string bytes;
    std::string message_prefix;
  };
  const Case cases[] = {
      {"escape.umb",
       ziptest::BuildRawZip({ziptest::RawEntry("umb.dat", good_text), ziptest::RawEntry("../outside.bmp", "BM")}),
       "Template file format error:"},
      {"absolute.umb",
       ziptest::BuildRawZip({ziptest::RawEntry("umb.dat", good_text), ziptest::RawEntry("/tmp/abs.bmp", "BM")}),
       "Template file format error:"},
      {"backslash.umb",
       ziptest::BuildRawZip({ziptest::RawEntry("umb.dat", good_text), ziptest::RawEntry("res\\..\\..\\x.bmp", "BM")}),
       "Template file format error:"},
      {"notext.umb", ziptest::BuildRawZip({ziptest::RawEntry("res/a.bmp", "BM")}), "Template file format error:"},
      {"garbage.umb", "PK\x03\x04 this is no archive", "Template file format error:"},
      {"template.zip", ziptest::BuildRawZip({ziptest::RawEntry("umb.dat", good_text)}), "Template file format error:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(dir / c.name, c.bytes);
    UiDesign design = NewUiDesign();
    std::string error;
    EXPECT_FALSE(OpenUiTemplate(dir / c.name, dir / "defui", &design, &error));
    EXPECT_EQ(error, c.message_prefix + dir / c.name);
    EXPECT_EQ(design.title, "Corvane");
    EXPECT_FALSE(Exists(dir / "defui")) << "nothing unpacked";
    EXPECT_FALSE(Exists(dir / "outside.bmp"));
  }
  UiDesign design = NewUiDesign();
  std::string error;
  EXPECT_FALSE(OpenUiTemplate(dir / "missing.umb", dir / "defui", &design, &error));
  EXPECT_EQ(error, "Not find file:" + dir / "missing.umb");
}

// Every entry is checked, and the template unpacked in a folder of its own,
// before the current template changes: a refused template leaves "defui"
// byte for byte as it was, with no staging folder left beside it.
TEST(UiTemplate, TemplatesAreCheckedWholeAndSwappedInWhole) {
  TempDir dir;
  const std::string defui = dir / "defui";
  WriteFile(defui + "/umb.dat", "//Created by Corvane\r\n[UI]\r\ntitle=Current\r\n");
  WriteFile(defui + "/res/old.bmp", "current picture");
  WriteFile(defui + "/system.dat",
            "//Created by Corvane\r\n[UI]\r\ntitle=Built in\r\n[win0]\r\nimage0=show=1;;bmpfile=res\\builtin.bmp\r\n");
  WriteFile(defui + "/res/builtin.bmp", "built-in picture");
  const std::vector<std::string> before = ListTree(defui);
  const std::string built_in = ReadFile(defui + "/system.dat");
  auto unchanged = [&] {
    EXPECT_EQ(ListTree(defui), before);
    EXPECT_EQ(ReadFile(defui + "/res/old.bmp"), "current picture");
    EXPECT_EQ(ReadFile(defui + "/system.dat"), built_in);
    EXPECT_FALSE(Exists(defui + ".new") || Exists(defui + ".old"));
  };
  const std::string text = "//Created by Corvane\r\n[UI]\r\ntitle=New\r\n";
  ziptest::RawEntry damaged("res/a.bmp", "BM picture");
  damaged.crc = 1;
  const std::string format = "Template file format error:";
  struct Case {
    const char* name;
    std::vector<ziptest::RawEntry> entries;
    std::string reason;
  };
  const Case cases[] = {
      {"damaged.umb", {ziptest::RawEntry("umb.dat", text), damaged}, ""},
      {"twice.umb", {ziptest::RawEntry("umb.dat", text), ziptest::RawEntry("umb.dat", "[UI]\r\ntitle=Other\r\n")},
       std::string(kTemplateTwinReason) + "umb.dat"},
      {"case.umb", {ziptest::RawEntry("umb.dat", text), ziptest::RawEntry("UMB.DAT", "[UI]\r\n")},
       std::string(kTemplateTwinReason) + "UMB.DAT"},
      {"separators.umb",
       {ziptest::RawEntry("umb.dat", text), ziptest::RawEntry("res/a.bmp", "1"), ziptest::RawEntry("RES\\A.bmp", "2")},
       std::string(kTemplateTwinReason) + "RES\\A.bmp"},
      {"system.umb", {ziptest::RawEntry("umb.dat", text), ziptest::RawEntry("System.dat", "[UI]\r\n")},
       kTemplateSystemDatReason},
      {"fileandfolder.umb",
       {ziptest::RawEntry("umb.dat", text), ziptest::RawEntry("res", "x"), ziptest::RawEntry("res/a.bmp", "y")}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(dir / c.name, ziptest::BuildRawZip(c.entries));
    UiDesign design = NewUiDesign();
    std::string error;
    EXPECT_FALSE(OpenUiTemplate(dir / c.name, defui, &design, &error));
    EXPECT_EQ(error, format + dir / c.name + c.reason);
    EXPECT_EQ(design.title, "Corvane");
    unchanged();
  }

  // 65 entries of 1 MiB of zeros make a small file and too much to unpack.
  {
    ZipArchive big;
    ASSERT_TRUE(big.Create(dir / "big.umb"));
    big.SetPassword(ArchivePassword());
    ASSERT_TRUE(big.AddEntryFromMemory("umb.dat", text));
    const std::string zeros(1 << 20, '\0');
    for (int i = 0; i < 64; ++i) ASSERT_TRUE(big.AddEntryFromMemory(Format("res/%02d.bmp", i), zeros));
    ASSERT_TRUE(big.Close());
  }
  UiDesign design = NewUiDesign();
  std::string error;
  EXPECT_FALSE(OpenUiTemplate(dir / "big.umb", defui, &design, &error));
  EXPECT_EQ(error, kTemplateTooLargeMessage + dir / "big.umb" + kTemplateTooLargeReason);
  unchanged();

  // A sound template replaces the current one as a whole: nothing of the old
  // one stays, the built-in design and its picture do, and a read-only entry
  // arrives as a plain file that the next template can replace.
  ziptest::RawEntry read_only("res/new.bmp", "new picture");
  read_only.version_made_by = 3 << 8;  // Unix host, mode 0444
  read_only.external_attributes = (0100444u << 16) | 0x01;
  WriteFile(dir / "good.umb", ziptest::BuildRawZip({ziptest::RawEntry("umb.dat", text), read_only}));
  // A swap that cannot happen (the former folder's place is taken by a file)
  // is refused as well and puts nothing in place.
  WriteFile(defui + ".old", "in the way");
  EXPECT_FALSE(OpenUiTemplate(dir / "good.umb", defui, &design, &error));
  EXPECT_EQ(error, format + dir / "good.umb");
  EXPECT_EQ(ListTree(defui), before);
  EXPECT_FALSE(Exists(defui + ".new"));
  std::remove((defui + ".old").c_str());
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(OpenUiTemplate(dir / "good.umb", defui, &design, &error)) << error;
    EXPECT_EQ(design.title, "New");
    std::vector<std::string> after = ListTree(defui);
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, (std::vector<std::string>{"res", "res/builtin.bmp", "res/new.bmp", "system.dat", "umb.dat"}));
    EXPECT_EQ(ReadFile(defui + "/res/builtin.bmp"), "built-in picture");
    EXPECT_EQ(ReadFile(defui + "/system.dat"), built_in);
    struct stat info;
    ASSERT_EQ(stat((defui + "/res/new.bmp").c_str(), &info), 0);
    EXPECT_TRUE(info.st_mode & S_IWUSR);
    EXPECT_FALSE(Exists(defui + ".new") || Exists(defui + ".old"));
  }
}

TEST(UiTemplate, MissingOrGarbageKeysOpenWithDefaults) {
  TempDir dir;
  const std::string text =
      "//Created by Corvane\r\n"
      "[win1]\r\n"
      "static0=fontsize=abc;;rect=1,2;;text=Only text\r\n"
      "image0=show=1;;rect=5,5,10,10;;bmpfile=..\\..\\etc\\passwd\r\n"
      "attr=;;;;===\r\n"
      "[UI]\r\n"
      "sysicon=nocolon\r\n";
  // Written with the module itself so that the entry is encrypted as usual.
  ZipArchive archive;
  ASSERT_TRUE(archive.Create(dir / "odd.umb"));
  archive.SetPassword(ArchivePassword());
  ASSERT_TRUE(archive.AddEntryFromMemory("umb.dat", text));
  ASSERT_TRUE(archive.Close());

  UiDesign design;
  std::string error;
  ASSERT_TRUE(OpenUiTemplate(dir / "odd.umb", dir / "defui", &design, &error)) << error;
  const UiDesign defaults = NewUiDesign();
  EXPECT_EQ(design.title, "Corvane");
  EXPECT_EQ(design.sysicon, "");
  EXPECT_EQ(design.windows[0].texts[0].text, defaults.windows[0].texts[0].text);
  EXPECT_EQ(design.windows[1].texts[0].text, "Only text");
  EXPECT_FALSE(design.windows[1].texts[0].show);
  EXPECT_TRUE(design.windows[1].texts[0].rect.IsEmpty());
  EXPECT_EQ(design.windows[1].texts[0].font_height, 0);
  EXPECT_EQ(design.windows[1].images[0].source, "") << "an entry outside the folder is no file";
  EXPECT_FALSE(design.windows[1].attr.show);
  EXPECT_EQ(design.windows[1].buttons[1].caption, "E&xit");
  EXPECT_EQ(ListTree(dir / "defui"), std::vector<std::string>{"umb.dat"});
}

TEST(UiTemplate, RecentListKeepsTenExistingPathsNewestFirst) {
  TempDir dir;
  auto make = [&](int i) {
    const std::string path = dir / Format("t%02d.umb", i);
    WriteFile(path, "x");
    return path;
  };
  std::vector<std::string> paths;
  for (int i = 0; i < 12; ++i) paths.push_back(make(i));
  const std::string status_path = dir / "system/status.cfg";
  WriteFile(status_path, "//Created by Corvane");
  IniStore status;
  status.SetFileName(status_path);
  ASSERT_TRUE(status.SetString("prj", "name0", "project.epj"));

  // Reading stops at the first empty key and skips files that are gone.
  ASSERT_TRUE(status.SetString("umb", "name0", paths[0]));
  ASSERT_TRUE(status.SetString("umb", "name1", dir / "deleted.umb"));
  ASSERT_TRUE(status.SetString("umb", "name2", paths[1]));
  ASSERT_TRUE(status.SetString("umb", "name4", paths[2]));
  EXPECT_EQ(ReadRecentTemplates(status), (std::vector<std::string>{paths[0], paths[1]}));

  // The same template twice (in another case) is one entry, at the front.
  std::vector<std::string> list = ReadRecentTemplates(status);
  list = PromoteRecentTemplate(list, paths[1]);
  std::string upper = paths[0];
  upper.replace(upper.size() - 3, 3, "UMB");
  list = PromoteRecentTemplate(list, upper);
  EXPECT_EQ(list, (std::vector<std::string>{upper, paths[1]}));

  // Eleven different ones: the oldest drops out, never more than ten.
  list.clear();
  for (int i = 0; i < 11; ++i) list = PromoteRecentTemplate(list, paths[static_cast<size_t>(i)]);
  ASSERT_EQ(list.size(), 10u);
  EXPECT_EQ(list.front(), paths[10]);
  EXPECT_EQ(list.back(), paths[1]);
  ASSERT_TRUE(WriteRecentTemplates(status, list));
  EXPECT_EQ(ReadRecentTemplates(status), list);

  // Writing a shorter list removes the keys after it; other sections stay.
  ASSERT_TRUE(WriteRecentTemplates(status, {paths[11]}));
  IniStore reread;
  reread.SetFileName(status_path);
  EXPECT_EQ(reread.GetString("umb", "name1"), "");
  EXPECT_EQ(reread.GetString("umb", "name9"), "");
  EXPECT_EQ(reread.GetString("prj", "name0"), "project.epj");
  EXPECT_EQ(ReadRecentTemplates(reread), std::vector<std::string>{paths[11]});
  EXPECT_EQ(ReadFile(status_path).rfind("//Created by Corvane", 0), 0u);
}

TEST(UiPreview, PreviewFolderHoldsOnlyTheArchiveAndTheTemplateDesignIsUsedWhenCustomIsOff) {
  TempDir dir;
  WriteFile(dir / "logo.bmp", Text(uitest::MakeBmp(8, 8)));
  UiDesign design = NewUiDesign();
  design.title = "Preview me";
  design.windows[0].images[0].source = dir / "logo.bmp";
  design.windows[1].images[0].source = dir / "logo.bmp";
  std::string folder, error;
  ASSERT_TRUE(WritePreviewPackage(design, dir / "project", "1.2", &folder, &error)) << error;
  EXPECT_EQ(folder, dir / "project/preview");
  EXPECT_EQ(ListTree(folder), std::vector<std::string>{"ui.bin"});
  const auto text = ReadArchiveEntry(folder + "/ui.bin", "ui.dat", ArchivePassword());
  ASSERT_TRUE(text);
  UiModel model;
  ASSERT_TRUE(ParseUiConfiguration(text->data(), &model));
  EXPECT_EQ(model.title, "Preview me");
  EXPECT_TRUE(ReadArchiveEntry(folder + "/ui.bin", model.windows[1].images[0].entry, ArchivePassword()));

  // A file where the folder should be: the archive cannot be made.
  WriteFile(dir / "blocked/preview", "x");
  EXPECT_FALSE(WritePreviewPackage(design, dir / "blocked", "1.2", &folder, &error));
  EXPECT_EQ(error, "Failed to create UI configuration file.");

  // "Custom Windows" off: the current template, else the built-in design.
  design.use_custom = false;
  design.current_window = 2;
  const std::string defui = dir / "defui";
  EXPECT_EQ(DesignForPackage(design, defui).title, "Corvane");
  WriteFile(defui + "/system.dat", "//Created by Corvane\r\n[UI]\r\ntitle=Built in\r\n");
  EXPECT_EQ(DesignForPackage(design, defui).title, "Built in");
  WriteFile(defui + "/umb.dat", "//Created by Corvane\r\n[UI]\r\ntitle=Template\r\n");
  const UiDesign packaged = DesignForPackage(design, defui);
  EXPECT_EQ(packaged.title, "Template");
  EXPECT_EQ(packaged.current_window, 2);
  design.use_custom = true;
  EXPECT_EQ(DesignForPackage(design, defui).title, "Preview me");
}

}  // namespace
}  // namespace corvane
