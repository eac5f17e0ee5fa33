#include "updater/engine/stages/stage_platform_win.h"

#include <tlhelp32.h>

#include <cstring>
#include <vector>

#include "shared/durable_file_win.h"
#include "shared/zip_archive.h"
#include "updater/engine/host_messages.h"
#include "updater/engine/updater_app.h"
#include "updater/ui/system_tray.h"
#include "updater/ui/wizard_page_win.h"

namespace corvane {

static_assert(kAttributeReadOnly == FILE_ATTRIBUTE_READONLY && kAttributeHidden == FILE_ATTRIBUTE_HIDDEN &&
                  kAttributeSystem == FILE_ATTRIBUTE_SYSTEM && kAttributeArchive == FILE_ATTRIBUTE_ARCHIVE &&
                  kKeptAttributes == (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                                      FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED),
              "the stage's attributes are Windows' own");

namespace {

class WinStageArchive : public StageArchive {
 public:
  bool Open(const std::string& path) { return zip_.Open(path); }
  int Count() const override { return zip_.GetEntryCount(); }
  std::string Name(int index) const override { return zip_.GetEntryName(index); }
  bool IsFolder(int index) const override {
    const ZipEntryHeader* header = zip_.GetEntryHeader(index);
    return header && header->is_directory;
  }
  bool Extract(int index, const std::string& folder) override {
    return zip_.ExtractEntry(index, folder, /*keep_path=*/true);
  }

 private:
  ZipArchive zip_;
};

class WinFileSystem : public StageFileSystem {
 public:
  int64_t FileSize(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }

  int64_t Attributes(const std::string& path) override {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return -1;
    return attributes & kKeptAttributes;
  }

  bool SetAttributes(const std::string& path, uint32_t attributes) override {
    attributes &= kKeptAttributes;
    return ::SetFileAttributesA(path.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL) != FALSE;
  }

  bool IsFolder(const std::string& path) override {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  bool CreateFolders(const std::string& path, std::vector<std::string>* made) override {
    std::string bare = path;
    while (!bare.empty() && (bare.back() == '\\' || bare.back() == '/')) bare.pop_back();
    if (bare.empty() || IsFolder(bare)) return !bare.empty();
    const size_t slash = bare.find_last_of("\\/");
    if (slash != std::string::npos && slash > 0 && bare[slash - 1] != ':' &&
        !CreateFolders(bare.substr(0, slash), made)) {
      return false;
    }
    if (!::CreateDirectoryA(bare.c_str(), nullptr)) return IsFolder(bare);
    made->push_back(bare);
    return true;
  }

  bool CanOpenReadWrite(const std::string& path) override {
    ScopedFile file(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
  }

  bool CopyFile(const std::string& from, const std::string& to) override {
    // A read-only original is still overwritten (and its copy restored).
    const DWORD attributes = ::GetFileAttributesA(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
      ::SetFileAttributesA(to.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    return ::CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
  }

  bool DeleteFile(const std::string& path) override { return ::DeleteFileA(path.c_str()) != FALSE; }

  bool RemoveEmptyFolder(const std::string& path) override {
    return ::RemoveDirectoryA(path.c_str()) != FALSE;
  }

  bool RemoveTree(const std::string& folder) override {
    std::string bare = folder;
    while (!bare.empty() && (bare.back() == '\\' || bare.back() == '/')) bare.pop_back();
    if (bare.empty()) return false;
    WIN32_FIND_DATAA found{};
    ScopedFind find(::FindFirstFileA((bare + "\\*").c_str(), &found));
    if (find) {
      do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = bare + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveTree(path);
        } else {
          ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
          ::DeleteFileA(path.c_str());
        }
      } while (::FindNextFileA(find.Get(), &found));
    }
    find.Reset();
    return ::RemoveDirectoryA(bare.c_str()) != FALSE;
  }

  std::unique_ptr<StageArchive> OpenArchive(const std::string& path) override {
    auto archive = std::make_unique<WinStageArchive>();
    if (!archive->Open(path)) return nullptr;
    return archive;
  }

  bool ReplaceArchiveText(const std::string& archive, const std::string& entry,
                          const std::string& text, const std::string& password) override {
    return ReplaceArchiveEntry(archive, entry, text, password);
  }

  bool WriteDurable(const std::string& path, const std::string& bytes, bool append) override {
    // Write-through, then flushed: the record is on the disk before the
    // step it announces begins.
    ScopedFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  append ? OPEN_ALWAYS : CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
    LARGE_INTEGER end{};
    return file && ::SetFilePointerEx(file.Get(), end, nullptr, FILE_END) &&
           WriteAllFlushed(file.Get(), bytes);
  }

  bool ReadSmallFile(const std::string& path, size_t limit, std::string* bytes) override {
    ScopedFile file(OpenForReading(path));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.Get(), &size) ||
        static_cast<uint64_t>(size.QuadPart) > limit) {
      return false;
    }
    bytes->assign(static_cast<size_t>(size.QuadPart), '\0');
    size_t filled = 0;
    while (filled < bytes->size()) {
      DWORD got = 0;
      if (!::ReadFile(file.Get(), &(*bytes)[filled], static_cast<DWORD>(bytes->size() - filled),
                      &got, nullptr) ||
          got == 0) {
        return false;
      }
      filled += got;
    }
    return true;
  }

  bool FlushFile(const std::string& path) override {
    // A read-only file (restored with its attributes) is opened for the
    // flush with its flag lifted for a moment.
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    const bool read_only = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (read_only) ::SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    bool flushed = false;
    {
      ScopedFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      flushed = file && ::FlushFileBuffers(file.Get());
    }
    if (read_only) ::SetFileAttributesA(path.c_str(), attributes);
    return flushed;
  }

  bool MoveOver(const std::string& from, const std::string& to) override {
    return ::MoveFileExA(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
  }

  bool SameContent(const std::string& a, const std::string& b) override {
    ScopedFile first(OpenForReading(a));
    ScopedFile second(OpenForReading(b));
    LARGE_INTEGER size_a{}, size_b{};
    if (!first || !second || !::GetFileSizeEx(first.Get(), &size_a) ||
        !::GetFileSizeEx(second.Get(), &size_b) || size_a.QuadPart != size_b.QuadPart) {
      return false;
    }
    std::vector<char> block_a(64 * 1024), block_b(64 * 1024);
    for (;;) {
      DWORD got_a = 0, got_b = 0;
      if (!::ReadFile(first.Get(), block_a.data(), static_cast<DWORD>(block_a.size()), &got_a,
                      nullptr) ||
          !ReadFully(second.Get(), block_b.data(), got_a, &got_b) || got_a != got_b) {
        return false;
      }
      if (got_a == 0) return true;
      if (std::memcmp(block_a.data(), block_b.data(), got_a) != 0) return false;
    }
  }

 private:
  static HANDLE OpenForReading(const std::string& path) {
    return ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }

  // Reads exactly `wanted` bytes unless the file ends first.
  static bool ReadFully(HANDLE file, char* buffer, DWORD wanted, DWORD* got) {
    *got = 0;
    while (*got < wanted) {
      DWORD part = 0;
      if (!::ReadFile(file, buffer + *got, wanted - *got, &part, nullptr)) return false;
      if (part == 0) break;
      *got += part;
    }
    return true;
  }
};

class WinOpenedProcess : public OpenedProcess {
 public:
  explicit WinOpenedProcess(HANDLE process) : process_(process) {}
  bool WaitForExit(unsigned timeout_ms) override {
    return ::WaitForSingleObject(process_.Get(), timeout_ms) == WAIT_OBJECT_0;
  }
  bool Terminate() override {
    if (!::TerminateProcess(process_.Get(), 0)) return false;
    // Its files are free only once it has really gone.
    ::WaitForSingleObject(process_.Get(), 5000);
    return true;
  }

 private:
  ScopedHandle process_;
};

struct WindowSearch {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindFirstWindowOf(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  if (pid != search->pid) return TRUE;
  search->found = window;
  return FALSE;
}

uint32_t ProcessOfWindow(HWND window) {
  if (!window) return 0;
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  return pid;
}

class WinProcessControl : public ProcessControl {
 public:
  uint32_t FindByFileName(const std::string& file_name) override {
    return UpdaterApp::FindProcessByName(file_name);
  }
  uint32_t FindByWindowTitle(const std::string& title) override {
    return ProcessOfWindow(::FindWindowA(nullptr, title.c_str()));
  }
  uint32_t FindByWindowClass(const std::string& class_name) override {
    return ProcessOfWindow(::FindWindowA(class_name.c_str(), nullptr));
  }
  uint32_t CurrentProcessId() override { return ::GetCurrentProcessId(); }
  void AskToQuit(uint32_t pid) override {
    WindowSearch search{pid, nullptr};
    ::EnumWindows(FindFirstWindowOf, reinterpret_cast<LPARAM>(&search));
    if (search.found) ::PostMessageA(search.found, WM_QUIT, 0, 0);
  }
  std::unique_ptr<OpenedProcess> Open(uint32_t pid) override {
    HANDLE process = ::OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
    if (!process) return nullptr;
    return std::make_unique<WinOpenedProcess>(process);
  }
};

class AppStageHost : public StageHost {
 public:
  void WriteLog(const std::string& line) override { App().WriteLog(line); }
  void SendResult(int result) override { App().SendResult(result); }
  void SetTrayTooltip(const std::string& text) override {
    UpdaterApp& app = App();
    if (app.tray_on && app.tray && app.tray->Visible()) app.SetTrayTooltip(text);
  }
  std::string ExpandDirectoryConstants(const std::string& path) override {
    return App().ExpandDirectoryConstants(path);
  }
  void RunByExtension(const std::string& path) override { corvane::RunByExtension(path); }
  void Wait(unsigned milliseconds) override { ::Sleep(milliseconds); }
  void ShowTopmostBox(const std::string& text, const std::string& caption) override {
    ::MessageBoxA(nullptr, text.c_str(), caption.c_str(),
                  MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
  }
};

}  // namespace

std::unique_ptr<StageFileSystem> MakeWindowsFileSystem() { return std::make_unique<WinFileSystem>(); }
std::unique_ptr<ProcessControl> MakeWindowsProcessControl() {
  return std::make_unique<WinProcessControl>();
}
std::unique_ptr<StageHost> MakeAppStageHost() { return std::make_unique<AppStageHost>(); }

bool StageWorker::Start(std::function<void()> body) {
  if (thread_) return false;
  body_ = std::move(body);
  thread_.Reset(::CreateThread(nullptr, 0, Entry, this, 0, nullptr));
  return static_cast<bool>(thread_);
}

void StageWorker::Join() {
  if (!thread_) return;
  // The worker may be sending to a control of this thread right now.
  if (!WaitForThreadServingMessages(thread_.Get(), INFINITE - 1)) {
    ::WaitForSingleObject(thread_.Get(), INFINITE);
  }
  thread_.Reset();
}

DWORD WINAPI StageWorker::Entry(LPVOID self) {
  try {
    static_cast<StageWorker*>(self)->body_();
  } catch (...) {
    // Nothing may escape the thread; the stage has reported what it could.
  }
  return 0;
}

}  // namespace corvane
