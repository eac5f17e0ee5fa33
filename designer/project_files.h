// The designer's files: the project file (".epj", older ".prj") and the
// designer status file "system\status.cfg" with the recent-project list.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace corvane {

class IniStore;

struct ProjectLocation {
  std::string file;
  std::string folder;  // with a trailing backslash
  std::string name;    // the file name without its extension
};

// A path with a backslash after its first character names a project: the
// folder runs to the last backslash, the name is the rest without its last
// four characters (".epj" / ".prj").
bool LocateProject(const std::string& path, ProjectLocation* out);
bool HasProjectExtension(const std::string& path);
// The file name without folder and extension (as the file dialogs give it).
std::string FileTitle(const std::string& path);

// What a new project file holds before its pages first save.
std::string NewProjectText(const std::string& name);

// An int of a hand-editable file: an empty value, or one that does not
// start with a number, reads as the default.
int ReadProjectInt(IniStore& store, const std::string& section, const std::string& key,
                   int default_value);

// Reads a project file into an in-memory store (an empty file gives an
// empty store). False when the file cannot be read.
bool ReadProjectFile(const std::string& path, IniStore* store);
// Writes the store's text to the file in one piece.
bool WriteProjectFile(const std::string& path, const IniStore& store);

// Files that exist and are not empty.
bool FileHasContent(const std::string& path);

extern const char kStatusFileCreatedLine[];  // "//Created by Corvane"
constexpr size_t kMaxRecentProjects = 10;

// The recent-project list, newest first, without two paths that differ only
// in case.
class RecentProjects {
 public:
  const std::vector<std::string>& Paths() const { return paths_; }
  void Insert(const std::string& path);
  // Keys "name0".."name9" up to the first empty one; paths for which
  // `usable` is false are dropped.
  void Load(IniStore& status, const std::function<bool(const std::string&)>& usable);
  // Writes the list, removes the key after its end, and with a non-empty
  // list also "have_prj" and "cursel".
  bool Write(IniStore& status, bool have_project, int selected_tab) const;

 private:
  std::vector<std::string> paths_;
};

}  // namespace corvane
