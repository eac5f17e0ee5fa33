#include "shared/zip_path.h"

#include <cstring>

#include "shared/text_util.h"

namespace corvane {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool IsForbiddenCharacter(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7f || std::strchr("<>:\"|?*", c) != nullptr;
}

// Windows opens a device instead of a file for these base names, whatever
// extension follows ("nul.txt") and whatever blanks precede the extension.
bool IsDeviceName(const std::string& component) {
  std::string base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  base = ToLowerAscii(base);
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"};
  for (const char* device : kDevices) {
    if (base == device) return true;
  }
  if (base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0)) {
    unsigned char digit = static_cast<unsigned char>(base[3]);
    // 1 to 9, and the superscript digits 1, 2 and 3 of the Windows code pages.
    if ((digit >= '1' && digit <= '9') || digit == 0xb9 || digit == 0xb2 || digit == 0xb3) return true;
  }
  return false;
}

}  // namespace

bool IsSafePathComponent(const std::string& component) {
  if (component.empty() || component == "." || component == "..") return false;
  for (char c : component) {
    if (IsForbiddenCharacter(c) || IsSeparator(c)) return false;
  }
  char last = component.back();
  if (last == '.' || last == ' ') return false;
  return !IsDeviceName(component);
}

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
