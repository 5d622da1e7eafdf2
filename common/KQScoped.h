// Scoped owners for the system objects the library creates: each handle, key, mapped view, GDI
// object, device context, menu, icon and module is released exactly once, by its owner.
#pragma once

#include <windows.h>

#include <utility>

#include "common/KQSysCalls.h"

namespace kq {

// One owner of one system handle; Traits gives the handle type, its empty value and its release.
template <typename Traits>
class UniqueAny {
 public:
  using Type = typename Traits::Type;

  UniqueAny() noexcept = default;
  explicit UniqueAny(Type value) noexcept : value_(value) {}
  ~UniqueAny() { reset(); }

  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Type get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Traits::Empty(); }

  // Hands the handle to the caller, who owns it from now on.
  Type release() noexcept { return std::exchange(value_, Traits::Empty()); }

  void reset(Type value = Traits::Empty()) noexcept {
    Type old = std::exchange(value_, value);
    if (old != Traits::Empty()) Traits::Close(old);
  }

  // For out-parameters: releases what is held and gives the address to fill.
  Type* put() noexcept {
    reset();
    return &value_;
  }

 private:
  Type value_ = Traits::Empty();
};

namespace traits {

struct Handle {
  using Type = HANDLE;
  static Type Empty() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::CloseHandle(h); }
};

struct FileHandle {  // CreateFile and snapshots answer INVALID_HANDLE_VALUE for failure
  using Type = HANDLE;
  static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) noexcept { ::CloseHandle(h); }
};

struct Key {
  using Type = HKEY;
  static Type Empty() noexcept { return nullptr; }
  static void Close(Type h) noexcept { sys::RegCloseKey(h); }
};

struct MappedView {
  using Type = void*;
  static Type Empty() noexcept { return nullptr; }
  static void Close(Type p) noexcept { ::UnmapViewOfFile(p); }
};

template <typename T>
struct GdiObject {
  using Type = T;
  static Type Empty() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::DeleteObject(h); }
};

struct MemoryDC {
  using Type = HDC;
  static Type Empty() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::DeleteDC(h); }
};

struct Menu {
  using Type = HMENU;
  static Type Empty() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::DestroyMenu(h); }
};

struct Icon {
  using Type = HICON;
  static Type Empty() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::DestroyIcon(h); }
};

struct Module {
  using Type = HMODULE;
  static Type Empty() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::FreeLibrary(h); }
};

struct Hook {
  using Type = HHOOK;
  static Type Empty() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::UnhookWindowsHookEx(h); }
};

struct GlobalMemory {
  using Type = HGLOBAL;
  static Type Empty() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::GlobalFree(h); }
};

}  // namespace traits

using ScopedHandle = UniqueAny<traits::Handle>;
using ScopedFileHandle = UniqueAny<traits::FileHandle>;
using ScopedKey = UniqueAny<traits::Key>;
using ScopedMappedView = UniqueAny<traits::MappedView>;
using ScopedBitmap = UniqueAny<traits::GdiObject<HBITMAP>>;
using ScopedRegion = UniqueAny<traits::GdiObject<HRGN>>;
using ScopedBrush = UniqueAny<traits::GdiObject<HBRUSH>>;
using ScopedMemoryDC = UniqueAny<traits::MemoryDC>;
using ScopedMenu = UniqueAny<traits::Menu>;
using ScopedIcon = UniqueAny<traits::Icon>;
using ScopedModule = UniqueAny<traits::Module>;
using ScopedHook = UniqueAny<traits::Hook>;
using ScopedGlobal = UniqueAny<traits::GlobalMemory>;

// A device context obtained from a window (GetDC, GetWindowDC), given back with ReleaseDC.
class ScopedWindowDC {
 public:
  ScopedWindowDC(HWND wnd, HDC dc) noexcept : wnd_(wnd), dc_(dc) {}
  ~ScopedWindowDC() {
    if (dc_) ::ReleaseDC(wnd_, dc_);
  }
  ScopedWindowDC(const ScopedWindowDC&) = delete;
  ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
  HDC get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  HWND wnd_;
  HDC dc_;
};

// An object selected into a device context for the lifetime of this owner.
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(::SelectObject(dc, object)) {}
  ~ScopedSelectObject() {
    if (old_ && old_ != HGDI_ERROR) ::SelectObject(dc_, old_);
  }
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace kq
