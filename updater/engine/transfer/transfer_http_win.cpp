// Whole-file downloads over HTTP and HTTPS.
#include <string>

#include "updater/engine/net/internet_request_win.h"
#include "updater/engine/net/transfer_limits.h"
#include "updater/engine/transfer/transfer_engine_win.h"
#include "updater/engine/transfer/transfer_progress_win.h"
#include "updater/engine/transfer/transfer_resume.h"
#include "updater/engine/transfer/transfer_text.h"
#include "updater/engine/updater_app.h"

namespace corvane {

namespace {

// The agent's number is the millisecond field of a whole-second time stamp,
// which is always 0.
const char kDownloadAgent[] = "Agent0";
const char kAcceptHeader[] = "Accept: */*\r\n";
// Always from the server: a cached copy could be an older version.
constexpr DWORD kDownloadFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_PRAGMA_NOCACHE;
constexpr DWORD kHttpChunk = 10240;

// One request of a download: the whole file, or with `range_headers` the
// rest of it. A redirect away from HTTPS is refused (logged, no request).
HttpRequest OpenDownloadRequest(TransferState& state, HINTERNET session, const std::string& url,
                                const std::string& range_headers) {
  const std::string headers = kAcceptHeader + range_headers + "\r\n";
  HttpRequest request = OpenHttpUrl(session, url, headers.c_str(), kDownloadFlags, 0,
                                    state.timeout_ms, &state.cancel);
  if (!request) return request;
  const std::string final_url = FinalUrlOf(request.Get());
  if (!IsAcceptableFinalUrl(url, final_url)) {
    App().WriteLog("Redirect refused: " + final_url);
    request.Close();
  }
  return request;
}

// Whether the connection broke before a status line came: the platform then
// either fails the request with a connection error or, for a link closed
// without a byte, answers with status 0. Any other failure is no break.
bool BrokeBeforeAnswer(const HttpRequest& request) {
  if (!request) {
    const DWORD error = ::GetLastError();
    return error == ERROR_INTERNET_CONNECTION_ABORTED ||
           error == ERROR_INTERNET_CONNECTION_RESET ||
           error == ERROR_HTTP_INVALID_SERVER_RESPONSE;
  }
  DWORD status = 0;
  return !QueryHttpNumber(request.Get(), HTTP_QUERY_STATUS_CODE, &status) || status == 0;
}

RangeReply RangeReplyOf(const HttpRequest& request) {
  RangeReply reply;
  DWORD number = 0;
  if (QueryHttpNumber(request.Get(), HTTP_QUERY_STATUS_CODE, &number)) reply.status = number;
  reply.has_length = QueryHttpNumber(request.Get(), HTTP_QUERY_CONTENT_LENGTH, &number);
  reply.length = reply.has_length ? number : 0;
  const std::string raw = QueryRawHeaders(request.Get());
  reply.content_range = HeaderValue(raw, "Content-Range");
  reply.etag = HeaderValue(raw, "ETag");
  return reply;
}

// Where a broken download goes on.
struct HttpResume {
  HttpRequest request;
  uint64_t offset = 0;  // bytes of the file kept
  uint64_t total = 0;   // the file's length from here on
};

// Asks for the rest of the file from `received`, guarded by `if_range`, or,
// without a validator or after a reply that was not the exact rest, for the
// whole file again. No request when the server answers neither.
HttpResume ResumeHttp(TransferState& state, HINTERNET session, const std::string& url,
                      uint64_t received, uint64_t total, const HttpValidators& validators,
                      const std::string& if_range) {
  HttpResume resume;
  uint64_t offset = if_range.empty() ? 0 : received;
  for (;;) {
    App().WriteLog("Resuming download at byte " + std::to_string(offset) + ": " + url);
    HttpRequest request = OpenDownloadRequest(
        state, session, url, offset == 0 ? std::string() : RangeRequestHeaders(offset, if_range));
    if (!request) return resume;
    const RangeReply reply = RangeReplyOf(request);
    switch (JudgeRangeReply(reply, offset, total, validators.etag)) {
      case ResumeVerdict::kAppend:
        resume.request = std::move(request);
        resume.offset = offset;
        resume.total = total;
        return resume;
      case ResumeVerdict::kTakeWhole:
        if (!reply.has_length || reply.length == 0) return resume;
        resume.request = std::move(request);
        resume.offset = 0;
        resume.total = reply.length;
        return resume;
      case ResumeVerdict::kRestart:
        if (offset == 0) return resume;
        offset = 0;
        break;
      case ResumeVerdict::kFail:
        return resume;
    }
  }
}

}  // namespace

bool DownloadHttp(TransferState& state, const std::string& url, const std::string& local_path,
                  int row, HttpWholeAnswer* probe_answer) {
  if (!IsAcceptableTarget(local_path)) return false;
  ScopedInternet session;
  HttpRequest request;
  if (probe_answer && probe_answer->request) {
    session = std::move(probe_answer->session);
    request = std::move(probe_answer->request);
    SetInternetTimeouts(session.Get(), state.timeout_ms);
    SetInternetTimeouts(request.Get(), state.timeout_ms);
  } else {
    DWORD connection_flags = 0;
    ::InternetGetConnectedState(&connection_flags, 0);
    const DWORD access = (connection_flags & INTERNET_CONNECTION_PROXY)
                             ? INTERNET_OPEN_TYPE_PRECONFIG
                             : INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY;
    session.Reset(::InternetOpenA(kDownloadAgent, access, nullptr, nullptr, 0));
    if (!session) return false;
    SetInternetTimeouts(session.Get(), state.timeout_ms);
    request = OpenDownloadRequest(state, session.Get(), url, std::string());
  }
  // A connection that broke before its answer came (a reset that beat the
  // status line, a proxy that dropped the link) is a break at byte 0: asked
  // again within the same budget as any later break.
  ResumeBudget budget;
  while (BrokeBeforeAnswer(request) && !state.cancel.load() &&
         budget.Allow(TransferBreak::kClosed, 0)) {
    App().WriteLog("Resuming download at byte 0: " + url);
    request = OpenDownloadRequest(state, session.Get(), url, std::string());
  }
  if (!request) return false;

  // An error page (a 503 passes the status check) must not be stored as
  // the file.
  DWORD status = 0;
  if (QueryHttpNumber(request.Get(), HTTP_QUERY_STATUS_CODE, &status) &&
      (status < 200 || status > 299)) {
    return false;
  }
  DWORD length = 0;
  if (!QueryHttpNumber(request.Get(), HTTP_QUERY_CONTENT_LENGTH, &length) || length == 0) {
    return false;
  }
  // What identifies this very file, should the rest of it be asked for.
  const HttpValidators validators = ValidatorsOf(QueryRawHeaders(request.Get()));
  const std::string if_range = IfRangeValidator(validators);

  TransferView& view = state.View();
  AnnotateRow(state, row, length);
  ResetFileProgress(state);
  if (SkipWhenPresent(state, local_path, length, row)) return true;

  ScopedFile file(::CreateFileA(local_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  const int open_id = state.open_files.Add(local_path, std::move(file));
  state.TakeStartTick();

  uint64_t total = length;
  uint64_t received = 0;
  bool whole = false;
  for (;;) {
    const ChunkLoopEnd end = CopyInternetBody(state, request.Get(), BodySource::kHttp, open_id,
                                              kHttpChunk, total, total, row, &received);
    if (end == ChunkLoopEnd::kStalled) App().WriteLog("The server stopped sending: " + url);
    request.Close();
    // A connection that ends before the announced length is a failure, not
    // a short file taken for a whole one; it is continued where it broke.
    whole = end == ChunkLoopEnd::kEndOfData && received == total;
    const bool broke = end == ChunkLoopEnd::kReadFailed || end == ChunkLoopEnd::kStalled ||
                       end == ChunkLoopEnd::kEndOfData;
    if (whole || !broke || state.cancel.load() || received >= total) break;
    if (!budget.Allow(end == ChunkLoopEnd::kStalled ? TransferBreak::kStalled
                                                     : TransferBreak::kClosed,
                      received)) {
      break;
    }
    HttpResume resume =
        ResumeHttp(state, session.Get(), url, received, total, validators, if_range);
    if (!resume.request || !state.open_files.Truncate(open_id, resume.offset)) break;
    request = std::move(resume.request);
    received = resume.offset;
    total = resume.total;
  }
  session.Reset();
  state.open_files.Remove(open_id);

  if (!whole || state.cancel.load()) return false;
  view.ShowStatus("OK!");
  return true;
}

}  // namespace corvane
