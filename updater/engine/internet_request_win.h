// WinInet helpers shared by the engine's HTTP and FTP code.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

namespace corvane {

// Connect, send and receive time-outs (and the data time-outs) of a session
// or connection handle; handles opened from it inherit them.
void SetInternetTimeouts(HINTERNET handle, DWORD milliseconds);

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
