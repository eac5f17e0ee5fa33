// The rules of staged roll-outs and of signed configurations that expire.
#include "updater/engine/config/rollout.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "check_test_support.h"
#include "shared/zip_archive.h"

namespace corvane {
namespace {

// Bytes from a seeded generator, so that a failing share can be replayed.
class SeededRandom : public RandomSource {
 public:
  explicit SeededRandom(uint32_t seed) : engine_(seed) {}
  bool Fill(uint8_t* out, size_t count) override {
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(engine_());
    return true;
  }

 private:
  std::mt19937 engine_;
};

class FailingRandom : public RandomSource {
 public:
  bool Fill(uint8_t*, size_t) override { return false; }
};

TEST(RolloutTest, BucketIsTheMd5OfIdentifierAndKeyModHundred) {
  // Python: int(hashlib.md5(b"<id>:<key>").hexdigest()[:8], 16) % 100
  EXPECT_EQ(RolloutBucket("00112233445566778899aabbccddeeff", "1.1"), 21);
  EXPECT_EQ(RolloutBucket("", ""), 79);
  EXPECT_EQ(RolloutBucket("00112233445566778899aabbccddeeff", "1.1"),
            RolloutBucket("00112233445566778899aabbccddeeff", "1.1"));
}

TEST(RolloutTest, SharesOfTenThousandIdentifiersMatchEveryPercentage) {
  SeededRandom random(20261209);
  constexpr int kIds = 10000;
  int per_bucket[kRolloutBuckets] = {};
  int same_bucket_under_new_key = 0;
  for (int i = 0; i < kIds; ++i) {
    const std::string id = NewInstallId(random);
    ASSERT_EQ(id.size(), 32u);
    ASSERT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos);
    const int bucket = RolloutBucket(id, "release 1.1");
    ASSERT_GE(bucket, 0);
    ASSERT_LT(bucket, kRolloutBuckets);
    ++per_bucket[bucket];
    if (RolloutBucket(id, "release 1.2") == bucket) ++same_bucket_under_new_key;
  }
  int inside = 0;
  for (int percentage = 1; percentage <= kFullRollout; ++percentage) {
    inside += per_bucket[percentage - 1];
    const double share = 100.0 * inside / kIds;
    EXPECT_NEAR(share, percentage, 2.0) << percentage << "%";
  }
  // A new key draws a fresh share: about one identifier in a hundred keeps
  // its bucket by chance.
  EXPECT_LT(same_bucket_under_new_key, 3 * kIds / kRolloutBuckets);
}

TEST(RolloutTest, PercentageOutsideOneToHundredMeansEveryone) {
  const struct {
    const char* text;
    int percentage;
  } cases[] = {{"", 100}, {"0", 100}, {"1", 1}, {"30", 30}, {" 60 ", 60}, {"99", 99}, {"100", 100},
               {"101", 100}, {"1000", 100}, {"-5", 100}, {"abc", 100}, {"30%", 30}, {"007", 7}};
  for (const auto& c : cases) EXPECT_EQ(RolloutPercentage(c.text), c.percentage) << '"' << c.text << '"';
  EXPECT_TRUE(InRollout(29, 30));
  EXPECT_FALSE(InRollout(30, 30));
  EXPECT_EQ(RolloutExclusionLine(30),
            "The update is being rolled out to 30% of installations; this one is not included yet.");
}

TEST(RolloutTest, NoIdentifierWithoutRandomBytes) {
  FailingRandom failing;
  EXPECT_EQ(NewInstallId(failing), "");
  SeededRandom a(7), b(7);
  EXPECT_EQ(NewInstallId(a), NewInstallId(b));
  EXPECT_NE(NewInstallId(a), NewInstallId(a));
}

TEST(ExpiryTest, ExpiredFromItsSecondOnAndShownInUtc) {
  const uint64_t expires = 1796793600;  // 2026-12-09 05:20:00 UTC
  EXPECT_FALSE(IsExpired(expires, expires - 1));
  EXPECT_TRUE(IsExpired(expires, expires));
  EXPECT_TRUE(IsExpired(expires, expires + 1));
  EXPECT_EQ(UtcTimeText(expires), "2026-12-09 05:20:00 UTC");
  EXPECT_EQ(UtcTimeText(0), "1970-01-01 00:00:00 UTC");
  EXPECT_EQ(UtcTimeText(951782400), "2000-02-29 00:00:00 UTC");
  EXPECT_EQ(UtcTimeText(4102444799u), "2099-12-31 23:59:59 UTC");

  const struct {
    const char* text;
    bool ok;
    uint64_t value;
  } cases[] = {{"1796793600", true, 1796793600}, {" 42 ", true, 42}, {"0", true, 0},
               {"", false, 0}, {"12a", false, 0}, {"-1", false, 0}, {"1e9", false, 0},
               {"999999999999999999", true, 999999999999999999ull}, {"9999999999999999999", false, 0}};
  for (const auto& c : cases) {
    uint64_t value = 0;
    EXPECT_EQ(ParseExpiry(c.text, &value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

// A self-update that brings a new local file: the installation keeps the
// identifier it had, whichever form the new file has.
TEST(RolloutTest, ANewLocalFileKeepsTheInstallationIdentifier) {
  const std::string id = "0123456789abcdef0123456789abcdef";
  struct Case {
    const char* name;
    std::string new_text;
    bool binary;
    std::string kept;
  };
  const Case cases[] = {
      {"text without one", "[system]\r\nurls=url0=http://h/u.ini\r\n", false, id},
      {"binary without one", "[system]\r\nurls=url0=http://h/u.ini\r\n", true, id},
      {"its own wins", "[system]\r\ninstall_id=feed\r\n", false, "feed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    checktest::TempFolder dir;
    const DiskFolder folder(dir.Path());
    checktest::WriteBytes(dir.File("update.dat"), "[system]\r\ninstall_id=" + id + "\r\n");
    const std::string before = ReadInstallId(folder, "pw");
    EXPECT_EQ(before, id);
    if (c.binary) {
      checktest::WriteBytes(dir.File("new.dat"), c.new_text);
      ASSERT_TRUE(PackIntoArchive(dir.File("update.bin"), dir.File("new.dat"), "update.dat", "pw"));
      std::filesystem::remove(dir.File("update.dat"));
    } else {
      checktest::WriteBytes(dir.File("update.dat"), c.new_text);
    }
    EXPECT_TRUE(KeepInstallId(folder, before, "pw"));
    EXPECT_EQ(ReadInstallId(folder, "pw"), c.kept);
  }
  checktest::TempFolder empty;
  EXPECT_EQ(ReadInstallId(DiskFolder(empty.Path()), ""), "");
  EXPECT_TRUE(KeepInstallId(DiskFolder(empty.Path()), "", ""));
}

}  // namespace
}  // namespace corvane
