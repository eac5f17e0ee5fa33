// Dotted decimal versions ("1.10", "2.0.1"), compared part by part.
#pragma once

#include <string>

namespace corvane {

// True when `server_version` is newer than `local_version`. Missing local
// parts count as 0; local parts beyond the server's length are ignored.
bool CompareVersions(const std::string& server_version, const std::string& local_version);

}  // namespace corvane
