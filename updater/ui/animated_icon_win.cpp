// The icon strip: image list, frame icons and the window icon animation.
#include "updater/ui/animated_icon.h"

#include <algorithm>

#include "updater/engine/updater_app.h"
#include "updater/resource.h"
#include "updater/ui/skin_bitmap_win.h"
#include "updater/ui/system_tray.h"
#include "updater/ui/ui_config.h"
#include "win32/scoped_handles.h"

namespace corvane {

namespace {
constexpr int kFrameSide = 16;
}

AnimatedIcon::~AnimatedIcon() {
  Clear();
  if (last_window_icon_) ::DestroyIcon(last_window_icon_);
}

void AnimatedIcon::Clear() {
  for (HICON icon : icons_) ::DestroyIcon(icon);
  icons_.clear();
  if (image_list_) ::ImageList_Destroy(image_list_);
  image_list_ = nullptr;
  frame_count_ = 0;
  current_frame_ = 0;
}

HICON AnimatedIcon::Icon(int index) const {
  if (index < 0 || index >= IconCount()) return nullptr;
  return icons_[static_cast<size_t>(index)];
}

bool AnimatedIcon::BuildFromBitmap(HBITMAP strip, int frame_count, COLORREF mask) {
  if (!strip || frame_count <= 0) return false;
  BITMAP info{};
  if (!::GetObjectA(strip, sizeof(info), &info) || info.bmWidth < kFrameSide ||
      info.bmHeight < kFrameSide) {
    return false;
  }
  HIMAGELIST list = ::ImageList_Create(kFrameSide, kFrameSide, ILC_COLOR24 | ILC_MASK, 0, 4);
  if (!list) return false;
  if (::ImageList_AddMasked(list, strip, mask) < 0) {
    ::ImageList_Destroy(list);
    return false;
  }
  // The count names the frames to use; a bitmap with more keeps only those.
  const int frames = std::min(frame_count, ::ImageList_GetImageCount(list));
  while (::ImageList_GetImageCount(list) > frames) {
    ::ImageList_Remove(list, ::ImageList_GetImageCount(list) - 1);
  }
  std::vector<HICON> icons;
  for (int i = 0; i < std::min(frames, kMaxIcons); ++i) {
    HICON icon = ::ImageList_GetIcon(list, i, ILD_NORMAL);
    if (!icon) break;
    icons.push_back(icon);
  }
  if (icons.empty()) {
    ::ImageList_Destroy(list);
    return false;
  }
  Clear();
  image_list_ = list;
  frame_count_ = frames;
  icons_ = std::move(icons);
  return true;
}

bool AnimatedIcon::Build(HWND window) {
  UpdaterApp& app = App();
  if (window) {
    const SysIconSetting setting = ParseSysIcon(app.ui.sysicon);
    if (setting.kind == SysIconSetting::kMalformed) {
      app.WriteLog("Configuration error:sys_icon");
    } else if (setting.kind == SysIconSetting::kStrip) {
      ScopedBitmap strip = LoadSkinBitmap(window, setting.entry);
      if (strip) BuildFromBitmap(strip.Get(), setting.frames, kSysIconMask);
    }
  }
  if (frame_count_ == 0) {
    ScopedBitmap built_in(static_cast<HBITMAP>(::LoadImageA(
        ::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_ICON_STRIP), IMAGE_BITMAP, 0, 0, 0)));
    if (built_in) {
      BITMAP info{};
      ::GetObjectA(built_in.Get(), sizeof(info), &info);
      BuildFromBitmap(built_in.Get(), info.bmWidth / kFrameSide, kBuiltInMask);
    }
  }

  // The tray always gets the current icons, so that it never holds icons of
  // a strip that was just replaced; it shows frame 0 only when it is on.
  if (app.tray) {
    app.tray->SetIconList(Icons(), IconCount());
    if (app.tray_on && IconCount() > 0) app.tray->SetIcon(icons_[0]);
  }
  return IconCount() > 0;
}

int AnimatedIcon::ShowNextFrame(HWND window) {
  if (!window || !image_list_ || icons_.empty()) return -1;
  // Only the frames that have icons take part, as in the tray.
  current_frame_ = (current_frame_ + 1) % IconCount();
  HICON icon = ::ImageList_GetIcon(image_list_, current_frame_, ILD_NORMAL);
  if (!icon) return -1;
  HICON replaced = reinterpret_cast<HICON>(
      ::SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)));
  if (replaced && replaced == last_window_icon_) ::DestroyIcon(replaced);
  last_window_icon_ = icon;
  return current_frame_;
}

}  // namespace corvane
