// Recovery from an update stage that was killed part-way (power loss, the
// task manager): with the journal (stage_journal.h) and the ".ebk" back-ups
// it left, the installation goes back to exactly what it was before that
// stage; a stage killed after its commit record is finished instead (it had
// installed everything and was only removing back-ups).
//
// Nothing is ever lost on the way: a file is deleted only when the journal
// shows the stage created it; a file is overwritten from its back-up only
// when the journal says the back-up was complete and its size matches; a
// back-up is deleted only after the restored file was compared with it. What
// cannot be settled stays as it is, and the journal and back-ups stay with it
// so that the next start tries again.
//
// Portable; the updater calls it at start-up (under its single-instance
// mutex, so no live stage owns the journal) and the stage before it writes
// a journal of its own.
#pragma once

#include <string>
#include <vector>

namespace corvane {

class StageFileSystem;

enum class RecoveryResult {
  kNothing,     // no journal, or one of a stage that had changed nothing
  kRolledBack,  // every file is as before the interrupted stage
  kCompleted,   // the stage had committed; its leftover back-ups are gone
  kIncomplete,  // something could not be settled; journal and back-ups kept
};

// `log` receives one line per decision, for the update log.
RecoveryResult RecoverInterruptedUpdate(StageFileSystem& files, const std::string& journal_path,
                                        std::vector<std::string>* log);

}  // namespace corvane
