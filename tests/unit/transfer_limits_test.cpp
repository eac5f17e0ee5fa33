#include "updater/engine/net/transfer_limits.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "updater/engine/transfer/folder_listing.h"

namespace corvane {
namespace {

TEST(StallWindow, SlowButSteadyPassesTrickleAndSilenceFail) {
  // 30 s windows, 1 KiB minimum.
  StallWindow steady(30000);
  steady.Start(0, 0);
  uint64_t bytes = 0;
  for (uint64_t t = 1000; t <= 300000; t += 1000) {
    bytes += 40;  // 1.2 KB per window
    ASSERT_FALSE(steady.Stalled(t, bytes)) << t;
  }

  StallWindow trickle(30000);
  trickle.Start(0, 0);
  uint64_t t = 0;
  bytes = 0;
  bool stalled = false;
  while (!stalled && t < 100000) {
    t += 1000;
    bytes += 1;
    stalled = trickle.Stalled(t, bytes);
  }
  EXPECT_TRUE(stalled);
  EXPECT_EQ(t, 30000u);  // within one window, not later

  // A fast start does not buy a later stall a pass: each window counts alone.
  StallWindow burst(30000);
  burst.Start(0, 0);
  EXPECT_FALSE(burst.Stalled(30000, 10000000));
  EXPECT_FALSE(burst.Stalled(45000, 10000100));
  EXPECT_TRUE(burst.Stalled(60000, 10000200));
}

TEST(ListingBounds, VisitedFoldersAreListedOnceAndCapsStopTheListing) {
  ListingLimits limits;
  limits.max_folders = 3;
  limits.max_entries = 5;
  ListingBounds folders(limits);
  EXPECT_EQ(folders.EnterFolder("/a"), ListingBounds::Visit::kList);
  EXPECT_EQ(folders.EnterFolder("/a"), ListingBounds::Visit::kAlreadyListed);
  EXPECT_EQ(folders.EnterFolder("/a/b"), ListingBounds::Visit::kList);
  EXPECT_EQ(folders.EnterFolder("/a/c"), ListingBounds::Visit::kList);
  EXPECT_FALSE(folders.exceeded());
  EXPECT_EQ(folders.EnterFolder("/a/d"), ListingBounds::Visit::kTooManyFolders);
  EXPECT_TRUE(folders.exceeded());
  // Once stopped, nothing more is let through.
  EXPECT_EQ(folders.EnterFolder("/a/e"), ListingBounds::Visit::kTooManyFolders);
  EXPECT_FALSE(folders.AddEntry());
  EXPECT_EQ(folders.ExceededText("/a"), "The folder listing exceeds 3 folders: /a");

  ListingBounds entries(limits);
  EXPECT_EQ(entries.ExceededText("/r"), "");
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(entries.AddEntry()) << i;
  EXPECT_FALSE(entries.AddEntry());
  EXPECT_EQ(entries.ExceededText("/r"), "The folder listing exceeds 5 files: /r");

  // The default caps.
  ListingBounds defaults;
  for (int i = 0; i < 10000; ++i) {
    ASSERT_EQ(defaults.EnterFolder(std::to_string(i)), ListingBounds::Visit::kList) << i;
  }
  EXPECT_EQ(defaults.EnterFolder("one more"), ListingBounds::Visit::kTooManyFolders);
  ListingBounds default_entries;
  for (int i = 0; i < 100000; ++i) ASSERT_TRUE(default_entries.AddEntry()) << i;
  EXPECT_FALSE(default_entries.AddEntry());
}

TEST(FolderListing, KeepsFilteredFilesNamedFromTheRootAndStopsAtTheCap) {
  std::vector<DownloadEntry> entries;
  ListingLimits limits;
  limits.max_entries = 2;
  FolderListing listing("/pub/app", &entries, "*.dll", true, limits);
  EXPECT_TRUE(listing.AddFile("/pub/app", "readme.txt", "readme.txt", 5));
  EXPECT_TRUE(listing.AddFile("/pub/app/sub", "a.dll", "sub.a.dll", 1ull << 33));
  EXPECT_TRUE(listing.AddFile("/pub/app", "b.dll", "b.dll", 7));
  EXPECT_FALSE(listing.AddFile("/pub/app", "c.dll", "c.dll", 9));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].subfolder, "sub");
  EXPECT_EQ(entries[0].file_name, "a.dll");
  EXPECT_EQ(entries[0].temporary_name, "sub.a.dll");
  EXPECT_EQ(entries[0].size, 1ull << 33);
  EXPECT_EQ(entries[1].subfolder, "");
  EXPECT_TRUE(listing.bounds().exceeded());
}

TEST(ListingBounds, FtpFolderSpellingsShareOneIdentity) {
  EXPECT_EQ(FtpFolderIdentity("/a//b/"), "/a/b");
  EXPECT_EQ(FtpFolderIdentity("/a/b"), "/a/b");
  EXPECT_EQ(FtpFolderIdentity("//"), "/");
  EXPECT_EQ(FtpFolderIdentity("/"), "/");
  EXPECT_NE(FtpFolderIdentity("/A/b"), FtpFolderIdentity("/a/b"));  // servers may tell case
}

TEST(InstallNames, NamesThatClimbOutOfTheFolderAreRefused) {
  const std::vector<std::string> safe = {"app.exe", "sub\\x.dll", "sub/x.dll", "a..b.txt",
                                         "..hidden", ""};
  const std::vector<std::string> unsafe = {
      "..\\x.exe", "../x.exe", "sub\\..\\..\\x.exe", "C:\\Windows\\x.exe", "c:x.exe",
      "\\x.exe", "/x.exe", "\\\\server\\share\\x.exe", "x.exe:stream", "... \\x.exe",
      "sub\\. .\\x", ".."};
  for (const std::string& name : safe) EXPECT_TRUE(IsSafeInstallName(name)) << name;
  for (const std::string& name : unsafe) EXPECT_FALSE(IsSafeInstallName(name)) << name;
}

TEST(InstallNames, DownloadTargetsMustStayWhereTheyWereBuilt) {
  EXPECT_TRUE(IsContainedLocalPath("C:\\temp\\~tovrel_tmp\\file0\\app.exe"));
  EXPECT_TRUE(IsContainedLocalPath("update.dat.ubk"));
  EXPECT_TRUE(IsContainedLocalPath("\\\\server\\share\\x.exe"));
  EXPECT_FALSE(IsContainedLocalPath("C:\\temp\\~tovrel_tmp\\file0\\..\\..\\x.exe"));
  EXPECT_FALSE(IsContainedLocalPath("C:\\temp\\file0\\C:\\x.exe"));
  EXPECT_FALSE(IsContainedLocalPath("C:\\temp\\file0\\x.exe:evil"));
  EXPECT_FALSE(IsContainedLocalPath("C:\\temp\\file0\\...\\x.exe"));
}

TEST(FileSizes, BothHalvesCount) {
  EXPECT_EQ(CombineFileSize(0, 5), 5u);
  EXPECT_EQ(CombineFileSize(1, 0), 4294967296ull);
  EXPECT_EQ(CombineFileSize(2, 0x10), 0x200000010ull);
  EXPECT_EQ(CombineFileSize(0xFFFFFFFFu, 0xFFFFFFFFu), 0xFFFFFFFFFFFFFFFFull);
}

}  // namespace
}  // namespace corvane
