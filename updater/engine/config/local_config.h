// The local configuration file beside the updater, in its binary form
// "update.bin" (a zip archive whose member "update.dat" holds the text) or
// its text form "update.dat": finding and reading it, and writing new "ver"
// values back into whichever form was read.
//
// The file is read once, into memory, when the run starts; later lookups
// never touch the disk again, so another program that holds the file for a
// moment cannot make a value (the publisher's key) read as absent. Every
// change is written back explicitly and whole: the new file goes to
// "<name>.tmp" beside the old one, is pushed to the disk and is then renamed
// over it, so a crash leaves the old file or the new one, never a cut one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shared/ini_store.h"

namespace corvane {

extern const char kLocalBinaryName[];  // "update.bin"
extern const char kLocalTextName[];    // "update.dat"
extern const char kLocalMemberName[];  // "update.dat", the member of update.bin

// A local configuration is a few kilobytes; a file far beyond that is not
// one, and holding it in memory could exhaust a 32-bit process.
constexpr int64_t kMaxLocalFileBytes = 64 << 20;

// The files of the updater's folder, as far as the local configuration
// needs them.
class LocalFolder {
 public:
  virtual ~LocalFolder() = default;
  // Size in bytes of the named file; -1 when it does not exist (or is not a
  // file).
  virtual int64_t FileSize(const std::string& name) const = 0;
  // The whole file; false when it cannot be read.
  virtual bool ReadFile(const std::string& name, std::string* bytes) const = 0;
  // The full path of a file of the folder.
  virtual std::string PathOf(const std::string& name) const = 0;

  // Writing (see ReplaceLocalFile). Writes `bytes` into a new file `name`
  // (replacing one there) and returns once they are on the disk.
  virtual bool WriteFlushed(const std::string& name, const std::string& bytes) const = 0;
  // Replaces the text member `member` of the archive `name` in place and
  // pushes the archive to the disk.
  virtual bool ReplaceArchiveMember(const std::string& name, const std::string& member,
                                    const std::string& text,
                                    const std::string& password) const = 0;
  // Renames `from` over `to`, replacing it; returns once the rename is on
  // the disk (MoveFileEx with write-through on Windows).
  virtual bool RenameOver(const std::string& from, const std::string& to) const = 0;
  virtual bool Remove(const std::string& name) const = 0;
};

// A real folder; `folder` is empty (current folder) or ends with a separator.
class DiskFolder : public LocalFolder {
 public:
  explicit DiskFolder(std::string folder) : folder_(std::move(folder)) {}
  int64_t FileSize(const std::string& name) const override;
  bool ReadFile(const std::string& name, std::string* bytes) const override;
  std::string PathOf(const std::string& name) const override { return folder_ + name; }
  bool WriteFlushed(const std::string& name, const std::string& bytes) const override;
  bool ReplaceArchiveMember(const std::string& name, const std::string& member,
                            const std::string& text, const std::string& password) const override;
  bool RenameOver(const std::string& from, const std::string& to) const override;
  bool Remove(const std::string& name) const override;

 private:
  std::string folder_;
};

struct LocalConfigResult {
  bool ok = false;
  std::string form;     // "update.bin" or "update.dat": the form that was used
  std::string message;  // what to show when reading failed
};

// Loads the text of the binary form: the member "update.dat" of the archive
// bytes, cut at its first zero byte. False when the member is missing,
// unreadable or empty; the store is then unchanged.
bool LoadLocalConfigFromArchive(const std::string& archive_bytes, const std::string& password,
                                IniStore* store);

// A non-empty "update.bin" is read, and otherwise a non-empty "update.dat",
// into a text-mode store (nothing is read from the disk afterwards).
// Failure gives the message "Error: Local configuration file (<form>)
// parses error." or, when neither form is there, "... (update.dat) not found.".
LocalConfigResult ReadLocalConfiguration(const LocalFolder& folder, const std::string& password,
                                         IniStore* store);

// The suffix of the temporary file a write of the local file goes through.
extern const char kLocalTempSuffix[];  // ".tmp"

// Replaces the file `name` of `folder` with `bytes` through "<name>.tmp":
// written, flushed, renamed over the old file. False (the old file
// untouched, the temporary file removed) when any step fails.
bool ReplaceLocalFile(const LocalFolder& folder, const std::string& name, const std::string& bytes);

// Writes the whole store back into the form that was read ("update.dat":
// its text; "update.bin": the archive with its member "update.dat"
// replaced), through ReplaceLocalFile.
bool SaveLocalConfiguration(const IniStore& store, const std::string& form,
                            const LocalFolder& folder, const std::string& password);

// One value of the local file.
struct LocalValue {
  std::string section;
  std::string key;
  std::string value;
};

// Several values set and written back together, in one write of the local
// file: either all of them reach the disk or none does, and the store is
// changed only when the write succeeded.
bool WriteLocalValues(IniStore& store, const std::string& form, const LocalFolder& folder,
                      const std::vector<LocalValue>& values, const std::string& password);

// Sets the installed version of one item section in the store only; the
// caller writes the store back with SaveLocalConfiguration.
bool SetLocalVersion(IniStore& store, const std::string& section, const std::string& version);

// Binary form: puts the store's text into `archive_path` as its member
// "update.dat", replacing the old member (in place; prefer
// SaveLocalConfiguration, which goes through a temporary file).
bool SaveLocalArchive(const IniStore& store, const std::string& archive_path,
                      const std::string& password);

// One value written back into the form that was read (WriteLocalValues).
bool WriteLocalValue(IniStore& store, const std::string& form, const LocalFolder& folder,
                     const std::string& section, const std::string& key, const std::string& value,
                     const std::string& password);

// One version written back into the form that was read (WriteLocalValues).
bool WriteLocalVersion(IniStore& store, const std::string& form, const LocalFolder& folder,
                       const std::string& section, const std::string& version,
                       const std::string& password);

}  // namespace corvane
