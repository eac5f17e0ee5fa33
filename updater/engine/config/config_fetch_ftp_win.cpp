// The FTP fetch of the server-side configuration file. It is separate from
// the transfer engine's FTP downloads: it runs before any wizard page exists,
// uses its own short-lived session and reads the file as text.
#include <windows.h>
#include <wininet.h>

#include "updater/engine/config/config_fetch_win.h"
#include "updater/engine/config/update_check.h"
#include "updater/engine/net/bounded_internet_win.h"
#include "updater/engine/net/internet_request_win.h"
#include "updater/engine/net/transfer_limits.h"
#include "updater/resource.h"
#include "win32/scoped_handles.h"

namespace corvane {

namespace {

constexpr int kConnectAttempts = 5;
constexpr DWORD kPieceSize = 4096;
constexpr DWORD kCloseTimeoutMs = 5000;

std::string SessionAgentName() {
  char title[256] = {};
  if (::LoadStringA(::GetModuleHandleA(nullptr), IDS_APP_TITLE, title, sizeof title) > 0) {
    return title;
  }
  return "AppUnknown";
}

}  // namespace

std::string FetchFtpConfigText(UpdateLog& log, const ServerUrl& url, const std::string& user,
                               const std::string& password, bool exact) {
  // Each exchange with the server is bounded on its own, and all of them
  // together by the budget: a server that answers slowly at every step
  // must not hold the start-up for minutes.
  const ConfigFetchBudget budget;
  ScopedInternet session(::InternetOpenA(SessionAgentName().c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                         nullptr, nullptr, 0));
  ScopedInternet connection;
  ScopedInternet file;
  // Closing waits for the server's last replies; a server that holds them
  // back is not waited for long.
  struct Closer {
    ScopedInternet& file;
    ScopedInternet& connection;
    ScopedInternet& session;
    ~Closer() {
      CloseInternetBounded(file, kCloseTimeoutMs);
      CloseInternetBounded(connection, kCloseTimeoutMs);
      CloseInternetBounded(session, kCloseTimeoutMs);
    }
  } closer{file, connection, session};
  if (!session) {
    log.Write("Cannot open an Internet Session. Please check your internet configuration.");
    return std::string();
  }

  log.Write("Connect FTP server.");
  if (!url.server.empty()) {
    for (int attempt = 0; attempt < kConnectAttempts && !connection; ++attempt) {
      if (budget.Left() <= 1) break;
      SetInternetTimeouts(session.Get(), budget.NextTimeout());
      connection.Reset(ConnectFtpBounded(session.Get(), url.server,
                                         static_cast<INTERNET_PORT>(url.port), user, password,
                                         budget.NextTimeout(), nullptr));
    }
  }
  if (!connection) {
    log.Write(
        "Failed to connect FTP server. May be network problems or may be the user name "
        "(password) settings right.");
    return std::string();
  }
  SetInternetTimeouts(connection.Get(), kConfigStepTimeoutMs);

  const size_t slash = url.object.rfind('/');
  const std::string folder = slash == std::string::npos ? "/" : url.object.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? url.object : url.object.substr(slash + 1);
  log.Write("Set the current directory: " + folder);
  if (!SetFtpDirectoryBounded(connection.Get(), folder, budget.NextTimeout(), nullptr)) {
    return std::string();
  }
  log.Write("Open file: " + name);
  file.Reset(OpenFtpFileBounded(connection.Get(), name,
                                exact ? FTP_TRANSFER_TYPE_BINARY : FTP_TRANSFER_TYPE_ASCII, 0,
                                         budget.NextTimeout(), nullptr));
  if (!file) return std::string();

  log.Write("Start download.");
  std::string text;
  char piece[kPieceSize];
  StallWindow stall(kConfigStepTimeoutMs);
  stall.Start(::GetTickCount64(), 0);
  for (;;) {
    DWORD got = 0;
    // A failed read would leave half a configuration; none is better. A
    // read the server holds back past the budget counts as failed.
    if (!ReadInternetFileBounded(file.Get(), piece, kPieceSize, &got, budget.NextTimeout(),
                                 nullptr)) {
      return std::string();
    }
    // A short piece is not the end: a read returns what the data connection
    // delivered so far. Only an empty read ends the file.
    if (got == 0) break;
    text.append(piece, got);
    if (text.size() > kMaxConfigTextBytes) return std::string();
    if (stall.Stalled(::GetTickCount64(), text.size()) || budget.Left() <= 1) {
      return std::string();
    }
  }
  return text;
}

}  // namespace corvane
