#include "updater/engine/config/url_entry.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(SplitUrlEntryTest, BackslashesAndUserWithoutPassword) {
  UrlEntry e;
  ASSERT_TRUE(SplitUrlEntry("  http:\\\\example.com\\app\\server.ini,,alice ", &e));
  EXPECT_EQ(e.url, "http://example.com/app/server.ini");
  EXPECT_EQ(e.user, "alice");
  EXPECT_EQ(e.password, "");
}

TEST(SplitUrlEntryTest, UserAndPassword) {
  UrlEntry e;
  ASSERT_TRUE(SplitUrlEntry("ftp://files.example.com/pub/a.ini,,bob,,pa,,ss", &e));
  EXPECT_EQ(e.url, "ftp://files.example.com/pub/a.ini");
  EXPECT_EQ(e.user, "bob");
  EXPECT_EQ(e.password, "pa,,ss");  // a password may hold the separator
  ASSERT_TRUE(SplitUrlEntry("file://C:\\dir\\srv.ini", &e));
  EXPECT_EQ(e.url, "file://C:/dir/srv.ini");
  EXPECT_EQ(e.user, "");
}

TEST(SplitUrlEntryTest, EntriesWithoutSchemeOrAddressAreDropped) {
  UrlEntry e;
  e.url = "untouched";
  EXPECT_FALSE(SplitUrlEntry("C:\\dir\\srv.ini", &e));
  EXPECT_FALSE(SplitUrlEntry("example.com/srv.ini", &e));
  EXPECT_FALSE(SplitUrlEntry("http://", &e));
  EXPECT_FALSE(SplitUrlEntry("://example.com/a", &e));
  EXPECT_FALSE(SplitUrlEntry("", &e));
  EXPECT_EQ(e.url, "untouched");
}

TEST(AppendUrlEntriesTest, StopsAtTheFirstEmptyEntry) {
  UrlList list;
  AppendUrlEntries("url0=http://a/x.ini;;url1=;;url2=http://c/x.ini", &list);
  ASSERT_EQ(list.Size(), 1u);
  EXPECT_EQ(list.urls[0], "http://a/x.ini");

  list.Clear();
  AppendUrlEntries("url0=http://a/x.ini;;url2=http://c/x.ini", &list);  // url1 absent
  EXPECT_EQ(list.Size(), 1u);
}

TEST(AppendUrlEntriesTest, DropsUnusableEntriesButGoesOn) {
  UrlList list;
  AppendUrlEntries(
      "url0=C:\\plain\\path.ini;;url1=ftp://h/p.ini,,u,,p;;url2=http:\\\\h2\\q.ini,,only", &list);
  ASSERT_EQ(list.Size(), 2u);
  EXPECT_EQ(list.urls[0], "ftp://h/p.ini");
  EXPECT_EQ(list.users[0], "u");
  EXPECT_EQ(list.passwords[0], "p");
  EXPECT_EQ(list.urls[1], "http://h2/q.ini");
  EXPECT_EQ(list.users[1], "only");
  EXPECT_EQ(list.passwords[1], "");
}

TEST(AppendUrlEntriesTest, ReadsAtMostTenEntriesAndNoUrl10Confusion) {
  std::string packed;
  for (int i = 0; i <= 11; ++i) {
    if (i) packed += ";;";
    packed += "url" + std::to_string(i) + "=http://h/" + std::to_string(i);
  }
  UrlList list;
  AppendUrlEntries(packed, &list);
  ASSERT_EQ(list.Size(), 10u);
  EXPECT_EQ(list.urls[1], "http://h/1");
  EXPECT_EQ(list.urls[9], "http://h/9");
}

TEST(DefaultInstallNameTest, TextAfterTheLastSlashOfTheFirstUrl) {
  UrlList list;
  EXPECT_EQ(DefaultInstallName(list), "");
  list.Add("file://C:/dir/srv.ini", "", "");
  list.Add("http://h/other.exe", "", "");
  EXPECT_EQ(DefaultInstallName(list), "srv.ini");
  UrlList folder;
  folder.Add("http://h/files/", "", "");
  EXPECT_EQ(DefaultInstallName(folder), "");
}

TEST(CrackServerUrlTest, NetworkUrls) {
  ServerUrl u = CrackServerUrl("http://example.com:8080/cfg/my%20server.ini");
  EXPECT_EQ(u.service, UrlService::kHttp);
  EXPECT_EQ(u.server, "example.com");
  EXPECT_EQ(u.port, 8080);
  EXPECT_EQ(u.object, "/cfg/my server.ini");

  u = CrackServerUrl("FTP://user:pw@ftp.example.com/pub/dir/");
  EXPECT_EQ(u.service, UrlService::kFtp);
  EXPECT_EQ(u.server, "ftp.example.com");
  EXPECT_EQ(u.port, 21);
  EXPECT_EQ(u.object, "/pub/dir");

  u = CrackServerUrl("https://h?x=1");
  EXPECT_EQ(u.service, UrlService::kHttps);
  EXPECT_EQ(u.port, 443);
  EXPECT_EQ(u.object, "/?x=1");

  u = CrackServerUrl("http://h:99999/a");
  EXPECT_EQ(u.port, 80);
  EXPECT_EQ(CrackServerUrl("gopher://h/a").service, UrlService::kUnknown);
  EXPECT_EQ(CrackServerUrl("no scheme").service, UrlService::kUnknown);
}

TEST(CrackServerUrlTest, FileUrlsBecomeWindowsPaths) {
  EXPECT_EQ(CrackServerUrl("file://C:/dir/srv.ini").object, "C:\\dir\\srv.ini");
  EXPECT_EQ(CrackServerUrl("file:///C:/dir/my%20srv.ini").object, "C:\\dir\\my srv.ini");
  EXPECT_EQ(CrackServerUrl("file:////server/share/srv.ini").object, "\\\\server\\share\\srv.ini");
  EXPECT_EQ(CrackServerUrl("file://server/share/srv.ini").object, "\\\\server\\share\\srv.ini");
  EXPECT_EQ(CrackServerUrl("file://localhost/C:/x.ini").object, "C:\\x.ini");
  EXPECT_EQ(CrackServerUrl("file://C:/dir/").object, "C:\\dir");
  EXPECT_EQ(CrackServerUrl("file://C:/dir/").service, UrlService::kFile);
}

}  // namespace
}  // namespace corvane
