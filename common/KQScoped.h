// Scoped owners for the system objects the library creates: each handle, key, mapped view, GDI
// object, device context, menu, icon, module, hook, theme, identifier list and storage medium is
// released exactly once, by its owner.
#pragma once

#include <windows.h>

#include <objidl.h>
#include <ole2.h>
#include <shlobj.h>
#include <uxtheme.h>

#include <utility>

#include "common/KQSysCalls.h"

namespace kq {

// One owner of one system handle; Traits gives the handle type, its empty value, the test for
// it and the release.
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
  explicit operator bool() const noexcept { return !Traits::IsEmpty(value_); }

  // Hands the handle to the caller, who owns it from now on.
  Type release() noexcept { return std::exchange(value_, Traits::Empty()); }

  void reset(Type value = Traits::Empty()) noexcept {
    Type old = std::exchange(value_, value);
    if (!Traits::IsEmpty(old)) Traits::Close(old);
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

// A handle whose empty value is null, released by a call of close (whose answer is not needed).
template <typename T, auto close>
struct Closed {
  using Type = T;
  static Type Empty() noexcept { return nullptr; }
  static bool IsEmpty(Type h) noexcept { return h == nullptr; }
  static void Close(Type h) noexcept { close(h); }
};

// CreateFile and snapshots answer INVALID_HANDLE_VALUE for failure.
struct FileHandle {
  using Type = HANDLE;
  static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
  static bool IsEmpty(Type h) noexcept { return h == INVALID_HANDLE_VALUE; }
  static void Close(Type h) noexcept { ::CloseHandle(h); }
};

// A storage medium a data object handed over; empty while it holds no medium (TYMED_NULL).
struct StgMedium {
  using Type = STGMEDIUM;
  static Type Empty() noexcept { return {}; }
  static bool IsEmpty(const Type& medium) noexcept { return medium.tymed == TYMED_NULL; }
  static void Close(Type medium) noexcept { ::ReleaseStgMedium(&medium); }
};

// Frees an identifier list with the shell's task allocator; quietly leaves it when no allocator
// can be had.
inline void FreeWithTaskAllocator(LPITEMIDLIST list) noexcept {
  IMalloc* malloc = nullptr;
  if (FAILED(::SHGetMalloc(&malloc)) || !malloc) return;
  malloc->Free(list);
  malloc->Release();
}

}  // namespace traits

using ScopedHandle = UniqueAny<traits::Closed<HANDLE, ::CloseHandle>>;
using ScopedFileHandle = UniqueAny<traits::FileHandle>;
using ScopedKey = UniqueAny<traits::Closed<HKEY, sys::RegCloseKey>>;
using ScopedMappedView = UniqueAny<traits::Closed<void*, ::UnmapViewOfFile>>;
using ScopedBitmap = UniqueAny<traits::Closed<HBITMAP, ::DeleteObject>>;
using ScopedRegion = UniqueAny<traits::Closed<HRGN, ::DeleteObject>>;
using ScopedBrush = UniqueAny<traits::Closed<HBRUSH, ::DeleteObject>>;
using ScopedMemoryDC = UniqueAny<traits::Closed<HDC, ::DeleteDC>>;
using ScopedMenu = UniqueAny<traits::Closed<HMENU, ::DestroyMenu>>;
using ScopedIcon = UniqueAny<traits::Closed<HICON, ::DestroyIcon>>;
using ScopedModule = UniqueAny<traits::Closed<HMODULE, ::FreeLibrary>>;
using ScopedHook = UniqueAny<traits::Closed<HHOOK, ::UnhookWindowsHookEx>>;
using ScopedTheme = UniqueAny<traits::Closed<HTHEME, ::CloseThemeData>>;
using ScopedIDList = UniqueAny<traits::Closed<LPITEMIDLIST, traits::FreeWithTaskAllocator>>;
using ScopedStgMedium = UniqueAny<traits::StgMedium>;

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
