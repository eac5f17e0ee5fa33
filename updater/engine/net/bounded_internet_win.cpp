#include "updater/engine/net/bounded_internet_win.h"

#include <memory>
#include <utility>

namespace corvane {

namespace {

// How often a waiting caller looks at the cancel flag.
constexpr DWORD kCancelPollMs = 50;
// The helpers only wait in the platform; they need little stack.
constexpr SIZE_T kHelperStack = 64 * 1024;

// Waits for `handle` while answering messages that other threads send to
// this thread's windows: a status callback on the helper may set the text
// of a window this thread owns, and would otherwise wait for the caller
// that waits for it.
bool WaitAnsweringSent(HANDLE handle, DWORD milliseconds) {
  const ULONGLONG end = ::GetTickCount64() + milliseconds;
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    const DWORD left = now >= end ? 0 : static_cast<DWORD>(end - now);
    const DWORD result = ::MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_SENDMESSAGE);
    if (result == WAIT_OBJECT_0) return true;
    if (result != WAIT_OBJECT_0 + 1) return false;
    MSG msg;
    ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

enum CallState : LONG { kRunning = 0, kDone = 1, kAbandoned = 2 };

struct CallContext {
  std::function<void(BlockingCallResult&)> call;
  BlockingCallResult result;
  volatile LONG state = kRunning;
};

DWORD WINAPI CallThread(void* param) {
  std::unique_ptr<std::shared_ptr<CallContext>> holder(
      static_cast<std::shared_ptr<CallContext>*>(param));
  CallContext& context = **holder;
  context.call(context.result);
  // Nobody will take a handle opened after the caller gave up: close it.
  if (::InterlockedCompareExchange(&context.state, kDone, kRunning) == kAbandoned &&
      context.result.handle) {
    ::InternetCloseHandle(context.result.handle);
    context.result.handle = nullptr;
  }
  return 0;
}

}  // namespace

bool RunBlockingCall(std::function<void(BlockingCallResult&)> call, DWORD deadline_ms,
                     const std::atomic<bool>* cancel, BlockingCallResult* out) {
  // Not make_shared: without run-time type information it needs the C++
  // runtime's shared_ptr support, which brings the POSIX threads layer.
  std::shared_ptr<CallContext> context(new CallContext());
  context->call = std::move(call);
  auto* param = new std::shared_ptr<CallContext>(context);
  ScopedHandle thread(::CreateThread(nullptr, kHelperStack, &CallThread, param,
                                     STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  if (!thread) {
    // No helper to be had: the call runs here, bounded only by the
    // platform's own time-outs.
    delete param;
    context->call(context->result);
    *out = std::move(context->result);
    return true;
  }
  const ULONGLONG end = ::GetTickCount64() + deadline_ms;
  DWORD give_up_error = ERROR_INTERNET_TIMEOUT;
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    const DWORD left = now >= end ? 0 : static_cast<DWORD>(end - now);
    const DWORD slice = cancel ? (left < kCancelPollMs ? left : kCancelPollMs) : left;
    if (WaitAnsweringSent(thread.Get(), slice)) break;
    if (cancel && cancel->load()) {
      give_up_error = ERROR_CANCELLED;
    } else if (::GetTickCount64() < end) {
      continue;
    }
    if (::InterlockedCompareExchange(&context->state, kAbandoned, kRunning) == kDone) {
      // Finished just now: take its result after all.
      ::WaitForSingleObject(thread.Get(), INFINITE);
      break;
    }
    ::SetLastError(give_up_error);
    return false;
  }
  *out = std::move(context->result);
  return true;
}

bool SendHttpRequestBounded(ScopedInternet& request, const char* headers, DWORD deadline_ms,
                            const std::atomic<bool>* cancel) {
  const HINTERNET handle = request.Get();
  const std::string header_text = headers ? headers : "";
  const bool has_headers = headers != nullptr;
  BlockingCallResult result;
  const bool finished = RunBlockingCall(
      [handle, header_text, has_headers](BlockingCallResult& r) {
        r.ok = ::HttpSendRequestA(handle, has_headers ? header_text.c_str() : nullptr,
                                  has_headers ? static_cast<DWORD>(-1) : 0, nullptr, 0);
        r.error = r.ok ? 0 : ::GetLastError();
      },
      deadline_ms, cancel, &result);
  if (!finished) {
    const DWORD error = ::GetLastError();
    // The abandoned call may still report progress after its owner is
    // gone; closing the request ends the wait where the platform allows it.
    ::InternetSetStatusCallbackA(handle, nullptr);
    request.Reset();
    ::SetLastError(error);
    return false;
  }
  if (!result.ok) ::SetLastError(result.error);
  return result.ok != FALSE;
}

HINTERNET ConnectFtpBounded(HINTERNET session, const std::string& server, INTERNET_PORT port,
                            const std::string& user, const std::string& password,
                            DWORD deadline_ms, const std::atomic<bool>* cancel) {
  BlockingCallResult result;
  const bool finished = RunBlockingCall(
      [session, server, port, user, password](BlockingCallResult& r) {
        r.handle = ::InternetConnectA(session, server.c_str(), port,
                                      user.empty() ? nullptr : user.c_str(),
                                      user.empty() ? nullptr : password.c_str(),
                                      INTERNET_SERVICE_FTP, 0 /* active mode */, 0);
        r.error = r.handle ? 0 : ::GetLastError();
      },
      deadline_ms, cancel, &result);
  if (!finished) return nullptr;
  if (!result.handle) ::SetLastError(result.error);
  return result.handle;
}

bool SetFtpDirectoryBounded(HINTERNET connection, const std::string& directory,
                            DWORD deadline_ms, const std::atomic<bool>* cancel) {
  BlockingCallResult result;
  const bool finished = RunBlockingCall(
      [connection, directory](BlockingCallResult& r) {
        r.ok = ::FtpSetCurrentDirectoryA(connection, directory.c_str());
        r.error = r.ok ? 0 : ::GetLastError();
      },
      deadline_ms, cancel, &result);
  if (!finished) return false;
  if (!result.ok) ::SetLastError(result.error);
  return result.ok != FALSE;
}

HINTERNET OpenFtpFileBounded(HINTERNET connection, const std::string& name, DWORD flags,
                             DWORD_PTR context, DWORD deadline_ms,
                             const std::atomic<bool>* cancel) {
  BlockingCallResult result;
  const bool finished = RunBlockingCall(
      [connection, name, flags, context](BlockingCallResult& r) {
        r.handle = ::FtpOpenFileA(connection, name.c_str(), GENERIC_READ, flags, context);
        r.error = r.handle ? 0 : ::GetLastError();
      },
      deadline_ms, cancel, &result);
  if (!finished) return nullptr;
  if (!result.handle) ::SetLastError(result.error);
  return result.handle;
}

bool FtpCommandBounded(HINTERNET connection, const std::string& command, DWORD deadline_ms,
                       const std::atomic<bool>* cancel) {
  BlockingCallResult result;
  const bool finished = RunBlockingCall(
      [connection, command](BlockingCallResult& r) {
        r.ok = ::FtpCommandA(connection, FALSE, FTP_TRANSFER_TYPE_BINARY, command.c_str(), 0,
                             nullptr);
        r.error = r.ok ? 0 : ::GetLastError();
      },
      deadline_ms, cancel, &result);
  if (!finished) return false;
  if (!result.ok) ::SetLastError(result.error);
  return result.ok != FALSE;
}

HINTERNET FindFirstFtpFileBounded(HINTERNET connection, WIN32_FIND_DATAA* data,
                                  DWORD deadline_ms, const std::atomic<bool>* cancel) {
  BlockingCallResult result;
  const bool finished = RunBlockingCall(
      [connection](BlockingCallResult& r) {
        r.handle = ::FtpFindFirstFileA(connection, nullptr, &r.find, INTERNET_FLAG_RELOAD, 0);
        r.error = r.handle ? 0 : ::GetLastError();
      },
      deadline_ms, cancel, &result);
  if (!finished) return nullptr;
  if (!result.handle) {
    ::SetLastError(result.error);
    return nullptr;
  }
  *data = result.find;
  return result.handle;
}

bool ReadInternetFileBounded(HINTERNET file, char* buffer, DWORD size, DWORD* read,
                             DWORD deadline_ms, const std::atomic<bool>* cancel) {
  *read = 0;
  BlockingCallResult result;
  const bool finished = RunBlockingCall(
      [file, size](BlockingCallResult& r) {
        r.data.resize(size);
        r.ok = ::InternetReadFile(file, r.data.data(), size, &r.count);
        r.error = r.ok ? 0 : ::GetLastError();
      },
      deadline_ms, cancel, &result);
  if (!finished) return false;
  if (!result.ok) {
    ::SetLastError(result.error);
    return false;
  }
  const DWORD count = result.count < size ? result.count : size;
  if (count > 0) ::memcpy(buffer, result.data.data(), count);
  *read = count;
  return true;
}

struct BoundedReader::Shared {
  HINTERNET handle = nullptr;
  std::vector<char> buffer;
  DWORD size = 0;
  DWORD count = 0;
  BOOL ok = FALSE;
  DWORD error = 0;
  std::atomic<bool> quit{false};
  ScopedHandle request;  // auto-reset: a read is wanted (or quit)
  ScopedHandle done;     // auto-reset: the read ended
};

namespace {

DWORD WINAPI ReaderThread(void* param) {
  std::unique_ptr<std::shared_ptr<BoundedReader::Shared>> holder(
      static_cast<std::shared_ptr<BoundedReader::Shared>*>(param));
  BoundedReader::Shared& shared = **holder;
  for (;;) {
    ::WaitForSingleObject(shared.request.Get(), INFINITE);
    if (shared.quit.load()) return 0;
    if (shared.buffer.size() < shared.size) shared.buffer.resize(shared.size);
    shared.count = 0;
    shared.ok = ::InternetReadFile(shared.handle, shared.buffer.data(), shared.size,
                                   &shared.count);
    shared.error = shared.ok ? 0 : ::GetLastError();
    ::SetEvent(shared.done.Get());
  }
}

}  // namespace

BoundedReader::BoundedReader(HINTERNET handle) : shared_(new Shared()) {
  shared_->handle = handle;
  shared_->request.Reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
  shared_->done.Reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
}

BoundedReader::~BoundedReader() {
  if (!thread_ || abandoned_) return;
  shared_->quit = true;
  ::SetEvent(shared_->request.Get());
  ::WaitForSingleObject(thread_.Get(), INFINITE);  // idle: it leaves at once
}

const char* BoundedReader::data() const { return shared_->buffer.data(); }

bool BoundedReader::Read(DWORD size, DWORD deadline_ms, const std::atomic<bool>* cancel,
                         DWORD* read) {
  *read = 0;
  if (abandoned_) {
    ::SetLastError(ERROR_INTERNET_TIMEOUT);
    return false;
  }
  if (!thread_) {
    if (!shared_->request || !shared_->done) return false;
    auto* param = new std::shared_ptr<Shared>(shared_);
    thread_.Reset(::CreateThread(nullptr, kHelperStack, &ReaderThread, param,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!thread_) {
      delete param;
      return false;
    }
  }
  shared_->size = size;
  ::SetEvent(shared_->request.Get());
  const ULONGLONG end = ::GetTickCount64() + deadline_ms;
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    const DWORD left = now >= end ? 0 : static_cast<DWORD>(end - now);
    const DWORD slice = cancel ? (left < kCancelPollMs ? left : kCancelPollMs) : left;
    if (WaitAnsweringSent(shared_->done.Get(), slice)) break;
    const bool cancelled = cancel && cancel->load();
    if (!cancelled && ::GetTickCount64() < end) continue;
    // The helper finishes the read on its own and then leaves.
    abandoned_ = true;
    shared_->quit = true;
    ::SetEvent(shared_->request.Get());  // seen once the read ends
    ::SetLastError(cancelled ? ERROR_CANCELLED : ERROR_INTERNET_TIMEOUT);
    return false;
  }
  if (!shared_->ok) {
    ::SetLastError(shared_->error);
    return false;
  }
  *read = shared_->count < size ? shared_->count : size;
  return true;
}

void CloseInternetBounded(ScopedInternet& handle, DWORD deadline_ms) {
  if (!handle) return;
  const HINTERNET raw = handle.Release();
  BlockingCallResult result;
  RunBlockingCall([raw](BlockingCallResult&) { ::InternetCloseHandle(raw); }, deadline_ms,
                  nullptr, &result);
}

}  // namespace corvane
