// The archive module against the reference tools, both ways: archives made
// by Info-ZIP zip and Python's zipfile are read and extracted byte for byte;
// archives the module writes pass unzip -t and zipfile.testzip().
#include <gtest/gtest.h>

#include <map>

#include "shared/archive_password.h"
#include "shared/zip_archive.h"
#include "tests/unit/zip_test_support.h"

namespace corvane {
namespace {

using namespace ziptest;

// The files every reference archive holds, by stored name.
std::map<std::string, std::string> SampleFiles() {
  return {
      {"update.dat", CompressibleText(5000)},
      {"sub/a.dll", RandomBytes(70000, 1)},
      {"sub/deeper/notes.txt", CompressibleText(300)},
      {"empty.txt", ""},
  };
}

void WriteSampleTree(const std::string& root) {
  for (const auto& [name, content] : SampleFiles()) WriteFile(root + "/" + name, content);
}

// Extracts every entry and compares the folder with the sample files.
void ExpectExtractsSamples(const std::string& archive_path, const std::string& password, const std::string& out) {
  ZipArchive archive;
  ASSERT_TRUE(archive.Open(archive_path)) << archive_path;
  archive.SetPassword(password);
  int files = 0;
  for (int i = 0; i < archive.GetEntryCount(); ++i) {
    const ZipEntryHeader* header = archive.GetEntryHeader(i);
    ASSERT_NE(header, nullptr);
    EXPECT_TRUE(archive.ExtractEntry(i, out, true, 65535)) << header->name;
    if (!header->is_directory) ++files;
  }
  EXPECT_EQ(files, 4);
  for (const auto& [name, content] : SampleFiles()) {
    EXPECT_EQ(ReadFile(out + "/" + name), content) << name;
    int index = archive.FindEntry(name);
    ASSERT_GE(index, 0) << name;
    std::vector<char> data;
    EXPECT_TRUE(archive.ExtractEntryToMemory(index, data)) << name;
    EXPECT_EQ(std::string(data.begin(), data.end()), content) << name;
    EXPECT_EQ(archive.GetEntryHeader(index)->uncompressed_size, content.size());
  }
}

TEST(ZipInterop, ReadsInfoZipArchivesStoredDeflatedAndEncrypted) {
  TempDir dir;
  WriteSampleTree(dir / "src");
  struct Variant {
    std::string file;
    std::string options;
    std::string password;
  };
  // Writing to a pipe makes zip put the CRC in data descriptors, which
  // changes the password check byte of encrypted entries.
  const Variant variants[] = {
      {"deflated.zip", "-r", ""},
      {"stored.zip", "-r -0", ""},
      {"encrypted.zip", "-r -P s3cret", "s3cret"},
      {"encrypted-stored.zip", "-r -0 -P s3cret", "s3cret"},
  };
  for (const Variant& v : variants) {
    CommandResult made = RunCommand("cd " + Quote(dir / "src") + " && zip -q " + v.options + " " + Quote(dir / v.file) + " .");
    ASSERT_EQ(made.exit_code, 0) << made.output;
    ExpectExtractsSamples(dir / v.file, v.password, dir / ("out-" + v.file));
  }
  CommandResult piped = RunCommand("cd " + Quote(dir / "src") + " && zip -q -r -P s3cret - . | cat > " + Quote(dir / "piped.zip"));
  ASSERT_EQ(piped.exit_code, 0) << piped.output;
  ExpectExtractsSamples(dir / "piped.zip", "s3cret", dir / "out-piped");

  // The right password is needed for encrypted entries.
  EXPECT_FALSE(ReadArchiveEntry(dir / "encrypted.zip", "update.dat", "wrong").has_value());
  EXPECT_FALSE(ReadArchiveEntry(dir / "piped.zip", "update.dat", "").has_value());
  std::optional<std::vector<char>> text = ReadArchiveEntry(dir / "piped.zip", "update.dat", "s3cret");
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->size(), 5001u);
  EXPECT_EQ(text->back(), '\0');
}

TEST(ZipInterop, ReadsPythonZipfileArchives) {
  TempDir dir;
  std::string script = "import zipfile, sys\n"
                       "files = {}\n";
  for (const auto& [name, content] : SampleFiles()) {
    WriteFile(dir / ("src/" + name), content);
    script += "files['" + name + "'] = open(r'" + (dir / ("src/" + name)) + "', 'rb').read()\n";
  }
  script +=
      "def write(target, method):\n"
      "    with zipfile.ZipFile(target, 'w', method) as z:\n"
      "        z.writestr(zipfile.ZipInfo('sub/'), b'')\n"
      "        for name, data in files.items():\n"
      "            z.writestr(name, data)\n"
      "write(r'" + (dir / "py-deflated.zip") + "', zipfile.ZIP_DEFLATED)\n"
      "write(r'" + (dir / "py-stored.zip") + "', zipfile.ZIP_STORED)\n"
      "class Pipe:\n"
      "    def __init__(self, f): self.f = f\n"
      "    def write(self, b): return self.f.write(b)\n"
      "    def flush(self): self.f.flush()\n"
      "with open(r'" + (dir / "py-streamed.zip") + "', 'wb') as f:\n"
      "    write(Pipe(f), zipfile.ZIP_DEFLATED)\n";
  CommandResult made = RunPython(dir, script);
  ASSERT_EQ(made.exit_code, 0) << made.output;
  for (const char* name : {"py-deflated.zip", "py-stored.zip", "py-streamed.zip"}) {
    ExpectExtractsSamples(dir / name, "", dir / (std::string("out-") + name));
    EXPECT_TRUE(std::filesystem::is_directory(dir / (std::string("out-") + name + "/sub")));
  }
}

// An archive written by the module with the sample files plus a folder
// entry and a name given with a backslash.
void WriteModuleArchive(const std::string& path, const std::string& password) {
  ZipArchive archive;
  ASSERT_TRUE(archive.Create(path));
  archive.SetPassword(password);
  for (const auto& [name, content] : SampleFiles()) ASSERT_TRUE(archive.AddEntryFromMemory(name, content)) << name;
  ASSERT_TRUE(archive.AddEntryFromMemory("res\\sysicon.bmp", std::string("BM") + RandomBytes(500, 2)));
  ASSERT_TRUE(archive.AddEntryFromMemory("folder/", ""));
  ASSERT_TRUE(archive.Close());
}

TEST(ZipInterop, ArchivesWrittenByTheModulePassUnzipAndPython) {
  TempDir dir;
  for (const std::string& password : {std::string(), std::string("pa55word"), ArchivePassword()}) {
    std::string path = dir / ("written" + std::to_string(password.size()) + ".zip");
    WriteModuleArchive(path, password);
    std::string p = password.empty() ? "" : "-P " + Quote(password) + " ";
    CommandResult tested = RunCommand("unzip -t " + p + Quote(path));
    EXPECT_EQ(tested.exit_code, 0) << tested.output;
    EXPECT_NE(tested.output.find("res/sysicon.bmp"), std::string::npos) << tested.output;
    for (const auto& [name, content] : SampleFiles()) EXPECT_EQ(UnzipPrint(path, name, password), content) << name;

    CommandResult python = RunPython(
        dir, "import zipfile\n"
             "z = zipfile.ZipFile(r'" + path + "')\n"
             "z.setpassword(" + (password.empty() ? std::string("None") : "b'" + password + "'") + ")\n"
             "assert z.testzip() is None\n"
             "assert [i.filename for i in z.infolist()][-2:] == ['res/sysicon.bmp', 'folder/']\n"
             "assert z.getinfo('folder/').is_dir()\n"
             "print(sum(1 for i in z.infolist() if i.flag_bits & 1))\n");
    EXPECT_EQ(python.exit_code, 0) << python.output;
    // Every file entry is encrypted exactly when a password is set.
    EXPECT_EQ(python.output, password.empty() ? "0\n" : "5\n");
  }
  // Without the password unzip must refuse the encrypted archive.
  EXPECT_NE(RunCommand("unzip -t -P nope " + Quote(dir / "written8.zip")).exit_code, 0);
}

TEST(ZipInterop, DeletingAndReplacingKeepsTheOtherEntriesIntact) {
  TempDir dir;
  WriteSampleTree(dir / "src");
  ASSERT_EQ(RunCommand("cd " + Quote(dir / "src") + " && zip -q -r " + Quote(dir / "plain.zip") + " .").exit_code, 0);
  ASSERT_EQ(RunCommand("cd " + Quote(dir / "src") + " && zip -q -r -P pw - . | cat > " + Quote(dir / "locked.zip")).exit_code,
            0);

  for (const std::string& password : {std::string(), std::string("pw")}) {
    std::string path = dir / (password.empty() ? "plain.zip" : "locked.zip");
    ZipArchive archive;
    ASSERT_TRUE(archive.Open(path, ZipOpenMode::kChange));
    int count = archive.GetEntryCount();
    ASSERT_TRUE(archive.DeleteEntry(archive.FindEntry("empty.txt")));
    ASSERT_TRUE(archive.Close());

    ASSERT_TRUE(ReplaceArchiveEntry(path, "update.dat", "[file0]\r\nver=2.0\r\n", password));
    ASSERT_TRUE(archive.Open(path));
    EXPECT_EQ(archive.GetEntryCount(), count - 1);
    EXPECT_EQ(archive.FindEntry("empty.txt"), -1);
    archive.Close();

    std::string p = password.empty() ? "" : "-P " + password + " ";
    CommandResult tested = RunCommand("unzip -t " + p + Quote(path));
    EXPECT_EQ(tested.exit_code, 0) << tested.output;
    std::map<std::string, std::string> files = SampleFiles();
    EXPECT_EQ(UnzipPrint(path, "sub/a.dll", password), files["sub/a.dll"]);
    EXPECT_EQ(UnzipPrint(path, "sub/deeper/notes.txt", password), files["sub/deeper/notes.txt"]);
    EXPECT_EQ(UnzipPrint(path, "update.dat", password), "[file0]\r\nver=2.0\r\n");
  }
}

TEST(ZipInterop, ReplacingTheOnlyEntryLeavesOneEntryWithTheNewContent) {
  TempDir dir;
  WriteFile(dir / "update.dat", "[file0]\r\nver=1.0\r\n");
  std::string path = dir / "update.bin";
  ZipArchive archive;
  ASSERT_TRUE(archive.Create(path));
  ASSERT_TRUE(archive.Close());
  ASSERT_TRUE(PackIntoArchive(path, dir / "update.dat", "update.dat", ArchivePassword()));
  ASSERT_TRUE(ReplaceArchiveEntry(path, "update.dat", "[file0]\r\nver=1.1\r\n", ArchivePassword()));

  ASSERT_TRUE(archive.Open(path));
  ASSERT_EQ(archive.GetEntryCount(), 1);
  EXPECT_EQ(archive.GetEntryName(0), "update.dat");
  archive.Close();
  std::optional<std::vector<char>> text = ReadArchiveEntry(path, "update.dat", ArchivePassword());
  ASSERT_TRUE(text.has_value());
  EXPECT_STREQ(text->data(), "[file0]\r\nver=1.1\r\n");
  EXPECT_EQ(UnzipPrint(path, "update.dat", ArchivePassword()), "[file0]\r\nver=1.1\r\n");
}

TEST(ZipInterop, PackIntoArchiveAddsFilesAndReplacesByName) {
  TempDir dir;
  std::string path = dir / "ui.bin";
  WriteFile(dir / "ui.dat", "[UI]\r\ntitle=One\r\n");
  WriteFile(dir / "res/logo.bmp", "BM" + RandomBytes(3000, 7));
  ASSERT_TRUE(PackIntoArchive(path, dir / "ui.dat", "ui.dat", ""));  // starts the archive
  ASSERT_TRUE(PackIntoArchive(path, dir / "res/logo.bmp", "res\\logo.bmp", ""));
  WriteFile(dir / "ui.dat", "[UI]\r\ntitle=Two\r\n");
  ASSERT_TRUE(PackIntoArchive(path, dir / "ui.dat", "ui.dat", ""));
  EXPECT_FALSE(PackIntoArchive(path, dir / "missing.dat", "ui.dat", ""));

  CommandResult tested = RunCommand("unzip -t " + Quote(path));
  EXPECT_EQ(tested.exit_code, 0) << tested.output;
  EXPECT_EQ(UnzipPrint(path, "ui.dat"), "[UI]\r\ntitle=Two\r\n");
  EXPECT_EQ(UnzipPrint(path, "res/logo.bmp"), ReadFile(dir / "res/logo.bmp"));
  ZipArchive archive;
  ASSERT_TRUE(archive.Open(path));
  EXPECT_EQ(archive.GetEntryCount(), 2);
  EXPECT_EQ(archive.FindEntry("res\\logo.bmp"), archive.FindEntry("res/logo.bmp"));

  // A file that is not an archive is never overwritten.
  WriteFile(dir / "notes.txt", "keep me");
  EXPECT_FALSE(PackIntoArchive(dir / "notes.txt", dir / "ui.dat", "ui.dat", ""));
  EXPECT_EQ(ReadFile(dir / "notes.txt"), "keep me");
}

}  // namespace
}  // namespace corvane
