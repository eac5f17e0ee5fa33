// The two HTTP probes used before any file is transferred: the status check
// of a URL and the fetcher that reads a whole (small) HTTP response into a
// string, used for the server-side configuration file.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <string>

#include "updater/engine/net/internet_request_win.h"
#include "win32/scoped_handles.h"

namespace corvane {

// Connect, send and receive time-out of the engine's HTTP and FTP handles: a
// server that stops answering ends the operation instead of hanging it.
constexpr DWORD kTransferTimeoutMs = 30000;

// Probes an HTTP or HTTPS URL. Returns false with an empty `error_text` when
// the server could not be reached or the status could not be read; false with
// a text such as "Http error 404: Not Found" for the codes of the engine's
// error table; true (empty text) for every other status, 302 and 503
// included. `error_text` may be null. `timeout_ms` exists for tests.
//
// A server that ignores the probe's request for the first byte answers with
// the whole file, and closing that answer unread makes the platform read
// the body to the end to keep the connection. With `whole` given, such an
// answer (200 with a length) is kept there, open, for DownloadHttp or
// HttpTextFetcher::ReadWholeAnswer to read instead of asking again.
struct HttpWholeAnswer {
  ScopedInternet session;
  HttpRequest request;
};
bool CheckHttpStatus(const std::string& url, std::string* error_text,
                     DWORD timeout_ms = kTransferTimeoutMs, HttpWholeAnswer* whole = nullptr);

// Reads an HTTP or HTTPS URL into a text string, with status texts for an
// optional status window. Owns its Internet session (created on first use,
// kept until CloseSession or destruction). Use from one thread at a time.
class HttpTextFetcher {
 public:
  // A configuration text larger than this is refused rather than held in
  // memory; the fetch then fails.
  static constexpr size_t kMaxTextBytes = 4u << 20;

  HttpTextFetcher() = default;
  ~HttpTextFetcher();
  HttpTextFetcher(const HttpTextFetcher&) = delete;
  HttpTextFetcher& operator=(const HttpTextFetcher&) = delete;

  // Data-receive time-out in milliseconds applied when the session is
  // created; 0 leaves the platform default. The update check uses 100.
  void SetReceiveTimeout(DWORD milliseconds) { receive_timeout_ms_ = milliseconds; }
  // A text control that shows the status text while fetching (optional).
  void SetStatusWindow(HWND window) { status_window_ = window; }
  // Connect/send/receive time-out of the session's connections (tests
  // shorten it); applied when the session is created. The response headers
  // as a whole must arrive within it, and the body must deliver at least
  // StallWindow's minimum in every such window.
  void SetConnectionTimeout(DWORD milliseconds) { connection_timeout_ms_ = milliseconds; }
  // The whole fetch, headers and body, ends within this many milliseconds
  // (0 = no bound beyond the time-out rules above): a body that keeps
  // trickling just fast enough must not hold the caller either.
  void SetDeadline(DWORD milliseconds) { deadline_ms_ = milliseconds; }

  // Fetches the whole body of `url` into `text`. Returns true when the body
  // was read to its end; false (and an empty `text`) when the URL could not
  // be opened, a read failed, the body was cut short of its Content-Length,
  // an HTTPS URL was redirected to a non-HTTPS one, the body exceeded
  // kMaxTextBytes, or the server was too slow (see the time-outs above). After a response, status_code() and raw_headers() tell
  // what the server answered (a 404 page is still a body).
  bool FetchHttpText(const std::string& url, std::string* text);
  // The same for the whole answer that CheckHttpStatus kept open: its body
  // is the text, read under this fetcher's time-outs, without asking the
  // server again. The fetcher takes the answer's session as its own.
  bool ReadWholeAnswer(const std::string& url, HttpWholeAnswer* answer, std::string* text);

  // Closes and discards the session; the next fetch opens a new one.
  void CloseSession();

  const std::string& status_text() const { return status_text_; }
  const std::string& error_text() const { return error_text_; }
  DWORD status_code() const { return status_code_; }
  const std::string& raw_headers() const { return raw_headers_; }
  // KB/s of the last fetch once a whole second had passed; before that, the
  // byte count.
  double rate() const { return rate_; }

 private:
  static void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status,
                                      LPVOID info, DWORD info_length);
  void OnStatus(DWORD status, const void* info, DWORD info_length);
  void SetStatusText(const std::string& text);
  bool EnsureSession();
  // This fetcher's connection and data-receive time-outs on `handle`.
  void ApplyTimeouts(HINTERNET handle) const;
  // The rest of a fetch once `request` has its answer's headers.
  bool ReadAnswer(const std::string& url, HttpRequest& request, ULONGLONG started_ms,
                  std::string* text);
  void StoreLastError();

  ScopedInternet session_;
  DWORD receive_timeout_ms_ = 0;
  DWORD connection_timeout_ms_ = kTransferTimeoutMs;
  DWORD deadline_ms_ = 0;
  HWND status_window_ = nullptr;
  std::string status_text_;
  std::string error_text_;
  DWORD status_code_ = 0;
  std::string raw_headers_;
  double rate_ = 0.0;
};

}  // namespace corvane
