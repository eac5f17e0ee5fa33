#include "designer/item_slots.h"

#include "designer/page_defaults.h"
#include "designer/project_files.h"
#include "shared/ini_store.h"
#include "shared/text_util.h"

namespace corvane {

const char* const kOperationModes[2] = {"0: Wizard-style", "1: Automatic"};

namespace {

const char kNoVersion[] = "0.0.0";

int Clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }
int Flag(int value) { return value != 0 ? 1 : 0; }

// Removes the key when the value equals `dropped`.
bool SetIntUnless(IniStore& ini, const std::string& section, const char* key, int value,
                  int dropped) {
  return value == dropped ? ini.SetString(section, key, "") : ini.SetInt(section, key, value);
}

bool SetVersion(IniStore& ini, const std::string& section, const char* key,
                const std::string& version) {
  return ini.SetString(section, key, version == kNoVersion ? std::string() : version);
}

}  // namespace

ItemSlot ItemSlot::NewProject() {
  ItemSlot slot;
  slot.username = kDefaultFtpUser;
  slot.pw = kDefaultFtpPassword;
  return slot;
}

size_t SlotCount(ItemKind kind) { return kind == ItemKind::kFile ? 20 : 10; }

std::string SlotSection(ItemKind kind, size_t index) {
  return (kind == ItemKind::kFile ? "file" : "dir") + std::to_string(index);
}

std::string SlotLabel(ItemKind kind, size_t index, const std::string& packed_urls) {
  return (packed_urls.empty() ? "[" : "*[") + SlotSection(kind, index) + "]";
}

std::vector<std::string> ItemProtocols(ItemKind kind) {
  if (kind == ItemKind::kFile) return {"http://", "ftp://", "file://"};
  return {"ftp://", "file://"};
}

std::vector<std::string> DisplayStyleChoices(int op_mode) {
  if (op_mode != 1) return {"0: Normal"};
  return {"0: Normal", "1: Silent(Nothing can be seen except the prompt and error message)",
          "2: Hide(Nothing can be seen)"};
}

int EffectiveShowType(int op_mode, int show_type) {
  return op_mode == 1 ? Clamp(show_type, 0, 2) : 0;
}

std::string PreviousFileKey(size_t index) { return "previous_file" + std::to_string(index); }

ItemSlots::ItemSlots(ItemKind kind) : kind_(kind), slots_(SlotCount(kind), ItemSlot::NewProject()) {}

void ItemSlots::ResetForNewProject() {
  for (ItemSlot& slot : slots_) slot = ItemSlot::NewProject();
}

void ItemSlots::Load(IniStore& project) {
  const int last_protocol = static_cast<int>(ItemProtocols(kind_).size()) - 1;
  for (size_t i = 0; i < slots_.size(); ++i) {
    const std::string section = SlotSection(kind_, i);
    ItemSlot s = ItemSlot::NewProject();
    s.local_ver = project.GetString(section, "local_ver", kNoVersion);
    s.file_ver = project.GetString(section, "file_ver", kNoVersion);
    s.urls = project.GetString(section, "urls");
    s.randomsel = Flag(ReadProjectInt(project, section, "randomsel", 0));
    s.tryallurl = Flag(ReadProjectInt(project, section, "tryallurl", 0));
    s.protocol = Clamp(ReadProjectInt(project, section, "protocol", 0), 0, last_protocol);
    s.url = project.GetString(section, "url");
    s.username = project.GetString(section, "username", kDefaultFtpUser);
    s.pw = project.GetString(section, "pw", kDefaultFtpPassword);
    s.path = project.GetString(section, "path");
    s.describe = project.GetString(section, "describe");
    s.modify_ver = Flag(ReadProjectInt(project, section, "modify_ver", 1));
    s.op_mode = Clamp(ReadProjectInt(project, section, "op_mode", 0), 0, 1);
    s.show_type = EffectiveShowType(s.op_mode, ReadProjectInt(project, section, "show_type", 0));
    if (kind_ == ItemKind::kFile) {
      s.rename = project.GetString(section, "rename");
      s.md5 = project.GetString(section, "md5");
      s.sha256 = project.GetString(section, "sha256");
      s.source_file = project.GetString(section, "source_file");
      for (size_t k = 0; k < kMaxPreviousBuilds; ++k) {
        const std::string previous = project.GetString(section, PreviousFileKey(k));
        if (!previous.empty()) s.previous_files.push_back(previous);
      }
      s.uncompress = Flag(ReadProjectInt(project, section, "uncompress", 0));
      s.runme = Flag(ReadProjectInt(project, section, "runme", 0));
    } else {
      s.filter = project.GetString(section, "filter");
      s.is_inc_subdir = Flag(ReadProjectInt(project, section, "is_inc_subdir", 0));
    }
    slots_[i] = s;
  }
}

bool ItemSlots::Save(IniStore& project) const {
  bool ok = true;
  for (size_t i = 0; i < slots_.size(); ++i) {
    const std::string section = SlotSection(kind_, i);
    const ItemSlot& s = slots_[i];
    ok = project.SetString(section, "urls", s.urls) && ok;
    ok = project.SetString(section, "url", s.url) && ok;
    ok = project.SetString(section, "username", s.username) && ok;
    ok = project.SetString(section, "pw", s.pw) && ok;
    ok = project.SetString(section, "path", s.path) && ok;
    ok = project.SetString(section, "describe", s.describe) && ok;
    ok = project.SetInt(section, "protocol", s.protocol) && ok;
    ok = SetVersion(project, section, "local_ver", s.local_ver) && ok;
    ok = SetVersion(project, section, "file_ver", s.file_ver) && ok;
    if (kind_ == ItemKind::kFile) {
      ok = SetIntUnless(project, section, "uncompress", s.uncompress, 0) && ok;
      ok = project.SetString(section, "rename", s.rename) && ok;
      ok = project.SetString(section, "md5", s.md5) && ok;
      ok = project.SetString(section, "sha256", s.sha256) && ok;
      ok = SetIntUnless(project, section, "modify_ver", s.modify_ver, 1) && ok;
      ok = SetIntUnless(project, section, "runme", s.runme, 0) && ok;
      ok = project.SetString(section, "source_file", s.source_file) && ok;
      for (size_t k = 0; k < kMaxPreviousBuilds; ++k) {
        const std::string previous = k < s.previous_files.size() ? s.previous_files[k] : "";
        ok = project.SetString(section, PreviousFileKey(k), previous) && ok;
      }
    } else {
      ok = project.SetString(section, "filter", s.filter) && ok;
      ok = SetIntUnless(project, section, "modify_ver", s.modify_ver, 1) && ok;
      ok = SetIntUnless(project, section, "is_inc_subdir", s.is_inc_subdir, 0) && ok;
    }
    ok = SetIntUnless(project, section, "op_mode", s.op_mode, 0) && ok;
    ok = SetIntUnless(project, section, "show_type", EffectiveShowType(s.op_mode, s.show_type), 0) && ok;
    ok = SetIntUnless(project, section, "randomsel", s.randomsel, 0) && ok;
    ok = SetIntUnless(project, section, "tryallurl", s.tryallurl, 0) && ok;
  }
  return ok;
}

bool WriteItemPackagePart(ItemKind kind, IniStore& project, IniStore& local, IniStore& server) {
  const bool file = kind == ItemKind::kFile;
  bool ok = true;
  for (size_t i = 0; i < SlotCount(kind); ++i) {
    const std::string section = SlotSection(kind, i);
    ok = SetVersion(local, section, "ver", project.GetString(section, "local_ver", kNoVersion)) && ok;
    const std::string urls = project.GetString(section, "urls");
    if (urls.empty()) continue;
    ok = server.SetString(section, "urls", urls) && ok;
    ok = server.SetString(section, "path", project.GetString(section, "path")) && ok;
    const std::string server_ver = project.GetString(section, "file_ver", kNoVersion);
    // The updater reads a missing directory "ver" as "0.0.0" anyway; a file
    // item always names its version.
    ok = (file ? server.SetString(section, "ver", server_ver)
               : SetVersion(server, section, "ver", server_ver)) &&
         ok;
    if (file) {
      ok = server.SetString(section, "rename", project.GetString(section, "rename")) && ok;
      ok = server.SetString(section, "describe", project.GetString(section, "describe")) && ok;
      ok = server.SetString(section, "md5", project.GetString(section, "md5")) && ok;
      ok = server.SetString(section, "sha256", project.GetString(section, "sha256")) && ok;
      ok = server.SetInt(section, "uncompress", ReadProjectInt(project, section, "uncompress", 0)) && ok;
      ok = server.SetInt(section, "modify_ver", ReadProjectInt(project, section, "modify_ver", 1)) && ok;
      ok = server.SetInt(section, "runme", ReadProjectInt(project, section, "runme", 0)) && ok;
    } else {
      ok = server.SetString(section, "filter", project.GetString(section, "filter")) && ok;
      ok = server.SetString(section, "describe", project.GetString(section, "describe")) && ok;
      ok = server.SetInt(section, "modify_ver", ReadProjectInt(project, section, "modify_ver", 1)) && ok;
      ok = server.SetInt(section, "is_inc_subdir", ReadProjectInt(project, section, "is_inc_subdir", 0)) && ok;
    }
    for (const char* key : {"op_mode", "show_type", "randomsel", "tryallurl"}) {
      ok = server.SetInt(section, key, ReadProjectInt(project, section, key, 0)) && ok;
    }
  }
  return ok;
}

}  // namespace corvane
