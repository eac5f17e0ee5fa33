// The update check wired to the running updater: the local files in the
// updater's folder, "update.log" in the current folder, the information box,
// and the fetch of the server-side text by the URL's service type.
#include <windows.h>

#include "shared/archive_password.h"
#include "shared/cng_crypto_win.h"
#include "updater/engine/config/config_fetch_win.h"
#include "updater/engine/config/update_check.h"
#include "updater/engine/config/url_entry.h"
#include "updater/engine/net/http_text_fetcher_win.h"
#include "updater/engine/updater_app.h"
#include "win32/scoped_handles.h"

namespace corvane {

namespace {

// The configuration check waits at most this long for each piece of the
// answer; the server file is small, and the updater must not hang at start.
constexpr DWORD kConfigReceiveTimeoutMs = 100;

class AppNotices : public NoticeSink {
 public:
  void ShowNotice(const std::string& text) override { App().ShowInfoBox(text, nullptr); }
};

class WinConfigTextSource : public ConfigTextSource {
 public:
  explicit WinConfigTextSource(UpdateLog& log) : log_(log) {}

  std::string FetchConfigText(const std::string& url, const std::string& user,
                              const std::string& password) override {
    const ServerUrl parts = CrackServerUrl(url);
    switch (parts.service) {
      case UrlService::kFtp:
        return FetchFtpConfigText(log_, parts, user, password);
      case UrlService::kFile:
        return ReadLocalConfigText(log_, parts.object);
      default:
        return FetchHttpConfigText(log_, url);
    }
  }

  std::string FetchExactBytes(const std::string& url, const std::string& user,
                              const std::string& password) override {
    const ServerUrl parts = CrackServerUrl(url);
    switch (parts.service) {
      case UrlService::kFtp:
        return FetchFtpConfigText(log_, parts, user, password, true);
      case UrlService::kFile:
        return ReadLocalConfigBytes(log_, parts.object);
      default:
        // The body of an HTTP answer is taken as it comes already.
        return FetchHttpConfigText(log_, url);
    }
  }

 private:
  UpdateLog& log_;
};

}  // namespace

std::string ReadLocalConfigText(UpdateLog& log, const std::string& path) {
  const std::string bytes = ReadLocalConfigBytes(log, path);
  return bytes.empty() ? bytes : TextAsLines(bytes);
}

std::string ReadLocalConfigBytes(UpdateLog& log, const std::string& path) {
  ScopedFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !::GetFileSizeEx(file.Get(), &size) ||
      size.QuadPart > static_cast<LONGLONG>(kMaxConfigTextBytes)) {
    log.Write("Failed to read the file: " + path);
    return std::string();
  }
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  size_t filled = 0;
  while (filled < bytes.size()) {
    DWORD got = 0;
    if (!::ReadFile(file.Get(), &bytes[filled], static_cast<DWORD>(bytes.size() - filled), &got,
                    nullptr)) {
      log.Write("Failed to read the file: " + path);
      return std::string();
    }
    if (got == 0) break;
    filled += got;
  }
  bytes.resize(filled);
  return bytes;
}

std::string FetchHttpConfigText(UpdateLog& log, const std::string& url) {
  ConfigFetchBudget budget;
  std::string error;
  // A server that ignores the status check's range answers it with the
  // whole file: that answer is the text, and the server is not asked twice.
  HttpWholeAnswer whole;
  if (!CheckHttpStatus(url, &error, budget.NextTimeout(), &whole)) {
    if (!error.empty()) log.Write(error);
    return std::string();
  }
  HttpTextFetcher fetcher;
  fetcher.SetReceiveTimeout(kConfigReceiveTimeoutMs);
  fetcher.SetConnectionTimeout(budget.NextTimeout());
  fetcher.SetDeadline(budget.Left());
  std::string text;
  const bool fetched = whole.request ? fetcher.ReadWholeAnswer(url, &whole, &text)
                                     : fetcher.FetchHttpText(url, &text);
  if (!fetched) return std::string();
  // An error page that slipped past the status check (a 503 of an overloaded
  // server, say) is not a configuration: taking it for one would report "no
  // new version" where the check really failed.
  if (fetcher.status_code() >= 400) return std::string();
  return text;
}

bool UpdaterApp::ReadConfiguration() {
  AppNotices notices;
  WinConfigTextSource source(log);
  UpdateCheck check(run, log, run.local_config, source, notices);
  CheckSetup setup;
  setup.preview = run_mode == RunPreview;
  setup.updater_version = file_version;
  setup.directory_constants = &directory_constants;
  setup.log_path = "update.log";
  setup.archive_password = ArchivePassword();
  CngVerifier verifier;
  setup.verifier = &verifier;
  CngRandom random;
  setup.random = &random;
  const DiskFolder local(folder);
  return check.ReadConfiguration(local, setup);
}

bool UpdaterApp::MarkNewItems() {
  AppNotices notices;
  WinConfigTextSource source(log);
  UpdateCheck check(run, log, run.local_config, source, notices);
  return check.MarkNewItems();
}

}  // namespace corvane
