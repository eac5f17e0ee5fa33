#include "updater/engine/net/http_text_fetcher_win.h"

#include <vector>

#include "shared/text_util.h"
#include "updater/engine/net/bounded_internet_win.h"
#include "updater/engine/net/internet_request_win.h"
#include "updater/engine/net/transfer_limits.h"

namespace corvane {

namespace {

// The Chinese progress texts of the fetcher, kept in the GBK code page like
// the program's other 8-bit texts of that language:
//   "已读%d字节数(%0.1f Kb/s)"  and  "已读%d字节数"
const char kReadBytesAndRate[] =
    "\xD2\xD1\xB6\xC1" "%d" "\xD7\xD6\xBD\xDA\xCA\xFD" "(%0.1f Kb/s)";
const char kReadBytes[] = "\xD2\xD1\xB6\xC1" "%d" "\xD7\xD6\xBD\xDA\xCA\xFD";

// Never answered from the cache: a stale status would hide a removed file.
// The download's own flags: a whole answer to the probe may serve as the
// download (HttpWholeAnswer).
constexpr DWORD kStatusCheckFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_PRAGMA_NOCACHE;

// The probe wants the status line only, but a GET answers with the whole
// body, and closing the request unread makes the platform read (and throw
// away) that body to keep the connection: the probe of a large file would
// cost a second download. Asking for the first byte keeps it a GET, so the
// server answers the same status as for the download (a HEAD may be refused
// or answered differently), while a server that honours ranges sends one
// byte. One that ignores the header answers as it always did.
const char kFirstByteOnly[] = "Range: bytes=0-0\r\n";

}  // namespace

bool CheckHttpStatus(const std::string& url, std::string* error_text, DWORD timeout_ms,
                     HttpWholeAnswer* whole) {
  std::string ignored;
  std::string& error = error_text ? *error_text : ignored;
  error.clear();
  ScopedInternet session(
      ::InternetOpenA("Agent", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return false;
  SetInternetTimeouts(session.Get(), timeout_ms);
  HttpRequest request =
      OpenHttpUrl(session.Get(), url, kFirstByteOnly, kStatusCheckFlags, 1, timeout_ms);
  if (!request) return false;
  DWORD status = 0;
  if (!QueryHttpNumber(request.Get(), HTTP_QUERY_STATUS_CODE, &status)) return false;
  const std::string final_url = FinalUrlOf(request.Get());
  if (!IsAcceptableFinalUrl(url, final_url)) {
    error = "Redirect refused: " + final_url;
    return false;
  }
  error = HttpStatusErrorText(static_cast<long>(status));
  DWORD length = 0;
  if (error.empty() && whole && status == 200 &&
      QueryHttpNumber(request.Get(), HTTP_QUERY_CONTENT_LENGTH, &length) && length > 1) {
    whole->session = std::move(session);
    whole->request = std::move(request);
  }
  return error.empty();
}

HttpTextFetcher::~HttpTextFetcher() { CloseSession(); }

void HttpTextFetcher::CloseSession() {
  if (session_) ::InternetSetStatusCallbackA(session_.Get(), nullptr);
  session_.Reset();
}

void CALLBACK HttpTextFetcher::StatusCallback(HINTERNET, DWORD_PTR context, DWORD status,
                                              LPVOID info, DWORD info_length) {
  // The request context is the fetcher itself; session-level notifications
  // carry no context and are of no interest.
  if (context == 0) return;
  reinterpret_cast<HttpTextFetcher*>(context)->OnStatus(status, info, info_length);
}

void HttpTextFetcher::OnStatus(DWORD status, const void* info, DWORD info_length) {
  auto info_text = [&]() {
    if (!info || info_length == 0) return std::string();
    const char* text = static_cast<const char*>(info);
    size_t length = 0;
    while (length < info_length && text[length]) ++length;
    return std::string(text, length);
  };
  switch (status) {
    case INTERNET_STATUS_RESOLVING_NAME:
      SetStatusText("Resolving name for " + info_text());
      break;
    case INTERNET_STATUS_NAME_RESOLVED:
      SetStatusText("Resolved name for " + info_text());
      break;
    case INTERNET_STATUS_CONNECTING_TO_SERVER:
      SetStatusText("Connecting to socket address ");
      break;
    case INTERNET_STATUS_CONNECTED_TO_SERVER:
      SetStatusText("Connected to socket address");
      break;
    case INTERNET_STATUS_SENDING_REQUEST:
      SetStatusText("Sending request...");
      break;
    case INTERNET_STATUS_REQUEST_SENT:
      SetStatusText("Request sent");
      break;
    case INTERNET_STATUS_RESPONSE_RECEIVED:
      SetStatusText("Response received");
      break;
    case INTERNET_STATUS_CLOSING_CONNECTION:
      SetStatusText("Closing the connection to the server");
      break;
    case INTERNET_STATUS_CONNECTION_CLOSED:
      SetStatusText("Connection to the server closed");
      break;
    case INTERNET_STATUS_HANDLE_CREATED:
      SetStatusText(std::string());
      break;
    case INTERNET_STATUS_REQUEST_COMPLETE:
      if (info && info_length == 8) {
        const DWORD* result = static_cast<const DWORD*>(info);
        SetStatusText(Format("Request complete, dwResult = %8.8lX, dwError = %8.8lX",
                             static_cast<unsigned long>(result[0]),
                             static_cast<unsigned long>(result[1])));
      } else {
        SetStatusText("Request complete");
      }
      break;
    case INTERNET_STATUS_RECEIVING_RESPONSE:
    case INTERNET_STATUS_HANDLE_CLOSING:
      break;
    default:
      SetStatusText(Format("Unknown status: %d", static_cast<int>(status)));
      break;
  }
}

void HttpTextFetcher::SetStatusText(const std::string& text) {
  status_text_ = text;
  if (status_window_) {
    ::SetWindowTextA(status_window_, text.c_str());
    ::UpdateWindow(status_window_);
  }
}

void HttpTextFetcher::StoreLastError() {
  error_text_ = InternetErrorText(::GetLastError());
  SetStatusText(error_text_);
}

bool HttpTextFetcher::EnsureSession() {
  if (session_) return true;
  session_.Reset(::InternetOpenA(ApplicationTitle().c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                 nullptr, nullptr, 0));
  if (!session_) return false;
  ::InternetSetStatusCallbackA(session_.Get(), &HttpTextFetcher::StatusCallback);
  ApplyTimeouts(session_.Get());
  return true;
}

void HttpTextFetcher::ApplyTimeouts(HINTERNET handle) const {
  SetInternetTimeouts(handle, connection_timeout_ms_);
  if (receive_timeout_ms_ != 0) {
    DWORD value = receive_timeout_ms_;
    ::InternetSetOptionA(handle, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &value, sizeof(value));
  }
}

bool HttpTextFetcher::FetchHttpText(const std::string& url, std::string* text) {
  error_text_.clear();
  status_code_ = 0;
  raw_headers_.clear();
  text->clear();
  if (!EnsureSession()) {
    StoreLastError();
    return false;
  }
  const ULONGLONG started_ms = ::GetTickCount64();
  DWORD header_timeout = connection_timeout_ms_;
  if (deadline_ms_ != 0 && deadline_ms_ < header_timeout) header_timeout = deadline_ms_;
  HttpRequest request = OpenHttpUrl(session_.Get(), url, nullptr, INTERNET_FLAG_TRANSFER_BINARY,
                                    reinterpret_cast<DWORD_PTR>(this), header_timeout);
  if (!request) {
    const DWORD error = ::GetLastError();
    SetStatusText(std::string());
    if (error != 0) {
      ::SetLastError(error);
      StoreLastError();
    }
    return false;
  }
  return ReadAnswer(url, request, started_ms, text);
}

bool HttpTextFetcher::ReadWholeAnswer(const std::string& url, HttpWholeAnswer* answer,
                                      std::string* text) {
  error_text_.clear();
  status_code_ = 0;
  raw_headers_.clear();
  text->clear();
  CloseSession();
  session_ = std::move(answer->session);
  HttpRequest request = std::move(answer->request);
  if (!session_ || !request) return false;
  ApplyTimeouts(session_.Get());
  ApplyTimeouts(request.Get());
  return ReadAnswer(url, request, ::GetTickCount64(), text);
}

bool HttpTextFetcher::ReadAnswer(const std::string& url, HttpRequest& request,
                                 ULONGLONG started_ms, std::string* text) {
  const DWORD started = ::GetTickCount();
  DWORD status = 0;
  if (QueryHttpNumber(request.Get(), HTTP_QUERY_STATUS_CODE, &status)) status_code_ = status;
  raw_headers_ = QueryRawHeaders(request.Get());
  if (!IsAcceptableFinalUrl(url, FinalUrlOf(request.Get()))) {
    error_text_ = "Redirect refused: " + FinalUrlOf(request.Get());
    SetStatusText(error_text_);
    return false;
  }
  DWORD announced = 0;
  const bool has_length = QueryHttpNumber(request.Get(), HTTP_QUERY_CONTENT_LENGTH, &announced);
  if (has_length && announced > kMaxTextBytes) {
    error_text_ = "The configuration file is too large.";
    SetStatusText(error_text_);
    return false;
  }

  // Each piece must come within the time-out (and within what is left of
  // the deadline): a server that trickles the body is given up on.
  constexpr DWORD kPiece = 4095;
  BoundedReader reader(request.Get());
  StallWindow stall(connection_timeout_ms_);
  stall.Start(::GetTickCount64(), 0);
  for (;;) {
    DWORD read = 0;
    DWORD piece_timeout = connection_timeout_ms_;
    if (deadline_ms_ != 0) {
      const ULONGLONG spent = ::GetTickCount64() - started_ms;
      const DWORD left = spent >= deadline_ms_ ? 1 : static_cast<DWORD>(deadline_ms_ - spent);
      if (left < piece_timeout) piece_timeout = left;
    }
    if (!reader.Read(kPiece, piece_timeout, nullptr, &read)) {
      // A read given up on goes on without this fetcher: it must not
      // report to it any more.
      const DWORD error = ::GetLastError();
      ::InternetSetStatusCallbackA(request.Get(), nullptr);
      ::SetLastError(error);
      StoreLastError();
      text->clear();
      return false;
    }
    const char* piece = reader.data();
    const ULONGLONG now = ::GetTickCount64();
    if (stall.Stalled(now, text->size() + read) ||
        (deadline_ms_ != 0 && now - started_ms >= deadline_ms_)) {
      ::SetLastError(ERROR_INTERNET_TIMEOUT);
      StoreLastError();
      text->clear();
      return false;
    }
    if (read == 0) break;
    if (text->size() + read > kMaxTextBytes) {
      error_text_ = "The configuration file is too large.";
      SetStatusText(error_text_);
      text->clear();
      return false;
    }
    text->append(piece, read);
    const DWORD seconds = (::GetTickCount() - started) / 1000;
    const int bytes = static_cast<int>(text->size());
    if (seconds > 0) {
      rate_ = static_cast<double>(text->size()) / 1024.0 / seconds;
      SetStatusText(Format(kReadBytesAndRate, bytes, rate_));
    } else {
      rate_ = static_cast<double>(text->size());
      SetStatusText(Format(kReadBytes, bytes));
    }
  }
  if (has_length && text->size() != announced) {
    // The connection ended before the announced length: a truncated
    // configuration must not be parsed as if it were whole.
    error_text_ = "The connection was closed before the whole file arrived.";
    SetStatusText(error_text_);
    text->clear();
    return false;
  }
  request.Close();
  SetStatusText(std::string());
  return true;
}

}  // namespace corvane
