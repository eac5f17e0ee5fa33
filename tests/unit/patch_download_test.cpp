// Which patches of a file item the updater takes from the server-side file,
// which one it applies to an installed file, and what the log shows.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "shared/text_util.h"
#include "updater/engine/config/patch_download.h"

namespace corvane {
namespace {

TEST(PatchDownload, ReadsUsablePatchesAndPicksTheOneForTheInstalledFile) {
  const std::string md5a = "0123456789abcdef0123456789abcdef";
  const std::string md5b = "FEDCBA9876543210FEDCBA9876543210";
  IniStore server;
  ASSERT_TRUE(server.LoadFromText(
      "[file0]\r\n"
      "patch0_urls=url0=http://a/app.exe.01234567.vcdiff;;url1=ftp://m/app.exe.01234567.vcdiff,,u,,p\r\n"
      "patch0_from_md5=" + md5a + "\r\n"
      "patch1_urls=url0=no-scheme\r\n"          // no usable URL
      "patch1_from_md5=" + md5b + "\r\n"
      "patch2_urls=url0=http://a/b.vcdiff\r\n"
      "patch2_from_md5=1234\r\n"                 // not an MD5
      "patch4_urls=url0=http://a/app.exe.fedcba98.vcdiff\r\n"
      "patch4_from_md5= " + md5b + " \r\n"
      "patch5_urls=url0=http://a/never.vcdiff\r\n"  // only 0 to 4 exist
      "patch5_from_md5=" + md5a + "\r\n"
      "[file1]\r\nmd5=" + md5a + "\r\n"));
  const std::string path = testing::TempDir() + "patch_download.log";
  std::remove(path.c_str());
  std::vector<FilePatch> patches, none;
  {
    UpdateLog log;
    log.SetEnabled(true);
    ASSERT_TRUE(log.Open(path));
    patches = ReadFilePatches(server, log, "file0");
    none = ReadFilePatches(server, log, "file1");
  }
  ASSERT_EQ(patches.size(), 2u);
  EXPECT_EQ(patches[0].number, 0);
  EXPECT_EQ(patches[0].urls.urls,
            (std::vector<std::string>{"http://a/app.exe.01234567.vcdiff", "ftp://m/app.exe.01234567.vcdiff"}));
  EXPECT_EQ(patches[0].urls.users[1], "u");
  EXPECT_EQ(patches[1].number, 4);
  EXPECT_EQ(patches[1].from_md5, md5b);
  EXPECT_TRUE(none.empty());

  EXPECT_EQ(PatchForInstalledFile(patches, ToLowerAscii(md5b)), &patches[1]);
  EXPECT_EQ(PatchForInstalledFile(patches, ToLowerAscii(md5a)), &patches[0]);
  EXPECT_EQ(PatchForInstalledFile(patches, "00000000000000000000000000000000"), nullptr);
  EXPECT_EQ(PatchForInstalledFile(patches, ""), nullptr);

  std::ifstream in(path, std::ios::binary);
  const std::string log_text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (const char* line : {"patch0_from_md5=0123456789abcdef", "Patch 1 is left out",
                           "Patch 2 is left out", "patch4_urls=url0=http://a/app.exe.fedcba98.vcdiff"}) {
    EXPECT_NE(log_text.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(log_text.find("patch5"), std::string::npos);
  std::remove(path.c_str());
}

TEST(PatchDownload, LimitsGrowWithTheInstalledFile) {
  const VcdiffLimits small = PatchLimits(0), large = PatchLimits(uint64_t{1} << 30);
  EXPECT_EQ(small.max_output, uint64_t{64} << 20);
  EXPECT_EQ(large.max_output, (uint64_t{4} << 30) + (uint64_t{64} << 20));
  EXPECT_EQ(small.max_window, size_t{16} << 20);
  EXPECT_EQ(MaxPatchFileSize(1000), small.max_output + 4000);
}

}  // namespace
}  // namespace corvane
