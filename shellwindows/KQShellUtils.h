// Item identifier lists, the shell's names of folders and files, and the icon look-ups of the
// bookmark menu. Every list the library creates or receives is allocated and freed with the
// shell's task allocator (SHGetMalloc), obtained anew for each operation.
#pragma once

#include <windows.h>

#include <objidl.h>
#include <shlobj.h>

#include <stdexcept>
#include <string>

#include "common/KQScoped.h"

namespace kq {

// The shell's task allocator could not be obtained while a list had to be freed.
class TKQShellError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The item after the first item of list (list plus its first byte count).
LPITEMIDLIST NextItemID(LPCITEMIDLIST list) noexcept;
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
// Frees list with the task allocator; nothing for null. Throws TKQShellError when the allocator
// cannot be obtained.
void FreeIDList(LPITEMIDLIST list);
// The file-system path of list, or empty when it names none (a virtual folder, say).
std::string PathFromIDList(LPCITEMIDLIST list);
// A new absolute list for path, made by shell32's entry under ordinal 157, which takes a path in
// the system's own width: UTF-16 on NT-based systems, ANSI otherwise (the caller chooses).
// Null when the entry is missing or the path names nothing.
LPITEMIDLIST IDListFromPath(const void* path) noexcept;
// IDListFromPath with an ANSI path passed in the width the system's entry expects.
LPITEMIDLIST IDListFromAnsiPath(const std::string& path);

// The shell's icon for path (small unless large; the open-folder form when open), or 0 when the
// shell cannot describe path or it is longer than the path limit. The caller owns the icon.
HICON GetShellIcon(const std::string& path, bool large, bool open);
// The made-up name that stands for what path's name looks like: "folder", or "file" with path's
// extension. It names no folder path lies in.
std::string GenericShellName(const std::string& path);
// The shell's small icon of GenericShellName(path) (a folder, or a file of its extension), found
// by attributes alone: no file system is asked. The caller owns the icon.
HICON GetGenericShellIcon(const std::string& path);
// The large icon number index of fileName (an icon file or a module with icon resources); 0 when
// the file does not exist or index is not below its number of icons.
HICON ExtractFileIcon(const std::string& fileName, int index);
// The small icon number index of fileName; where the file has no small form, ExtractFileIcon.
HICON ExtractSmallFileIcon(const std::string& fileName, int index);

// Start-up and shut-down of this unit: shell32 and its entry under ordinal 157.
void StartupShellUtils();
void ShutdownShellUtils();

}  // namespace kq
