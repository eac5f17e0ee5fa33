#include "updater/engine/config/version_compare.h"

#include <cstddef>

namespace corvane {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// One part of a version, read like atoi reads a number (blanks, a sign, the
// leading digits; no digits is 0) but kept as its digit string, so parts of
// any length compare exactly and alike on every platform instead of
// overflowing or saturating at the width of `long`.
struct VersionPart {
  bool negative = false;
  std::string digits;  // no leading zeros; empty for 0

  explicit VersionPart(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
      negative = text[i] == '-';
      ++i;
    }
    while (i < text.size() && text[i] == '0') ++i;
    size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    digits = text.substr(start, i - start);
    if (digits.empty()) negative = false;  // "-0" is 0
  }
};

int CompareMagnitude(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool Less(const VersionPart& a, const VersionPart& b) {
  if (a.negative != b.negative) return a.negative;
  int magnitude = CompareMagnitude(a.digits, b.digits);
  return a.negative ? magnitude > 0 : magnitude < 0;
}

// Reads the part of `s` that starts at `pos` and ends before the next "."
// (or at the end), and moves `pos` past that ".". Positions instead of
// copies keep a long run of parts linear.
VersionPart TakePart(const std::string& s, size_t& pos) {
  size_t dot = s.find('.', pos);
  size_t end = dot == std::string::npos ? s.size() : dot;
  VersionPart part(s.substr(pos, end - pos));
  pos = dot == std::string::npos ? s.size() : dot + 1;
  return part;
}

}  // namespace

bool CompareVersions(const std::string& server_version, const std::string& local_version) {
  const std::string& server = server_version;
  const std::string& local = local_version;
  size_t server_pos = 0;
  size_t local_pos = 0;
  bool local_used_up = false;  // the local string has become "0"
  while (server.find('.', server_pos) != std::string::npos) {
    VersionPart s = TakePart(server, server_pos);
    VersionPart l("0");
    if (!local_used_up) {
      if (local.find('.', local_pos) != std::string::npos) {
        l = TakePart(local, local_pos);
      } else {
        l = VersionPart(local.substr(local_pos));
        local_used_up = true;
      }
    }
    if (Less(l, s)) return true;
    if (Less(s, l)) return false;
  }
  VersionPart s(server.substr(server_pos));
  VersionPart l("0");
  if (!local_used_up) {
    size_t dot = local.find('.', local_pos);
    l = VersionPart(local.substr(local_pos, dot == std::string::npos ? std::string::npos
                                                                     : dot - local_pos));
  }
  return Less(l, s);
}

}  // namespace corvane
