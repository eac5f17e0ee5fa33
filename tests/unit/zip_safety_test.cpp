// Hostile and broken archives: names that try to leave the target folder,
// damaged data, lying sizes and offsets. Each must fail cleanly and write
// nothing it should not.
#include <gtest/gtest.h>

#include "shared/zip_archive.h"
#include "tests/unit/zip_test_support.h"

namespace corvane {
namespace {

using namespace ziptest;

TEST(ZipSafety, NamesEscapingTheTargetFolderFailAndWriteNothing) {
  TempDir dir;
  std::string out = dir / "root/out";
  std::vector<std::string> hostile = {
      dir / "absolute.txt",  // absolute path into the temporary folder
      "/etc/corvane-zip-test.txt",
      "\\windows\\evil.txt",
      "C:evil.txt",
      "C:\\evil.txt",
      "c:/evil.txt",
      "\\\\server\\share\\evil.txt",
      "//server/share/evil.txt",
      "../escaped.txt",
      "..\\escaped.txt",
      "sub/../../escaped.txt",
      "sub\\..\\..\\escaped.txt",
      "sub/../inside.txt",
      "./dot.txt",
      "..",
      "CON",
      "nul.txt",
      "sub/aux.tar.gz",
      "PRN",
      "com1",
      "LPT9.log",
      "conout$",
      "NUL .txt",
      "file.txt:stream",
      "file.txt::$DATA",
      "folder./file.txt",
      "trailing-dot.",
      "trailing-blank ",
      "sub /file.txt",
      std::string("ctrl\x01.txt"),
      "star*.txt",
      "question?.txt",
      "pipe|.txt",
      "",
  };
  std::vector<RawEntry> entries;
  for (const std::string& name : hostile) entries.push_back({name, "payload of " + name});
  entries.push_back({"sub\\safe.txt", "safe"});
  entries.push_back({"..hidden..name.txt", "dots inside a name are fine"});
  std::string path = dir / "root/hostile.zip";
  WriteFile(path, BuildRawZip(entries));

  ZipArchive archive;
  ASSERT_TRUE(archive.Open(path));
  ASSERT_EQ(archive.GetEntryCount(), static_cast<int>(entries.size()));
  for (size_t i = 0; i < hostile.size(); ++i) {
    EXPECT_FALSE(archive.ExtractEntry(static_cast<int>(i), out)) << "extracted: " << hostile[i];
    EXPECT_FALSE(archive.ExtractEntry(static_cast<int>(i), out, false)) << "extracted without path: " << hostile[i];
  }
  EXPECT_TRUE(ListTree(out).empty());
  EXPECT_EQ(ListTree(dir.path()), (std::vector<std::string>{"root", "root/hostile.zip"}));
  EXPECT_FALSE(Exists("/etc/corvane-zip-test.txt"));

  // The sound names in the same archive still extract, "\" making a folder.
  EXPECT_TRUE(archive.ExtractEntry(static_cast<int>(hostile.size()), out));
  EXPECT_TRUE(archive.ExtractEntry(static_cast<int>(hostile.size()) + 1, out));
  EXPECT_EQ(ReadFile(out + "/sub/safe.txt"), "safe");
  EXPECT_EQ(ReadFile(out + "/..hidden..name.txt"), "dots inside a name are fine");

  // The writer refuses the same names, so it never makes such an archive.
  ASSERT_TRUE(archive.Create(dir / "new.zip"));
  for (const std::string& name : hostile) EXPECT_FALSE(archive.AddEntryFromMemory(name, "x")) << name;
  archive.Discard();
}

TEST(ZipSafety, CrcMismatchFailsAndLeavesNoFile) {
  TempDir dir;
  std::string text = CompressibleText(4000);
  for (bool deflate : {false, true}) {
    RawEntry entry{"sub/a.dll", text, deflate};
    std::string payload = deflate ? RawDeflate(text) : text;
    if (!deflate) {
      payload[100] ^= 0x01;  // a stored entry keeps its shape: only the CRC can tell
    } else {
      entry.crc = Crc(text) ^ 0x80000000u;  // inflates fine, but to other data than promised
    }
    entry.payload = payload;
    std::string path = dir / (deflate ? "deflated.zip" : "stored.zip");
    WriteFile(path, BuildRawZip({entry}));
    ZipArchive archive;
    ASSERT_TRUE(archive.Open(path));
    EXPECT_FALSE(archive.ExtractEntry(0, dir / "out"));
    std::vector<char> data;
    EXPECT_FALSE(archive.ExtractEntryToMemory(0, data));
    EXPECT_TRUE(data.empty());
    EXPECT_FALSE(ReadArchiveEntry(path, "sub/a.dll", "").has_value());
  }
  EXPECT_FALSE(Exists(dir / "out/sub/a.dll"));
  for (const std::string& left : ListTree(dir / "out")) EXPECT_EQ(left, "sub");

  // A failed extraction leaves an existing file as it was.
  WriteFile(dir / "out/sub/a.dll", "previous version");
  ZipArchive archive;
  ASSERT_TRUE(archive.Open(dir / "stored.zip"));
  EXPECT_FALSE(archive.ExtractEntry(0, dir / "out"));
  EXPECT_EQ(ReadFile(dir / "out/sub/a.dll"), "previous version");
}

// Every byte of a sound archive flipped in turn: opening and extracting must
// never crash, and whatever still extracts must be the original data.
TEST(ZipSafety, DamagedBytesNeverYieldWrongData) {
  TempDir dir;
  std::string text = CompressibleText(700);
  std::string binary = RandomBytes(300, 3);
  std::string sound = BuildRawZip({{"a.txt", text, true}, {"b.bin", binary, false}});
  for (size_t pos = 0; pos < sound.size(); ++pos) {
    std::string damaged = sound;
    damaged[pos] = static_cast<char>(damaged[pos] ^ 0x5a);
    ZipArchive archive;
    if (!archive.OpenFromMemory(damaged.data(), damaged.size())) continue;
    for (int i = 0; i < archive.GetEntryCount(); ++i) {
      std::vector<char> data;
      if (!archive.ExtractEntryToMemory(i, data)) continue;
      std::string got(data.begin(), data.end());
      EXPECT_TRUE(got == text || got == binary) << "wrong data accepted after damaging byte " << pos;
    }
  }
  // Cut short anywhere, the archive does not open.
  for (size_t size = 0; size < sound.size(); ++size) {
    ZipArchive archive;
    EXPECT_FALSE(archive.OpenFromMemory(sound.data(), size)) << "opened when cut at " << size;
  }
  // Garbage, empty files and a missing file.
  ZipArchive archive;
  for (size_t size : {0, 1, 21, 22, 100, 70000}) {
    std::string garbage = RandomBytes(size, static_cast<uint32_t>(size));
    EXPECT_FALSE(archive.OpenFromMemory(garbage.data(), garbage.size()));
  }
  WriteFile(dir / "empty.zip", "");
  EXPECT_FALSE(archive.Open(dir / "empty.zip"));
  EXPECT_FALSE(archive.Open(dir / "missing.zip"));
  EXPECT_FALSE(archive.Open(dir.path()));  // a folder
  EXPECT_FALSE(ReadArchiveEntry(dir / "missing.zip", "a.txt", "").has_value());
  EXPECT_FALSE(ReplaceArchiveEntry(dir / "missing.zip", "a.txt", "x", ""));
  EXPECT_FALSE(Exists(dir / "missing.zip"));
}

TEST(ZipSafety, LyingDirectoryRecordsFailToOpen) {
  ZipArchive archive;
  // 65535 entries claimed with no directory behind the claim.
  std::string claim = EndRecord(65535, 0, 0);
  EXPECT_FALSE(archive.OpenFromMemory(claim.data(), claim.size()));
  claim = EndRecord(65535, 65535u * 46u, 0);
  EXPECT_FALSE(archive.OpenFromMemory(claim.data(), claim.size()));
  // Directory beyond the end of the file, or overlapping the end record.
  std::string sound = BuildRawZip({{"a.txt", "hello"}});
  std::string past_end = sound.substr(0, sound.size() - 22) + EndRecord(1, 51, 0xfffffff0u);
  EXPECT_FALSE(archive.OpenFromMemory(past_end.data(), past_end.size()));
  std::string too_long = sound.substr(0, sound.size() - 22) + EndRecord(1, 0x7fffffff, 35);
  EXPECT_FALSE(archive.OpenFromMemory(too_long.data(), too_long.size()));
  // An entry whose data would reach into the central directory.
  RawEntry big{"a.txt", "hello"};
  big.payload = "hello";
  std::string overlong = BuildRawZip({big});
  overlong[overlong.size() - 22 - 51 + 20] = 0x40;  // central compressed size 0x40
  EXPECT_FALSE(archive.OpenFromMemory(overlong.data(), overlong.size()));
  // Multi-volume archives are refused.
  std::string spanned = sound;
  spanned[sound.size() - 22 + 4] = 1;
  EXPECT_FALSE(archive.OpenFromMemory(spanned.data(), spanned.size()));
  EXPECT_TRUE(archive.OpenFromMemory(sound.data(), sound.size()));
}

TEST(ZipSafety, EntriesLyingAboutTheirSizeOrNameFail) {
  TempDir dir;
  std::string zeros(1 << 20, '\0');
  std::vector<RawEntry> entries;
  // Inflates to 1 MiB while declaring 100 bytes: stopped at the declared size.
  RawEntry bomb{"bomb.bin", zeros, true};
  bomb.uncompressed_size = 100;
  bomb.crc = Crc(zeros.substr(0, 100));
  entries.push_back(bomb);
  // Declares 4 GiB behind a few bytes of data: refused before any allocation.
  RawEntry huge{"huge.bin", "tiny", true};
  huge.uncompressed_size = 0xfffffff0u;
  entries.push_back(huge);
  // A stored entry whose sizes disagree.
  RawEntry stored{"stored.bin", "0123456789"};
  stored.uncompressed_size = 5;
  entries.push_back(stored);
  // Local header naming another file than the central directory.
  RawEntry renamed{"good.txt", "data"};
  renamed.local_name = "evil.txt";
  entries.push_back(renamed);
  // Local header with another compressed size than the central one.
  RawEntry resized{"resized.txt", "data"};
  resized.local_compressed_size = 3;
  entries.push_back(resized);
  // Deflate data cut short.
  RawEntry cut{"cut.txt", CompressibleText(3000), true};
  cut.payload = RawDeflate(cut.data).substr(0, 20);
  entries.push_back(cut);

  std::string path = dir / "lies.zip";
  WriteFile(path, BuildRawZip(entries));
  ZipArchive archive;
  ASSERT_TRUE(archive.Open(path));
  for (int i = 0; i < archive.GetEntryCount(); ++i) {
    std::vector<char> data;
    EXPECT_FALSE(archive.ExtractEntryToMemory(i, data)) << archive.GetEntryName(i);
    EXPECT_FALSE(archive.ExtractEntry(i, dir / "out")) << archive.GetEntryName(i);
    EXPECT_FALSE(ReadArchiveEntry(path, archive.GetEntryName(i), "").has_value());
  }
  EXPECT_TRUE(ListTree(dir / "out").empty());
}

TEST(ZipSafety, AtMost65535Entries) {
  TempDir dir;
  std::vector<RawEntry> entries(65535);
  for (size_t i = 0; i < entries.size(); ++i) entries[i].name = std::to_string(i);
  entries.back().data = "last";
  std::string path = dir / "full.zip";
  WriteFile(path, BuildRawZip(entries));

  ZipArchive archive;
  ASSERT_TRUE(archive.Open(path, ZipOpenMode::kChange));
  EXPECT_EQ(archive.GetEntryCount(), 65535);
  EXPECT_FALSE(archive.AddEntryFromMemory("one-too-many", "x"));
  ASSERT_TRUE(archive.DeleteEntry(0));
  ASSERT_TRUE(archive.AddEntryFromMemory("replacement", "x"));
  EXPECT_FALSE(archive.AddEntryFromMemory("one-too-many", "x"));
  ASSERT_TRUE(archive.Close());

  ASSERT_TRUE(archive.Open(path));
  EXPECT_EQ(archive.GetEntryCount(), 65535);
  EXPECT_EQ(archive.GetEntryName(0), "1");
  EXPECT_EQ(archive.GetEntryName(65534), "replacement");
  std::vector<char> data;
  ASSERT_TRUE(archive.ExtractEntryToMemory(65533, data));
  EXPECT_EQ(std::string(data.begin(), data.end()), "last");
  EXPECT_FALSE(PackIntoArchive(path, path, "another", ""));
}

}  // namespace
}  // namespace corvane
