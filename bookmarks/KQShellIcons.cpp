#include "bookmarks/KQShellIcons.h"

#include <shellapi.h>

#include <climits>

#include "common/KQScoped.h"
#include "common/KQSysCalls.h"
#include "common/KQText.h"
#include "common/KQUtils.h"

namespace kq {
namespace {

constexpr char kGenericFolderName[] = "folder";

// The number of icons in FileName, which must exist.
UINT IconCount(const std::wstring& fileName) noexcept {
  return static_cast<UINT>(reinterpret_cast<UINT_PTR>(
      sys::ExtractIconW(reinterpret_cast<HINSTANCE>(LibraryModule()), fileName.c_str(), static_cast<UINT>(-1))));
}

// The icon look-ups take one path: Text, when it is shorter than the system's path limit.
bool WithinPathLimit(const std::wstring& text) noexcept { return text.size() < static_cast<size_t>(MAX_PATH); }

// True when Index names one of the icons of an existing FileName.
bool IsIconOfFile(const std::string& fileName, int index) {
  if (index < 0 || !FileExists(fileName)) return false;
  const UINT count = IconCount(ToWide(fileName));
  return count > 0 && static_cast<UINT>(index) < count;
}

}  // namespace

HICON GetShellIcon(const std::string& path, bool large, bool open, int* systemIndex) {
  if (systemIndex) *systemIndex = -1;
  // Paths are bounded by the system's path limit; a longer text names no file.
  const std::wstring widePath = ToWide(path);
  if (!WithinPathLimit(widePath)) return nullptr;
  SHFILEINFOW info;
#ifndef _WIN64
  static_assert(sizeof(SHFILEINFOW) == 692, "SHFILEINFOW is 692 bytes");
#endif
  ZeroMemory(&info, sizeof(info));
  UINT flags = SHGFI_ICON | SHGFI_SYSICONINDEX;
  if (open) flags |= SHGFI_OPENICON;
  if (!large) flags |= SHGFI_SMALLICON;
  // A failed call may still leave a value in the record (Wine does on a repeated miss) that is no
  // icon of ours: only a call that succeeded hands over an icon.
  if (sys::SHGetFileInfoW(widePath.c_str(), 0, &info, sizeof(info), flags) == 0) return nullptr;
  if (systemIndex && info.hIcon) *systemIndex = info.iIcon;
  return info.hIcon;
}

std::string GenericShellName(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = last.find_last_of('.');
  const bool directory = last.empty() || dot == std::string::npos || dot + 1 == last.size();
  return directory ? std::string(kGenericFolderName) : "file" + last.substr(dot);
}

HICON GetGenericShellIcon(const std::string& path) {
  // Only the made-up name is handed over: the shell never sees the folder Path lies in.
  const std::string kind = GenericShellName(path);
  const std::wstring name = ToWide(kind);
  if (!WithinPathLimit(name)) return nullptr;
  SHFILEINFOW info;
  ZeroMemory(&info, sizeof(info));
  const UINT flags = SHGFI_ICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES;
  const DWORD attributes = kind == kGenericFolderName ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  if (sys::SHGetFileInfoW(name.c_str(), attributes, &info, sizeof(info), flags) == 0) return nullptr;
  return info.hIcon;
}

HICON ExtractFileIcon(const std::string& fileName, int index) {
  if (!IsIconOfFile(fileName, index)) return nullptr;
  HICON icon = sys::ExtractIconW(reinterpret_cast<HINSTANCE>(LibraryModule()), ToWide(fileName).c_str(),
                                 static_cast<UINT>(index));
  return icon == reinterpret_cast<HICON>(1) ? nullptr : icon;  // 1: not a file with icons
}

HICON ExtractSmallFileIcon(const std::string& fileName, int index) {
  if (IsIconOfFile(fileName, index)) {
    HICON largeIcon = nullptr, smallIcon = nullptr;
    const UINT extracted = sys::ExtractIconExW(ToWide(fileName).c_str(), index, &largeIcon, &smallIcon, 1);
    ScopedIcon largeOwner(largeIcon);
    ScopedIcon smallOwner(smallIcon);
    if (extracted >= 2 && extracted != UINT_MAX && smallOwner) return smallOwner.release();
  }
  return ExtractFileIcon(fileName, index);
}

}  // namespace kq
