// The designer's page models: URL lists, System settings, item slots and the
// project/status files they live in.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "designer/item_slots.h"
#include "designer/page_defaults.h"
#include "designer/project_files.h"
#include "designer/system_settings.h"
#include "designer/url_list.h"
#include "shared/ini_store.h"

namespace corvane {
namespace {

IniStore TextStore(const std::string& text) {
  IniStore store;
  store.LoadFromText("\n" + text);
  return store;
}

TEST(UrlListTest, FtpDisplayAndStoredForms) {
  UrlListEditor list;
  ASSERT_EQ(list.Add({"ftp://", "A", "U", "P"}), UrlListEditor::Result::kChanged);
  EXPECT_EQ(list.Lines()[0], "ftp://A  Username: U  Password: P");
  EXPECT_EQ(list.Packed(), "url0=ftp://A,,U,,P");

  // An FTP entry without account shows both labels, packs bare and reloads
  // without labels.
  ASSERT_EQ(list.Add({"ftp://", "B", "", ""}), UrlListEditor::Result::kChanged);
  EXPECT_EQ(list.Lines()[1], "ftp://B  Username:   Password: ");
  EXPECT_EQ(list.Packed(), "url0=ftp://A,,U,,P;;url1=ftp://B");
  EXPECT_EQ(UnpackUrlList(list.Packed()),
            (std::vector<std::string>{"ftp://A  Username: U  Password: P", "ftp://B"}));

  // HTTP packs without the user fields, whatever they hold.
  ASSERT_EQ(list.Add({"http://", "h/srv.ini", "U", "P"}), UrlListEditor::Result::kChanged);
  EXPECT_EQ(list.Lines()[2], "http://h/srv.ini");
  EXPECT_EQ(GetAttribute(list.Packed(), "url2"), "http://h/srv.ini");
}

TEST(UrlListTest, AddRefusesEleventhAndDuplicatesUpdateDoesNot) {
  UrlListEditor list;
  EXPECT_EQ(list.Add({"http://", "", "", ""}), UrlListEditor::Result::kIgnored);
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(list.Add({"http://", "h/" + std::to_string(i), "", ""}), UrlListEditor::Result::kChanged);
  }
  EXPECT_EQ(list.Add({"http://", "h/new", "", ""}), UrlListEditor::Result::kOutOfRange);
  EXPECT_EQ(list.Lines().size(), 10u);

  list.Select(3);
  EXPECT_EQ(list.Delete(), UrlListEditor::Result::kChanged);
  EXPECT_EQ(list.Selected(), 3);
  EXPECT_EQ(list.Lines()[3], "http://h/4");
  EXPECT_EQ(list.Add({"http://", "h/0", "", ""}), UrlListEditor::Result::kDuplicate);
  list.Select(1);
  EXPECT_EQ(list.Update({"http://", "h/0", "", ""}), UrlListEditor::Result::kChanged);
  EXPECT_EQ(list.Lines()[0], list.Lines()[1]);
  list.Select(static_cast<int>(list.Lines().size()) - 1);
  list.Delete();
  EXPECT_EQ(list.Selected(), static_cast<int>(list.Lines().size()) - 1);
}

TEST(UrlListTest, UnpackingStopsAtTheFirstEmptyPosition) {
  EXPECT_EQ(UnpackUrlList("url0=http://a/x.ini;;url1=;;url2=http://c/x.ini"),
            (std::vector<std::string>{"http://a/x.ini"}));
  // Entries without protocol or address are skipped, not the end.
  EXPECT_EQ(UnpackUrlList("url0=noscheme;;url1=http://;;url2=file://C:/s.ini,,u"),
            (std::vector<std::string>{"file://C:/s.ini  Username: u"}));
  EXPECT_EQ(PackUrlLines({}), "");
}

TEST(UrlListTest, ServerFileNameRules) {
  struct Case {
    std::vector<std::string> lines;
    const char* name;
  } cases[] = {
      {{}, ""},
      {{"http://h/dir/"}, ""},
      {{"file://C:/dir/srv.ini"}, "srv.ini"},
      {{"file://C:\\dir\\back.ini"}, "back.ini"},
      {{"ftp://h/a/srv.ini  Username: u/x  Password: p/y"}, "srv.ini"},
      {{"noslash"}, "noslash"},
  };
  for (const Case& c : cases) EXPECT_EQ(ServerFileName(c.lines), c.name) << c.name;
}

TEST(SystemPageValuesTest, NewProjectSavesInItsOrderAndReloads) {
  SystemPageValues s = SystemPageValues::NewProject();
  s.url_lines = {"ftp://h/srv.ini  Username: u  Password: p"};
  s.programs[7] = "{win}after.exe";
  IniStore project = TextStore("[project]\r\nname=x");
  ASSERT_TRUE(s.Save(project));
  EXPECT_EQ(project.ToText(),
            "[project]\r\nname=x\r\n[system]\r\nurls=url0=ftp://h/srv.ini,,u,,p\r\nrandomsel=0\r\n"
            "tryallurl=0\r\nprotocol=0\r\ncloselog=0\r\nrun_after={win}after.exe\r\n"
            "username=anonymous\r\npw=quillfern\r\n[UI]\r\nnoupdate_win=0\r\n"
            "noupdate_win_msg=No new version.\r\nstart_win=1\r\n"
            "start_win_msg=Have new version, now upgrade it?\r\ndl_win=1\r\n"
            "dl_win_msg=Download file failed, please try again later!\r\nend_win1=1\r\nend_win2=1\r\n"
            "end_win1_msg=The upgrade is complete!\r\nend_win2_msg=Upgrade failed!\r\nclose_win=1\r\n"
            "close_win_msg=The upgrade will close some of the relevant processes. Save your data and "
            "continue.\r\n");
  SystemPageValues back = SystemPageValues::Load(project);
  EXPECT_EQ(back.url_lines, s.url_lines);
  EXPECT_EQ(back.programs, s.programs);
  EXPECT_EQ(back.password, kDefaultFtpPassword);
  EXPECT_EQ(back.ServerFileName(), "srv.ini");
}

TEST(SystemPageValuesTest, GarbageKeysLoadAsDefaults) {
  IniStore project = TextStore("[system]\r\nprotocol=7\r\nrandomsel=yes\r\nurls=;;;;\r\n[UI]\r\nstart_win=\r\n");
  SystemPageValues s = SystemPageValues::Load(project);
  EXPECT_EQ(s.protocol, 0);
  EXPECT_EQ(s.randomsel, 0);
  EXPECT_TRUE(s.url_lines.empty());
  EXPECT_EQ(s.user, "anonymous");
  EXPECT_EQ(s.prompts[1].shown, 1);
  EXPECT_EQ(s.prompts[4].text, "The upgrade is complete!");
}

TEST(SystemPageValuesTest, PackagePartSplitsLocalAndServerKeys) {
  IniStore project = TextStore(
      "[system]\r\nurls=url0=http://h/s.ini\r\ncloselog=1\r\nserver_conf=h/s.ini\r\n"
      "close_proc1=a.exe, b.exe\r\n[UI]\r\nstart_win=0\r\n");
  IniStore local = TextStore(""), server = TextStore("");
  ASSERT_TRUE(WriteSystemPackagePart(project, local, server));
  EXPECT_EQ(local.ToText(), "[system]\r\nurls=url0=http://h/s.ini\r\ncloselog=1\r\nrandomsel=0\r\ntryallurl=0\r\n");
  EXPECT_EQ(server.GetString("system", "close_proc1"), "a.exe, b.exe");
  EXPECT_EQ(server.GetString("system", "server_conf"), "");
  EXPECT_EQ(server.GetString("UI", "start_win"), "0");
  EXPECT_EQ(server.GetString("UI", "end_win1_msg"), "The upgrade is complete!");
}

TEST(ItemSlotsTest, DisplayStyleFollowsTheOperationMode) {
  EXPECT_EQ(DisplayStyleChoices(0).size(), 1u);
  EXPECT_EQ(DisplayStyleChoices(1).size(), 3u);
  EXPECT_EQ(EffectiveShowType(0, 2), 0);
  EXPECT_EQ(EffectiveShowType(1, 2), 2);
  IniStore project = TextStore("[file0]\r\nop_mode=0\r\nshow_type=2\r\n[file1]\r\nop_mode=1\r\nshow_type=9\r\n");
  ItemSlots slots(ItemKind::kFile);
  slots.Load(project);
  EXPECT_EQ(slots.At(0).show_type, 0);
  EXPECT_EQ(slots.At(1).show_type, 2);
}

TEST(ItemSlotsTest, SaveDropsDefaultsAndPackageVersions) {
  for (ItemKind kind : {ItemKind::kFile, ItemKind::kDirectory}) {
    ItemSlots slots(kind);
    ItemSlot& defined = slots.At(0);
    defined.urls = "url0=http://h/a.txt";
    defined.local_ver = "1.0";
    defined.modify_ver = 0;
    defined.md5 = "0123";
    ItemSlot& undefined = slots.At(1);
    undefined.local_ver = "2.0";
    undefined.path = "{temp}x";
    slots.At(2).local_ver = "0.0.0";
    IniStore project = TextStore("");
    ASSERT_TRUE(slots.Save(project));
    const std::string s0 = SlotSection(kind, 0);
    EXPECT_EQ(project.GetString(s0, "local_ver"), "1.0");
    EXPECT_EQ(project.GetString(s0, "file_ver", "absent"), "absent");
    EXPECT_EQ(project.GetString(s0, "modify_ver"), "0");
    EXPECT_EQ(project.GetString(s0, "show_type", "absent"), "absent");

    IniStore local = TextStore(""), server = TextStore("");
    ASSERT_TRUE(WriteItemPackagePart(kind, project, local, server));
    EXPECT_EQ(local.GetString(s0, "ver"), "1.0");
    EXPECT_EQ(local.GetString(SlotSection(kind, 1), "ver"), "2.0");
    EXPECT_EQ(local.GetString(SlotSection(kind, 2), "ver", "absent"), "absent");
    // Only a defined slot reaches the server-side file; there a file item
    // names "0.0.0", a directory item names nothing.
    EXPECT_EQ(server.GetString(SlotSection(kind, 1), "path", "absent"), "absent");
    EXPECT_EQ(server.GetString(s0, "ver", "absent"), kind == ItemKind::kFile ? "0.0.0" : "absent");
    EXPECT_EQ(server.GetString(s0, "md5", "absent"), kind == ItemKind::kFile ? "0123" : "absent");
    EXPECT_EQ(server.GetString(s0, "modify_ver"), "0");
    EXPECT_EQ(server.GetString(s0, "op_mode"), "0");
  }
}

TEST(ProjectFilesTest, SaveReloadSaveIsByteForByte) {
  const std::string path = ::testing::TempDir() + "designer_roundtrip.epj";
  {
    IniStore fresh;
    ASSERT_TRUE(fresh.LoadFromText(NewProjectText("demo")));
    ASSERT_TRUE(WriteProjectFile(path, fresh));
  }
  auto save_all = [&](IniStore& store, const SystemPageValues& sys, const ItemSlots& files,
                      const ItemSlots& dirs) {
    ASSERT_TRUE(sys.Save(store));
    ASSERT_TRUE(files.Save(store));
    ASSERT_TRUE(dirs.Save(store));
    ASSERT_TRUE(WriteProjectFile(path, store));
  };
  IniStore first;
  ASSERT_TRUE(ReadProjectFile(path, &first));
  SystemPageValues sys = SystemPageValues::NewProject();
  sys.url_lines = {"http://h/srv.ini", "ftp://f/srv.ini  Username:   Password: "};
  ItemSlots files(ItemKind::kFile), dirs(ItemKind::kDirectory);
  files.At(3).urls = "url0=ftp://f/a.zip,,u,,p";
  files.At(3).uncompress = 1;
  files.At(3).op_mode = 1;
  files.At(3).show_type = 1;
  dirs.At(9).urls = "url0=file://C:/d";
  dirs.At(9).filter = "*.dll,*.exe";
  save_all(first, sys, files, dirs);
  std::string text1;
  {
    IniStore check;
    ASSERT_TRUE(ReadProjectFile(path, &check));
    text1 = check.ToText();
  }
  IniStore second;
  ASSERT_TRUE(ReadProjectFile(path, &second));
  SystemPageValues sys2 = SystemPageValues::Load(second);
  ItemSlots files2(ItemKind::kFile), dirs2(ItemKind::kDirectory);
  files2.Load(second);
  dirs2.Load(second);
  EXPECT_EQ(files2.At(3).show_type, 1);
  save_all(second, sys2, files2, dirs2);
  IniStore check;
  ASSERT_TRUE(ReadProjectFile(path, &check));
  EXPECT_EQ(check.ToText(), text1);
  EXPECT_EQ(text1.rfind("[project]\r\nname=demo\r\n[system]\r\n", 0), 0u);
  std::remove(path.c_str());
  // A file that cannot be read or written leaves the store as it was.
  EXPECT_FALSE(ReadProjectFile(path, &check));
  EXPECT_EQ(check.ToText(), text1);
  EXPECT_FALSE(WriteProjectFile(::testing::TempDir() + "no-such-folder/x.epj", check));
}

TEST(ProjectFilesTest, LocationAndRecentList) {
  ProjectLocation loc;
  EXPECT_FALSE(LocateProject("\\a.epj", &loc));
  EXPECT_FALSE(LocateProject("a.epj", &loc));
  ASSERT_TRUE(LocateProject("C:\\p\\my.app.epj", &loc));
  EXPECT_EQ(loc.folder, "C:\\p\\");
  EXPECT_EQ(loc.name, "my.app");
  EXPECT_TRUE(HasProjectExtension("x.PRJ"));
  EXPECT_FALSE(HasProjectExtension("x.txt"));

  RecentProjects recent;
  for (int i = 0; i < 12; ++i) recent.Insert("C:\\p" + std::to_string(i) + ".epj");
  EXPECT_EQ(recent.Paths().size(), 10u);
  EXPECT_EQ(recent.Paths().front(), "C:\\p11.epj");
  EXPECT_EQ(recent.Paths().back(), "C:\\p2.epj");
  recent.Insert("c:\\P5.EPJ");
  EXPECT_EQ(recent.Paths().size(), 10u);
  EXPECT_EQ(recent.Paths().front(), "c:\\P5.EPJ");

  IniStore status = TextStore("//Created by Corvane\r\n[prj]\r\nname0=a\r\nname1=b\r\nname2=\r\nname3=d\r\n");
  recent.Load(status, [](const std::string& p) { return p != "b"; });
  EXPECT_EQ(recent.Paths(), (std::vector<std::string>{"a"}));
  ASSERT_TRUE(recent.Write(status, true, 2));
  EXPECT_EQ(status.ToText(),
            "//Created by Corvane\r\n[prj]\r\nname0=a\r\nname2=\r\nname3=d\r\nhave_prj=1\r\ncursel=2\r\n");
}

}  // namespace
}  // namespace corvane
