// FTP: one connection per server kept across items, file downloads and
// recursive folder listings.
#include <windows.h>
// imagehlp.h needs the Windows types first.
#include <imagehlp.h>

#include <vector>

#include "shared/text_util.h"
#include "updater/engine/net/bounded_internet_win.h"
#include "updater/engine/net/internet_request_win.h"
#include "updater/engine/net/transfer_limits.h"
#include "updater/engine/transfer/folder_listing.h"
#include "updater/engine/transfer/transfer_engine_win.h"
#include "updater/engine/transfer/transfer_progress_win.h"
#include "updater/engine/transfer/transfer_resume.h"
#include "updater/engine/transfer/transfer_text.h"
#include "updater/engine/updater_app.h"

namespace corvane {

namespace {

constexpr int kConnectAttempts = 5;
constexpr DWORD kFtpChunk = 4096;
constexpr DWORD kCloseTimeoutMs = 5000;
// Binary, from the server itself: a restarted transfer must continue the
// server's file, not a cached copy, and a file that is verified and
// installed has no place in the platform's URL cache.
constexpr DWORD kFtpOpenFlags =
    FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
// A server whose folders link back to their parents would otherwise be
// listed for ever.
constexpr int kMaxListingDepth = 32;
// Equals no real server directory (a directory name has no line break), so
// the next download sets its directory again.
const char kUnknownServerDir[] = "\n";

std::string ConnectionKey(const std::string& server, const std::string& user,
                          const std::string& password, long port) {
  return server + '\n' + user + '\n' + password + '\n' + Format("%ld", port & 0xFFFF);
}

// Length of `file_name` in a listing of the server's current directory.
bool LookUpRemoteLength(TransferState& state, const std::string& file_name, uint64_t* size) {
  WIN32_FIND_DATAA data{};
  ScopedInternet find(FindFirstFtpFileBounded(state.ftp_connection.Get(), &data,
                                              state.timeout_ms, &state.cancel));
  if (!find) return false;
  do {
    if (file_name == data.cFileName && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      *size = CombineFileSize(data.nFileSizeHigh, data.nFileSizeLow);
      return true;
    }
  } while (::InternetFindNextFileA(find.Get(), &data));
  return false;
}

// A call that was given up on leaves the connection in the middle of an
// exchange; it cannot serve the next one.
bool GaveUp() {
  const DWORD error = ::GetLastError();
  return error == ERROR_INTERNET_TIMEOUT || error == ERROR_CANCELLED;
}

// Whether the local file holds `expected` at `offset` (read through a
// handle of its own; the download's handle only writes).
bool LocalBytesEqual(const std::string& path, uint64_t offset, const std::vector<char>& expected) {
  ScopedFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER position{};
  position.QuadPart = static_cast<LONGLONG>(offset);
  std::vector<char> here(expected.size());
  DWORD read = 0;
  return ::SetFilePointerEx(file.Get(), position, nullptr, FILE_BEGIN) &&
         ::ReadFile(file.Get(), here.data(), static_cast<DWORD>(here.size()), &read, nullptr) &&
         read == here.size() && here == expected;
}

// Reads exactly `count` bytes of a remote file (fewer only at its end or
// on a failure).
std::vector<char> ReadRemoteBytes(TransferState& state, HINTERNET remote, uint64_t count) {
  std::vector<char> bytes(static_cast<size_t>(count));
  size_t have = 0;
  while (have < bytes.size()) {
    DWORD read = 0;
    if (!ReadInternetFileBounded(remote, bytes.data() + have,
                                 static_cast<DWORD>(bytes.size() - have), &read,
                                 state.timeout_ms, &state.cancel) ||
        read == 0) {
      break;
    }
    have += read;
  }
  bytes.resize(have);
  return bytes;
}

bool EnsureLocalFolder(const std::string& local_path) {
  const std::string folder = LocalFolderOf(local_path);
  if (folder.empty() || IsExistingDirectory(folder)) return true;
  return ::MakeSureDirectoryPathExists((folder + "\\").c_str()) != FALSE;
}

}  // namespace

bool ConnectFtp(TransferState& state, const std::string& server, const std::string& user,
                const std::string& password, long port) {
  UpdaterApp& app = App();
  if (server.empty()) {
    app.WriteLog(" FTP server name can not be empty.");
    return false;
  }
  // The connection is reused only for the very same login: another user or
  // port on the same host needs a connection of its own.
  const std::string key = ConnectionKey(server, user, password, port);
  if (server == state.current_server && state.ftp_connection && key == state.connection_key) {
    return true;
  }
  CloseFtp(state);
  state.ftp_session.Reset(::InternetOpenA(ApplicationTitle().c_str(),
                                          INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!state.ftp_session) {
    app.WriteLog("Cannot open an Internet Session. Please check your internet configuration.");
    return false;
  }
  app.WriteLog("FTP server: " + server);
  app.WriteLog("User name: " + user);
  app.WriteLog("Password: hide");
  app.WriteLog(Format("Port: %ld", port & 0xFFFF));

  const INTERNET_PORT port_number = static_cast<INTERNET_PORT>(port & 0xFFFF);
  for (int attempt = 0; attempt < kConnectAttempts && !state.ftp_connection; ++attempt) {
    if (state.cancel.load()) break;
    SetInternetTimeouts(state.ftp_session.Get(), state.timeout_ms);
    // The login as a whole, not each line of it, must end in the time-out.
    state.ftp_connection.Reset(ConnectFtpBounded(state.ftp_session.Get(), server, port_number,
                                                 user, password, state.timeout_ms,
                                                 &state.cancel));
  }
  if (!state.ftp_connection) {
    app.WriteLog("FTP server: " + server + " Connection Failure.");
    state.current_server.clear();
    return false;
  }
  // Reads and directory changes on this connection must not wait for ever
  // either (not every platform passes the session's time-outs down).
  SetInternetTimeouts(state.ftp_connection.Get(), state.timeout_ms);
  app.WriteLog("FTP server: " + server + " Successful connection.");
  state.current_server = server;
  state.connection_key = key;
  state.ftp_login = TransferState::FtpLogin{server, user, password, port};
  // A new connection starts in the login directory, whatever the last one
  // was left in.
  state.last_server_dir = kUnknownServerDir;
  return true;
}

void CloseFtp(TransferState& state) {
  // Closing says goodbye to the server and waits for its answer; a server
  // that holds it back is not waited for long.
  CloseInternetBounded(state.ftp_connection, kCloseTimeoutMs);
  CloseInternetBounded(state.ftp_session, kCloseTimeoutMs);
  state.current_server.clear();
  state.connection_key.clear();
}

namespace {

// Opens the remote file again after a download broke off with `*received`
// bytes in the local file: logs in anew (the old connection may be in the
// middle of an exchange), and continues with "REST" a little before the
// end of what is here; the bytes sent again must equal those in the file,
// or the server did not continue where asked and the file starts over.
// On return `*received` is where the local file was cut to; null when the
// server cannot be reached or the file not opened.
HINTERNET ReopenFtpFile(TransferState& state, const std::string& directory,
                        const std::string& file_name, const std::string& local_path, int open_id,
                        uint64_t* received, bool start_over) {
  UpdaterApp& app = App();
  const TransferState::FtpLogin login = state.ftp_login;
  CloseFtp(state);
  uint64_t restart = start_over ? 0 : FtpRestartPoint(*received);
  app.WriteLog("Resuming download at byte " + std::to_string(restart == 0 ? 0 : *received) +
               ": " + file_name);
  if (!ConnectFtp(state, login.server, login.user, login.password, login.port)) return nullptr;
  HINTERNET connection = state.ftp_connection.Get();
  if (!SetFtpDirectoryBounded(connection, directory, state.timeout_ms, &state.cancel)) {
    if (GaveUp()) CloseFtp(state);
    app.WriteLog("Unable to set the current directory on the server: " + directory);
    return nullptr;
  }
  state.last_server = state.current_server;
  state.last_server_dir = directory;
  // Some servers take a restart marker only in binary mode, which the
  // file's own open sets only after it.
  if (restart != 0 &&
      (!FtpCommandBounded(connection, "TYPE I", state.timeout_ms, &state.cancel) ||
       !FtpCommandBounded(connection,
                          "REST " + std::to_string(restart),
                          state.timeout_ms, &state.cancel))) {
    if (GaveUp()) {
      CloseFtp(state);
      return nullptr;
    }
    restart = 0;  // no restarts on this server: the whole file again
  }
  ScopedInternet remote(OpenFtpFileBounded(connection, file_name, kFtpOpenFlags, 1,
                                           state.timeout_ms, &state.cancel));
  if (!remote) {
    if (GaveUp()) CloseFtp(state);
    app.WriteLog("Unable to open the file in the Ftp server: " + file_name);
    return nullptr;
  }
  if (restart != 0) {
    const std::vector<char> again = ReadRemoteBytes(state, remote.Get(), *received - restart);
    if (again.size() != *received - restart || !LocalBytesEqual(local_path, restart, again)) {
      CloseInternetBounded(remote, kCloseTimeoutMs);
      if (state.cancel.load()) return nullptr;
      return ReopenFtpFile(state, directory, file_name, local_path, open_id, received, true);
    }
  } else {
    *received = 0;
  }
  if (!state.open_files.Truncate(open_id, *received)) {
    CloseInternetBounded(remote, kCloseTimeoutMs);
    return nullptr;
  }
  return remote.Release();
}

}  // namespace

bool DownloadFtp(TransferState& state, const std::string& remote_path,
                 const std::string& local_path, uint64_t known_size, int row) {
  UpdaterApp& app = App();
  HINTERNET connection = state.ftp_connection.Get();
  if (!IsAcceptableTarget(local_path)) return false;
  if (!EnsureLocalFolder(local_path)) {
    app.WriteLog("Unable to create the file locally: " + local_path);
    return false;
  }
  std::string directory, file_name;
  SplitFtpRemotePath(remote_path, &directory, &file_name);
  if (!connection) {
    app.WriteLog("Unable to set the current directory on the server: " + directory);
    return false;
  }
  if (state.current_server != state.last_server || directory != state.last_server_dir) {
    if (!SetFtpDirectoryBounded(connection, directory, state.timeout_ms, &state.cancel)) {
      if (GaveUp()) CloseFtp(state);
      app.WriteLog("Unable to set the current directory on the server: " + directory);
      return false;
    }
    state.last_server = state.current_server;
    state.last_server_dir = directory;
  }

  uint64_t size = known_size;
  if (size == 0 && !LookUpRemoteLength(state, file_name, &size)) {
    if (GaveUp()) {
      CloseFtp(state);
      app.WriteLog("Unable to open the file in the Ftp server: " + file_name);
      return false;
    }
    app.WriteLog("Can not get file length.");
    size = 0;
  }
  TransferView& view = state.View();
  if (size != 0) AnnotateRow(state, row, size);
  ResetFileProgress(state);
  if (size != 0 && SkipWhenPresent(state, local_path, size, row)) return true;

  ScopedInternet remote(OpenFtpFileBounded(connection, file_name, kFtpOpenFlags, 1,
                                           state.timeout_ms, &state.cancel));
  if (!remote) {
    if (GaveUp()) CloseFtp(state);
    app.WriteLog("Unable to open the file in the Ftp server: " + file_name);
    return false;
  }
  ScopedFile file(::CreateFileA(local_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    CloseInternetBounded(remote, state.timeout_ms);
    app.WriteLog("Unable to create the file locally: " + local_path);
    return false;
  }
  const int open_id = state.open_files.Add(local_path, std::move(file));
  state.TakeStartTick();

  uint64_t received = 0;
  ResumeBudget budget;
  bool whole = false;
  for (;;) {
    const ChunkLoopEnd end = CopyInternetBody(state, remote.Get(), BodySource::kFtp, open_id,
                                              kFtpChunk, size, 0, row, &received);
    if (end == ChunkLoopEnd::kStalled || end == ChunkLoopEnd::kCancelled) {
      // The data connection is still open and the server may hold it: the
      // connection cannot serve another file.
      if (end == ChunkLoopEnd::kStalled) app.WriteLog("The server stopped sending: " + file_name);
      CloseInternetBounded(remote, kCloseTimeoutMs);
      CloseFtp(state);
    } else {
      CloseInternetBounded(remote, state.timeout_ms);
    }
    // A listed length that did not arrive means the data connection broke.
    whole = end == ChunkLoopEnd::kEndOfData && (size == 0 || received == size);
    const bool broke = end == ChunkLoopEnd::kReadFailed || end == ChunkLoopEnd::kStalled ||
                       end == ChunkLoopEnd::kEndOfData;
    // Without a listed length a broken file cannot be told from a whole one,
    // nor the rest checked: it is not continued.
    if (whole || !broke || state.cancel.load() || size == 0 || received >= size) break;
    if (!budget.Allow(end == ChunkLoopEnd::kStalled ? TransferBreak::kStalled
                                                     : TransferBreak::kClosed,
                      received)) {
      break;
    }
    remote.Reset(
        ReopenFtpFile(state, directory, file_name, local_path, open_id, &received, false));
    if (!remote) break;
  }
  state.open_files.Remove(open_id);

  if (!whole || state.cancel.load()) return false;
  view.ShowStatus("OK!");
  return true;
}

namespace {

// False when the whole listing must stop (cap, cancel, a server that does
// not answer); a folder that cannot be opened only fails itself.
bool ListFtpFolderAt(TransferState& state, FolderListing& listing, const std::string& folder,
                     int depth, bool* folder_opened) {
  if (state.cancel.load()) return false;
  switch (listing.bounds().EnterFolder(FtpFolderIdentity(folder))) {
    case ListingBounds::Visit::kAlreadyListed:
      return true;
    case ListingBounds::Visit::kTooManyFolders:
      return false;
    case ListingBounds::Visit::kList:
      break;
  }
  HINTERNET connection = state.ftp_connection.Get();
  // Whatever happens next, the server's directory is no longer the one the
  // last download left.
  state.last_server_dir = kUnknownServerDir;
  if (!connection ||
      !SetFtpDirectoryBounded(connection, folder, state.timeout_ms, &state.cancel)) {
    const bool gave_up = GaveUp();
    App().WriteLog("Can not open the server folder: " + folder);
    if (gave_up) CloseFtp(state);
    return !gave_up;
  }
  if (folder_opened) *folder_opened = true;
  std::vector<std::string> subfolders;
  WIN32_FIND_DATAA data{};
  {
    // One listing at a time per connection: finish it before recursing.
    ScopedInternet find(
        FindFirstFtpFileBounded(connection, &data, state.timeout_ms, &state.cancel));
    if (!find && GaveUp()) {
      App().WriteLog("Can not open the server folder: " + folder);
      CloseFtp(state);
      return false;
    }
    if (find) {
      do {
        const std::string name = data.cFileName;
        if (name.empty() || name == "." || name == "..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          if (listing.recurse() && !listing.AcceptFolder(folder, name)) return false;
          subfolders.push_back(folder + "/" + name);
        } else if (!listing.AddFile(folder, name, FtpTemporaryName(folder, name), CombineFileSize(data.nFileSizeHigh, data.nFileSizeLow))) {
          return false;
        }
      } while (::InternetFindNextFileA(find.Get(), &data));
    }
  }
  if (listing.recurse() && depth < kMaxListingDepth) {
    for (const std::string& subfolder : subfolders) {
      if (!ListFtpFolderAt(state, listing, subfolder, depth + 1, nullptr)) return false;
    }
  }
  return true;
}

}  // namespace

bool ListFtpFolder(TransferState& state, const std::string& root, const std::string& folder,
                   std::vector<DownloadEntry>* entries, const std::string& filter,
                   bool recurse) {
  FolderListing listing(root, entries, filter, recurse, state.listing_limits);
  bool opened = false;
  const bool whole = ListFtpFolderAt(state, listing, folder, 0, &opened);
  if (listing.bounds().exceeded()) App().WriteLog(listing.bounds().ExceededText(folder));
  if (listing.refused()) App().WriteLog(listing.RefusedText());
  return whole && opened && !state.cancel.load();
}

}  // namespace corvane
