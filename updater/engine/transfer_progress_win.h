// Steps shared by the engine's downloads: the row annotation, the
// skip-when-present rule and the rate after each chunk.
#pragma once

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

}  // namespace corvane
