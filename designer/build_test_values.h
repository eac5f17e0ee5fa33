// The "Build-Test" page's values: the output folder, the local file's form,
// whether builds sign the server-side file and the four test switches, kept in the project's [project] section, and
// the updater command line composed from them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace corvane {

class IniStore;

constexpr size_t kTestOptionCount = 4;  // Check only, Log, Tray, Return messages

struct BuildTestValues {
  std::string output_folder;  // with a trailing backslash once taken over
  int local_mode = 0;         // 0 "update.dat", 1 "update.bin"
  std::string test_options = "0000";
  int sign_config = 0;        // 1: builds sign the server-side file (designer/package_signing.h)
  // Release control (designer/release_control.h).
  int rollout = 100;          // "Roll out to: N %", 1 to 100
  std::string rollout_key;    // empty: the items' versions
  int sign_valid_days = 0;    // "Signature valid for: N days", 0: no expiry

  // Missing keys: "0000", 0 and the project folder + "output\"; 100 %, no
  // roll-out key and no expiry.
  static BuildTestValues Load(IniStore& project, const std::string& project_folder);
  bool Save(IniStore& project) const;
};

// "output\" under the project folder.
std::string DefaultOutputFolder(const std::string& project_folder);
// The folder with a backslash appended when it has none (empty stays empty).
std::string WithTrailingBackslash(const std::string& folder);

struct TestCommand {
  std::string options;       // " /OP:CheckVer /Log /Tray /HWND:<window>" as far as checked
  std::string test_options;  // "1" or "0" per switch, in that order
  std::string command_line;  // output folder + "update.exe" + options
};
// `window` is the page's own handle, printed in decimal.
TestCommand ComposeTestCommandLine(const std::array<bool, kTestOptionCount>& checked, int64_t window,
                                   const std::string& output_folder);
// The check boxes of a stored "param_val": false when it has fewer than four
// characters (the boxes then stay as they are).
bool TestOptionsToChecks(const std::string& test_options, std::array<bool, kTestOptionCount>* checked);

// One line of the test page's message box for a message the updater posts
// back (WM_USER + 996..999), without the time stamp; empty for others.
std::string DescribeUpdaterMessage(unsigned offset_from_user, int64_t wparam, int64_t lparam);
// "%H:%M:%S    " + text + "\r\n".
std::string TimeStampedLine(int hour, int minute, int second, const std::string& text);

}  // namespace corvane
