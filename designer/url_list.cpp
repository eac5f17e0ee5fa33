#include "designer/url_list.h"

#include "shared/ini_store.h"
#include "shared/text_util.h"

namespace corvane {

const char kUserLabel[] = "  Username: ";
const char kPasswordLabel[] = "  Password: ";

namespace {
const char kFtp[] = "ftp://";
}

std::string StoredForm(const UrlSource& url) {
  std::string s = url.protocol + url.address;
  if (!url.user.empty()) {
    s += ",," + url.user;
    if (!url.password.empty()) s += ",," + url.password;
  }
  return s;
}

std::string DisplayForm(const UrlSource& url, bool always_labels) {
  std::string s = url.protocol + url.address;
  if (always_labels) return s + kUserLabel + url.user + kPasswordLabel + url.password;
  if (!url.user.empty()) {
    s += kUserLabel + url.user;
    if (!url.password.empty()) s += kPasswordLabel + url.password;
  }
  return s;
}

bool ParseStoredForm(const std::string& stored, UrlSource* out) {
  std::string s = Trim(stored);
  UrlSource url;
  std::string location = s;
  size_t sep = s.find(",,");
  if (sep != std::string::npos) {
    location = s.substr(0, sep);
    std::string rest = s.substr(sep + 2);
    size_t second = rest.find(",,");
    url.user = rest.substr(0, second);
    if (second != std::string::npos) url.password = rest.substr(second + 2);
  }
  size_t scheme = location.find("://");
  if (scheme == std::string::npos) return false;
  url.protocol = location.substr(0, scheme + 3);
  url.address = location.substr(scheme + 3);
  if (url.protocol == "://" || url.address.empty()) return false;
  *out = url;
  return true;
}

bool ParseDisplayLine(const std::string& line, UrlSource* out) {
  return ParseStoredForm(ReplaceAll(ReplaceAll(line, kUserLabel, ",,"), kPasswordLabel, ",,"), out);
}

std::string PackUrlLines(const std::vector<std::string>& lines) {
  std::string packed;
  for (size_t i = 0; i < lines.size() && i < kMaxUrls; ++i) {
    UrlSource url;
    std::string stored = ParseDisplayLine(lines[i], &url) ? StoredForm(url) : Trim(lines[i]);
    if (i > 0) packed += ";;";
    packed += "url" + std::to_string(i) + "=" + stored;
  }
  return packed;
}

std::vector<std::string> UnpackUrlList(const std::string& packed) {
  std::vector<std::string> lines;
  for (size_t i = 0; i < kMaxUrls; ++i) {
    std::string value = GetAttribute(packed, "url" + std::to_string(i));
    if (value.empty()) break;
    UrlSource url;
    if (ParseStoredForm(value, &url)) lines.push_back(DisplayForm(url, false));
  }
  return lines;
}

std::string ServerFileName(const std::vector<std::string>& lines) {
  if (lines.empty()) return std::string();
  std::string first = ReplaceAll(lines[0], "\\", "/");
  size_t labels = first.find("  ");
  if (labels != std::string::npos) first.resize(labels);
  size_t slash = first.rfind('/');
  return slash == std::string::npos ? first : first.substr(slash + 1);
}

void UrlListEditor::SetLines(std::vector<std::string> lines) {
  lines_ = std::move(lines);
  selected_ = -1;
}

void UrlListEditor::Select(int index) {
  selected_ = index >= 0 && static_cast<size_t>(index) < lines_.size() ? index : -1;
}

std::string UrlListEditor::LineFor(const UrlSource& url) {
  if (url.protocol == kFtp) return DisplayForm(url, true);
  return url.protocol + url.address;
}

UrlListEditor::Result UrlListEditor::Add(const UrlSource& url) {
  if (lines_.size() >= kMaxUrls) return Result::kOutOfRange;
  if (url.address.empty()) return Result::kIgnored;
  std::string line = LineFor(url);
  for (const std::string& existing : lines_) {
    if (existing == line) return Result::kDuplicate;
  }
  lines_.push_back(line);
  selected_ = static_cast<int>(lines_.size()) - 1;
  return Result::kChanged;
}

UrlListEditor::Result UrlListEditor::Update(const UrlSource& url) {
  if (selected_ < 0 || url.address.empty()) return Result::kIgnored;
  lines_[static_cast<size_t>(selected_)] = LineFor(url);
  return Result::kChanged;
}

UrlListEditor::Result UrlListEditor::Delete() {
  if (selected_ < 0) return Result::kIgnored;
  lines_.erase(lines_.begin() + selected_);
  if (lines_.empty()) {
    selected_ = -1;
  } else if (static_cast<size_t>(selected_) >= lines_.size()) {
    selected_ = static_cast<int>(lines_.size()) - 1;
  }
  return Result::kChanged;
}

}  // namespace corvane
