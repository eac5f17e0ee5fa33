#include "shared/zip_path.h"

#include "shared/text_util.h"

namespace corvane {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

bool SplitStoredName(const std::string& name, std::vector<std::string>& parts) {
  parts.clear();
  if (name.empty() || IsSeparator(name[0])) return false;
  std::string current;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || IsSeparator(name[i])) {
      if (!current.empty()) {
        if (!IsSafePathComponent(current)) {
          parts.clear();
          return false;
        }
        parts.push_back(current);
        current.clear();
      }
    } else {
      current += name[i];
    }
  }
  return !parts.empty();
}

std::string NormalizeStoredName(const std::string& name) { return ReplaceAll(name, "\\", "/"); }

bool StoredNamesEqual(const std::string& a, const std::string& b, bool ignore_case) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (IsSeparator(x) && IsSeparator(y)) continue;
    if (ignore_case) {
      if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
      if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    }
    if (x != y) return false;
  }
  return true;
}

}  // namespace corvane
