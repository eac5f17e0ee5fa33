#include "designer/build_test_values.h"

#include "designer/package_signing.h"
#include "designer/project_files.h"
#include "designer/release_control.h"
#include "shared/ini_store.h"
#include "shared/text_util.h"
#include "updater/engine/config/rollout.h"

namespace corvane {

namespace {

constexpr char kProject[] = "project";
const char* const kSwitches[kTestOptionCount] = {" /OP:CheckVer", " /Log", " /Tray", " /HWND:"};

int ClampValidDays(int days) { return days < 0 ? 0 : days > kMaxSignValidDays ? kMaxSignValidDays : days; }

}  // namespace

std::string DefaultOutputFolder(const std::string& project_folder) { return project_folder + "output\\"; }

std::string WithTrailingBackslash(const std::string& folder) {
  if (folder.empty() || folder.back() == '\\') return folder;
  return folder + "\\";
}

BuildTestValues BuildTestValues::Load(IniStore& project, const std::string& project_folder) {
  BuildTestValues values;
  values.test_options = project.GetString(kProject, "param_val", "0000");
  values.local_mode = ReadProjectInt(project, kProject, "local_cfgout", 0) == 1 ? 1 : 0;
  values.sign_config = ReadProjectInt(project, kProject, kSignConfigKey, 0) != 0 ? 1 : 0;
  values.rollout = RolloutPercentage(project.GetString(kProject, kRolloutProjectKey, ""));
  values.rollout_key = project.GetString(kProject, kRolloutKeyProjectKey, "");
  values.sign_valid_days = ClampValidDays(ReadProjectInt(project, kProject, kSignValidDaysKey, 0));
  values.output_folder =
      WithTrailingBackslash(project.GetString(kProject, "output_path", DefaultOutputFolder(project_folder)));
  return values;
}

bool BuildTestValues::Save(IniStore& project) const {
  bool ok = project.SetString(kProject, "param_val", test_options);
  ok = project.SetInt(kProject, "local_cfgout", local_mode) && ok;
  // Absent unless on, so projects that never sign keep their text.
  ok = project.SetString(kProject, kSignConfigKey, sign_config != 0 ? "1" : "") && ok;
  const int percentage = RolloutPercentage(std::to_string(rollout));
  ok = project.SetString(kProject, kRolloutProjectKey, percentage < kFullRollout ? std::to_string(percentage) : "") &&
       ok;
  ok = project.SetString(kProject, kRolloutKeyProjectKey, Trim(rollout_key)) && ok;
  const int days = ClampValidDays(sign_valid_days);
  ok = project.SetString(kProject, kSignValidDaysKey, days > 0 ? std::to_string(days) : "") && ok;
  return project.SetString(kProject, "output_path", output_folder) && ok;
}

TestCommand ComposeTestCommandLine(const std::array<bool, kTestOptionCount>& checked, int64_t window,
                                   const std::string& output_folder) {
  TestCommand command;
  command.test_options = "0000";
  for (size_t i = 0; i < kTestOptionCount; ++i) {
    if (!checked[i]) continue;
    command.test_options[i] = '1';
    command.options += kSwitches[i];
    if (i == 3) command.options += Format("%lld", static_cast<long long>(window));
  }
  command.command_line = output_folder + "update.exe" + command.options;
  return command;
}

bool TestOptionsToChecks(const std::string& test_options, std::array<bool, kTestOptionCount>* checked) {
  if (test_options.size() < kTestOptionCount) return false;
  for (size_t i = 0; i < kTestOptionCount; ++i) (*checked)[i] = test_options[i] == '1';
  return true;
}

std::string DescribeUpdaterMessage(unsigned offset_from_user, int64_t wparam, int64_t lparam) {
  // The updater posts 32-bit values; they are shown as signed numbers.
  const long w = static_cast<long>(static_cast<int32_t>(wparam));
  const long l = static_cast<long>(static_cast<int32_t>(lparam));
  switch (offset_from_user) {
    case 999: {
      std::string line = Format("MSG=WM_USER+999;  WPARAM=%d;  ", static_cast<int>(w));
      switch (w) {
        case 1: return line + "Description: The upgrade is complete.";
        case -1: return line + "Description: Upgrade failed";
        case 2: return line + "Description: No new version";
        case 3: return line + "Description: Find new version";
        default: return line;
      }
    }
    case 998:
      return Format("MSG=WM_USER+998;  WPARAM=%d;  LPARAM=%d;  ", static_cast<int>(w), static_cast<int>(l)) +
             "Description: The general progress (relative value)";
    case 997:
      return Format("MSG=WM_USER+997;  WPARAM=%d;  LPARAM=%d;  ", static_cast<int>(w), static_cast<int>(l)) +
             "Description: a file's progress (relative value)";
    case 996:
      return Format("MSG=WM_USER+996;  WPARAM=%ld;  LPARAM=%ld;  ", w, l) +
             "Description: a file's progress(absolute value)";
    default:
      return std::string();
  }
}

std::string TimeStampedLine(int hour, int minute, int second, const std::string& text) {
  return Format("%02d:%02d:%02d    ", hour, minute, second) + text + "\r\n";
}

}  // namespace corvane
