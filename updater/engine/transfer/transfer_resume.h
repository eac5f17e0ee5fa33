// Continuing a download that broke off mid-file (connection closed or reset,
// a body shorter than announced, a server that stopped sending): HTTP asks
// for the rest with "Range" guarded by "If-Range", FTP with "REST". These are
// the rules that decide whether and where to continue and whether a reply may
// be appended; the Windows transfer code sends the requests. Whatever they
// decide, the whole file is still verified by its digest afterwards.
#pragma once

#include <cstdint>
#include <string>

#include "updater/engine/net/transfer_limits.h"

namespace corvane {

// Resumes allowed per file before the download fails as any broken one does.
constexpr int kMaxResumes = 3;

// How an attempt broke off.
enum class TransferBreak {
  kClosed,   // read failed (closed, reset) or fewer bytes than announced
  kStalled,  // the server stopped sending (StallWindow)
};

// Counts the resumes of one file. A stall that brought the file less than
// `stall_progress` bytes further than any attempt before is not resumed:
// that server holds its data back or trickles it, and waiting another
// window for it would only multiply the wait.
class ResumeBudget {
 public:
  explicit ResumeBudget(int max_resumes = kMaxResumes,
                        uint64_t stall_progress = StallWindow::kMinimumBytes)
      : max_resumes_(max_resumes), stall_progress_(stall_progress) {}

  // After an attempt broke off with `bytes` in the file: whether to try once
  // more (and count it).
  bool Allow(TransferBreak how, uint64_t bytes);
  int used() const { return used_; }

 private:
  int max_resumes_;
  uint64_t stall_progress_;
  int used_ = 0;
  uint64_t furthest_ = 0;
};

// A "Content-Range" value of a 206 reply: "bytes first-last/total" (total
// "*" when unknown). Blanks around the parts are allowed; anything else
// (another unit, a missing part, last before first, last beyond total,
// numbers too large) fails.
struct ContentRange {
  uint64_t first = 0;
  uint64_t last = 0;
  uint64_t total = 0;
  bool total_known = false;
};
bool ParseContentRange(const std::string& value, ContentRange* range);

// An IMF-fixdate ("Sun, 06 Nov 1994 08:49:37 GMT") as seconds since
// 1970-01-01; false for any other form.
bool ParseHttpDate(const std::string& text, int64_t* seconds);

// The value of header `name` (case-insensitive) in raw response headers
// ("\r\n"-separated, status line first), trimmed; empty when absent.
std::string HeaderValue(const std::string& raw_headers, const std::string& name);

// What the first response said about the file it delivered.
struct HttpValidators {
  std::string etag;
  std::string last_modified;
  std::string date;
};
HttpValidators ValidatorsOf(const std::string& raw_headers);

// The "If-Range" value that makes a server send the rest only of the very
// file the first part came from: a strong ETag, else a Last-Modified date
// that is itself strong (at least a second before the response's Date).
// Empty when there is none: a range could then be the rest of another
// version, so the download starts over instead.
std::string IfRangeValidator(const HttpValidators& validators);

// Request headers of a resume: "Range: bytes=N-\r\nIf-Range: V\r\n".
std::string RangeRequestHeaders(uint64_t offset, const std::string& if_range);

// The reply to a resume request (or to a request for the whole file again
// when `offset` is 0).
struct RangeReply {
  unsigned status = 0;
  std::string content_range;  // empty when absent
  bool has_length = false;
  uint64_t length = 0;        // Content-Length
  std::string etag;           // empty when absent
};

enum class ResumeVerdict {
  kAppend,     // the rest of the same file from the offset: append it
  kTakeWhole,  // the whole file again (200): write it from byte 0
  kRestart,    // not what was asked: ask for the whole file again
  kFail,       // an error status: the download fails
};

// Judges `reply` to a request for the bytes from `offset` of a file of
// `total` bytes whose first response carried `etag` (may be empty). A 206
// is appended only when its range starts at the offset, ends at the file's
// last byte, names the same total, agrees with its length and carries no
// other ETag; any other 206 is never appended. A 200 (a server that ignores
// ranges, or a file that changed) is the whole file anew.
ResumeVerdict JudgeRangeReply(const RangeReply& reply, uint64_t offset, uint64_t total,
                              const std::string& etag);

// FTP: where to "REST" to continue a file that holds `bytes` bytes. The
// server sends again the last few bytes already here (at most kFtpOverlap,
// at most half of them), so that a server that ignored the restart, or a
// file that changed, shows as a mismatch instead of being appended. 0 means
// start over.
constexpr uint64_t kFtpOverlap = 4096;
uint64_t FtpRestartPoint(uint64_t bytes);

}  // namespace corvane
