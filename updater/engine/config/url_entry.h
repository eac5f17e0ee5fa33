// URL entries of the configuration files: a packed list "url0=...;;url1=..."
// whose entries are a URL, optionally followed by ",," user name and ",,"
// password, and the split of a URL into service, server, object and port.
#pragma once

#include <string>

#include "updater/engine/update_items.h"

namespace corvane {

struct UrlEntry {
  std::string url;  // scheme prefix + address
  std::string user;
  std::string password;
};

// Splits one entry. Every "\" becomes "/" and the entry is trimmed first. The
// URL must hold "://" with a non-empty scheme name before it and a non-empty
// address after it; otherwise the entry is unusable and false is returned.
bool SplitUrlEntry(const std::string& entry, UrlEntry* out);

// Reads the entries "url0" to "url9" of a packed list in order, stopping at
// the first absent or empty one, and appends the usable entries to `list`.
void AppendUrlEntries(const std::string& packed, UrlList* list);

// The install name a file item gets when "rename" is empty: the text after
// the last "/" of its first URL (empty for a URL ending in "/").
std::string DefaultInstallName(const UrlList& urls);

enum class UrlService { kUnknown, kHttp, kHttps, kFtp, kFile };

struct ServerUrl {
  UrlService service = UrlService::kUnknown;
  std::string server;  // host name, without user information or port
  std::string object;  // path (with query) for network URLs; a local or UNC path for file URLs
  int port = 0;        // the explicit port, or the scheme's default
};

// Splits a URL the way the transfer code needs it. For network URLs the
// object is the path from the first "/" after the host on (with any query).
// For "file://" URLs the object is a Windows path: "file:///C:/x" and
// "file://C:/x" give "C:\x", "file:////srv/share/x" and "file://srv/share/x"
// give "\\srv\share\x". In the object every "%20" becomes a blank and one
// trailing "\" or "/" is dropped.
ServerUrl CrackServerUrl(const std::string& url);

}  // namespace corvane
