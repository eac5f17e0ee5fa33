#include "updater/engine/stages/launch_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane {
namespace {

TEST(LaunchCommands, TheInterpreterGetsTheDoubledQuotesEveryProgramItsWholePath) {
  const std::string acme = "C:\\Program Files (x86)\\Acme & Co\\";
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {acme + "hook.bat", {"cmd /c \"\"" + acme + "hook.bat\"\""}},
      {acme + "OLD.COM", {"cmd /c \"\"" + acme + "OLD.COM\"\""}},
      {"C:\\R&D (x86)\\a^b@c.Bat", {"cmd /c \"\"C:\\R&D (x86)\\a^b@c.Bat\"\""}},
      {acme + "app.exe", {"\"" + acme + "app.exe\""}},
      {acme + "set.reg", {"regedit /s \"" + acme + "set.reg\""}},
      {acme + "x.DLL",
       {"regsvr32 /u /s \"" + acme + "x.DLL\"", "regsvr32 /s \"" + acme + "x.DLL\""}},
      {acme + "c.ocx", {"regsvr32 /u /s \"" + acme + "c.ocx\"", "regsvr32 /s \"" + acme + "c.ocx\""}},
      {acme + "readme.txt", {}},  // opened through the shell
      {"bat", {}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(LaunchCommandsFor(c.first), c.second) << c.first;
}

}  // namespace
}  // namespace corvane
