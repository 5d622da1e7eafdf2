// Item identifier lists and the paths they stand for. Every list the library creates or receives
// is allocated and freed with the shell's task allocator (SHGetMalloc), obtained anew for each
// operation.
#pragma once

#include <windows.h>

#include <objidl.h>
#include <shlobj.h>

#include <string>

#include "common/KQScoped.h"

namespace kq {

// 0 for null; otherwise the byte counts of all items plus 2 for the terminator.
UINT IDListSize(LPCITEMIDLIST list) noexcept;
// A zero-filled block of size bytes from the task allocator, or null.
void* AllocIDList(UINT size) noexcept;
// A new list: first's items (first may be null) followed by the whole of second. Null when the
// allocation fails. Neither input is freed.
LPITEMIDLIST ConcatIDLists(LPCITEMIDLIST first, LPCITEMIDLIST second) noexcept;
// A one-item list, made with malloc: a copy of the first item of list and a terminator. Null when
// the allocation fails.
LPITEMIDLIST CloneFirstItem(IMalloc* malloc, LPCITEMIDLIST list) noexcept;
// The file-system path of list, or empty when it names none (a virtual folder, say).
std::string PathFromIDList(LPCITEMIDLIST list);
// A new absolute list for path, made by shell32's entry under ordinal 157, which takes a path in
// the system's own width: UTF-16 on NT-based systems, ANSI otherwise (the caller chooses).
// Null when the entry is missing or the path names nothing.
LPITEMIDLIST IDListFromPath(const void* path) noexcept;
// IDListFromPath with a path of ours (UTF-8) passed in the width the system's entry expects.
LPITEMIDLIST IDListFromPathText(const std::string& path);

// Start-up of this unit: shell32's entry under ordinal 157. This unit imports shell32 itself, so
// the module is there for as long as the library is, and nothing is taken that needs giving back.
void StartupShellUtils();

}  // namespace kq
