// Fetching the server-side configuration text on Windows, one function per
// kind of source. Each returns the text, or an empty string on failure after
// writing its own log lines.
#pragma once

#include <windows.h>

#include <string>

#include "updater/engine/config/url_entry.h"
#include "updater/engine/update_log.h"

namespace corvane {

// The start-up waits for the server-side file of one URL at most about this
// long, whatever the server does: the host is waiting for the result, and
// every later start of the installation waits for this one.
constexpr DWORD kConfigFetchBudgetMs = 60000;
// Connect, send and receive time-out of each step of the fetch.
constexpr DWORD kConfigStepTimeoutMs = 30000;

// The time left of one URL's budget, taken when the fetch starts.
class ConfigFetchBudget {
 public:
  ConfigFetchBudget() : end_(::GetTickCount64() + kConfigFetchBudgetMs) {}
  // Milliseconds left, at least 1 (a spent budget still fails promptly).
  DWORD Left() const {
    const ULONGLONG now = ::GetTickCount64();
    return now >= end_ ? 1 : static_cast<DWORD>(end_ - now);
  }
  // The time-out of the next step: the step time-out, or less near the end.
  DWORD NextTimeout() const {
    const DWORD left = Left();
    return left < kConfigStepTimeoutMs ? left : kConfigStepTimeoutMs;
  }

 private:
  ULONGLONG end_;
};

// FTP: connects (five tries), changes to the file's folder and reads the file
// in ASCII mode, or in binary mode when `exact` (a signed file must arrive
// byte for byte).
std::string FetchFtpConfigText(UpdateLog& log, const ServerUrl& url, const std::string& user,
                               const std::string& password, bool exact = false);

// A local or network file, read line by line.
std::string ReadLocalConfigText(UpdateLog& log, const std::string& path);
// The same file byte for byte.
std::string ReadLocalConfigBytes(UpdateLog& log, const std::string& path);

// HTTP or HTTPS: the status check, then the whole body.
std::string FetchHttpConfigText(UpdateLog& log, const std::string& url);

}  // namespace corvane
