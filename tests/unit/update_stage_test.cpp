// The update stage against an in-memory file system and fake processes:
// where files go, what is backed up and restored, and in which order.
#include "updater/engine/stages/update_stage.h"

#include <gtest/gtest.h>

#include "stage_fakes.h"
#include "updater/engine/host_messages.h"

namespace corvane {
namespace {

using stagetest::Entry;

using stagetest::Contains;

const std::string kApp = "C:\\app\\updateApp\\";
const std::string kTemp = "C:\\temp\\~tovrel_tmp\\";

// Four file items and a directory item, each with its download waiting in
// the temporary folder:
//   file0 app.exe  into the updater's folder, over an old app.exe
//   file1 lib.dll  into "{parent}\lib", a folder that does not exist yet
//   file2 empty.cfg into "data" (relative), over an empty file
//   file3 pack.zip unpacked into the updater's folder: a.txt over an old
//         one, sub/b.txt new
//   dir0  two files of the subfolder "x" of "{parent}\docs": d1 new, d2 over an old one
class UpdateStageTest : public ::testing::Test {
 public:
  void SetUp() override {
    files.folders = {"C:", "C:\\app", "C:\\app\\updateApp", "C:\\app\\updateApp\\data",
                     "C:\\app\\docs", "C:\\app\\docs\\x", "C:\\temp"};
    files.files[kApp + "app.exe"] = "old app";
    files.files[kApp + "data\\empty.cfg"] = "";
    files.files[kApp + "a.txt"] = "old a";
    files.files["C:\\app\\docs\\x\\d2.txt"] = "old d2";

    AddFile(0, "app.exe", "", "new app");
    AddFile(1, "lib.dll", "{parent}\\lib", "new lib");
    AddFile(2, "empty.cfg", "data", "now filled");
    AddFile(3, "pack.zip", "", "zip bytes");
    run.files[3].uncompress = 1;
    files.archives["zip bytes"].entries = {{"a.txt", "new a"}, {"sub/", ""}, {"sub/b.txt", "new b"}};
    run.files[0].run_me = 1;
    run.files[2].modify_version = 0;

    DirItem& dir = run.dirs[0];
    dir.is_new = true;
    dir.server_version = "2.0";
    dir.destination = "{parent}\\docs";
    dir.downloads = {Entry("d1.txt", "x"), Entry("d2.txt", "x")};
    files.files[kTemp + "dir0\\x.d1.txt"] = "new d1";
    files.files[kTemp + "dir0\\x.d2.txt"] = "new d2";

    run.local_config.LoadFromText("[system]\n[file0]\nver=1.0\n[file2]\nver=1.0\n");
    run.system.run_udafters = "{parent}\\after_ok.bat";
    run.system.run_udafterf = "{parent}\\after_fail.bat";
    files.files["C:\\app\\after_ok.bat"] = "echo ok";
    files.files["C:\\app\\after_fail.bat"] = "echo fail";
    run.display_style = kStyleHide;
    run.operation_mode = kModeAutomatic;

    setup.updater_folder = kApp;
    setup.temp_folder = kTemp;
    setup.title = "Updater";
  }

  void AddFile(int k, const std::string& name, const std::string& path, const std::string& bytes) {
    stagetest::StageFileItem(run, files, kTemp, k, name, path, bytes);
  }

  // A fresh fixture for the next case of a table.
  void Reset() {
    run = UpdateRun();
    setup = UpdateStageSetup();
    files = stagetest::FakeFiles();
    processes = stagetest::FakeProcesses();
    view = stagetest::RecordingView();
    host = stagetest::RecordingHost();
    SetUp();
  }

  UpdateStage Stage() { return UpdateStage(run, setup, view, host, files, processes); }

  std::map<std::string, std::string> Installed() const {
    return stagetest::InstalledFiles(files, kTemp);
  }

  UpdateRun run;
  UpdateStageSetup setup;
  stagetest::FakeFiles files;
  stagetest::FakeProcesses processes;
  stagetest::RecordingView view;
  stagetest::RecordingHost host;
};

TEST(InstallFolder, FollowsTheItemPathRules) {
  stagetest::RecordingHost host;
  struct Case {
    std::string path, sub, folder;
  } cases[] = {
      {"", "", kApp},
      {"", "a/b", kApp + "a\\b\\"},
      {"{parent}", "", "C:\\app\\"},
      {"{parent}\\lib", "x", "C:\\app\\lib\\x\\"},
      {"data", "", kApp + "data\\"},
      {"\\data/more", "", kApp + "data\\more\\"},
      {"..\\shared", "", kApp + "..\\shared\\"},
      {"D:/other", "", "D:\\other\\"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InstallFolderFor(c.path, c.sub, kApp, host), c.folder) << c.path;
  }
}

TEST_F(UpdateStageTest, InstallsEverythingAndCleansUp) {
  auto before = files.files;
  UpdateStage stage = Stage();
  ASSERT_TRUE(stage.Run());
  EXPECT_TRUE(stage.Finished());

  std::map<std::string, std::string> expected = Installed();
  EXPECT_EQ(files.files[kApp + "app.exe"], "new app");
  EXPECT_EQ(files.files["C:\\app\\lib\\lib.dll"], "new lib");
  EXPECT_EQ(files.files[kApp + "data\\empty.cfg"], "now filled");
  EXPECT_EQ(files.files[kApp + "a.txt"], "new a");
  EXPECT_EQ(files.files[kApp + "sub\\b.txt"], "new b");
  EXPECT_EQ(files.files.count(kApp + "pack.zip"), 0u);  // the archive goes once unpacked
  EXPECT_EQ(files.files["C:\\app\\docs\\x\\d1.txt"], "new d1");
  EXPECT_EQ(files.files["C:\\app\\docs\\x\\d2.txt"], "new d2");
  EXPECT_TRUE(files.Backups().empty());

  // Versions: modify_ver 0 leaves file2 alone and says so.
  EXPECT_EQ(run.local_config.GetString("file0", "ver"), "1.1");
  EXPECT_EQ(run.local_config.GetString("file2", "ver"), "1.0");
  EXPECT_EQ(run.local_config.GetString("dir0", "ver"), "2.0");
  EXPECT_TRUE(Contains(host.log, "Set the ver's value of the [file0] to 1.1"));
  EXPECT_TRUE(Contains(host.log, "Do not modify the ver's value of the [file2]."));
  EXPECT_TRUE(Contains(host.log, "Backup the file (" + kApp + "app.exe) to " + kApp + "app.exe.ebk"));
  EXPECT_TRUE(Contains(host.log, "Unzip the file (sub/b.txt) to " + kApp));

  EXPECT_EQ(host.results, std::vector<int>{kResultUpdated});
  EXPECT_EQ(view.range, 60);
  EXPECT_EQ(view.events, std::vector<std::string>{"worker done 1"});
  EXPECT_EQ(view.statuses.back(), "Update finished successful.");

  stage.Finish(true);
  EXPECT_EQ(files.removed_trees, std::vector<std::string>{kTemp});
  EXPECT_EQ(host.ran, (std::vector<std::string>{kApp + "app.exe", "C:\\app\\after_ok.bat"}));
  EXPECT_EQ(view.events.back(), "page next");
  EXPECT_EQ(host.results, std::vector<int>{kResultUpdated});  // nothing more told
  stage.Finish(false);  // once only
  EXPECT_EQ(view.events.back(), "page next");
}

TEST_F(UpdateStageTest, WizardStyleLetsTheUserFinish) {
  run.operation_mode = kModeWizard;
  view.visible = true;
  ASSERT_TRUE(Stage().Run());
  EXPECT_EQ(view.events, (std::vector<std::string>{"caption &Finished", "enable"}));
}

// A failure at any point after the first change leaves every file as it was:
// originals (the empty one too) byte for byte, new files and folders gone,
// no ".ebk" left; the host hears -1 when the page finishes.
TEST_F(UpdateStageTest, EveryFailureRollsBackToTheOriginalState) {
  struct Case {
    const char* what;
    std::function<void(UpdateStageTest&)> arrange;
    std::string box;
  } cases[] = {
      {"copy of the last directory entry breaks off",
       [](UpdateStageTest& t) { t.files.copy_fails.insert("C:\\app\\docs\\x\\d2.txt"); },
       "Failed to update the file: C:\\app\\docs\\x\\d2.txt"},
      {"a directory entry cannot be written (a folder of that name)",
       [](UpdateStageTest& t) { t.files.folders.insert("C:\\app\\docs\\x\\d1.txt"); },
       "Failed to update the file: C:\\app\\docs\\x\\d1.txt"},
      {"second archive entry fails",
       [](UpdateStageTest& t) { t.files.archives["zip bytes"].failing_entry = 2; },
       "Failed to unzip the file: " + kApp + "pack.zip"},
      {"archive entry escaping the folder",
       [](UpdateStageTest& t) {
         t.files.archives["zip bytes"].entries.push_back({"../../evil.txt", "x"});
       },
       "Failed to unzip the file: " + kApp + "pack.zip"},
      {"archive not readable",
       [](UpdateStageTest& t) { t.files.archives.clear(); },
       "Failed to unzip the file: " + kApp + "pack.zip"},
      {"back-up copy fails",
       [](UpdateStageTest& t) { t.files.copy_fails.insert("C:\\app\\docs\\x\\d2.txt.ebk"); },
       "Failed to backup the file: C:\\app\\docs\\x\\d2.txt"},
      {"locked original",
       [](UpdateStageTest& t) { t.files.locked.insert(kApp + "a.txt"); },
       "Unauthorized read or write the file: " + kApp + "a.txt"},
      {"the new versions cannot be written",
       [](UpdateStageTest& t) {
         t.files.files[kApp + "update.dat"] = "[file0]\r\nver=1.0\r\n";
         t.run.local_form = "update.dat";
         t.files.locked.insert(kApp + "update.dat");
       },
       "Failed to update the file: " + kApp + "update.dat"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Reset();
    c.arrange(*this);
    const auto before = Installed();
    const auto folders_before = files.folders;
    UpdateStage stage = Stage();
    EXPECT_FALSE(stage.Run());
    EXPECT_FALSE(stage.Finished());
    EXPECT_EQ(Installed(), before);
    EXPECT_EQ(files.folders, folders_before);
    EXPECT_TRUE(Contains(view.boxes, c.box));
    EXPECT_EQ(view.events, std::vector<std::string>{"worker done 0"});
    EXPECT_TRUE(host.results.empty());
    EXPECT_EQ(run.local_config.GetString("file0", "ver"), "1.0");

    stage.Finish(false);
    EXPECT_EQ(host.results, std::vector<int>{kResultNotCompleted});
    EXPECT_TRUE(files.removed_trees.empty());  // downloads stay for a later try
    EXPECT_EQ(host.ran, std::vector<std::string>{"C:\\app\\after_fail.bat"});
    EXPECT_EQ(view.events.back(), "page leave");
  }
}

TEST_F(UpdateStageTest, AnOriginalThatCannotBeRestoredKeepsItsBackup) {
  files.copy_always_fails.insert(kApp + "app.exe");  // fails the update and the restore
  EXPECT_FALSE(Stage().Run());
  EXPECT_EQ(files.Backups(), std::vector<std::string>{kApp + "app.exe.ebk"});
  EXPECT_EQ(files.files[kApp + "app.exe.ebk"], "old app");
  EXPECT_TRUE(Contains(view.statuses, "Failed to restore file: " + kApp + "app.exe"));
  EXPECT_TRUE(Contains(host.log, "The original could not be restored; its backup is kept: " +
                                     kApp + "app.exe.ebk"));
  EXPECT_EQ(files.files[kApp + "a.txt"], "old a");  // the others are back
}

TEST_F(UpdateStageTest, ABackupThatNoJournalNamesIsOverwrittenByTheFreshOne) {
  // A stale copy from some earlier event; a back-up still needed would have
  // come with its journal.
  files.files[kApp + "app.exe"] = "the current app";
  files.files[kApp + "app.exe.ebk"] = "a stale app";
  files.copy_fails.insert("C:\\app\\docs\\x\\d2.txt");
  EXPECT_FALSE(Stage().Run());
  EXPECT_EQ(files.files[kApp + "app.exe"], "the current app");
  EXPECT_TRUE(files.Backups().empty());
  EXPECT_TRUE(Contains(host.log, "Backup the file (" + kApp + "app.exe) to " + kApp + "app.exe.ebk"));
}

// Read-only originals are replaced; read-only archive entries installed
// by one update are replaced by the next; a failing update that adds them
// leaves every file byte for byte and attribute for attribute, no ".ebk",
// no journal.
TEST_F(UpdateStageTest, ReadOnlyFilesAreReplacedAndRolledBackWithTheirAttributes) {
  auto read_only_world = [](UpdateStageTest& t) {
    t.files.attributes[kApp + "app.exe"] = kAttributeReadOnly | kAttributeArchive;
    t.files.attributes[kApp + "a.txt"] = kAttributeReadOnly | kAttributeHidden;
    t.files.attributes["C:\\app\\docs\\x\\d2.txt"] = kAttributeReadOnly;
    t.files.archives["zip bytes"].attributes = {{"a.txt", kAttributeReadOnly},
                                                {"sub/b.txt", kAttributeReadOnly}};
  };
  const std::function<void(UpdateStageTest&)> failures[] = {
      [](UpdateStageTest& t) { t.files.copy_fails.insert("C:\\app\\docs\\x\\d2.txt"); },
      [](UpdateStageTest& t) { t.files.archives["zip bytes"].failing_entry = 2; },
      [](UpdateStageTest& t) { t.files.locked.insert("C:\\app\\docs\\x\\d2.txt"); },
  };
  for (const auto& fail : failures) {
    Reset();
    read_only_world(*this);
    fail(*this);
    const auto before = Installed();
    const auto attributes_before = stagetest::InstalledAttributes(files, kTemp);
    EXPECT_FALSE(Stage().Run());
    EXPECT_EQ(Installed(), before);
    EXPECT_EQ(stagetest::InstalledAttributes(files, kTemp), attributes_before);
    EXPECT_TRUE(files.Backups().empty());
    EXPECT_FALSE(files.files.count(kApp + kJournalName));
  }

  Reset();
  read_only_world(*this);
  ASSERT_TRUE(Stage().Run()) << ::testing::PrintToString(host.log);
  EXPECT_EQ(files.files[kApp + "app.exe"], "new app");
  EXPECT_EQ(files.files[kApp + "a.txt"], "new a");
  EXPECT_TRUE(files.Backups().empty());
  // The archive's own attributes; the new app.exe has its download's.
  EXPECT_EQ(stagetest::InstalledAttributes(files, kTemp),
            (std::map<std::string, uint32_t>{{kApp + "a.txt", kAttributeReadOnly},
                                             {kApp + "sub\\b.txt", kAttributeReadOnly}}));
  // The next update of the same archive installs over its read-only files.
  files.files[kTemp + "file3\\pack.zip"] = "zip v2";
  files.archives["zip v2"] = files.archives["zip bytes"];
  files.archives["zip v2"].entries = {{"a.txt", "a v2"}, {"sub/", ""}, {"sub/b.txt", "b v2"}};
  UpdateStage next(run, setup, view, host, files, processes);
  ASSERT_TRUE(next.Run()) << ::testing::PrintToString(host.log);
  EXPECT_EQ(files.files[kApp + "a.txt"], "a v2");
  EXPECT_EQ(files.files[kApp + "sub\\b.txt"], "b v2");
  EXPECT_TRUE(files.Backups().empty());
}

TEST_F(UpdateStageTest, TwoItemsWritingOneFileStillRestoreTheOriginal) {
  // The archive also carries app.exe: its back-up must stay the original,
  // and undoing the archive must not delete the restored original.
  files.archives["zip bytes"].entries.push_back({"app.exe", "zipped app"});
  files.copy_fails.insert("C:\\app\\docs\\x\\d2.txt");
  const auto before = Installed();
  EXPECT_FALSE(Stage().Run());
  EXPECT_EQ(Installed(), before);
}

TEST_F(UpdateStageTest, ClosesConfiguredProgramsAndBusyModules) {
  run.close_needed = true;
  run.system.close_proc1 = {"helper.exe", "notrunning.exe"};
  run.system.close_proc2 = {"Helper Window"};
  run.system.close_proc3 = {"SelfClass"};
  processes.by_name = {{"helper.exe", 10}, {"lib.dll", 12}, {"app.exe", 13}};
  processes.by_title = {{"Helper Window", 11}};
  processes.by_class = {{"SelfClass", processes.self}};  // never the updater itself
  processes.ignore_quit = {11};
  files.files["C:\\app\\lib\\lib.dll"] = "old lib";
  files.folders.insert("C:\\app\\lib");
  files.locked = {kApp + "app.exe"};  // held by a running program
  processes.holds = {{13, kApp + "app.exe"}};
  processes.files = &files;
  run.prompts.close_win_msg = "Closing";
  run.display_style = kStyleNormal;
  ASSERT_TRUE(Stage().Run());
  EXPECT_EQ(processes.calls,
            (std::vector<std::string>{"quit 10", "wait 10 5000", "quit 11", "wait 11 5000",
                                      "terminate 11", "quit 13", "wait 13 5000"}));
  EXPECT_EQ(view.boxes, std::vector<std::string>{"Closing"});  // once per stage
  EXPECT_TRUE(Contains(host.log, "Terminate the application (module): app.exe"));
  EXPECT_EQ(host.waits.front(), 500u);
}

TEST_F(UpdateStageTest, AProgramThatCannotBeClosedEndsTheStageUnchanged) {
  struct Case {
    std::set<uint32_t> cannot_open, cannot_terminate;
    bool retry;
    std::vector<std::string> boxes;
  } cases[] = {
      {{10}, {}, false, {"Failed to access the process. May be access to enough."}},
      {{}, {10}, false, {"retry? The application (module) for the time being can not stop."}},
  };
  for (const Case& c : cases) {
    Reset();
    run.close_needed = true;
    run.prompts.close_win = 0;
    run.system.close_proc1 = {"helper.exe"};
    processes.by_name = {{"helper.exe", 10}};
    processes.ignore_quit = {10};
    processes.cannot_open = c.cannot_open;
    processes.cannot_terminate = c.cannot_terminate;
    const auto before = Installed();
    EXPECT_FALSE(Stage().Run());
    EXPECT_EQ(view.boxes, c.boxes);
    EXPECT_EQ(view.statuses.back(),
              "Operation failed. The application (module) can not be terminated.");
    EXPECT_EQ(view.events, std::vector<std::string>{"worker done 0"});
    EXPECT_EQ(Installed(), before);
  }
}

// Either form of the local file is replaced whole: written to "<name>.tmp",
// flushed, renamed over the old one; a refused rename fails the stage with
// the file named, rolled back, and the host hears -1.
TEST_F(UpdateStageTest, LocalConfigurationIsReplacedThroughATemporaryFile) {
  for (const std::string form : {"update.dat", "update.bin"}) {
    for (bool rename_refused : {false, true}) {
      SCOPED_TRACE(form + (rename_refused ? " refused" : ""));
      Reset();
      const std::string path = kApp + form, temp = path + ".tmp";
      files.files[path] = form == "update.bin" ? "zip" : "[file0]\r\nver=1.0\r\n";
      run.local_form = form;
      setup.archive_password = "pw";
      if (rename_refused) files.locked.insert(path);
      const auto before = Installed();
      UpdateStage stage = Stage();
      EXPECT_EQ(stage.Run(), !rename_refused);
      EXPECT_FALSE(files.files.count(temp));
      if (!rename_refused) {
        EXPECT_EQ(files.moves, std::vector<std::string>{temp + " -> " + path});
        EXPECT_NE(files.files[path].find("[file0]\r\nver=1.1\r\n"), std::string::npos);
        if (form == "update.bin") {
          EXPECT_EQ(files.files[path].compare(0, 4, "zip|"), 0);  // the old archive, its member replaced
          EXPECT_TRUE(files.flushed.count(temp));
          EXPECT_NE(files.archive_texts[temp + "|update.dat"].find("[dir0]\r\nver=2.0\r\n"),
                    std::string::npos);
        }
        continue;
      }
      EXPECT_EQ(Installed(), before);
      EXPECT_TRUE(files.Backups().empty());
      EXPECT_TRUE(Contains(host.log, "file can not be modified: " + form));
      EXPECT_TRUE(Contains(view.boxes, "Failed to update the file: " + path));
      EXPECT_TRUE(Contains(view.statuses, "Reback to the original status."));
      EXPECT_EQ(run.local_config.GetString("file0", "ver"), "1.0");
      stage.Finish(false);
      EXPECT_EQ(host.results, std::vector<int>{kResultNotCompleted});
    }
  }
}

}  // namespace
}  // namespace corvane
