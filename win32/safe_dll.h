// Library loading that cannot be hijacked by a DLL planted beside the program.
#pragma once

#include <windows.h>

namespace corvane {

// Restricts the search for libraries loaded at run time to the system folder.
// Call first thing in WinMain: users and publishers write into the updater's
// folder, so it must never be searched.
void RestrictDllSearchToSystem();

// LoadLibrary limited to the system folder, whatever the process default is.
HMODULE LoadSystemLibrary(const char* name);

}  // namespace corvane
