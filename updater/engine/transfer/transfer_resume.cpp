#include "updater/engine/transfer/transfer_resume.h"

#include <cctype>

#include "shared/text_util.h"

namespace corvane {

namespace {

// Larger numbers are no real file offset and could overflow the sums below.
constexpr uint64_t kMaxNumber = 1ull << 62;

// Reads decimal digits at `pos`; false when there are none or too many.
bool ReadNumber(const std::string& text, size_t* pos, uint64_t* value) {
  const size_t start = *pos;
  uint64_t number = 0;
  while (*pos < text.size() && std::isdigit(static_cast<unsigned char>(text[*pos]))) {
    const uint64_t digit = static_cast<uint64_t>(text[*pos] - '0');
    // Checked before the step, so that no value can wrap around into a
    // small one.
    if (number > (kMaxNumber - digit) / 10) return false;
    number = number * 10 + digit;
    ++*pos;
  }
  *value = number;
  return *pos > start;
}

void SkipBlanks(const std::string& text, size_t* pos) {
  while (*pos < text.size() && (text[*pos] == ' ' || text[*pos] == '\t')) ++*pos;
}

bool Expect(const std::string& text, size_t* pos, char c) {
  SkipBlanks(text, pos);
  if (*pos >= text.size() || text[*pos] != c) return false;
  ++*pos;
  SkipBlanks(text, pos);
  return true;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<int64_t>(day_of_era) - 719468;
}

bool IsStrongEtag(const std::string& etag) {
  return etag.size() >= 2 && etag.front() == '"' && etag.back() == '"';
}

}  // namespace

bool ResumeBudget::Allow(TransferBreak how, uint64_t bytes) {
  if (used_ >= max_resumes_) return false;
  if (how == TransferBreak::kStalled && bytes < furthest_ + stall_progress_) return false;
  if (bytes > furthest_) furthest_ = bytes;
  ++used_;
  return true;
}

bool ParseContentRange(const std::string& value, ContentRange* range) {
  const std::string text = Trim(value);
  if (text.size() < 6 || !EqualsNoCase(text.substr(0, 5), "bytes")) return false;
  size_t pos = 5;
  if (pos >= text.size() || (text[pos] != ' ' && text[pos] != '\t')) return false;
  SkipBlanks(text, &pos);
  ContentRange parsed;
  if (!ReadNumber(text, &pos, &parsed.first) || !Expect(text, &pos, '-') ||
      !ReadNumber(text, &pos, &parsed.last) || !Expect(text, &pos, '/')) {
    return false;
  }
  if (pos < text.size() && text[pos] == '*') {
    ++pos;
  } else {
    if (!ReadNumber(text, &pos, &parsed.total)) return false;
    parsed.total_known = true;
  }
  if (pos != text.size() || parsed.last < parsed.first) return false;
  if (parsed.total_known && parsed.last >= parsed.total) return false;
  *range = parsed;
  return true;
}

bool ParseHttpDate(const std::string& text, int64_t* seconds) {
  // "Sun, 06 Nov 1994 08:49:37 GMT": fixed widths throughout.
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::string t = Trim(text);
  if (t.size() != 29 || t[3] != ',' || t[4] != ' ' || t[7] != ' ' || t[11] != ' ' ||
      t[16] != ' ' || t[19] != ':' || t[22] != ':' || t.compare(25, 4, " GMT") != 0) {
    return false;
  }
  auto digits = [&t](size_t at, size_t count, unsigned* value) {
    unsigned number = 0;
    for (size_t i = at; i < at + count; ++i) {
      if (!std::isdigit(static_cast<unsigned char>(t[i]))) return false;
      number = number * 10 + static_cast<unsigned>(t[i] - '0');
    }
    *value = number;
    return true;
  };
  unsigned day = 0, year = 0, hour = 0, minute = 0, second = 0, month = 0;
  if (!digits(5, 2, &day) || !digits(12, 4, &year) || !digits(17, 2, &hour) ||
      !digits(20, 2, &minute) || !digits(23, 2, &second)) {
    return false;
  }
  for (unsigned m = 0; m < 12; ++m) {
    if (t.compare(8, 3, kMonths[m]) == 0) month = m + 1;
  }
  if (month == 0 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return false;
  *seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return true;
}

std::string HeaderValue(const std::string& raw_headers, const std::string& name) {
  size_t start = raw_headers.find('\n');  // past the status line
  while (start != std::string::npos && start < raw_headers.size()) {
    ++start;
    size_t end = raw_headers.find('\n', start);
    const std::string line =
        raw_headers.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const size_t colon = line.find(':');
    if (colon != std::string::npos && EqualsNoCase(Trim(line.substr(0, colon)), name)) {
      std::string value = line.substr(colon + 1);
      if (!value.empty() && value.back() == '\r') value.pop_back();
      return Trim(value);
    }
    start = end;
  }
  return std::string();
}

HttpValidators ValidatorsOf(const std::string& raw_headers) {
  HttpValidators validators;
  validators.etag = HeaderValue(raw_headers, "ETag");
  validators.last_modified = HeaderValue(raw_headers, "Last-Modified");
  validators.date = HeaderValue(raw_headers, "Date");
  return validators;
}

std::string IfRangeValidator(const HttpValidators& validators) {
  if (IsStrongEtag(validators.etag)) return validators.etag;
  // A date is a validator only for an entity-tag-less response, and only
  // when the file had not changed within the second of its Date.
  if (!validators.etag.empty()) return std::string();
  int64_t modified = 0, date = 0;
  if (ParseHttpDate(validators.last_modified, &modified) &&
      ParseHttpDate(validators.date, &date) && date - modified >= 1) {
    return validators.last_modified;
  }
  return std::string();
}

std::string RangeRequestHeaders(uint64_t offset, const std::string& if_range) {
  std::string headers = "Range: bytes=" + std::to_string(offset) + "-\r\n";
  if (!if_range.empty()) headers += "If-Range: " + if_range + "\r\n";
  return headers;
}

ResumeVerdict JudgeRangeReply(const RangeReply& reply, uint64_t offset, uint64_t total,
                              const std::string& etag) {
  if (reply.status == 200) return ResumeVerdict::kTakeWhole;
  // Only a request for a range may be answered with one.
  if (offset == 0) return ResumeVerdict::kFail;
  // The offset lies beyond the file the server has now: another version.
  if (reply.status == 416) return ResumeVerdict::kRestart;
  if (reply.status != 206) return ResumeVerdict::kFail;
  ContentRange range;
  if (!ParseContentRange(reply.content_range, &range)) return ResumeVerdict::kRestart;
  const bool same_file = range.total_known && range.total == total &&
                         (etag.empty() || reply.etag.empty() || reply.etag == etag);
  const bool the_rest = range.first == offset && range.last + 1 == total;
  const bool length_agrees = !reply.has_length || reply.length == range.last - range.first + 1;
  return same_file && the_rest && length_agrees ? ResumeVerdict::kAppend
                                                : ResumeVerdict::kRestart;
}

uint64_t FtpRestartPoint(uint64_t bytes) {
  if (bytes < 2) return 0;
  const uint64_t half = bytes / 2;
  return bytes - (half < kFtpOverlap ? half : kFtpOverlap);
}

}  // namespace corvane
