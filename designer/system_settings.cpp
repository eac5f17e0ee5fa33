#include "designer/system_settings.h"

#include "designer/page_defaults.h"
#include "designer/project_files.h"
#include "designer/url_list.h"
#include "shared/ini_store.h"

namespace corvane {

const PromptInfo kPrompts[kPromptCount] = {
    {"noupdate_win", "noupdate_win_msg", "Pop-up prompt if there's no new version:", 0,
     "No new version.", "No new version!"},
    {"start_win", "start_win_msg", "Pop-up prompt if there's new version:", 1,
     "Have new version, now upgrade it?", "Have new version, now upgrade it?"},
    {"close_win", "close_win_msg", "Pop-up prompt before closing relevant processes:", 1,
     "The upgrade will close some of the relevant processes. Save your data and continue.",
     "The upgrade will close some of the relevant processes. Save your data and continue!"},
    {"dl_win", "dl_win_msg", "Pop-up prompt if download file failed:", 1,
     "Download file failed, please try again later!", "Download file failed, please try again later!"},
    {"end_win1", "end_win1_msg", "Pop-up prompt if the upgrade is finished:", 1,
     "The upgrade is complete!", "The upgrade is finished!"},
    {"end_win2", "end_win2_msg", "Pop-up prompt if update failed:", 1, "Upgrade failed!",
     "Upgrade failed!"},
};

const char* const kProgramKeys[kProgramCount] = {"run_udbefore", "run_udafters", "run_udafterf",
                                                 "run_dlbefore", "run_dlafters", "run_dlafterf",
                                                 "run_before",   "run_after"};
const char* const kCloseKeys[kCloseCount] = {"close_proc1", "close_proc2", "close_proc3",
                                             "close_items"};
const char* const kSystemProtocols[3] = {"http://", "ftp://", "file://"};

namespace {

const char kSystem[] = "system";
const char kUi[] = "UI";

enum PromptIndex { kNoUpdate, kStart, kClose, kDownload, kEnd1, kEnd2 };

// The [UI] keys in the order the project and the package write them.
struct UiWrite {
  PromptIndex prompt;
  bool text;
};
const UiWrite kUiOrder[] = {{kNoUpdate, false}, {kNoUpdate, true}, {kStart, false},
                            {kStart, true},     {kDownload, false}, {kDownload, true},
                            {kEnd1, false},     {kEnd2, false},     {kEnd1, true},
                            {kEnd2, true},      {kClose, false},    {kClose, true}};

int Flag(int value) { return value != 0 ? 1 : 0; }

}  // namespace

SystemPageValues SystemPageValues::NewProject() {
  SystemPageValues s;
  s.user = kDefaultFtpUser;
  s.password = kDefaultFtpPassword;
  for (size_t i = 0; i < kPromptCount; ++i) {
    s.prompts[i].shown = kPrompts[i].new_flag;
    s.prompts[i].text = kPrompts[i].new_text;
  }
  return s;
}

SystemPageValues SystemPageValues::Load(IniStore& project) {
  SystemPageValues s;
  s.url_lines = UnpackUrlList(project.GetString(kSystem, "urls"));
  s.randomsel = Flag(ReadProjectInt(project, kSystem, "randomsel", 0));
  s.tryallurl = Flag(ReadProjectInt(project, kSystem, "tryallurl", 0));
  s.address = project.GetString(kSystem, "server_conf");
  s.protocol = ReadProjectInt(project, kSystem, "protocol", 0);
  // A hand-edited index outside the drop-down falls back to the first entry.
  if (s.protocol < 0 || s.protocol > 2) s.protocol = 0;
  s.closelog = Flag(ReadProjectInt(project, kSystem, "closelog", 0));
  for (size_t i = 0; i < kProgramCount; ++i) s.programs[i] = project.GetString(kSystem, kProgramKeys[i]);
  for (size_t i = 0; i < kCloseCount; ++i) s.close[i] = project.GetString(kSystem, kCloseKeys[i]);
  s.user = project.GetString(kSystem, "username", kDefaultFtpUser);
  s.password = project.GetString(kSystem, "pw", kDefaultFtpPassword);
  for (size_t i = 0; i < kPromptCount; ++i) {
    s.prompts[i].shown = Flag(ReadProjectInt(project, kUi, kPrompts[i].flag_key, kPrompts[i].new_flag));
    s.prompts[i].text = project.GetString(kUi, kPrompts[i].text_key, kPrompts[i].new_text);
  }
  return s;
}

bool SystemPageValues::Save(IniStore& project) const {
  bool ok = project.SetString(kSystem, "urls", PackUrlLines(url_lines));
  ok = project.SetInt(kSystem, "randomsel", randomsel) && ok;
  ok = project.SetInt(kSystem, "tryallurl", tryallurl) && ok;
  ok = project.SetString(kSystem, "server_conf", address) && ok;
  ok = project.SetInt(kSystem, "protocol", protocol) && ok;
  ok = project.SetInt(kSystem, "closelog", closelog) && ok;
  for (size_t i = 0; i < kProgramCount; ++i) ok = project.SetString(kSystem, kProgramKeys[i], programs[i]) && ok;
  for (size_t i = 0; i < kCloseCount; ++i) ok = project.SetString(kSystem, kCloseKeys[i], close[i]) && ok;
  ok = project.SetString(kSystem, "username", user) && ok;
  ok = project.SetString(kSystem, "pw", password) && ok;
  for (const UiWrite& w : kUiOrder) {
    const PromptInfo& info = kPrompts[w.prompt];
    const Prompt& p = prompts[w.prompt];
    ok = (w.text ? project.SetString(kUi, info.text_key, p.text)
                 : project.SetInt(kUi, info.flag_key, p.shown)) &&
         ok;
  }
  return ok;
}

std::string SystemPageValues::ServerFileName() const { return corvane::ServerFileName(url_lines); }

bool WriteSystemPackagePart(IniStore& project, IniStore& local, IniStore& server) {
  bool ok = local.SetString(kSystem, "urls", project.GetString(kSystem, "urls"));
  for (const char* key : {"closelog", "randomsel", "tryallurl"}) {
    ok = local.SetInt(kSystem, key, ReadProjectInt(project, kSystem, key, 0)) && ok;
  }
  for (const char* key : kProgramKeys) ok = server.SetString(kSystem, key, project.GetString(kSystem, key)) && ok;
  for (const char* key : kCloseKeys) ok = server.SetString(kSystem, key, project.GetString(kSystem, key)) && ok;
  for (const UiWrite& w : kUiOrder) {
    const PromptInfo& info = kPrompts[w.prompt];
    ok = (w.text ? server.SetString(kUi, info.text_key, project.GetString(kUi, info.text_key, info.new_text))
                 : server.SetInt(kUi, info.flag_key, ReadProjectInt(project, kUi, info.flag_key, info.new_flag))) &&
         ok;
  }
  return ok;
}

}  // namespace corvane
