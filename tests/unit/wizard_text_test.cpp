// Line breaking of the skinned label and the rows of the first wizard page.
#include <gtest/gtest.h>

#include "updater/ui/label_wrap.h"
#include "updater/ui/wizard_rows.h"

namespace corvane {
namespace {

// Every character is 10 pixels wide.
int FixedWidth(const std::string& s) { return static_cast<int>(s.size()) * 10; }

TEST(WrapLabelText, BreaksAtTheLastBlankThatFitsAndDropsIt) {
  // 12 characters fit into 120 pixels.
  EXPECT_EQ(WrapLabelText("the quick brown fox jumps", 120, FixedWidth),
            (std::vector<std::string>{"the quick", "brown fox", "jumps"}));
}

TEST(WrapLabelText, BreaksInsideAWordWithoutBlank) {
  EXPECT_EQ(WrapLabelText("abcdefghij", 40, FixedWidth),
            (std::vector<std::string>{"abcd", "efgh", "ij"}));
  // A part ending with a blank is broken right before the overflow; the
  // blank that overflows does not start the next line.
  EXPECT_EQ(WrapLabelText("abc defg", 40, FixedWidth),
            (std::vector<std::string>{"abc ", "defg"}));
  EXPECT_EQ(WrapLabelText("abcd efgh", 40, FixedWidth),
            (std::vector<std::string>{"abcd", "efgh"}));
}

TEST(WrapLabelText, LineBreakPairsAndSingleCharacters) {
  EXPECT_EQ(WrapLabelText("one\r\ntwo\n\rthree\nfour", 1000, FixedWidth),
            (std::vector<std::string>{"one", "two", "three", "four"}));
  EXPECT_EQ(WrapLabelText("a\r\n\r\nb", 1000, FixedWidth),
            (std::vector<std::string>{"a", "", "b"}));
  // Narrower than one character: one character per line, and it ends.
  EXPECT_EQ(WrapLabelText("abc", 5, FixedWidth), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_TRUE(WrapLabelText("", 100, FixedWidth).empty());
}

TEST(WizardRows, DirectoryNameIsTheLastPathComponent) {
  EXPECT_EQ(DirectoryRowName("C:\\Program Files\\app\\data"), "<data>");
  EXPECT_EQ(DirectoryRowName("{parent}/app/data"), "<data>");
  EXPECT_EQ(DirectoryRowName("data"), "<data>");
  EXPECT_EQ(DirectoryRowName("\\\\server\\share\\data\\"), "<data>");
  EXPECT_EQ(DirectoryRowName("D:/mixed\\data"), "<data>");
  EXPECT_EQ(DirectoryRowName(""), "<>");
}

TEST(WizardRows, NewFilesFirstThenNewDirectoriesInItemOrder) {
  UpdateRun run;
  run.files[3].is_new = true;
  run.files[3].install_name = "app.exe";
  run.files[3].server_version = "1.2.0";
  run.files[3].description = "Main program";
  run.files[1].is_new = true;
  run.files[1].install_name = "help.chm";
  run.files[1].server_version = "2.0";
  run.files[5].install_name = "old.dll";  // no new version
  run.dirs[2].is_new = true;
  run.dirs[2].destination = "{parent}\\data";
  run.dirs[2].server_version = "3.1";
  run.dirs[2].description = "Samples";
  const std::vector<NewVersionRow> rows = BuildNewVersionRows(run);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].name, "help.chm");
  EXPECT_EQ(rows[0].version, "2.0");
  EXPECT_EQ(rows[1].name, "app.exe");
  EXPECT_EQ(rows[1].description, "Main program");
  EXPECT_EQ(rows[2].name, "<data>");
  EXPECT_EQ(rows[2].version, "3.1");
  EXPECT_EQ(rows[2].description, "Samples");
}

}  // namespace
}  // namespace corvane
