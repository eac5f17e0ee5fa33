// Line breaking for the skinned label's word-wrap option. Portable: the
// caller supplies the measurement (GDI text extent on Windows, a fixed width
// per character in the tests).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace corvane {

// Returns the width of a piece of text in pixels.
using TextMeasure = std::function<int(const std::string&)>;

// Splits `text` into lines no wider than `max_width`:
// - characters are added one at a time and the line measured;
// - a CR LF or LF CR pair ends a line (a lone CR or LF does too);
// - when a line gets too wide it is broken at the last blank of the part that
//   fits (the blank is dropped and what follows it starts the next line); when
//   that part has no blank or ends with one, right before the character that
//   overflowed;
// - a single character wider than the whole width still gets a line of its
//   own, so the split always ends.
std::vector<std::string> WrapLabelText(const std::string& text, int max_width,
                                       const TextMeasure& measure);

}  // namespace corvane
