// Fetching the server-side configuration text on Windows, one function per
// kind of source. Each returns the text, or an empty string on failure after
// writing its own log lines.
#pragma once

#include <string>

#include "updater/engine/update_log.h"
#include "updater/engine/url_entry.h"

namespace corvane {

// FTP: connects (five tries), changes to the file's folder and reads the file
// in ASCII mode.
std::string FetchFtpConfigText(UpdateLog& log, const ServerUrl& url, const std::string& user,
                               const std::string& password);

// A local or network file, read line by line.
std::string ReadLocalConfigText(UpdateLog& log, const std::string& path);

// HTTP or HTTPS: the status check, then the whole body.
std::string FetchHttpConfigText(UpdateLog& log, const std::string& url);

}  // namespace corvane
