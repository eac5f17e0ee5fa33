// Steps shared by the engine's downloads: the row annotation, the
// skip-when-present rule, the chunk loop and the last progress report.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

#include "updater/engine/transfer/transfer_state.h"

namespace corvane {

// Appends "(size)" to the row's label unless it is a "<dir>" row or already
// carries it (a retry from another URL).
void AnnotateRow(TransferState& state, int row, uint64_t size);

// A local file of exactly `total` bytes is not fetched again; returns true
// (the download then succeeds) after showing it as complete.
bool SkipWhenPresent(TransferState& state, const std::string& local_path, uint64_t total, int row);

// Reports the last state of a file if ReportTransferProgress held it back
// (reports are thinned out to a few dozen a second).
void FinishTransferProgress(TransferState& state, uint32_t bytes, uint32_t total,
                            const std::string& rate_text, int row);

// Shows on the page what reports held back: while `state.hold_page` is set,
// ReportTransferProgress shows the page at most a few dozen times a second
// across files too; the download stage calls this when it clears the flag.
void ShowHeldProgress(TransferState& state);

// The file bar to 0 before a transfer, unless the page was just updated (a
// small file's first report follows at once).
void ResetFileProgress(TransferState& state);

// Whether a download target stays where its caller meant it: no ".." part
// and no ":" past the drive. Logs and refuses a path that would not.
bool IsAcceptableTarget(const std::string& local_path);

enum class ChunkLoopEnd { kEndOfData, kReadFailed, kWriteFailed, kCancelled, kStalled };

// How the body is read. HTTP reads take only what has arrived; FTP reads
// block until their buffer is full, so each runs on a helper bounded by the
// time-out.
enum class BodySource { kHttp, kFtp };

// Moves the body of `source` into the open file `open_id` read by read
// (reads start at `chunk_size` bytes and grow on a fast link): per read the
// cancel flag is checked (a cancelled read is not written), the read is
// written, the rate is
// recomputed, progress is reported against `total` (0 = unknown) and the
// worker waits while paused. More bytes than a non-zero `limit` count as a
// failed read. A body that delivers less than StallWindow's minimum within
// one time-out window ends as kStalled (time spent paused does not count).
// `received` holds the bytes already in the file on entry (a resumed
// download continues the count) and the bytes in it on return.
ChunkLoopEnd CopyInternetBody(TransferState& state, HINTERNET source, BodySource kind,
                              int open_id, uint32_t chunk_size, uint64_t total, uint64_t limit,
                              int row, uint64_t* received);

// Progress is reported in 32 bits; larger files show as full at 4 GB.
uint32_t ProgressBytes(uint64_t bytes);

}  // namespace corvane
