// Fakes of the stages' doors for the unit tests: a file system in memory
// that fails on demand and can "crash" (freeze) after any changing step,
// processes that quit or refuse to, a page and a host
// that record what the stage told them.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "updater/engine/stages/stage_platform.h"
#include "updater/engine/update_items.h"
#include "updater/ui/stage_view.h"

namespace corvane {
namespace stagetest {

// An entry of a directory item as the download stage leaves it in the
// temporary folder ("<sub>.<name>" for a file of a subfolder).
inline DownloadEntry Entry(const std::string& name, const std::string& sub = "") {
  DownloadEntry e;
  e.subfolder = sub;
  e.file_name = name;
  e.temporary_name = sub.empty() ? name : sub + "." + name;
  return e;
}

inline bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class FakeFiles;

class FakeArchive : public StageArchive {
 public:
  FakeArchive(FakeFiles& files, std::vector<std::pair<std::string, std::string>> entries,
              int failing_entry, std::map<std::string, uint32_t> attributes = {})
      : files_(files), entries_(std::move(entries)), failing_entry_(failing_entry),
        attributes_(std::move(attributes)) {}
  int Count() const override { return static_cast<int>(entries_.size()); }
  std::string Name(int index) const override { return entries_[index].first; }
  bool IsFolder(int index) const override { return entries_[index].first.back() == '/'; }
  bool Extract(int index, const std::string& folder) override;

 private:
  FakeFiles& files_;
  std::vector<std::pair<std::string, std::string>> entries_;
  int failing_entry_;
  std::map<std::string, uint32_t> attributes_;  // by stored name; the extracted file gets them
};

class FakeFiles : public StageFileSystem {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> folders;
  std::set<std::string> locked;       // cannot be opened for reading and writing
  std::set<std::string> copy_fails;         // the next copy to these paths breaks off part-way
  std::set<std::string> copy_always_fails;  // every copy to these paths does
  std::set<std::string> delete_fails;
  // As on Windows: a read-only file cannot be opened for writing, written
  // over or deleted; a copy takes its source's attributes. Missing: none.
  std::map<std::string, uint32_t> attributes;
  struct Zip {
    std::vector<std::pair<std::string, std::string>> entries;
    int failing_entry = -1;
    std::map<std::string, uint32_t> attributes;  // of entries, by stored name
  };
  std::map<std::string, Zip> archives;  // by the bytes of the archive file
  std::vector<std::string> removed_trees;
  std::map<std::string, std::string> archive_texts;  // archive|entry -> text

  // Crashing: every changing call is a step. With `crash_at` = N the N-th
  // step is carried out (only half of it with `tear`: half a copy, half a
  // record) and from then on nothing changes any more, as if the process
  // had died; the stage runs on against a frozen disk.
  int crash_at = 0;
  bool tear = false;
  int steps = 0;
  bool crashed = false;
  std::set<std::string> flushed;
  std::vector<std::string> moves;  // "<from> -> <to>", in order

  // False when the step must not happen; `*torn` when it is the one cut short.
  bool Step(bool* torn = nullptr) {
    if (crashed) return false;
    ++steps;
    if (steps == crash_at) {
      crashed = true;
      if (torn) *torn = tear;
    }
    return true;
  }

  int64_t FileSize(const std::string& path) override {
    auto it = files.find(path);
    return it == files.end() ? -1 : static_cast<int64_t>(it->second.size());
  }
  int64_t Attributes(const std::string& path) override {
    if (!files.count(path)) return -1;
    auto it = attributes.find(path);
    return it == attributes.end() ? 0 : it->second;
  }
  bool SetAttributes(const std::string& path, uint32_t value) override {
    if (!files.count(path) || !Step()) return false;
    attributes[path] = value;
    return true;
  }
  bool ReadOnly(const std::string& path) const {
    auto it = attributes.find(path);
    return files.count(path) && it != attributes.end() && (it->second & kAttributeReadOnly);
  }
  bool IsFolder(const std::string& path) override { return folders.count(Bare(path)) > 0; }
  bool CreateFolders(const std::string& path, std::vector<std::string>* made) override {
    std::string bare = Bare(path);
    std::vector<std::string> chain;
    while (!bare.empty() && !folders.count(bare)) {
      chain.push_back(bare);
      const size_t slash = bare.find_last_of('\\');
      if (slash == std::string::npos || bare[slash - 1] == ':') break;
      bare = bare.substr(0, slash);
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      if (!Step()) return false;
      folders.insert(*it);
      made->push_back(*it);
    }
    return true;
  }
  bool CanOpenReadWrite(const std::string& path) override {
    return files.count(path) && !locked.count(path) && !ReadOnly(path);
  }
  bool CopyFile(const std::string& from, const std::string& to) override {
    auto it = files.find(from);
    if (it == files.end() || locked.count(to) || folders.count(to) || ReadOnly(to)) return false;
    bool torn = false;
    if (!Step(&torn)) return false;
    const auto source = attributes.find(from);
    if (source != attributes.end()) {
      attributes[to] = source->second;
    } else {
      attributes.erase(to);
    }
    if (torn || copy_fails.erase(to) || copy_always_fails.count(to)) {
      files[to] = it->second.substr(0, it->second.size() / 2);  // half written
      return false;
    }
    files[to] = it->second;
    return true;
  }
  bool DeleteFile(const std::string& path) override {
    if (delete_fails.count(path) || locked.count(path) || !files.count(path) || ReadOnly(path)) {
      return false;
    }
    if (!Step()) return false;
    attributes.erase(path);
    return files.erase(path) > 0;
  }
  bool RemoveEmptyFolder(const std::string& path) override {
    const std::string prefix = path + "\\";
    for (const auto& f : files) {
      if (f.first.compare(0, prefix.size(), prefix) == 0) return false;
    }
    for (const auto& d : folders) {
      if (d.compare(0, prefix.size(), prefix) == 0) return false;
    }
    return folders.count(path) && Step() && folders.erase(path) > 0;
  }
  bool RemoveTree(const std::string& folder) override {
    if (!Step()) return false;
    removed_trees.push_back(folder);
    const std::string prefix = folder;
    for (auto it = files.begin(); it != files.end();) {
      it = it->first.compare(0, prefix.size(), prefix) == 0 ? files.erase(it) : std::next(it);
    }
    return true;
  }
  std::unique_ptr<StageArchive> OpenArchive(const std::string& path) override {
    auto file = files.find(path);
    if (file == files.end()) return nullptr;
    auto zip = archives.find(file->second);
    if (zip == archives.end()) return nullptr;
    return std::make_unique<FakeArchive>(*this, zip->second.entries, zip->second.failing_entry,
                                         zip->second.attributes);
  }
  bool ReplaceArchiveText(const std::string& archive, const std::string& entry,
                          const std::string& text, const std::string&) override {
    if (!files.count(archive) || !Step()) return false;
    archive_texts[archive + "|" + entry] = text;
    files[archive] += "|" + entry + "=" + text;  // the archive's bytes change too
    return true;
  }
  bool WriteDurable(const std::string& path, const std::string& bytes, bool append) override {
    bool torn = false;
    if (folders.count(path) || !Step(&torn)) return false;
    const std::string written = torn ? bytes.substr(0, bytes.size() / 2) : bytes;
    files[path] = (append ? files[path] : std::string()) + written;
    return !torn;
  }
  bool ReadSmallFile(const std::string& path, size_t limit, std::string* bytes) override {
    auto it = files.find(path);
    if (it == files.end() || it->second.size() > limit) return false;
    *bytes = it->second;
    return true;
  }
  bool FlushFile(const std::string& path) override {
    if (!files.count(path)) return false;
    flushed.insert(path);
    return true;
  }
  bool MoveOver(const std::string& from, const std::string& to) override {
    if (!files.count(from) || locked.count(to) || folders.count(to) || !Step()) return false;
    moves.push_back(from + " -> " + to);
    files[to] = files[from];
    files.erase(from);
    return true;
  }
  bool SameContent(const std::string& a, const std::string& b) override {
    return files.count(a) && files.count(b) && files[a] == files[b];
  }

  // Every file name that ends in ".ebk".
  std::vector<std::string> Backups() const {
    std::vector<std::string> out;
    for (const auto& f : files) {
      if (f.first.size() > 4 && f.first.compare(f.first.size() - 4, 4, ".ebk") == 0) {
        out.push_back(f.first);
      }
    }
    return out;
  }

 private:
  static std::string Bare(std::string path) {
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
  }
};

inline bool FakeArchive::Extract(int index, const std::string& folder) {
  if (index == failing_entry_) return false;  // checked before it appears: nothing written
  std::string name = entries_[index].first;
  std::replace(name.begin(), name.end(), '/', '\\');
  const std::string target = folder + name;
  if (files_.ReadOnly(target)) return false;  // the finished entry cannot be renamed over it
  bool torn = false;
  if (!files_.Step(&torn)) return false;
  const std::string& bytes = entries_[index].second;
  files_.files[target] = torn ? bytes.substr(0, bytes.size() / 2) : bytes;
  auto given = attributes_.find(entries_[index].first);
  if (given != attributes_.end()) {
    files_.attributes[target] = given->second;
  } else {
    files_.attributes.erase(target);
  }
  return !torn;
}

class FakeProcess : public OpenedProcess {
 public:
  FakeProcess(bool quits, bool terminates, std::vector<std::string>& calls, uint32_t pid,
              std::function<void()> on_exit)
      : quits_(quits), terminates_(terminates), calls_(calls), pid_(pid),
        on_exit_(std::move(on_exit)) {}
  bool WaitForExit(unsigned timeout_ms) override {
    calls_.push_back("wait " + std::to_string(pid_) + " " + std::to_string(timeout_ms));
    if (quits_) on_exit_();
    return quits_;
  }
  bool Terminate() override {
    calls_.push_back("terminate " + std::to_string(pid_));
    if (terminates_) on_exit_();
    return terminates_;
  }

 private:
  bool quits_, terminates_;
  std::vector<std::string>& calls_;
  uint32_t pid_;
  std::function<void()> on_exit_;
};

class FakeProcesses : public ProcessControl {
 public:
  std::map<std::string, uint32_t> by_name, by_title, by_class;
  std::set<uint32_t> ignore_quit, cannot_open, cannot_terminate;
  uint32_t self = 1;
  std::vector<std::string> calls;
  // A file a process holds locked until it ends.
  std::map<uint32_t, std::string> holds;
  FakeFiles* files = nullptr;

  uint32_t FindByFileName(const std::string& n) override { return Find(by_name, n); }
  uint32_t FindByWindowTitle(const std::string& t) override { return Find(by_title, t); }
  uint32_t FindByWindowClass(const std::string& c) override { return Find(by_class, c); }
  uint32_t CurrentProcessId() override { return self; }
  void AskToQuit(uint32_t pid) override { calls.push_back("quit " + std::to_string(pid)); }
  std::unique_ptr<OpenedProcess> Open(uint32_t pid) override {
    if (cannot_open.count(pid)) return nullptr;
    return std::make_unique<FakeProcess>(!ignore_quit.count(pid), !cannot_terminate.count(pid),
                                         calls, pid, [this, pid] {
                                           auto held = holds.find(pid);
                                           if (files && held != holds.end()) {
                                             files->locked.erase(held->second);
                                           }
                                         });
  }

 private:
  static uint32_t Find(const std::map<std::string, uint32_t>& m, const std::string& key) {
    auto it = m.find(key);
    return it == m.end() ? 0 : it->second;
  }
};

class RecordingView : public StageView {
 public:
  std::vector<std::string> statuses, boxes, events;
  bool visible = false;
  bool retry = false;
  int range = 0;
  std::vector<int> positions;

  void ShowStatus(const std::string& text) override { statuses.push_back(text); }
  void SetOverallRange(int maximum) override { range = maximum; }
  void SetOverallPosition(int position) override { positions.push_back(position); }
  void EnableButton(StageButton, bool enabled) override {
    events.push_back(enabled ? "enable" : "disable");
  }
  void SetButtonText(StageButton, const std::string& text) override {
    events.push_back("caption " + text);
  }
  void PostWorkerDone(bool success) override {
    events.push_back(success ? "worker done 1" : "worker done 0");
  }
  void PostPageDone(bool leave) override { events.push_back(leave ? "page leave" : "page next"); }
  bool IsPageVisible() const override { return visible; }
  void InfoBox(const std::string& text) override { boxes.push_back(text); }
  bool RetryBox(const std::string& text) override {
    boxes.push_back("retry? " + text);
    return retry;
  }
  bool AskCancel() override { return false; }
  void ReleaseBackgroundImages() override {}
};

class RecordingHost : public StageHost {
 public:
  std::vector<std::string> log, ran, boxes;
  std::vector<int> results;
  std::vector<unsigned> waits;
  std::string parent = "C:\\app";

  void WriteLog(const std::string& line) override { log.push_back(line); }
  void SendResult(int result) override { results.push_back(result); }
  void SetTrayTooltip(const std::string&) override {}
  std::string ExpandDirectoryConstants(const std::string& path) override {
    const std::string constant = "{parent}";
    if (path.compare(0, constant.size(), constant) != 0) return path;
    std::string rest = path.substr(constant.size());
    if (rest.empty() || rest[0] != '\\') rest = "\\" + rest;
    return parent + rest;
  }
  void RunByExtension(const std::string& path) override { ran.push_back(path); }
  void Wait(unsigned ms) override { waits.push_back(ms); }
  void ShowTopmostBox(const std::string& text, const std::string& caption) override {
    boxes.push_back(caption + ": " + text);
  }
};

// A new version of file item `k` whose download waits in the temporary
// folder `temp` as "file<k>\\<name>".
inline void StageFileItem(UpdateRun& run, FakeFiles& files, const std::string& temp, int k,
                          const std::string& name, const std::string& destination,
                          const std::string& bytes) {
  FileItem& item = run.files[k];
  item.is_new = true;
  item.install_name = name;
  item.destination = destination;
  item.server_version = "1.1";
  item.downloads = {Entry(name)};
  files.files[temp + "file" + std::to_string(k) + "\\" + name] = bytes;
}

// The files outside the temporary folder `temp`: what the installation holds.
inline std::map<std::string, std::string> InstalledFiles(const FakeFiles& files,
                                                         const std::string& temp) {
  std::map<std::string, std::string> out;
  for (const auto& file : files.files) {
    if (file.first.compare(0, temp.size(), temp) != 0) out.insert(file);
  }
  return out;
}

// The attributes of those files, where they have any.
inline std::map<std::string, uint32_t> InstalledAttributes(const FakeFiles& files,
                                                          const std::string& temp) {
  std::map<std::string, uint32_t> out;
  for (const auto& a : files.attributes) {
    if (a.second != 0 && files.files.count(a.first) && a.first.compare(0, temp.size(), temp) != 0) {
      out.insert(a);
    }
  }
  return out;
}

}  // namespace stagetest
}  // namespace corvane
