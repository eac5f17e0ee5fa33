// The FTP fetch of the server-side configuration file. It is separate from
// the transfer engine's FTP downloads: it runs before any wizard page exists,
// uses its own short-lived session and reads the file as text.
#include <windows.h>
#include <wininet.h>

#include "updater/engine/config_fetch_win.h"
#include "updater/engine/update_check.h"
#include "updater/resource.h"
#include "win32/scoped_handles.h"

namespace corvane {

namespace {

constexpr int kConnectAttempts = 5;
constexpr DWORD kFtpTimeoutMs = 30000;
constexpr DWORD kPieceSize = 4096;

std::string SessionAgentName() {
  char title[256] = {};
  if (::LoadStringA(::GetModuleHandleA(nullptr), IDS_APP_TITLE, title, sizeof title) > 0) {
    return title;
  }
  return "AppUnknown";
}

void SetFtpTimeouts(HINTERNET session) {
  DWORD timeout = kFtpTimeoutMs;
  ::InternetSetOptionA(session, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
  ::InternetSetOptionA(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
  ::InternetSetOptionA(session, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
}

const char* OrNull(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

}  // namespace

std::string FetchFtpConfigText(UpdateLog& log, const ServerUrl& url, const std::string& user,
                               const std::string& password) {
  ScopedInternet session(::InternetOpenA(SessionAgentName().c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                         nullptr, nullptr, 0));
  if (!session) {
    log.Write("Cannot open an Internet Session. Please check your internet configuration.");
    return std::string();
  }

  log.Write("Connect FTP server.");
  ScopedInternet connection;
  if (!url.server.empty()) {
    for (int attempt = 0; attempt < kConnectAttempts && !connection; ++attempt) {
      SetFtpTimeouts(session.Get());
      connection.Reset(::InternetConnectA(session.Get(), url.server.c_str(),
                                          static_cast<INTERNET_PORT>(url.port), OrNull(user),
                                          OrNull(password), INTERNET_SERVICE_FTP, 0, 0));
    }
  }
  if (!connection) {
    log.Write(
        "Failed to connect FTP server. May be network problems or may be the user name "
        "(password) settings right.");
    return std::string();
  }

  const size_t slash = url.object.rfind('/');
  const std::string folder = slash == std::string::npos ? "/" : url.object.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? url.object : url.object.substr(slash + 1);
  log.Write("Set the current directory: " + folder);
  if (!::FtpSetCurrentDirectoryA(connection.Get(), folder.c_str())) return std::string();
  log.Write("Open file: " + name);
  ScopedInternet file(::FtpOpenFileA(connection.Get(), name.c_str(), GENERIC_READ,
                                     FTP_TRANSFER_TYPE_ASCII, 0));
  if (!file) return std::string();

  log.Write("Start download.");
  std::string text;
  char piece[kPieceSize];
  for (;;) {
    DWORD got = 0;
    // A failed read would leave half a configuration; none is better.
    if (!::InternetReadFile(file.Get(), piece, kPieceSize, &got)) return std::string();
    // A short piece is not the end: a read returns what the data connection
    // delivered so far. Only an empty read ends the file.
    if (got == 0) break;
    text.append(piece, got);
    if (text.size() > kMaxConfigTextBytes) return std::string();
  }
  return text;
}

}  // namespace corvane
