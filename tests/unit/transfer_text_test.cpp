#include "updater/engine/net/transfer_limits.h"
#include "updater/engine/transfer/transfer_text.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

TEST(TransferTextTest, SizeTextSwitchesToMegabytesAbove1024Kilobytes) {
  EXPECT_EQ(FormatSizeText(2048), "2.0KB");
  EXPECT_EQ(FormatSizeText(0), "0.0KB");
  EXPECT_EQ(FormatSizeText(1048576), "1024.0KB");
  EXPECT_EQ(FormatSizeText(1048577), "1.0MB");
  EXPECT_EQ(FormatSizeText(256u << 20), "256.0MB");
  EXPECT_EQ(FormatSizeText(1536), "1.5KB");
}

TEST(TransferTextTest, RateTexts) {
  EXPECT_EQ(FormatRateText(2048.0), "2.0MB/s");
  EXPECT_EQ(FormatRateText(1024.0), "1024.0KB/s");
  EXPECT_EQ(FormatRateText(12.34), "12.3KB/s");
  // Local copies always show MB/s, even below one.
  EXPECT_EQ(FormatCopyRateText(0.25), "0.2MB/s");
  EXPECT_EQ(FormatCopyRateText(2048.0), "2048.0MB/s");
}

TEST(TransferTextTest, RateFromTicks) {
  // 1000 ticks per second; 2 MiB in 1 s = 2048 KB/s = 2 MB/s.
  EXPECT_DOUBLE_EQ(ComputeRate(2u << 20, 1000, 0.001, 1024.0), 2048.0);
  EXPECT_DOUBLE_EQ(ComputeRate(2u << 20, 1000, 0.001, 1048576.0), 2.0);
  EXPECT_EQ(ComputeRate(100, 0, 0.001, 1024.0), 0.0);

  std::string text = "old";
  UpdateRateText(&text, 100, 0, 0.001, false);  // no tick yet: text stays
  EXPECT_EQ(text, "old");
  UpdateRateText(&text, 0, 10, 0.001, false);  // rate 0: text stays
  EXPECT_EQ(text, "old");
  UpdateRateText(&text, 2u << 20, 1000, 0.001, false);
  EXPECT_EQ(text, "2.0MB/s");
  UpdateRateText(&text, 512u << 10, 1000, 0.001, true);
  EXPECT_EQ(text, "0.5MB/s");
}

TEST(TransferTextTest, PercentTruncatesAndStaysInRange) {
  EXPECT_EQ(TransferPercent(0, 100), 0);
  EXPECT_EQ(TransferPercent(999, 1000), 99);
  EXPECT_EQ(TransferPercent(1000, 1000), 100);
  EXPECT_EQ(TransferPercent(0xFFFFFFFFu, 0xFFFFFFFFu), 100);
  EXPECT_EQ(TransferPercent(1, 3), 33);
  EXPECT_EQ(TransferPercent(50, 0), 0);     // unknown length
  EXPECT_EQ(TransferPercent(150, 100), 100);  // more than listed
}

TEST(TransferTextTest, ProgressTexts) {
  EXPECT_EQ(RateLineText(2048, "3.5KB/s"), "2.0KB (3.5KB/s)");
  EXPECT_EQ(DownloadTooltipText("My App", 1048577, 42, "1.2MB/s"),
            "My App\nDownload(1.0MB): 42% 1.2MB/s");
  EXPECT_EQ(AnnotatedRowLabel("setup.dll", 2048), "setup.dll(2.0KB)");
  EXPECT_TRUE(IsDirectoryRowLabel("<plugins>"));
  EXPECT_FALSE(IsDirectoryRowLabel("plugins"));
  EXPECT_FALSE(IsDirectoryRowLabel(""));
}

TEST(TransferTextTest, FilterWithEmptyPatternAndCaseFolding) {
  const std::string filter = "*.DLL,,readme.txt";
  EXPECT_TRUE(MatchFileFilter("a.dll", filter));
  EXPECT_TRUE(MatchFileFilter("README.TXT", filter));
  EXPECT_FALSE(MatchFileFilter("x.exe", filter));
  EXPECT_FALSE(MatchFileFilter("", filter));
}

TEST(TransferTextTest, FilterBlankAfterCommaBelongsToNextPattern) {
  EXPECT_FALSE(MatchFileFilter("readme.txt", "*.dll, readme.txt"));
  EXPECT_TRUE(MatchFileFilter(" readme.txt", "*.dll, readme.txt"));
  EXPECT_TRUE(MatchFileFilter("a.dll", "*.dll, readme.txt"));
  // Blanks around the whole filter are trimmed.
  EXPECT_TRUE(MatchFileFilter("a.dll", "  *.dll  "));
}

TEST(TransferTextTest, EmptyFilterPassesEverything) {
  EXPECT_TRUE(MatchFileFilter("anything.bin", ""));
  EXPECT_TRUE(MatchFileFilter("anything.bin", "   "));
  EXPECT_TRUE(MatchFileFilter("", ""));
  // Only empty patterns: nothing to match.
  EXPECT_FALSE(MatchFileFilter("a", ",,"));
}

TEST(TransferTextTest, WildcardStarsAndQuestionMarks) {
  EXPECT_TRUE(MatchWildcard("abc", "**"));
  EXPECT_TRUE(MatchWildcard("", "**"));
  EXPECT_TRUE(MatchWildcard("abc", "a**c"));
  EXPECT_TRUE(MatchWildcard("ac", "a*c"));
  EXPECT_TRUE(MatchWildcard("a.b.c.dll", "*.dll"));
  EXPECT_FALSE(MatchWildcard("a.dll.bak", "*.dll"));
  EXPECT_TRUE(MatchWildcard("abc", "a?c"));
  EXPECT_FALSE(MatchWildcard("ac", "a?c"));
  EXPECT_FALSE(MatchWildcard("abbc", "a?c"));
  EXPECT_TRUE(MatchWildcard("x1.DAT", "?1.dat"));
  EXPECT_FALSE(MatchWildcard("", "?"));
  EXPECT_TRUE(MatchWildcard("mississippi", "*sip*i"));
  EXPECT_FALSE(MatchWildcard("mississippi", "*sip*x"));
  // No special meaning for other characters, and no quadratic blow-up on a
  // long name that cannot match.
  EXPECT_FALSE(MatchWildcard("[a]", "[b]"));
  EXPECT_FALSE(MatchWildcard(std::string(5000, 'a'), "*a*a*a*a*a*b"));
  // Only ASCII letters fold.
  EXPECT_FALSE(MatchWildcard("\xC4", "\xE4"));
}

TEST(TransferTextTest, ListingSubfolders) {
  EXPECT_EQ(ListingSubfolder("/pub/app", "/pub/app"), "");
  EXPECT_EQ(ListingSubfolder("/pub/app", "/pub/app/sub"), "sub");
  EXPECT_EQ(ListingSubfolder("/pub/app", "/pub/app/sub/deeper"), "sub/deeper");
  EXPECT_EQ(ListingSubfolder("C:\\root", "C:\\root\\sub"), "sub");
  EXPECT_EQ(ListingSubfolder("C:\\root\\", "C:\\root\\\\sub\\"), "sub");
}

TEST(TransferTextTest, TemporaryNames) {
  EXPECT_EQ(LocalTemporaryName("C:\\root\\sub", "x.dll"), "C__root_sub.x.dll");
  EXPECT_EQ(LocalTemporaryName("\\\\host\\share", "a.txt"), "__host_share.a.txt");
  EXPECT_EQ(FtpTemporaryName("/pub/app/sub", "x.dll"), "_pub_app_sub.x.dll");
  // FTP keeps ":" (it cannot occur in a name that passes the listing).
  EXPECT_EQ(FtpTemporaryName("/a:b", "c"), "_a:b.c");
}

TEST(TransferTextTest, FtpRemotePathSplit) {
  std::string dir, file;
  SplitFtpRemotePath("/pub/app/x.dll", &dir, &file);
  EXPECT_EQ(dir, "/pub/app/");
  EXPECT_EQ(file, "x.dll");
  SplitFtpRemotePath("x.dll", &dir, &file);
  EXPECT_EQ(dir, "/");
  EXPECT_EQ(file, "x.dll");
  SplitFtpRemotePath("/x.dll", &dir, &file);
  EXPECT_EQ(dir, "/");
  EXPECT_EQ(file, "x.dll");
}

TEST(TransferTextTest, LocalFolderOfPath) {
  EXPECT_EQ(LocalFolderOf("C:\\tmp\\dir0\\a.dll"), "C:\\tmp\\dir0");
  EXPECT_EQ(LocalFolderOf("a.dll"), "");
}

TEST(TransferTextTest, HttpErrorTable) {
  const struct {
    long code;
    const char* text;
  } table[] = {
      {400, "Http error 400: Bad Request"},
      {401, "Http error 401: Unauthorized"},
      {403, "Http error 403: Forbidden"},
      {404, "Http error 404: Not Found"},
      {405, "Http error 405: Method Not Allowed"},
      {406, "Http error 406: Not Acceptable"},
      {407, "Http error 407: Proxy Authentication Required"},
      {414, "Http error 414: Request-URI Too Large"},
      {500, "Http error 500: Internal Server Error"},
      {501, "Http error 501: Not Implemented"},
      {502, "Http error 502: Bad Gateway"},
  };
  for (const auto& row : table) EXPECT_EQ(HttpStatusErrorText(row.code), row.text);
  for (long code : {200L, 206L, 302L, 304L, 402L, 408L, 503L, 504L}) {
    EXPECT_EQ(HttpStatusErrorText(code), "") << code;
  }
}

TEST(TransferTextTest, RedirectsMustStayOnHttpAndOffDowngrades) {
  EXPECT_TRUE(IsAcceptableFinalUrl("http://a/x", "http://b/y"));
  EXPECT_TRUE(IsAcceptableFinalUrl("http://a/x", "https://b/y"));
  EXPECT_TRUE(IsAcceptableFinalUrl("https://a/x", "HTTPS://b/y"));
  EXPECT_TRUE(IsAcceptableFinalUrl("https://a/x", ""));
  EXPECT_FALSE(IsAcceptableFinalUrl("https://a/x", "http://b/y"));
  EXPECT_FALSE(IsAcceptableFinalUrl("http://a/x", "ftp://b/y"));
  EXPECT_FALSE(IsAcceptableFinalUrl("https://a/x", "file:///etc/passwd"));
  EXPECT_FALSE(IsAcceptableFinalUrl("http://a/x", "no-scheme"));
}

}  // namespace
}  // namespace corvane
