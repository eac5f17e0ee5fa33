// WinInet helpers shared by the engine's HTTP and FTP code.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
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
// whole request. The response headers as a whole must arrive within
// `timeout_ms` (a server that trickles them a line at a time fails with
// ERROR_INTERNET_TIMEOUT), and a set `cancel` flag ends the wait. Only HTTP
// and HTTPS URLs; anything else fails with ERROR_INTERNET_UNRECOGNIZED_SCHEME.
HttpRequest OpenHttpUrl(HINTERNET session, const std::string& url, const char* headers,
                        DWORD flags, DWORD_PTR context, DWORD timeout_ms,
                        const std::atomic<bool>* cancel = nullptr);

// Reads at most `size` bytes of an HTTP body without waiting for more than
// the server has delivered: the read asks first how much is there (waiting,
// within the receive time-out, for at least one byte). A slow link then
// returns small reads at once instead of one read blocking until `size`
// bytes came, so deadlines and cancel are checked between them.
bool ReadHttpAvailable(HINTERNET request, char* buffer, DWORD size, DWORD* read);

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
