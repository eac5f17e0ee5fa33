#include "updater/engine/config/version_compare.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

TEST(CompareVersionsTest, PartsCompareAsNumbersNotText) {
  EXPECT_TRUE(CompareVersions("1.10", "1.9"));
  EXPECT_FALSE(CompareVersions("1.9", "1.10"));
  EXPECT_TRUE(CompareVersions("10.0", "9.99"));
  EXPECT_TRUE(CompareVersions("1.0.10", "1.0.9"));
  EXPECT_TRUE(CompareVersions("2.007", "2.6"));  // leading zeros do not count
}

TEST(CompareVersionsTest, MissingLocalPartsCountAsZero) {
  EXPECT_TRUE(CompareVersions("2.0.1", "2.0"));
  EXPECT_FALSE(CompareVersions("2.0", "2.0.1"));
  EXPECT_TRUE(CompareVersions("1.2.1", "1.2"));
  EXPECT_FALSE(CompareVersions("1.2.0", "1.2"));
  EXPECT_TRUE(CompareVersions("1.0.0.1", "1"));
}

TEST(CompareVersionsTest, LocalPartsBeyondTheServersAreIgnored) {
  EXPECT_FALSE(CompareVersions("1.2", "1.2.5"));
  EXPECT_FALSE(CompareVersions("1.2", "1.2.0"));
  EXPECT_TRUE(CompareVersions("1.3", "1.2.99"));
  EXPECT_FALSE(CompareVersions("1", "1.5"));
}

TEST(CompareVersionsTest, EqualIsNotNewer) {
  for (const char* v : {"1.0", "0.0.0", "3.4.5.6", "7", ""}) {
    EXPECT_FALSE(CompareVersions(v, v)) << v;
  }
  EXPECT_TRUE(CompareVersions("1.0", "0.0.0"));
  EXPECT_FALSE(CompareVersions("0.0.0", "0.0.0"));
}

TEST(CompareVersionsTest, GarbageReadsAsLeadingDigitsOrZero) {
  EXPECT_FALSE(CompareVersions("abc", "0"));
  EXPECT_FALSE(CompareVersions("beta.rc", "0.0.0"));
  EXPECT_TRUE(CompareVersions("2beta.0", "1.9"));
  EXPECT_TRUE(CompareVersions("1.5", "x.y"));
  EXPECT_TRUE(CompareVersions(" 1.1", "1.0"));
  EXPECT_FALSE(CompareVersions("..", "0"));
  EXPECT_TRUE(CompareVersions("1..1", "1.0"));
}

TEST(CompareVersionsTest, HugePartsCompareExactlyWithoutOverflow) {
  // Beyond 32 and 64 bits: must neither overflow nor saturate into "equal".
  EXPECT_TRUE(CompareVersions("1.4294967296", "1.4294967295"));
  EXPECT_FALSE(CompareVersions("1.4294967295", "1.4294967296"));
  EXPECT_TRUE(CompareVersions("99999999999999999999999999.1", "99999999999999999999999998.9"));
  EXPECT_FALSE(CompareVersions("18446744073709551616", "18446744073709551617"));
  EXPECT_TRUE(CompareVersions("0.1", "-1.5"));
  EXPECT_FALSE(CompareVersions("-3", "-2"));
}

TEST(CompareVersionsTest, VeryLongVersionsStayFast) {
  std::string server;
  std::string local;
  for (int i = 0; i < 50000; ++i) {
    server += "1.";
    local += "1.";
  }
  EXPECT_TRUE(CompareVersions(server + "2", local + "1"));
  EXPECT_FALSE(CompareVersions(server + "1", local + "1"));
  EXPECT_FALSE(CompareVersions(std::string(100000, '.'), std::string(100000, '9')));
}

}  // namespace
}  // namespace corvane
