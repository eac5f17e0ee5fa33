// Steps shared by the engine's downloads: the row annotation, the
// skip-when-present rule, the chunk loop and the last progress report.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

#include "updater/engine/transfer_state.h"

namespace corvane {

// Appends "(size)" to the row's label unless it is a "<dir>" row or already
// carries it (a retry from another URL).
void AnnotateRow(TransferState& state, int row, uint64_t size);

// A local file of exactly `total` bytes is not fetched again; returns true
// (the download then succeeds) after showing it as complete.
bool SkipWhenPresent(TransferState& state, const std::string& local_path, uint32_t total, int row);

// Reports the last state of a file if ReportTransferProgress held it back
// (reports are thinned out to a few dozen a second).
void FinishTransferProgress(TransferState& state, uint32_t bytes, uint32_t total,
                            const std::string& rate_text, int row);

enum class ChunkLoopEnd { kEndOfData, kReadFailed, kWriteFailed, kCancelled };

// Moves the body of `source` into the open file `open_id` chunk by chunk:
// per chunk of at most `chunk_size` bytes the cancel flag is checked (a
// cancelled chunk is not written), the chunk is written, the rate is
// recomputed, progress is reported against `total` (0 = unknown) and the
// worker waits while paused. More bytes than a non-zero `limit` count as a
// failed read. `received` holds the bytes written.
ChunkLoopEnd CopyInternetBody(TransferState& state, HINTERNET source, int open_id,
                              uint32_t chunk_size, uint32_t total, uint32_t limit, int row,
                              uint32_t* received);

}  // namespace corvane
