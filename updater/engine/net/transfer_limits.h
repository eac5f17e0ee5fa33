// The bounds that keep a slow or hostile source from holding the updater:
// how long a body may go without delivering, how far a folder listing may
// grow, and which install names stay inside their item's folder. Portable,
// so the rules are tested natively; the Windows transfer code applies them.
// Also the two checks every HTTP answer passes, in the configuration fetch
// as in the transfer engine: the statuses that fail a request and the
// redirects an answer may have come through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

namespace corvane {

// A body is stalled when it delivers less than `minimum_bytes` within one
// window of `window_ms` milliseconds. A slow but steady link passes; a
// server that sends a byte a second (or nothing) fails within one window.
class StallWindow {
 public:
  static constexpr uint64_t kMinimumBytes = 1024;

  StallWindow(uint64_t window_ms, uint64_t minimum_bytes = kMinimumBytes);

  // Starts the first window at `now_ms` with `bytes` delivered so far.
  void Start(uint64_t now_ms, uint64_t bytes);
  // After each read: true when a whole window has passed with less than the
  // minimum delivered in it. A window that met the minimum starts the next.
  bool Stalled(uint64_t now_ms, uint64_t bytes);

 private:
  uint64_t window_ms_;
  uint64_t minimum_bytes_;
  uint64_t window_start_ms_ = 0;
  uint64_t window_start_bytes_ = 0;
};

// Caps of one recursive folder listing.
struct ListingLimits {
  size_t max_folders = 10000;
  size_t max_entries = 100000;
};

// Keeps one recursive listing finite: folders already listed (the same
// folder reached again through a link) are not listed twice, and the
// listing stops at a cap on folders or entries.
class ListingBounds {
 public:
  enum class Visit { kList, kAlreadyListed, kTooManyFolders };

  explicit ListingBounds(ListingLimits limits = ListingLimits());

  // Before a folder is listed; `identity` names the folder uniquely (a
  // normalised path, or the file system's id of the folder).
  Visit EnterFolder(const std::string& identity);
  // Before an entry is appended; false when the entry cap is reached.
  bool AddEntry();

  bool exceeded() const { return exceeded_; }
  // The log line of a listing stopped at a cap (empty when none was hit).
  std::string ExceededText(const std::string& root) const;

 private:
  ListingLimits limits_;
  std::set<std::string> visited_;
  size_t folders_ = 0;
  size_t entries_ = 0;
  bool exceeded_ = false;
  bool folders_exceeded_ = false;
};

// Identity of an FTP folder path: runs of "/" collapsed and one trailing
// "/" dropped (except for the root), so "/a//b/" and "/a/b" are one folder.
std::string FtpFolderIdentity(const std::string& folder);

// Whether a server-side install name ("rename") keeps the installed file
// inside the item's folder: no ".." part, no drive or stream (":"), no
// leading separator. Subfolders ("sub\\x.dll") are allowed; an empty name
// is the caller's business and passes.
bool IsSafeInstallName(const std::string& name);

// Whether a local download target stays in the folder it was built from:
// no ".." part (trailing dots and blanks count, as Windows drops them) and
// no ":" other than a drive's. The last line of defence when an install
// name slipped through unchecked.
bool IsContainedLocalPath(const std::string& path);

// A listed or announced size from its two 32-bit halves.
inline uint64_t CombineFileSize(uint32_t high, uint32_t low) {
  return (static_cast<uint64_t>(high) << 32) | low;
}

// Text of the engine's HTTP error table ("Http error 404: Not Found"), or
// empty for a status that passes the check.
std::string HttpStatusErrorText(long status_code);

// Whether a request for `requested_url` may use the answer that came from
// `final_url` after redirects: it must still be HTTP or HTTPS, and an HTTPS
// request must stay on HTTPS.
bool IsAcceptableFinalUrl(const std::string& requested_url, const std::string& final_url);

}  // namespace corvane
