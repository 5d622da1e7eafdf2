#include "shellwindows/KQShellUtils.h"

#include <wrl/client.h>

#include <cstring>
#include <vector>

#include "common/KQScoped.h"
#include "common/KQModuleEntry.h"
#include "common/KQSysCalls.h"
#include "common/KQText.h"
#include "common/KQUtils.h"

namespace kq {
namespace {

using Microsoft::WRL::ComPtr;

// shell32's entry that makes an absolute list from a path, exported under this ordinal only.
constexpr WORD kIDListFromPathOrdinal = 157;
using IDListFromPathProc = LPITEMIDLIST(WINAPI*)(const void*);

IDListFromPathProc g_IDListFromPath = nullptr;

// Bytes of the two-byte terminator that ends every list, and of the count field of an item.
constexpr UINT kTerminatorBytes = 2;

// The byte count of the item at P (items need not be aligned).
UINT ItemBytes(const void* p) noexcept {
  USHORT cb = 0;
  memcpy(&cb, p, sizeof(cb));
  return cb;
}

}  // namespace

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

std::string PathFromIDList(LPCITEMIDLIST list) {
  if (!list) return {};
  wchar_t path[MAX_PATH] = {};
  if (!::SHGetPathFromIDListW(list, path)) return {};
  return ToUtf8(std::wstring_view(path, wcsnlen(path, MAX_PATH)));
}

LPITEMIDLIST IDListFromPath(const void* path) noexcept {
  if (!g_IDListFromPath || !path) return nullptr;
  return g_IDListFromPath(path);
}

LPITEMIDLIST IDListFromPathText(const std::string& path) {
  const std::wstring wide = ToWide(path);
  if (IsWinNT()) return IDListFromPath(wide.c_str());
  // A system without Unicode takes its own code page; a path it cannot spell names nothing there.
  const int bytes = ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return nullptr;
  std::vector<char> ansi(static_cast<size_t>(bytes));
  if (::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi.data(), bytes, nullptr, nullptr) <= 0) return nullptr;
  return IDListFromPath(ansi.data());
}

void StartupShellUtils() {
  g_IDListFromPath =
      ModuleEntry<IDListFromPathProc>(::GetModuleHandleA("shell32.dll"), MAKEINTRESOURCEA(kIDListFromPathOrdinal));
}

}  // namespace kq
