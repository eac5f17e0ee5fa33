#include "updater/engine/self_update/self_update_relay.h"

#include <gtest/gtest.h>

#include "check_test_support.h"
#include "shared/zip_archive.h"
#include "updater/engine/self_update/self_update_items.h"

namespace corvane {
namespace {

using checktest::ReadBytes;
using checktest::TempFolder;
using checktest::WriteBytes;

std::string Describe(const std::vector<SelfUpdateEntry>& entries) {
  std::string text;
  for (const SelfUpdateEntry& e : entries) text += "[" + std::to_string(e.item) + "|" + e.version + "]";
  return text;
}

TEST(SelfUpdateRelayTest, NamesOfTheThreeProcesses) {
  EXPECT_EQ(SelfUpdateCopyName("update.exe"), "update.exe.exe");
  EXPECT_EQ(SelfUpdateCopyName("myupd.exe"), "myupd.exe.exe");
  EXPECT_EQ(InstalledNameOfCopy("myupd.exe.exe"), "myupd.exe");
  EXPECT_EQ(InstalledNameOfCopy(".exe"), "");
}

TEST(SelfUpdateRelayTest, ArgumentCarriesHostWindowAndEveryDownloadedItem) {
  EXPECT_EQ(BuildSelfUpdateArgument(0, {{3, "2.0"}}), "/self_update:3-2.0");
  EXPECT_EQ(BuildSelfUpdateArgument(0x1a2b3c, {{3, "2.0"}, {1, "1.4"}, {7, "5.0.1"}}),
            "/HWND:1715004 /self_update:3-2.0,1-1.4,7-5.0.1");
  // Handles of 64-bit Windows are printed whole.
  EXPECT_EQ(BuildSelfUpdateArgument(0x100000000LL, {{0, "1"}}), "/HWND:4294967296 /self_update:0-1");
  EXPECT_EQ(RelayCommandLine("", "/self_update:0-1"), "/self_update:0-1");
  EXPECT_EQ(RelayCommandLine("/HWND:5 /log", "/self_update:0-1"), "/HWND:5 /log /self_update:0-1");
}

TEST(SelfUpdateRelayTest, ArgumentIsReadBackAsBuilt) {
  const struct {
    const char* value;
    const char* entries;
  } cases[] = {
      {"3-2.0", "[3|2.0]"},
      {"3-2.0,1-1.4,7-5.0.1", "[3|2.0][1|1.4][7|5.0.1]"},
      {"3-2.0,1-1.4,7-5.0.1,9-9.9", "[3|2.0][1|1.4][7|5.0.1]"},  // three at most
      {"5", ""},                                               // first entry names no item
      {"5,1-1.0", ""},
      {"-2.0,1-1.0", ""},
      {"x-2.0", ""},                                           // not a number: no section
      {"3-2.0,junk,1-1.0", "[3|2.0][1|1.0]"},                  // a later bad entry is skipped
      {"3-", "[3|]"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Describe(ParseSelfUpdateArgument(c.value)), c.entries) << c.value;
  }
}

TEST(SelfUpdateRelayTest, FinishingCommandLineIsLowerCase) {
  EXPECT_EQ(FinishCommandLine("/HWND:77 /Log /Tray /HWND:77 /self_update:0-2.0"),
            "/hwnd:77 /log /tray /hwnd:77 /self_finish:0-2.0");
}

const char kPassword[] = "k3y-for-tests";

TEST(SelfUpdateRelayTest, VersionsAreRecordedInTheTextForm) {
  TempFolder dir;
  WriteBytes(dir.File("update.dat"), "[file0]\r\nver=1.0\r\nname=a\r\n[file2]\r\nver=1.0\r\n");
  DiskFolder folder(dir.Path());
  ASSERT_TRUE(RecordSelfUpdateVersions(folder, {{0, "2.0"}, {2, "3.1"}}, kPassword));
  IniStore store;
  ASSERT_TRUE(store.LoadFromText(ReadBytes(dir.File("update.dat"))));
  EXPECT_EQ(store.GetString("file0", "ver"), "2.0");
  EXPECT_EQ(store.GetString("file0", "name"), "a");
  EXPECT_EQ(store.GetString("file2", "ver"), "3.1");
}

TEST(SelfUpdateRelayTest, VersionsAreRecordedInTheBinaryFormWhichWins) {
  TempFolder dir;
  {
    ZipArchive zip;
    ASSERT_TRUE(zip.Create(dir.File("update.bin")));
    zip.SetPassword(kPassword);
    ASSERT_TRUE(zip.AddEntryFromMemory("update.dat", "[file4]\r\nver=1.0\r\n"));
    ASSERT_TRUE(zip.Close());
  }
  const std::string text_form = "[file4]\r\nver=0.5\r\n";
  WriteBytes(dir.File("update.dat"), text_form);
  DiskFolder folder(dir.Path());
  ASSERT_TRUE(RecordSelfUpdateVersions(folder, {{4, "1.7"}}, kPassword));
  IniStore store;
  ASSERT_TRUE(LoadLocalConfigFromArchive(ReadBytes(dir.File("update.bin")), kPassword, &store));
  EXPECT_EQ(store.GetString("file4", "ver"), "1.7");
  EXPECT_EQ(ReadBytes(dir.File("update.dat")), text_form);
}

TEST(SelfUpdateRelayTest, NoLocalConfigurationIsNothingToRecord) {
  TempFolder dir;
  WriteBytes(dir.File("update.dat"), "");
  DiskFolder folder(dir.Path());
  EXPECT_TRUE(RecordSelfUpdateVersions(folder, {{0, "2.0"}}, kPassword));
  EXPECT_EQ(ReadBytes(dir.File("update.dat")), "");
}

TEST(SelfUpdateItems, OnlyTheUpdatersOwnFilesByWhereTheyWouldBeInstalled) {
  const std::string folder = "C:\\Apps\\Acme\\updateApp\\";
  const ExpandConstants expand = [](const std::string& path) {
    return path.compare(0, 8, "{parent}") == 0 ? "C:\\Apps\\Acme" + path.substr(8) : path;
  };
  struct Case {
    std::string name, path;
    int self, config, ui;  // the expected item numbers when this one is item 0
  };
  const Case cases[] = {
      {"update.exe", "", 0, -1, -1},
      {"UPDATE.EXE", "{parent}\\UpdateApp", 0, -1, -1},
      {"update.exe", "c:\\apps\\acme\\updateapp", 0, -1, -1},
      {"update.exe", "C:/Apps/Acme/updateApp/", 0, -1, -1},
      {"update.exe", "{parent}\\bin\\..\\updateApp\\.", 0, -1, -1},
      {"update.exe", "bin", -1, -1, -1},
      {"bin\\update.exe", "", -1, -1, -1},
      {"update.exe", "{parent}", -1, -1, -1},
      {"update.dat", "", -1, 0, -1},
      {"Update.Bin", "{parent}\\updateApp", -1, 0, -1},
      {"update.dat", "cfg", -1, -1, -1},
      {"update.dat", "D:\\Other", -1, -1, -1},
      {"ui.bin", "", -1, -1, 0},
      {"ui.dat", "skins", -1, -1, -1},
  };
  for (const Case& c : cases) {
    UpdateRun run;
    run.files[0].local_version = "1.0";
    run.files[0].server_version = "1.1";
    run.files[0].install_name = c.name;
    run.files[0].destination = c.path;
    const SelfUpdateItems found = FindSelfUpdateItems(run, folder + "update.exe", folder, expand);
    EXPECT_EQ(found.self_item, c.self) << c.name << " in " << c.path;
    EXPECT_EQ(found.config_item, c.config) << c.name << " in " << c.path;
    EXPECT_EQ(found.ui_item, c.ui) << c.name << " in " << c.path;
  }
  // Not new, or refused: never the updater.
  UpdateRun run;
  run.files[3].install_name = "update.exe";
  run.files[3].local_version = run.files[3].server_version = "2.0";
  EXPECT_EQ(FindSelfUpdateItems(run, folder + "update.exe", folder, expand).self_item, -1);
  // The updater under another name: its own name is the one that counts.
  run.files[3].server_version = "2.1";
  EXPECT_EQ(FindSelfUpdateItems(run, folder + "autoupd.exe", folder, expand).self_item, -1);
  run.files[3].install_name = "AutoUpd.exe";
  EXPECT_EQ(FindSelfUpdateItems(run, folder + "autoupd.exe", folder, expand).self_item, 3);
}

}  // namespace
}  // namespace corvane
