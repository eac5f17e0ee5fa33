#include "updater/engine/config/local_config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "check_test_support.h"
#include "shared/zip_archive.h"

namespace corvane {
namespace {

using checktest::ReadBytes;
using checktest::TempFolder;
using checktest::WriteBytes;

const char kPassword[] = "k3y-for-tests";

// Writes an archive with one member; `password` encrypts it when it has two
// or more characters.
void WriteArchive(const std::string& path, const std::string& member, const std::string& text,
                  const std::string& password) {
  ZipArchive zip;
  ASSERT_TRUE(zip.Create(path));
  zip.SetPassword(password);
  ASSERT_TRUE(zip.AddEntryFromMemory(member, text));
  ASSERT_TRUE(zip.Close());
}

std::string MemberText(const std::string& archive, const std::string& password) {
  std::optional<std::vector<char>> data = ReadArchiveEntry(archive, "update.dat", password);
  if (!data) return "<unreadable>";
  return std::string(data->data());
}

TEST(LocalConfigTest, BinaryFormWinsOverTextForm) {
  TempFolder dir;
  WriteArchive(dir.File("update.bin"), "update.dat", "[system]\r\nurls=url0=http://bin/x\r\n",
               kPassword);
  WriteBytes(dir.File("update.dat"), "[system]\r\nurls=url0=http://dat/x\r\n");
  DiskFolder folder(dir.Path());
  IniStore store;
  LocalConfigResult r = ReadLocalConfiguration(folder, kPassword, &store);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(r.form, "update.bin");
  EXPECT_FALSE(store.IsFileBacked());
  EXPECT_EQ(store.GetString("system", "urls"), "url0=http://bin/x");
}

TEST(LocalConfigTest, EmptyBinaryFileFallsBackToTextForm) {
  TempFolder dir;
  WriteBytes(dir.File("update.bin"), "");
  WriteBytes(dir.File("update.dat"), "[file2]\nver=1.5\n");
  DiskFolder folder(dir.Path());
  IniStore store;
  LocalConfigResult r = ReadLocalConfiguration(folder, kPassword, &store);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(r.form, "update.dat");
  EXPECT_FALSE(store.IsFileBacked());  // read once; nothing is looked up on the disk again
  EXPECT_EQ(store.GetString("file2", "ver"), "1.5");
}

TEST(LocalConfigTest, MissingOrEmptyFilesAreNotFound) {
  TempFolder dir;
  DiskFolder folder(dir.Path());
  IniStore store;
  LocalConfigResult r = ReadLocalConfiguration(folder, kPassword, &store);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "Error: Local configuration file (update.dat) not found.");

  WriteBytes(dir.File("update.bin"), "");
  WriteBytes(dir.File("update.dat"), "");
  r = ReadLocalConfiguration(folder, kPassword, &store);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "Error: Local configuration file (update.dat) not found.");
}

TEST(LocalConfigTest, BrokenBinaryFileIsAParseErrorNamingIt) {
  TempFolder dir;
  WriteBytes(dir.File("update.dat"), "[system]\nurls=url0=http://dat/x\n");
  DiskFolder folder(dir.Path());
  const std::string message = "Error: Local configuration file (update.bin) parses error.";
  IniStore store;

  WriteBytes(dir.File("update.bin"), std::string("PK\x03\x04 not really a zip", 22));
  LocalConfigResult r = ReadLocalConfiguration(folder, kPassword, &store);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, message);

  // A sound archive without the member.
  WriteArchive(dir.File("update.bin"), "other.dat", "[system]\n", kPassword);
  r = ReadLocalConfiguration(folder, kPassword, &store);
  EXPECT_EQ(r.message, message);

  // The member is there but its text is empty (or starts with a zero byte).
  WriteArchive(dir.File("update.bin"), "update.dat", std::string("\0[system]\n", 10), kPassword);
  r = ReadLocalConfiguration(folder, kPassword, &store);
  EXPECT_EQ(r.message, message);

  // Encrypted with another password.
  WriteArchive(dir.File("update.bin"), "update.dat", "[system]\n", "different");
  r = ReadLocalConfiguration(folder, kPassword, &store);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, message);
}

TEST(LocalConfigTest, AFolderNamedLikeTheFileCountsAsMissing) {
  TempFolder dir;
  std::filesystem::create_directory(dir.File("update.dat"));
  DiskFolder folder(dir.Path());
  IniStore store;
  EXPECT_EQ(ReadLocalConfiguration(folder, kPassword, &store).message,
            "Error: Local configuration file (update.dat) not found.");
}

// A folder whose update.dat is listed but vanishes (or is locked) before it
// can be read.
class VanishingTextFolder : public DiskFolder {
 public:
  explicit VanishingTextFolder(std::string dir) : DiskFolder(dir + "gone/") {}
  int64_t FileSize(const std::string& name) const override {
    return name == "update.dat" ? 100 : -1;
  }
  bool ReadFile(const std::string&, std::string*) const override { return false; }
};

TEST(LocalConfigTest, UnreadableTextFormIsAParseError) {
  TempFolder dir;
  VanishingTextFolder folder(dir.Path());
  IniStore store;
  LocalConfigResult r = ReadLocalConfiguration(folder, kPassword, &store);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.form, "update.dat");
  EXPECT_EQ(r.message, "Error: Local configuration file (update.dat) parses error.");
}

TEST(LocalConfigTest, BinaryTextEndsAtTheFirstZeroByte) {
  TempFolder dir;
  WriteArchive(dir.File("update.bin"), "update.dat",
               std::string("[system]\r\ncloselog=0\r\n\0[file0]\r\nver=9.9\r\n", 41), "");
  DiskFolder folder(dir.Path());
  IniStore store;
  ASSERT_TRUE(ReadLocalConfiguration(folder, "", &store).ok);
  EXPECT_EQ(store.GetInt("system", "closelog", 1), 0);
  EXPECT_EQ(store.GetString("file0", "ver", "0.0.0"), "0.0.0");
}

TEST(LocalConfigTest, UnencryptedArchiveReadsWithThePasswordSet) {
  // Archives written without a password (a package build, a write-back that
  // passed none) must still read when the updater sets its password.
  TempFolder dir;
  WriteArchive(dir.File("update.bin"), "update.dat", "[file1]\r\nver=3.1\r\n", "");
  DiskFolder folder(dir.Path());
  IniStore store;
  ASSERT_TRUE(ReadLocalConfiguration(folder, kPassword, &store).ok);
  EXPECT_EQ(store.GetString("file1", "ver"), "3.1");
}

TEST(LocalConfigTest, WriteBackIntoTheTextForm) {
  TempFolder dir;
  WriteBytes(dir.File("update.dat"), "[system]\r\nurls=url0=http://h/x\r\n[file0]\r\nver=1.0\r\n");
  DiskFolder folder(dir.Path());
  IniStore store;
  LocalConfigResult r = ReadLocalConfiguration(folder, kPassword, &store);
  ASSERT_TRUE(r.ok);
  ASSERT_TRUE(WriteLocalVersion(store, r.form, folder, "file0", "1.1", kPassword));
  ASSERT_TRUE(WriteLocalVersion(store, r.form, folder, "dir3", "2.0", kPassword));
  EXPECT_EQ(ReadBytes(dir.File("update.dat")),
            "[system]\r\nurls=url0=http://h/x\r\n[file0]\r\nver=1.1\r\n[dir3]\r\nver=2.0\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("update.bin")));
}

TEST(LocalConfigTest, WriteBackIntoTheBinaryFormKeepsOtherLines) {
  TempFolder dir;
  WriteArchive(dir.File("update.bin"), "update.dat",
               "[system]\r\nurls=url0=http://h/x\r\n[file0]\r\nver=1.0\r\n", kPassword);
  DiskFolder folder(dir.Path());
  IniStore store;
  LocalConfigResult r = ReadLocalConfiguration(folder, kPassword, &store);
  ASSERT_TRUE(r.ok);
  ASSERT_TRUE(WriteLocalVersion(store, r.form, folder, "file0", "1.2", kPassword));
  EXPECT_EQ(MemberText(dir.File("update.bin"), kPassword),
            "[system]\r\nurls=url0=http://h/x\r\n[file0]\r\nver=1.2\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("update.dat")));

  // Read again as a new run would.
  IniStore again;
  ASSERT_TRUE(ReadLocalConfiguration(folder, kPassword, &again).ok);
  EXPECT_EQ(again.GetString("file0", "ver"), "1.2");
}

// A real folder that records the local file's writes and can refuse the
// rename; with `hold_after_read` every file read becomes unreadable at once,
// as when another program holds it.
class RecordingFolder : public DiskFolder {
 public:
  explicit RecordingFolder(const std::string& dir) : DiskFolder(dir) {}
  bool ReadFile(const std::string& name, std::string* bytes) const override {
    if (held.count(name)) return false;
    const bool ok = DiskFolder::ReadFile(name, bytes);
    if (hold_after_read) held.insert(name);
    return ok;
  }
  bool WriteFlushed(const std::string& name, const std::string& bytes) const override {
    calls.push_back("write " + name);
    return DiskFolder::WriteFlushed(name, bytes);
  }
  bool ReplaceArchiveMember(const std::string& name, const std::string& member,
                            const std::string& text, const std::string& password) const override {
    calls.push_back("member " + name);
    return DiskFolder::ReplaceArchiveMember(name, member, text, password);
  }
  bool RenameOver(const std::string& from, const std::string& to) const override {
    calls.push_back("rename " + from + " " + to);
    return !rename_fails && DiskFolder::RenameOver(from, to);
  }
  bool Remove(const std::string& name) const override {
    calls.push_back("remove " + name);
    return DiskFolder::Remove(name);
  }

  bool hold_after_read = false;
  bool rename_fails = false;
  mutable std::set<std::string> held;
  mutable std::vector<std::string> calls;
};

// Both forms: read once into memory, written only whole, through
// "<name>.tmp" and a rename, several values in one write; a failed write
// leaves the file and the store as they were.
TEST(LocalConfigTest, WritesGoThroughATemporaryFileAndARename) {
  const std::string text = "[system]\r\npublickey=KEY\r\nserial=4\r\n[file0]\r\nver=1.0\r\n";
  for (const std::string form : {"update.dat", "update.bin"}) {
    SCOPED_TRACE(form);
    TempFolder dir;
    const bool binary = form == "update.bin";
    if (binary) {
      WriteArchive(dir.File(form), "update.dat", text, kPassword);
    } else {
      WriteBytes(dir.File(form), text);
    }
    const std::string file_before = ReadBytes(dir.File(form));
    RecordingFolder folder(dir.Path());
    folder.hold_after_read = true;
    IniStore store;
    LocalConfigResult r = ReadLocalConfiguration(folder, kPassword, &store);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.form, form);
    // Held by another program from now on: the values are in memory.
    EXPECT_EQ(store.GetString("system", "publickey"), "KEY");
    EXPECT_FALSE(store.IsFileBacked());

    // The rename is refused: nothing changed, the temporary file is gone.
    folder.rename_fails = true;
    EXPECT_FALSE(WriteLocalValue(store, r.form, folder, "system", "serial", "5", kPassword));
    EXPECT_EQ(ReadBytes(dir.File(form)), file_before);
    EXPECT_FALSE(std::filesystem::exists(dir.File(form + ".tmp")));
    EXPECT_EQ(store.GetString("system", "serial"), "4");

    // The binary form needs the archive's bytes again; let the hold go.
    folder.rename_fails = false;
    folder.held.clear();
    folder.hold_after_read = false;
    folder.calls.clear();
    ASSERT_TRUE(WriteLocalValues(store, r.form, folder,
                                 {{"system", "publickey", "NEWKEY"}, {"system", "serial", "6"}},
                                 kPassword));
    const std::string temp = form + ".tmp";
    const std::vector<std::string> expected =
        binary ? std::vector<std::string>{"write " + temp, "member " + temp,
                                          "rename " + temp + " " + form}
               : std::vector<std::string>{"write " + temp, "rename " + temp + " " + form};
    EXPECT_EQ(folder.calls, expected);
    EXPECT_FALSE(std::filesystem::exists(dir.File(temp)));
    const std::string written = "[system]\r\npublickey=NEWKEY\r\nserial=6\r\n[file0]\r\nver=1.0\r\n";
    EXPECT_EQ(binary ? MemberText(dir.File(form), kPassword) : ReadBytes(dir.File(form)), written);
    EXPECT_EQ(store.GetString("system", "serial"), "6");
  }
}

}  // namespace
}  // namespace corvane
