// FTP: one connection per server kept across items, file downloads and
// recursive folder listings.
#include <windows.h>
// imagehlp.h needs the Windows types first.
#include <imagehlp.h>

#include <vector>

#include "shared/text_util.h"
#include "updater/engine/bounded_internet_win.h"
#include "updater/engine/internet_request_win.h"
#include "updater/engine/transfer_engine_win.h"
#include "updater/engine/transfer_limits.h"
#include "updater/engine/transfer_progress_win.h"
#include "updater/engine/transfer_text.h"
#include "updater/engine/updater_app.h"

namespace corvane {

namespace {

constexpr int kConnectAttempts = 5;
constexpr DWORD kFtpChunk = 4096;
constexpr DWORD kCloseTimeoutMs = 5000;
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
  view.SetFileProgress(0);
  if (size != 0 && SkipWhenPresent(state, local_path, size, row)) return true;

  ScopedInternet remote(OpenFtpFileBounded(connection, file_name, FTP_TRANSFER_TYPE_BINARY, 1,
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
  const ChunkLoopEnd end = CopyInternetBody(state, remote.Get(), BodySource::kFtp, open_id,
                                            kFtpChunk, size, 0, row, &received);
  state.open_files.Remove(open_id);
  if (end == ChunkLoopEnd::kStalled || end == ChunkLoopEnd::kCancelled) {
    // The data connection is still open and the server may hold it: the
    // connection cannot serve another file.
    if (end == ChunkLoopEnd::kStalled) app.WriteLog("The server stopped sending: " + file_name);
    CloseInternetBounded(remote, kCloseTimeoutMs);
    CloseFtp(state);
    return false;
  }
  CloseInternetBounded(remote, state.timeout_ms);

  if (end != ChunkLoopEnd::kEndOfData || state.cancel.load()) return false;
  // A listed length that did not arrive means the data connection broke.
  if (size != 0 && received != size) return false;
  view.ShowStatus("OK!");
  return true;
}

namespace {

// One recursive listing: the caps and the folders seen so far.
struct FtpListing {
  TransferState& state;
  const std::string& root;
  std::vector<DownloadEntry>* entries;
  const std::string& filter;
  bool recurse;
  ListingBounds bounds;
};

// False when the whole listing must stop (cap, cancel, a server that does
// not answer); a folder that cannot be opened only fails itself.
bool ListFtpFolderAt(FtpListing& listing, const std::string& folder, int depth,
                     bool* folder_opened) {
  TransferState& state = listing.state;
  if (state.cancel.load()) return false;
  switch (listing.bounds.EnterFolder(FtpFolderIdentity(folder))) {
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
        if (!IsSafeListedName(name)) continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          subfolders.push_back(folder + "/" + name);
        } else if (MatchFileFilter(name, listing.filter)) {
          if (!listing.bounds.AddEntry()) return false;
          DownloadEntry entry;
          entry.subfolder = ListingSubfolder(listing.root, folder);
          entry.file_name = name;
          entry.temporary_name = FtpTemporaryName(folder, name);
          entry.size = CombineFileSize(data.nFileSizeHigh, data.nFileSizeLow);
          listing.entries->push_back(entry);
        }
      } while (::InternetFindNextFileA(find.Get(), &data));
    }
  }
  if (listing.recurse && depth < kMaxListingDepth) {
    for (const std::string& subfolder : subfolders) {
      if (!ListFtpFolderAt(listing, subfolder, depth + 1, nullptr)) return false;
    }
  }
  return true;
}

}  // namespace

bool ListFtpFolder(TransferState& state, const std::string& root, const std::string& folder,
                   std::vector<DownloadEntry>* entries, const std::string& filter,
                   bool recurse) {
  FtpListing listing{state, root, entries, filter, recurse,
                         ListingBounds(state.listing_limits)};
  bool opened = false;
  const bool whole = ListFtpFolderAt(listing, folder, 0, &opened);
  if (listing.bounds.exceeded()) App().WriteLog(listing.bounds.ExceededText(folder));
  return whole && opened && !state.cancel.load();
}

}  // namespace corvane
