#include "shellwindows/KQShellUtils.h"

#include <shellapi.h>
#include <wrl/client.h>

#include <climits>
#include <cstring>
#include <vector>

#include "common/KQProcessStatic.h"
#include "common/KQScoped.h"
#include "common/KQSysCalls.h"
#include "common/KQModuleEntry.h"
#include "shellwindows/KQUtils.h"

namespace kq {
namespace {

using Microsoft::WRL::ComPtr;

// shell32's entry that makes an absolute list from a path, exported under this ordinal only.
constexpr WORD kIDListFromPathOrdinal = 157;
constexpr char kGenericFolderName[] = "folder";
using IDListFromPathProc = LPITEMIDLIST(WINAPI*)(const void*);

ProcessStatic<ScopedModule> g_Shell32;
IDListFromPathProc g_IDListFromPath = nullptr;

// Bytes of the two-byte terminator that ends every list, and of the count field of an item.
constexpr UINT kTerminatorBytes = 2;

// The byte count of the item at P (items need not be aligned).
UINT ItemBytes(const void* p) noexcept {
  USHORT cb = 0;
  memcpy(&cb, p, sizeof(cb));
  return cb;
}

// The number of icons in FileName, which must exist.
UINT IconCount(const std::string& fileName) noexcept {
  return static_cast<UINT>(reinterpret_cast<UINT_PTR>(
      sys::ExtractIconA(reinterpret_cast<HINSTANCE>(LibraryModule()), fileName.c_str(), static_cast<UINT>(-1))));
}

// True when Index names one of the icons of an existing FileName.
bool IsIconOfFile(const std::string& fileName, int index) noexcept {
  if (index < 0 || !FileExists(fileName)) return false;
  const UINT count = IconCount(fileName);
  return count > 0 && static_cast<UINT>(index) < count;
}

}  // namespace

LPITEMIDLIST NextItemID(LPCITEMIDLIST list) noexcept {
  if (!list) return nullptr;
  const BYTE* p = reinterpret_cast<const BYTE*>(list);
  return reinterpret_cast<LPITEMIDLIST>(const_cast<BYTE*>(p + ItemBytes(p)));
}

UINT IDListSize(LPCITEMIDLIST list) noexcept {
  if (!list) return 0;
  UINT size = 0;
  const BYTE* p = reinterpret_cast<const BYTE*>(list);
  for (UINT cb = ItemBytes(p); cb != 0; cb = ItemBytes(p)) {
    size += cb;
    p += cb;
  }
  return size + kTerminatorBytes;
}

void* AllocIDList(UINT size) noexcept {
  ComPtr<IMalloc> malloc;
  if (FAILED(::SHGetMalloc(&malloc)) || !malloc) return nullptr;
  void* block = malloc->Alloc(size);
  if (block) memset(block, 0, size);
  return block;
}

LPITEMIDLIST ConcatIDLists(LPCITEMIDLIST first, LPCITEMIDLIST second) noexcept {
  const UINT firstBytes = first ? IDListSize(first) - kTerminatorBytes : 0;
  // A null Second counts as the empty list: the result still ends with a terminator.
  const UINT secondBytes = second ? IDListSize(second) : kTerminatorBytes;
  auto* result = static_cast<BYTE*>(AllocIDList(firstBytes + secondBytes));
  if (!result) return nullptr;
  if (firstBytes) memcpy(result, first, firstBytes);
  if (second) memcpy(result + firstBytes, second, secondBytes);
  return reinterpret_cast<LPITEMIDLIST>(result);
}

LPITEMIDLIST CloneFirstItem(IMalloc* malloc, LPCITEMIDLIST list) noexcept {
  if (!malloc || !list) return nullptr;
  const UINT itemBytes = ItemBytes(list);
  auto* copy = static_cast<BYTE*>(malloc->Alloc(itemBytes + kTerminatorBytes));
  if (!copy) return nullptr;
  memcpy(copy, list, itemBytes);
  // The terminator is written, not copied: for a list of more items the two bytes after the
  // first item are the next item's count, and a copy of them would leave the result unended.
  memset(copy + itemBytes, 0, kTerminatorBytes);
  return reinterpret_cast<LPITEMIDLIST>(copy);
}

void FreeIDList(LPITEMIDLIST list) {
  if (!list) return;
  ComPtr<IMalloc> malloc;
  if (FAILED(::SHGetMalloc(&malloc)) || !malloc) throw TKQShellError("the shell task allocator is not available");
  malloc->Free(list);
}

std::string PathFromIDList(LPCITEMIDLIST list) {
  if (!list) return {};
  char path[kMaxPathChars] = {};
  if (!::SHGetPathFromIDListA(list, path)) return {};
  return std::string(path, strnlen(path, kMaxPathChars));
}

LPITEMIDLIST IDListFromPath(const void* path) noexcept {
  if (!g_IDListFromPath || !path) return nullptr;
  return g_IDListFromPath(path);
}

LPITEMIDLIST IDListFromAnsiPath(const std::string& path) {
  if (!IsWinNT()) return IDListFromPath(path.c_str());
  const int chars = ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  if (chars <= 0) return nullptr;
  std::vector<wchar_t> wide(chars);
  if (::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), chars) <= 0) return nullptr;
  return IDListFromPath(wide.data());
}

HICON GetShellIcon(const std::string& path, bool large, bool open) {
  // Paths are bounded by the system's path limit; a longer text names no file.
  if (path.size() >= static_cast<size_t>(kMaxPathChars)) return nullptr;
  SHFILEINFOA info;
#ifndef _WIN64
  static_assert(sizeof(SHFILEINFOA) == 352, "SHFILEINFOA is 352 bytes");
#endif
  ZeroMemory(&info, sizeof(info));
  UINT flags = SHGFI_ICON | SHGFI_SYSICONINDEX;
  if (open) flags |= SHGFI_OPENICON;
  if (!large) flags |= SHGFI_SMALLICON;
  // A failed call may still leave a value in the record (Wine does on a repeated miss) that is no
  // icon of ours: only a call that succeeded hands over an icon.
  if (sys::SHGetFileInfoA(path.c_str(), 0, &info, sizeof(info), flags) == 0) return nullptr;
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
  const std::string name = GenericShellName(path);
  if (name.size() >= static_cast<size_t>(kMaxPathChars)) return nullptr;
  SHFILEINFOA info;
  ZeroMemory(&info, sizeof(info));
  const UINT flags = SHGFI_ICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES;
  const DWORD attributes = name == kGenericFolderName ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  if (sys::SHGetFileInfoA(name.c_str(), attributes, &info, sizeof(info), flags) == 0) return nullptr;
  return info.hIcon;
}

HICON ExtractFileIcon(const std::string& fileName, int index) {
  if (!IsIconOfFile(fileName, index)) return nullptr;
  HICON icon =
      sys::ExtractIconA(reinterpret_cast<HINSTANCE>(LibraryModule()), fileName.c_str(), static_cast<UINT>(index));
  return icon == reinterpret_cast<HICON>(1) ? nullptr : icon;  // 1: not a file with icons
}

HICON ExtractSmallFileIcon(const std::string& fileName, int index) {
  if (IsIconOfFile(fileName, index)) {
    HICON largeIcon = nullptr, smallIcon = nullptr;
    const UINT extracted = sys::ExtractIconExA(fileName.c_str(), index, &largeIcon, &smallIcon, 1);
    ScopedIcon largeOwner(largeIcon);
    ScopedIcon smallOwner(smallIcon);
    if (extracted >= 2 && extracted != UINT_MAX && smallOwner) return smallOwner.release();
  }
  return ExtractFileIcon(fileName, index);
}

void StartupShellUtils() {
  g_Shell32->reset(::LoadLibraryA("shell32.dll"));
  g_IDListFromPath = ModuleEntry<IDListFromPathProc>(g_Shell32->get(), MAKEINTRESOURCEA(kIDListFromPathOrdinal));
}

void ShutdownShellUtils() {
  g_IDListFromPath = nullptr;
  g_Shell32->reset();
}

}  // namespace kq
