// The download stage on its page: fetches every item with a new version into
// "<temp>\~tovrel_tmp\file<k>\" or "dir<k>\" through the transfer engine,
// verifies file items by MD5, and hands over to the update stage or ends
// the update. A file item with "sha256" is checked by SHA-256 as well (after
// the MD5 when both are given); a mismatch fails like a wrong MD5, with lines
// of its own. A file item with patches and an MD5 is first made from the
// installed file and the patch for its build (patch_download_win.h); when
// that cannot be done the whole file is downloaded as ever. StartDownload
// and FinishDownload run on the page's thread, the transfers on the stage's
// worker thread.
#include <windows.h>
#include <imagehlp.h>

#include <atomic>
#include <ctime>
#include <random>
#include <string>

#include "shared/cng_crypto_win.h"
#include "shared/md5_digest.h"
#include "shared/text_util.h"
#include "updater/engine/config/url_entry.h"
#include "updater/engine/host_messages.h"
#include "updater/engine/self_update/self_update.h"
#include "updater/engine/stages/patch_download_win.h"
#include "updater/engine/stages/stage_platform_win.h"
#include "updater/engine/transfer/transfer_engine_win.h"
#include "updater/engine/transfer/transfer_progress_win.h"
#include "updater/engine/transfer/transfer_state.h"
#include "updater/engine/updater_app.h"
#include "updater/ui/stage_view.h"
#include "updater/ui/system_tray.h"

namespace corvane {

namespace {

// "<name>" of a directory item's row: the first URL after its last "/" (or
// "\"), or the whole URL.
std::string DirectoryRowLabel(const UrlList& urls) {
  const std::string url = urls.Empty() ? std::string() : urls.urls.front();
  size_t cut = url.rfind('/');
  if (cut == std::string::npos || cut < 1) cut = url.rfind('\\');
  const std::string name = (cut == std::string::npos || cut < 1) ? url : url.substr(cut + 1);
  return "<" + name + ">";
}

// The downloaded file's MD5 against the item's (in either case); a file that
// does not match is deleted, so it can never be installed.
bool DigestMatches(const std::string& path, const std::string& expected, std::string* digest) {
  Md5Digest md5;
  md5.FileDigest(path);
  *digest = md5.HexDigest();
  md5.Close();
  if (!digest->empty() && EqualsNoCase(*digest, expected)) return true;
  ::DeleteFileA(path.c_str());
  return false;
}

// The same for the item's SHA-256 (64 hexadecimal digits in either case).
bool Sha256Matches(const std::string& path, const std::string& expected, std::string* digest) {
  if (!Sha256FileHex(path, digest)) digest->clear();
  if (!digest->empty() && EqualsNoCase(*digest, expected)) return true;
  ::DeleteFileA(path.c_str());
  return false;
}

// The digest of an item that a downloaded file did not match.
struct DigestMismatch {
  std::string kind;  // "MD5" or "SHA-256"
  std::string digest, expected;
};

// The item's digests in order, MD5 first: each that matches is shown as
// "<kind> checksum success."; the first that does not fills `mismatch`
// (its file is deleted by then).
bool ItemDigestsMatch(const std::string& path, const FileItem& item, StageView& view,
                      DigestMismatch* mismatch) {
  struct Check {
    const char* kind;
    const std::string& expected;
    bool (*matches)(const std::string&, const std::string&, std::string*);
  };
  const Check checks[] = {{"MD5", item.md5, &DigestMatches},
                          {"SHA-256", item.sha256, &Sha256Matches}};
  for (const Check& check : checks) {
    if (check.expected.empty()) continue;
    std::string digest;
    if (!check.matches(path, check.expected, &digest)) {
      *mismatch = DigestMismatch{check.kind, digest, check.expected};
      return false;
    }
    view.ShowStatus(std::string(check.kind) + " checksum success.");
  }
  return true;
}

bool MakeFolder(const std::string& folder) {
  return ::MakeSureDirectoryPathExists(folder.c_str()) != FALSE;
}

// One attempt at one URL of an item: true when the item is done. On failure
// `failure` holds the status text to end with ("" ends silently).
struct Attempt {
  std::string url, user, password;
  ServerUrl parts;
  bool may_retry = false;  // another URL will be tried after a failure
  std::string failure;
};

class DownloadPageStage : public PageStage {
 public:
  explicit DownloadPageStage(DownloadPageView& view) : view_(view), state_(&view) {}

  ~DownloadPageStage() override {
    // A worker still running stops at its next chunk or pause check.
    state_.cancel = true;
    state_.open_files.CloseAll();
    worker_.Join();
  }

  void Start(unsigned message) override {
    if (message == kPageStartSelfDownload) {
      StartSelfUpdateDownload();
    } else if (message == kPageStartDownload) {
      StartDownload();
    }
  }

  void Finish(bool success) override;
  void RequestCancel() override;
  bool Finished() const override { return finished_; }

 private:
  void StartDownload();
  // The new updater (with a new local configuration and UI file, when the
  // server has them) for the self-update relay; see self_update.h.
  void StartSelfUpdateDownload() {
    view_.ShowStatus("Start download...");
    if (!worker_.Start([this] { SelfUpdateDownload(); })) view_.PostWorkerDone(false);
  }
  void SelfUpdateDownload();
  bool FetchSelfUpdateFile(int index, const std::string& local);

  void DownloadStage();
  bool FetchFileItem(int index);
  // One transfer of a file item's file (or, with `patch`, of its patch).
  bool TransferFile(Attempt& a, const std::string& local, const std::string& name, bool patch);
  // The item's new file made from the installed one and a patch, verified;
  // false (logged) when the whole file must be downloaded instead.
  bool FetchFromPatch(FileItem& item, const std::string& local);
  bool FetchDirItem(int index);
  // Tries the item's URLs (in order or at random, each at most once) until
  // `attempt` succeeds; false after the last failure, reported (or, with
  // `failure_out`, handed back instead).
  template <typename Fn>
  bool TryUrls(UrlList& urls, int random_select, int try_all, Fn attempt,
               std::string* failure_out = nullptr);
  bool ConnectTo(Attempt& a);
  void ItemDone(int overall);
  void Fail(const std::string& text) {
    if (!text.empty()) view_.ShowStatus(text);
  }
  bool RunHook(const std::string& configured, bool as_status);

  DownloadPageView& view_;
  TransferState state_;
  std::atomic<bool> finished_{false};
  bool user_cancel_ = false;
  bool finishing_ = false;
  int items_ = 0;
  int row_ = 0;
  int overall_ = 0;
  int visible_rows_ = 0;
  std::mt19937 random_;
  // Last: joined first, while the state the worker uses still exists.
  StageWorker worker_;
};

bool DownloadPageStage::RunHook(const std::string& configured, bool as_status) {
  const std::string path = App().ExpandDirectoryConstants(configured);
  if (path.empty() || !IsNonEmptyFile(path)) return false;
  if (as_status) {
    view_.ShowStatus("Execute the program: " + path);
  } else {
    App().WriteLog("Execute the program: " + path);
  }
  RunByExtension(path);
  ::Sleep(1000);
  return true;
}

void DownloadPageStage::StartDownload() {
  UpdaterApp& app = App();
  view_.ShowStatus("Start download...");
  bool any = false;
  for (const FileItem& item : app.run.files) {
    if (!item.is_new) continue;
    view_.AddRow(item.install_name);
    any = true;
  }
  for (const DirItem& item : app.run.dirs) {
    if (!item.is_new) continue;
    view_.AddRow(DirectoryRowLabel(item.urls));
    any = true;
  }
  if (!any) {
    view_.ShowStatus("No new version of the file to download.");
    view_.PostWorkerDone(false);
    return;
  }
  RunHook(app.run.system.run_dlbefore, false);
  if (app.tray_on && app.tray && app.tray->Visible()) app.tray->Animate(150, 0);
  if (!worker_.Start([this] { DownloadStage(); })) view_.PostWorkerDone(false);
}

template <typename Fn>
bool DownloadPageStage::TryUrls(UrlList& urls, int random_select, int try_all, Fn attempt,
                                std::string* failure_out) {
  while (!urls.Empty()) {
    if (state_.cancel) return false;
    const size_t pick = random_select != 0 ? random_() % urls.Size() : 0;
    Attempt a;
    a.url = urls.urls[pick];
    a.user = urls.users[pick];
    a.password = urls.passwords[pick];
    urls.RemoveAt(pick);
    a.parts = CrackServerUrl(a.url);
    a.may_retry = try_all != 0 && !urls.Empty();
    view_.SetRowProgress(row_, 0);
    if (attempt(a)) return true;
    if (state_.cancel) return false;
    if (a.may_retry) continue;
    if (failure_out) {
      *failure_out = a.failure;
    } else {
      Fail(a.failure);
    }
    return false;
  }
  return true;  // no URL at all: nothing to fetch
}

bool DownloadPageStage::ConnectTo(Attempt& a) {
  if (!state_.ftp_connection) view_.ShowStatus("Connecting to server...");
  if (ConnectFtp(state_, a.parts.server, a.user, a.password, a.parts.port)) return true;
  a.failure.clear();  // the engine logged why
  return false;
}

void DownloadPageStage::ItemDone(int overall) {
  ShowHeldProgress(state_);
  view_.MarkRowFinished(row_);
  overall_ = overall;
  App().PostToHost(kHostOverallProgress, static_cast<WPARAM>(items_ * 100), overall_);
  view_.SetOverallPosition(overall_);
  ++row_;
  if (row_ > visible_rows_) view_.ScrollList(20);
}

bool DownloadPageStage::FetchFileItem(int index) {
  UpdaterApp& app = App();
  FileItem& item = app.run.files[index];
  // The check refused a name that would leave the item's folder (and
  // logged it); nothing of this item may be written anywhere.
  if (item.install_name_refused) {
    view_.ShowStatus("Download failed.");
    return false;
  }
  const std::string folder = app.temp_folder + Format("file%d\\", index);
  MakeFolder(folder);
  DownloadEntry entry;
  entry.file_name = item.install_name;
  entry.temporary_name = item.install_name;
  item.downloads.assign(1, entry);
  const std::string& name = item.install_name;
  const std::string local = folder + name;
  view_.ShowStatus("Start download: " + name);

  // A patch needs the MD5 to prove what it made.
  if (!item.md5.empty() && !item.patches.empty()) {
    if (FetchFromPatch(item, local)) {
      ItemDone(overall_ + 100);
      return true;
    }
    if (state_.cancel) return false;
  }

  const bool done = TryUrls(item.urls, item.random_select, item.try_all_urls, [&](Attempt& a) {
    if (!TransferFile(a, local, name, false)) return false;
    if (item.md5.empty() && item.sha256.empty()) return true;
    view_.ShowStatus("Verifying the integrity of the file...");
    DigestMismatch bad;
    if (ItemDigestsMatch(local, item, view_, &bad)) return true;
    if (!a.may_retry) {
      view_.ShowStatus("The Downloaded file's " + bad.kind + " is " + bad.digest);
      a.failure = "which is not equal to the original " + bad.kind + ": " + bad.expected;
    }
    return false;
  });
  if (!done) return false;
  ItemDone(overall_ + 100);
  return true;
}

bool DownloadPageStage::TransferFile(Attempt& a, const std::string& local, const std::string& name,
                                     bool patch) {
  UpdaterApp& app = App();
  const std::string line = (patch ? "Download patch: " : "Download: ") + a.url + "-->" + local;
  switch (a.parts.service) {
    case UrlService::kFtp:
      if (!ConnectTo(a)) return false;
      if (patch) app.WriteLog(line);
      if (!DownloadFtp(state_, a.parts.object, local, 0, row_)) {
        a.failure = "Dowload failed.";
        return false;
      }
      return true;
    case UrlService::kFile:
      app.WriteLog(line);
      if (!CopyLocal(state_, a.parts.object, local, row_)) {
        a.failure = "Dowload failed.";
        return false;
      }
      return true;
    default: {
      app.WriteLog(line);
      std::string error;
      HttpWholeAnswer whole;
      if (!CheckHttpStatus(a.url, &error, kTransferTimeoutMs, &whole)) {
        a.failure = error.empty() ? "File (" + name + ") does not exist!" : error;
        return false;
      }
      if (!DownloadHttp(state_, a.url, local, row_, &whole)) {
        a.failure = "Download failed.";
        return false;
      }
      return true;
    }
  }
}

bool DownloadPageStage::FetchFromPatch(FileItem& item, const std::string& local) {
  const PatchTransfer transfer = [&](UrlList& urls, const std::string& path, std::string* failure) {
    return TryUrls(
        urls, item.random_select, item.try_all_urls,
        [&](Attempt& a) { return TransferFile(a, path, item.install_name, true); }, failure);
  };
  std::string reason;
  if (MakeFileFromPatch(item, local, transfer, &reason)) {
    view_.ShowStatus("The patch was applied: " + item.install_name);
    view_.ShowStatus("Verifying the integrity of the file...");
    DigestMismatch bad;
    if (ItemDigestsMatch(local, item, view_, &bad)) return true;
    reason = "the patched file's " + bad.kind + " is " + bad.digest + ", not " + bad.expected;
  }
  if (state_.cancel) return false;
  view_.ShowStatus("The patch cannot be used, downloading the whole file: " + reason);
  return false;
}

bool DownloadPageStage::FetchDirItem(int index) {
  UpdaterApp& app = App();
  DirItem& item = app.run.dirs[index];
  const std::string folder = app.temp_folder + Format("dir%d\\", index);
  MakeFolder(folder);
  const int base = overall_;

  // Every entry of the listing, fetched by `fetch`, with the row, the bar
  // and the host following along.
  auto fetch_all = [&](Attempt& a, auto fetch) {
    const size_t n = item.downloads.size();
    int shown = -1;  // the row and the bars change only with the percentage
    state_.hold_page = true;
    for (size_t k = 0; k < n; ++k) {
      const DownloadEntry& entry = item.downloads[k];
      view_.ShowStatus("Download: " + entry.file_name);
      if (!fetch(entry, folder + entry.temporary_name)) {
        state_.hold_page = false;
        ShowHeldProgress(state_);
        a.failure = "Download failed.";
        return false;
      }
      const int p = static_cast<int>(100 * (k + 1) / n);
      if (p != shown) {
        view_.SetRowProgress(row_, p);
        view_.SetOverallPosition(base + p);
        shown = p;
      }
      app.PostToHost(kHostOverallProgress, static_cast<WPARAM>(items_ * 100), base + p);
    }
    state_.hold_page = false;
    ShowHeldProgress(state_);
    return true;
  };

  const bool done = TryUrls(item.urls, item.random_select, item.try_all_urls, [&](Attempt& a) {
    const std::string& object = a.parts.object;
    // A listing that broke off must not leave its entries for the next URL.
    item.downloads.clear();
    switch (a.parts.service) {
      case UrlService::kFtp:
        if (!ConnectTo(a)) return false;
        view_.ShowStatus("Retrieving files...");
        if (!ListFtpFolder(state_, object, object, &item.downloads, item.filter,
                           item.include_subdirs != 0)) {
          a.failure = "Files not found.";
          return false;
        }
        return fetch_all(a, [&](const DownloadEntry& entry, const std::string& local) {
          const std::string remote = entry.subfolder.empty()
                                         ? object + "/" + entry.file_name
                                         : object + "/" + entry.subfolder + "/" + entry.file_name;
          app.WriteLog("Download: " + remote + "-->" + local);
          return DownloadFtp(state_, remote, local, entry.size, row_);
        });
      case UrlService::kFile:
        view_.ShowStatus("Retrieving files...");
        if (!ListLocalFolder(state_, object, object, &item.downloads, item.filter,
                             item.include_subdirs != 0)) {
          a.failure = "Files not found.";
          return false;
        }
        return fetch_all(a, [&](const DownloadEntry& entry, const std::string& local) {
          const std::string source = entry.subfolder.empty()
                                         ? object + "\\" + entry.file_name
                                         : object + "\\" + entry.subfolder + "\\" + entry.file_name;
          app.WriteLog("Download: " + source + "-->" + local);
          return CopyLocal(state_, source, local, row_);
        });
      default:
        return true;  // folders come only from FTP servers and local folders
    }
  });
  if (!done) return false;
  ItemDone(base + 100);
  return true;
}

void DownloadPageStage::DownloadStage() {
  UpdaterApp& app = App();
  items_ = 0;
  for (const FileItem& item : app.run.files) items_ += item.is_new ? 1 : 0;
  for (const DirItem& item : app.run.dirs) items_ += item.is_new ? 1 : 0;
  view_.SetFileRange(100);
  view_.SetOverallRange(items_ * 100);
  view_.SetOverallPosition(0);
  visible_rows_ = view_.VisibleRows();
  random_.seed(static_cast<uint32_t>(std::time(nullptr)));
  row_ = 0;
  overall_ = 0;

  bool ok = true;
  for (int i = 0; ok && i < kMaxFileItems; ++i) {
    if (app.run.files[i].is_new) ok = FetchFileItem(i);
  }
  for (int i = 0; ok && i < kMaxDirItems; ++i) {
    if (app.run.dirs[i].is_new) ok = FetchDirItem(i);
  }
  if (!ok) {
    view_.PostWorkerDone(false);
    return;
  }
  CloseFtp(state_);
  view_.SetRateLine(std::string());
  view_.ShowStatus("Download complete.");
  if (app.tray_on && app.tray && app.tray->Visible()) {
    app.SetTrayTooltip(app.ui.title + "\nDownload complete.");
  }
  finished_ = true;
  if (app.run.operation_mode == kModeWizard && view_.IsPageVisible()) {
    view_.EnableButton(StageButton::kForward, true);
  } else {
    view_.PostWorkerDone(true);
  }
}

bool DownloadPageStage::FetchSelfUpdateFile(int index, const std::string& local) {
  UpdaterApp& app = App();
  FileItem& item = app.run.files[index];
  view_.ShowStatus("Start download: " + item.install_name);
  return TryUrls(item.urls, item.random_select, item.try_all_urls, [&](Attempt& a) {
    app.WriteLog("Download: " + a.url);
    bool fetched = false;
    switch (a.parts.service) {
      case UrlService::kFtp:
        if (!ConnectTo(a)) return false;
        fetched = DownloadFtp(state_, a.parts.object, local, 0, 0);
        break;
      case UrlService::kFile:
        fetched = CopyLocal(state_, a.parts.object, local, 0);
        break;
      default: {
        std::string error;
        HttpWholeAnswer whole;
        if (!CheckHttpStatus(a.url, &error, kTransferTimeoutMs, &whole)) {
          a.failure = error.empty() ? "Files not found on the server." : error;
          return false;
        }
        fetched = DownloadHttp(state_, a.url, local, 0, &whole);
        break;
      }
    }
    if (!fetched) {
      if (!a.may_retry && !state_.cancel) {
        view_.InfoBox("Download failed, please try again later!");
        a.failure = "Download failed.";
      }
      return false;
    }
    if (item.md5.empty() && item.sha256.empty()) return true;
    view_.ShowStatus("Verifying the integrity of the downloaded file...");
    DigestMismatch bad;
    if (ItemDigestsMatch(local, item, view_, &bad)) return true;
    if (!a.may_retry) {
      view_.InfoBox("Downloaded file (" + local + ") -- " + bad.kind + " validation error!");
      app.WriteLog("The Downloaded file's " + bad.kind + " is " + bad.digest);
      app.WriteLog("which is not equal to the original " + bad.kind + ": " + bad.expected);
    }
    return false;
  });
}

void DownloadPageStage::SelfUpdateDownload() {
  UpdaterApp& app = App();
  view_.SetOverallRange(10);
  random_.seed(static_cast<uint32_t>(std::time(nullptr)));
  struct Leg {
    int index;
    std::string local;
  };
  const Leg legs[] = {
      {app.self_item, app.module_path + ".exe"},
      {app.config_item,
       app.config_item >= 0 ? app.folder + app.run.files[app.config_item].install_name + ".ubk" : ""},
      {app.ui_item, app.ui_item >= 0 ? app.folder + app.run.files[app.ui_item].install_name + ".ubk" : ""},
  };
  bool fetched[3] = {false, false, false};
  for (int position = 0; position < 3; ++position) {
    const Leg& leg = legs[position];
    if (leg.index < 0) continue;
    view_.SetOverallPosition(3 * position);
    if (!FetchSelfUpdateFile(leg.index, leg.local)) {
      view_.PostWorkerDone(false);
      return;
    }
    fetched[position] = true;
  }
  CloseFtp(state_);
  ShowHeldProgress(state_);
  view_.SetOverallPosition(10);
  view_.ShowStatus("Download is complete, ongoing updates...");
  ::Sleep(200);
  if (!StartSelfUpdateCopy(app, fetched[1], fetched[2])) {
    view_.PostWorkerDone(false);
    return;
  }
  finished_ = true;
  view_.PostWorkerDone(true);
}

void DownloadPageStage::Finish(bool success) {
  if (finishing_) return;
  finishing_ = true;
  UpdaterApp& app = App();
  state_.pause = true;
  state_.cancel = true;
  if (app.tray_on && app.tray && app.tray->Visible()) app.tray->StopAnimation();
  state_.open_files.CloseAll();
  // A worker that failed may still be on its way out; its connection goes
  // with the stage.
  if (!finished_ || !success) {
    app.SendResult(kResultNotCompleted);
    app.WriteLog("Download failure or forced out of the download process.");
    const bool shown_style =
        app.run.display_style == kStyleNormal || app.run.display_style == kStyleSilent;
    if (!user_cancel_ && shown_style && app.run_mode != RunSelfUpdate &&
        app.run.prompts.dl_win != 0) {
      ::MessageBoxA(nullptr, app.run.prompts.dl_win_msg.c_str(), "Information",
                    MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
    }
  }
  view_.ReleaseBackgroundImages();
  if (app.run_mode != RunSelfUpdate) {
    RunHook(success ? app.run.system.run_dlafters : app.run.system.run_dlafterf, true);
  }
  view_.PostPageDone(!success);
}

void DownloadPageStage::RequestCancel() {
  if (finishing_) return;
  // The worker holds still before its next chunk while the user decides.
  const bool was_paused = state_.pause.exchange(true);
  if (view_.AskCancel()) {
    user_cancel_ = true;
    view_.PostWorkerDone(false);
    return;
  }
  state_.pause = was_paused;
  if (!was_paused && state_.pause_event) ::SetEvent(state_.pause_event.Get());
}

}  // namespace

std::unique_ptr<PageStage> CreateDownloadStage(DownloadPageView& view) {
  return std::make_unique<DownloadPageStage>(view);
}

}  // namespace corvane
