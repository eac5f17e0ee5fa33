// Whole-file downloads over HTTP and HTTPS.
#include "updater/engine/internet_request_win.h"
#include "updater/engine/transfer_engine_win.h"
#include "updater/engine/transfer_progress_win.h"
#include "updater/engine/transfer_text.h"
#include "updater/engine/updater_app.h"

namespace corvane {

namespace {

// The agent's number is the millisecond field of a whole-second time stamp,
// which is always 0.
const char kDownloadAgent[] = "Agent0";
const char kAcceptHeaders[] = "Accept: */*\r\n\r\n";
// Always from the server: a cached copy could be an older version.
constexpr DWORD kDownloadFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_PRAGMA_NOCACHE;
constexpr DWORD kHttpChunk = 10240;

}  // namespace

bool DownloadHttp(TransferState& state, const std::string& url, const std::string& local_path,
                  int row) {
  if (!IsAcceptableTarget(local_path)) return false;
  DWORD connection_flags = 0;
  ::InternetGetConnectedState(&connection_flags, 0);
  const DWORD access = (connection_flags & INTERNET_CONNECTION_PROXY)
                           ? INTERNET_OPEN_TYPE_PRECONFIG
                           : INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY;
  ScopedInternet session(::InternetOpenA(kDownloadAgent, access, nullptr, nullptr, 0));
  if (!session) return false;
  SetInternetTimeouts(session.Get(), state.timeout_ms);
  HttpRequest request = OpenHttpUrl(session.Get(), url, kAcceptHeaders, kDownloadFlags, 0,
                                    state.timeout_ms, &state.cancel);
  if (!request) return false;

  const std::string final_url = FinalUrlOf(request.Get());
  if (!IsAcceptableFinalUrl(url, final_url)) {
    App().WriteLog("Redirect refused: " + final_url);
    return false;
  }
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

  TransferView& view = state.View();
  AnnotateRow(state, row, length);
  view.SetFileProgress(0);
  if (SkipWhenPresent(state, local_path, length, row)) return true;

  ScopedFile file(::CreateFileA(local_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  const int open_id = state.open_files.Add(local_path, std::move(file));
  state.TakeStartTick();

  uint64_t received = 0;
  const ChunkLoopEnd end = CopyInternetBody(state, request.Get(), BodySource::kHttp, open_id,
                                            kHttpChunk, length, length, row, &received);
  if (end == ChunkLoopEnd::kStalled) App().WriteLog("The server stopped sending: " + url);
  request.Close();
  session.Reset();
  state.open_files.Remove(open_id);

  // A connection that ends before the announced length is a failure, not a
  // short file taken for a whole one.
  if (end != ChunkLoopEnd::kEndOfData || state.cancel.load() || received != length) return false;
  view.ShowStatus("OK!");
  return true;
}

}  // namespace corvane
