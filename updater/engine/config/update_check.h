// The update check: reads the local configuration, fetches and reads the
// server-side configuration, fills the item records of the run and derives
// its display style and operation mode; then marks the items whose server
// version is newer. Everything it learns goes to the log.
//
// The check itself is portable. What it needs from the platform comes in
// through narrow doors: the updater's folder (LocalFolder), the fetch of the
// server-side text for one URL entry (ConfigTextSource), the one message box
// the check may show (NoticeSink) and, for signed configuration, the
// signature check (P256Verifier).
//
// Signed configuration: when the local [system] section has "publickey"
// (base64 of a P-256 SubjectPublicKeyInfo, see shared/p256_codec.h), the
// server-side file is fetched as exact bytes together with "<URL>.sig", the
// DER ECDSA signature over SHA-256 of those bytes. The signed text's
// [system] "serial" must be at least the local [system] "serial", the
// highest serial accepted so far (the package carries its build's serial as
// the first floor); a higher one is written back into the local file at
// once. A missing, malformed or wrong signature, a missing serial or an
// older one makes that URL count as failed, with a log line saying which.
// Without "publickey" nothing of this happens and no ".sig" is fetched.
// A signed file past its [system] "expires" is refused the same way; one
// that announces the publisher's next key ([system] "nextkey") makes that
// key the local "publickey" (with the serial, in one write) once accepted.
//
// Staged roll-out (updater/engine/config/rollout.h): with [system] "rollout" below
// 100 and something new, the installation's bucket decides; left out, the
// run finds no new version.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "shared/ini_store.h"
#include "shared/p256_codec.h"
#include "shared/p256_crypto.h"
#include "shared/random_source.h"
#include "updater/engine/config/local_config.h"
#include "updater/engine/directory_constants.h"
#include "updater/engine/update_items.h"
#include "updater/engine/update_log.h"

namespace corvane {

class ConfigTextSource {
 public:
  virtual ~ConfigTextSource() = default;
  // The text of the server-side configuration file at `url` (logged by the
  // caller just before). Empty when it could not be fetched; the source
  // writes its own log lines about why.
  virtual std::string FetchConfigText(const std::string& url, const std::string& user,
                                      const std::string& password) = 0;
  // The file at `url` byte for byte as the server holds it (FTP in binary
  // mode, line ends untouched): what a signature covers. Empty when it
  // could not be fetched; the source logs why.
  virtual std::string FetchExactBytes(const std::string& url, const std::string& user,
                                      const std::string& password) = 0;
};

class NoticeSink {
 public:
  virtual ~NoticeSink() = default;
  // An information box; the sink decides whether the display style lets it
  // show.
  virtual void ShowNotice(const std::string& text) = 0;
};

struct CheckSetup {
  bool preview = false;            // "/OP:Preview": no configuration is read
  std::string updater_version;     // for the banner, "%d.%d" or empty
  const std::string (*directory_constants)[kDirectoryConstants] = nullptr;
  std::string log_path;            // "update.log"
  std::string archive_password;    // of "update.bin"
  P256Verifier* verifier = nullptr;  // checks signatures; without it a signed configuration is refused
  RandomSource* random = nullptr;    // makes the installation identifier; without it a roll-out leaves this one out
  uint64_t now = 0;                  // seconds since 1970 for "expires"; 0: the clock
};

extern const char kPublicKeyKey[];  // "publickey", local [system]
extern const char kSerialKey[];     // "serial", local and server-side [system]
extern const char kSignatureSuffix[];  // ".sig"

// A configuration text larger than this is refused: the server file is a
// few kilobytes, and a runaway answer must not exhaust memory.
constexpr size_t kMaxConfigTextBytes = 4u << 20;

// Text read "line by line, each line followed by a line feed": CR LF and LF
// both end a line, and a last line without an end gets one.
std::string TextAsLines(const std::string& bytes);

class UpdateCheck {
 public:
  // `local_store` receives the local configuration and is kept by the
  // caller for the write-back of new versions.
  UpdateCheck(UpdateRun& run, UpdateLog& log, IniStore& local_store, ConfigTextSource& source,
              NoticeSink& notices);

  // Fixes the order in which "randomsel" picks URLs (tests). Without it the
  // generator is seeded from the clock when the fetch starts.
  void SetRandomSeed(uint32_t seed);

  // Reads both configuration files. False when the local file is missing or
  // unreadable (after the notice) or when no server text could be fetched.
  bool ReadConfiguration(const LocalFolder& folder, const CheckSetup& setup);

  // Sets the new flag of every item and the close-needed flag; true when at
  // least one item is new.
  bool MarkNewItems();

 private:
  void ReadLocalValues();
  // "publickey" and "serial" of the local file; false when the key is
  // there but cannot be read (every configuration is refused then).
  bool ReadSigningValues();
  std::string FetchServerText();
  // The signed file of one URL, or "" when it is refused (logged).
  std::string FetchSignedText(const std::string& url, const std::string& user,
                              const std::string& password);
  // The release values of an accepted signed file: false (logged) when it
  // expired or its next key cannot be read.
  bool CheckExpiry(IniStore& signed_store);
  bool TakeNextKey(IniStore& signed_store, P256PublicKey* next, bool* replace);
  void RecordAcceptedSerial(uint64_t serial);
  void ReplacePublisherKey(const std::string& key_text, uint64_t serial);
  // Whether this installation takes a release that is being rolled out.
  void DecideRollout();
  std::string InstallationId();
  bool AnyItemNew() const;
  void ReadServerItems(IniStore& server);
  void ReadFileItem(IniStore& server, int index);
  void ReadDirItem(IniStore& server, int index);
  // The lines every listed item starts with; true when the server's version
  // is newer, with the item counted and its URL entries in `urls`.
  bool ReadNewItemHead(IniStore& server, const std::string& section,
                       const std::string& local_version, std::string* server_version,
                       UrlList* urls);
  void ReadServerSystem(IniStore& server);
  void ReadServerPrompts(IniStore& server);
  void LowerDisplayStyle(int show_type);
  void NoteOperationMode(int op_mode);
  bool NeedsClosing(const std::string& section) const;

  UpdateRun& run_;
  UpdateLog& log_;
  IniStore& local_;
  ConfigTextSource& source_;
  NoticeSink& notices_;
  std::mt19937 random_;
  bool seeded_ = false;
  // Signed configuration, set from the local file by ReadLocalValues.
  bool signed_ = false;
  P256PublicKey public_key_;
  uint64_t accepted_serial_ = 0;
  // The current ReadConfiguration's folder and setup.
  const LocalFolder* folder_ = nullptr;
  const CheckSetup* setup_ = nullptr;
};

}  // namespace corvane
