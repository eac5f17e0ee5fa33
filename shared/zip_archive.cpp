#include "shared/zip_archive.h"

#include <algorithm>
#include <new>

#include "shared/zip_archive_internal.h"
#include "shared/zip_format.h"
#include "shared/zip_path.h"

namespace corvane {

namespace {

// Receives decoded data straight into the file that becomes the entry.
class FileSink final : public zipdetail::DataSink {
 public:
  explicit FileSink(zipfs::StagedFile& file) : file_(file) {}
  bool Write(const unsigned char* data, size_t size) override { return file_.Write(data, size); }

 private:
  zipfs::StagedFile& file_;
};

class MemorySink final : public zipdetail::DataSink {
 public:
  explicit MemorySink(std::vector<char>& out) : out_(out) {}
  bool Write(const unsigned char* data, size_t size) override {
    out_.insert(out_.end(), reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size);
    return true;
  }

 private:
  std::vector<char>& out_;
};

// Memory reserved up front for an entry; beyond this the buffer grows with
// the data that really arrive, so a declared size alone allocates little.
constexpr size_t kInitialReserve = 8u << 20;

}  // namespace

ZipArchive::ZipArchive() = default;

ZipArchive::~ZipArchive() { Discard(); }

bool ZipArchive::IsOpen() const { return state_ != nullptr; }

void ZipArchive::Discard() { state_.reset(); }

bool ZipArchive::Open(const std::string& path, ZipOpenMode mode) {
  Discard();
  try {
    std::unique_ptr<State> state(new State);
    state->path = path;
    state->mode = mode;
    state->source = zipfs::FileByteSource::Open(path);
    if (!state->source || !zipdetail::ReadCentralDirectory(*state->source, state->directory)) return false;
    state_ = std::move(state);
    return true;
  } catch (...) {
    return false;
  }
}

bool ZipArchive::OpenFromMemory(const void* data, size_t size) {
  Discard();
  try {
    std::unique_ptr<State> state(new State);
    state->source.reset(new zipfs::MemoryByteSource(data, size));
    if (!zipdetail::ReadCentralDirectory(*state->source, state->directory)) return false;
    state_ = std::move(state);
    return true;
  } catch (...) {
    return false;
  }
}

bool ZipArchive::Create(const std::string& path) {
  Discard();
  try {
    if (path.empty()) return false;
    state_.reset(new State);
    state_->path = path;
    state_->mode = ZipOpenMode::kChange;
    state_->changed = true;
    return true;
  } catch (...) {
    return false;
  }
}

bool ZipArchive::Close() {
  if (!state_) return true;
  std::unique_ptr<State> state = std::move(state_);
  if (state->mode != ZipOpenMode::kChange || !state->changed) return true;
  try {
    zipfs::StagedFile staged;
    if (!staged.Create(state->path)) return false;
    if (!zipdetail::WriteArchive(state->source.get(), state->directory.offset, state->directory.entries,
                                 state->directory.comment, staged) ||
        !staged.Finish()) {
      return false;
    }
    // The old archive must be closed before the new one can take its place.
    state->source.reset();
    return staged.Commit();
  } catch (...) {
    return false;
  }
}

void ZipArchive::SetPassword(const std::string& password) {
  if (!state_) return;
  try {
    state_->password = password.size() < 2 ? std::string() : password;
  } catch (...) {
    state_->password.clear();
  }
}

int ZipArchive::GetEntryCount() const {
  return state_ ? static_cast<int>(state_->directory.entries.size()) : 0;
}

const ZipEntryHeader* ZipArchive::GetEntryHeader(int index) const {
  if (index < 0 || index >= GetEntryCount()) return nullptr;
  return &state_->directory.entries[static_cast<size_t>(index)].header;
}

std::string ZipArchive::GetEntryName(int index) const {
  const ZipEntryHeader* header = GetEntryHeader(index);
  try {
    return header ? header->name : std::string();
  } catch (...) {
    return std::string();
  }
}

int ZipArchive::FindEntry(const std::string& name) const {
  int count = GetEntryCount();
  for (bool ignore_case : {false, true}) {
    for (int i = 0; i < count; ++i) {
      if (StoredNamesEqual(state_->directory.entries[static_cast<size_t>(i)].header.name, name, ignore_case)) {
        return i;
      }
    }
  }
  return -1;
}

bool ZipArchive::ExtractEntry(int index, const std::string& folder, bool keep_path, size_t buffer_size) {
  try {
    return ExtractIntoFile(index, folder, keep_path, buffer_size);
  } catch (...) {
    return false;
  }
}

bool ZipArchive::ExtractIntoFile(int index, const std::string& folder, bool keep_path, size_t buffer_size) {
  if (index < 0 || index >= GetEntryCount() || folder.empty()) return false;
  const zipdetail::EntryRecord& entry = state_->directory.entries[static_cast<size_t>(index)];
  // Entries added since opening exist only as payload until Close.
  if (entry.is_new) return false;
  std::vector<std::string> parts;
  if (!SplitStoredName(entry.header.name, parts)) return false;

  uint8_t host = static_cast<uint8_t>(entry.version_made_by >> 8);
  if (entry.header.is_directory) {
    if (!keep_path) return zipfs::MakeDirectories(folder);
    std::string target = folder;
    for (const std::string& part : parts) target = zipfs::JoinPath(target, part);
    if (!zipfs::MakeDirectories(target)) return false;
    zipfs::ApplyAttributes(target, host, entry.header.attributes, true);
    return true;
  }

  if (!keep_path) parts.erase(parts.begin(), parts.end() - 1);
  std::string parent = folder;
  for (size_t i = 0; i + 1 < parts.size(); ++i) parent = zipfs::JoinPath(parent, parts[i]);
  std::string target = zipfs::JoinPath(parent, parts.back());
  if (!zipfs::MakeDirectories(parent) || zipfs::IsDirectory(target)) return false;

  zipfs::StagedFile file;
  if (!file.Create(target)) return false;
  FileSink sink(file);
  if (!zipdetail::DecodeEntry(*state_->source, entry, state_->directory.offset, state_->password, buffer_size,
                              sink) ||
      !file.Finish()) {
    return false;
  }
  // Time and attributes are a courtesy: a file system that refuses them
  // does not make the data wrong.
  time_t modified = 0;
  if (zipfs::DosDateTimeToTime(entry.header.dos_date, entry.header.dos_time, modified)) {
    zipfs::SetModificationTime(file.temp_path(), modified);
  }
  zipfs::ApplyAttributes(file.temp_path(), host, entry.header.attributes, false);
  return file.Commit();
}

bool ZipArchive::ExtractEntryToMemory(int index, std::vector<char>& out) {
  out.clear();
  if (index < 0 || index >= GetEntryCount()) return false;
  try {
    const zipdetail::EntryRecord& entry = state_->directory.entries[static_cast<size_t>(index)];
    if (entry.is_new) return false;
    out.reserve(std::min<size_t>(entry.header.uncompressed_size, kInitialReserve));
    MemorySink sink(out);
    if (zipdetail::DecodeEntry(*state_->source, entry, state_->directory.offset, state_->password,
                               kDefaultBufferSize, sink)) {
      return true;
    }
  } catch (...) {
  }
  out.clear();
  return false;
}

bool ZipArchive::DeleteEntry(int index) {
  if (!state_ || state_->mode != ZipOpenMode::kChange) return false;
  if (index < 0 || index >= GetEntryCount()) return false;
  state_->directory.entries.erase(state_->directory.entries.begin() + index);
  state_->changed = true;
  return true;
}

bool ZipArchive::AddEntryFromMemory(const std::string& name, const void* data, size_t size) {
  if (!data && size > 0) return false;
  return AddEntry(name, static_cast<const unsigned char*>(data), size, nullptr);
}

bool ZipArchive::AddEntryFromMemory(const std::string& name, const std::string& data) {
  return AddEntry(name, reinterpret_cast<const unsigned char*>(data.data()), data.size(), nullptr);
}

bool ZipArchive::AddEntryFromFile(const std::string& name, const std::string& file_path) {
  try {
    std::vector<unsigned char> content;
    time_t modified = 0;
    if (!zipfs::ReadWholeFile(file_path, content) || !zipfs::GetModificationTime(file_path, modified)) return false;
    return AddEntry(name, content.data(), content.size(), &modified);
  } catch (...) {
    return false;
  }
}

bool ZipArchive::AddEntry(const std::string& name, const unsigned char* data, size_t size, const time_t* modified) {
  if (!state_ || state_->mode != ZipOpenMode::kChange) return false;
  if (GetEntryCount() >= kMaxEntries) return false;
  try {
    // Never write a name that extraction would refuse.
    std::vector<std::string> parts;
    if (!SplitStoredName(name, parts)) return false;
    zipdetail::EntryRecord entry;
    static const unsigned char kNothing = 0;
    if (!zipdetail::BuildNewEntry(NormalizeStoredName(name), data ? data : &kNothing, size,
                                  modified ? *modified : std::time(nullptr), state_->password, entry)) {
      return false;
    }
    state_->directory.entries.push_back(std::move(entry));
    state_->changed = true;
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace corvane
