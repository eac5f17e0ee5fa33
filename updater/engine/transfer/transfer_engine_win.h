// The transfer engine: moves single files and folder listings from an update
// source (HTTP/HTTPS, FTP, file:// or a local/network path) to the local
// disk, reporting progress per chunk through the TransferState's view and to
// the host window. Every operation runs on the download worker and reports
// failure by its result (and a log line where one is defined).
//
// Calling order: FTP sources call ConnectFtp first, then DownloadFtp or
// ListFtpFolder on the same thread, and CloseFtp when all items are done.
// HTTP sources call CheckHttpStatus (http_text_fetcher_win.h) and only on
// success DownloadHttp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "updater/engine/net/http_text_fetcher_win.h"
#include "updater/engine/transfer/transfer_state.h"
#include "updater/engine/update_items.h"

namespace corvane {

// Fetches `url` into `local_path` (created or truncated). Fails without a
// Content-Length, on a write error, after a cancel, or when an HTTPS URL was
// redirected away from HTTPS. A body that breaks off (closed, reset, shorter
// than announced, stalled) is continued up to three times with Range and
// If-Range, or started over where no validator protects a range (see
// transfer_resume.h); then it fails. A file already present with exactly
// the announced length is kept ("The file was downloaded, no need to
// download."). With `probe_answer` holding the status check's whole answer
// (CheckHttpStatus), its body is read instead of a new request.
bool DownloadHttp(TransferState& state, const std::string& url, const std::string& local_path,
                  int row, HttpWholeAnswer* probe_answer = nullptr);

// Makes sure state.ftp_connection points at `server` (reused when it does).
// `port` 0 means the FTP default. Up to five attempts.
bool ConnectFtp(TransferState& state, const std::string& server, const std::string& user,
                const std::string& password, long port);

// Fetches `remote_path` ("/"-separated) from the connected server into
// `local_path`, creating the local folder. `known_size` 0 looks the length up
// in a listing of the server directory. Every exchange with the server must
// end within the state's time-out, and the data must keep coming (see
// StallWindow); a server that holds either fails the download and the
// connection is dropped (the next ConnectFtp opens a new one). A file of
// known length whose transfer breaks off is continued up to three times
// over a new login with REST, the bytes sent again checked against those
// already here.
bool DownloadFtp(TransferState& state, const std::string& remote_path,
                 const std::string& local_path, uint64_t known_size, int row);

// Copies a local or network file (a file:// URL reduced to a path).
bool CopyLocal(TransferState& state, const std::string& source_path,
               const std::string& local_path, int row);

// Append an entry for every file below `folder` that passes `filter`; the
// first call passes the same path as `root` and `folder`. Listed names that
// could leave the item's folder ("..", names with "/", "\" or ":") are
// skipped. A folder reached again (through a link) is not listed twice; a
// listing of more than ListingLimits' folders or entries fails with a log
// line, and so does a cancelled one (the flag is read between folders).
bool ListFtpFolder(TransferState& state, const std::string& root, const std::string& folder,
                   std::vector<DownloadEntry>* entries, const std::string& filter,
                   bool recurse);
bool ListLocalFolder(TransferState& state, const std::string& root, const std::string& folder,
                     std::vector<DownloadEntry>* entries, const std::string& filter,
                     bool recurse);

// Closes the FTP connection, then the session; forgets the current server.
void CloseFtp(TransferState& state);

// One progress report: file bar, row progress (not for "<dir>" rows),
// WM_USER+997 (100, percent), rate column, rate line, tray tooltip when the
// tray is shown, WM_USER+996 (total, bytes). Controls are touched only when
// their value changes, and reports that change no percentage are held back
// to one per 50 ms; the downloads always make the last state of a file
// known (bytes reaching total, 100 percent).
void ReportTransferProgress(TransferState& state, uint32_t bytes, uint32_t total,
                            const std::string& rate_text, int row);

// Small file checks, also used by the download and update stages.
bool FileExistsWithSize(const std::string& path, uint64_t size);
bool IsExistingDirectory(const std::string& path);
// A file of 0 bytes counts as missing.
bool IsNonEmptyFile(const std::string& path);

}  // namespace corvane
