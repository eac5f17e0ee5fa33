// WinInet calls that a slow or hostile server could otherwise hold for ever:
// the wait for HTTP response headers, the FTP login, directory changes,
// listings, file opens, reads and closes. Each runs on a helper thread while
// the caller waits at most until its deadline, or until the cancel flag is
// set. A call given up on is abandoned: its handle is closed (which ends it
// where the platform allows), it finishes on its own thread touching only
// what the helper owns, and a handle it still produces is closed there.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "win32/scoped_handles.h"

namespace corvane {

// What one blocking call produced.
struct BlockingCallResult {
  BOOL ok = FALSE;
  DWORD error = 0;
  HINTERNET handle = nullptr;  // a handle the call opened (closed if abandoned)
  DWORD count = 0;             // bytes read
  std::vector<char> data;      // read buffer, owned by the helper
  WIN32_FIND_DATAA find{};
};

// Runs `call` (which fills the result it is given) and waits at most
// `deadline_ms` milliseconds, polling `cancel` (may be null). True with the
// call's result in `out`; false when the wait gave up, with
// ERROR_INTERNET_TIMEOUT or ERROR_CANCELLED as the last error. `call` must
// hold everything it uses by value: it may outlive the caller's frame.
bool RunBlockingCall(std::function<void(BlockingCallResult&)> call, DWORD deadline_ms,
                     const std::atomic<bool>* cancel, BlockingCallResult* out);

// HttpSendRequestA within the deadline; on giving up the request is closed.
bool SendHttpRequestBounded(ScopedInternet& request, const char* headers, DWORD deadline_ms,
                            const std::atomic<bool>* cancel);

// An FTP connection (login included), active mode; null when it failed or
// the deadline passed.
HINTERNET ConnectFtpBounded(HINTERNET session, const std::string& server, INTERNET_PORT port,
                            const std::string& user, const std::string& password,
                            DWORD deadline_ms, const std::atomic<bool>* cancel);
bool SetFtpDirectoryBounded(HINTERNET connection, const std::string& directory,
                            DWORD deadline_ms, const std::atomic<bool>* cancel);
HINTERNET OpenFtpFileBounded(HINTERNET connection, const std::string& name, DWORD flags,
                             DWORD_PTR context, DWORD deadline_ms,
                             const std::atomic<bool>* cancel);
// A command without a data connection ("REST 1000"); true when the server
// accepted it (a positive or intermediate reply).
bool FtpCommandBounded(HINTERNET connection, const std::string& command, DWORD deadline_ms,
                       const std::atomic<bool>* cancel);
// FtpFindFirstFileA of the current directory, always from the server.
HINTERNET FindFirstFtpFileBounded(HINTERNET connection, WIN32_FIND_DATAA* data,
                                  DWORD deadline_ms, const std::atomic<bool>* cancel);
// InternetReadFile of at most `size` bytes into `buffer`.
bool ReadInternetFileBounded(HINTERNET file, char* buffer, DWORD size, DWORD* read,
                             DWORD deadline_ms, const std::atomic<bool>* cancel);
// Reads one body on a helper thread that stays for the whole body: a read
// blocks until its buffer is full, which a server may put off for ever, so
// each read is waited for at most until its deadline; on a fast link a read
// costs only the hand-over. A read given up on is abandoned with the
// helper (the reader is then spent). Use from one thread.
class BoundedReader {
 public:
  explicit BoundedReader(HINTERNET handle);
  ~BoundedReader();
  BoundedReader(const BoundedReader&) = delete;
  BoundedReader& operator=(const BoundedReader&) = delete;

  // Reads at most `size` bytes into data(). False on a failed read, or
  // when the deadline passed (ERROR_INTERNET_TIMEOUT) or `cancel` was set
  // (ERROR_CANCELLED) before the read ended.
  bool Read(DWORD size, DWORD deadline_ms, const std::atomic<bool>* cancel, DWORD* read);
  const char* data() const;

  // What the reader and its helper share (the helper may outlive the reader).
  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
  ScopedHandle thread_;
  bool abandoned_ = false;
};

// Closing an FTP file waits for the server's closing reply; a server that
// holds it back is not waited for beyond the deadline.
void CloseInternetBounded(ScopedInternet& handle, DWORD deadline_ms);

}  // namespace corvane
