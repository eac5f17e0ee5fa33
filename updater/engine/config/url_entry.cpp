#include "updater/engine/config/url_entry.h"

#include <string>

#include "shared/ini_store.h"
#include "shared/text_util.h"

namespace corvane {

namespace {

const char kSchemeMark[] = "://";
const char kFieldSeparator[] = ",,";

bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

int DefaultPort(UrlService service) {
  switch (service) {
    case UrlService::kHttp: return 80;
    case UrlService::kHttps: return 443;
    case UrlService::kFtp: return 21;
    default: return 0;
  }
}

UrlService ServiceOf(const std::string& scheme) {
  const std::string s = ToLowerAscii(scheme);
  if (s == "http") return UrlService::kHttp;
  if (s == "https") return UrlService::kHttps;
  if (s == "ftp") return UrlService::kFtp;
  if (s == "file") return UrlService::kFile;
  return UrlService::kUnknown;
}

std::string CleanObject(std::string object) {
  object = ReplaceAll(object, "%20", " ");
  if (!object.empty() && (object.back() == '\\' || object.back() == '/')) object.pop_back();
  return object;
}

// What follows "file://" as a Windows path.
std::string FilePathOf(const std::string& rest) {
  std::string path = ReplaceAll(rest, "\\", "/");
  if (StartsWith(ToLowerAscii(path), "localhost/")) path.erase(0, 9);
  const bool drive_after_slash =
      path.size() >= 3 && path[0] == '/' && IsAsciiAlpha(path[1]) && path[2] == ':';
  const bool drive_first = path.size() >= 2 && IsAsciiAlpha(path[0]) && path[1] == ':';
  if (drive_after_slash) {
    path.erase(0, 1);
  } else if (!drive_first) {
    // "//server/share" and "server/share" both name a network share;
    // "/folder" is a folder at the root of the current drive.
    if (!StartsWith(path, "/")) path = "//" + path;
  }
  return ReplaceAll(path, "/", "\\");
}

}  // namespace

bool SplitUrlEntry(const std::string& entry, UrlEntry* out) {
  const std::string text = Trim(ReplaceAll(entry, "\\", "/"));
  UrlEntry parts;
  size_t first_sep = text.find(kFieldSeparator);
  parts.url = text.substr(0, first_sep);
  if (first_sep != std::string::npos) {
    size_t user_start = first_sep + 2;
    size_t second_sep = text.find(kFieldSeparator, user_start);
    parts.user = text.substr(user_start, second_sep == std::string::npos
                                             ? std::string::npos
                                             : second_sep - user_start);
    // A password may itself hold ",,": it is everything after the second
    // separator.
    if (second_sep != std::string::npos) parts.password = text.substr(second_sep + 2);
  }
  size_t mark = parts.url.find(kSchemeMark);
  if (mark == std::string::npos || mark == 0) return false;
  if (mark + 3 >= parts.url.size()) return false;
  *out = parts;
  return true;
}

void AppendUrlEntries(const std::string& packed, UrlList* list) {
  for (int i = 0; i < kMaxUrlEntries; ++i) {
    const std::string entry = GetAttribute(packed, "url" + std::to_string(i));
    if (entry.empty()) break;
    UrlEntry parts;
    if (SplitUrlEntry(entry, &parts)) list->Add(parts.url, parts.user, parts.password);
  }
}

std::string DefaultInstallName(const UrlList& urls) {
  if (urls.Empty()) return std::string();
  const std::string& first = urls.urls[0];
  size_t slash = first.rfind('/');
  return slash == std::string::npos ? first : first.substr(slash + 1);
}

ServerUrl CrackServerUrl(const std::string& url) {
  ServerUrl result;
  size_t mark = url.find(kSchemeMark);
  if (mark == std::string::npos) return result;
  result.service = ServiceOf(url.substr(0, mark));
  const std::string rest = url.substr(mark + 3);
  if (result.service == UrlService::kFile) {
    result.object = CleanObject(FilePathOf(rest));
    return result;
  }
  size_t path_start = rest.find_first_of("/?");
  std::string authority = rest.substr(0, path_start);
  std::string object = path_start == std::string::npos ? std::string() : rest.substr(path_start);
  if (!object.empty() && object[0] == '?') object = "/" + object;

  // User information in the URL itself is not used: the entry carries the
  // user name and password separately.
  size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);

  result.port = DefaultPort(result.service);
  size_t bracket = authority.rfind(']');
  size_t colon = authority.rfind(':');
  if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
    const std::string port_text = authority.substr(colon + 1);
    authority.erase(colon);
    long port = ParseLeadingLong(port_text);
    if (port > 0 && port <= 65535) result.port = static_cast<int>(port);
  }
  result.server = authority;
  result.object = CleanObject(object);
  return result;
}

}  // namespace corvane
