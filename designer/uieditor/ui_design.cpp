#include "designer/uieditor/ui_design.h"

#include "shared/ini_store.h"
#include "shared/text_util.h"
#include "updater/ui/ui_config.h"

namespace corvane {

namespace {

constexpr char kUiSection[] = "UI";

const char* const kControlKeys[kDesignControlCount] = {
    "attr",   "image0",   "image1",    "button0",   "button1", "static0", "static1", "static2",
    "static3", "list",    "rich_edit", "progress0", "progress1", "status0", "status1",
};

SkinRect Rect(int x, int y, int w, int h) {
  SkinRect rect;
  rect.left = x;
  rect.top = y;
  rect.right = x + w;
  rect.bottom = y + h;
  return rect;
}

// Default colours of the texts (COLORREF: red in the low byte).
constexpr SkinColor kWhite = 16777215;
constexpr SkinColor kDarkGrey = 3355443;   // RGB(51,51,51)
constexpr SkinColor kGrey = 6710886;       // RGB(102,102,102)
constexpr SkinColor kLinkBlue = 13395456;  // RGB(0,102,204)
constexpr SkinColor kLinkRed = 255;        // RGB(255,0,0)

const char* const kDefaultTexts[kWizardWindows][4] = {
    {"Update Program Wizard", "Find new version.",
     "To update to the latest version, please click the [Next] to continue. You can click the [Cancel] exit the "
     "the process at any time.",
     "Click to visit our website"},
    {"Download File", "Downloading update file, please wait...", "Text3", "Click to visit our website"},
    {"Download Complete", "All the update files have been ready.",
     "If there are related programs running, please shut it down first. Then, click [Next] to complete the last "
     "update process.",
     "Click to visit our website"},
    {"Update File", "File is being updated...", "Text", "Click to visit our website"},
};

TextSkin DefaultText(int window, int index) {
  TextSkin text;
  text.text = kDefaultTexts[window][index];
  text.show = true;
  text.font_weight = 400;
  text.font_height = 15;
  text.text_color = kDarkGrey;
  switch (index) {
    case 0:
      text.rect = Rect(20, 14, 460, 24);
      text.font_height = 20;
      text.font_weight = 700;
      break;
    case 1:
      text.rect = Rect(36, 42, 444, 20);
      text.text_color = kGrey;
      break;
    case 2:
      text.rect = Rect(20, 72, 460, 50);
      // The placeholder texts of the download and update windows start hidden.
      text.show = window == 0 || window == 2;
      break;
    default:
      text.rect = Rect(20, 365, 200, 18);
      text.font_height = 14;
      text.text_color = 0;
      text.url = "https://www.example.com/";
      text.normal_color = kLinkBlue;
      text.hover_color = kLinkRed;
      text.hover_underline = true;
      break;
  }
  return text;
}

ControlPlacement Place(bool show, SkinRect rect) {
  ControlPlacement placement;
  placement.show = show;
  placement.rect = rect;
  return placement;
}

int ReadInt(const std::string& packed, const char* name) { return ParseIntValue(GetAttribute(packed, name), 0); }

SkinColor ReadColor(const std::string& packed, const char* name) {
  return static_cast<SkinColor>(static_cast<int32_t>(ParseLongValue(GetAttribute(packed, name), 0)));
}

long ColorValue(SkinColor color) { return static_cast<long>(static_cast<int32_t>(color)); }

}  // namespace

const char* DesignControlKey(DesignControl control) {
  const int index = static_cast<int>(control);
  return index >= 0 && index < kDesignControlCount ? kControlKeys[index] : "";
}

bool WindowHasControl(int window, DesignControl control) {
  switch (control) {
    case DesignControl::kList:
      return window == 0 || window == 1;
    case DesignControl::kDetails:
    case DesignControl::kProgress0:
    case DesignControl::kStatus0:
      return window == 1 || window == 3;
    case DesignControl::kProgress1:
    case DesignControl::kStatus1:
      return window == 1;
    default:
      return window >= 0 && window < kWizardWindows;
  }
}

SkinRect& ControlRect(DesignWindow& w, DesignControl control) {
  switch (control) {
    case DesignControl::kWindow: return w.attr.rect;
    case DesignControl::kImage0: return w.images[0].rect;
    case DesignControl::kImage1: return w.images[1].rect;
    case DesignControl::kButton0: return w.buttons[0].rect;
    case DesignControl::kButton1: return w.buttons[1].rect;
    case DesignControl::kText0: return w.texts[0].rect;
    case DesignControl::kText1: return w.texts[1].rect;
    case DesignControl::kText2: return w.texts[2].rect;
    case DesignControl::kText3: return w.texts[3].rect;
    case DesignControl::kList: return w.list.rect;
    case DesignControl::kDetails: return w.details.rect;
    case DesignControl::kProgress0: return w.progress[0].rect;
    case DesignControl::kProgress1: return w.progress[1].rect;
    case DesignControl::kStatus0: return w.status[0].rect;
    case DesignControl::kStatus1: return w.status[1].rect;
  }
  return w.attr.rect;
}

const SkinRect& ControlRect(const DesignWindow& w, DesignControl control) {
  return ControlRect(const_cast<DesignWindow&>(w), control);
}

bool& ControlShown(DesignWindow& w, DesignControl control) {
  switch (control) {
    case DesignControl::kWindow: return w.attr.show;
    case DesignControl::kImage0: return w.images[0].show;
    case DesignControl::kImage1: return w.images[1].show;
    case DesignControl::kButton0: return w.buttons[0].show;
    case DesignControl::kButton1: return w.buttons[1].show;
    case DesignControl::kText0: return w.texts[0].show;
    case DesignControl::kText1: return w.texts[1].show;
    case DesignControl::kText2: return w.texts[2].show;
    case DesignControl::kText3: return w.texts[3].show;
    case DesignControl::kList: return w.list.show;
    case DesignControl::kDetails: return w.details.show;
    case DesignControl::kProgress0: return w.progress[0].show;
    case DesignControl::kProgress1: return w.progress[1].show;
    case DesignControl::kStatus0: return w.status[0].show;
    case DesignControl::kStatus1: return w.status[1].show;
  }
  return w.attr.show;
}

bool ControlShown(const DesignWindow& w, DesignControl control) {
  return ControlShown(const_cast<DesignWindow&>(w), control);
}

UiDesign NewUiDesign() {
  UiDesign design;
  for (int n = 0; n < kWizardWindows; ++n) {
    DesignWindow& w = design.windows[n];
    w.attr.show = true;
    w.attr.background = kWhite;
    w.attr.rect = Rect(0, 0, 500, 400);
    w.images[0].rect = Rect(400, 10, 80, 60);
    w.images[1].rect = Rect(20, 300, 80, 50);
    for (DesignImage& image : w.images) image.transparent = 16711935;  // magenta
    w.buttons[0].rect = Rect(310, 360, 80, 26);
    w.buttons[0].caption = "&Next";
    w.buttons[1].rect = Rect(400, 360, 80, 26);
    w.buttons[1].caption = "E&xit";
    // The update window's dialog has only its exit button.
    w.buttons[0].show = n != 3;
    for (int s = 0; s < 4; ++s) w.texts[s] = DefaultText(n, s);
    w.list = Place(n == 0 || n == 1, n == 1 ? Rect(20, 72, 460, 120) : Rect(20, 130, 460, 215));
    w.details = Place(n == 1 || n == 3, n == 1 ? Rect(20, 272, 460, 76) : Rect(20, 130, 460, 215));
    w.progress[0] = Place(n == 1 || n == 3, n == 1 ? Rect(20, 200, 460, 16) : Rect(20, 76, 460, 18));
    w.status[0] = Place(n == 1 || n == 3, n == 1 ? Rect(20, 222, 320, 18) : Rect(20, 100, 460, 18));
    w.progress[1] = Place(n == 1, Rect(20, 246, 460, 16));
    w.status[1] = Place(n == 1, Rect(350, 222, 130, 18));
  }
  return design;
}

std::string OneLineAttributeText(const std::string& text) {
  std::string line;
  line.reserve(text.size());
  for (char c : text) {
    const char put = (c == '\r' || c == '\n') ? ' ' : c;
    // A value can never hold ";;": the reader would end it there.
    if (put == ';' && !line.empty() && line.back() == ';') continue;
    line += put;
  }
  // Nor end in ";": with the ";;" that follows it would end the value early.
  while (!line.empty() && line.back() == ';') line.pop_back();
  return line;
}

std::string OneLineText(const std::string& text) {
  std::string line = text;
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return line;
}

std::string FormatRectPair(const SkinRect& rect) {
  return Format("rect=%d,%d,%d,%d", rect.left, rect.top, rect.Width(), rect.Height());
}

std::string FormatWindowAttribute(const WindowSkin& window) {
  return Format("show=%d;;clrbk=%ld;;", window.show ? 1 : 0, ColorValue(window.background)) +
         FormatRectPair(window.rect);
}

std::string FormatImageAttribute(const DesignImage& image, const std::string& file) {
  return Format("show=%d;;clrtp=%ld;;", image.show ? 1 : 0, ColorValue(image.transparent)) +
         FormatRectPair(image.rect) + ";;bmpfile=" + OneLineAttributeText(file);
}

std::string FormatButtonAttribute(const DesignButton& button) {
  return Format("show=%d;;", button.show ? 1 : 0) + FormatRectPair(button.rect) + ";;text=" +
         OneLineAttributeText(button.caption);
}

std::string FormatTextAttribute(const TextSkin& t) {
  return Format(
             "show=%d;;clrtext=%ld;;clrnormal=%ld;;clrHover=%ld;;nor_underline=%d;;hov_underline=%d;;fontsize=%d;;"
             "fontweight=%d;;fontitalic=%d;;fontunderline=%d;;",
             t.show ? 1 : 0, ColorValue(t.text_color), ColorValue(t.normal_color), ColorValue(t.hover_color),
             t.normal_underline ? 1 : 0, t.hover_underline ? 1 : 0, t.font_height, t.font_weight, t.italic ? 1 : 0,
             t.underline ? 1 : 0) +
         FormatRectPair(t.rect) + ";;text=" + OneLineAttributeText(t.text) + ";;url=" + OneLineAttributeText(t.url);
}

std::string FormatPlacementAttribute(const ControlPlacement& placement) {
  return Format("show=%d;;", placement.show ? 1 : 0) + FormatRectPair(placement.rect);
}

void ReadDesignWindow(IniStore& store, int window, DesignWindow* out) {
  const std::string section = Format("win%d", window);
  auto value = [&](DesignControl control) { return store.GetString(section, DesignControlKey(control), "", 1); };
  DesignWindow& w = *out;
  const std::string attr = value(DesignControl::kWindow);
  if (!attr.empty()) {
    w.attr.show = ReadInt(attr, "show") != 0;
    w.attr.rect = ParseRect(GetAttribute(attr, "rect"));
    w.attr.background = ReadColor(attr, "clrbk");
  }
  for (int i = 0; i < 2; ++i) {
    const std::string image = value(ImageControl(i));
    if (!image.empty()) {
      w.images[i].show = ReadInt(image, "show") != 0;
      w.images[i].rect = ParseRect(GetAttribute(image, "rect"));
      w.images[i].transparent = ReadColor(image, "clrtp");
      w.images[i].source = Trim(GetAttribute(image, "bmpfile"));
    }
    const std::string button = value(ButtonControl(i));
    if (!button.empty()) {
      // A button without a show sub-key is shown, as the updater shows it.
      w.buttons[i].show = ParseIntValue(GetAttribute(button, "show"), 1) != 0;
      w.buttons[i].rect = ParseRect(GetAttribute(button, "rect"));
      w.buttons[i].caption = GetAttribute(button, "text");
    }
  }
  for (int s = 0; s < 4; ++s) {
    const std::string packed = value(TextControl(s));
    if (packed.empty()) continue;
    TextSkin& t = w.texts[s];
    t.show = ReadInt(packed, "show") != 0;
    t.rect = ParseRect(GetAttribute(packed, "rect"));
    t.text = GetAttribute(packed, "text");
    t.url = GetAttribute(packed, "url");
    t.text_color = ReadColor(packed, "clrtext");
    t.normal_color = ReadColor(packed, "clrnormal");
    t.hover_color = ReadColor(packed, "clrHover");
    t.normal_underline = ReadInt(packed, "nor_underline") != 0;
    t.hover_underline = ReadInt(packed, "hov_underline") != 0;
    t.font_height = ReadInt(packed, "fontsize");
    t.font_weight = ReadInt(packed, "fontweight");
    t.italic = ReadInt(packed, "fontitalic") != 0;
    t.underline = ReadInt(packed, "fontunderline") != 0;
  }
  for (DesignControl control : {DesignControl::kList, DesignControl::kDetails, DesignControl::kProgress0,
                                DesignControl::kProgress1, DesignControl::kStatus0, DesignControl::kStatus1}) {
    const std::string packed = value(control);
    if (packed.empty()) continue;
    ControlShown(w, control) = ReadInt(packed, "show") != 0;
    ControlRect(w, control) = ParseRect(GetAttribute(packed, "rect"));
  }
}

void ReadDesignUiSection(IniStore& store, UiDesign* design) {
  design->title = store.GetString(kUiSection, "title", design->title);
  design->copyright = store.GetString(kUiSection, "copyright", design->copyright);
  design->myurl = store.GetString(kUiSection, "myurl", design->myurl);
  design->template_name = store.GetString(kUiSection, "mbname", design->template_name);
  design->template_author = store.GetString(kUiSection, "mbauthor", design->template_author);
}

void LoadUiDesign(IniStore& project, UiDesign* design) {
  UiDesign loaded = NewUiDesign();
  for (int n = 0; n < kWizardWindows; ++n) ReadDesignWindow(project, n, &loaded.windows[n]);
  ReadDesignUiSection(project, &loaded);
  loaded.sysicon = project.GetString(kUiSection, "sysicon");
  const int current = project.GetInt(kUiSection, "CurrentWin", 0);
  loaded.current_window = current >= 0 && current < kWizardWindows ? current : 0;
  loaded.use_custom = project.GetInt(kUiSection, "use_myui", 1) != 0;
  *design = std::move(loaded);
}

bool SaveUiDesign(const UiDesign& design, IniStore& project) {
  bool ok = true;
  auto put = [&](const std::string& section, const char* key, const std::string& value) {
    ok = project.SetString(section, key, value) && ok;
  };
  put(kUiSection, "CurrentWin", Format("%d", design.current_window));
  put(kUiSection, "title", OneLineText(design.title));
  put(kUiSection, "sysicon", OneLineText(design.sysicon));
  put(kUiSection, "use_myui", design.use_custom ? "1" : "0");
  put(kUiSection, "mbname", OneLineText(design.template_name));
  put(kUiSection, "mbauthor", OneLineText(design.template_author));
  put(kUiSection, "copyright", OneLineText(design.copyright));
  put(kUiSection, "myurl", OneLineText(design.myurl));
  for (int n = 0; n < kWizardWindows; ++n) {
    const std::string section = Format("win%d", n);
    const DesignWindow& w = design.windows[n];
    put(section, "attr", FormatWindowAttribute(w.attr));
    for (int i = 0; i < 2; ++i) {
      put(section, DesignControlKey(ImageControl(i)), FormatImageAttribute(w.images[i], w.images[i].source));
      put(section, DesignControlKey(ButtonControl(i)), FormatButtonAttribute(w.buttons[i]));
    }
    for (int s = 0; s < 4; ++s) put(section, DesignControlKey(TextControl(s)), FormatTextAttribute(w.texts[s]));
    put(section, "list", FormatPlacementAttribute(w.list));
    put(section, "rich_edit", FormatPlacementAttribute(w.details));
    for (int k = 0; k < 2; ++k) {
      put(section, k == 0 ? "progress0" : "progress1", FormatPlacementAttribute(w.progress[k]));
      put(section, k == 0 ? "status0" : "status1", FormatPlacementAttribute(w.status[k]));
    }
  }
  return ok;
}

}  // namespace corvane
