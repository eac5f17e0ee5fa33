// The System page's values: where the updater finds the server-side file,
// the logging switch, the six prompts, the processes to close and the eight
// programs to run. Kept in the project's [system] and [UI] sections and
// copied into the package's "update.dat" and server-side file.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace corvane {

class IniStore;

struct Prompt {
  int shown = 0;
  std::string text;
};

struct PromptInfo {
  const char* flag_key;
  const char* text_key;
  const char* caption;
  int new_flag;
  const char* new_text;
  const char* other_text;  // the drop-down's second choice
};

// In the page's order: no new version, new version, closing processes,
// download failed, finished, failed.
constexpr size_t kPromptCount = 6;
extern const PromptInfo kPrompts[kPromptCount];

// The eight programs, in the order the project file writes them.
constexpr size_t kProgramCount = 8;
extern const char* const kProgramKeys[kProgramCount];
// close_proc1, close_proc2, close_proc3, close_items.
constexpr size_t kCloseCount = 4;
extern const char* const kCloseKeys[kCloseCount];

struct SystemPageValues {
  std::vector<std::string> url_lines;  // display lines
  int randomsel = 0;
  int tryallurl = 0;
  int protocol = 0;  // 0 http://, 1 ftp://, 2 file://
  std::string address;
  std::string user;
  std::string password;
  int closelog = 0;
  std::array<Prompt, kPromptCount> prompts;
  std::array<std::string, kProgramCount> programs;
  std::array<std::string, kCloseCount> close;

  static SystemPageValues NewProject();
  static SystemPageValues Load(IniStore& project);
  bool Save(IniStore& project) const;
  std::string ServerFileName() const;
};

// Copies the System keys of the project into the package's local file and
// server-side file.
bool WriteSystemPackagePart(IniStore& project, IniStore& local, IniStore& server);

extern const char* const kSystemProtocols[3];

}  // namespace corvane
