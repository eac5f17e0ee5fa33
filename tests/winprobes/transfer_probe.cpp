// Drives the transfer engine directly, the way the download page does: the
// operation runs on a worker thread while this thread owns a hidden host
// window and collects the messages posted to it. Everything the engine does
// is printed as one line per event:
//   VIEW <call> <args...>        calls on the TransferView, in order
//   MSG <offset> <wParam> <lParam>  host messages (WM_USER+offset), in order
//   LOG <line>                   update.log lines without the time stamp
//   ENTRY <subfolder>\t<name>\t<temporary>\t<size>   listing results
//   ENTRYCOUNT <n>               how many entries a listing produced
//   STATUSTEXT <hex>             texts the text fetcher put in its status window
//   RESULT <0|1>                 the operation's result (one per operation)
//   OPENFILES <n>                files still in the open-file list afterwards
//   ELAPSED <ms>                 wall time of the worker
//
// Usage: transfer_probe.exe [options] <command> <args...>
//   --log <path>        log to this update.log
//   --timeout <ms>      connect/send/receive time-out of the engine handles
//   --cancel-at <pct>   set the cancel flag once the file bar reaches pct
//   --pause-at <pct>    set the pause flag once the file bar reaches pct; a
//                       helper thread releases it after --pause-ms (default 1500)
//   --cancel-paused     the helper cancels instead of releasing the pause
//   --cancel-after <ms> a helper thread sets the cancel flag after ms
//   --listing-caps <folders>,<entries>  caps of a recursive listing
//   --row-label <text>  label of row 0 (default "file.bin")
//   --quiet             count view calls, messages and listed entries instead
//                       of printing them
//   --no-host           no host window
// Commands:
//   status <url>
//   http <url> <local> [<url> <local> ...]
//   ftp <server> <port> <user> <password> <remote> <local> [<remote> <local> ...]
//   ftplist <server> <port> <user> <password> <folder> <filter> <recurse>
//   copy <source> <local>
//   locallist <folder> <filter> <recurse>
//   fetch <url> <data-receive-timeout-ms>
//   checks <path> <size>
//   trust <certificate.der>     adds a certificate to the prefix's root store
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "updater/engine/net/http_text_fetcher_win.h"
#include "updater/engine/transfer/transfer_engine_win.h"
#include "updater/engine/updater_app.h"

using namespace corvane;

namespace {

struct Options {
  std::string log_path;
  DWORD timeout_ms = kTransferTimeoutMs;
  int cancel_at = -1;
  int pause_at = -1;
  DWORD pause_ms = 1500;
  bool cancel_paused = false;
  DWORD cancel_after_ms = 0;
  ListingLimits listing_limits;
  std::string row_label = "file.bin";
  bool quiet = false;
  bool host = true;
};

Options g_options;
TransferState* g_state = nullptr;

void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

// Records the view calls in memory (printing per chunk would slow the
// transfer down) and plays the user's part for cancel and pause.
class RecordingView : public TransferView {
 public:
  void SetFileProgress(int percent) override {
    Add("SetFileProgress " + std::to_string(percent));
    if (g_options.cancel_at >= 0 && percent >= g_options.cancel_at && !g_state->cancel) {
      g_state->cancel = true;
      Add("CANCEL");
    }
    if (g_options.pause_at >= 0 && percent >= g_options.pause_at && !paused_once_) {
      paused_once_ = true;
      g_state->pause = true;
      Add("PAUSE");
      ::CloseHandle(::CreateThread(nullptr, 0, &ReleasePause, nullptr, 0, nullptr));
    }
  }
  std::string RowLabel(int row) override { return row == 0 ? label_ : std::string(); }
  void SetRowLabel(int row, const std::string& text) override {
    if (row == 0) label_ = text;
    Add("SetRowLabel " + std::to_string(row) + " " + text);
  }
  void SetRowProgress(int row, int percent) override {
    Add("SetRowProgress " + std::to_string(row) + " " + std::to_string(percent));
  }
  void SetRowRate(int row, const std::string& rate) override {
    Add("SetRowRate " + std::to_string(row) + " " + rate);
  }
  void SetRateLine(const std::string& text) override { Add("SetRateLine " + text); }
  void ShowStatus(const std::string& text) override { Add("ShowStatus " + text); }

  void Print() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (g_options.quiet) {
      PrintLine("VIEWCALLS " + std::to_string(calls_.size()));
      if (!calls_.empty()) PrintLine("VIEW " + calls_.back());
      return;
    }
    for (const std::string& call : calls_) PrintLine("VIEW " + call);
  }
  void SetLabel(const std::string& label) { label_ = label; }

 private:
  static DWORD WINAPI ReleasePause(void*) {
    ::Sleep(g_options.pause_ms);
    if (g_options.cancel_paused) {
      g_state->cancel = true;  // the abort path: no signal comes
    } else {
      g_state->pause = false;
      ::SetEvent(g_state->pause_event.Get());
    }
    return 0;
  }
  void Add(const std::string& call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(call);
  }

  std::mutex mutex_;
  std::vector<std::string> calls_;
  std::string label_;
  bool paused_once_ = false;
};

struct Job {
  std::vector<std::string> args;  // command and its arguments
  std::vector<std::string> out;   // lines produced by the worker
  bool result = false;
};

void PrintEntries(Job& job, const std::vector<DownloadEntry>& entries) {
  job.out.push_back("ENTRYCOUNT " + std::to_string(entries.size()));
  if (g_options.quiet) return;
  for (const DownloadEntry& e : entries) {
    job.out.push_back("ENTRY " + e.subfolder + "\t" + e.file_name + "\t" + e.temporary_name +
                      "\t" + std::to_string(e.size));
  }
}

// The user cancelling while an operation runs (a long listing, a stalled
// transfer): the flag the download page sets.
DWORD WINAPI CancelLater(void*) {
  ::Sleep(g_options.cancel_after_ms);
  g_state->cancel = true;
  return 0;
}

void RunJob(Job& job) {
  TransferState& state = *g_state;
  const std::vector<std::string>& a = job.args;
  const std::string& command = a[0];
  auto need = [&](size_t n) {
    if (a.size() < n) {
      job.out.push_back("ERROR missing arguments");
      return false;
    }
    return true;
  };
  if (command == "status" && need(2)) {
    std::string error;
    job.result = CheckHttpStatus(a[1], &error, state.timeout_ms);
    job.out.push_back("ERRORTEXT " + error);
  } else if (command == "http" && need(3)) {
    job.result = true;
    for (size_t i = 1; i + 1 < a.size(); i += 2) {
      const bool ok = DownloadHttp(state, a[i], a[i + 1], 0);
      job.out.push_back("FILE " + std::to_string(ok ? 1 : 0));
      job.result = job.result && ok;
    }
  } else if (command == "ftp" && need(7)) {
    job.result = true;
    for (size_t i = 5; i + 1 < a.size(); i += 2) {
      // As the download stage does: connect before every file.
      bool ok = ConnectFtp(state, a[1], a[3], a[4], std::atol(a[2].c_str()));
      ok = ok && DownloadFtp(state, a[i], a[i + 1], 0, 0);
      job.out.push_back("FILE " + std::to_string(ok ? 1 : 0));
      job.result = job.result && ok;
    }
    CloseFtp(state);
  } else if (command == "ftplist" && need(8)) {
    std::vector<DownloadEntry> entries;
    job.result = ConnectFtp(state, a[1], a[3], a[4], std::atol(a[2].c_str())) &&
                 ListFtpFolder(state, a[5], a[5], &entries, a[6], a[7] == "1");
    PrintEntries(job, entries);
    CloseFtp(state);
  } else if (command == "copy" && need(3)) {
    job.result = CopyLocal(state, a[1], a[2], 0);
  } else if (command == "locallist" && need(4)) {
    std::vector<DownloadEntry> entries;
    job.result = ListLocalFolder(state, a[1], a[1], &entries, a[2], a[3] == "1");
    PrintEntries(job, entries);
  } else if (command == "checks" && need(3)) {
    const uint64_t size = std::strtoull(a[2].c_str(), nullptr, 10);
    job.out.push_back("EXISTSWITHSIZE " + std::to_string(FileExistsWithSize(a[1], size) ? 1 : 0));
    job.out.push_back("ISDIRECTORY " + std::to_string(IsExistingDirectory(a[1]) ? 1 : 0));
    job.out.push_back("NONEMPTY " + std::to_string(IsNonEmptyFile(a[1]) ? 1 : 0));
    job.result = true;
  } else if (job.out.empty()) {
    job.out.push_back("ERROR unknown command " + command);
  }
}

DWORD WINAPI Worker(void* param) {
  RunJob(*static_cast<Job*>(param));
  return 0;
}

std::string Hex(const std::string& text) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : text) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// Records every text the fetcher gives its status window.
WNDPROC g_static_proc = nullptr;
std::vector<std::string> g_status_texts;
LRESULT CALLBACK StatusProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_SETTEXT && lp) g_status_texts.push_back(reinterpret_cast<const char*>(lp));
  return ::CallWindowProcA(g_static_proc, hwnd, msg, wp, lp);
}

// Lets a test server's self-signed certificate be trusted, so HTTPS can be
// tested for real. crypt32 is not among the programs' libraries, hence the
// run-time lookup.
int RunTrust(const std::vector<std::string>& a) {
  if (a.size() < 2) {
    PrintLine("ERROR missing arguments");
    return 2;
  }
  std::ifstream in(a[1], std::ios::binary);
  const std::string der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  using OpenStore = void*(WINAPI*)(ULONG_PTR, const char*);
  using AddEncoded = BOOL(WINAPI*)(void*, DWORD, const BYTE*, DWORD, DWORD, void*);
  using CloseStore = BOOL(WINAPI*)(void*, DWORD);
  HMODULE crypt32 = ::LoadLibraryA("crypt32.dll");
  auto open_store = reinterpret_cast<OpenStore>(::GetProcAddress(crypt32, "CertOpenSystemStoreA"));
  auto add = reinterpret_cast<AddEncoded>(
      ::GetProcAddress(crypt32, "CertAddEncodedCertificateToStore"));
  auto close = reinterpret_cast<CloseStore>(::GetProcAddress(crypt32, "CertCloseStore"));
  bool ok = false;
  if (open_store && add && close && !der.empty()) {
    void* store = open_store(0, "ROOT");
    const DWORD kX509Asn = 1, kReplaceExisting = 3;
    ok = store && add(store, kX509Asn, reinterpret_cast<const BYTE*>(der.data()),
                      static_cast<DWORD>(der.size()), kReplaceExisting, nullptr);
    if (store) close(store, 0);
  }
  PrintLine("RESULT " + std::to_string(ok ? 1 : 0));
  return 0;
}

int RunFetch(const std::vector<std::string>& a) {
  if (a.size() < 3) {
    PrintLine("ERROR missing arguments");
    return 2;
  }
  HWND status = ::CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                nullptr);
  g_static_proc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(status, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StatusProc)));
  HttpTextFetcher fetcher;
  fetcher.SetReceiveTimeout(static_cast<DWORD>(std::atol(a[2].c_str())));
  fetcher.SetConnectionTimeout(g_options.timeout_ms);
  fetcher.SetStatusWindow(status);
  std::string text;
  const DWORD started = ::GetTickCount();
  const bool ok = fetcher.FetchHttpText(a[1], &text);
  const DWORD elapsed = ::GetTickCount() - started;
  fetcher.CloseSession();
  for (const std::string& t : g_status_texts) PrintLine("STATUSTEXT " + Hex(t));
  PrintLine("STATUSCODE " + std::to_string(fetcher.status_code()));
  PrintLine("HEADERS " + Hex(fetcher.raw_headers()));
  PrintLine("ERRORTEXT " + fetcher.error_text());
  PrintLine("FINALSTATUS " + Hex(fetcher.status_text()));
  PrintLine("TEXTLEN " + std::to_string(text.size()));
  PrintLine("TEXT " + Hex(text.substr(0, 4096)));
  PrintLine("ELAPSED " + std::to_string(elapsed));
  PrintLine("RESULT " + std::to_string(ok ? 1 : 0));
  ::DestroyWindow(status);
  return 0;
}

void PrintLog(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Strip "%H:%M:%S    ".
    if (line.size() >= 12 && line[2] == ':' && line[5] == ':') line = line.substr(12);
    PrintLine("LOG " + line);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  size_t i = 0;
  for (; i < args.size() && args[i].compare(0, 2, "--") == 0; ++i) {
    const std::string& o = args[i];
    const std::string value = i + 1 < args.size() ? args[i + 1] : std::string();
    if (o == "--log") { g_options.log_path = value; ++i; }
    else if (o == "--timeout") { g_options.timeout_ms = std::atol(value.c_str()); ++i; }
    else if (o == "--cancel-at") { g_options.cancel_at = std::atoi(value.c_str()); ++i; }
    else if (o == "--pause-at") { g_options.pause_at = std::atoi(value.c_str()); ++i; }
    else if (o == "--pause-ms") { g_options.pause_ms = std::atol(value.c_str()); ++i; }
    else if (o == "--cancel-paused") g_options.cancel_paused = true;
    else if (o == "--cancel-after") { g_options.cancel_after_ms = std::atol(value.c_str()); ++i; }
    else if (o == "--listing-caps") {
      g_options.listing_limits.max_folders = std::strtoul(value.c_str(), nullptr, 10);
      const size_t comma = value.find(',');
      if (comma != std::string::npos) {
        g_options.listing_limits.max_entries = std::strtoul(value.c_str() + comma + 1, nullptr, 10);
      }
      ++i;
    }
    else if (o == "--row-label") { g_options.row_label = value; ++i; }
    else if (o == "--quiet") g_options.quiet = true;
    else if (o == "--no-host") g_options.host = false;
  }
  if (i >= args.size()) {
    PrintLine("ERROR no command");
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);

  UpdaterApp app;
  if (!g_options.log_path.empty()) {
    app.log.SetEnabled(true);
    app.log.Open(g_options.log_path);
  }
  Job job;
  job.args.assign(args.begin() + static_cast<long>(i), args.end());
  if (job.args[0] == "trust") {
    const int rc = RunTrust(job.args);
    std::fflush(stdout);
    return rc;
  }
  if (job.args[0] == "fetch") {
    const int rc = RunFetch(job.args);
    app.log.Close();
    if (!g_options.log_path.empty()) PrintLog(g_options.log_path);
    std::fflush(stdout);
    return rc;
  }

  HWND host = nullptr;
  if (g_options.host) {
    host = ::CreateWindowA("STATIC", "transfer probe host", 0, 0, 0, 10, 10, HWND_MESSAGE,
                           nullptr, nullptr, nullptr);
    app.host_window = host;
    PrintLine("HOST " + std::to_string(reinterpret_cast<INT_PTR>(host)));
  }
  RecordingView view;
  view.SetLabel(g_options.row_label);
  TransferState state(&view);
  state.timeout_ms = g_options.timeout_ms;
  state.listing_limits = g_options.listing_limits;
  g_state = &state;

  std::vector<std::string> messages;
  size_t message_count = 0;
  MSG last{};
  auto take = [&](const MSG& msg) {
    if (msg.hwnd == host && host && msg.message >= WM_USER + 990 && msg.message <= WM_USER + 999) {
      ++message_count;
      last = msg;
      if (!g_options.quiet) {
        messages.push_back("MSG " + std::to_string(msg.message - WM_USER) + " " +
                           std::to_string(static_cast<long long>(msg.wParam)) + " " +
                           std::to_string(static_cast<long>(msg.lParam)));
      }
      return;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  };

  const DWORD started = ::GetTickCount();
  HANDLE worker = ::CreateThread(nullptr, 0, &Worker, &job, 0, nullptr);
  if (g_options.cancel_after_ms) {
    ::CloseHandle(::CreateThread(nullptr, 0, &CancelLater, nullptr, 0, nullptr));
  }
  for (;;) {
    const DWORD wait = ::MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) take(msg);
    if (wait == WAIT_OBJECT_0) break;
  }
  const DWORD elapsed = ::GetTickCount() - started;
  ::CloseHandle(worker);
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) take(msg);

  view.Print();
  if (g_options.quiet) {
    PrintLine("MSGCOUNT " + std::to_string(message_count));
    if (message_count) {
      PrintLine("MSG " + std::to_string(last.message - WM_USER) + " " +
                std::to_string(static_cast<long long>(last.wParam)) + " " +
                std::to_string(static_cast<long>(last.lParam)));
    }
  }
  for (const std::string& m : messages) PrintLine(m);
  for (const std::string& line : job.out) PrintLine(line);
  PrintLine("OPENFILES " + std::to_string(state.open_files.Count()));
  PrintLine("ELAPSED " + std::to_string(elapsed));
  PrintLine("RESULT " + std::to_string(job.result ? 1 : 0));
  app.log.Close();
  if (!g_options.log_path.empty()) PrintLog(g_options.log_path);
  std::fflush(stdout);
  if (host) ::DestroyWindow(host);
  return 0;
}
