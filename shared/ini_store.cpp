#include "shared/ini_store.h"

#include <cstdio>
#include <memory>

#include "shared/text_util.h"

namespace corvane {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Binary mode everywhere, so line ends are handled here and not by the C
// runtime: the store behaves the same natively and on Windows.
bool ReadWholeFile(const std::string& path, std::string* out) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  std::string text;
  char buffer[16384];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, got);
  if (std::ferror(file.get())) return false;
  out->swap(text);
  return true;
}

bool HasLineBreak(const std::string& s) {
  return s.find_first_of("\r\n") != std::string::npos;
}

// A header is a line whose first non-blank character is "["; its name is
// what stands between the first "[" and the first "]" (or the line end).
bool ParseHeader(const std::string& line, std::string* name) {
  std::string rest = TrimLeft(line);
  if (rest.empty() || rest[0] != '[') return false;
  size_t close = rest.find(']', 1);
  *name = Trim(rest.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  return true;
}

// A key line is a non-header line with an "="; lines without one are kept
// as they are but never match a key.
bool ParseKeyLine(const std::string& line, std::string* key, std::string* value) {
  size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  *key = Trim(line.substr(0, eq));
  *value = Trim(line.substr(eq + 1));
  return true;
}

bool IsHeaderLine(const std::string& line) {
  std::string ignored;
  return ParseHeader(line, &ignored);
}

bool IsUsableSection(const std::string& section) {
  return !HasLineBreak(section) && section.find(']') == std::string::npos &&
         Trim(section) == section;
}

bool IsUsableKey(const std::string& key) {
  return !key.empty() && !HasLineBreak(key) && key.find('=') == std::string::npos &&
         Trim(key) == key && key[0] != '[';
}

}  // namespace

std::vector<std::string> SplitIniLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t newline = text.find('\n', start);
    size_t end = newline == std::string::npos ? text.size() : newline;
    size_t trimmed = end;
    while (trimmed > start && text[trimmed - 1] == '\r') --trimmed;
    lines.emplace_back(text, start, trimmed - start);
    if (newline == std::string::npos) break;
    start = newline + 1;
  }
  return lines;
}

bool IniStore::Load() {
  std::string text;
  last_open_ok_ = ReadWholeFile(file_name_, &text);
  if (!last_open_ok_) return false;
  lines_ = SplitIniLines(text);
  return true;
}

bool IniStore::LoadFromText(const std::string& text) {
  size_t length = text.size();
  if (length > 0 && text[length - 1] == '\0') --length;
  if (length == 0) return false;
  std::vector<std::string> lines = SplitIniLines(text.substr(0, length));
  // A stray line break in front of downloaded text must not shift anything.
  size_t first = 0;
  while (first < lines.size() && lines[first].empty()) ++first;
  lines_.assign(lines.begin() + static_cast<long>(first), lines.end());
  file_backed_ = false;
  return true;
}

std::string IniStore::ToText() const {
  if (file_backed_) return std::string();
  std::string text;
  for (const std::string& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

bool IniStore::Save() const {
  if (!file_backed_) return true;
  std::string text;
  for (const std::string& line : lines_) {
    text += line;
    text += "\r\n";
  }
  // One write of the whole text keeps the window in which a reader could see
  // a half-written file as small as possible.
  std::FILE* raw = std::fopen(file_name_.c_str(), "wb");
  if (!raw) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), raw) == text.size();
  ok = std::fclose(raw) == 0 && ok;
  return ok;
}

long IniStore::FindSection(const std::string& section) const {
  std::string name;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (ParseHeader(lines_[i], &name) && name == section) return static_cast<long>(i);
  }
  return -1;
}

size_t IniStore::SectionEnd(size_t header_index) const {
  size_t i = header_index + 1;
  while (i < lines_.size() && !IsHeaderLine(lines_[i])) ++i;
  return i;
}

std::string IniStore::GetString(const std::string& section, const std::string& key,
                                const std::string& default_value, int occurrence) {
  if (file_backed_ && !Load()) return default_value;
  long header = FindSection(section);
  if (header < 0) return default_value;
  size_t end = SectionEnd(static_cast<size_t>(header));
  int seen = 0;
  std::string line_key, line_value;
  for (size_t i = static_cast<size_t>(header) + 1; i < end; ++i) {
    if (!ParseKeyLine(lines_[i], &line_key, &line_value) || line_key != key) continue;
    if (++seen == occurrence) return line_value;
  }
  return default_value;
}

int IniStore::GetInt(const std::string& section, const std::string& key, int default_value) {
  return ParseLeadingInt(GetString(section, key, Format("%d", default_value)));
}

bool IniStore::SetString(const std::string& section, const std::string& key,
                         const std::string& value) {
  if (!IsUsableSection(section) || !IsUsableKey(key) || HasLineBreak(value)) return false;
  // Edit what is on disk now, not what was read at the last lookup: another
  // store (or program) may have changed the file since, and rewriting it from
  // stale lines would silently undo that change.
  if (file_backed_) Load();

  long header = FindSection(section);
  if (header < 0) {
    if (value.empty()) return true;
    lines_.push_back("[" + section + "]");
    lines_.push_back(key + "=" + value);
    return Save();
  }
  size_t end = SectionEnd(static_cast<size_t>(header));
  std::string line_key, line_value;
  for (size_t i = static_cast<size_t>(header) + 1; i < end; ++i) {
    if (!ParseKeyLine(lines_[i], &line_key, &line_value) || line_key != key) continue;
    if (value.empty()) {
      lines_.erase(lines_.begin() + static_cast<long>(i));
    } else {
      lines_[i] = key + "=" + value;
    }
    return Save();
  }
  if (value.empty()) return true;
  lines_.insert(lines_.begin() + static_cast<long>(end), key + "=" + value);
  return Save();
}

bool IniStore::SetInt(const std::string& section, const std::string& key, int value) {
  return SetString(section, key, Format("%d", value));
}

std::string GetAttribute(const std::string& packed, const std::string& name) {
  std::string s = Trim(packed);
  size_t start = std::string::npos;
  std::string marker = ";;" + name + "=";
  size_t found = s.find(marker);
  if (found != std::string::npos) {
    start = found + marker.size();
  } else if (StartsWith(s, name) && s.size() > name.size() && s[name.size()] == '=') {
    // Only a real "name=" pair counts at the start: "url1" must not read
    // the value of "url10=...".
    start = name.size() + 1;
  }
  if (start == std::string::npos) return std::string();
  size_t end = s.find(";;", start);
  return s.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace corvane
