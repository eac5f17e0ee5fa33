#include "designer/project_files.h"

#include <cstdio>
#include <memory>

#include "shared/ini_store.h"
#include "shared/text_util.h"

namespace corvane {

const char kStatusFileCreatedLine[] = "//Created by Corvane";

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

bool LocateProject(const std::string& path, ProjectLocation* out) {
  size_t slash = path.rfind('\\');
  if (slash == std::string::npos || slash == 0) return false;
  std::string rest = path.substr(slash + 1);
  ProjectLocation loc;
  loc.file = path;
  loc.folder = path.substr(0, slash + 1);
  loc.name = rest.size() > 4 ? rest.substr(0, rest.size() - 4) : std::string();
  *out = loc;
  return true;
}

bool HasProjectExtension(const std::string& path) {
  return EndsWithNoCase(path, ".epj") || EndsWithNoCase(path, ".prj");
}

std::string FileTitle(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

int ReadProjectInt(IniStore& store, const std::string& section, const std::string& key,
                   int default_value) {
  std::string value = Trim(store.GetString(section, key));
  size_t digit = !value.empty() && (value[0] == '-' || value[0] == '+') ? 1 : 0;
  if (digit >= value.size() || value[digit] < '0' || value[digit] > '9') return default_value;
  return ParseLeadingInt(value);
}

std::string NewProjectText(const std::string& name) { return "[project]\r\nname=" + name; }

bool ReadProjectFile(const std::string& path, IniStore* store) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  // A lone line break stands for an empty file: the store still leaves its
  // file-backed mode and starts without lines.
  std::string text = "\n";
  char buffer[16384];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, got);
  if (std::ferror(file.get())) return false;
  IniStore loaded;
  loaded.LoadFromText(text);
  *store = loaded;
  return true;
}

bool WriteProjectFile(const std::string& path, const IniStore& store) {
  const std::string text = store.ToText();
  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
  return std::fclose(file.release()) == 0 && ok;
}

bool FileHasContent(const std::string& path) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  char c;
  return std::fread(&c, 1, 1, file.get()) == 1;
}

void RecentProjects::Insert(const std::string& path) {
  for (size_t i = 0; i < paths_.size(); ++i) {
    if (EqualsNoCase(paths_[i], path)) {
      paths_.erase(paths_.begin() + static_cast<long>(i));
      break;
    }
  }
  if (paths_.size() > kMaxRecentProjects - 1) paths_.pop_back();
  paths_.insert(paths_.begin(), path);
}

void RecentProjects::Load(IniStore& status,
                          const std::function<bool(const std::string&)>& usable) {
  paths_.clear();
  for (size_t i = 0; i < kMaxRecentProjects; ++i) {
    std::string path = status.GetString("prj", "name" + std::to_string(i));
    if (path.empty()) break;
    if (!usable(path)) continue;
    // A hand-edited file may name a project twice; the list never does.
    bool seen = false;
    for (const std::string& p : paths_) seen = seen || EqualsNoCase(p, path);
    if (!seen) paths_.push_back(path);
  }
}

bool RecentProjects::Write(IniStore& status, bool have_project, int selected_tab) const {
  bool ok = true;
  for (size_t i = 0; i < paths_.size(); ++i) ok = status.SetString("prj", "name" + std::to_string(i), paths_[i]) && ok;
  ok = status.SetString("prj", "name" + std::to_string(paths_.size()), "") && ok;
  if (!paths_.empty()) {
    ok = status.SetInt("prj", "have_prj", have_project ? 1 : 0) && ok;
    ok = status.SetInt("prj", "cursel", selected_tab) && ok;
  }
  return ok;
}

}  // namespace corvane
