#include "updater/ui/ui_config.h"

#include <climits>
#include <cstdint>

#include "shared/ini_store.h"
#include "shared/text_util.h"

namespace corvane {

const char kUiArchiveName[] = "ui.bin";
const char kUiTextName[] = "ui.dat";

namespace {

constexpr char kUiSection[] = "UI";

int ClampToInt(long long value) {
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

bool ReadShow(const std::string& packed) { return ParseIntValue(GetAttribute(packed, "show"), 0) != 0; }

SkinRect ReadRect(const std::string& packed) { return ParseRect(GetAttribute(packed, "rect")); }

SkinColor ReadColor(const std::string& packed, const char* name) {
  return static_cast<SkinColor>(static_cast<int32_t>(ParseLongValue(GetAttribute(packed, name), 0)));
}

int ReadInt(const std::string& packed, const char* name) {
  return ParseIntValue(GetAttribute(packed, name), 0);
}

WindowSkin ReadWindow(const std::string& packed) {
  WindowSkin skin;
  skin.show = ReadShow(packed);
  skin.rect = ReadRect(packed);
  skin.background = ReadColor(packed, "clrbk");
  return skin;
}

// clrtp is the designer's; the updater's windows do not use it, but the
// model keeps what the file says.
ImageSkin ReadImage(const std::string& packed) {
  ImageSkin skin;
  skin.show = ReadShow(packed);
  skin.rect = ReadRect(packed);
  skin.entry = GetAttribute(packed, "bmpfile");
  skin.transparent = ReadColor(packed, "clrtp");
  return skin;
}

// Buttons are always shown; their show sub-key is ignored.
ButtonSkin ReadButton(const std::string& packed) {
  ButtonSkin skin;
  skin.rect = ReadRect(packed);
  skin.caption = GetAttribute(packed, "text");
  return skin;
}

TextSkin ReadText(const std::string& packed) {
  TextSkin skin;
  skin.show = ReadShow(packed);
  skin.rect = ReadRect(packed);
  skin.text = GetAttribute(packed, "text");
  skin.url = GetAttribute(packed, "url");
  skin.text_color = ReadColor(packed, "clrtext");
  skin.normal_color = ReadColor(packed, "clrnormal");
  skin.hover_color = ReadColor(packed, "clrHover");
  skin.normal_underline = ReadInt(packed, "nor_underline") != 0;
  skin.hover_underline = ReadInt(packed, "hov_underline") != 0;
  skin.font_height = ReadInt(packed, "fontsize");
  skin.font_weight = ReadInt(packed, "fontweight");
  skin.italic = ReadInt(packed, "fontitalic") != 0;
  skin.underline = ReadInt(packed, "fontunderline") != 0;
  return skin;
}

ControlPlacement ReadPlacement(const std::string& packed) {
  ControlPlacement placement;
  placement.show = ReadShow(packed);
  placement.rect = ReadRect(packed);
  return placement;
}

bool HasKnownSection(const IniStore& store) {
  for (const std::string& line : store.Lines()) {
    std::string rest = TrimLeft(line);
    if (rest.empty() || rest[0] != '[') continue;
    size_t close = rest.find(']', 1);
    std::string name = Trim(rest.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    if (name == kUiSection || name == "win0" || name == "win1" || name == "win2" || name == "win3") {
      return true;
    }
  }
  return false;
}

}  // namespace

long ParseLongValue(const std::string& text, long default_value) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty()) return default_value;
  const long long value = ParseLeadingLong(trimmed);
  return ClampToInt(value);
}

int ParseIntValue(const std::string& text, int default_value) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty()) return default_value;
  return ParseLeadingInt(trimmed);
}

SkinRect ParseRect(const std::string& text) {
  const size_t first = text.find(',');
  const size_t second = first == std::string::npos ? first : text.find(',', first + 1);
  const size_t third = second == std::string::npos ? second : text.find(',', second + 1);
  if (third == std::string::npos) return SkinRect();
  const long long x = ParseIntValue(text.substr(0, first), 0);
  const long long y = ParseIntValue(text.substr(first + 1, second - first - 1), 0);
  const long long w = ParseIntValue(text.substr(second + 1, third - second - 1), 0);
  const long long h = ParseIntValue(text.substr(third + 1), 0);
  SkinRect rect;
  rect.left = static_cast<int>(x);
  rect.top = static_cast<int>(y);
  rect.right = ClampToInt(x + w);
  rect.bottom = ClampToInt(y + h);
  return rect;
}

void ReadUiModel(IniStore& store, UiModel* model) {
  for (int n = 0; n < kWizardWindows; ++n) {
    const std::string section = Format("win%d", n);
    auto value = [&](const std::string& key) { return store.GetString(section, key, std::string(), 1); };
    WindowModel& window = model->windows[n];
    window.attr = ReadWindow(value("attr"));
    for (int h = 0; h < 2; ++h) {
      window.images[h] = ReadImage(value(Format("image%d", h)));
      window.buttons[h] = ReadButton(value(Format("button%d", h)));
    }
    for (int s = 0; s < 4; ++s) window.texts[s] = ReadText(value(Format("static%d", s)));

    switch (n) {
      case 0:
        model->list0 = ReadPlacement(value("list"));
        break;
      case 1:
        model->list1 = ReadPlacement(value("list"));
        model->details1 = ReadPlacement(value("rich_edit"));
        model->progress1_0 = ReadPlacement(value("progress0"));
        model->status1_0 = ReadPlacement(value("status0"));
        model->progress1_1 = ReadPlacement(value("progress1"));
        model->status1_1 = ReadPlacement(value("status1"));
        break;
      case 3:
        model->details3 = ReadPlacement(value("rich_edit"));
        model->progress3_0 = ReadPlacement(value("progress0"));
        model->status3_0 = ReadPlacement(value("status0"));
        break;
      default:
        break;
    }
  }
  model->title = store.GetString(kUiSection, "title", "Corvane", 1);
  model->sysicon = store.GetString(kUiSection, "sysicon", std::string(), 1);
  model->copyright = store.GetString(kUiSection, "copyright", std::string(), 1);
  model->myurl = store.GetString(kUiSection, "myurl", std::string(), 1);
}

bool ParseUiConfiguration(const std::string& ini_text, UiModel* model) {
  IniStore store;
  if (!store.LoadFromText(ini_text) || !HasKnownSection(store)) return false;
  UiModel parsed;
  ReadUiModel(store, &parsed);
  *model = std::move(parsed);
  return true;
}

SysIconSetting ParseSysIcon(const std::string& value) {
  SysIconSetting setting;
  std::string compact;
  for (char c : value) {
    if (c != ' ' && c != '\t') compact += c;
  }
  if (compact.size() <= 1) return setting;
  const size_t colon = compact.rfind(':');
  if (colon == std::string::npos) {
    setting.kind = SysIconSetting::kMalformed;
    return setting;
  }
  setting.kind = SysIconSetting::kStrip;
  setting.entry = compact.substr(0, colon);
  setting.frames = ParseIntValue(compact.substr(colon + 1), 0);
  return setting;
}

}  // namespace corvane
