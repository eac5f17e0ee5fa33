// The File page's build files: the new build on the publisher's disk, whose
// digests fill the MD5 and SHA-256 fields, and the previous builds the
// package makes patches from (designer/package_patches.h).
#include "designer/item_page_win.h"
#include "designer/resource.h"
#include "shared/cng_crypto_win.h"
#include "shared/md5_digest.h"

namespace corvane {

namespace {

std::vector<std::string> ComboLines(HWND combo) {
  std::vector<std::string> lines;
  const LRESULT count = ::SendMessageA(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = ::SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    if (length <= 0) continue;
    std::string line(static_cast<size_t>(length) + 1, '\0');
    ::SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&line[0]));
    line.resize(static_cast<size_t>(length));
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

void ItemPage::ShowBuilds(const ItemSlot& s) {
  SetItemText(IDC_ITEM_SOURCE, s.source_file);
  HWND combo = Item(IDC_ITEM_PREVIOUS);
  ::SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  for (const std::string& path : s.previous_files) {
    ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path.c_str()));
  }
  ::SendMessageA(combo, CB_SETCURSEL, 0, 0);
}

void ItemPage::StoreBuilds(ItemSlot& s) {
  s.source_file = ItemText(IDC_ITEM_SOURCE);
  s.previous_files = ComboLines(Item(IDC_ITEM_PREVIOUS));
}

void ItemPage::BrowseUpdateFile() {
  const std::string path = ChooseOpenFile(MainWindow(), "File(*.*)|*.*||", nullptr);
  if (path.empty()) return;
  SetItemText(IDC_ITEM_SOURCE, path);
  Md5Digest md5;
  std::string sha256;
  if (!md5.FileDigest(path) || !Sha256FileHex(path, &sha256)) {
    Ask("Failed to read the update file: " + path, MB_OK | MB_ICONWARNING);
  } else {
    SetItemText(IDC_ITEM_MD5, md5.HexDigest());
    SetItemText(IDC_ITEM_SHA256, sha256);
  }
  StoreControls();
  MarkModified();
}

void ItemPage::AddPreviousBuild() {
  HWND combo = Item(IDC_ITEM_PREVIOUS);
  if (ComboLines(combo).size() >= kMaxPreviousBuilds) {
    Ask("Out of range", MB_OK | MB_ICONWARNING);
    return;
  }
  const std::string path = ChooseOpenFile(MainWindow(), "File(*.*)|*.*||", nullptr);
  if (path.empty()) return;
  for (const std::string& line : ComboLines(combo)) {
    if (line == path) {
      Ask("Already exists in the list.", MB_OK | MB_ICONWARNING);
      return;
    }
  }
  const LRESULT at = ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path.c_str()));
  ::SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
  StoreControls();
  MarkModified();
}

void ItemPage::RemovePreviousBuild() {
  HWND combo = Item(IDC_ITEM_PREVIOUS);
  const LRESULT sel = ::SendMessageA(combo, CB_GETCURSEL, 0, 0);
  if (sel == CB_ERR) return;
  ::SendMessageA(combo, CB_DELETESTRING, static_cast<WPARAM>(sel), 0);
  ::SendMessageA(combo, CB_SETCURSEL, 0, 0);
  StoreControls();
  MarkModified();
}

}  // namespace corvane
