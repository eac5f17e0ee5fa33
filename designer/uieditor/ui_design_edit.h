// Editing a design the way the "UI-Design" page does it, without a window:
// selection (click, Control-click, rubber band), the eight handles and their
// cursors, moving and resizing with the mouse, the window's own resize rule,
// the alignment commands and the "Apply" / "Apply to all windows" rules of
// the attribute panels. The page feeds mouse points (mapped with
// PreviewGeometry) and redraws what the returned changes name.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "designer/uieditor/ui_design.h"

namespace corvane {

struct SkinPoint {
  int x = 0;
  int y = 0;
};

// Where the preview area sits on the page: design rectangles are relative
// to its top-left corner.
struct PreviewGeometry {
  int origin_x = 0;
  int origin_y = 0;
  SkinPoint ToDesign(int page_x, int page_y) const { return SkinPoint{page_x - origin_x, page_y - origin_y}; }
  SkinRect ToPage(const SkinRect& rect) const;
};

bool RectContains(const SkinRect& rect, SkinPoint point);
bool RectsTouch(const SkinRect& a, const SkinRect& b);
// The rectangle grown by `by` pixels on every side (what a change invalidates).
SkinRect GrowRect(const SkinRect& rect, int by);
// The rectangle spanned by two points, whatever their order.
SkinRect RectFromPoints(SkinPoint a, SkinPoint b);

// The eight handles: corners and edge middles.
enum class DragHandle { kNone, kInside, kTopLeft, kTop, kTopRight, kRight, kBottomRight, kBottom, kBottomLeft, kLeft };
enum class DragCursor { kArrow, kSizeNWSE, kSizeNESW, kSizeWE, kSizeNS, kSizeAll };
constexpr int kHandleSize = 6;
constexpr int kInvalidateMargin = 4;

// The handle squares of a rectangle, in the order top-left, top, top-right,
// right, bottom-right, bottom, bottom-left, left.
std::array<SkinRect, 8> HandleRects(const SkinRect& rect);
// A handle of a selected control under the point, else kInside when the
// point is inside it, else kNone.
DragHandle HitHandle(const SkinRect& rect, SkinPoint point);
// The window can be resized only from its right edge, its bottom edge and
// its bottom-right corner.
DragHandle HitWindowHandle(const SkinRect& window, SkinPoint point);
DragCursor CursorForHandle(DragHandle handle);

// The shown control of the window under the point (the one drawn last wins
// where samples overlap: details box, lists and bars before texts, images
// and buttons on top), else kWindow inside the window, else kNoControl.
int ControlAt(const UiDesign& design, int window, SkinPoint point);
// Every shown control (not the window) that the rectangle touches.
std::vector<DesignControl> ControlsTouching(const UiDesign& design, int window, const SkinRect& band);
// The box holding all shown controls of the window (empty when none).
SkinRect ShownControlsBox(const UiDesign& design, int window);
// Whether the control is drawn on the preview of that window.
bool ControlVisible(const UiDesign& design, int window, DesignControl control);

class DesignSelection {
 public:
  // A click selects the control; with the Control key it is added instead.
  // Either way it becomes the reference of the alignment commands.
  void Click(DesignControl control, bool add);
  void Set(const std::vector<DesignControl>& controls);
  void Clear();
  bool Contains(DesignControl control) const;
  bool Empty() const { return items_.empty(); }
  const std::vector<DesignControl>& Items() const { return items_; }
  // The control clicked last, or kNoControl.
  int Reference() const { return reference_; }

 private:
  std::vector<DesignControl> items_;
  int reference_ = kNoControl;
};

struct RectChange {
  DesignControl control;
  SkinRect before;
  SkinRect after;
};

enum class AlignCommand { kLeft, kRight, kTop, kBottom, kSameWidth, kSameHeight, kSameSize };
// Tool tips of the seven buttons ("Align left", ..., "Make same hight").
const char* AlignCommandTip(AlignCommand command);
// Applies the command to every selected control of the window against the
// reference's rectangle; returns the controls that changed.
std::vector<RectChange> AlignSelection(UiDesign& design, int window, const DesignSelection& selection,
                                       AlignCommand command);

// One press-drag-release of the left mouse button in the preview.
class DesignDrag {
 public:
  enum class Mode { kNone, kMove, kResize, kResizeWindow, kRubberBand };

  // Decides what the press at `point` does and updates the selection:
  // a handle of the reference control resizes it; the window's right and
  // bottom handles resize the window (when it is selected); a shown control
  // is selected (added with the Control key) and the selection moves; the
  // window's empty area selects the window and starts a rubber band; a
  // press outside the window clears the selection.
  Mode Begin(UiDesign& design, int window, DesignSelection& selection, SkinPoint point, bool control_key);
  // Moves or resizes to the mouse position (the design changes live so the
  // preview can be drawn from it); for a rubber band only the band changes.
  void Track(UiDesign& design, SkinPoint point);
  // Ends the drag: returns the rectangles that changed (old and new places
  // to redraw); a rubber band selects every shown control it touches.
  std::vector<RectChange> End(UiDesign& design, DesignSelection& selection);
  // Puts every rectangle back (Escape, lost capture).
  void Cancel(UiDesign& design);

  Mode mode() const { return mode_; }
  DragHandle handle() const { return handle_; }
  const SkinRect& band() const { return band_; }

 private:
  Mode mode_ = Mode::kNone;
  int window_ = 0;
  DragHandle handle_ = DragHandle::kNone;
  SkinPoint start_;
  SkinRect band_;
  std::vector<RectChange> moving_;  // controls with their rectangles at the press
};

// The smallest size a control can be dragged down to.
constexpr int kMinControlSide = 4;
// `rect` with the handle dragged by (dx, dy), never turned inside out.
SkinRect ResizedRect(const SkinRect& rect, DragHandle handle, int dx, int dy);
// The window's rectangle dragged by (dx, dy) on its right/bottom handles,
// never smaller than the box of its shown controls.
SkinRect ResizedWindowRect(const UiDesign& design, int window, const SkinRect& start, DragHandle handle, int dx,
                           int dy);

// The page's "Option" check boxes and the window they edit, in their order
// ("Text1" is static0, ..., "Status box" the details box, "Status bar"
// status0, "Download Speed" status1), and the window radio buttons.
struct OptionBox {
  const char* caption;
  DesignControl control;
};
constexpr int kOptionBoxCount = 12;
extern const OptionBox kOptionBoxes[kOptionBoxCount];
extern const char* const kWindowCaptions[kWizardWindows];  // "Before-download", ...
// A box is enabled only while "Custom Windows" is on and the window has
// that control; the window selection and "Hide current window" only while
// "Custom Windows" is on.
bool OptionBoxEnabled(const UiDesign& design, int window, DesignControl control);

// The attribute panel that the selection shows (by its reference control):
// text panel for a shown text, image panel for a shown image, button panel
// for a button, background panel for the window itself.
enum class AttributePanel { kNone, kText, kImage, kButton, kBackground };
AttributePanel PanelFor(const UiDesign& design, int window, const DesignSelection& selection);

// The text panel's fields.
struct TextPanel {
  std::string text;
  int font_height = 0;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  SkinColor text_color = 0;
  std::string url;
  bool normal_underline = false;
  SkinColor normal_color = 0;
  bool hover_underline = false;
  SkinColor hover_color = 0;
};
TextPanel TextPanelFrom(const TextSkin& text);

// "Apply" stores the panel into text `index` of the window. "Apply to all
// windows" stores it into that text of all four windows, each keeping its
// own text, and gives all four the rectangle of the selected one.
void ApplyTextPanel(UiDesign& design, int window, int index, const TextPanel& panel, bool all_windows);
void ApplyImageFile(UiDesign& design, int window, int index, const std::string& source, bool all_windows);
void ApplyBackground(UiDesign& design, int window, SkinColor color, bool all_windows);
void ApplyButtonCaption(UiDesign& design, int window, int index, const std::string& caption, bool all_windows);

// "Original Size": the first selected image that has a file gets the
// picture's own width and height. False (nothing changed) when no selected
// image has a file or it cannot be read as a picture.
bool ApplyOriginalSize(UiDesign& design, int window, const DesignSelection& selection, RectChange* change);

// The file checks of the two browse buttons; each returns the message to
// show, or "" when the file is accepted (the page then stores it and marks
// the project changed). An image must be a ".bmp", ".gif" or ".jpg" that
// decodes ("Image file format error:" + path otherwise). A system icon is an
// ".ico" as it is, or a ".bmp" strip 16 pixels high whose width is a
// positive multiple of 16 ("Image size does not meet the requirements.",
// "Image format does not meet the requirements.").
std::string CheckImageFile(const std::string& path);
std::string CheckSystemIconFile(const std::string& path);

}  // namespace corvane
