// The designer's model of the updater's four wizard windows: what the
// "UI-Design" page edits, what the project keeps in its sections [UI] and
// [win0] to [win3], and what the UI configuration writer turns into "ui.dat".
//
// Unlike the updater's UiModel, every window holds every control (buttons,
// list, details box, progress bars, status lines) with a show flag and a
// rectangle, and images and the system icon are the publisher's source
// files, converted only when a package, preview or template is written.
//
// Rectangles are relative to the top-left corner of the preview area, which
// is the client area of the wizard window; the page maps mouse points into
// these coordinates with PreviewGeometry (ui_design_edit.h).
#pragma once

#include <string>

#include "updater/ui/ui_model.h"

namespace corvane {

class IniStore;

// Every selectable thing of one window, in a fixed order. kWindow is the
// window itself (its attr rectangle is the client size).
enum class DesignControl : int {
  kWindow = 0,
  kImage0,
  kImage1,
  kButton0,
  kButton1,
  kText0,
  kText1,
  kText2,
  kText3,
  kList,
  kDetails,  // the "rich_edit" details box
  kProgress0,
  kProgress1,
  kStatus0,
  kStatus1,
};
constexpr int kDesignControlCount = 15;
constexpr int kNoControl = -1;

inline DesignControl ImageControl(int index) { return static_cast<DesignControl>(static_cast<int>(DesignControl::kImage0) + index); }
inline DesignControl ButtonControl(int index) { return static_cast<DesignControl>(static_cast<int>(DesignControl::kButton0) + index); }
inline DesignControl TextControl(int index) { return static_cast<DesignControl>(static_cast<int>(DesignControl::kText0) + index); }

// The attribute-string key of a control in [winN] ("attr", "image0", ...).
const char* DesignControlKey(DesignControl control);

// Whether the updater's window `window` has this control (the wizard has the
// list on windows 0 and 1, both progress bars and status lines on window 1,
// one of each and the details box on window 3). The page enables its
// "Option" boxes and draws samples only for these.
bool WindowHasControl(int window, DesignControl control);

struct DesignImage {
  SkinRect rect;
  std::string source;  // the publisher's .bmp, .gif or .jpg file; empty: no image
  SkinColor transparent = 0;  // clrtp
  bool show = false;
};

struct DesignButton {
  SkinRect rect;
  std::string caption;
  bool show = true;
};

struct DesignWindow {
  WindowSkin attr;
  DesignImage images[2];
  DesignButton buttons[2];
  TextSkin texts[4];
  ControlPlacement list, details, progress[2], status[2];
};

struct UiDesign {
  DesignWindow windows[kWizardWindows];
  std::string title = "Corvane";
  std::string sysicon;  // source: a 16n x 16 .bmp strip or an .ico; empty: built-in
  std::string copyright;
  std::string myurl;
  std::string template_name;    // mbname
  std::string template_author;  // mbauthor
  int current_window = 0;       // CurrentWin
  bool use_custom = true;       // use_myui: 0 means the current template is used
};

// The rectangle and show flag of any control, for code that treats them
// alike (selection, alignment, hit-testing). Buttons report their show flag.
SkinRect& ControlRect(DesignWindow& window, DesignControl control);
const SkinRect& ControlRect(const DesignWindow& window, DesignControl control);
bool& ControlShown(DesignWindow& window, DesignControl control);
bool ControlShown(const DesignWindow& window, DesignControl control);

// A new design: the default layout, texts and captions of the four windows.
UiDesign NewUiDesign();

// The project's part: [UI] CurrentWin, title, sysicon, use_myui, mbname,
// mbauthor, copyright, myurl, and [win0] to [win3] as attribute strings
// (bmpfile holds the source path). Other keys of [UI] (the prompts of the
// system page) are left alone. A missing key gives the control of a new
// design; missing sub-keys read as the updater reads them (hidden, empty,
// black). Save returns false when the store could not be written.
void LoadUiDesign(IniStore& project, UiDesign* design);
bool SaveUiDesign(const UiDesign& design, IniStore& project);

// Attribute strings in the order the updater's files use (see ui_config.h).
// Texts are made safe for one INI line first: line breaks become blanks,
// ";;", which would end the value, becomes ";", and a trailing ";" goes.
std::string OneLineAttributeText(const std::string& text);
// Line breaks become blanks: for plain INI values.
std::string OneLineText(const std::string& text);
std::string FormatRectPair(const SkinRect& rect);
std::string FormatWindowAttribute(const WindowSkin& window);
std::string FormatImageAttribute(const DesignImage& image, const std::string& file);
std::string FormatButtonAttribute(const DesignButton& button);
std::string FormatTextAttribute(const TextSkin& text);
std::string FormatPlacementAttribute(const ControlPlacement& placement);

// Reads one [winN] section over a design window: every control whose key
// is present takes the values of its attribute string (absent sub-keys read
// as hidden, empty, black); a control whose key is absent keeps what `out`
// held. Image files are taken as `bmpfile` says (the caller resolves them).
void ReadDesignWindow(IniStore& store, int window, DesignWindow* out);
// The same for title, copyright, myurl, mbname and mbauthor of [UI].
void ReadDesignUiSection(IniStore& store, UiDesign* design);

}  // namespace corvane
