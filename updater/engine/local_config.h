// The local configuration file beside the updater, in its binary form
// "update.bin" (a zip archive whose member "update.dat" holds the text) or
// its text form "update.dat": finding and reading it, and writing new "ver"
// values back into whichever form was read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shared/ini_store.h"

namespace corvane {

extern const char kLocalBinaryName[];  // "update.bin"
extern const char kLocalTextName[];    // "update.dat"
extern const char kLocalMemberName[];  // "update.dat", the member of update.bin

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
  // The path under which a file-backed store finds the file.
  virtual std::string PathOf(const std::string& name) const = 0;
};

// A real folder; `folder` is empty (current folder) or ends with a separator.
class DiskFolder : public LocalFolder {
 public:
  explicit DiskFolder(std::string folder) : folder_(std::move(folder)) {}
  int64_t FileSize(const std::string& name) const override;
  bool ReadFile(const std::string& name, std::string* bytes) const override;
  std::string PathOf(const std::string& name) const override { return folder_ + name; }

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

// A non-empty "update.bin" is read into a text-mode store; otherwise a
// non-empty "update.dat" is loaded into a store that stays file-backed.
// Failure gives the message "Error: Local configuration file (<form>)
// parses error." or, when neither form is there, "... (update.dat) not found.".
LocalConfigResult ReadLocalConfiguration(const LocalFolder& folder, const std::string& password,
                                         IniStore* store);

// Sets the installed version of one item section in the store. For the text
// form the file-backed store rewrites "update.dat" at once; for the binary
// form only the store changes until SaveLocalArchive.
bool SetLocalVersion(IniStore& store, const std::string& section, const std::string& version);

// Binary form: puts the store's text into `archive_path` as its member
// "update.dat", replacing the old member.
bool SaveLocalArchive(const IniStore& store, const std::string& archive_path,
                      const std::string& password);

// One value written back into the form that was read: set in the store, and
// for "update.bin" the archive rewritten in `folder`.
bool WriteLocalValue(IniStore& store, const std::string& form, const LocalFolder& folder,
                     const std::string& section, const std::string& key, const std::string& value,
                     const std::string& password);

struct LocalValue {
  std::string section, key, value;
};

// Several values that belong together (a new publisher key and its serial)
// written in one write of the form that was read, so that no crash leaves
// one without the other. For "update.dat" the file is replaced whole
// through a temporary file and the file-backed store reloaded.
bool WriteLocalValues(IniStore& store, const std::string& form, const LocalFolder& folder,
                      const std::vector<LocalValue>& values, const std::string& password);

// One version written back into the form that was read: SetLocalVersion,
// and for "update.bin" also SaveLocalArchive into `folder`'s update.bin.
bool WriteLocalVersion(IniStore& store, const std::string& form, const LocalFolder& folder,
                       const std::string& section, const std::string& version,
                       const std::string& password);

}  // namespace corvane
