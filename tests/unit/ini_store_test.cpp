#include "shared/ini_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace corvane {
namespace {

namespace fs = std::filesystem;

class IniTempDir {
 public:
  IniTempDir() {
    std::string pattern = (fs::temp_directory_path() / "ini_store_test_XXXXXX").string();
    if (mkdtemp(&pattern[0])) {
      path_ = pattern;
    } else {
      ADD_FAILURE() << "cannot create a temporary folder";
      path_ = (fs::temp_directory_path() / "ini_store_test_unavailable").string();
    }
  }
  ~IniTempDir() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

IniStore FromText(const std::string& text) {
  IniStore store;
  EXPECT_TRUE(store.LoadFromText(text));
  return store;
}

TEST(IniStoreLookup, KeysValuesAndSectionNaming) {
  IniStore store = FromText(
      "[system]\r\n"
      "url = a=b=c \r\n"
      "ver=1.0\r\n"
      "ver=2.0\r\n"
      "   [  other  ]   \n"
      "name=first\n"
      "[System]\n"
      "name=upper\n"
      "[other]\n"
      "name=second\n"
      "late=only-in-second\n");
  // Everything after the first "=" is the value, trimmed at both ends.
  EXPECT_EQ(store.GetString("system", "url"), "a=b=c");
  // A repeated key yields its first value unless a later occurrence is asked.
  EXPECT_EQ(store.GetString("system", "ver"), "1.0");
  EXPECT_EQ(store.GetString("system", "ver", "", 2), "2.0");
  EXPECT_EQ(store.GetString("system", "ver", "none", 3), "none");
  // Spaces around and inside the brackets do not change the section name.
  EXPECT_EQ(store.GetString("other", "name"), "first");
  // Names are case-sensitive.
  EXPECT_EQ(store.GetString("System", "name"), "upper");
  EXPECT_EQ(store.GetString("system", "name", "dflt"), "dflt");
  EXPECT_EQ(store.GetString("system", "URL", "dflt"), "dflt");
  // Only the first section of a name is consulted.
  EXPECT_EQ(store.GetString("other", "late", "dflt"), "dflt");
  EXPECT_EQ(store.GetString("nosuch", "name", "dflt"), "dflt");
}

TEST(IniStoreLookup, ForeignLinesNeverMatch) {
  IniStore store = FromText("key=before any header\n[s]\njustaword\n\n  \nk=v\n");
  EXPECT_EQ(store.GetString("", "key", "dflt"), "dflt");
  EXPECT_EQ(store.GetString("s", "justaword", "dflt"), "dflt");
  EXPECT_EQ(store.GetString("s", "k"), "v");
}

TEST(IniStoreLookup, GetIntReadsLeadingDigits) {
  IniStore store = FromText("[s]\nmixed=12abc\nletters=abc\nneg=-7\nspaced=  42 \n");
  EXPECT_EQ(store.GetInt("s", "mixed", 5), 12);
  EXPECT_EQ(store.GetInt("s", "letters", 5), 0);
  EXPECT_EQ(store.GetInt("s", "neg", 5), -7);
  EXPECT_EQ(store.GetInt("s", "spaced", 5), 42);
  EXPECT_EQ(store.GetInt("s", "missing", -3), -3);
}

TEST(IniStoreText, LoadingRules) {
  IniStore store;
  EXPECT_FALSE(store.LoadFromText(""));
  EXPECT_FALSE(store.LoadFromText(std::string(1, '\0')));
  EXPECT_TRUE(store.IsFileBacked());

  // A leading "\n" loads exactly like the text without it.
  EXPECT_EQ(FromText("\n[s]\nk=v\n").ToText(), FromText("[s]\nk=v\n").ToText());
  EXPECT_EQ(FromText("[s]\nk=v\n").ToText(), "[s]\r\nk=v\r\n");
  // CRLF and LF text give the same lines, blank lines included.
  EXPECT_EQ(FromText("[s]\r\n\r\nk=v\r\n").Lines(), FromText("[s]\n\nk=v\n").Lines());
  EXPECT_EQ(FromText("[s]\n\nk=v").ToText(), "[s]\r\n\r\nk=v\r\n");
  // The terminating zero byte of an archive member is not part of the text.
  std::string with_zero("[s]\nk=v", 7);
  with_zero.push_back('\0');
  IniStore zero = FromText(with_zero);
  EXPECT_EQ(zero.GetString("s", "k"), "v");
  EXPECT_EQ(zero.ToText(), "[s]\r\nk=v\r\n");
}

TEST(IniStoreText, TextModeNeverTouchesDisk) {
  IniTempDir dir;
  IniStore store;
  store.SetFileName(dir.File("never.ini"));
  ASSERT_TRUE(store.LoadFromText("[s]\nk=v\n"));
  EXPECT_TRUE(store.SetString("s", "k", "w"));
  EXPECT_TRUE(store.Save());
  EXPECT_FALSE(fs::exists(dir.File("never.ini")));
  EXPECT_EQ(store.ToText(), "[s]\r\nk=w\r\n");
}

TEST(IniStoreEdit, SetInsertDeleteAndNoOps) {
  IniStore store = FromText("[a]\nx=1\n\n[b]\ny=2\n");
  // Replacing rewrites the line without spaces around "=".
  ASSERT_TRUE(store.SetString("a", "x", " new = value"));
  // A new key goes last in its section, just before the next header.
  ASSERT_TRUE(store.SetString("a", "z", "3"));
  ASSERT_TRUE(store.SetInt("b", "n", -12));
  // A new section is appended with its key.
  ASSERT_TRUE(store.SetString("c", "k", "v"));
  EXPECT_EQ(store.ToText(),
            "[a]\r\nx= new = value\r\n\r\nz=3\r\n[b]\r\ny=2\r\nn=-12\r\n[c]\r\nk=v\r\n");
  EXPECT_EQ(store.GetString("a", "x"), "new = value");

  // An empty value deletes the line; a missing key or section stays absent.
  std::string before_noops;
  ASSERT_TRUE(store.SetString("b", "y", ""));
  before_noops = store.ToText();
  EXPECT_EQ(before_noops, "[a]\r\nx= new = value\r\n\r\nz=3\r\n[b]\r\nn=-12\r\n[c]\r\nk=v\r\n");
  EXPECT_TRUE(store.SetString("b", "missing", ""));
  EXPECT_TRUE(store.SetString("nosection", "k", ""));
  EXPECT_EQ(store.ToText(), before_noops);
}

TEST(IniStoreEdit, RefusesValuesThatWouldBreakTheLineStructure) {
  IniStore store = FromText("[s]\nk=v\n");
  const std::string before = store.ToText();
  EXPECT_FALSE(store.SetString("s", "k", "x\r\n[admin]\r\nk=evil"));
  EXPECT_FALSE(store.SetString("s", "k=x", "v"));
  EXPECT_FALSE(store.SetString("s", "", "v"));
  EXPECT_FALSE(store.SetString("s", "[k", "v"));
  EXPECT_FALSE(store.SetString("s]", "k", "v"));
  EXPECT_FALSE(store.SetString("s\n", "k", "v"));
  EXPECT_FALSE(store.SetString("s", " k", "v"));
  EXPECT_EQ(store.ToText(), before);
}

TEST(IniStoreFile, WriteIsOnDiskWhenSetReturns) {
  IniTempDir dir;
  IniStore store;
  store.SetFileName(dir.File("new.ini"));
  EXPECT_FALSE(store.Load());
  EXPECT_EQ(store.GetString("s", "k", "dflt"), "dflt");
  ASSERT_TRUE(store.SetString("system", "ver", "1.2.3"));
  EXPECT_EQ(ReadBytes(dir.File("new.ini")), "[system]\r\nver=1.2.3\r\n");
  ASSERT_TRUE(store.SetInt("system", "count", 7));
  EXPECT_EQ(ReadBytes(dir.File("new.ini")), "[system]\r\nver=1.2.3\r\ncount=7\r\n");
  EXPECT_EQ(store.ToText(), "");
}

TEST(IniStoreFile, LookupsSeeTheFileAsItIsNow) {
  IniTempDir dir;
  const std::string path = dir.File("live.ini");
  WriteBytes(path, "[s]\nk=old\n");
  IniStore reader;
  reader.SetFileName(path);
  EXPECT_EQ(reader.GetString("s", "k"), "old");
  WriteBytes(path, "[s]\nk=new\n");
  EXPECT_EQ(reader.GetString("s", "k"), "new");
  fs::remove(path);
  EXPECT_EQ(reader.GetString("s", "k", "gone"), "gone");
}

TEST(IniStoreFile, TwoStoresOnOneFileDoNotUndoEachOther) {
  IniTempDir dir;
  const std::string path = dir.File("shared.ini");
  WriteBytes(path, "[s]\na=1\n");
  IniStore first, second;
  first.SetFileName(path);
  second.SetFileName(path);
  ASSERT_TRUE(first.Load());
  ASSERT_TRUE(second.Load());
  ASSERT_TRUE(first.SetString("s", "b", "2"));
  ASSERT_TRUE(second.SetString("s", "c", "3"));
  EXPECT_EQ(ReadBytes(path), "[s]\r\na=1\r\nb=2\r\nc=3\r\n");
}

TEST(IniStoreFile, CrlfAndLfFilesLoadTheSame) {
  IniTempDir dir;
  const std::string body = "[system]\n\nver=1.0\n[file0]\nname=a.exe\n";
  std::string crlf;
  for (char c : body) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  WriteBytes(dir.File("lf.ini"), body);
  WriteBytes(dir.File("crlf.ini"), crlf);
  IniStore lf, dos;
  lf.SetFileName(dir.File("lf.ini"));
  dos.SetFileName(dir.File("crlf.ini"));
  ASSERT_TRUE(lf.Load());
  ASSERT_TRUE(dos.Load());
  EXPECT_EQ(lf.Lines(), dos.Lines());
  EXPECT_EQ(lf.GetString("file0", "name"), "a.exe");
  EXPECT_EQ(dos.GetString("file0", "name"), "a.exe");
  ASSERT_TRUE(lf.SetString("system", "ver", "2.0"));
  ASSERT_TRUE(dos.SetString("system", "ver", "2.0"));
  EXPECT_EQ(ReadBytes(dir.File("lf.ini")), ReadBytes(dir.File("crlf.ini")));
}

TEST(IniStoreFile, HandWrittenFileKeepsItsLayout) {
  IniTempDir dir;
  const std::string path = dir.File("hand.ini");
  WriteBytes(path,
             "; written by hand\r\n"
             "\r\n"
             "  [ system ]  \r\n"
             "   ver   =   1.0   \r\n"
             "// not a key line\r\n"
             "\r\n"
             "name = keep me \r\n"
             "\r\n"
             "[UI]\r\n"
             "title=Hello\r\n");
  IniStore store;
  store.SetFileName(path);
  ASSERT_TRUE(store.SetString("system", "ver", "1.1"));
  ASSERT_TRUE(store.SetString("UI", "color", "255"));
  EXPECT_EQ(ReadBytes(path),
            "; written by hand\r\n"
            "\r\n"
            "  [ system ]  \r\n"
            "ver=1.1\r\n"
            "// not a key line\r\n"
            "\r\n"
            "name = keep me \r\n"
            "\r\n"
            "[UI]\r\n"
            "title=Hello\r\n"
            "color=255\r\n");
}

TEST(IniStoreFile, FailedLoadKeepsLinesAndFailedSaveIsReported) {
  IniTempDir dir;
  IniStore store;
  store.SetFileName(dir.File("a.ini"));
  WriteBytes(dir.File("a.ini"), "[s]\nk=v\n");
  ASSERT_TRUE(store.Load());
  store.SetFileName(dir.File("missing.ini"));
  EXPECT_FALSE(store.Load());
  EXPECT_FALSE(store.LastOpenSucceeded());
  EXPECT_EQ(store.Lines().size(), 2u);
  store.SetFileName(dir.File("no/such/folder/x.ini"));
  EXPECT_FALSE(store.SetString("s", "k", "w"));
}

TEST(GetAttribute, PackedValues) {
  const std::string packed = "  url0=http://a/x.ini;;url1=ftp://b,,user,,pw;;url10=c  ";
  // The first pair stands at the start, without a leading ";;".
  EXPECT_EQ(GetAttribute(packed, "url0"), "http://a/x.ini");
  EXPECT_EQ(GetAttribute(packed, "url1"), "ftp://b,,user,,pw");
  EXPECT_EQ(GetAttribute(packed, "url10"), "c");
  EXPECT_EQ(GetAttribute(packed, "url2"), "");
  // A name behind ";;" without a following "=" is not a pair.
  EXPECT_EQ(GetAttribute("a=1;;flag;;c=3", "flag"), "");
  EXPECT_EQ(GetAttribute("a=1;;flag;;c=3", "c"), "3");
  // A name that only begins another name is not found at the start.
  EXPECT_EQ(GetAttribute("url10=x", "url1"), "");
  EXPECT_EQ(GetAttribute("url1", "url1"), "");
  // Values keep inner "=" and end at the next ";;".
  EXPECT_EQ(GetAttribute("rect=1,2,3,4;;text=a=b;;", "text"), "a=b");
  EXPECT_EQ(GetAttribute("rect=1,2,3,4", "rect"), "1,2,3,4");
  EXPECT_EQ(GetAttribute("x=;;y=2", "x"), "");
  // A pair written with a leading ";;" is still found.
  EXPECT_EQ(GetAttribute(";;clrHover=255", "clrHover"), "255");
  EXPECT_EQ(GetAttribute("", "a"), "");
}

}  // namespace
}  // namespace corvane
