#include "designer/uieditor/ui_design_edit.h"

#include <algorithm>

#include "designer/uieditor/image_convert.h"
#include "designer/uieditor/ui_config_writer.h"
#include "shared/zip_file_system.h"

namespace corvane {

namespace {

// Hit order: what the preview draws last comes first.
constexpr DesignControl kHitOrder[] = {
    DesignControl::kButton0,   DesignControl::kButton1, DesignControl::kImage0,    DesignControl::kImage1,
    DesignControl::kText0,     DesignControl::kText1,   DesignControl::kText2,     DesignControl::kText3,
    DesignControl::kStatus0,   DesignControl::kStatus1, DesignControl::kProgress0, DesignControl::kProgress1,
    DesignControl::kList,      DesignControl::kDetails,
};

SkinRect Rect(int left, int top, int right, int bottom) {
  SkinRect rect;
  rect.left = left;
  rect.top = top;
  rect.right = right;
  rect.bottom = bottom;
  return rect;
}

SkinRect HandleAt(int x, int y) {
  const int half = kHandleSize / 2;
  return Rect(x - half, y - half, x - half + kHandleSize, y - half + kHandleSize);
}

constexpr DragHandle kHandleOrder[8] = {DragHandle::kTopLeft,    DragHandle::kTop,    DragHandle::kTopRight,
                                        DragHandle::kRight,      DragHandle::kBottomRight, DragHandle::kBottom,
                                        DragHandle::kBottomLeft, DragHandle::kLeft};

bool MovesLeft(DragHandle h) { return h == DragHandle::kTopLeft || h == DragHandle::kLeft || h == DragHandle::kBottomLeft; }
bool MovesRight(DragHandle h) { return h == DragHandle::kTopRight || h == DragHandle::kRight || h == DragHandle::kBottomRight; }
bool MovesTop(DragHandle h) { return h == DragHandle::kTopLeft || h == DragHandle::kTop || h == DragHandle::kTopRight; }
bool MovesBottom(DragHandle h) {
  return h == DragHandle::kBottomLeft || h == DragHandle::kBottom || h == DragHandle::kBottomRight;
}

SkinRect Offset(const SkinRect& rect, int dx, int dy) {
  return Rect(rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy);
}

bool IsMovable(DesignControl control) { return control != DesignControl::kWindow; }

}  // namespace

const OptionBox kOptionBoxes[kOptionBoxCount] = {
    {"Text1", DesignControl::kText0},         {"Text2", DesignControl::kText1},
    {"Text3", DesignControl::kText2},         {"Text4", DesignControl::kText3},
    {"Image1", DesignControl::kImage0},       {"Image2", DesignControl::kImage1},
    {"Progress1", DesignControl::kProgress0}, {"General Progress", DesignControl::kProgress1},
    {"List", DesignControl::kList},           {"Status box", DesignControl::kDetails},
    {"Status bar", DesignControl::kStatus0},  {"Download Speed", DesignControl::kStatus1},
};

const char* const kWindowCaptions[kWizardWindows] = {"Before-download", "Download", "After-download", "Update"};

bool OptionBoxEnabled(const UiDesign& design, int window, DesignControl control) {
  return design.use_custom && WindowHasControl(window, control);
}

SkinRect PreviewGeometry::ToPage(const SkinRect& rect) const { return Offset(rect, origin_x, origin_y); }

bool RectContains(const SkinRect& rect, SkinPoint p) {
  return p.x >= rect.left && p.x < rect.right && p.y >= rect.top && p.y < rect.bottom;
}

bool RectsTouch(const SkinRect& a, const SkinRect& b) {
  return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

SkinRect GrowRect(const SkinRect& rect, int by) {
  return Rect(rect.left - by, rect.top - by, rect.right + by, rect.bottom + by);
}

SkinRect RectFromPoints(SkinPoint a, SkinPoint b) {
  return Rect(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y));
}

std::array<SkinRect, 8> HandleRects(const SkinRect& r) {
  const int mx = r.left + r.Width() / 2;
  const int my = r.top + r.Height() / 2;
  return {HandleAt(r.left, r.top),     HandleAt(mx, r.top),        HandleAt(r.right, r.top),
          HandleAt(r.right, my),       HandleAt(r.right, r.bottom), HandleAt(mx, r.bottom),
          HandleAt(r.left, r.bottom),  HandleAt(r.left, my)};
}

DragHandle HitHandle(const SkinRect& rect, SkinPoint point) {
  const std::array<SkinRect, 8> handles = HandleRects(rect);
  for (size_t i = 0; i < handles.size(); ++i) {
    if (RectContains(handles[i], point)) return kHandleOrder[i];
  }
  return RectContains(rect, point) ? DragHandle::kInside : DragHandle::kNone;
}

DragHandle HitWindowHandle(const SkinRect& window, SkinPoint point) {
  const DragHandle handle = HitHandle(window, point);
  if (handle == DragHandle::kRight || handle == DragHandle::kBottom || handle == DragHandle::kBottomRight) {
    return handle;
  }
  return DragHandle::kNone;
}

DragCursor CursorForHandle(DragHandle handle) {
  switch (handle) {
    case DragHandle::kTopLeft:
    case DragHandle::kBottomRight:
      return DragCursor::kSizeNWSE;
    case DragHandle::kTopRight:
    case DragHandle::kBottomLeft:
      return DragCursor::kSizeNESW;
    case DragHandle::kLeft:
    case DragHandle::kRight:
      return DragCursor::kSizeWE;
    case DragHandle::kTop:
    case DragHandle::kBottom:
      return DragCursor::kSizeNS;
    case DragHandle::kInside:
      return DragCursor::kSizeAll;
    default:
      return DragCursor::kArrow;
  }
}

bool ControlVisible(const UiDesign& design, int window, DesignControl control) {
  if (window < 0 || window >= kWizardWindows) return false;
  if (control == DesignControl::kWindow) return true;
  return WindowHasControl(window, control) && ControlShown(design.windows[window], control);
}

int ControlAt(const UiDesign& design, int window, SkinPoint point) {
  if (window < 0 || window >= kWizardWindows) return kNoControl;
  const DesignWindow& w = design.windows[window];
  for (DesignControl control : kHitOrder) {
    if (ControlVisible(design, window, control) && RectContains(ControlRect(w, control), point)) {
      return static_cast<int>(control);
    }
  }
  return RectContains(w.attr.rect, point) ? static_cast<int>(DesignControl::kWindow) : kNoControl;
}

std::vector<DesignControl> ControlsTouching(const UiDesign& design, int window, const SkinRect& band) {
  std::vector<DesignControl> found;
  if (window < 0 || window >= kWizardWindows) return found;
  for (DesignControl control : kHitOrder) {
    if (ControlVisible(design, window, control) && RectsTouch(ControlRect(design.windows[window], control), band)) {
      found.push_back(control);
    }
  }
  return found;
}

SkinRect ShownControlsBox(const UiDesign& design, int window) {
  SkinRect box;
  bool any = false;
  for (DesignControl control : kHitOrder) {
    if (!ControlVisible(design, window, control)) continue;
    const SkinRect& r = ControlRect(design.windows[window], control);
    if (!any) {
      box = r;
      any = true;
    } else {
      box = Rect(std::min(box.left, r.left), std::min(box.top, r.top), std::max(box.right, r.right),
                 std::max(box.bottom, r.bottom));
    }
  }
  return box;
}

void DesignSelection::Click(DesignControl control, bool add) {
  if (!add) items_.clear();
  if (!Contains(control)) items_.push_back(control);
  reference_ = static_cast<int>(control);
}

void DesignSelection::Set(const std::vector<DesignControl>& controls) {
  items_ = controls;
  reference_ = items_.empty() ? kNoControl : static_cast<int>(items_.back());
}

void DesignSelection::Clear() {
  items_.clear();
  reference_ = kNoControl;
}

bool DesignSelection::Contains(DesignControl control) const {
  return std::find(items_.begin(), items_.end(), control) != items_.end();
}

const char* AlignCommandTip(AlignCommand command) {
  switch (command) {
    case AlignCommand::kLeft: return "Align left";
    case AlignCommand::kRight: return "Align right";
    case AlignCommand::kTop: return "Align top";
    case AlignCommand::kBottom: return "Align bottom";
    case AlignCommand::kSameWidth: return "Make same width";
    case AlignCommand::kSameHeight: return "Make same hight";
    case AlignCommand::kSameSize: return "Make same size";
  }
  return "";
}

std::vector<RectChange> AlignSelection(UiDesign& design, int window, const DesignSelection& selection,
                                       AlignCommand command) {
  std::vector<RectChange> changes;
  if (window < 0 || window >= kWizardWindows || selection.Reference() == kNoControl) return changes;
  DesignWindow& w = design.windows[window];
  const SkinRect ref = ControlRect(w, static_cast<DesignControl>(selection.Reference()));
  for (DesignControl control : selection.Items()) {
    if (!IsMovable(control)) continue;
    SkinRect& rect = ControlRect(w, control);
    const SkinRect before = rect;
    switch (command) {
      case AlignCommand::kLeft:
        rect = Offset(rect, ref.left - rect.left, 0);
        break;
      case AlignCommand::kRight:
        rect = Offset(rect, ref.right - rect.right, 0);
        break;
      case AlignCommand::kTop:
        rect = Offset(rect, 0, ref.top - rect.top);
        break;
      case AlignCommand::kBottom:
        rect = Offset(rect, 0, ref.bottom - rect.bottom);
        break;
      case AlignCommand::kSameWidth:
        rect.right = rect.left + ref.Width();
        break;
      case AlignCommand::kSameHeight:
        rect.bottom = rect.top + ref.Height();
        break;
      case AlignCommand::kSameSize:
        rect.right = rect.left + ref.Width();
        rect.bottom = rect.top + ref.Height();
        break;
    }
    if (!(rect == before)) changes.push_back(RectChange{control, before, rect});
  }
  return changes;
}

SkinRect ResizedRect(const SkinRect& rect, DragHandle handle, int dx, int dy) {
  SkinRect r = rect;
  if (MovesLeft(handle)) r.left = std::min(rect.left + dx, rect.right - kMinControlSide);
  if (MovesRight(handle)) r.right = std::max(rect.right + dx, rect.left + kMinControlSide);
  if (MovesTop(handle)) r.top = std::min(rect.top + dy, rect.bottom - kMinControlSide);
  if (MovesBottom(handle)) r.bottom = std::max(rect.bottom + dy, rect.top + kMinControlSide);
  return r;
}

SkinRect ResizedWindowRect(const UiDesign& design, int window, const SkinRect& start, DragHandle handle, int dx,
                           int dy) {
  SkinRect r = start;
  const SkinRect box = ShownControlsBox(design, window);
  if (handle == DragHandle::kRight || handle == DragHandle::kBottomRight) {
    r.right = std::max({start.right + dx, box.right, start.left + kMinControlSide});
  }
  if (handle == DragHandle::kBottom || handle == DragHandle::kBottomRight) {
    r.bottom = std::max({start.bottom + dy, box.bottom, start.top + kMinControlSide});
  }
  return r;
}

DesignDrag::Mode DesignDrag::Begin(UiDesign& design, int window, DesignSelection& selection, SkinPoint point,
                                   bool control_key) {
  mode_ = Mode::kNone;
  handle_ = DragHandle::kNone;
  moving_.clear();
  window_ = window;
  start_ = point;
  band_ = SkinRect();
  if (window < 0 || window >= kWizardWindows) return mode_;
  DesignWindow& w = design.windows[window];

  // A handle of the reference control (or of the selected window) wins over
  // whatever lies beneath it.
  const int ref = selection.Reference();
  if (!control_key && ref != kNoControl && selection.Contains(static_cast<DesignControl>(ref))) {
    const DesignControl control = static_cast<DesignControl>(ref);
    if (control == DesignControl::kWindow) {
      const DragHandle handle = HitWindowHandle(w.attr.rect, point);
      if (handle != DragHandle::kNone) {
        handle_ = handle;
        moving_.push_back(RectChange{control, w.attr.rect, w.attr.rect});
        return mode_ = Mode::kResizeWindow;
      }
    } else if (ControlVisible(design, window, control)) {
      const DragHandle handle = HitHandle(ControlRect(w, control), point);
      if (handle != DragHandle::kNone && handle != DragHandle::kInside) {
        handle_ = handle;
        moving_.push_back(RectChange{control, ControlRect(w, control), ControlRect(w, control)});
        return mode_ = Mode::kResize;
      }
    }
  }

  const int hit = ControlAt(design, window, point);
  if (hit == kNoControl) {
    if (!control_key) selection.Clear();
    return mode_;
  }
  const DesignControl control = static_cast<DesignControl>(hit);
  if (control == DesignControl::kWindow) {
    if (!control_key) selection.Click(control, false);
    band_ = RectFromPoints(point, point);
    return mode_ = Mode::kRubberBand;
  }
  // Clicking a control that is already selected keeps the group together.
  selection.Click(control, control_key || selection.Contains(control));
  handle_ = DragHandle::kInside;
  for (DesignControl selected : selection.Items()) {
    if (IsMovable(selected) && ControlVisible(design, window, selected)) {
      moving_.push_back(RectChange{selected, ControlRect(w, selected), ControlRect(w, selected)});
    }
  }
  return mode_ = Mode::kMove;
}

void DesignDrag::Track(UiDesign& design, SkinPoint point) {
  const int dx = point.x - start_.x;
  const int dy = point.y - start_.y;
  DesignWindow& w = design.windows[window_];
  switch (mode_) {
    case Mode::kMove:
      for (RectChange& m : moving_) m.after = ControlRect(w, m.control) = Offset(m.before, dx, dy);
      break;
    case Mode::kResize:
      for (RectChange& m : moving_) m.after = ControlRect(w, m.control) = ResizedRect(m.before, handle_, dx, dy);
      break;
    case Mode::kResizeWindow:
      for (RectChange& m : moving_) {
        m.after = w.attr.rect = ResizedWindowRect(design, window_, m.before, handle_, dx, dy);
      }
      break;
    case Mode::kRubberBand:
      band_ = RectFromPoints(start_, point);
      break;
    case Mode::kNone:
      break;
  }
}

std::vector<RectChange> DesignDrag::End(UiDesign& design, DesignSelection& selection) {
  std::vector<RectChange> changes;
  if (mode_ == Mode::kRubberBand) {
    const std::vector<DesignControl> touched = ControlsTouching(design, window_, band_);
    if (!touched.empty()) selection.Set(touched);
  } else {
    for (const RectChange& m : moving_) {
      if (!(m.before == m.after)) changes.push_back(m);
    }
  }
  mode_ = Mode::kNone;
  moving_.clear();
  return changes;
}

void DesignDrag::Cancel(UiDesign& design) {
  DesignWindow& w = design.windows[window_];
  for (const RectChange& m : moving_) ControlRect(w, m.control) = m.before;
  mode_ = Mode::kNone;
  moving_.clear();
}

AttributePanel PanelFor(const UiDesign& design, int window, const DesignSelection& selection) {
  const int ref = selection.Reference();
  if (ref == kNoControl || window < 0 || window >= kWizardWindows) return AttributePanel::kNone;
  const DesignControl control = static_cast<DesignControl>(ref);
  switch (control) {
    case DesignControl::kWindow:
      return AttributePanel::kBackground;
    case DesignControl::kText0:
    case DesignControl::kText1:
    case DesignControl::kText2:
    case DesignControl::kText3:
      return ControlVisible(design, window, control) ? AttributePanel::kText : AttributePanel::kNone;
    case DesignControl::kImage0:
    case DesignControl::kImage1:
      return ControlVisible(design, window, control) ? AttributePanel::kImage : AttributePanel::kNone;
    case DesignControl::kButton0:
    case DesignControl::kButton1:
      return AttributePanel::kButton;
    default:
      return AttributePanel::kNone;
  }
}

TextPanel TextPanelFrom(const TextSkin& t) {
  TextPanel panel;
  panel.text = t.text;
  panel.font_height = t.font_height;
  panel.bold = t.font_weight >= 700;
  panel.italic = t.italic;
  panel.underline = t.underline;
  panel.text_color = t.text_color;
  panel.url = t.url;
  panel.normal_underline = t.normal_underline;
  panel.normal_color = t.normal_color;
  panel.hover_underline = t.hover_underline;
  panel.hover_color = t.hover_color;
  return panel;
}

namespace {

void StorePanel(TextSkin& t, const TextPanel& panel, bool with_text) {
  if (with_text) t.text = panel.text;
  t.font_height = panel.font_height;
  t.font_weight = panel.bold ? 700 : 400;
  t.italic = panel.italic;
  t.underline = panel.underline;
  t.text_color = panel.text_color;
  t.url = panel.url;
  t.normal_underline = panel.normal_underline;
  t.normal_color = panel.normal_color;
  t.hover_underline = panel.hover_underline;
  t.hover_color = panel.hover_color;
}

bool ValidSlot(int window, int index) { return window >= 0 && window < kWizardWindows && index >= 0; }

}  // namespace

void ApplyTextPanel(UiDesign& design, int window, int index, const TextPanel& panel, bool all_windows) {
  if (!ValidSlot(window, index) || index >= 4) return;
  StorePanel(design.windows[window].texts[index], panel, true);
  if (!all_windows) return;
  const SkinRect rect = design.windows[window].texts[index].rect;
  for (DesignWindow& w : design.windows) {
    StorePanel(w.texts[index], panel, false);
    w.texts[index].rect = rect;
  }
}

void ApplyImageFile(UiDesign& design, int window, int index, const std::string& source, bool all_windows) {
  if (!ValidSlot(window, index) || index >= 2) return;
  if (!all_windows) {
    design.windows[window].images[index].source = source;
    return;
  }
  for (DesignWindow& w : design.windows) w.images[index].source = source;
}

void ApplyBackground(UiDesign& design, int window, SkinColor color, bool all_windows) {
  if (!ValidSlot(window, 0)) return;
  if (!all_windows) {
    design.windows[window].attr.background = color;
    return;
  }
  for (DesignWindow& w : design.windows) w.attr.background = color;
}

void ApplyButtonCaption(UiDesign& design, int window, int index, const std::string& caption, bool all_windows) {
  if (!ValidSlot(window, index) || index >= 2) return;
  if (!all_windows) {
    design.windows[window].buttons[index].caption = caption;
    return;
  }
  for (DesignWindow& w : design.windows) w.buttons[index].caption = caption;
}

bool ApplyOriginalSize(UiDesign& design, int window, const DesignSelection& selection, RectChange* change) {
  if (window < 0 || window >= kWizardWindows) return false;
  DesignWindow& w = design.windows[window];
  for (DesignControl control : selection.Items()) {
    if (control != DesignControl::kImage0 && control != DesignControl::kImage1) continue;
    DesignImage& image = w.images[control == DesignControl::kImage0 ? 0 : 1];
    if (image.source.empty()) continue;
    std::vector<unsigned char> bytes;
    int width = 0, height = 0;
    if (!zipfs::ReadWholeFile(image.source, bytes) || !ReadPictureSize(bytes.data(), bytes.size(), &width, &height)) {
      return false;
    }
    const SkinRect before = image.rect;
    image.rect.right = image.rect.left + width;
    image.rect.bottom = image.rect.top + height;
    if (change) *change = RectChange{control, before, image.rect};
    return true;
  }
  return false;
}

std::string CheckImageFile(const std::string& path) {
  const ImageSourceKind kind = ImageKindOfPath(path);
  std::vector<unsigned char> bytes;
  if ((kind != ImageSourceKind::kBmp && kind != ImageSourceKind::kGif && kind != ImageSourceKind::kJpeg) ||
      !zipfs::ReadWholeFile(path, bytes) || !DecodePicture(bytes.data(), bytes.size())) {
    return kImageFormatError + path;
  }
  return std::string();
}

std::string CheckSystemIconFile(const std::string& path) {
  const ImageSourceKind kind = ImageKindOfPath(path);
  if (kind == ImageSourceKind::kIcon) return std::string();
  std::vector<unsigned char> bytes;
  if (kind != ImageSourceKind::kBmp || !zipfs::ReadWholeFile(path, bytes)) return kSysIconFormatMessage;
  return SysIconMessage(CheckSysIconBitmap(bytes.data(), bytes.size()));
}

}  // namespace corvane
