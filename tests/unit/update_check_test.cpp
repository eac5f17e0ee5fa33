#include "updater/engine/config/update_check.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <set>

#include "check_test_support.h"
#include "shared/text_util.h"
#include "openssl_p256.h"
#include "shared/zip_archive.h"
#include "updater/engine/config/rollout.h"

namespace corvane {
namespace {

using checktest::LogLinesWithoutTime;
using checktest::ReadBytes;
using checktest::ReadReferenceLines;
using checktest::TempFolder;
using checktest::WriteBytes;

struct FetchCall {
  std::string url, user, password;
};

// Serves texts by URL; every other URL is dead.
class FakeSource : public ConfigTextSource {
 public:
  std::string FetchConfigText(const std::string& url, const std::string& user,
                              const std::string& password) override {
    calls.push_back({url, user, password});
    auto it = texts.find(url);
    return it == texts.end() ? std::string() : it->second;
  }
  std::string FetchExactBytes(const std::string& url, const std::string& user,
                              const std::string& password) override {
    exact_calls.push_back(url);
    auto it = texts.find(url);
    return it == texts.end() ? std::string() : it->second;
  }
  std::vector<std::string> Urls() const {
    std::vector<std::string> urls;
    for (const FetchCall& c : calls) urls.push_back(c.url);
    return urls;
  }

  std::map<std::string, std::string> texts;
  std::vector<FetchCall> calls;
  std::vector<std::string> exact_calls;
};

class RecordingNotices : public NoticeSink {
 public:
  void ShowNotice(const std::string& text) override { shown.push_back(text); }
  std::vector<std::string> shown;
};

// One check as the updater runs it, with "/log" given and the local
// configuration in a temporary folder.
class CheckRig {
 public:
  CheckRig() {
    const char* values[kDirectoryConstants] = {
        "C:", "C:\\Apps", "C:\\windows", "C:\\windows\\system32", "C:\\temp",
        "C:\\Program Files", "C:\\windows\\Fonts", "C:\\users\\me\\Documents",
        "C:\\users\\me\\Desktop"};
    for (int i = 0; i < kDirectoryConstants; ++i) constants[i] = values[i];
    log.SetEnabled(true);
    setup.updater_version = "1.0";
    setup.directory_constants = &constants;
    setup.log_path = dir.File("update.log");
    setup.archive_password = "";
  }

  bool Read(const std::string& local_text) {
    WriteBytes(dir.File("update.dat"), local_text);
    DiskFolder folder(dir.Path());
    return check.ReadConfiguration(folder, setup);
  }
  std::vector<std::string> LogLines() const {
    return LogLinesWithoutTime(ReadBytes(setup.log_path));
  }
  size_t CountLine(const std::string& line) const {
    std::vector<std::string> lines = LogLines();
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
  }

  TempFolder dir;
  std::string constants[kDirectoryConstants];
  CheckSetup setup;
  UpdateRun run;
  UpdateLog log;
  FakeSource source;
  RecordingNotices notices;
  UpdateCheck check{run, log, run.local_config, source, notices};
};

const char kServerUrl[] = "http://example.test/server.ini";
const char kFailureLine[] =
    "Failed to download the configuration file, may be network configuration errors or "
    "unreasonable!";

std::string LocalWithUrls(const std::string& urls, const std::string& extra = "") {
  return "[system]\r\ncloselog=0\r\nurls=" + urls + "\r\n" + extra;
}

TEST(UpdateCheckTest, FullRunWritesTheReferenceLog) {
  CheckRig rig;
  rig.source.texts["ftp://files.example.test/pub/server.ini"] =
      "[file0]\r\n"
      "ver=1.1\r\n"
      "urls=url0=http://example.test/files/app.exe;;url1=http://mirror.test/app.exe\r\n"
      "path={parent}\\bin\r\n"
      "show_type=1\r\n"
      "op_mode=1\r\n"
      "md5=0123456789abcdef0123456789abcdef\r\n"
      "describe=Main program\r\n"
      "[file1]\r\n"
      "ver=2.0\r\n"
      "urls=url0=http://example.test/files/lib.dll\r\n"
      "[file2]\r\n"
      "ver=1.0\r\n"
      "urls=\r\n"
      "[file4]\r\n"
      "ver=3.0\r\n"
      "urls=url0=http://example.test/files/new.txt\r\n"
      "md5=short\r\n"
      "rename=readme.txt\r\n"
      "[file25]\r\n"
      "ver=9.0\r\n"
      "urls=url0=http://example.test/files/never.txt\r\n"
      "[dir0]\r\n"
      "ver=1.10\r\n"
      "urls=url0=ftp://files.example.test/pub/data/,,bob\r\n"
      "path={parent}\\data\r\n"
      "filter=*.dat,*.idx\r\n"
      "is_inc_subdir=1\r\n"
      "op_mode=0\r\n"
      "show_type=2\r\n"
      "[system]\r\n"
      "run_before=\r\n"
      "close_proc1=app.exe, helper.exe\r\n"
      "close_items=file0,DIR0\r\n"
      "[UI]\r\n"
      "start_win=0\r\n"
      "noupdate_win_msg=Nothing new\r\n";
  const std::string local =
      "[system]\r\n"
      "closelog=0\r\n"
      "urls=url0=http://example.test/cfg/server.ini;;"
      "url1=ftp://files.example.test/pub/server.ini,,alice,,s3cret\r\n"
      "randomsel=0\r\n"
      "tryallurl=1\r\n"
      "[file0]\r\nver=1.0\r\n"
      "[file1]\r\nver=2.0.1\r\n"
      "[file3]\r\nver=0.0.0\r\n"
      "[dir0]\r\nver=1.9\r\n"
      "[file25]\r\nver=5.0\r\n";

  ASSERT_TRUE(rig.Read(local));
  ASSERT_TRUE(rig.check.MarkNewItems());

  const std::vector<std::string> expected =
      ReadReferenceLines(std::string(CORVANE_SOURCE_DIR) + "/tests/unit/data/update_check_full_run.log");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(rig.LogLines(), expected);

  // Both URLs tried in order, the second with its user name and password.
  ASSERT_EQ(rig.source.calls.size(), 2u);
  EXPECT_EQ(rig.source.calls[0].url, "http://example.test/cfg/server.ini");
  EXPECT_EQ(rig.source.calls[1].user, "alice");
  EXPECT_EQ(rig.source.calls[1].password, "s3cret");
  EXPECT_EQ(rig.run.url_in_use, "ftp://files.example.test/pub/server.ini");
  EXPECT_TRUE(rig.notices.shown.empty());

  const UpdateRun& run = rig.run;
  EXPECT_EQ(run.local_form, "update.dat");
  EXPECT_EQ(run.new_item_count, 3);
  EXPECT_TRUE(run.files[0].is_new);
  EXPECT_FALSE(run.files[1].is_new);
  EXPECT_FALSE(run.files[2].is_new);
  EXPECT_TRUE(run.files[4].is_new);
  EXPECT_TRUE(run.dirs[0].is_new);
  EXPECT_EQ(run.files[0].urls.Size(), 2u);
  EXPECT_EQ(run.files[0].destination, "{parent}\\bin");
  EXPECT_EQ(run.files[0].md5, "0123456789abcdef0123456789abcdef");
  EXPECT_EQ(run.files[0].install_name, "app.exe");
  EXPECT_EQ(run.files[0].description, "Main program");
  EXPECT_EQ(run.files[4].md5, "");
  EXPECT_EQ(run.files[4].install_name, "readme.txt");
  EXPECT_EQ(run.files[3].local_version, "0.0.0");
  EXPECT_EQ(run.dirs[0].urls.users[0], "bob");
  EXPECT_EQ(run.dirs[0].filter, "*.dat,*.idx");
  EXPECT_EQ(run.dirs[0].include_subdirs, 1);
  EXPECT_EQ(run.display_style, kStyleNormal);
  EXPECT_EQ(run.operation_mode, kModeWizard);
  EXPECT_EQ(run.system.close_proc1, (std::vector<std::string>{"app.exe", "helper.exe"}));
  EXPECT_EQ(run.system.close_items, (std::vector<std::string>{"file0", "DIR0"}));
  EXPECT_TRUE(run.close_needed);
  EXPECT_EQ(run.prompts.start_win, 0);
  EXPECT_EQ(run.prompts.noupdate_win_msg, "Nothing new");
}

TEST(UpdateCheckTest, TryAllUrlZeroTriesOnlyOneUrl) {
  CheckRig rig;
  rig.source.texts["http://b/server.ini"] = "[file0]\nver=1.0\n";
  EXPECT_FALSE(rig.Read(LocalWithUrls("url0=http://a/server.ini;;url1=http://b/server.ini")));
  EXPECT_EQ(rig.source.Urls(), std::vector<std::string>{"http://a/server.ini"});
  std::vector<std::string> lines = rig.LogLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "Download server-side configuration file: http://a/server.ini");
  EXPECT_EQ(lines.back(), kFailureLine);
  EXPECT_EQ(rig.CountLine("Download failed."), 0u);
  EXPECT_TRUE(rig.notices.shown.empty());  // a failed download shows no box
}

TEST(UpdateCheckTest, RandomSelectionTriesEveryUrlExactlyOnce) {
  const std::vector<std::string> all = {"http://a/s.ini", "http://b/s.ini", "ftp://c/s.ini"};
  std::set<std::string> first_tried;
  for (uint32_t seed = 0; seed < 16; ++seed) {
    CheckRig rig;
    rig.check.SetRandomSeed(seed);
    EXPECT_FALSE(rig.Read(LocalWithUrls("url0=" + all[0] + ";;url1=" + all[1] + ";;url2=" + all[2],
                                        "randomsel=1\r\ntryallurl=1\r\n")));
    std::vector<std::string> tried = rig.source.Urls();
    ASSERT_EQ(tried.size(), 3u);
    EXPECT_EQ(std::set<std::string>(tried.begin(), tried.end()),
              std::set<std::string>(all.begin(), all.end()));
    EXPECT_EQ(rig.CountLine("Download failed."), 3u);
    EXPECT_EQ(rig.LogLines().back(), kFailureLine);
    first_tried.insert(tried[0]);
  }
  EXPECT_GT(first_tried.size(), 1u) << "the order never changed";
}

TEST(UpdateCheckTest, TryAllUrlStopsAtTheFirstText) {
  CheckRig rig;
  rig.source.texts["http://b/s.ini"] = "[UI]\nstart_win=1\n";
  EXPECT_TRUE(rig.Read(LocalWithUrls("url0=http://a/s.ini;;url1=http://b/s.ini;;url2=http://c/s.ini",
                                     "tryallurl=1\r\n")));
  EXPECT_EQ(rig.source.Urls(), (std::vector<std::string>{"http://a/s.ini", "http://b/s.ini"}));
  EXPECT_EQ(rig.run.url_in_use, "http://b/s.ini");
  EXPECT_EQ(rig.CountLine("Download failed."), 1u);
}

TEST(UpdateCheckTest, UrlsWithoutSchemeAreNeverFetched) {
  CheckRig rig;
  EXPECT_FALSE(rig.Read(LocalWithUrls("url0=C:\\share\\server.ini;;url1=\\\\srv\\share\\s.ini")));
  EXPECT_TRUE(rig.source.calls.empty());
  EXPECT_EQ(rig.LogLines().back(), kFailureLine);
}

TEST(UpdateCheckTest, DisplayStyleFollowsTheMostVisibleNewItem) {
  CheckRig rig;
  rig.source.texts[kServerUrl] =
      "[file0]\nver=2.0\nurls=url0=http://h/a.exe\nshow_type=2\nop_mode=1\n"
      "[file1]\nver=2.0\nurls=url0=http://h/b.exe\nshow_type=1\nop_mode=1\n"
      "[file2]\nver=1.0\nurls=url0=http://h/c.exe\nshow_type=0\nop_mode=0\n";  // not new
  ASSERT_TRUE(rig.Read(LocalWithUrls(std::string("url0=") + kServerUrl,
                                     "[file2]\r\nver=1.0\r\n")));
  EXPECT_EQ(rig.run.display_style, kStyleSilent);
  EXPECT_EQ(rig.run.operation_mode, kModeAutomatic);
  EXPECT_EQ(rig.LogLines().back(), "Display style: Silent");
}

TEST(UpdateCheckTest, ShowTypeOutsideTheStylesReadsAsNormal) {
  struct Case {
    const char* show_type;
    int item_value;
    int run_style;
  };
  const Case cases[] = {{"-1", 0, kStyleNormal}, {"3", 0, kStyleNormal},
                        {"7", 0, kStyleNormal}, {"2", 2, kStyleHide}, {"1", 1, kStyleSilent}};
  for (const Case& c : cases) {
    CheckRig rig;
    rig.source.texts[kServerUrl] = std::string("[file0]\nver=2.0\nurls=url0=http://h/a.exe\n") +
                                   "show_type=" + c.show_type + "\n[dir0]\nver=2.0\n" +
                                   "urls=url0=ftp://h/d\nshow_type=" + c.show_type + "\n";
    ASSERT_TRUE(rig.Read(LocalWithUrls(std::string("url0=") + kServerUrl))) << c.show_type;
    EXPECT_EQ(rig.run.files[0].show_type, c.item_value) << c.show_type;
    EXPECT_EQ(rig.run.dirs[0].show_type, c.item_value) << c.show_type;
    EXPECT_EQ(rig.run.display_style, c.run_style) << c.show_type;
  }
}

TEST(UpdateCheckTest, InstallNameThatLeavesTheItemFolderIsRefusedWithALogLine) {
  CheckRig rig;
  rig.source.texts[kServerUrl] =
      "[file0]\nver=2.0\nurls=url0=http://h/a.exe\nrename=..\\..\\evil.exe\n"
      "[file1]\nver=2.0\nurls=url0=http://h/b.exe\nrename=C:\\Windows\\b.exe\n"
      "[file2]\nver=2.0\nurls=url0=http://h/c.exe\nrename=\\c.exe\n"
      "[file3]\nver=2.0\nurls=url0=http://h/d.exe\nrename=sub\\d.exe\n"
      "[file4]\nver=2.0\nurls=url0=http://h/e.exe\n";
  ASSERT_TRUE(rig.Read(LocalWithUrls(std::string("url0=") + kServerUrl)));
  EXPECT_TRUE(rig.run.files[0].install_name_refused);
  EXPECT_TRUE(rig.run.files[1].install_name_refused);
  EXPECT_TRUE(rig.run.files[2].install_name_refused);
  EXPECT_FALSE(rig.run.files[3].install_name_refused);
  EXPECT_FALSE(rig.run.files[4].install_name_refused);
  EXPECT_EQ(rig.run.files[4].install_name, "e.exe");
  EXPECT_EQ(rig.CountLine("The file name leaves the item's folder: ..\\..\\evil.exe"), 1u);
  EXPECT_EQ(rig.CountLine("The file name leaves the item's folder: C:\\Windows\\b.exe"), 1u);
  EXPECT_EQ(rig.CountLine("The file name leaves the item's folder: \\c.exe"), 1u);
  // The items stay new, so the run goes on to fail them rather than report
  // "no new version".
  EXPECT_TRUE(rig.check.MarkNewItems());
  EXPECT_TRUE(rig.run.files[0].is_new);
}

TEST(UpdateCheckTest, InstallNamesWindowsReadsAsOthersAreRefusedWithALogLine) {
  CheckRig rig;
  const char* names[] = {"a.txt.ebk.", "docs \\update.jnl", "NUL", "sub\\CON.txt", "ok&calc&.bat",
                         "x^y.bat", "fine (x86).bat"};
  std::string text;
  for (int i = 0; i < 7; ++i) {
    text += Format("[file%d]\nver=2.0\nurls=url0=http://h/f%d\nrename=%s\n", i, i, names[i]);
  }
  rig.source.texts[kServerUrl] = text;
  ASSERT_TRUE(rig.Read(LocalWithUrls(std::string("url0=") + kServerUrl)));
  const char* reasons[] = {"a trailing dot or blank", "a trailing dot or blank", "a device name",
                           "a device name", "a character the command line reads",
                           "a character the command line reads"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_TRUE(rig.run.files[i].install_name_refused) << names[i];
    EXPECT_EQ(rig.CountLine(std::string("The file name cannot be used on Windows (") + reasons[i] +
                            "): " + names[i]),
              1u)
        << names[i];
  }
  EXPECT_FALSE(rig.run.files[6].install_name_refused);
  EXPECT_TRUE(rig.check.MarkNewItems());
  EXPECT_TRUE(rig.run.files[0].is_new);  // and the download stage fails it
}

TEST(UpdateCheckTest, NothingNewKeepsHideAndAutomatic) {
  CheckRig rig;
  rig.source.texts[kServerUrl] = "[file0]\nver=1.0\nurls=url0=http://h/a.exe\nshow_type=0\n";
  ASSERT_TRUE(rig.Read(LocalWithUrls(std::string("url0=") + kServerUrl, "[file0]\r\nver=1.0\r\n")));
  EXPECT_EQ(rig.run.display_style, kStyleHide);
  EXPECT_EQ(rig.run.operation_mode, kModeAutomatic);
  EXPECT_FALSE(rig.check.MarkNewItems());
  std::vector<std::string> lines = rig.LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Operation mode: Automatic"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Display style: Hide"), lines.end());
  EXPECT_EQ(rig.CountLine("-- Find 0 valid items"), 1u);
}

TEST(UpdateCheckTest, Md5OfAnyOtherLengthIsDiscarded) {
  CheckRig rig;
  const std::string md5_31(31, 'a');
  const std::string md5_33(33, 'b');
  rig.source.texts[kServerUrl] = "[file0]\nver=1.0\nurls=url0=http://h/a.exe\nmd5=" + md5_31 +
                                 "\n[file1]\nver=1.0\nurls=url0=http://h/b/\nmd5=" + md5_33 + "\n";
  ASSERT_TRUE(rig.Read(LocalWithUrls(std::string("url0=") + kServerUrl)));
  EXPECT_EQ(rig.run.files[0].md5, "");
  EXPECT_EQ(rig.run.files[1].md5, "");
  EXPECT_EQ(rig.CountLine("md5=" + md5_31), 1u);  // logged as read
  EXPECT_EQ(rig.run.files[1].install_name, "");  // first URL ends in "/"
}

TEST(UpdateCheckTest, NoUiSectionGivesTheDefaultPrompts) {
  CheckRig rig;
  rig.source.texts[kServerUrl] = "[file0]\nver=1.0\nurls=url0=http://h/a.exe\n";
  ASSERT_TRUE(rig.Read(LocalWithUrls(std::string("url0=") + kServerUrl)));
  const UiPrompts defaults;
  const UiPrompts& p = rig.run.prompts;
  EXPECT_EQ(p.noupdate_win, 0);
  EXPECT_EQ(p.start_win, 1);
  EXPECT_EQ(p.start_win_msg, "Have new version, now upgrade it?");
  EXPECT_EQ(p.close_win_msg, defaults.close_win_msg);
  EXPECT_EQ(p.end_win2_msg, "Upgrade failed!");
  EXPECT_EQ(rig.CountLine("start_win=1"), 2u);
  EXPECT_EQ(rig.CountLine("start_win_msg=Have new version, now upgrade it?"), 1u);
}

TEST(UpdateCheckTest, IntegerKeysReadTheirLeadingDigits) {
  CheckRig rig;
  rig.source.texts[kServerUrl] =
      "[file0]\nver=1.0\nurls=url0=http://h/a.exe\nshow_type=1st\nruncme=x\nuncompress=yes\n"
      "modify_ver=99999999999999999999\n";
  ASSERT_TRUE(rig.Read(LocalWithUrls(std::string("url0=") + kServerUrl)));
  EXPECT_EQ(rig.run.files[0].show_type, 1);
  EXPECT_EQ(rig.run.files[0].uncompress, 0);
  EXPECT_EQ(rig.CountLine("uncompress=0"), 1u);
  EXPECT_GT(rig.run.files[0].modify_version, 0);  // saturated, not wrapped
}

TEST(UpdateCheckTest, MissingLocalFileShowsItsMessageAndLogsNothing) {
  CheckRig rig;
  DiskFolder folder(rig.dir.Path());
  EXPECT_FALSE(rig.check.ReadConfiguration(folder, rig.setup));
  EXPECT_EQ(rig.notices.shown,
            std::vector<std::string>{"Error: Local configuration file (update.dat) not found."});
  EXPECT_FALSE(std::filesystem::exists(rig.setup.log_path));
  EXPECT_TRUE(rig.source.calls.empty());
}

TEST(UpdateCheckTest, MissingCloseLogKeepsTheLogOff) {
  CheckRig rig;
  rig.source.texts[kServerUrl] = "[file0]\nver=1.0\nurls=url0=http://h/a.exe\n";
  ASSERT_TRUE(rig.Read(std::string("[system]\r\nurls=url0=") + kServerUrl + "\r\n"));
  EXPECT_FALSE(rig.log.Enabled());
  EXPECT_FALSE(std::filesystem::exists(rig.setup.log_path));

  CheckRig closed;
  closed.source.texts[kServerUrl] = "[file0]\nver=1.0\n";
  ASSERT_TRUE(closed.Read(std::string("[system]\r\ncloselog=2\r\nurls=url0=") + kServerUrl + "\r\n"));
  EXPECT_FALSE(closed.log.Enabled());
  EXPECT_FALSE(std::filesystem::exists(closed.setup.log_path));
}

TEST(UpdateCheckTest, LogAppendsToAnEarlierRun) {
  CheckRig rig;
  WriteBytes(rig.setup.log_path, "12:00:00    earlier run\r\n");
  rig.source.texts[kServerUrl] = "[file0]\nver=1.0\n";
  ASSERT_TRUE(rig.Read(LocalWithUrls(std::string("url0=") + kServerUrl)));
  std::vector<std::string> lines = rig.LogLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "earlier run");
  EXPECT_EQ(lines[1], "***********************************************************");
}

TEST(UpdateCheckTest, PreviewReadsNothing) {
  CheckRig rig;
  rig.setup.preview = true;
  rig.run.display_style = kStyleHide;
  DiskFolder folder(rig.dir.Path());  // no local file at all
  EXPECT_TRUE(rig.check.ReadConfiguration(folder, rig.setup));
  EXPECT_FALSE(rig.log.Enabled());
  EXPECT_EQ(rig.run.display_style, kStyleNormal);
  EXPECT_EQ(rig.run.operation_mode, kModeWizard);
  EXPECT_TRUE(rig.notices.shown.empty());
  EXPECT_TRUE(rig.source.calls.empty());
  EXPECT_FALSE(std::filesystem::exists(rig.setup.log_path));
}

TEST(UpdateCheckTest, BinaryGarbageFromTheServerMeansNoNewVersion) {
  std::mt19937 bytes(7);
  std::string garbage;
  for (int i = 0; i < 100000; ++i) garbage += static_cast<char>(bytes() & 0xff);
  garbage += std::string(100000, 'x') + "\n" + std::string(100000, '[') + "\0\0\0";
  garbage += "[file0\0]\nver=9.9\0\nurls=url0=http://h/a\n";
  CheckRig rig;
  rig.source.texts[kServerUrl] = garbage;
  ASSERT_TRUE(rig.Read(LocalWithUrls(std::string("url0=") + kServerUrl)));
  EXPECT_FALSE(rig.check.MarkNewItems());
  EXPECT_EQ(rig.run.new_item_count, 0);
}

TEST(UpdateCheckTest, ZeroByteTextLoadsNoStrayFile) {
  // A store that failed to load text must not fall back to a file of its
  // default name in the current folder.
  TempFolder cwd;
  char old_cwd[4096];
  ASSERT_NE(getcwd(old_cwd, sizeof old_cwd), nullptr);
  ASSERT_EQ(chdir(cwd.Path().c_str()), 0);
  WriteBytes(cwd.File("my.ini"), "[file0]\r\nver=5.0\r\nurls=url0=http://h/a.exe\r\n");
  CheckRig rig;
  rig.source.texts[kServerUrl] = std::string(1, '\0');
  bool read = rig.Read(LocalWithUrls(std::string("url0=") + kServerUrl));
  bool any_new = rig.check.MarkNewItems();
  ASSERT_EQ(chdir(old_cwd), 0);
  EXPECT_TRUE(read);
  EXPECT_FALSE(any_new);
  EXPECT_EQ(rig.run.files[0].server_version, "0.0.0");
}

TEST(UpdateCheckTest, OversizedServerTextIsAFailedDownload) {
  CheckRig rig;
  rig.source.texts[kServerUrl] = std::string(kMaxConfigTextBytes + 1, 'a');
  EXPECT_FALSE(rig.Read(LocalWithUrls(std::string("url0=") + kServerUrl)));
  EXPECT_EQ(rig.LogLines().back(), kFailureLine);
}

// MarkNewItems on records as the check leaves them.
class MarkNewItemsTest : public ::testing::Test {
 protected:
  void MakeNew(FileItem& item) {
    item.urls.Add("http://h/x", "", "");
    item.local_version = "1.0";
    item.server_version = "1.1";
  }
  UpdateRun run;
  UpdateLog log;
  FakeSource source;
  RecordingNotices notices;
  UpdateCheck check{run, log, run.local_config, source, notices};
};

TEST_F(MarkNewItemsTest, EmptyCloseListMeansEveryNewItemNeedsClosing) {
  MakeNew(run.files[3]);
  EXPECT_TRUE(check.MarkNewItems());
  EXPECT_TRUE(run.close_needed);
}

TEST_F(MarkNewItemsTest, CloseListMatchesSectionNamesWithoutCase) {
  MakeNew(run.files[3]);
  run.system.close_items = {"dir0", "FILE3"};
  EXPECT_TRUE(check.MarkNewItems());
  EXPECT_TRUE(run.close_needed);
}

TEST_F(MarkNewItemsTest, NewItemMissingFromTheListNeedsNoClosing) {
  MakeNew(run.files[10]);
  run.system.close_items = {"file1", "dir1"};  // "file1" is not "file10"
  EXPECT_TRUE(check.MarkNewItems());
  EXPECT_FALSE(run.close_needed);
  EXPECT_TRUE(run.files[10].is_new);
}

TEST_F(MarkNewItemsTest, DirectoryItemsAndUrlLessItems) {
  run.dirs[2].urls.Add("ftp://h/d", "", "");
  run.dirs[2].server_version = "2.0.1";
  run.dirs[2].local_version = "2.0";
  run.files[0].server_version = "9.0";  // newer, but without a usable URL
  run.system.close_items = {"Dir2"};
  EXPECT_TRUE(check.MarkNewItems());
  EXPECT_TRUE(run.dirs[2].is_new);
  EXPECT_FALSE(run.files[0].is_new);
  EXPECT_TRUE(run.close_needed);

  run.dirs[2].server_version = "2.0";
  run.dirs[2].local_version = "2.0.1";
  EXPECT_FALSE(check.MarkNewItems());
  EXPECT_FALSE(run.dirs[2].is_new);
  EXPECT_FALSE(run.close_needed);
}

// Signed configuration: the publisher's key in the local file makes the check
// fetch "<URL>.sig" and refuse what the key did not sign, or an older serial.
class SignedCheck {
 public:
  SignedCheck() : publisher(ossl::Generate()), stranger(ossl::Generate()) {
    ossl::ToRaw(publisher.get(), &publisher_raw);
    rig.setup.verifier = &crypto;
  }
  std::string Local(const std::string& serial, const std::string& extra = "") const {
    return LocalWithUrls(std::string("url0=") + kServerUrl,
                         "publickey=" + PublicKeyText(publisher_raw.pub) + "\r\nserial=" + serial + "\r\n" + extra);
  }
  std::string LocalSerial() const {
    IniStore local;
    local.LoadFromText(ReadBytes(rig.dir.File("update.dat")));
    return local.GetString("system", "serial");
  }

  ossl::Pkey publisher, stranger;
  P256PrivateKey publisher_raw;
  ossl::OpenSslP256 crypto;
  CheckRig rig;
};

const char kSignedServer[] =
    "[system]\r\nserial=5\r\n[file0]\r\nver=2.0\r\nurls=url0=http://example.test/app.exe\r\n"
    "sha256=ABCDEF\r\n";
const char kRefusedPrefix[] = "The server-side configuration file is refused: ";

TEST(SignedConfigurationTest, OnlyWhatThePublisherSignedWithANewEnoughSerialIsRead) {
  struct Case {
    const char* name;
    std::string served;     // the configuration on the server
    std::string signature;  // "<URL>.sig"; "" means none
    const char* floor;      // the local serial
    const char* refusal;    // the log line's reason, or null when accepted
  };
  SignedCheck probe;
  const std::string text = kSignedServer;
  std::string changed = text;
  changed[changed.find("2.0")] = '3';
  const std::string no_serial = ReplaceAll(text, "serial=5\r\n", "");
  const std::string by_publisher = ossl::SignDer(probe.publisher.get(), text);
  const Case cases[] = {
      {"valid", text, by_publisher, "3", nullptr},
      {"same serial again", text, by_publisher, "5", nullptr},
      {"one byte changed", changed, by_publisher, "3", "its signature does not match the publisher's key."},
      {"another key", text, ossl::SignDer(probe.stranger.get(), text), "3",
       "its signature does not match the publisher's key."},
      {"no signature", text, "", "3", "its signature is missing."},
      {"garbage signature", text, "not a signature", "3", "its signature is malformed."},
      {"older serial", text, by_publisher, "6", "its serial 5 is older than the serial accepted before, 6."},
      {"no serial", no_serial, ossl::SignDer(probe.publisher.get(), no_serial), "3", "it has no serial."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SignedCheck t;
    // Every case is signed by the same publisher key.
    t.publisher_raw = probe.publisher_raw;
    t.rig.source.texts[kServerUrl] = c.served;
    if (!c.signature.empty()) t.rig.source.texts[std::string(kServerUrl) + ".sig"] = c.signature;
    const bool ok = t.rig.Read(t.Local(c.floor));
    EXPECT_EQ(t.rig.source.exact_calls,
              (std::vector<std::string>{kServerUrl, std::string(kServerUrl) + ".sig"}));
    EXPECT_TRUE(t.rig.source.calls.empty());
    const std::vector<std::string> lines = t.rig.LogLines();
    if (c.refusal) {
      EXPECT_FALSE(ok);
      ASSERT_GE(lines.size(), 2u);
      EXPECT_EQ(lines[lines.size() - 2], kRefusedPrefix + std::string(c.refusal));
      EXPECT_EQ(lines.back(), kFailureLine);
      EXPECT_EQ(t.rig.run.new_item_count, 0);
      EXPECT_EQ(t.LocalSerial(), c.floor);
    } else {
      EXPECT_TRUE(ok);
      EXPECT_EQ(t.rig.CountLine("The signature of the server-side configuration file is valid, serial 5."), 1u);
      EXPECT_EQ(t.rig.run.new_item_count, 1);
      EXPECT_EQ(t.rig.run.files[0].sha256, "ABCDEF");
      EXPECT_EQ(t.rig.CountLine("sha256=ABCDEF"), 1u);
      EXPECT_EQ(t.LocalSerial(), "5");
    }
  }
}

TEST(SignedConfigurationTest, ARefusedMirrorIsAFailedUrlAndTheNextOneIsTried) {
  SignedCheck t;
  const std::string good = "http://good.test/server.ini";
  t.rig.source.texts[kServerUrl] = kSignedServer;
  t.rig.source.texts[std::string(kServerUrl) + ".sig"] = ossl::SignDer(t.stranger.get(), kSignedServer);
  t.rig.source.texts[good] = kSignedServer;
  t.rig.source.texts[good + ".sig"] = ossl::SignDer(t.publisher.get(), kSignedServer);
  const std::string local = LocalWithUrls(std::string("url0=") + kServerUrl + ";;url1=" + good,
                                          "tryallurl=1\r\npublickey=" + PublicKeyText(t.publisher_raw.pub) + "\r\n");
  ASSERT_TRUE(t.rig.Read(local));
  EXPECT_EQ(t.rig.run.url_in_use, good);
  EXPECT_EQ(t.rig.CountLine("Download failed."), 1u);
  EXPECT_EQ(t.LocalSerial(), "5");
}

TEST(SignedConfigurationTest, WithoutAPublicKeyNoSignatureIsFetched) {
  SignedCheck t;
  t.rig.source.texts[kServerUrl] = kSignedServer;
  ASSERT_TRUE(t.rig.Read(LocalWithUrls(std::string("url0=") + kServerUrl)));
  EXPECT_TRUE(t.rig.source.exact_calls.empty());
  EXPECT_EQ(t.rig.source.Urls(), std::vector<std::string>{kServerUrl});
  EXPECT_EQ(t.rig.run.new_item_count, 1);
}

TEST(SignedConfigurationTest, AnUnreadablePublicKeyRefusesEveryConfiguration) {
  SignedCheck t;
  t.rig.source.texts[kServerUrl] = kSignedServer;
  EXPECT_FALSE(t.rig.Read(LocalWithUrls(std::string("url0=") + kServerUrl, "publickey=AAAA\r\n")));
  EXPECT_TRUE(t.rig.source.exact_calls.empty());
  EXPECT_TRUE(t.rig.source.calls.empty());
  const std::vector<std::string> lines = t.rig.LogLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "The public key of the local configuration file cannot be read.");
  EXPECT_EQ(lines.back(), kFailureLine);
}

// Release control: staged roll-outs, expiry and key replacement through the
// check as the updater runs it.
class CountingRandom : public RandomSource {
 public:
  bool Fill(uint8_t* out, size_t count) override {
    ++calls;
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(next++);
    return true;
  }
  int calls = 0;
  uint8_t next = 0xa0;
};

// An identifier whose bucket under `key` is inside (or outside) `percentage`.
std::string IdFor(const std::string& key, int percentage, bool inside) {
  for (int i = 0;; ++i) {
    const std::string id = Format("%032x", i);
    if (InRollout(RolloutBucket(id, key), percentage) == inside) return id;
  }
}

// The binary local file "update.bin" holding `text`, as a binary package has it.
void WriteLocalArchive(const TempFolder& dir, const std::string& text) {
  WriteBytes(dir.File("plain.dat"), text);
  ASSERT_TRUE(PackIntoArchive(dir.File("update.bin"), dir.File("plain.dat"), "update.dat", ""));
  std::filesystem::remove(dir.File("plain.dat"));
}

std::string LocalSystemValue(const std::string& folder, const std::string& key) {
  IniStore local;
  if (ReadBytes(folder + "update.bin").empty()) {
    local.LoadFromText(ReadBytes(folder + "update.dat"));
  } else {
    LoadLocalConfigFromArchive(ReadBytes(folder + "update.bin"), "", &local);
  }
  return local.GetString("system", key);
}

TEST(RolloutCheckTest, OnlyInstallationsInsideTheShareFindTheNewVersion) {
  const std::string served = std::string("[system]\r\nrollout=30\r\nrollout_key=k\r\n[file0]\r\nver=2.0\r\n") +
                             "urls=url0=http://example.test/app.exe\r\n";
  const std::string exclusion = RolloutExclusionLine(30);
  struct Case {
    const char* name;
    std::string local_extra;  // [system] lines of the local file
    bool random;              // the check has a random source
    bool found;               // MarkNewItems
  };
  const std::string inside = IdFor("k", 30, true), outside = IdFor("k", 30, false);
  const Case cases[] = {
      {"inside", "install_id=" + inside + "\r\n", true, true},
      {"outside", "install_id=" + outside + "\r\n", true, false},
      {"no source for a new identifier", "", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CheckRig rig;
    CountingRandom random;
    if (c.random) rig.setup.random = &random;
    rig.source.texts[kServerUrl] = served;
    ASSERT_TRUE(rig.Read(LocalWithUrls(std::string("url0=") + kServerUrl, c.local_extra + "[file0]\r\nver=1.0\r\n")));
    EXPECT_EQ(rig.check.MarkNewItems(), c.found);
    EXPECT_EQ(rig.run.files[0].is_new, c.found);
    EXPECT_EQ(random.calls, 0);
    const std::vector<std::string> lines = rig.LogLines();
    EXPECT_EQ(rig.CountLine("rollout=30"), 1u);
    EXPECT_EQ(rig.CountLine("rollout_key=k"), 1u);
    if (c.found) {
      EXPECT_EQ(rig.CountLine(exclusion), 0u);
    } else {
      ASSERT_GE(lines.size(), 2u);
      EXPECT_EQ(lines[lines.size() - 2], "Version Comparison.");
      EXPECT_EQ(lines.back(), exclusion);
    }
  }
}

TEST(RolloutCheckTest, AnIdentifierIsMadeOnceAndOnlyWhenARollOutNeedsIt) {
  const std::string item = "[file0]\r\nver=2.0\r\nurls=url0=http://example.test/app.exe\r\n";
  const std::string rolled = "[system]\r\nrollout=30\r\nrollout_key=k\r\n" + item;
  struct Run {
    std::string served;
    std::string local_version;
    bool binary;
  };
  // Neither a release for everyone nor a roll-out with nothing new makes one.
  for (const Run& r : {Run{item, "1.0", false}, Run{"[system]\r\nrollout=100\r\n" + item, "1.0", true},
                       Run{rolled, "2.0", false}}) {
    CheckRig rig;
    CountingRandom random;
    rig.setup.random = &random;
    rig.source.texts[kServerUrl] = r.served;
    const std::string local = LocalWithUrls(std::string("url0=") + kServerUrl, "[file0]\r\nver=" + r.local_version + "\r\n");
    if (r.binary) {
      WriteLocalArchive(rig.dir, local);
      ASSERT_TRUE(rig.check.ReadConfiguration(DiskFolder(rig.dir.Path()), rig.setup));
    } else {
      ASSERT_TRUE(rig.Read(local));
    }
    EXPECT_EQ(random.calls, 0);
    EXPECT_EQ(LocalSystemValue(rig.dir.Path(), "install_id"), "");
  }

  // The binary form gets one on the first roll-out and keeps it.
  CheckRig rig;
  CountingRandom random;
  rig.setup.random = &random;
  rig.source.texts[kServerUrl] = rolled;
  const std::string local = LocalWithUrls(std::string("url0=") + kServerUrl, "[file0]\r\nver=1.0\r\n");
  WriteLocalArchive(rig.dir, local);
  const DiskFolder folder(rig.dir.Path());
  ASSERT_TRUE(rig.check.ReadConfiguration(folder, rig.setup));
  const std::string id = LocalSystemValue(rig.dir.Path(), "install_id");
  EXPECT_EQ(id, "a0a1a2a3a4a5a6a7a8a9aaabacadaeaf");
  EXPECT_EQ(rig.CountLine("install_id=" + id), 1u);
  EXPECT_EQ(rig.check.MarkNewItems(), InRollout(RolloutBucket(id, "k"), 30));
  for (int again = 0; again < 2; ++again) {
    UpdateRun run;
    UpdateCheck check(run, rig.log, run.local_config, rig.source, rig.notices);
    ASSERT_TRUE(check.ReadConfiguration(folder, rig.setup));
  }
  EXPECT_EQ(random.calls, 1);
  EXPECT_EQ(LocalSystemValue(rig.dir.Path(), "install_id"), id);
  EXPECT_EQ(rig.CountLine("install_id=" + id), 3u);
}

TEST(SignedConfigurationTest, AnExpiredFileIsRefusedFromItsSecondOn) {
  const uint64_t expires = 1796793600;
  const struct {
    const char* expires;
    uint64_t now;
    const char* refusal;
  } cases[] = {
      {"1796793600", expires - 1, nullptr},
      {"1796793600", expires, "it expired at 2026-12-09 05:20:00 UTC"},
      {"1796793600", expires + 86400, "it expired at 2026-12-09 05:20:00 UTC"},
      {"soon", expires - 1, "its expiry time cannot be read."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expires + std::string(" at ") + std::to_string(c.now));
    SignedCheck t;
    t.rig.setup.now = c.now;
    const std::string text = ReplaceAll(kSignedServer, "serial=5\r\n", "serial=5\r\nexpires=" + std::string(c.expires) + "\r\n");
    t.rig.source.texts[kServerUrl] = text;
    t.rig.source.texts[std::string(kServerUrl) + ".sig"] = ossl::SignDer(t.publisher.get(), text);
    const bool ok = t.rig.Read(t.Local("3"));
    const std::vector<std::string> lines = t.rig.LogLines();
    EXPECT_EQ(ok, c.refusal == nullptr);
    if (c.refusal) {
      ASSERT_GE(lines.size(), 2u);
      EXPECT_EQ(lines[lines.size() - 2], kRefusedPrefix + std::string(c.refusal));
      EXPECT_EQ(lines.back(), kFailureLine);
      EXPECT_EQ(t.LocalSerial(), "3");
    } else {
      EXPECT_EQ(t.LocalSerial(), "5");
    }
  }
}

TEST(SignedConfigurationTest, AnnouncedKeyReplacesThePublisherKeyInOneWrite) {
  for (bool binary : {false, true}) {
    SCOPED_TRACE(binary ? "update.bin" : "update.dat");
    SignedCheck t;
    ossl::Pkey next = ossl::Generate();
    P256PrivateKey next_raw;
    ossl::ToRaw(next.get(), &next_raw);
    const std::string next_text = PublicKeyText(next_raw.pub);
    const DiskFolder folder(t.rig.dir.Path());
    auto serve = [&](const std::string& serial, EVP_PKEY* by, const std::string& extra) {
      const std::string text = "[system]\r\nserial=" + serial + "\r\n" + extra + "[file0]\r\nver=2.0\r\n" +
                               "urls=url0=http://example.test/app.exe\r\n";
      t.rig.source.texts[kServerUrl] = text;
      t.rig.source.texts[std::string(kServerUrl) + ".sig"] = ossl::SignDer(by, text);
    };
    auto check = [&]() {
      t.rig.log.Close();
      std::filesystem::remove(t.rig.setup.log_path);
      UpdateRun run;
      UpdateCheck check(run, t.rig.log, run.local_config, t.rig.source, t.rig.notices);
      return check.ReadConfiguration(folder, t.rig.setup);
    };
    if (binary) {
      WriteLocalArchive(t.rig.dir, t.Local("3"));
    } else {
      WriteBytes(t.rig.dir.File("update.dat"), t.Local("3"));
    }

    // A garbled announcement is refused rather than locking the installation out.
    serve("5", t.publisher.get(), "nextkey=AAAA\r\n");
    EXPECT_FALSE(check());
    EXPECT_EQ(t.rig.CountLine(kRefusedPrefix + std::string("its next publisher key cannot be read.")), 1u);
    EXPECT_EQ(LocalSystemValue(t.rig.dir.Path(), "publickey"), PublicKeyText(t.publisher_raw.pub));

    // Signed by the current key and announcing the next: accepted, and the
    // next key with the serial is what the local file trusts from now on.
    serve("5", t.publisher.get(), "nextkey=" + next_text + "\r\n");
    EXPECT_TRUE(check());
    EXPECT_EQ(t.rig.CountLine("The publisher key was replaced."), 1u);
    EXPECT_EQ(LocalSystemValue(t.rig.dir.Path(), "publickey"), next_text);
    EXPECT_EQ(LocalSystemValue(t.rig.dir.Path(), "serial"), "5");

    // The same announcement again changes nothing; the old key is refused.
    serve("6", next.get(), "nextkey=" + next_text + "\r\n");
    EXPECT_TRUE(check());
    EXPECT_EQ(t.rig.CountLine("The publisher key was replaced."), 0u);
    serve("7", t.publisher.get(), "");
    EXPECT_FALSE(check());
    EXPECT_EQ(t.rig.CountLine(kRefusedPrefix + std::string("its signature does not match the publisher's key.")), 1u);
    serve("7", next.get(), "");
    EXPECT_TRUE(check());
    EXPECT_EQ(LocalSystemValue(t.rig.dir.Path(), "serial"), "7");
    EXPECT_EQ(LocalSystemValue(t.rig.dir.Path(), "publickey"), next_text);
  }
}

// Another program holds update.dat from the moment after it was read: the
// key must not read as absent, so an unsigned configuration stays refused,
// and the new serial is written back with the key and everything else.
class HeldAfterReading : public DiskFolder {
 public:
  explicit HeldAfterReading(const std::string& dir) : DiskFolder(dir), dir_(dir) {}
  bool ReadFile(const std::string& name, std::string* bytes) const override {
    const bool ok = DiskFolder::ReadFile(name, bytes);
    // Out of reach from now on, by any path.
    std::rename((dir_ + name).c_str(), (dir_ + name + ".held").c_str());
    return ok;
  }

 private:
  std::string dir_;
};

TEST(SignedConfigurationTest, ALocalFileHeldAfterTheFirstReadKeepsSignaturesOn) {
  for (bool signed_by_publisher : {false, true}) {
    SCOPED_TRACE(signed_by_publisher ? "signed" : "unsigned");
    SignedCheck t;
    t.rig.source.texts[kServerUrl] = kSignedServer;
    if (signed_by_publisher) {
      t.rig.source.texts[std::string(kServerUrl) + ".sig"] =
          ossl::SignDer(t.publisher.get(), kSignedServer);
    }
    WriteBytes(t.rig.dir.File("update.dat"), t.Local("3"));
    HeldAfterReading folder(t.rig.dir.Path());
    EXPECT_EQ(t.rig.check.ReadConfiguration(folder, t.rig.setup), signed_by_publisher);
    EXPECT_EQ(t.rig.source.exact_calls,
              (std::vector<std::string>{kServerUrl, std::string(kServerUrl) + ".sig"}));
    if (!signed_by_publisher) {
      EXPECT_EQ(t.rig.CountLine(kRefusedPrefix + std::string("its signature is missing.")), 1u);
      EXPECT_FALSE(std::filesystem::exists(t.rig.dir.File("update.dat")));  // nothing written
      continue;
    }
    // The new serial is written from memory: key, URLs and all.
    EXPECT_EQ(t.LocalSerial(), "5");
    IniStore written;
    written.LoadFromText(ReadBytes(t.rig.dir.File("update.dat")));
    EXPECT_EQ(written.GetString("system", "publickey"), PublicKeyText(t.publisher_raw.pub));
    EXPECT_EQ(written.GetString("system", "urls"), std::string("url0=") + kServerUrl);
  }
}

TEST(TextAsLinesTest, EveryLineEndsWithOneLineFeed) {
  EXPECT_EQ(TextAsLines(""), "");
  EXPECT_EQ(TextAsLines("a\r\nb\nc"), "a\nb\nc\n");
  EXPECT_EQ(TextAsLines("\n\n"), "\n\n");
  EXPECT_EQ(TextAsLines("x\r\r\n"), "x\r\n");
}

}  // namespace
}  // namespace corvane
