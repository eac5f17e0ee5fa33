// Feeds arbitrary bytes to the update journal's parser and checks that what
// it accepts writes back to the same records, then lets the recovery act on
// them in an in-memory file system: it must never touch a file the journal
// does not name, and a journal it cannot read must change nothing.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "../unit/stage_fakes.h"
#include "updater/engine/stages/stage_journal.h"
#include "updater/engine/stages/stage_recovery.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

const char kJournal[] = "C:\\app\\update.jnl";
const char kBystander[] = "C:\\app\\keep.txt";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const JournalContents parsed = ParseJournal(bytes);
  if (parsed.state != JournalState::kGood) Require(parsed.records.empty());

  if (parsed.state == JournalState::kGood) {
    std::string canonical = JournalHeader();
    for (const JournalRecord& record : parsed.records) {
      std::string line;
      Require(FormatJournalRecord(record, &line));
      canonical += line;
    }
    const JournalContents again = ParseJournal(canonical);
    Require(again.state == JournalState::kGood && !again.torn_tail);
    Require(again.records.size() == parsed.records.size());
    for (size_t i = 0; i < again.records.size(); ++i) {
      Require(again.records[i].kind == parsed.records[i].kind);
      Require(again.records[i].number == parsed.records[i].number);
      Require(again.records[i].path == parsed.records[i].path);
    }
  }

  // The recovery on a disk that holds the journal, a file nobody names and
  // the files (and back-ups) the journal names.
  corvane::stagetest::FakeFiles disk;
  disk.files[kJournal] = bytes;
  disk.files[kBystander] = "untouched";
  bool names_bystander = false;
  for (const JournalRecord& record : parsed.records) {
    if (record.path.empty()) continue;
    names_bystander |= record.path == kBystander || record.path + ".ebk" == kBystander;
    disk.files[record.path] = "now";
    if (record.number >= 0 && record.number < 64) {
      disk.files[record.path + ".ebk"] = std::string(static_cast<size_t>(record.number), 'o');
    }
  }
  const auto before = disk.files;
  std::vector<std::string> log;
  const RecoveryResult result = RecoverInterruptedUpdate(disk, kJournal, &log);
  if (!names_bystander) Require(disk.files[kBystander] == "untouched");
  if (parsed.state == JournalState::kDamaged || parsed.state == JournalState::kUnknownVersion) {
    Require(result == RecoveryResult::kIncomplete && disk.files == before);
  }
  if (result == RecoveryResult::kIncomplete) Require(disk.files.count(kJournal) == 1);
  return 0;
}
