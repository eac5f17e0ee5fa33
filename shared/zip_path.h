// Stored names of zip entries and the checks that keep an extraction inside
// its target folder.
#pragma once

#include <string>
#include <vector>

#include "shared/file_name_rule.h"

namespace corvane {

// Splits a stored name at "/" and "\" into the folder and file names it
// stands for. Refuses (returns false) any name that could leave the target
// folder or that Windows would read as something other than a plain path:
// absolute and UNC names, drive letters and any other ":" (alternate data
// streams), ".." and ".", device names (CON, NUL, COM1, "nul.txt", ...),
// names ending in a dot or blank, control characters and the characters
// Windows forbids in file names. Empty components ("a//b", a trailing "/")
// are skipped; at least one component must remain.
bool SplitStoredName(const std::string& name, std::vector<std::string>& parts);

// The name with "\" turned into "/", the separator the ZIP format defines;
// this is how new entries are stored.
std::string NormalizeStoredName(const std::string& name);

// True when both names denote the same entry: separators are
// interchangeable and, with `ignore_case`, ASCII case does not matter.
bool StoredNamesEqual(const std::string& a, const std::string& b, bool ignore_case);

}  // namespace corvane
