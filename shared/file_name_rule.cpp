#include "shared/file_name_rule.h"

#include "shared/text_util.h"

namespace corvane {

namespace {

bool IsReservedCharacter(unsigned char c) {
  if (c < 0x20 || c == 0x7f) return true;
  switch (c) {
    case '<': case '>': case ':': case '"': case '/': case '\\': case '|': case '?': case '*':
      return true;
    default:
      return false;
  }
}

// The base of a name (up to its first dot, trailing blanks dropped) is what
// Windows matches against its devices: "nul.txt" and "NUL .log" open NUL.
bool IsDeviceName(const std::string& part) {
  std::string base = part.substr(0, part.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  base = ToLowerAscii(base);
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"};
  for (const char* device : kDevices) {
    if (base == device) return true;
  }
  if (base.size() != 4 || (base.compare(0, 3, "com") != 0 && base.compare(0, 3, "lpt") != 0)) return false;
  // 1 to 9, and the superscript digits 1, 2 and 3 of the Windows code pages.
  const unsigned char digit = static_cast<unsigned char>(base[3]);
  return (digit >= '1' && digit <= '9') || digit == 0xb9 || digit == 0xb2 || digit == 0xb3;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

const char* NameProblemText(NameProblem problem) {
  switch (problem) {
    case NameProblem::kNone: return "no problem";
    case NameProblem::kEmptyPart: return "an empty part";
    case NameProblem::kTrailingDotOrBlank: return "a trailing dot or blank";
    case NameProblem::kDeviceName: return "a device name";
    case NameProblem::kReservedCharacter: return "a reserved character";
    case NameProblem::kCommandCharacter: return "a character the command line reads";
  }
  return "unknown";
}

NameProblem CheckNameComponent(const std::string& part) {
  if (part.empty()) return NameProblem::kEmptyPart;
  for (char c : part) {
    if (IsReservedCharacter(static_cast<unsigned char>(c))) return NameProblem::kReservedCharacter;
  }
  if (part.back() == '.' || part.back() == ' ') return NameProblem::kTrailingDotOrBlank;
  if (IsDeviceName(part)) return NameProblem::kDeviceName;
  return NameProblem::kNone;
}

bool IsSafePathComponent(const std::string& component) {
  return CheckNameComponent(component) == NameProblem::kNone;
}

NameProblem CheckRelativeName(const std::string& name) {
  size_t start = 0;
  for (;;) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    const NameProblem problem = CheckNameComponent(name.substr(start, end - start));
    if (problem != NameProblem::kNone) return problem;
    if (end == name.size()) return NameProblem::kNone;
    start = end + 1;
  }
}

NameProblem CheckInstallName(const std::string& name) {
  const NameProblem problem = CheckRelativeName(name);
  if (problem != NameProblem::kNone) return problem;
  return name.find_first_of("&^") == std::string::npos ? NameProblem::kNone
                                                       : NameProblem::kCommandCharacter;
}

}  // namespace corvane
