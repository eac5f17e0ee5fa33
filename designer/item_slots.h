// The File page's 20 and the Directory page's 10 item slots: what the
// project file keeps of each and what each gives the package ("ver" in the
// local file; the item section of the server-side file when it has URLs).
#pragma once

#include <string>
#include <vector>

namespace corvane {

class IniStore;

enum class ItemKind { kFile, kDirectory };

constexpr size_t kMaxPreviousBuilds = 5;
// "previous_file0" to "previous_file4".
std::string PreviousFileKey(size_t index);

struct ItemSlot {
  std::string local_ver = "0.0.0";
  std::string file_ver = "0.0.0";
  std::string urls;  // packed URL list
  int randomsel = 0;
  int tryallurl = 0;
  int protocol = 0;
  std::string url;  // the address edit
  std::string username;
  std::string pw;
  std::string rename;    // File page
  std::string path;
  std::string md5;       // File page
  std::string sha256;    // File page
  // File page: the new build on the publisher's disk and up to five earlier
  // builds that installations may have; the package gets a patch from each.
  std::string source_file;
  std::vector<std::string> previous_files;
  int uncompress = 0;    // File page
  int runme = 0;         // File page
  std::string filter;    // Directory page
  int is_inc_subdir = 0; // Directory page
  int modify_ver = 1;
  int op_mode = 0;
  int show_type = 0;
  std::string describe;

  static ItemSlot NewProject();
};

size_t SlotCount(ItemKind kind);
// "file%d" / "dir%d".
std::string SlotSection(ItemKind kind, size_t index);
// "*[file3]" for a slot with URLs, "[file3]" without.
std::string SlotLabel(ItemKind kind, size_t index, const std::string& packed_urls);
// The protocol drop-down: File "http://", "ftp://", "file://"; Directory
// "ftp://", "file://".
std::vector<std::string> ItemProtocols(ItemKind kind);

// The display-style choices an operation mode allows: a wizard-style item
// can only be shown normally.
std::vector<std::string> DisplayStyleChoices(int op_mode);
int EffectiveShowType(int op_mode, int show_type);
extern const char* const kOperationModes[2];

class ItemSlots {
 public:
  explicit ItemSlots(ItemKind kind);

  ItemKind Kind() const { return kind_; }
  size_t Count() const { return slots_.size(); }
  ItemSlot& At(size_t i) { return slots_[i]; }
  const ItemSlot& At(size_t i) const { return slots_[i]; }

  void ResetForNewProject();
  // Missing keys take the new-project values; out-of-range choices are
  // brought back into their drop-downs.
  void Load(IniStore& project);
  bool Save(IniStore& project) const;

 private:
  ItemKind kind_;
  std::vector<ItemSlot> slots_;
};

// Writes every slot's part of the package from the project file.
bool WriteItemPackagePart(ItemKind kind, IniStore& project, IniStore& local, IniStore& server);

}  // namespace corvane
