// The command lines RunByExtension starts a file with, by its extension.
// Portable, so the quoting is tested natively: a path under "Program Files
// (x86)" or "R&D" must reach the program whole.
#pragma once

#include <string>
#include <vector>

namespace corvane {

// In the order they are started: "regedit /s" for ".reg", unregistering and
// registering "regsvr32" runs for ".dll" and ".ocx", the program itself for
// ".exe", the command interpreter for ".bat" and ".com". Empty for any other
// extension (the shell opens the file) and for an empty path.
//
// The interpreter is given `cmd /c ""<path>""`: with anything but exactly one
// quoted executable name, "cmd /c" drops the first and the last quote of its
// line and reads the rest, so the doubled quotes leave the path quoted and
// its "(", ")", "&", "^" or "@" are read as part of the name.
std::vector<std::string> LaunchCommandsFor(const std::string& path);

}  // namespace corvane
