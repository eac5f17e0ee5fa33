#include "updater/engine/transfer/transfer_text.h"

#include "shared/text_util.h"

namespace corvane {

std::string FormatSizeText(uint64_t bytes) {
  const double kilobytes = static_cast<double>(bytes) / 1024.0;
  if (kilobytes > 1024.0) return Format("%.1fMB", static_cast<double>(bytes) / 1048576.0);
  return Format("%.1fKB", kilobytes);
}

std::string FormatRateText(double kilobytes_per_second) {
  if (kilobytes_per_second > 1024.0) return Format("%.1fMB/s", kilobytes_per_second / 1024.0);
  return Format("%.1fKB/s", kilobytes_per_second);
}

std::string FormatCopyRateText(double megabytes_per_second) {
  return Format("%.1fMB/s", megabytes_per_second);
}

double ComputeRate(uint64_t bytes, int64_t elapsed_ticks, double seconds_per_tick,
                   double unit_bytes) {
  if (elapsed_ticks <= 0 || seconds_per_tick <= 0.0 || unit_bytes <= 0.0) return 0.0;
  return static_cast<double>(bytes) /
         (static_cast<double>(elapsed_ticks) * seconds_per_tick * unit_bytes);
}

void UpdateRateText(std::string* rate_text, uint64_t bytes, int64_t elapsed_ticks,
                    double seconds_per_tick, bool copy_rate) {
  const double rate =
      ComputeRate(bytes, elapsed_ticks, seconds_per_tick, copy_rate ? 1048576.0 : 1024.0);
  if (rate <= 0.0) return;
  *rate_text = copy_rate ? FormatCopyRateText(rate) : FormatRateText(rate);
}

int TransferPercent(uint64_t bytes, uint64_t total) {
  if (total == 0) return 0;
  const double percent = static_cast<double>(bytes) * 100.0 / static_cast<double>(total);
  if (percent >= 100.0) return 100;
  return static_cast<int>(percent);
}

std::string RateLineText(uint64_t total, const std::string& rate_text) {
  return FormatSizeText(total) + " (" + rate_text + ")";
}

std::string DownloadTooltipText(const std::string& title, uint64_t total, int percent,
                                const std::string& rate_text) {
  return title + "\nDownload(" + FormatSizeText(total) + "): " + Format("%d%% ", percent) +
         rate_text;
}

std::string AnnotatedRowLabel(const std::string& label, uint64_t size) {
  return label + "(" + FormatSizeText(size) + ")";
}

bool IsDirectoryRowLabel(const std::string& label) { return StartsWith(label, "<"); }

namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool MatchWildcard(const std::string& name, const std::string& pattern) {
  // Greedy scan that remembers the last "*" and retries from one character
  // further on a mismatch: linear in practice, never exponential.
  size_t n = 0, p = 0;
  size_t star = std::string::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      while (p < pattern.size() && pattern[p] == '*') ++p;
      star = p;
      star_n = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || FoldAscii(pattern[p]) == FoldAscii(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string::npos) {
      p = star;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool MatchFileFilter(const std::string& file_name, const std::string& filter) {
  const std::string trimmed = Trim(filter);
  if (trimmed.empty()) return true;
  // Patterns are not trimmed one by one: a blank after a comma is part of
  // the next pattern.
  size_t start = 0;
  while (start <= trimmed.size()) {
    size_t end = trimmed.find(',', start);
    if (end == std::string::npos) end = trimmed.size();
    const std::string pattern = trimmed.substr(start, end - start);
    if (!pattern.empty() && MatchWildcard(file_name, pattern)) return true;
    start = end + 1;
  }
  return false;
}

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string ReplaceChars(std::string text, const char* chars, char with) {
  for (char& c : text) {
    for (const char* p = chars; *p; ++p) {
      if (c == *p) c = with;
    }
  }
  return text;
}

}  // namespace

std::string ListingSubfolder(const std::string& root, const std::string& folder) {
  std::string sub = folder.size() > root.size() ? folder.substr(root.size()) : std::string();
  if (!sub.empty() && IsSeparator(sub.front())) sub.erase(0, 1);
  if (!sub.empty() && IsSeparator(sub.back())) sub.pop_back();
  return sub;
}

std::string FtpTemporaryName(const std::string& folder, const std::string& name) {
  return ReplaceChars(folder + "." + name, "\\/", '_');
}

std::string LocalTemporaryName(const std::string& folder, const std::string& name) {
  return ReplaceChars(folder + "." + name, "\\/:", '_');
}

void SplitFtpRemotePath(const std::string& remote_path, std::string* directory,
                        std::string* file_name) {
  const size_t slash = remote_path.rfind('/');
  if (slash == std::string::npos) {
    *directory = "/";
    *file_name = remote_path;
  } else {
    *directory = remote_path.substr(0, slash + 1);
    *file_name = remote_path.substr(slash + 1);
  }
}

std::string LocalFolderOf(const std::string& path) {
  const size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace corvane
