// Local and network sources (file:// URLs reduced to a path), the local
// folder listing and the small file checks.
#include <vector>

#include "shared/text_util.h"
#include "updater/engine/net/transfer_limits.h"
#include "updater/engine/transfer/folder_listing.h"
#include "updater/engine/transfer/transfer_engine_win.h"
#include "updater/engine/transfer/transfer_progress_win.h"
#include "updater/engine/transfer/transfer_text.h"
#include "updater/engine/updater_app.h"

namespace corvane {

namespace {

// Local reads cost a call into the file system each, however small: a
// large block copies most files in one read and one write. Progress is
// shown by time (ReportTransferProgress), not by block.
constexpr DWORD kCopyChunk = 256 * 1024;
// A bound on recursion itself; loops through junctions are caught by the
// visited set before this.
constexpr int kMaxListingDepth = 32;

bool GetAttributes(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA* data) {
  return !path.empty() && ::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, data);
}

uint64_t SizeOf(const WIN32_FILE_ATTRIBUTE_DATA& data) {
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

bool FileExistsWithSize(const std::string& path, uint64_t size) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetAttributes(path, &data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  return SizeOf(data) == size;
}

bool IsExistingDirectory(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return GetAttributes(path, &data) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsNonEmptyFile(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetAttributes(path, &data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  return SizeOf(data) > 0;
}

bool CopyLocal(TransferState& state, const std::string& source_path,
               const std::string& local_path, int row) {
  UpdaterApp& app = App();
  if (!IsAcceptableTarget(local_path)) return false;
  ScopedFile source(::CreateFileA(source_path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!source) {
    app.WriteLog("Failed to read the file: " + source_path);
    return false;
  }
  LARGE_INTEGER source_length{};
  if (!::GetFileSizeEx(source.Get(), &source_length)) {
    app.WriteLog("Failed to read the file: " + source_path);
    return false;
  }
  // Progress is reported in 32 bits; larger files show as full at 4 GB.
  const uint32_t length = source_length.QuadPart > 0xFFFFFFFFLL
                              ? 0xFFFFFFFFu
                              : static_cast<uint32_t>(source_length.QuadPart);
  ScopedFile target(::CreateFileA(local_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!target) {
    app.WriteLog("Create file failed.");
    return false;
  }
  const int open_id = state.open_files.Add(local_path, std::move(target));
  TransferView& view = state.View();
  if (length != 0) AnnotateRow(state, row, length);
  ResetFileProgress(state);
  state.TakeStartTick();

  std::vector<char> chunk(kCopyChunk);
  std::string rate_text;
  uint64_t copied = 0;
  bool failed = false;
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(source.Get(), chunk.data(), kCopyChunk, &read, nullptr)) {
      failed = true;
      break;
    }
    if (read > 0 && !state.open_files.Write(open_id, chunk.data(), read)) {
      failed = true;
      break;
    }
    if (state.cancel.load()) break;
    copied += read;
    UpdateRateText(&rate_text, copied, state.ElapsedTicks(), state.seconds_per_tick, true);
    const uint32_t shown = copied > length ? length : static_cast<uint32_t>(copied);
    ReportTransferProgress(state, shown, length, rate_text, row);
    state.WaitWhilePaused();
    if (read != kCopyChunk) break;
  }
  FinishTransferProgress(state, copied > length ? length : static_cast<uint32_t>(copied), length,
                         rate_text, row);
  state.open_files.Remove(open_id);
  source.Reset();

  if (state.cancel.load() || failed) return false;
  view.ShowStatus("OK!");
  return true;
}

namespace {

// The file system's own identity of a folder (volume and file index), so a
// junction or link back up the tree is seen as a folder already listed
// however long its path has grown; the folded path where the id cannot be
// read.
std::string LocalFolderIdentity(const std::string& folder) {
  ScopedFile handle(::CreateFileA(folder.c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (handle && ::GetFileInformationByHandle(handle.Get(), &info)) {
    return Format("%08lx:%08lx%08lx", static_cast<unsigned long>(info.dwVolumeSerialNumber),
                  static_cast<unsigned long>(info.nFileIndexHigh),
                  static_cast<unsigned long>(info.nFileIndexLow));
  }
  return ToLowerAscii(folder);
}

// False when the whole listing must stop (cap or cancel).
bool ListLocalFolderAt(TransferState& state, FolderListing& listing, const std::string& folder,
                       int depth, bool* folder_opened) {
  if (state.cancel.load()) return false;
  if (!IsExistingDirectory(folder)) {
    App().WriteLog("Folder does not exist: " + folder);
    return true;
  }
  switch (listing.bounds().EnterFolder(LocalFolderIdentity(folder))) {
    case ListingBounds::Visit::kAlreadyListed:
      return true;
    case ListingBounds::Visit::kTooManyFolders:
      return false;
    case ListingBounds::Visit::kList:
      break;
  }
  if (folder_opened) *folder_opened = true;
  const std::string pattern = folder + (EndsWith(folder, "\\") ? "*.*" : "\\*.*");
  std::vector<std::string> subfolders;
  WIN32_FIND_DATAA data{};
  {
    ScopedFind find(::FindFirstFileA(pattern.c_str(), &data));
    if (find) {
      do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          if (listing.recurse() && !listing.AcceptFolder(folder, name)) return false;
          subfolders.push_back(folder + "\\" + name);
        } else if (!listing.AddFile(folder, name, LocalTemporaryName(folder, name), 0)) {
          return false;  // (a local copy takes its length from the file itself)
        }
      } while (::FindNextFileA(find.Get(), &data));
    }
  }
  if (listing.recurse() && depth < kMaxListingDepth) {
    for (const std::string& subfolder : subfolders) {
      if (!ListLocalFolderAt(state, listing, subfolder, depth + 1, nullptr)) return false;
    }
  }
  return true;
}

}  // namespace

bool ListLocalFolder(TransferState& state, const std::string& root, const std::string& folder,
                     std::vector<DownloadEntry>* entries, const std::string& filter,
                     bool recurse) {
  FolderListing listing(root, entries, filter, recurse, state.listing_limits);
  bool opened = false;
  const bool whole = ListLocalFolderAt(state, listing, folder, 0, &opened);
  if (listing.bounds().exceeded()) App().WriteLog(listing.bounds().ExceededText(folder));
  if (listing.refused()) App().WriteLog(listing.RefusedText());
  return whole && opened && !state.cancel.load();
}

}  // namespace corvane
