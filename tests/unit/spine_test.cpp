// The updater's command-line rules, directory constants, instance mutex name
// and the log's line format.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "updater/engine/command_line.h"
#include "updater/engine/directory_constants.h"
#include "updater/engine/log_banner.h"
#include "updater/engine/update_log.h"

namespace corvane {
namespace {

TEST(CommandLine, SwitchValuesAreLowercasedAndEndAtABlank) {
  EXPECT_EQ(GetSwitchValueIn("/HWND:1234 /OP:CheckVer", "hwnd"), "1234");
  EXPECT_EQ(GetSwitchValueIn("/HWND:1234 /OP:CheckVer", "OP"), "checkver");
  EXPECT_EQ(GetSwitchValueIn("/self_update:3-1.2.0,5-2.0 /log", "self_update"), "3-1.2.0,5-2.0");
  EXPECT_EQ(GetSwitchValueIn("/log", "HWND"), "");
  // Only the first occurrence counts.
  EXPECT_EQ(GetSwitchValueIn("/op:preview /OP:checkver", "op"), "preview");
}

TEST(CommandLine, ModesAndFlags) {
  CommandLineOptions o = ParseCommandLine("/hwnd:1234 /op:checkver");
  EXPECT_EQ(o.host_window, 1234);
  EXPECT_EQ(o.run_mode, 2);
  EXPECT_FALSE(o.log);

  o = ParseCommandLine("/OP:Preview /Tray");
  EXPECT_EQ(o.run_mode, 1);
  EXPECT_TRUE(o.tray);
  EXPECT_EQ(o.host_window, 0);

  EXPECT_EQ(ParseCommandLine("/OP:Install").run_mode, 0);
  // "/HWND:" followed by a blank names no window.
  EXPECT_EQ(ParseCommandLine("/HWND: 1234").host_window, 0);
  // A plain substring test: any word beginning with "/log" switches logging on.
  EXPECT_TRUE(ParseCommandLine("/LogFile").log);
  EXPECT_TRUE(ParseCommandLine("/HWND:5 /self_update:1-2.0").self_update);
  CommandLineOptions finish = ParseCommandLine("/hwnd:5 self_finish:1-2.0");
  EXPECT_TRUE(finish.self_finish);
  EXPECT_FALSE(finish.self_update);
}

const std::string kValues[kDirectoryConstants] = {
    "C:", "C:\\Program Files\\App", "C:\\windows", "C:\\windows\\system32", "C:\\temp",
    "C:\\Program Files", "C:\\windows\\Fonts", "C:\\users\\me\\Documents", "C:\\users\\me\\Desktop"};

TEST(DirectoryConstants, ExpandedOnlyAtTheStartWithOneSeparator) {
  EXPECT_EQ(ExpandDirectoryConstantsIn("{parent}bin\\app.exe", kValues),
            "C:\\Program Files\\App\\bin\\app.exe");
  EXPECT_EQ(ExpandDirectoryConstantsIn("{parent}\\app.exe", kValues),
            "C:\\Program Files\\App\\app.exe");
  EXPECT_EQ(ExpandDirectoryConstantsIn("{sys}", kValues), "C:\\windows\\system32\\");
  EXPECT_EQ(ExpandDirectoryConstantsIn("D:\\{parent}\\x", kValues), "D:\\{parent}\\x");
  EXPECT_EQ(ExpandDirectoryConstantsIn("plain\\path.txt", kValues), "plain\\path.txt");
  // {appdriver} is a drive: "C:" + "\" + the rest.
  EXPECT_EQ(ExpandDirectoryConstantsIn("{appdriver}data", kValues), "C:\\data");
}

TEST(DirectoryConstants, ParentFolder) {
  EXPECT_EQ(ParentOfFolder("C:\\Program Files\\App\\updateApp\\"), "C:\\Program Files\\App");
  EXPECT_EQ(ParentOfFolder("C:\\updateApp\\"), "C:");
  EXPECT_EQ(ParentOfFolder("updateApp\\"), "updateApp");
  EXPECT_EQ(WithoutTrailingBackslash("C:\\temp\\"), "C:\\temp");
  EXPECT_EQ(WithoutTrailingBackslash("C:\\temp"), "C:\\temp");
}

TEST(InstanceMutex, SelfUpdateCopyAndEverySpellingShareTheInstalledName) {
  EXPECT_EQ(InstanceMutexName("C:\\App\\update.exe"), "c:_app_update.exe");
  EXPECT_EQ(InstanceMutexName("C:\\App\\update.exe.exe"), "c:_app_update.exe");
  EXPECT_EQ(InstanceMutexName("C:\\APP\\UPDATE.EXE.EXE"), "c:_app_update.exe");
  EXPECT_EQ(InstanceMutexName("C:\\App\\my.exe"), "c:_app_my.exe");
  const std::string deep = "C:\\" + std::string(300, 'd') + "\\update.exe";
  const std::string name = InstanceMutexName(deep);
  EXPECT_EQ(name.size(), kMaxMutexNameLength);
  EXPECT_EQ(name.substr(name.size() - 12), "d_update.exe");
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(UpdateLog, LinesAreStampedAppendedAndOnlyWrittenWhenOn) {
  const std::string path = testing::TempDir() + "spine_update.log";
  std::remove(path.c_str());
  {
    UpdateLog log;
    log.Write("ignored: closed");
    ASSERT_TRUE(log.Open(path));
    log.Write("ignored: switched off");
    log.SetEnabled(true);
    log.Write("first");
    log.Write("two\r\nlines");
  }
  {
    UpdateLog log;
    log.SetEnabled(true);
    ASSERT_TRUE(log.Open(path));
    log.Write("second run");
  }
  const std::string text = ReadAll(path);
  const std::regex expected(
      "\\d\\d:\\d\\d:\\d\\d    first\r\n"
      "\\d\\d:\\d\\d:\\d\\d    two\r\nlines\r\n"
      "\\d\\d:\\d\\d:\\d\\d    second run\r\n");
  EXPECT_TRUE(std::regex_match(text, expected)) << text;
  std::remove(path.c_str());
}

TEST(UpdateLog, DeferredLinesWaitForTheOpenLogAndAreWrittenOnce) {
  const std::string path = testing::TempDir() + "spine_deferred.log";
  std::remove(path.c_str());
  {
    UpdateLog log;
    log.SetEnabled(true);
    log.Defer("found before the log was open");
    log.Write("lost: not open yet");
    ASSERT_TRUE(log.Open(path));
    log.Write("banner");
    log.WriteDeferred();
    log.WriteDeferred();  // nothing twice
    UpdateLog off;
    off.Defer("dropped with the log off");
    ASSERT_TRUE(off.Open(path));
    off.WriteDeferred();
  }
  const std::regex expected(
      "\\d\\d:\\d\\d:\\d\\d    banner\r\n"
      "\\d\\d:\\d\\d:\\d\\d    found before the log was open\r\n");
  const std::string text = ReadAll(path);
  EXPECT_TRUE(std::regex_match(text, expected)) << text;
  std::remove(path.c_str());
}

TEST(UpdateLog, BannerWithAndWithoutVersion) {
  const std::string path = testing::TempDir() + "spine_banner.log";
  std::remove(path.c_str());
  {
    UpdateLog log;
    log.SetEnabled(true);
    ASSERT_TRUE(log.Open(path));
    WriteStartBanner(log, "", kValues);
  }
  const std::string text = ReadAll(path);
  EXPECT_NE(text.find("    ********  Corvane update program (current version: V)\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("    Get Directory Constants:\r\n"), std::string::npos);
  EXPECT_NE(text.find("    {appdriver} = C:\r\n"), std::string::npos);
  EXPECT_NE(text.find("    {desktop} = C:\\users\\me\\Desktop\r\n"), std::string::npos);
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(lines, 6u + kDirectoryConstants);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace corvane
