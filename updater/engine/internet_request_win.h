// WinInet helpers shared by the engine's HTTP and FTP code.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

#include "win32/scoped_handles.h"

namespace corvane {

// Connect, send and receive time-outs (and the data time-outs) of a session
// or connection handle; handles opened from it inherit them.
void SetInternetTimeouts(HINTERNET handle, DWORD milliseconds);

// An HTTP or HTTPS GET request with its connection. The request is released
// before its connection (members are destroyed in reverse order).
struct HttpRequest {
  ScopedInternet connection;
  ScopedInternet request;
  HINTERNET Get() const { return request.Get(); }
  explicit operator bool() const { return request.Valid(); }
  void Close() {
    request.Reset();
    connection.Reset();
  }
};

// Opens `url` as InternetOpenUrl does (same headers, flags and context),
// but through an explicit connection so that the time-outs hold for the
// whole request, the wait for the response headers included. Only HTTP and
// HTTPS URLs; anything else fails with ERROR_INTERNET_UNRECOGNIZED_SCHEME.
HttpRequest OpenHttpUrl(HINTERNET session, const std::string& url, const char* headers,
                        DWORD flags, DWORD_PTR context, DWORD timeout_ms);

// The URL a request finally answered from, after redirects; empty when the
// platform cannot tell.
std::string FinalUrlOf(HINTERNET request);

// A numeric HTTP header or status query.
bool QueryHttpNumber(HINTERNET request, DWORD info_level, DWORD* value);

// The raw response headers of a request ("\r\n"-separated).
std::string QueryRawHeaders(HINTERNET request);

// The application's title from the string resources ("update"), or
// "AppUnknown" when the module has none.
std::string ApplicationTitle();

// The text of a WinInet or system error code, at most 255 characters.
std::string InternetErrorText(DWORD error);

}  // namespace corvane
