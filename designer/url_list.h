// The URL lists the designer edits (the server-side file's locations on the
// System page, each item's download locations on the File and Directory
// pages). The list box shows display lines; the project and the package keep
// the packed form "url0=...;;url1=...", each entry in its stored form.
#pragma once

#include <string>
#include <vector>

namespace corvane {

// One location: protocol prefix ending in "://", address, and for FTP a user
// name and password.
struct UrlSource {
  std::string protocol;
  std::string address;
  std::string user;
  std::string password;
};

constexpr size_t kMaxUrls = 10;
extern const char kUserLabel[];      // "  Username: "
extern const char kPasswordLabel[];  // "  Password: "

// protocol + address [",," user [",," password]].
std::string StoredForm(const UrlSource& url);
// protocol + address, then the user and password labels: with
// `always_labels` both are always shown; otherwise each only when not empty
// (the password only after a user).
std::string DisplayForm(const UrlSource& url, bool always_labels);

// Splits a stored form: trimmed, URL before the first ",,", then user name
// and password at the next ",,"; protocol up to and including the first
// "://". False when the protocol or the address is empty.
bool ParseStoredForm(const std::string& stored, UrlSource* out);
// The stored form of a display line (the labels stand for ",,").
bool ParseDisplayLine(const std::string& line, UrlSource* out);

// Packs up to kMaxUrls display lines; an empty list packs to "".
std::string PackUrlLines(const std::vector<std::string>& lines);
// Display lines (labels only where a value is present) of a packed list; the
// first absent or empty position ends it, unusable entries are skipped.
std::vector<std::string> UnpackUrlList(const std::string& packed);

// The name the updater fetches: the first line with the labels cut off, the
// text after its last slash (backslashes count as slashes).
std::string ServerFileName(const std::vector<std::string>& lines);

// The list box's lines and selection with the Add/Update/Delete rules.
class UrlListEditor {
 public:
  enum class Result { kChanged, kIgnored, kOutOfRange, kDuplicate };

  const std::vector<std::string>& Lines() const { return lines_; }
  void SetLines(std::vector<std::string> lines);
  int Selected() const { return selected_; }
  void Select(int index);

  // FTP entries always carry both labels; other protocols carry no account.
  static std::string LineFor(const UrlSource& url);

  // Appends (and selects) unless the list is full, the address is empty or
  // an equal line exists.
  Result Add(const UrlSource& url);
  // Replaces the selected line; duplicates are allowed here.
  Result Update(const UrlSource& url);
  // Removes the selected line and selects the one now at its place (or the
  // last one); -1 when the list is empty.
  Result Delete();

  std::string Packed() const { return PackUrlLines(lines_); }

 private:
  std::vector<std::string> lines_;
  int selected_ = -1;
};

}  // namespace corvane
