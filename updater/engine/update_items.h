// The updater's run state that needs no Windows: item records, the values of
// the server-side [system] and [UI] sections, and the run-wide results of the
// check. UpdaterApp owns one UpdateRun for the whole run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shared/ini_store.h"

namespace corvane {

constexpr int kMaxFileItems = 20;
constexpr int kMaxDirItems = 10;
constexpr int kMaxUrlEntries = 10;

enum DisplayStyle { kStyleNormal = 0, kStyleSilent = 1, kStyleHide = 2 };
enum OperationMode { kModeWizard = 0, kModeAutomatic = 1 };

// One file to fetch and install: a file of a directory item, or (with an
// empty subfolder) the single file of a file item.
struct DownloadEntry {
  std::string subfolder;       // relative to the listed root, no leading/trailing separator
  std::string file_name;       // as listed
  std::string temporary_name;  // flat name, unique within the listing
  uint64_t size = 0;           // as listed (both halves); 0 for local listings
};

// URLs with their parallel user names and passwords.
struct UrlList {
  std::vector<std::string> urls;
  std::vector<std::string> users;
  std::vector<std::string> passwords;

  bool Empty() const { return urls.empty(); }
  size_t Size() const { return urls.size(); }
  void Add(const std::string& url, const std::string& user, const std::string& password) {
    urls.push_back(url);
    users.push_back(user);
    passwords.push_back(password);
  }
  void RemoveAt(size_t i) {
    urls.erase(urls.begin() + static_cast<long>(i));
    users.erase(users.begin() + static_cast<long>(i));
    passwords.erase(passwords.begin() + static_cast<long>(i));
  }
  void Clear() {
    urls.clear();
    users.clear();
    passwords.clear();
  }
};

// A binary patch that turns one earlier build of a file item's file into
// the new one ("patch<N>_urls", "patch<N>_from_md5").
struct FilePatch {
  int number = 0;        // N, 0 to 4
  UrlList urls;
  std::string from_md5;  // of the installed file it applies to, 32 hexadecimal digits
};
constexpr int kMaxFilePatches = 5;

struct FileItem {
  bool is_new = false;
  int modify_version = 1;
  int uncompress = 0;
  int run_me = 0;
  int random_select = 0;
  int try_all_urls = 0;
  UrlList urls;
  std::string local_version = "0.0.0";
  std::string server_version = "0.0.0";
  std::string destination;   // "path"
  std::string md5;           // 32 characters or empty
  // "sha256" as the server gave it; empty means no check. Unlike "md5", a
  // value that is not 64 hexadecimal digits is kept and fails the check:
  // a publisher who asked for SHA-256 must not silently get less.
  std::string sha256;
  std::string install_name;  // "rename", or the last part of the first URL
  // The install name climbs out of the item's folder ("..", a drive, a
  // leading separator), or Windows or the command interpreter would read it
  // as another name (shared/file_name_rule.h): the item must fail instead
  // of being fetched.
  bool install_name_refused = false;
  std::string run_path;      // set by the update stage
  std::string description;
  int show_type = 0;
  int op_mode = 0;
  std::vector<FilePatch> patches;  // used only with an "md5" to check the result
  std::vector<DownloadEntry> downloads;
  std::vector<std::string> backed_up_files;
  std::vector<std::string> created_files;
};

struct DirItem {
  bool is_new = false;
  int modify_version = 1;
  int include_subdirs = 0;  // "is_inc_subdir"
  int random_select = 0;
  int try_all_urls = 0;
  UrlList urls;
  std::string local_version = "0.0.0";
  std::string server_version = "0.0.0";
  std::string destination;
  std::string filter;
  std::string description;
  std::string run_path;
  int show_type = 0;
  int op_mode = 0;
  std::vector<DownloadEntry> downloads;
  std::vector<std::string> backed_up_files;
  std::vector<std::string> created_files;
};

// Server-side [system] values.
struct SystemSettings {
  std::string run_before, run_after;
  std::string run_dlbefore, run_dlafters, run_dlafterf;
  std::string run_udbefore, run_udafters, run_udafterf;
  std::vector<std::string> close_proc1, close_proc2, close_proc3;
  std::vector<std::string> close_items;
};

// Server-side [UI] values: the message boxes and whether each is shown.
struct UiPrompts {
  int noupdate_win = 0;
  std::string noupdate_win_msg = "No new version.";
  int start_win = 1;
  std::string start_win_msg = "Have new version, now upgrade it?";
  int close_win = 1;
  std::string close_win_msg =
      "The upgrade will close some of the relevant processes. Save your data and continue.";
  int dl_win = 1;
  std::string dl_win_msg = "Download file failed, please try again later!";
  int end_win1 = 1;
  std::string end_win1_msg = "The upgrade is finished!";
  int end_win2 = 1;
  std::string end_win2_msg = "Upgrade failed!";
};

struct UpdateRun {
  FileItem files[kMaxFileItems];
  DirItem dirs[kMaxDirItems];

  // From the local configuration file.
  IniStore local_config;   // as read by the check; new versions are written back into it
  std::string local_form;  // "update.bin" or "update.dat"
  UrlList config_urls;
  int random_select = 0;
  int try_all_urls = 0;

  // Results of the check.
  std::string url_in_use;
  int new_item_count = 0;
  bool close_needed = false;
  int display_style = kStyleNormal;
  int operation_mode = kModeAutomatic;
  SystemSettings system;
  UiPrompts prompts;
};

}  // namespace corvane
