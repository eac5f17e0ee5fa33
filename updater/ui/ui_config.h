// Reading the UI configuration file ("ui.dat", or "ui.bin": a zip archive
// holding "ui.dat" and the images) into a UiModel. Portable: the text comes in
// as a string, so the designer and the tests use the very same parse.
//
// Every value of [winN] is an attribute string: pairs of sub-key, "=" and
// value joined by ";;", e.g. "show=1;;clrbk=16777215;;rect=0,0,500,400".
// "rect" holds left, top, width and height; the model holds left, top, right
// and bottom.
#pragma once

#include <string>

#include "updater/ui/ui_model.h"

namespace corvane {

class IniStore;

// File and entry names of the two forms.
extern const char kUiArchiveName[];  // "ui.bin"
extern const char kUiTextName[];     // "ui.dat" (also the archive's text entry)

// Number conversions of sub-key values: the value is trimmed; empty gives the
// default; otherwise the leading decimal number (optional sign, digits;
// anything after is ignored; no digits give 0). Both saturate instead of
// overflowing; ParseLongValue stays within 32 bits so that colours read the
// same on every platform.
int ParseIntValue(const std::string& text, int default_value);
long ParseLongValue(const std::string& text, long default_value);

// "x,y,w,h" -> left x, top y, right x + w, bottom y + h. Fewer than three
// commas give the empty rectangle (all 0). Sums that would leave the int
// range are clamped.
SkinRect ParseRect(const std::string& text);

// Fills `model` from INI text (the content of "ui.dat"; a terminating zero
// byte is allowed). Returns false, leaving `model` untouched, when the text
// does not parse: it is empty or names none of the sections [UI], [win0] to
// [win3]. Keys and sub-keys that are absent take the defaults of UiModel
// (hidden, empty rectangle, black, empty text, title "Corvane").
bool ParseUiConfiguration(const std::string& ini_text, UiModel* model);

// The same from a store that is already loaded (text- or file-backed).
void ReadUiModel(IniStore& store, UiModel* model);

// The [UI] "sysicon" value, "entry:count", split. Blanks are removed first.
struct SysIconSetting {
  enum Kind {
    kBuiltIn,    // empty (or one character): use the built-in strip
    kStrip,      // entry and frame count (the count may be 0 or less: nothing is built)
    kMalformed,  // no colon: log "Configuration error:sys_icon", use the built-in strip
  };
  Kind kind = kBuiltIn;
  std::string entry;
  int frames = 0;
};
SysIconSetting ParseSysIcon(const std::string& value);

}  // namespace corvane
