#include "updater/engine/self_update/self_update_relay.h"

#include <string>

#include "shared/ini_store.h"
#include "shared/text_util.h"

namespace corvane {

std::string SelfUpdateCopyName(const std::string& installed_name) { return installed_name + ".exe"; }

std::string InstalledNameOfCopy(const std::string& copy_name) {
  return copy_name.size() > 4 ? copy_name.substr(0, copy_name.size() - 4) : std::string();
}

std::string BuildSelfUpdateArgument(int64_t host_window, const std::vector<SelfUpdateEntry>& entries) {
  if (entries.empty()) return std::string();
  std::string argument = host_window != 0 ? "/HWND:" + std::to_string(host_window) + " " : std::string();
  argument += Format("/self_update:%d-", entries[0].item) + entries[0].version;
  for (size_t i = 1; i < entries.size(); ++i) {
    argument += Format(",%d-", entries[i].item) + entries[i].version;
  }
  return argument;
}

std::string RelayCommandLine(const std::string& own_command_line, const std::string& argument) {
  return own_command_line.empty() ? argument : own_command_line + " " + argument;
}

namespace {

bool IsPlainNumber(const std::string& s) {
  if (s.empty() || s.size() > 4) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

std::vector<SelfUpdateEntry> ParseSelfUpdateArgument(const std::string& value) {
  std::vector<SelfUpdateEntry> entries;
  std::string number, version;
  bool after_dash = false;
  bool first = true;
  // Ends one entry; false when the first entry named no item, which ends
  // the whole argument.
  auto finish_entry = [&]() {
    const bool named = after_dash && IsPlainNumber(number);
    if (named) entries.push_back({ParseLeadingInt(number), version});
    const bool go_on = named || !first;
    first = false;
    number.clear();
    version.clear();
    after_dash = false;
    return go_on;
  };
  for (size_t i = 0; i <= value.size() && entries.size() < 3; ++i) {
    const char c = i < value.size() ? value[i] : ',';
    if (c == ',') {
      if (!finish_entry()) break;
    } else if (after_dash) {
      version += c;
    } else if (c == '-') {
      after_dash = true;
    } else {
      number += c;
    }
  }
  return entries;
}

std::string FinishCommandLine(const std::string& copy_command_line) {
  return ReplaceAll(ToLowerAscii(copy_command_line), "self_update", "self_finish");
}

std::vector<std::string> ConfigurationFilesWaitingAsUbk() {
  return {"update.dat", "update.bin", "ui.dat", "ui.bin"};
}

bool RecordSelfUpdateVersions(const LocalFolder& folder, const std::vector<SelfUpdateEntry>& entries,
                              const std::string& password) {
  if (folder.FileSize(kLocalBinaryName) <= 0 && folder.FileSize(kLocalTextName) <= 0) return true;
  IniStore store;
  const LocalConfigResult local = ReadLocalConfiguration(folder, password, &store);
  if (!local.ok) return false;
  bool ok = true;
  for (const SelfUpdateEntry& entry : entries) {
    ok = SetLocalVersion(store, Format("file%d", entry.item), entry.version) && ok;
  }
  // One write of the file for all entries.
  ok = SaveLocalConfiguration(store, local.form, folder, password) && ok;
  return ok;
}

}  // namespace corvane
