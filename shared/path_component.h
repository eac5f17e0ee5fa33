// One folder or file name as Windows reads it. The rule keeps names that come
// from outside (a project name typed into a dialog, an archive entry, an
// install name) from meaning anything other than one plain name in the
// folder they are joined to.
#pragma once

#include <string>

namespace corvane {

// False for an empty name, "." and "..", names holding "/" or "\", ":" (a
// drive or an alternate data stream), control characters or any of
// < > " | ? *, names ending in a dot or a blank (Windows drops them, so the
// name would denote another file), and device names (CON, PRN, AUX, NUL,
// COM1-9, LPT1-9, CONIN$, CONOUT$, CLOCK$, with any extension: "nul.txt").
bool IsSafePathComponent(const std::string& component);

}  // namespace corvane
