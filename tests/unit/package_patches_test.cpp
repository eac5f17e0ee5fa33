// The package build's patches: one per previous build, named after the old
// build's MD5, applied by xdelta3 to exactly the new build, listed beside
// every mirror of the item in the server-side file; and the builds that
// must stop, each with a message naming the file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "designer/item_slots.h"
#include "designer/package_build.h"
#include "designer/package_patches.h"
#include "shared/ini_store.h"
#include "tests/unit/zip_test_support.h"

namespace corvane {
namespace {

using ziptest::Exists;
using ziptest::Quote;
using ziptest::RandomBytes;
using ziptest::ReadFile;
using ziptest::RunCommand;
using ziptest::TempDir;
using ziptest::WriteFile;

struct Recorder : PackageBuildObserver {
  std::vector<std::string> messages;
  void Progress(int) override {}
  void Step(const std::string&) override {}
  void Message(const std::string& text) override { messages.push_back(text); }
};

struct NoFolders : PackageFolderOps {
  bool DeleteFolderTree(const std::string&) override { return true; }
};

std::string Md5Of(const std::string& path) {
  const auto result = RunCommand("md5sum " + Quote(path));
  return result.output.substr(0, 32);
}

TEST(PackagePatchesTest, OnePatchPerPreviousBuildBesideEveryMirror) {
  TempDir dir;
  const std::string v1 = RandomBytes(150000, 1);
  const std::string v2 = v1.substr(0, 60000) + RandomBytes(2000, 2) + v1.substr(61000);
  const std::string v3 = v2.substr(0, 100000) + "a changed string" + v2.substr(100016);
  WriteFile(dir / "builds/v1/app.exe", v1);
  WriteFile(dir / "builds/v2/app.exe", v2);
  WriteFile(dir / "builds/v3/app.exe", v3);
  const std::string md5_1 = Md5Of(dir / "builds/v1/app.exe");
  const std::string md5_2 = Md5Of(dir / "builds/v2/app.exe");
  const std::string md5_3 = Md5Of(dir / "builds/v3/app.exe");
  auto project = [&](const std::string& file1) {
    WriteFile(dir / "p/p.epj",
              "[project]\r\nname=p\r\n[system]\r\nurls=url0=http://h/srv.ini\r\n"
              "[file0]\r\nurls=url0=http://h/notes.txt\r\nfile_ver=1.1\r\n"
              "[file1]\r\nurls=url0=http://h/dl/app.exe;;url1=ftp://m/pub/app.exe,,user,,secret\r\n"
              "file_ver=3.0\r\n" + file1);
  };
  project("md5=" + md5_3 + "\r\nsource_file=" + (dir / "builds/v3/app.exe") +
          "\r\nprevious_file0=" + (dir / "builds/v1/app.exe") +
          "\r\nprevious_file2=" + (dir / "builds/v2/app.exe") +
          "\r\nprevious_file3=" + (dir / "builds/v3/app.exe") + "\r\n");  // the same build: no patch
  PackageBuildSettings settings;
  settings.project_file = dir / "p/p.epj";
  settings.output_folder = dir / "out";
  settings.designer_folder = dir / "designer/";
  Recorder recorder;
  NoFolders folders;
  ASSERT_TRUE(BuildPackage(settings, recorder, folders).ok) << ::testing::PrintToString(recorder.messages);

  IniStore server;
  server.SetFileName(dir / "out/srv.ini");
  ASSERT_TRUE(server.Load());
  const std::string name1 = "app.exe." + md5_1.substr(0, 8) + ".vcdiff";
  const std::string name2 = "app.exe." + md5_2.substr(0, 8) + ".vcdiff";
  EXPECT_EQ(server.GetString("file1", "patch0_urls"),
            "url0=http://h/dl/" + name1 + ";;url1=ftp://m/pub/" + name1 + ",,user,,secret");
  EXPECT_EQ(server.GetString("file1", "patch0_from_md5"), md5_1);
  EXPECT_EQ(server.GetString("file1", "patch2_urls").find("url0=http://h/dl/" + name2), 0u);
  EXPECT_EQ(server.GetString("file1", "patch2_from_md5"), md5_2);
  EXPECT_EQ(server.GetString("file1", "patch1_urls"), "");
  EXPECT_EQ(server.GetString("file1", "patch3_urls"), "");
  EXPECT_EQ(server.GetString("file0", "patch0_urls"), "");
  for (const auto& [patch, old] : {std::pair{name1, std::string("v1")}, std::pair{name2, std::string("v2")}}) {
    ASSERT_TRUE(Exists(dir / ("out/" + patch))) << patch;
    const auto applied = RunCommand("xdelta3 -f -d -s " + Quote(dir / ("builds/" + old + "/app.exe")) + " " +
                                    Quote(dir / ("out/" + patch)) + " " + Quote(dir / "applied"));
    ASSERT_EQ(applied.exit_code, 0) << applied.output;
    EXPECT_TRUE(ReadFile(dir / "applied") == v3) << patch;
    EXPECT_LT(ReadFile(dir / ("out/" + patch)).size(), v3.size() / 10) << patch;
  }

  // Builds that must stop, each naming what is wrong.
  struct Case {
    std::string file1, message;
  };
  const std::string missing = dir / "builds/v0/app.exe";
  const std::vector<Case> cases = {
      {"md5=" + md5_3 + "\r\nsource_file=" + (dir / "builds/v3/app.exe") + "\r\nprevious_file1=" + missing + "\r\n",
       kPreviousBuildUnreadableMessage + missing},
      {"md5=" + md5_3 + "\r\nsource_file=" + missing + "\r\nprevious_file0=" + (dir / "builds/v1/app.exe") + "\r\n",
       kUpdateFileUnreadableMessage + missing},
      {"md5=" + md5_2 + "\r\nsource_file=" + (dir / "builds/v3/app.exe") + "\r\nprevious_file0=" +
           (dir / "builds/v1/app.exe") + "\r\n",
       kUpdateFileDigestMessage + (dir / "builds/v3/app.exe")},
      {"md5=" + md5_3 + "\r\nprevious_file0=" + (dir / "builds/v1/app.exe") + "\r\n",
       std::string(kUpdateFileMissingMessage) + "file1"},
  };
  for (const Case& c : cases) {
    project(c.file1);
    Recorder failed;
    EXPECT_FALSE(BuildPackage(settings, failed, folders).ok);
    EXPECT_EQ(failed.messages, (std::vector<std::string>{c.message}));
  }
}

TEST(PackagePatchesTest, FilePageKeepsTheBuildsInOrderWithoutGaps) {
  IniStore project;
  ASSERT_TRUE(project.LoadFromText("[file2]\r\nurls=url0=http://h/a.exe\r\nsource_file=C:\\b\\3.exe\r\n"
                                   "previous_file1=C:\\b\\1.exe\r\nprevious_file4=C:\\b\\2.exe\r\n"));
  ItemSlots slots(ItemKind::kFile);
  slots.Load(project);
  EXPECT_EQ(slots.At(2).source_file, "C:\\b\\3.exe");
  EXPECT_EQ(slots.At(2).previous_files, (std::vector<std::string>{"C:\\b\\1.exe", "C:\\b\\2.exe"}));
  EXPECT_TRUE(slots.At(0).previous_files.empty());
  IniStore saved;
  ASSERT_TRUE(saved.LoadFromText("[project]\r\n"));
  ASSERT_TRUE(slots.Save(saved));
  EXPECT_EQ(saved.GetString("file2", "previous_file0"), "C:\\b\\1.exe");
  EXPECT_EQ(saved.GetString("file2", "previous_file1"), "C:\\b\\2.exe");
  EXPECT_EQ(saved.GetString("file2", "previous_file4"), "");
  EXPECT_EQ(saved.GetString("file2", "source_file"), "C:\\b\\3.exe");
  EXPECT_EQ(saved.GetString("file0", "source_file"), "");
}

}  // namespace
}  // namespace corvane
