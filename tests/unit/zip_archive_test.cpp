// The archive class itself: headers, lookup, the password rule, times and
// attributes of extracted files, and what happens to changes on failure.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

#include "shared/archive_password.h"
#include "shared/zip_archive.h"
#include "tests/unit/zip_test_support.h"

namespace corvane {
namespace {

using namespace ziptest;

TEST(ZipArchive, HeadersDescribeTheEntries) {
  std::string text = CompressibleText(2000);
  RawEntry deflated{"Sub\\Setup.ini", text, true};
  deflated.dos_date = static_cast<uint16_t>(((2019 - 1980) << 9) | (3 << 5) | 7);
  deflated.dos_time = static_cast<uint16_t>((8 << 11) | (9 << 5) | 5);
  RawEntry folder{"Sub/", ""};
  folder.external_attributes = 0x10;
  std::string bytes = BuildRawZip({deflated, folder, {"readme.txt", "hi"}});

  ZipArchive archive;
  ASSERT_TRUE(archive.OpenFromMemory(bytes.data(), bytes.size()));
  ASSERT_EQ(archive.GetEntryCount(), 3);
  const ZipEntryHeader* header = archive.GetEntryHeader(0);
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(header->name, "Sub\\Setup.ini");
  EXPECT_FALSE(header->is_directory);
  EXPECT_FALSE(header->is_encrypted);
  EXPECT_EQ(header->method, 8);
  EXPECT_EQ(header->crc32, Crc(text));
  EXPECT_EQ(header->uncompressed_size, 2000u);
  EXPECT_EQ(header->compressed_size, RawDeflate(text).size());
  EXPECT_EQ(header->dos_date, deflated.dos_date);
  EXPECT_EQ(header->dos_time, deflated.dos_time);
  EXPECT_EQ(header->attributes, 0x20u);
  EXPECT_TRUE(archive.GetEntryHeader(1)->is_directory);
  EXPECT_EQ(archive.GetEntryHeader(3), nullptr);
  EXPECT_EQ(archive.GetEntryHeader(-1), nullptr);

  // Separators match each other; exact case wins, other case is a fallback.
  EXPECT_EQ(archive.FindEntry("Sub/Setup.ini"), 0);
  EXPECT_EQ(archive.FindEntry("sub\\setup.INI"), 0);
  EXPECT_EQ(archive.FindEntry("README.TXT"), 2);
  EXPECT_EQ(archive.FindEntry("Setup.ini"), -1);
  EXPECT_EQ(archive.FindEntry(""), -1);

  std::optional<std::vector<char>> read = ReadArchiveEntryFromBytes(bytes.data(), bytes.size(), "readme.txt", "");
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(std::string(read->data(), read->size()), std::string("hi\0", 3));
  EXPECT_FALSE(ReadArchiveEntryFromBytes(bytes.data(), bytes.size(), "absent.txt", "").has_value());
}

TEST(ZipArchive, ExtractedFilesGetTheEntryTimeAndAttributes) {
  TempDir dir;
  // Info-ZIP keeps Unix permissions; the DOS time is local time.
  WriteFile(dir / "src/tool.sh", "#!/bin/sh\n");
  WriteFile(dir / "src/locked.txt", "read only");
  chmod((dir / "src/tool.sh").c_str(), 0750);
  chmod((dir / "src/locked.txt").c_str(), 0444);
  std::tm when{};
  when.tm_year = 2021 - 1900;
  when.tm_mon = 5;
  when.tm_mday = 15;
  when.tm_hour = 12;
  when.tm_min = 34;
  when.tm_sec = 56;
  when.tm_isdst = -1;
  time_t stamp = std::mktime(&when);
  for (const char* name : {"src/tool.sh", "src/locked.txt"}) {
    struct timespec times[2] = {{stamp, 0}, {stamp, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (dir / name).c_str(), times, 0), 0);
  }
  ASSERT_EQ(RunCommand("cd " + Quote(dir / "src") + " && zip -q -X " + Quote(dir / "unix.zip") + " tool.sh locked.txt").exit_code, 0);

  ZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "unix.zip"));
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(archive.ExtractEntry(i, dir / "out"));
  struct stat info;
  ASSERT_EQ(stat((dir / "out/tool.sh").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0750u);
  EXPECT_EQ(info.st_mtime, stamp);
  ASSERT_EQ(stat((dir / "out/locked.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0444u);
  EXPECT_EQ(info.st_mtime, stamp);
  // A second extraction replaces the read-only file.
  EXPECT_TRUE(archive.ExtractEntry(1, dir / "out"));
  EXPECT_EQ(ReadFile(dir / "out/locked.txt"), "read only");

  // DOS attributes: the read-only bit takes the write permission away.
  RawEntry dos{"dos.txt", "dos"};
  dos.external_attributes = 0x21;
  RawEntry plain{"plain.txt", "plain"};
  WriteFile(dir / "dos.zip", BuildRawZip({dos, plain}));
  ASSERT_TRUE(archive.Open(dir / "dos.zip"));
  ASSERT_TRUE(archive.ExtractEntry(0, dir / "out"));
  ASSERT_TRUE(archive.ExtractEntry(1, dir / "out"));
  ASSERT_EQ(stat((dir / "out/dos.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0222, 0u);
  ASSERT_EQ(stat((dir / "out/plain.txt").c_str(), &info), 0);
  EXPECT_NE(info.st_mode & 0200, 0u);
}

TEST(ZipArchive, ExtractsWithOrWithoutTheStoredPath) {
  TempDir dir;
  WriteFile(dir / "a.zip", BuildRawZip({{"sub\\deep/a.dll", "dll"}, {"sub/", ""}}));
  ZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "a.zip"));
  // The target folder is created with its parents.
  EXPECT_TRUE(archive.ExtractEntry(0, dir / "app/x/"));
  EXPECT_EQ(ReadFile(dir / "app/x/sub/deep/a.dll"), "dll");
  EXPECT_TRUE(archive.ExtractEntry(0, dir / "flat", false));
  EXPECT_EQ(ListTree(dir / "flat"), std::vector<std::string>{"a.dll"});
  EXPECT_TRUE(archive.ExtractEntry(1, dir / "folders"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "folders/sub"));
  // A folder standing where the file must go is a failure, not a deletion.
  std::filesystem::create_directories(dir / "blocked/sub/deep/a.dll/inner");
  EXPECT_FALSE(archive.ExtractEntry(0, dir / "blocked"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "blocked/sub/deep/a.dll/inner"));
  EXPECT_FALSE(archive.ExtractEntry(2, dir / "out"));
  EXPECT_FALSE(archive.ExtractEntry(-1, dir / "out"));
}

TEST(ZipArchive, PasswordsShorterThanTwoCharactersMeanNone) {
  TempDir dir;
  std::string path = dir / "a.zip";
  ZipArchive archive;
  ASSERT_TRUE(archive.Create(path));
  archive.SetPassword("x");
  ASSERT_TRUE(archive.AddEntryFromMemory("plain.txt", "plain"));
  archive.SetPassword("xy");
  ASSERT_TRUE(archive.AddEntryFromMemory("locked.txt", "locked"));
  archive.SetPassword("");
  ASSERT_TRUE(archive.AddEntryFromMemory("also-plain.txt", "also plain"));
  ASSERT_TRUE(archive.Close());

  ASSERT_TRUE(archive.Open(path));
  EXPECT_FALSE(archive.GetEntryHeader(0)->is_encrypted);
  EXPECT_TRUE(archive.GetEntryHeader(1)->is_encrypted);
  EXPECT_FALSE(archive.GetEntryHeader(2)->is_encrypted);
  archive.SetPassword("x");
  std::vector<char> data;
  EXPECT_TRUE(archive.ExtractEntryToMemory(0, data));
  EXPECT_FALSE(archive.ExtractEntryToMemory(1, data));
  archive.SetPassword("xy");
  EXPECT_TRUE(archive.ExtractEntryToMemory(1, data));
  EXPECT_EQ(std::string(data.begin(), data.end()), "locked");
  // A password set for reading does not stop plain entries from being read.
  EXPECT_TRUE(archive.ExtractEntryToMemory(2, data));
  EXPECT_EQ(UnzipPrint(path, "locked.txt", "xy"), "locked");
  EXPECT_EQ(UnzipPrint(path, "plain.txt"), "plain");

  // The archive password is made of two pieces and is a real password.
  std::string password = ArchivePassword();
  EXPECT_GE(password.size(), 2u);
  EXPECT_EQ(password, ArchivePassword());
}

TEST(ZipArchive, ChangesAreWrittenOnlyByCloseAndOnlyWhole) {
  TempDir dir;
  std::string path = dir / "a.zip";
  ZipArchive archive;
  ASSERT_TRUE(archive.Create(path));
  ASSERT_TRUE(archive.AddEntryFromMemory("one.txt", "1"));
  EXPECT_FALSE(Exists(path));
  std::vector<char> data;
  EXPECT_FALSE(archive.ExtractEntryToMemory(0, data));  // not written yet
  ASSERT_TRUE(archive.Close());
  std::string written = ReadFile(path);

  {
    ZipArchive changed;
    ASSERT_TRUE(changed.Open(path, ZipOpenMode::kChange));
    ASSERT_TRUE(changed.DeleteEntry(0));
  }  // dropped without Close
  EXPECT_EQ(ReadFile(path), written);
  ASSERT_TRUE(archive.Open(path, ZipOpenMode::kChange));
  ASSERT_TRUE(archive.AddEntryFromMemory("two.txt", "2"));
  archive.Discard();
  EXPECT_EQ(ReadFile(path), written);

  // Read-only archives cannot change.
  ASSERT_TRUE(archive.Open(path));
  EXPECT_FALSE(archive.DeleteEntry(0));
  EXPECT_FALSE(archive.AddEntryFromMemory("two.txt", "2"));
  EXPECT_TRUE(archive.Close());
  EXPECT_EQ(ReadFile(path), written);

  // An archive that cannot be written reports it.
  ASSERT_TRUE(archive.Create(dir / "no-such-folder/a.zip"));
  ASSERT_TRUE(archive.AddEntryFromMemory("one.txt", "1"));
  EXPECT_FALSE(archive.Close());
  EXPECT_EQ(ListTree(dir.path()), std::vector<std::string>{"a.zip"});

  // An empty new archive is a valid one.
  ASSERT_TRUE(archive.Create(dir / "empty.zip"));
  ASSERT_TRUE(archive.Close());
  ASSERT_TRUE(archive.Open(dir / "empty.zip"));
  EXPECT_EQ(archive.GetEntryCount(), 0);
  EXPECT_EQ(RunPython(dir, "import zipfile\nassert zipfile.ZipFile(r'" + (dir / "empty.zip") + "').namelist() == []\n")
                .exit_code,
            0);
}

}  // namespace
}  // namespace corvane
