#include "updater/engine/net/internet_request_win.h"

#include <vector>

#include "updater/engine/net/bounded_internet_win.h"

#include "updater/resource.h"

namespace corvane {

void SetInternetTimeouts(HINTERNET handle, DWORD milliseconds) {
  if (!handle || milliseconds == 0) return;
  const DWORD options[] = {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                           INTERNET_OPTION_RECEIVE_TIMEOUT};
  for (DWORD option : options) {
    DWORD value = milliseconds;
    ::InternetSetOptionA(handle, option, &value, sizeof(value));
  }
}

HttpRequest OpenHttpUrl(HINTERNET session, const std::string& url, const char* headers,
                        DWORD flags, DWORD_PTR context, DWORD timeout_ms,
                        const std::atomic<bool>* cancel) {
  HttpRequest result;
  char scheme[16] = {}, host[INTERNET_MAX_HOST_NAME_LENGTH] = {};
  char user[256] = {}, password[256] = {};
  std::vector<char> path(url.size() + 2, '\0'), extra(url.size() + 2, '\0');
  URL_COMPONENTSA parts{};
  parts.dwStructSize = sizeof(parts);
  parts.lpszScheme = scheme;
  parts.dwSchemeLength = sizeof(scheme);
  parts.lpszHostName = host;
  parts.dwHostNameLength = sizeof(host);
  parts.lpszUserName = user;
  parts.dwUserNameLength = sizeof(user);
  parts.lpszPassword = password;
  parts.dwPasswordLength = sizeof(password);
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = static_cast<DWORD>(path.size());
  parts.lpszExtraInfo = extra.data();
  parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
  if (!::InternetCrackUrlA(url.c_str(), 0, 0, &parts)) return result;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
    ::SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    return result;
  }
  result.connection.Reset(::InternetConnectA(session, host, parts.nPort,
                                             user[0] ? user : nullptr,
                                             password[0] ? password : nullptr,
                                             INTERNET_SERVICE_HTTP, 0, context));
  if (!result.connection) return result;
  SetInternetTimeouts(result.connection.Get(), timeout_ms);
  std::string object = std::string(path.data()) + extra.data();
  if (object.empty()) object = "/";
  const char* accept[] = {"*/*", nullptr};
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  result.request.Reset(::HttpOpenRequestA(result.connection.Get(), "GET", object.c_str(), nullptr,
                                          nullptr, accept, flags, context));
  if (!result.request) return result;
  SetInternetTimeouts(result.request.Get(), timeout_ms);
  // The time-outs hold per network operation only; a server that sends a
  // header line now and then would keep the request open for ever.
  if (!SendHttpRequestBounded(result.request, headers, timeout_ms, cancel)) {
    const DWORD error = ::GetLastError();
    result.Close();
    ::SetLastError(error);
  }
  return result;
}

bool ReadHttpAvailable(HINTERNET request, char* buffer, DWORD size, DWORD* read) {
  *read = 0;
  DWORD available = 0;
  if (!::InternetQueryDataAvailable(request, &available, 0, 0)) return false;
  // Nothing available means the end of the body: the read then says so.
  DWORD wanted = available == 0 ? 1 : available;
  if (wanted > size) wanted = size;
  return ::InternetReadFile(request, buffer, wanted, read) != FALSE;
}

std::string FinalUrlOf(HINTERNET request) {
  DWORD size = 0;
  ::InternetQueryOptionA(request, INTERNET_OPTION_URL, nullptr, &size);
  if (size == 0) return std::string();
  std::vector<char> url(size + 1, '\0');
  if (!::InternetQueryOptionA(request, INTERNET_OPTION_URL, url.data(), &size)) {
    return std::string();
  }
  return std::string(url.data());
}

bool QueryHttpNumber(HINTERNET request, DWORD info_level, DWORD* value) {
  DWORD number = 0;
  DWORD size = sizeof(number);
  if (!::HttpQueryInfoA(request, info_level | HTTP_QUERY_FLAG_NUMBER, &number, &size, nullptr)) {
    return false;
  }
  *value = number;
  return true;
}

std::string QueryRawHeaders(HINTERNET request) {
  DWORD size = 0;
  ::HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &size, nullptr);
  if (size == 0) return std::string();
  std::vector<char> headers(size + 1, '\0');
  if (!::HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, headers.data(), &size, nullptr)) {
    return std::string();
  }
  return std::string(headers.data(), size);
}

std::string ApplicationTitle() {
  char title[256] = {};
  const int length = ::LoadStringA(::GetModuleHandleA(nullptr), IDS_APP_TITLE, title,
                                   static_cast<int>(sizeof(title)));
  if (length <= 0) return "AppUnknown";
  return std::string(title, static_cast<size_t>(length));
}

std::string InternetErrorText(DWORD error) {
  char text[256] = {};
  DWORD length = 0;
  if (error >= INTERNET_ERROR_BASE && error <= INTERNET_ERROR_LAST) {
    length = ::FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                              ::GetModuleHandleA("wininet.dll"), error, 0, text,
                              sizeof(text) - 1, nullptr);
  } else {
    length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                              error, 0, text, sizeof(text) - 1, nullptr);
  }
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                              message.back() == ' ')) {
    message.pop_back();
  }
  if (message.empty()) {
    char fallback[64];
    wsprintfA(fallback, "Internet error %lu", error);
    message = fallback;
  }
  if (message.size() > 255) message.resize(255);
  return message;
}

}  // namespace corvane
