#include "updater/engine/net/transfer_limits.h"

#include "shared/text_util.h"

namespace corvane {

StallWindow::StallWindow(uint64_t window_ms, uint64_t minimum_bytes)
    : window_ms_(window_ms == 0 ? 1 : window_ms), minimum_bytes_(minimum_bytes) {}

void StallWindow::Start(uint64_t now_ms, uint64_t bytes) {
  window_start_ms_ = now_ms;
  window_start_bytes_ = bytes;
}

bool StallWindow::Stalled(uint64_t now_ms, uint64_t bytes) {
  if (now_ms - window_start_ms_ < window_ms_) return false;
  if (bytes - window_start_bytes_ < minimum_bytes_) return true;
  Start(now_ms, bytes);
  return false;
}

ListingBounds::ListingBounds(ListingLimits limits) : limits_(limits) {}

ListingBounds::Visit ListingBounds::EnterFolder(const std::string& identity) {
  if (exceeded_) return Visit::kTooManyFolders;
  if (!visited_.insert(identity).second) return Visit::kAlreadyListed;
  if (++folders_ > limits_.max_folders) {
    exceeded_ = true;
    folders_exceeded_ = true;
    return Visit::kTooManyFolders;
  }
  return Visit::kList;
}

bool ListingBounds::AddEntry() {
  if (exceeded_) return false;
  if (++entries_ > limits_.max_entries) {
    exceeded_ = true;
    return false;
  }
  return true;
}

std::string ListingBounds::ExceededText(const std::string& root) const {
  if (!exceeded_) return std::string();
  if (folders_exceeded_) {
    return Format("The folder listing exceeds %u folders: ",
                  static_cast<unsigned>(limits_.max_folders)) + root;
  }
  return Format("The folder listing exceeds %u files: ",
                static_cast<unsigned>(limits_.max_entries)) + root;
}

std::string FtpFolderIdentity(const std::string& folder) {
  std::string identity;
  identity.reserve(folder.size());
  for (char c : folder) {
    if (c == '/' && !identity.empty() && identity.back() == '/') continue;
    identity += c;
  }
  if (identity.size() > 1 && identity.back() == '/') identity.pop_back();
  return identity;
}

namespace {

// A path part made only of dots and blanks: Windows drops trailing dots
// and blanks from a name, so ". ." and "..." climb as ".." does.
bool HasDotsOnlyPart(const std::string& path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("\\/", start);
    if (end == std::string::npos) end = path.size();
    bool dots_only = end > start;
    for (size_t i = start; i < end && dots_only; ++i) {
      dots_only = path[i] == '.' || path[i] == ' ';
    }
    if (dots_only) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

bool IsSafeInstallName(const std::string& name) {
  if (name.empty()) return true;
  if (name[0] == '\\' || name[0] == '/') return false;
  if (name.find(':') != std::string::npos) return false;
  return !HasDotsOnlyPart(name);
}

bool IsContainedLocalPath(const std::string& path) {
  // A drive's colon is the second character; any other names a stream or
  // a drive in the middle of the path.
  const size_t colon = path.find(':');
  if (colon != std::string::npos && (colon != 1 || path.find(':', 2) != std::string::npos)) {
    return false;
  }
  return !HasDotsOnlyPart(path);
}

std::string HttpStatusErrorText(long status_code) {
  switch (status_code) {
    case 400: return "Http error 400: Bad Request";
    case 401: return "Http error 401: Unauthorized";
    case 403: return "Http error 403: Forbidden";
    case 404: return "Http error 404: Not Found";
    case 405: return "Http error 405: Method Not Allowed";
    case 406: return "Http error 406: Not Acceptable";
    case 407: return "Http error 407: Proxy Authentication Required";
    case 414: return "Http error 414: Request-URI Too Large";
    case 500: return "Http error 500: Internal Server Error";
    case 501: return "Http error 501: Not Implemented";
    case 502: return "Http error 502: Bad Gateway";
    default: return std::string();
  }
}

namespace {

std::string SchemeOf(const std::string& url) {
  const size_t colon = url.find("://");
  return colon == std::string::npos ? std::string() : ToLowerAscii(Trim(url.substr(0, colon)));
}

}  // namespace

bool IsAcceptableFinalUrl(const std::string& requested_url, const std::string& final_url) {
  if (final_url.empty()) return true;  // the platform could not tell; nothing was redirected
  const std::string from = SchemeOf(requested_url);
  const std::string to = SchemeOf(final_url);
  if (to != "http" && to != "https") return false;
  if (from == "https" && to != "https") return false;
  return true;
}

}  // namespace corvane
