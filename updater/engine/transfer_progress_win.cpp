#include "updater/engine/transfer_progress_win.h"

#include "shared/text_util.h"
#include "updater/engine/host_messages.h"
#include "updater/engine/transfer_engine_win.h"
#include "updater/engine/transfer_text.h"
#include "updater/engine/updater_app.h"

namespace corvane {

namespace {

// The rate texts change with nearly every chunk; showing them more often
// than this would cost more repaints than the transfer itself.
constexpr double kRateTextInterval = 0.1;  // seconds

}  // namespace

void ReportTransferProgress(TransferState& state, uint32_t bytes, uint32_t total,
                            const std::string& rate_text, int row) {
  TransferView& view = state.View();
  UpdaterApp& app = App();
  const int percent = TransferPercent(bytes, total);
  const bool first = state.shown.percent < 0;
  const bool percent_changed = percent != state.shown.percent;
  if (percent_changed) {
    view.SetFileProgress(percent);
    if (!IsDirectoryRowLabel(view.RowLabel(row))) view.SetRowProgress(row, percent);
    state.shown.percent = percent;
  }
  app.PostToHost(kHostFilePercent, 100, static_cast<LPARAM>(percent));

  const int64_t now = state.ElapsedTicks();
  const bool texts_due =
      first || percent_changed || bytes >= total ||
      static_cast<double>(now - state.shown.tick) * state.seconds_per_tick >= kRateTextInterval;
  if (texts_due) {
    if (first || rate_text != state.shown.rate_text) {
      view.SetRowRate(row, rate_text);
      view.SetRateLine(RateLineText(total, rate_text));
      state.shown.rate_text = rate_text;
    }
    if (app.tray_on) app.SetTrayTooltip(DownloadTooltipText(app.ui.title, total, percent, rate_text));
    state.shown.tick = now;
  }
  app.PostToHost(kHostFileBytes, static_cast<WPARAM>(total), static_cast<LPARAM>(bytes));
}

void AnnotateRow(TransferState& state, int row, uint64_t size) {
  TransferView& view = state.View();
  const std::string label = view.RowLabel(row);
  if (IsDirectoryRowLabel(label)) return;
  const std::string annotated = AnnotatedRowLabel(std::string(), size);
  if (EndsWith(label, annotated)) return;
  view.SetRowLabel(row, label + annotated);
}

bool SkipWhenPresent(TransferState& state, const std::string& local_path, uint32_t total,
                     int row) {
  if (!FileExistsWithSize(local_path, total)) return false;
  state.View().SetFileProgress(100);
  state.View().SetRowProgress(row, 100);
  App().WriteLog("The file was downloaded, no need to download.");
  state.WaitWhilePaused();
  return true;
}

}  // namespace corvane
