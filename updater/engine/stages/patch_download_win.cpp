#include "updater/engine/stages/patch_download_win.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "shared/md5_digest.h"
#include "shared/vcdiff/vcdiff_decoder.h"
#include "updater/engine/config/patch_download.h"
#include "updater/engine/stages/stage_platform_win.h"
#include "updater/engine/stages/update_stage.h"
#include "updater/engine/updater_app.h"
#include "win32/scoped_handles.h"

namespace corvane {

namespace {

// A file mapped whole, read-only: the patch's copies may read any part of
// the installed file in any order, and neither file takes heap memory.
class MappedFile {
 public:
  ~MappedFile() {
    if (view_) ::UnmapViewOfFile(view_);
  }
  bool Open(const std::string& path, const char* what, std::string* reason) {
    file_.Reset(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!file_ || !::GetFileSizeEx(file_.Get(), &size)) {
      *reason = std::string(what) + " cannot be read";
      return false;
    }
    size_ = static_cast<uint64_t>(size.QuadPart);
    if (size_ == 0) return true;  // nothing to map (and Windows would refuse)
    if (size_ > SIZE_MAX) {
      *reason = std::string(what) + " is too large to map into memory";
      return false;
    }
    mapping_.Reset(::CreateFileMappingA(file_.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (mapping_) view_ = ::MapViewOfFile(mapping_.Get(), FILE_MAP_READ, 0, 0, 0);
    if (!view_) {
      *reason = std::string(what) + " cannot be mapped into memory";
      return false;
    }
    return true;
  }
  uint64_t Size() const { return size_; }
  ByteSpan Span() const {
    return ByteSpan{static_cast<const uint8_t*>(view_), static_cast<size_t>(size_)};
  }

 private:
  ScopedFile file_;
  ScopedHandle mapping_;
  void* view_ = nullptr;
  uint64_t size_ = 0;
};

class FileSink : public VcdiffSink {
 public:
  explicit FileSink(HANDLE file) : file_(file) {}
  bool Write(const uint8_t* data, size_t size) override {
    while (size > 0) {
      DWORD wrote = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 20));
      if (!::WriteFile(file_, data, chunk, &wrote, nullptr) || wrote != chunk) return false;
      data += chunk;
      size -= chunk;
    }
    return true;
  }

 private:
  HANDLE file_;
};

bool ApplyPatch(const MappedFile& installed, const std::string& patch_path,
                const std::string& local, std::string* reason) {
  MappedFile patch;
  if (!patch.Open(patch_path, "the downloaded patch", reason)) return false;
  if (patch.Size() > MaxPatchFileSize(installed.Size())) {
    *reason = "the patch is larger than the file it may make";
    return false;
  }
  ScopedFile out(::CreateFileA(local.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) {
    *reason = "the new file cannot be created";
    return false;
  }
  FileSink sink(out.Get());
  std::string error;
  if (!DecodeVcdiff(installed.Span(), patch.Span(),
                    PatchLimits(installed.Size()), sink, &error)) {
    *reason = "the patch cannot be applied: " + error;
    return false;
  }
  if (!::FlushFileBuffers(out.Get())) {
    *reason = "the new file cannot be written";
    return false;
  }
  return true;
}

}  // namespace

bool MakeFileFromPatch(const FileItem& item, const std::string& local,
                       const PatchTransfer& transfer, std::string* reason) {
  UpdaterApp& app = App();
  const std::unique_ptr<StageHost> host = MakeAppStageHost();
  const std::string installed =
      InstallFolderFor(item.destination, "", app.folder, *host) + item.install_name;
  if (::GetFileAttributesA(installed.c_str()) == INVALID_FILE_ATTRIBUTES) {
    *reason = "there is no installed file to patch (" + installed + ")";
    return false;
  }
  Md5Digest md5;
  md5.FileDigest(installed);
  const std::string installed_md5 = md5.HexDigest();
  md5.Close();
  const FilePatch* patch = PatchForInstalledFile(item.patches, installed_md5);
  if (!patch) {
    *reason = "no patch applies to the installed file (MD5 " + installed_md5 + ")";
    return false;
  }
  MappedFile source;
  if (!source.Open(installed, "the installed file", reason)) return false;

  // A name of our own, not the URL's: the server does not choose local paths.
  const std::string patch_path = local + ".vcdiff";
  UrlList urls = patch->urls;
  std::string failure;
  bool ok = transfer(urls, patch_path, &failure);
  if (!ok) {
    *reason = failure.empty() ? "the patch cannot be downloaded"
                              : "the patch cannot be downloaded (" + failure + ")";
  } else {
    ok = ApplyPatch(source, patch_path, local, reason);
    if (!ok) ::DeleteFileA(local.c_str());
  }
  ::DeleteFileA(patch_path.c_str());
  return ok;
}

}  // namespace corvane
