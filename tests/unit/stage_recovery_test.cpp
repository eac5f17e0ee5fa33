// The update stage's journal and the recovery after a crash: the journal
// format, then a representative stage killed after every one of its changing
// steps (and in the middle of it), recovered, and compared byte for byte with
// the installation as it was before.
#include "updater/engine/stages/stage_recovery.h"

#include <gtest/gtest.h>

#include "stage_fakes.h"
#include "updater/engine/stages/stage_journal.h"
#include "updater/engine/stages/update_stage.h"

namespace corvane {
namespace {

using stagetest::Entry;

const std::string kApp = "C:\\app\\updateApp\\";
const std::string kTemp = "C:\\temp\\~tovrel_tmp\\";
const std::string kJournal = kApp + "update.jnl";

std::string Line(JournalKind kind, const std::string& path, int64_t number = -1) {
  std::string line;
  EXPECT_TRUE(FormatJournalRecord(JournalRecord{kind, number, path}, &line));
  return line;
}

TEST(JournalFormat, ParsesWhatItWritesAndSpotsTornAndDamagedRecords) {
  const std::string head = JournalHeader();
  const std::string b = Line(JournalKind::kBackupBegins, "C:\\a b\\x.dll", 12);
  const std::string w = Line(JournalKind::kWrite, "C:\\a b\\new.txt", -1);
  const std::string c = Line(JournalKind::kCommitted, "");
  std::string bad_crc = w;
  bad_crc[bad_crc.size() - 2] = bad_crc[bad_crc.size() - 2] == '0' ? '1' : '0';
  struct Case {
    const char* name;
    std::string bytes;
    JournalState state;
    size_t records;
    bool torn;
  } cases[] = {
      {"whole", head + b + w + c, JournalState::kGood, 3, false},
      {"header only", head, JournalState::kGood, 0, false},
      {"torn last record", head + b + w.substr(0, 9), JournalState::kGood, 1, true},
      {"last record with a bad checksum", head + b + bad_crc, JournalState::kGood, 1, true},
      {"bad record in the middle", head + bad_crc + b, JournalState::kDamaged, 0, false},
      {"empty", "", JournalState::kNotStarted, 0, false},
      {"torn header", head.substr(0, 7), JournalState::kNotStarted, 0, false},
      {"other version", "corvane update journal 2\n" + b, JournalState::kUnknownVersion, 0, false},
      {"no journal", "MZ\x90\n" + b, JournalState::kDamaged, 0, false},
      {"no line break in junk", "MZ\x90", JournalState::kDamaged, 0, false},
  };
  for (const Case& c : cases) {
    const JournalContents got = ParseJournal(c.bytes);
    EXPECT_EQ(got.state, c.state) << c.name;
    EXPECT_EQ(got.records.size(), c.records) << c.name;
    EXPECT_EQ(got.torn_tail, c.torn) << c.name;
  }
  const JournalContents whole = ParseJournal(head + b + w + c);
  ASSERT_EQ(whole.records.size(), 3u);
  EXPECT_EQ(whole.records[0].kind, JournalKind::kBackupBegins);
  EXPECT_EQ(whole.records[0].path, "C:\\a b\\x.dll");
  EXPECT_EQ(whole.records[0].number, 12);
  EXPECT_EQ(whole.records[1].number, -1);
  EXPECT_EQ(whole.records[2].kind, JournalKind::kCommitted);

  std::string line;
  EXPECT_FALSE(FormatJournalRecord(JournalRecord{JournalKind::kWrite, 0, "a\tb"}, &line));
  EXPECT_FALSE(FormatJournalRecord(JournalRecord{JournalKind::kWrite, 0, "a\nb"}, &line));
}

// file0 replaces app.exe; file1 is an archive unpacked over an old a.txt,
// with sub\b.txt new in a new folder; dir0 creates docs\x\d1.txt in new
// folders and replaces docs\x\..\d2.txt; the versions go into update.bin.
class CrashTest : public ::testing::Test {
 public:
  void SetUp() override {
    files.folders = {"C:", "C:\\app", "C:\\app\\updateApp", "C:\\temp"};
    files.files[kApp + "app.exe"] = "old app";
    files.files[kApp + "a.txt"] = "old a";
    files.files[kApp + "keep.txt"] = "untouched";
    files.files[kApp + "update.bin"] = "zip with update.dat";
    AddFile(0, "app.exe", "new app, longer than the old one");
    AddFile(1, "pack.zip", "zip bytes");
    run.files[1].uncompress = 1;
    files.archives["zip bytes"].entries = {{"a.txt", "new a"}, {"sub/b.txt", "new b"}};
    DirItem& dir = run.dirs[0];
    dir.is_new = true;
    dir.server_version = "2.0";
    dir.destination = "{parent}\\docs";
    dir.downloads = {Entry("d1.txt", "x")};
    files.files[kTemp + "dir0\\x.d1.txt"] = "new d1";
    run.local_config.LoadFromText("[system]\n[file0]\nver=1.0\n");
    run.display_style = kStyleHide;
    run.operation_mode = kModeAutomatic;
    setup.updater_folder = kApp;
    setup.temp_folder = kTemp;
  }

  void AddFile(int k, const std::string& name, const std::string& bytes) {
    stagetest::StageFileItem(run, files, kTemp, k, name, "", bytes);
  }

  void CheckEveryCrashPoint(bool stage_succeeds);

  bool RunStage() {
    UpdateStage stage(run, setup, view, host, files, processes);
    return stage.Run();
  }

  std::map<std::string, std::string> Installed(const stagetest::FakeFiles& f) const {
    return stagetest::InstalledFiles(f, kTemp);
  }

  UpdateRun run;
  UpdateStageSetup setup;
  stagetest::FakeFiles files;
  stagetest::FakeProcesses processes;
  stagetest::RecordingView view;
  stagetest::RecordingHost host;
};

// Runs the stage once to count its steps, then once per step crashing
// there (whole and torn), and recovers each time from the disk as the crash
// left it: the files are as before the stage or, past its commit, as after.
void CrashTest::CheckEveryCrashPoint(bool stage_succeeds) {
  const stagetest::FakeFiles before = files;
  const UpdateRun fresh_run = run;
  ASSERT_EQ(RunStage(), stage_succeeds);
  const int total = files.steps;
  const auto finished = Installed(files);
  const auto finished_attributes = stagetest::InstalledAttributes(files, kTemp);
  EXPECT_FALSE(files.files.count(kJournal));  // gone with the back-ups
  EXPECT_EQ(files.Backups(), std::vector<std::string>());
  ASSERT_GT(total, 20);

  int rolled_back = 0, completed = 0;
  for (int crash_at = 1; crash_at <= total; ++crash_at) {
    for (bool tear : {false, true}) {
      SCOPED_TRACE("crash at step " + std::to_string(crash_at) + (tear ? " (torn)" : ""));
      files = before;
      run = fresh_run;
      files.crash_at = crash_at;
      files.tear = tear;
      RunStage();
      ASSERT_TRUE(files.crashed);

      stagetest::FakeFiles disk;  // the next start
      disk.files = files.files;
      disk.folders = files.folders;
      disk.attributes = files.attributes;
      std::vector<std::string> log;
      const RecoveryResult result = RecoverInterruptedUpdate(disk, kJournal, &log);
      ASSERT_NE(result, RecoveryResult::kIncomplete) << ::testing::PrintToString(log);
      // After the very last step (the journal's removal) nothing is left to do.
      if (result == RecoveryResult::kCompleted || crash_at == total) {
        completed += result == RecoveryResult::kCompleted;
        EXPECT_EQ(Installed(disk), finished);
        EXPECT_EQ(stagetest::InstalledAttributes(disk, kTemp), finished_attributes);
      } else {
        rolled_back += result == RecoveryResult::kRolledBack;
        EXPECT_EQ(Installed(disk), Installed(before)) << ::testing::PrintToString(log);
        EXPECT_EQ(stagetest::InstalledAttributes(disk, kTemp),
                  stagetest::InstalledAttributes(before, kTemp));
        EXPECT_EQ(disk.folders, before.folders);
      }
      // Settled for good: a second start finds nothing to do.
      std::vector<std::string> again;
      EXPECT_EQ(RecoverInterruptedUpdate(disk, kJournal, &again), RecoveryResult::kNothing);
      EXPECT_TRUE(again.empty());
    }
  }
  EXPECT_GT(rolled_back, total);  // most points lie before the commit
  EXPECT_EQ(completed > 0, stage_succeeds);
}

TEST_F(CrashTest, EveryCrashPointIsRolledBackOrFinished) { CheckEveryCrashPoint(true); }

// Read-only originals and read-only archive entries: whatever the crash
// point, the recovery can write over and delete them, and the originals
// come back with their attributes.
TEST_F(CrashTest, ReadOnlyFilesAreSettledWithTheirAttributes) {
  files.attributes[kApp + "app.exe"] = kAttributeReadOnly | kAttributeArchive;
  files.attributes[kApp + "a.txt"] = kAttributeReadOnly | kAttributeHidden;
  files.archives["zip bytes"].attributes = {{"a.txt", kAttributeReadOnly},
                                            {"sub/b.txt", kAttributeReadOnly}};
  const stagetest::FakeFiles start = files;
  const UpdateRun start_run = run;
  CheckEveryCrashPoint(true);
  files = start;
  run = start_run;
  run.dirs[0].downloads.push_back(Entry("d9.txt", "x"));  // fails after every other write
  CheckEveryCrashPoint(false);
}

TEST_F(CrashTest, ACrashDuringTheRollBackOfAFailedStageIsFinishedByTheRecovery) {
  // The last entry's download is missing: the stage fails after every other
  // file was written, and its roll-back is crashed at each step as well.
  run.dirs[0].downloads.push_back(Entry("d9.txt", "x"));
  CheckEveryCrashPoint(false);
}

TEST_F(CrashTest, RecoveryKeepsWhatItCannotVouchFor) {
  const std::string app = kApp + "app.exe", added = kApp + "added.txt";
  struct Case {
    const char* name;
    std::string journal;
    std::map<std::string, std::string> extra;  // files besides app.exe and the journal
    std::string app_before;                     // app.exe as the crash left it
    std::string app_after;                      // and after the recovery
    bool added_kept;
    RecoveryResult result;
  } cases[] = {
      {"back-up smaller than recorded",
       Line(JournalKind::kBackupComplete, app, 7) + Line(JournalKind::kWrite, app, 7),
       {{app + ".ebk", "old"}}, "new app", "new app", false, RecoveryResult::kIncomplete},
      {"back-up begun, never completed: the original was not touched",
       Line(JournalKind::kBackupBegins, app, 7), {{app + ".ebk", "old"}}, "old app", "old app",
       false, RecoveryResult::kRolledBack},
      {"a written file that was there before and has no back-up",
       Line(JournalKind::kWrite, added, 5), {{added, "other"}}, "new app", "new app", true,
       RecoveryResult::kRolledBack},
      {"a file the stage created", Line(JournalKind::kWrite, added, -1), {{added, "new"}},
       "new app", "new app", false, RecoveryResult::kRolledBack},
      {"a complete back-up is restored",
       Line(JournalKind::kBackupComplete, app, 7) + Line(JournalKind::kWrite, app, 7),
       {{app + ".ebk", "old app"}}, "new app", "old app", false, RecoveryResult::kRolledBack},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    stagetest::FakeFiles disk;
    disk.files = {{app, c.app_before}, {kJournal, JournalHeader() + c.journal}};
    for (const auto& f : c.extra) disk.files.insert(f);
    std::vector<std::string> log;
    EXPECT_EQ(RecoverInterruptedUpdate(disk, kJournal, &log), c.result);
    const bool incomplete = c.result == RecoveryResult::kIncomplete;
    EXPECT_EQ(disk.files[app], c.app_after);
    EXPECT_EQ(disk.files.count(added) > 0, c.added_kept);
    EXPECT_EQ(disk.files.count(kJournal) > 0, incomplete);
    EXPECT_EQ(disk.files.count(app + ".ebk") > 0, incomplete);
  }
  // A damaged journal changes nothing and stays for someone to look at.
  stagetest::FakeFiles disk;
  const std::string damaged = JournalHeader() + "W\tjunk\n" + Line(JournalKind::kWrite, app, -1);
  disk.files = {{app, "new app"}, {kJournal, damaged}};
  std::vector<std::string> log;
  EXPECT_EQ(RecoverInterruptedUpdate(disk, kJournal, &log), RecoveryResult::kIncomplete);
  EXPECT_EQ(disk.files[app], "new app");
  EXPECT_EQ(disk.files[kJournal], damaged);
}

TEST_F(CrashTest, ARestoreThatFailsKeepsBackupAndJournalForTheNextStart) {
  const auto original = Installed(files);
  // Every copy to app.exe breaks off half-way: the update's copy fails, and
  // so does the roll-back's restore of the original.
  files.copy_always_fails.insert(kApp + "app.exe");
  ASSERT_FALSE(RunStage());
  EXPECT_EQ(files.files[kApp + "app.exe.ebk"], "old app");  // the only copy stays
  EXPECT_TRUE(files.files.count(kJournal));
  EXPECT_TRUE(stagetest::Contains(view.statuses, "Failed to restore file: " + kApp + "app.exe"));

  // The next start, with the file writable again, finishes the roll-back.
  files.copy_always_fails.clear();
  std::vector<std::string> log;
  EXPECT_EQ(RecoverInterruptedUpdate(files, kJournal, &log), RecoveryResult::kRolledBack);
  EXPECT_EQ(Installed(files), original);
  EXPECT_TRUE(stagetest::Contains(log, "Successfully restore file: " + kApp + "app.exe"));
}

TEST_F(CrashTest, ALeftoverJournalIsSettledBeforeTheNextStageOrStopsIt) {
  // One the start-up could not settle (say, a file was held open then).
  const std::string stray = kApp + "stray.txt";
  files.files[stray] = "made by the killed stage";
  files.files[kJournal] = JournalHeader() + Line(JournalKind::kWrite, stray, -1);
  ASSERT_TRUE(RunStage());
  EXPECT_FALSE(files.files.count(stray));
  EXPECT_TRUE(stagetest::Contains(
      host.log, "The interrupted update was rolled back; the files are as before it."));
  EXPECT_FALSE(files.files.count(kJournal));

  // A damaged one: nothing is changed, the journal stays for inspection.
  files = stagetest::FakeFiles();
  run = UpdateRun();
  view = stagetest::RecordingView();
  SetUp();
  files.files[kJournal] = "not a journal\nat all\n";
  const auto original = Installed(files);
  EXPECT_FALSE(RunStage());
  EXPECT_EQ(Installed(files), original);
  EXPECT_TRUE(stagetest::Contains(view.boxes, "Failed to backup the file: " + kJournal));
}

// A power loss left half a record at the end of the journal, and at the
// next start app.exe is held by another program: recovery puts back what it
// can, and what it appends must not follow the torn bytes, or the start
// after that could not read the journal any more.
TEST_F(CrashTest, ATornJournalWithAHeldFileIsSettledByALaterStart) {
  const std::string app = kApp + "app.exe", a = kApp + "a.txt";
  const auto original = Installed(files);
  files.files[app + ".ebk"] = "old app";
  files.files[app] = "new app, longer than the old one";
  files.files[a + ".ebk"] = "old a";
  files.files[a] = "new a";
  const std::string torn = Line(JournalKind::kWrite, kApp + "x.txt", -1).substr(0, 12);
  files.files[kJournal] = JournalHeader() + Line(JournalKind::kBackupBegins, app, 7) +
                          Line(JournalKind::kBackupComplete, app, 7) + Line(JournalKind::kWrite, app, 7) +
                          Line(JournalKind::kBackupBegins, a, 5) + Line(JournalKind::kBackupComplete, a, 5) +
                          Line(JournalKind::kWrite, a, 5) + torn;
  files.copy_always_fails.insert(app);  // held: cannot be put back now
  std::vector<std::string> log;
  EXPECT_EQ(RecoverInterruptedUpdate(files, kJournal, &log), RecoveryResult::kIncomplete);
  EXPECT_EQ(files.files[a], "old a");
  EXPECT_FALSE(files.files.count(a + ".ebk"));
  const JournalContents kept = ParseJournal(files.files[kJournal]);
  EXPECT_EQ(kept.state, JournalState::kGood);
  EXPECT_FALSE(kept.torn_tail);
  EXPECT_EQ(kept.records.back().kind, JournalKind::kRestored);
  EXPECT_EQ(files.moves, std::vector<std::string>{kJournal + ".tmp -> " + kJournal});

  // The next start, with app.exe free again; then the next update installs.
  files.copy_always_fails.clear();
  files.files[app] = "new app, longer than the old one";  // the failed restore cut it short
  log.clear();
  EXPECT_EQ(RecoverInterruptedUpdate(files, kJournal, &log), RecoveryResult::kRolledBack)
      << ::testing::PrintToString(log);
  EXPECT_EQ(Installed(files), original);
  ASSERT_TRUE(RunStage());
  EXPECT_EQ(files.files[app], "new app, longer than the old one");
  EXPECT_FALSE(files.files.count(kJournal));
}

// A back-up another program holds when the stage removes it: the journal
// stays with it, and the next start removes the leftover and the journal.
TEST_F(CrashTest, ABackupThatCannotBeDeletedKeepsItsJournalUntilTheNextStart) {
  files.delete_fails.insert(kApp + "a.txt.ebk");
  ASSERT_TRUE(RunStage());
  EXPECT_EQ(files.Backups(), std::vector<std::string>{kApp + "a.txt.ebk"});
  EXPECT_TRUE(files.files.count(kJournal));
  EXPECT_TRUE(stagetest::Contains(host.log, "Failed to delete file: " + kApp + "a.txt.ebk"));
  auto installed = Installed(files);
  installed.erase(kApp + "a.txt.ebk");
  installed.erase(kJournal);

  files.delete_fails.clear();
  std::vector<std::string> log;
  EXPECT_EQ(RecoverInterruptedUpdate(files, kJournal, &log), RecoveryResult::kCompleted);
  EXPECT_TRUE(files.Backups().empty());
  EXPECT_FALSE(files.files.count(kJournal));
  EXPECT_EQ(Installed(files), installed);
}

}  // namespace
}  // namespace corvane
