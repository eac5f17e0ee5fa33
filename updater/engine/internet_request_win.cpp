#include "updater/engine/internet_request_win.h"

#include <vector>

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
