#include "updater/engine/config/update_check.h"

#include <ctime>

#include "shared/file_name_rule.h"
#include "shared/text_util.h"
#include "updater/engine/config/config_reads.h"
#include "updater/engine/config/patch_download.h"
#include "updater/engine/config/rollout.h"
#include "updater/engine/config/url_entry.h"
#include "updater/engine/config/version_compare.h"
#include "updater/engine/log_banner.h"
#include "updater/engine/net/transfer_limits.h"

namespace corvane {

const char kPublicKeyKey[] = "publickey";
const char kSerialKey[] = "serial";
const char kSignatureSuffix[] = ".sig";

namespace {

// A DER P-256 signature is at most 72 bytes; anything far larger is not one.
constexpr size_t kMaxSignatureBytes = 1024;
// The log line of a refused configuration; the fetch of that URL then
// counts as failed.
std::string Refuse(UpdateLog& log, const char* reason) {
  log.Write(std::string("The server-side configuration file is refused: ") + reason);
  return std::string();
}

const char kNoVersion[] = "0.0.0";
const char kSystem[] = "system";
const char kUi[] = "UI";

std::string FileSection(int index) { return Format("file%d", index); }
std::string DirSection(int index) { return Format("dir%d", index); }

// Values outside the three display styles read as the default, "Normal": a
// negative one would otherwise drive the run's style below every known one.
int ShowTypeOrDefault(int show_type) {
  return show_type >= kStyleNormal && show_type <= kStyleHide ? show_type : kStyleNormal;
}

const char* OperationModeName(int mode) { return mode == kModeAutomatic ? "Automatic" : "Wizard-style"; }

const char* DisplayStyleName(int style) {
  if (style == kStyleNormal) return "Normal";
  if (style == kStyleSilent) return "Silent";
  return "Hide";
}

}  // namespace

std::string TextAsLines(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size() + 1);
  size_t start = 0;
  while (start < bytes.size()) {
    size_t newline = bytes.find('\n', start);
    size_t end = newline == std::string::npos ? bytes.size() : newline;
    size_t line_end = end;
    if (line_end > start && bytes[line_end - 1] == '\r') --line_end;
    text.append(bytes, start, line_end - start);
    text += '\n';
    if (newline == std::string::npos) break;
    start = newline + 1;
  }
  return text;
}

UpdateCheck::UpdateCheck(UpdateRun& run, UpdateLog& log, IniStore& local_store,
                         ConfigTextSource& source, NoticeSink& notices)
    : run_(run), log_(log), local_(local_store), source_(source), notices_(notices) {}

void UpdateCheck::SetRandomSeed(uint32_t seed) {
  random_.seed(seed);
  seeded_ = true;
}

bool UpdateCheck::ReadConfiguration(const LocalFolder& folder, const CheckSetup& setup) {
  if (setup.preview) {
    log_.SetEnabled(false);
    run_.display_style = kStyleNormal;
    run_.operation_mode = kModeWizard;
    return true;
  }

  const LocalConfigResult local = ReadLocalConfiguration(folder, setup.archive_password, &local_);
  if (!local.ok) {
    notices_.ShowNotice(local.message);
    return false;
  }
  run_.local_form = local.form;

  // Logging needs the publisher's consent in the local file: "closelog"
  // missing counts as "keep the log off".
  if (local_.GetInt(kSystem, "closelog", 1) != 0) log_.SetEnabled(false);
  if (log_.Enabled()) log_.Open(setup.log_path);

  if (setup.directory_constants) {
    WriteStartBanner(log_, setup.updater_version, *setup.directory_constants);
  } else {
    const std::string none[kDirectoryConstants];
    WriteStartBanner(log_, setup.updater_version, none);
  }
  log_.WriteDeferred();
  log_.Write("Analysis of the local configuration file: " + run_.local_form);
  ReadLocalValues();
  folder_ = &folder;
  setup_ = &setup;
  if (!ReadSigningValues()) {
    log_.Write(
        "Failed to download the configuration file, may be network configuration errors or "
        "unreasonable!");
    return false;
  }

  const std::string text = FetchServerText();
  if (text.empty()) {
    log_.Write(
        "Failed to download the configuration file, may be network configuration errors or "
        "unreasonable!");
    return false;
  }

  log_.Write("Analysis of server-side configuration files.");
  IniStore server;
  // Text that holds nothing but a zero byte loads nothing; the store must
  // still leave file-backed mode, or its lookups would read a stray file.
  if (!server.LoadFromText(text)) server.LoadFromText("\n");
  run_.display_style = kStyleHide;
  run_.operation_mode = kModeAutomatic;
  ReadServerItems(server);
  ReadServerSystem(server);
  ReadServerPrompts(server);
  DecideRollout();

  log_.Write("Analysis of server-side configuration files. Result:");
  log_.Write(std::string("Operation mode: ") + OperationModeName(run_.operation_mode));
  log_.Write(std::string("Display style: ") + DisplayStyleName(run_.display_style));
  return true;
}

void UpdateCheck::ReadLocalValues() {
  log_.Write("[system]");
  const std::string urls = ReadLoggedString(local_, log_, kSystem, "urls", "");
  run_.config_urls.Clear();
  AppendUrlEntries(urls, &run_.config_urls);
  run_.random_select = ReadLoggedInt(local_, log_, kSystem, "randomsel", 0);
  run_.try_all_urls = ReadLoggedInt(local_, log_, kSystem, "tryallurl", 0);

  log_.Write("-- The following list only users defined in [fileX] or [dirX]:");
  for (int i = 0; i < kMaxFileItems; ++i) {
    const std::string section = FileSection(i);
    run_.files[i].local_version = local_.GetString(section, "ver", kNoVersion);
    if (run_.files[i].local_version != kNoVersion) {
      log_.Write("[" + section + "]");
      log_.Write("ver=" + run_.files[i].local_version);
    }
  }
  for (int i = 0; i < kMaxDirItems; ++i) {
    const std::string section = DirSection(i);
    run_.dirs[i].local_version = local_.GetString(section, "ver", kNoVersion);
    if (run_.dirs[i].local_version != kNoVersion) {
      log_.Write("[" + section + "]");
      log_.Write("ver=" + run_.dirs[i].local_version);
    }
  }
}

std::string UpdateCheck::FetchServerText() {
  if (!seeded_) SetRandomSeed(static_cast<uint32_t>(std::time(nullptr)));
  std::string text;
  // Each URL is taken out of the list as it is tried, so none is tried twice.
  while (!run_.config_urls.Empty()) {
    size_t index = 0;
    if (run_.random_select != 0) index = random_() % run_.config_urls.Size();
    const std::string url = run_.config_urls.urls[index];
    const std::string user = run_.config_urls.users[index];
    const std::string password = run_.config_urls.passwords[index];
    run_.config_urls.RemoveAt(index);
    run_.url_in_use = url;

    log_.Write("Download server-side configuration file: " + url);
    text = signed_ ? FetchSignedText(url, user, password) : source_.FetchConfigText(url, user, password);
    if (text.size() > kMaxConfigTextBytes) text.clear();
    if (run_.try_all_urls == 0 || !text.empty()) break;
    log_.Write("Download failed.");
  }
  return text;
}

bool UpdateCheck::ReadSigningValues() {
  const std::string key_text = local_.GetString(kSystem, kPublicKeyKey, "");
  signed_ = !key_text.empty();
  if (!signed_) return true;
  log_.Write(std::string(kPublicKeyKey) + "=" + key_text);
  if (!PublicKeyFromText(key_text, &public_key_)) {
    log_.Write("The public key of the local configuration file cannot be read.");
    return false;
  }
  // A floor that cannot be read is no floor: the signature still decides.
  const std::string serial_text = local_.GetString(kSystem, kSerialKey, "");
  log_.Write(std::string(kSerialKey) + "=" + serial_text);
  if (!ParseSerial(serial_text, &accepted_serial_)) accepted_serial_ = 0;
  return true;
}

std::string UpdateCheck::FetchSignedText(const std::string& url, const std::string& user,
                                         const std::string& password) {
  const std::string bytes = source_.FetchExactBytes(url, user, password);
  if (bytes.empty() || bytes.size() > kMaxConfigTextBytes) return std::string();
  const std::string signature_url = url + kSignatureSuffix;
  log_.Write("Download the signature of the server-side configuration file: " + signature_url);
  const std::string der = source_.FetchExactBytes(signature_url, user, password);
  P256Signature signature;
  if (der.empty()) return Refuse(log_, "its signature is missing.");
  if (der.size() > kMaxSignatureBytes || !SignatureFromDer(der, &signature)) {
    return Refuse(log_, "its signature is malformed.");
  }
  if (!setup_->verifier || !setup_->verifier->Verify(public_key_, bytes, signature)) {
    return Refuse(log_, "its signature does not match the publisher's key.");
  }
  IniStore signed_store;
  uint64_t serial = 0;
  if (!signed_store.LoadFromText(bytes) ||
      !ParseSerial(signed_store.GetString(kSystem, kSerialKey, ""), &serial)) {
    return Refuse(log_, "it has no serial.");
  }
  if (serial < accepted_serial_) {
    // A replayed older configuration could roll users back to a version
    // with known holes.
    const std::string reason = "its serial " + std::to_string(serial) +
                               " is older than the serial accepted before, " +
                               std::to_string(accepted_serial_) + ".";
    return Refuse(log_, reason.c_str());
  }
  P256PublicKey next_key;
  bool replace_key = false;
  if (!CheckExpiry(signed_store) || !TakeNextKey(signed_store, &next_key, &replace_key)) {
    return std::string();
  }
  log_.Write("The signature of the server-side configuration file is valid, serial " +
             std::to_string(serial) + ".");
  if (replace_key) {
    ReplacePublisherKey(PublicKeyText(next_key), serial);
  } else {
    RecordAcceptedSerial(serial);
  }
  return bytes;
}

bool UpdateCheck::CheckExpiry(IniStore& signed_store) {
  const std::string text = signed_store.GetString(kSystem, kExpiresKey, "");
  if (text.empty()) return true;
  // An expiry the publisher meant but the updater cannot read must not
  // turn into none: that would undo the protection it gives.
  uint64_t expires = 0;
  if (!ParseExpiry(text, &expires)) {
    Refuse(log_, "its expiry time cannot be read.");
    return false;
  }
  const uint64_t now = setup_->now != 0 ? setup_->now : static_cast<uint64_t>(std::time(nullptr));
  if (IsExpired(expires, now)) {
    Refuse(log_, ("it expired at " + UtcTimeText(expires)).c_str());
    return false;
  }
  return true;
}

bool UpdateCheck::TakeNextKey(IniStore& signed_store, P256PublicKey* next, bool* replace) {
  *replace = false;
  const std::string text = signed_store.GetString(kSystem, kNextKeyKey, "");
  if (text.empty()) return true;
  // Taking a key that cannot be read would refuse every later file.
  if (!PublicKeyFromText(text, next)) {
    Refuse(log_, "its next publisher key cannot be read.");
    return false;
  }
  *replace = next->xy != public_key_.xy;
  return true;
}

void UpdateCheck::ReplacePublisherKey(const std::string& key_text, uint64_t serial) {
  const uint64_t floor = serial > accepted_serial_ ? serial : accepted_serial_;
  const std::vector<LocalValue> values = {{kSystem, kPublicKeyKey, key_text},
                                          {kSystem, kSerialKey, std::to_string(floor)}};
  if (!WriteLocalValues(local_, run_.local_form, *folder_, values, setup_->archive_password)) {
    log_.Write("Failed to write the new publisher key into the local configuration file.");
    RecordAcceptedSerial(serial);
    return;
  }
  accepted_serial_ = floor;
  PublicKeyFromText(key_text, &public_key_);
  log_.Write("The publisher key was replaced.");
}

void UpdateCheck::RecordAcceptedSerial(uint64_t serial) {
  if (serial <= accepted_serial_) return;
  accepted_serial_ = serial;
  if (!WriteLocalValue(local_, run_.local_form, *folder_, kSystem, kSerialKey, std::to_string(serial),
                       setup_->archive_password)) {
    log_.Write("Failed to write the serial into the local configuration file.");
  }
}

bool UpdateCheck::AnyItemNew() const {
  for (const FileItem& item : run_.files) {
    if (!item.urls.Empty() && CompareVersions(item.server_version, item.local_version)) return true;
  }
  for (const DirItem& item : run_.dirs) {
    if (!item.urls.Empty() && CompareVersions(item.server_version, item.local_version)) return true;
  }
  return false;
}

void UpdateCheck::DecideRollout() {
  run_.rollout_excluded = false;
  const int percentage = run_.system.rollout;
  // Nothing new, nothing to share out: an installation gets its identifier
  // only when a roll-out has to decide about it.
  if (percentage >= kFullRollout || !AnyItemNew()) return;
  const std::string id = InstallationId();
  // Without a lasting identifier the installation would draw anew on every
  // run and soon be in; it waits for the full release instead.
  run_.rollout_excluded = id.empty() || !InRollout(RolloutBucket(id, run_.system.rollout_key), percentage);
}

std::string UpdateCheck::InstallationId() {
  std::string id = Trim(local_.GetString(kSystem, kInstallIdKey, ""));
  if (id.empty()) {
    if (setup_->random) id = NewInstallId(*setup_->random);
    if (id.empty()) {
      log_.Write("Failed to make the installation identifier.");
      return id;
    }
    if (!WriteLocalValue(local_, run_.local_form, *folder_, kSystem, kInstallIdKey, id,
                         setup_->archive_password)) {
      log_.Write("Failed to write the installation identifier into the local configuration file.");
      return std::string();
    }
  }
  log_.Write(std::string(kInstallIdKey) + "=" + id);
  return id;
}

void UpdateCheck::LowerDisplayStyle(int show_type) {
  // The run is as visible as its most visible new item.
  if (show_type < run_.display_style) run_.display_style = show_type;
}

void UpdateCheck::NoteOperationMode(int op_mode) {
  if (op_mode == 0) run_.operation_mode = kModeWizard;
}

void UpdateCheck::ReadServerItems(IniStore& server) {
  log_.Write("-- The following list only effective [fileX] or [dirX] (That a new version is found.)");
  run_.new_item_count = 0;
  for (int i = 0; i < kMaxFileItems; ++i) ReadFileItem(server, i);
  for (int i = 0; i < kMaxDirItems; ++i) ReadDirItem(server, i);
  log_.Write(Format("-- Find %d valid items", run_.new_item_count));
}

bool UpdateCheck::ReadNewItemHead(IniStore& server, const std::string& section,
                                  const std::string& local_version, std::string* server_version,
                                  UrlList* urls) {
  *server_version = server.GetString(section, "ver", kNoVersion);
  const std::string packed = server.GetString(section, "urls", "");
  if (packed.empty() || *server_version == kNoVersion) return false;
  log_.Write("[" + section + "]");
  log_.Write("urls=" + packed);
  log_.Write("ver=" + *server_version);
  if (!CompareVersions(*server_version, local_version)) return false;

  ++run_.new_item_count;
  log_.Write("-- Find new version");
  urls->Clear();
  AppendUrlEntries(packed, urls);
  return true;
}

void UpdateCheck::ReadFileItem(IniStore& server, int index) {
  FileItem& item = run_.files[index];
  const std::string section = FileSection(index);
  if (!ReadNewItemHead(server, section, item.local_version, &item.server_version, &item.urls)) {
    return;
  }
  item.random_select = ReadLoggedInt(server, log_, section, "randomsel", 0);
  item.try_all_urls = ReadLoggedInt(server, log_, section, "tryallurl", 0);
  item.destination = ReadLoggedString(server, log_, section, "path", "");
  item.modify_version = ReadLoggedInt(server, log_, section, "modify_ver", 1);
  item.show_type = ShowTypeOrDefault(ReadLoggedInt(server, log_, section, "show_type", 0));
  LowerDisplayStyle(item.show_type);
  item.op_mode = ReadLoggedInt(server, log_, section, "op_mode", 0);
  NoteOperationMode(item.op_mode);
  item.uncompress = ReadLoggedInt(server, log_, section, "uncompress", 0);
  item.run_me = ReadLoggedInt(server, log_, section, "runme", 0);
  item.md5 = ReadLoggedString(server, log_, section, "md5", "");
  // Only a whole digest can be checked; anything else means "no check".
  if (item.md5.size() != 32) item.md5.clear();
  // Logged only when given, so the log of an item without it stays as it was.
  item.sha256 = Trim(server.GetString(section, "sha256", ""));
  if (!item.sha256.empty()) log_.Write("sha256=" + item.sha256);
  item.install_name = ReadLoggedString(server, log_, section, "rename", "");
  if (item.install_name.empty()) item.install_name = DefaultInstallName(item.urls);
  // The name is joined to the item's download and destination folders; one
  // that climbs out of them would let the server write anywhere.
  item.install_name_refused = !IsSafeInstallName(item.install_name);
  if (item.install_name_refused) {
    log_.Write("The file name leaves the item's folder: " + item.install_name);
  } else if (!item.install_name.empty()) {
    // Windows would store it under another name (or open a device), and
    // the command interpreter would split it when the item is run.
    const NameProblem problem = CheckInstallName(item.install_name);
    item.install_name_refused = problem != NameProblem::kNone;
    if (item.install_name_refused) {
      log_.Write(std::string("The file name cannot be used on Windows (") +
                 NameProblemText(problem) + "): " + item.install_name);
    }
  }
  item.description = ReadLoggedString(server, log_, section, "describe", "");
  item.patches = ReadFilePatches(server, log_, section);
}

void UpdateCheck::ReadDirItem(IniStore& server, int index) {
  DirItem& item = run_.dirs[index];
  const std::string section = DirSection(index);
  if (!ReadNewItemHead(server, section, item.local_version, &item.server_version, &item.urls)) {
    return;
  }
  item.random_select = ReadLoggedInt(server, log_, section, "randomsel", 0);
  item.try_all_urls = ReadLoggedInt(server, log_, section, "tryallurl", 0);
  item.destination = ReadLoggedString(server, log_, section, "path", "");
  item.filter = ReadLoggedString(server, log_, section, "filter", "");
  item.modify_version = ReadLoggedInt(server, log_, section, "modify_ver", 1);
  item.show_type = ShowTypeOrDefault(ReadLoggedInt(server, log_, section, "show_type", 0));
  LowerDisplayStyle(item.show_type);
  item.op_mode = ReadLoggedInt(server, log_, section, "op_mode", 0);
  NoteOperationMode(item.op_mode);
  item.include_subdirs = ReadLoggedInt(server, log_, section, "is_inc_subdir", 0);
  item.description = ReadLoggedString(server, log_, section, "describe", "");
}

void UpdateCheck::ReadServerSystem(IniStore& server) {
  SystemSettings& s = run_.system;
  log_.Write("[system]");
  s.run_before = ReadLoggedString(server, log_, kSystem, "run_before", "");
  s.run_after = ReadLoggedString(server, log_, kSystem, "run_after", "");
  s.run_udbefore = ReadLoggedString(server, log_, kSystem, "run_udbefore", "");
  s.run_udafters = ReadLoggedString(server, log_, kSystem, "run_udafters", "");
  s.run_udafterf = ReadLoggedString(server, log_, kSystem, "run_udafterf", "");
  s.run_dlbefore = ReadLoggedString(server, log_, kSystem, "run_dlbefore", "");
  s.run_dlafters = ReadLoggedString(server, log_, kSystem, "run_dlafters", "");
  s.run_dlafterf = ReadLoggedString(server, log_, kSystem, "run_dlafterf", "");
  s.close_proc1 = SplitTrimmed(ReadLoggedString(server, log_, kSystem, "close_proc1", ""), ',');
  s.close_proc2 = SplitTrimmed(ReadLoggedString(server, log_, kSystem, "close_proc2", ""), ',');
  s.close_proc3 = SplitTrimmed(ReadLoggedString(server, log_, kSystem, "close_proc3", ""), ',');
  s.close_items = SplitTrimmed(ReadLoggedString(server, log_, kSystem, "close_items", ""), ',');
  // Logged only when given, so the log of a release without a roll-out
  // stays as it was.
  s.rollout = kFullRollout;
  s.rollout_key.clear();
  const std::string rollout = server.GetString(kSystem, kRolloutKey, "");
  if (!rollout.empty()) {
    log_.Write(std::string(kRolloutKey) + "=" + rollout);
    s.rollout = RolloutPercentage(rollout);
    s.rollout_key = ReadLoggedString(server, log_, kSystem, kRolloutKeyKey, "");
  }
}

void UpdateCheck::ReadServerPrompts(IniStore& server) {
  UiPrompts& p = run_.prompts;
  const UiPrompts defaults;
  log_.Write("[UI]");
  p.noupdate_win = ReadLoggedInt(server, log_, kUi, "noupdate_win", defaults.noupdate_win);
  p.noupdate_win_msg =
      ReadLoggedString(server, log_, kUi, "noupdate_win_msg", defaults.noupdate_win_msg);
  p.start_win = ReadLoggedInt(server, log_, kUi, "start_win", defaults.start_win);
  p.start_win_msg = ReadLoggedString(server, log_, kUi, "start_win_msg", defaults.start_win_msg);
  p.close_win = ReadLoggedInt(server, log_, kUi, "close_win", defaults.close_win);
  p.close_win_msg = ReadLoggedString(server, log_, kUi, "close_win_msg", defaults.close_win_msg);
  p.dl_win = ReadLoggedInt(server, log_, kUi, "dl_win", defaults.dl_win);
  p.dl_win_msg = ReadLoggedString(server, log_, kUi, "dl_win_msg", defaults.dl_win_msg);
  p.end_win1 = ReadLoggedInt(server, log_, kUi, "end_win1", defaults.end_win1);
  p.end_win2 = ReadLoggedInt(server, log_, kUi, "end_win2", defaults.end_win2);
  p.end_win1_msg = ReadLoggedString(server, log_, kUi, "end_win1_msg", defaults.end_win1_msg);
  p.end_win2_msg = ReadLoggedString(server, log_, kUi, "end_win2_msg", defaults.end_win2_msg);
  p.start_win = ReadLoggedInt(server, log_, kUi, "start_win", defaults.start_win);
}

bool UpdateCheck::NeedsClosing(const std::string& section) const {
  const std::vector<std::string>& names = run_.system.close_items;
  if (names.empty()) return true;
  for (const std::string& name : names) {
    if (EqualsNoCase(name, section)) return true;
  }
  return false;
}

bool UpdateCheck::MarkNewItems() {
  log_.Write("Version Comparison.");
  run_.close_needed = false;
  if (run_.rollout_excluded) {
    for (FileItem& item : run_.files) item.is_new = false;
    for (DirItem& item : run_.dirs) item.is_new = false;
    log_.Write(RolloutExclusionLine(run_.system.rollout));
    return false;
  }
  bool any_new = false;
  for (int i = 0; i < kMaxFileItems; ++i) {
    FileItem& item = run_.files[i];
    item.is_new = !item.urls.Empty() && CompareVersions(item.server_version, item.local_version);
    if (!item.is_new) continue;
    any_new = true;
    if (NeedsClosing(FileSection(i))) run_.close_needed = true;
  }
  for (int i = 0; i < kMaxDirItems; ++i) {
    DirItem& item = run_.dirs[i];
    item.is_new = !item.urls.Empty() && CompareVersions(item.server_version, item.local_version);
    if (!item.is_new) continue;
    any_new = true;
    if (NeedsClosing(DirSection(i))) run_.close_needed = true;
  }
  return any_new;
}

}  // namespace corvane
