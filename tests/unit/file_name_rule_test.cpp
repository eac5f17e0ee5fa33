#include "shared/file_name_rule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "updater/engine/transfer/folder_listing.h"

namespace corvane {
namespace {

struct NameCase {
  std::string name;
  NameProblem component;  // as one path component
  NameProblem install;    // as an install name (parts, plus the command line's characters)
};

TEST(FileNameRule, EveryPartIsOneComponentWindowsStoresUnderExactlyThatName) {
  using P = NameProblem;
  const std::vector<NameCase> cases = {
      {"app.exe", P::kNone, P::kNone},
      {"..hidden", P::kNone, P::kNone},
      {"a..b.txt", P::kNone, P::kNone},
      {" lead.txt", P::kNone, P::kNone},
      {"Program Files (x86)", P::kNone, P::kNone},
      {"r@d(1),=;%!.bat", P::kNone, P::kNone},
      {"console.txt", P::kNone, P::kNone},
      {"com10", P::kNone, P::kNone},
      {"lpt0.txt", P::kNone, P::kNone},
      {"nully", P::kNone, P::kNone},
      {"auxiliary.dll", P::kNone, P::kNone},
      {"a.txt.ebk.", P::kTrailingDotOrBlank, P::kTrailingDotOrBlank},
      {"update.jnl.", P::kTrailingDotOrBlank, P::kTrailingDotOrBlank},
      {"a.txt ", P::kTrailingDotOrBlank, P::kTrailingDotOrBlank},
      {".", P::kTrailingDotOrBlank, P::kTrailingDotOrBlank},
      {"..", P::kTrailingDotOrBlank, P::kTrailingDotOrBlank},
      {"... ", P::kTrailingDotOrBlank, P::kTrailingDotOrBlank},
      {"NUL", P::kDeviceName, P::kDeviceName},
      {"nul", P::kDeviceName, P::kDeviceName},
      {"CON.txt", P::kDeviceName, P::kDeviceName},
      {"con.tar.gz", P::kDeviceName, P::kDeviceName},
      {"Prn", P::kDeviceName, P::kDeviceName},
      {"aux.dll", P::kDeviceName, P::kDeviceName},
      {"NUL .log", P::kDeviceName, P::kDeviceName},
      {"COM1", P::kDeviceName, P::kDeviceName},
      {"com9.bat", P::kDeviceName, P::kDeviceName},
      {"LpT1", P::kDeviceName, P::kDeviceName},
      {"lpt9.x", P::kDeviceName, P::kDeviceName},
      {"CONIN$", P::kDeviceName, P::kDeviceName},
      {"conout$.txt", P::kDeviceName, P::kDeviceName},
      {"CLOCK$", P::kDeviceName, P::kDeviceName},
      {"com\xb9.txt", P::kDeviceName, P::kDeviceName},
      {"LPT\xb3", P::kDeviceName, P::kDeviceName},
      {"del\x7f", P::kReservedCharacter, P::kReservedCharacter},
      {"a<b", P::kReservedCharacter, P::kReservedCharacter},
      {"a>b", P::kReservedCharacter, P::kReservedCharacter},
      {"x.exe:stream", P::kReservedCharacter, P::kReservedCharacter},
      {"a\"b", P::kReservedCharacter, P::kReservedCharacter},
      {"a|b", P::kReservedCharacter, P::kReservedCharacter},
      {"what?", P::kReservedCharacter, P::kReservedCharacter},
      {"*.dll", P::kReservedCharacter, P::kReservedCharacter},
      {"tab\there", P::kReservedCharacter, P::kReservedCharacter},
      {std::string("nul\0x", 5), P::kReservedCharacter, P::kReservedCharacter},
      {"bell\x07", P::kReservedCharacter, P::kReservedCharacter},
      {"\x1f", P::kReservedCharacter, P::kReservedCharacter},
      {"", P::kEmptyPart, P::kEmptyPart},
      // Fine as file names; an install name is run through the command interpreter.
      {"ok&calc&.bat", P::kNone, P::kCommandCharacter},
      {"R&D.txt", P::kNone, P::kCommandCharacter},
      {"up^date.bat", P::kNone, P::kCommandCharacter},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(CheckNameComponent(c.name), c.component) << c.name;
    EXPECT_EQ(CheckInstallName(c.name), c.install) << c.name;
  }
  // A separator inside one component is reserved; in a relative name it
  // separates parts.
  EXPECT_EQ(CheckNameComponent("a/b"), NameProblem::kReservedCharacter);
  EXPECT_EQ(CheckNameComponent("a\\b"), NameProblem::kReservedCharacter);
}

TEST(FileNameRule, RelativeNamesAreCheckedPartByPart) {
  using P = NameProblem;
  const std::vector<std::pair<std::string, NameProblem>> cases = {
      {"sub\\x.dll", P::kNone},
      {"sub/deeper/x.dll", P::kNone},
      {"sub.\\x.dll", P::kTrailingDotOrBlank},
      {"sub\\x.dll.", P::kTrailingDotOrBlank},
      {"sub \\x.dll", P::kTrailingDotOrBlank},
      {"..\\x.exe", P::kTrailingDotOrBlank},
      {"a/../../x", P::kTrailingDotOrBlank},
      {"nul\\x.dll", P::kDeviceName},
      {"sub/COM3.txt", P::kDeviceName},
      {"C:\\Windows\\x.exe", P::kReservedCharacter},
      {"sub\\a*b", P::kReservedCharacter},
      {"\\x.exe", P::kEmptyPart},
      {"sub\\\\x.exe", P::kEmptyPart},
      {"sub\\", P::kEmptyPart},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckRelativeName(c.first), c.second) << c.first;
  EXPECT_EQ(CheckInstallName("Acme & Co\\run.bat"), P::kCommandCharacter);
  EXPECT_STREQ(NameProblemText(P::kTrailingDotOrBlank), "a trailing dot or blank");
}

TEST(FileNameRule, AListingStopsAtTheFirstNameWindowsWouldReadAsAnother) {
  struct ListingCase {
    std::string folder, name;
    bool folder_entry;  // a subfolder entered by a recursive listing
    std::string line;   // the log line; empty: the name passes
  };
  const std::vector<ListingCase> cases = {
      {"/pub", "ok.dat", false, ""},
      {"/pub", "R&D.dat", false, ""},  // listed names are not run
      {"/pub", "a.txt.ebk.", false,
       "The listed name cannot be used on Windows (a trailing dot or blank): /pub/a.txt.ebk."},
      {"/pub", "x.dll:stream", false,
       "The listed name cannot be used on Windows (a reserved character): /pub/x.dll:stream"},
      {"/pub", "../x.dll", false,
       "The listed name cannot be used on Windows (a reserved character): /pub/../x.dll"},
      {"C:\\share", "a\\b.dll", false,
       "The listed name cannot be used on Windows (a reserved character): C:\\share\\a\\b.dll"},
      {"/pub/sub ", "x.dat", false,
       "The listed name cannot be used on Windows (a trailing dot or blank): /pub/sub /x.dat"},
      {"/pub", "CON", true, "The listed name cannot be used on Windows (a device name): /pub/CON"},
      {"/pub", "docs", true, ""},
  };
  for (const ListingCase& c : cases) {
    std::vector<DownloadEntry> entries;
    FolderListing listing(c.folder == "C:\\share" ? "C:\\share" : "/pub", &entries, "*.*", true,
                          ListingLimits());
    const bool kept = c.folder_entry ? listing.AcceptFolder(c.folder, c.name)
                                     : listing.AddFile(c.folder, c.name, "t", 1);
    EXPECT_EQ(kept, c.line.empty()) << c.name;
    EXPECT_EQ(listing.RefusedText(), c.line) << c.name;
    EXPECT_EQ(listing.refused(), !c.line.empty()) << c.name;
    EXPECT_EQ(entries.empty(), !c.line.empty() || c.folder_entry) << c.name;
  }
  // A name the filter leaves out is never installed, so it stops nothing.
  std::vector<DownloadEntry> entries;
  FolderListing filtered("/pub", &entries, "*.dat", false, ListingLimits());
  EXPECT_TRUE(filtered.AddFile("/pub", "nul.txt", "t", 1));
  EXPECT_FALSE(filtered.refused());
}

}  // namespace
}  // namespace corvane
