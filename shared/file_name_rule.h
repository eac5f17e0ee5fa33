// Whether a name from outside (a server-side install name, a name in a
// folder listing, a name a publisher types) is stored by Windows under
// exactly that name. Windows drops a trailing dot or blank ("a.txt." is
// "a.txt"), opens a device for "NUL" or "con.txt", and refuses a few
// characters outright; a name it reads as another name slips past every
// comparison made on the text, such as the guards that keep items off the
// back-ups and the journal. Portable, so both programs and the tests share it.
#pragma once

#include <string>

namespace corvane {

enum class NameProblem {
  kNone,
  kEmptyPart,            // "", or an empty part between separators
  kTrailingDotOrBlank,   // "a.txt.", "a.txt ", ".", ".."
  kDeviceName,           // CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$, CLOCK$, any extension or case
  kReservedCharacter,    // < > : " / \ | ? *, a control character or DEL
  kCommandCharacter,     // & or ^: read by the command interpreter
};

// The reason as a few words for a log line ("a trailing dot or blank").
const char* NameProblemText(NameProblem problem);

// One path component: the name of one file or folder.
NameProblem CheckNameComponent(const std::string& part);

// One plain name that stays in the folder it is joined to (no "." or "..",
// no separator, drive or stream): CheckNameComponent finds nothing. Project
// names, archive entries and template entries are checked with it.
bool IsSafePathComponent(const std::string& component);

// A relative name ("sub\\x.dll"; "\\" or "/" between parts), each part
// checked as one component; the first problem found.
NameProblem CheckRelativeName(const std::string& name);

// A name a program may be started by (an install name): a relative name
// that also holds none of the characters the command interpreter gives a
// meaning even inside quotes would not save ("&", "^" besides the reserved ones).
NameProblem CheckInstallName(const std::string& name);

}  // namespace corvane
