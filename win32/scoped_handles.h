// RAII owners for the Windows handles both programs use. Each owner closes its
// handle with the matching API when it goes out of scope; none is copyable.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <utility>

namespace corvane {

// Generic owner: Traits supplies Invalid() and Close(handle).
template <typename Traits>
class ScopedOwner {
 public:
  using Handle = typename Traits::Handle;
  ScopedOwner() : handle_(Traits::Invalid()) {}
  explicit ScopedOwner(Handle h) : handle_(h) {}
  ~ScopedOwner() { Reset(); }
  ScopedOwner(const ScopedOwner&) = delete;
  ScopedOwner& operator=(const ScopedOwner&) = delete;
  ScopedOwner(ScopedOwner&& other) noexcept : handle_(other.Release()) {}
  ScopedOwner& operator=(ScopedOwner&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  Handle Get() const { return handle_; }
  bool Valid() const { return handle_ != Traits::Invalid(); }
  explicit operator bool() const { return Valid(); }
  Handle Release() {
    Handle h = handle_;
    handle_ = Traits::Invalid();
    return h;
  }
  void Reset(Handle h = Traits::Invalid()) {
    if (handle_ != Traits::Invalid()) Traits::Close(handle_);
    handle_ = h;
  }

 private:
  Handle handle_;
};

struct KernelHandleTraits {  // events, mutexes, threads, processes
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile results use INVALID_HANDLE_VALUE
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::FindClose(h); }
};
struct InternetHandleTraits {
  using Handle = HINTERNET;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::InternetCloseHandle(h); }
};
struct LibraryTraits {
  using Handle = HMODULE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::FreeLibrary(h); }
};
struct IconTraits {
  using Handle = HICON;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DestroyIcon(h); }
};
struct MenuTraits {
  using Handle = HMENU;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DestroyMenu(h); }
};
struct MemoryDcTraits {  // from CreateCompatibleDC
  using Handle = HDC;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DeleteDC(h); }
};
template <typename T>
struct GdiObjectTraits {  // fonts, brushes, bitmaps, pens, palettes, regions
  using Handle = T;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DeleteObject(h); }
};

using ScopedHandle = ScopedOwner<KernelHandleTraits>;
using ScopedFile = ScopedOwner<FileHandleTraits>;
using ScopedFind = ScopedOwner<FindHandleTraits>;
using ScopedInternet = ScopedOwner<InternetHandleTraits>;
using ScopedLibrary = ScopedOwner<LibraryTraits>;
using ScopedIcon = ScopedOwner<IconTraits>;
using ScopedMenu = ScopedOwner<MenuTraits>;
using ScopedMemoryDc = ScopedOwner<MemoryDcTraits>;
using ScopedFont = ScopedOwner<GdiObjectTraits<HFONT>>;
using ScopedBrush = ScopedOwner<GdiObjectTraits<HBRUSH>>;
using ScopedBitmap = ScopedOwner<GdiObjectTraits<HBITMAP>>;
using ScopedPen = ScopedOwner<GdiObjectTraits<HPEN>>;
using ScopedPalette = ScopedOwner<GdiObjectTraits<HPALETTE>>;
using ScopedRegion = ScopedOwner<GdiObjectTraits<HRGN>>;

// A window's device context from GetDC, released with ReleaseDC.
class ScopedWindowDc {
 public:
  explicit ScopedWindowDc(HWND hwnd) : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
  ~ScopedWindowDc() {
    if (dc_) ::ReleaseDC(hwnd_, dc_);
  }
  ScopedWindowDc(const ScopedWindowDc&) = delete;
  ScopedWindowDc& operator=(const ScopedWindowDc&) = delete;
  HDC Get() const { return dc_; }

 private:
  HWND hwnd_;
  HDC dc_;
};

// BeginPaint/EndPaint for a WM_PAINT handler.
class ScopedPaint {
 public:
  explicit ScopedPaint(HWND hwnd) : hwnd_(hwnd) { dc_ = ::BeginPaint(hwnd, &ps_); }
  ~ScopedPaint() { ::EndPaint(hwnd_, &ps_); }
  ScopedPaint(const ScopedPaint&) = delete;
  ScopedPaint& operator=(const ScopedPaint&) = delete;
  HDC Dc() const { return dc_; }
  const PAINTSTRUCT& Info() const { return ps_; }

 private:
  HWND hwnd_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};

// Selects an object into a DC and puts the previous one back on scope exit.
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC dc, HGDIOBJ obj) : dc_(dc), old_(obj ? ::SelectObject(dc, obj) : nullptr) {}
  ~ScopedSelectObject() {
    if (old_) ::SelectObject(dc_, old_);
  }
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// SaveDC/RestoreDC around code that changes many DC attributes at once.
class ScopedSaveDc {
 public:
  explicit ScopedSaveDc(HDC dc) : dc_(dc), saved_(::SaveDC(dc)) {}
  ~ScopedSaveDc() {
    if (saved_) ::RestoreDC(dc_, saved_);
  }
  ScopedSaveDc(const ScopedSaveDc&) = delete;
  ScopedSaveDc& operator=(const ScopedSaveDc&) = delete;

 private:
  HDC dc_;
  int saved_;
};

}  // namespace corvane
