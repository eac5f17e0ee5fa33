// The text side of the self-update relay: the names the three processes use,
// the "/self_update:" argument that carries the new versions from the
// installed updater to its copy, and the version record the copy writes.
// Windows calls live in self_update_win.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "updater/engine/config/local_config.h"

namespace corvane {

// One item that travels with the new updater: its number and its new version.
struct SelfUpdateEntry {
  int item = -1;
  std::string version;
};

// The downloaded copy of the updater: its own name with a second ".exe".
std::string SelfUpdateCopyName(const std::string& installed_name);
// The name the copy replaces: its own name without the last four characters.
std::string InstalledNameOfCopy(const std::string& copy_name);

// "/self_update:%d-<version>" (after "/HWND:%ld " when there is a host
// window), then ",%d-<version>" for each further entry. `entries` starts with
// the self item.
std::string BuildSelfUpdateArgument(int64_t host_window, const std::vector<SelfUpdateEntry>& entries);

// The command line the copy is started with: the own command line, a blank
// and the argument, or the argument alone.
std::string RelayCommandLine(const std::string& own_command_line, const std::string& argument);

// Reads the argument character by character: the characters before a "-"
// are the item number, those after it up to the next "," the version. At most
// three entries. An entry whose number is missing or not a plain decimal
// number yields no entry; when that is the first one the result is empty, and
// the copy records nothing.
std::vector<SelfUpdateEntry> ParseSelfUpdateArgument(const std::string& value);

// The finishing run's command line: the copy's lower-cased, with
// "self_update" replaced by "self_finish".
std::string FinishCommandLine(const std::string& copy_command_line);

// The waiting copies the copy puts in place, in this order, when the argument
// carried more than the updater itself.
std::vector<std::string> ConfigurationFilesWaitingAsUbk();

// Writes "ver" of each entry's "file<N>" section into the local configuration
// of `folder`: into the member of a non-empty "update.bin", else into a
// non-empty "update.dat"; neither is there: nothing to do (true).
bool RecordSelfUpdateVersions(const LocalFolder& folder, const std::vector<SelfUpdateEntry>& entries,
                              const std::string& password);

}  // namespace corvane
