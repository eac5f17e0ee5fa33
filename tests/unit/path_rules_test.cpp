// Names and paths from outside: one path component (project names, entry
// names), folder deletion that never passes a link, and where a design's
// pictures may be read from.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "designer/uieditor/image_place.h"
#include "shared/folder_tree.h"
#include "shared/file_name_rule.h"
#include "tests/unit/zip_test_support.h"

namespace corvane {
namespace {

using ziptest::Exists;
using ziptest::ReadFile;
using ziptest::TempDir;
using ziptest::WriteFile;

TEST(PathComponent, OnePlainNameOnly) {
  struct Case {
    const char* name;
    bool safe;
  };
  const Case cases[] = {
      {"MyApp", true},        {"my app 2.1", true}, {".hidden", true},   {"a..b", true},
      {"nul_driver", true},   {"com10", true},      {"conx.txt", true},  {"", false},
      {".", false},           {"..", false},        {"...", false},      {"a/b", false},
      {"a\\b", false},        {"\\\\srv", false},   {"C:", false},       {"a:b", false},
      {"a<b", false},         {"a>b", false},       {"a\"b", false},     {"a|b", false},
      {"a?", false},          {"a*", false},        {"tab\tname", false}, {"a\x7f", false},
      {"trailing.", false},   {"trailing ", false}, {"CON", false},      {"nul.txt", false},
      {"Aux .log", false},    {"com1", false},      {"LPT9.dat", false}, {"conin$", false},
      {"CLOCK$", false},      {"com\xb9", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsSafePathComponent(c.name), c.safe) << "\"" << c.name << "\"";
}

// A link inside the tree is removed as a link; what it points at stays.
TEST(FolderTree, DeletionStopsAtLinks) {
  TempDir dir;
  WriteFile(dir / "elsewhere/keep.txt", "precious");
  WriteFile(dir / "elsewhere/sub/keep2.txt", "precious too");
  WriteFile(dir / "tree/a.txt", "a");
  WriteFile(dir / "tree/sub/b.txt", "b");
  ASSERT_EQ(symlink((dir / "elsewhere").c_str(), (dir / "tree/sub/link").c_str()), 0);
  ASSERT_EQ(symlink((dir / "elsewhere/keep.txt").c_str(), (dir / "tree/file_link").c_str()), 0);
  ASSERT_EQ(symlink((dir / "elsewhere").c_str(), (dir / "root_link").c_str()), 0);

  EXPECT_TRUE(DeleteFolderTree(dir / "tree/"));
  EXPECT_FALSE(Exists(dir / "tree"));
  // A folder given as a link: the link goes, never its target's files.
  EXPECT_TRUE(DeleteFolderTree(dir / "root_link/"));
  struct stat info;
  EXPECT_NE(lstat((dir / "root_link").c_str(), &info), 0);
  EXPECT_EQ(ReadFile(dir / "elsewhere/keep.txt"), "precious");
  EXPECT_EQ(ReadFile(dir / "elsewhere/sub/keep2.txt"), "precious too");
  EXPECT_TRUE(DeleteFolderTree(dir / "never-was"));
}

TEST(ImagePlace, OnlyThePlacesFoldersAreRead) {
  const std::vector<std::string> folders = {"C:\\p\\", "C:\\Corvane\\defui"};
  struct Case {
    const char* source;
    const char* placed;
  };
  const Case cases[] = {
      {"C:\\p\\art\\logo.gif", "C:\\p\\art\\logo.gif"},
      {"c:/P/art/logo.gif", "c:/P/art/logo.gif"},  // case and separators as Windows reads them
      {"art\\logo.gif", "C:\\p\\art\\logo.gif"},
      {"C:\\Corvane\\defui\\res\\a.bmp", "C:\\Corvane\\defui\\res\\a.bmp"},
      {"", ""},
      {"C:\\other\\logo.gif", ""},
      {"C:\\pp\\logo.gif", ""},
      {"C:\\p\\..\\other\\logo.gif", ""},
      {"..\\other\\logo.gif", ""},
      {"\\\\server\\share\\logo.gif", ""},
      {"\\\\?\\C:\\p\\logo.gif", ""},
      {"D:logo.gif", ""},
      {"C:\\p\\art\\logo.gif:stream", ""},
      {"C:\\p\\", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(PlacedImagePath(c.source, folders), c.placed) << c.source;
  EXPECT_EQ(PlacedImagePath("art\\logo.gif", {""}), "");

  UiDesign design = NewUiDesign();
  design.windows[0].images[0].source = "art\\logo.gif";
  design.windows[3].images[1].source = "\\\\server\\share\\x.bmp";
  design.sysicon = "C:\\p\\strip.bmp";
  std::string error;
  EXPECT_FALSE(PlaceDesignImages(&design, folders, &error));
  EXPECT_EQ(error, "The image is not in the project folder: \\\\server\\share\\x.bmp");
  EXPECT_EQ(design.windows[0].images[0].source, "C:\\p\\art\\logo.gif");
  const UiDesign relative = DesignRelativeTo(design, "C:\\p\\");
  EXPECT_EQ(relative.windows[0].images[0].source, "art\\logo.gif");
  EXPECT_EQ(relative.sysicon, "strip.bmp");
  EXPECT_EQ(relative.windows[3].images[1].source, "\\\\server\\share\\x.bmp");

  static std::vector<std::string> taken;
  taken = {"C:\\p\\images\\logo.gif", "C:\\p\\images\\logo_2.gif"};
  auto exists = [](const std::string& path) {
    for (const std::string& t : taken) {
      if (t == path) return true;
    }
    return false;
  };
  EXPECT_EQ(ImageCopyTarget("C:\\p\\", "\\\\server\\share\\logo.gif", exists), "C:\\p\\images\\logo_3.gif");
  EXPECT_EQ(ImageCopyTarget("C:\\p\\", "D:\\pics\\band.bmp", exists), "C:\\p\\images\\band.bmp");
}

}  // namespace
}  // namespace corvane
