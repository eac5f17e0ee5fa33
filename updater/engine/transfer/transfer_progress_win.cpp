#include "updater/engine/transfer/transfer_progress_win.h"

#include <algorithm>
#include <vector>

#include "shared/text_util.h"
#include "updater/engine/host_messages.h"
#include "updater/engine/net/bounded_internet_win.h"
#include "updater/engine/net/internet_request_win.h"
#include "updater/engine/net/transfer_limits.h"
#include "updater/engine/transfer/transfer_engine_win.h"
#include "updater/engine/transfer/transfer_text.h"
#include "updater/engine/updater_app.h"

namespace corvane {

namespace {

// Reports are held back for this long after the last one shown, whether
// or not the percentage moved: a per-chunk report (tens of thousands for a
// large file, ten for every small one) sets four controls on the page's
// thread and would cost more than the transfer itself. The first and the
// final report of a file are always shown, so every file starts and ends
// on the page and at the host as it really did.
constexpr double kReportInterval = 0.05;  // seconds

// Network reads grow up to this size on a fast link and are handed on in
// chunks: every read is a round trip through the platform's socket layer,
// so chunk-sized reads would cap the rate well below the link's. A read
// blocks until it is full, so such reads run on a helper that is given up
// on when a read outlasts the time-out. On a slow link HTTP reads stay
// chunk-sized and take only what has arrived (ReadHttpAvailable), so a
// trickling server meets the stall window and cancel between reads.
constexpr DWORD kNetworkBlock = 512 * 1024;
// What a read of the bytes that had arrived returns when the link is busy:
// the platform hands them on from a buffer of a few kilobytes.
constexpr DWORD kArrivedFull = 4096;
constexpr double kFastRead = 0.02;   // seconds: a read this quick may grow
constexpr double kSlowRead = 0.2;    // seconds: a read this slow shrinks

DWORD NextReadSize(DWORD wanted, bool full, int64_t ticks, double seconds_per_tick,
                   DWORD smallest, DWORD largest) {
  const double seconds = static_cast<double>(ticks) * seconds_per_tick;
  if (full && seconds < kFastRead) return std::min(wanted * 2, largest);
  if (seconds > kSlowRead) return std::max(wanted / 2, smallest);
  return wanted;
}

// The page's four controls of a report. `all` after reports that were
// held back: the controls may show older values than `state.shown` says.
void ShowOnPage(TransferState& state, const TransferState::PageReport& report, bool all) {
  TransferView& view = state.View();
  if (all || report.percent_changed) {
    view.SetFileProgress(report.percent);
    if (!IsDirectoryRowLabel(view.RowLabel(report.row))) {
      view.SetRowProgress(report.row, report.percent);
    }
  }
  if (all || report.rate_changed) {
    view.SetRowRate(report.row, report.rate_text);
    view.SetRateLine(RateLineText(report.total, report.rate_text));
  }
  state.page_tick = state.NowTicks();
  state.page_pending = false;
}

// While the page is held (the files of a directory item), it follows at
// most every kReportInterval across files as well: small files would
// otherwise set its controls, each a wait for the page's thread, several
// times per file.
bool PageDue(const TransferState& state) {
  return !state.hold_page || state.page_tick == 0 ||
         static_cast<double>(state.NowTicks() - state.page_tick) * state.seconds_per_tick >=
             kReportInterval;
}

void Report(TransferState& state, uint32_t bytes, uint32_t total, const std::string& rate_text,
            int row, bool force) {
  UpdaterApp& app = App();
  const int percent = TransferPercent(bytes, total);
  const bool first = state.shown.percent < 0;
  const bool percent_changed = percent != state.shown.percent;
  const int64_t now = state.ElapsedTicks();
  const bool due = force || first || (total != 0 && bytes >= total) ||
                   static_cast<double>(now - state.shown.tick) * state.seconds_per_tick >=
                       kReportInterval;
  if (!due) {
    state.shown.pending = true;
    return;
  }
  const TransferState::PageReport report{percent, total, rate_text, row, percent_changed,
                                         first || rate_text != state.shown.rate_text};
  if (force || PageDue(state)) {
    ShowOnPage(state, report, state.page_pending);
  } else {
    state.page_report = report;
    state.page_pending = true;
  }
  app.PostToHost(kHostFilePercent, 100, static_cast<LPARAM>(percent));
  if (app.tray_on) app.SetTrayTooltip(DownloadTooltipText(app.ui.title, total, percent, rate_text));
  app.PostToHost(kHostFileBytes, static_cast<WPARAM>(total), static_cast<LPARAM>(bytes));
  state.shown.percent = percent;
  state.shown.rate_text = rate_text;
  state.shown.tick = now;
  state.shown.pending = false;
}

}  // namespace

void ReportTransferProgress(TransferState& state, uint32_t bytes, uint32_t total,
                            const std::string& rate_text, int row) {
  Report(state, bytes, total, rate_text, row, false);
}

void FinishTransferProgress(TransferState& state, uint32_t bytes, uint32_t total,
                            const std::string& rate_text, int row) {
  if (state.shown.pending) Report(state, bytes, total, rate_text, row, true);
}

void ShowHeldProgress(TransferState& state) {
  if (state.page_pending) ShowOnPage(state, state.page_report, true);
}

void ResetFileProgress(TransferState& state) {
  if (!PageDue(state)) return;  // the file's first report follows at once
  state.View().SetFileProgress(0);
  state.page_tick = state.NowTicks();
}

void AnnotateRow(TransferState& state, int row, uint64_t size) {
  TransferView& view = state.View();
  const std::string label = view.RowLabel(row);
  if (IsDirectoryRowLabel(label)) return;
  const std::string annotated = AnnotatedRowLabel(std::string(), size);
  if (EndsWith(label, annotated)) return;
  view.SetRowLabel(row, label + annotated);
}

uint32_t ProgressBytes(uint64_t bytes) {
  return bytes > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes);
}

bool IsAcceptableTarget(const std::string& local_path) {
  if (IsContainedLocalPath(local_path)) return true;
  App().WriteLog("Refused to write outside the download folder: " + local_path);
  return false;
}

bool SkipWhenPresent(TransferState& state, const std::string& local_path, uint64_t total,
                     int row) {
  if (!FileExistsWithSize(local_path, total)) return false;
  state.View().SetFileProgress(100);
  state.View().SetRowProgress(row, 100);
  App().WriteLog("The file was downloaded, no need to download.");
  state.WaitWhilePaused();
  return true;
}

ChunkLoopEnd CopyInternetBody(TransferState& state, HINTERNET source, BodySource kind,
                              int open_id, uint32_t chunk_size, uint64_t total, uint64_t limit,
                              int row, uint64_t* received) {
  std::vector<char> block(chunk_size);  // reads of what had arrived
  const DWORD largest_read = std::max<DWORD>(kNetworkBlock, chunk_size);
  std::string rate_text;
  const uint32_t shown_total = ProgressBytes(total);
  StallWindow stall(state.timeout_ms);
  stall.Start(::GetTickCount64(), *received);
  DWORD wanted = chunk_size;
  BoundedReader reader(source);
  ChunkLoopEnd end = ChunkLoopEnd::kEndOfData;
  while (end == ChunkLoopEnd::kEndOfData) {
    if (state.cancel.load()) {
      end = ChunkLoopEnd::kCancelled;
      break;
    }
    DWORD read = 0;
    const int64_t before = state.ElapsedTicks();
    const ULONGLONG read_started = ::GetTickCount64();
    const bool in_place = kind == BodySource::kHttp && wanted <= chunk_size;
    const bool read_ok =
        in_place ? ReadHttpAvailable(source, block.data(), wanted, &read)
                 : reader.Read(wanted, state.timeout_ms, &state.cancel, &read);
    const char* data = in_place ? block.data() : reader.data();
    if (!read_ok) {
      const DWORD error = ::GetLastError();
      // A read that failed after waiting out the time-out met a server that
      // went silent, whatever error the platform gives it.
      const bool timed_out = error == ERROR_INTERNET_TIMEOUT ||
                             ::GetTickCount64() - read_started + 100 >= state.timeout_ms;
      end = error == ERROR_CANCELLED ? ChunkLoopEnd::kCancelled
            : timed_out              ? ChunkLoopEnd::kStalled
                                     : ChunkLoopEnd::kReadFailed;
      break;
    }
    if (read == 0) break;
    if (stall.Stalled(::GetTickCount64(), *received + read)) {
      end = ChunkLoopEnd::kStalled;
      break;
    }
    // Only full reads tell that the link could deliver more at once; a read
    // of what had arrived is full when the platform had a buffer's worth.
    const bool full = in_place ? read >= std::min<DWORD>(wanted, kArrivedFull) : read == wanted;
    wanted = NextReadSize(wanted, full, state.ElapsedTicks() - before, state.seconds_per_tick,
                          chunk_size, largest_read);
    if (limit != 0 && read > limit - *received) {
      end = ChunkLoopEnd::kReadFailed;
      break;
    }
    // One write and one report per read: reports are shown by time anyway
    // (ReportTransferProgress), and a read of the network is far slower to
    // come than its write.
    if (state.cancel.load()) {
      end = ChunkLoopEnd::kCancelled;
      break;
    }
    if (!state.open_files.Write(open_id, data, read)) {
      end = ChunkLoopEnd::kWriteFailed;
      break;
    }
    *received += read;
    UpdateRateText(&rate_text, *received, state.ElapsedTicks(), state.seconds_per_tick, false);
    ReportTransferProgress(state, ProgressBytes(*received), shown_total, rate_text, row);
    // The user's time with the cancel question is not the server's.
    if (state.WaitWhilePaused()) stall.Start(::GetTickCount64(), *received);
  }
  FinishTransferProgress(state, ProgressBytes(*received), shown_total, rate_text, row);
  return end;
}

}  // namespace corvane
