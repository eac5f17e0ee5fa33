#include "updater/engine/transfer/transfer_resume.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

TEST(ContentRange, ParsesTheFormAndRefusesEverythingElse) {
  ContentRange r;
  ASSERT_TRUE(ParseContentRange("bytes 100-999/1000", &r));
  EXPECT_EQ(r.first, 100u);
  EXPECT_EQ(r.last, 999u);
  EXPECT_EQ(r.total, 1000u);
  EXPECT_TRUE(r.total_known);
  ASSERT_TRUE(ParseContentRange("  BYTES 0 - 4 / *  ", &r));
  EXPECT_EQ(r.last, 4u);
  EXPECT_FALSE(r.total_known);
  for (const char* bad : {"", "bytes", "bytes 1-2", "bytes -2/3", "bytes 5-4/10", "bytes 1-10/10",
                          "items 1-2/3", "bytes1-2/3", "bytes 1-2/3x", "bytes 1-2/-3",
                          "bytes */1000", "bytes 99999999999999999999-1/2",
                          // Twenty digits that wrap around to small numbers.
                          "bytes 18446744073709551620-18446744073709551629/18446744073709551630",
                          "bytes 0-4/18446744073709551630", "bytes 0-18446744073709551620/*",
                          "bytes 0-1/4611686018427387905"}) {
    EXPECT_FALSE(ParseContentRange(bad, &r)) << bad;
  }
  // The largest number taken is 2^62.
  ASSERT_TRUE(ParseContentRange("bytes 0-4611686018427387903/4611686018427387904", &r));
  EXPECT_EQ(r.total, 4611686018427387904u);
}

TEST(HttpDate, ImfFixdateOnly) {
  int64_t s = 0;
  ASSERT_TRUE(ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT", &s));
  EXPECT_EQ(s, 784111777);
  ASSERT_TRUE(ParseHttpDate("Thu, 01 Jan 1970 00:00:00 GMT", &s));
  EXPECT_EQ(s, 0);
  ASSERT_TRUE(ParseHttpDate("Tue, 29 Feb 2000 23:59:59 GMT", &s));
  EXPECT_EQ(s, 951868799);
  for (const char* bad : {"Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994",
                          "Sun, 06 Nox 1994 08:49:37 GMT", "Sun, 06 Nov 1994 25:49:37 GMT",
                          "Sun, 6 Nov 1994 08:49:37 GMT", ""}) {
    EXPECT_FALSE(ParseHttpDate(bad, &s)) << bad;
  }
}

TEST(IfRange, StrongEtagElseStrongDateElseNothing) {
  const std::string raw =
      "HTTP/1.1 200 OK\r\nContent-Length: 10\r\netag:  \"v1\" \r\n"
      "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\nDate: Sun, 06 Nov 1994 08:49:39 GMT\r\n";
  HttpValidators v = ValidatorsOf(raw);
  EXPECT_EQ(v.etag, "\"v1\"");
  EXPECT_EQ(IfRangeValidator(v), "\"v1\"");
  EXPECT_EQ(HeaderValue(raw, "content-length"), "10");
  EXPECT_EQ(HeaderValue(raw, "Content-Range"), "");

  v.etag.clear();
  EXPECT_EQ(IfRangeValidator(v), "Sun, 06 Nov 1994 08:49:37 GMT");
  v.date = "Sun, 06 Nov 1994 08:49:37 GMT";  // changed within its second: weak
  EXPECT_EQ(IfRangeValidator(v), "");
  v.date = "";
  EXPECT_EQ(IfRangeValidator(v), "");
  // A weak entity tag must not be sent, and a date may not stand in for it.
  v = ValidatorsOf(raw);
  v.etag = "W/\"v1\"";
  EXPECT_EQ(IfRangeValidator(v), "");

  EXPECT_EQ(RangeRequestHeaders(5000, "\"v1\""), "Range: bytes=5000-\r\nIf-Range: \"v1\"\r\n");
  EXPECT_EQ(RangeRequestHeaders(7, ""), "Range: bytes=7-\r\n");
}

RangeReply Reply(unsigned status, const std::string& range, long long length = -1,
                 const std::string& etag = "") {
  RangeReply r;
  r.status = status;
  r.content_range = range;
  r.has_length = length >= 0;
  r.length = length >= 0 ? static_cast<uint64_t>(length) : 0;
  r.etag = etag;
  return r;
}

TEST(JudgeRangeReply, AppendsOnlyTheExactRestOfTheSameFile) {
  struct Case {
    RangeReply reply;
    uint64_t offset;
    ResumeVerdict verdict;
  } cases[] = {
      {Reply(206, "bytes 400-999/1000", 600, "\"a\""), 400, ResumeVerdict::kAppend},
      {Reply(206, "bytes 400-999/1000"), 400, ResumeVerdict::kAppend},
      {Reply(200, "", 1000), 400, ResumeVerdict::kTakeWhole},  // ranges ignored
      {Reply(200, "", 1234), 0, ResumeVerdict::kTakeWhole},    // whole file asked for
      {Reply(206, "bytes 0-999/1000"), 400, ResumeVerdict::kRestart},    // another start
      {Reply(206, "bytes 300-999/1000"), 400, ResumeVerdict::kRestart},  // overlaps
      {Reply(206, "bytes 400-999/2000"), 400, ResumeVerdict::kRestart},  // another total
      {Reply(206, "bytes 400-999/*"), 400, ResumeVerdict::kRestart},
      {Reply(206, "bytes 400-499/1000"), 400, ResumeVerdict::kRestart},  // not to the end
      {Reply(206, "bytes 400-999/1000", 700), 400, ResumeVerdict::kRestart},
      {Reply(206, "bytes 400-999/1000", 600, "\"b\""), 400, ResumeVerdict::kRestart},
      {Reply(206, ""), 400, ResumeVerdict::kRestart},  // multipart or none
      {Reply(206, "garbage"), 400, ResumeVerdict::kRestart},
      {Reply(416, ""), 400, ResumeVerdict::kRestart},
      {Reply(206, "bytes 0-999/1000"), 0, ResumeVerdict::kFail},
      {Reply(503, ""), 400, ResumeVerdict::kFail},
      {Reply(404, ""), 0, ResumeVerdict::kFail},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JudgeRangeReply(c.reply, c.offset, 1000, "\"a\""), c.verdict)
        << c.reply.status << " " << c.reply.content_range << " @" << c.offset;
  }
}

TEST(ResumeBudget, ThreeResumesAndNoStallWithoutProgress) {
  ResumeBudget budget;
  EXPECT_TRUE(budget.Allow(TransferBreak::kClosed, 0));  // reset before any byte
  EXPECT_TRUE(budget.Allow(TransferBreak::kClosed, 0));
  EXPECT_TRUE(budget.Allow(TransferBreak::kStalled, 5000));
  EXPECT_FALSE(budget.Allow(TransferBreak::kClosed, 9000));
  EXPECT_EQ(budget.used(), 3);

  // 1 KiB of progress per stall (StallWindow's minimum).
  ResumeBudget stalls;
  EXPECT_FALSE(stalls.Allow(TransferBreak::kStalled, 0));     // held from the start
  EXPECT_FALSE(stalls.Allow(TransferBreak::kStalled, 1023));  // a trickle
  EXPECT_TRUE(stalls.Allow(TransferBreak::kStalled, 1024));
  EXPECT_FALSE(stalls.Allow(TransferBreak::kStalled, 2047));  // no further than before
  EXPECT_TRUE(stalls.Allow(TransferBreak::kClosed, 1500));    // a break costs no wait
  EXPECT_FALSE(stalls.Allow(TransferBreak::kStalled, 2523));  // measured from 1500
  EXPECT_TRUE(stalls.Allow(TransferBreak::kStalled, 2524));
  EXPECT_EQ(stalls.used(), 3);
}

TEST(FtpRestartPoint, OverlapsWhatIsAlreadyHere) {
  EXPECT_EQ(FtpRestartPoint(0), 0u);
  EXPECT_EQ(FtpRestartPoint(1), 0u);
  EXPECT_EQ(FtpRestartPoint(2), 1u);
  EXPECT_EQ(FtpRestartPoint(1000), 500u);
  EXPECT_EQ(FtpRestartPoint(100000), 100000u - kFtpOverlap);
}

}  // namespace
}  // namespace corvane
