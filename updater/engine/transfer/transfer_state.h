// TransferState: what the transfer engine keeps between operations of one
// download page: the FTP session and connection shared by consecutive items,
// the server directory the last FTP download left behind, the files being
// written, the cancel and pause hand-shake with the user interface thread,
// the performance-counter scale and the view that shows progress.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "updater/engine/net/http_text_fetcher_win.h"
#include "updater/engine/net/transfer_limits.h"
#include "updater/engine/transfer/transfer_view.h"
#include "win32/critical_lock.h"
#include "win32/scoped_handles.h"

namespace corvane {

// The local files that downloads are writing at this moment. While a file is
// listed the list owns its handle: the worker writes through Write(), and
// the abort path on the user interface thread may close every listed file at
// once (CloseAll) to stop a worker; writes then fail and the worker ends.
// Writes and closes are serialised so that a closed handle is never reused
// by a write.
class OpenFileList {
 public:
  OpenFileList() = default;
  ~OpenFileList() { CloseAll(); }
  OpenFileList(const OpenFileList&) = delete;
  OpenFileList& operator=(const OpenFileList&) = delete;

  // Takes the handle; returns an id for Write and Remove.
  int Add(const std::string& path, ScopedFile file);
  // False when the write failed or the file was closed by CloseAll.
  bool Write(int id, const void* data, DWORD size);
  // Cuts the file to `size` bytes and writes on from there (a resumed
  // download continues at its offset, a restarted one at 0).
  bool Truncate(int id, uint64_t size);
  // Closes the file (unless CloseAll already did) and forgets it.
  void Remove(int id);
  // Closes every listed file; returns how many were listed.
  size_t CloseAll();

  size_t Count() const;
  std::vector<std::string> Paths() const;

 private:
  struct Entry {
    int id;
    std::string path;
    HANDLE file;
  };
  mutable CriticalLock mutex_;
  std::vector<Entry> entries_;
  int next_id_ = 1;
};

class NullTransferView : public TransferView {
 public:
  void SetFileProgress(int) override {}
  std::string RowLabel(int) override { return std::string(); }
  void SetRowLabel(int, const std::string&) override {}
  void SetRowProgress(int, int) override {}
  void SetRowRate(int, const std::string&) override {}
  void SetRateLine(const std::string&) override {}
  void ShowStatus(const std::string&) override {}
};

struct TransferState {
  // Creates the pause event and reads the performance-counter frequency;
  // `view` may be null (progress then goes only to the host window).
  explicit TransferState(TransferView* view = nullptr);
  TransferState(const TransferState&) = delete;
  TransferState& operator=(const TransferState&) = delete;

  TransferView& View() { return view ? *view : null_view; }

  // Blocks while the pause flag is set, until the pause event is signalled
  // or the transfer is cancelled (a cancelled worker must not stay blocked).
  // True when it waited.
  bool WaitWhilePaused();

  // Performance-counter ticks since start_tick.
  int64_t ElapsedTicks() const;
  void TakeStartTick();

  // FTP: one session and one connection, kept across items on one server.
  ScopedInternet ftp_session;
  ScopedInternet ftp_connection;
  std::string current_server;
  // Server, user, password and port of the open connection.
  std::string connection_key;
  // The login of the last connection made, so that a download that broke
  // off can log in again to continue.
  struct FtpLogin {
    std::string server, user, password;
    long port = 0;
  } ftp_login;
  std::string last_server;
  std::string last_server_dir;

  OpenFileList open_files;

  // Written by the user interface thread, polled by the worker per chunk.
  std::atomic<bool> cancel{false};
  std::atomic<bool> pause{false};
  ScopedHandle pause_event;  // auto-reset, created not signalled

  double seconds_per_tick = 0.0;
  int64_t start_tick = 0;

  // Connect, send and receive time-out for every handle of the engine; the
  // wait for a whole exchange with a server and the stall window of a body.
  DWORD timeout_ms = kTransferTimeoutMs;

  // Caps of one recursive folder listing (tests lower them).
  ListingLimits listing_limits;

  TransferView* view = nullptr;

  // What ReportTransferProgress last showed for the current file, so that
  // unchanged controls are not updated again for every chunk; `pending`
  // when a later report was held back.
  struct Shown {
    int percent = -1;
    std::string rate_text;
    int64_t tick = 0;
    bool pending = false;
  } shown;

  // The page's controls are updated at most every report interval across
  // files: when they were last (absolute ticks, 0 never), and the report
  // held back since.
  struct PageReport {
    int percent = 0;
    uint32_t total = 0;
    std::string rate_text;
    int row = 0;
    bool percent_changed = false;
    bool rate_changed = false;
  };
  bool hold_page = false;  // set by the download stage around many files
  int64_t page_tick = 0;
  bool page_pending = false;
  PageReport page_report;

  // Performance-counter ticks now.
  int64_t NowTicks() const;

 private:
  NullTransferView null_view;
};

}  // namespace corvane
