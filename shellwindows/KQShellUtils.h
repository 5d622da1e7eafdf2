// Item identifier lists and the paths they stand for. Every list the library creates or receives
// is allocated and freed with the shell's task allocator (SHGetMalloc), obtained anew for each
// operation.
#pragma once

#include <windows.h>

#include <objidl.h>
#include <shlobj.h>

#include <stdexcept>
#include <string>

namespace kq {

// The shell's task allocator could not be obtained while a list had to be freed.
class TKQShellError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The item after the first item of List (List plus its first byte count).
LPITEMIDLIST NextItemID(LPCITEMIDLIST list) noexcept;
// 0 for nil; otherwise the byte counts of all items plus 2 for the terminator.
UINT IDListSize(LPCITEMIDLIST list) noexcept;
// A zero-filled block of Size bytes from the task allocator, or nil.
void* AllocIDList(UINT size) noexcept;
// A new list: First's items (First may be nil) followed by the whole of Second. Nil when the
// allocation fails. Neither input is freed.
LPITEMIDLIST ConcatIDLists(LPCITEMIDLIST first, LPCITEMIDLIST second) noexcept;
// A one-item list, made with Malloc: a copy of the first item of List and a terminator. Nil when
// the allocation fails.
LPITEMIDLIST CloneFirstItem(IMalloc* malloc, LPCITEMIDLIST list) noexcept;
// Frees List with the task allocator; nothing for nil. Throws TKQShellError when the allocator
// cannot be obtained.
void FreeIDList(LPITEMIDLIST list);
// The file-system path of List, or empty when it names none (a virtual folder, say).
std::string PathFromIDList(LPCITEMIDLIST list);
// A new absolute list for Path, made by shell32's entry under ordinal 157, which takes a path in
// the system's own width: UTF-16 on NT-based systems, ANSI otherwise (the caller chooses).
// Nil when the entry is missing or the path names nothing.
LPITEMIDLIST IDListFromPath(const void* path) noexcept;
// IDListFromPath with an ANSI path passed in the width the system's entry expects.
LPITEMIDLIST IDListFromAnsiPath(const std::string& path);

// One owner of one identifier list, freed with the task allocator.
class ScopedIDList {
 public:
  ScopedIDList() noexcept = default;
  explicit ScopedIDList(LPITEMIDLIST list) noexcept : list_(list) {}
  ~ScopedIDList() { reset(); }
  ScopedIDList(const ScopedIDList&) = delete;
  ScopedIDList& operator=(const ScopedIDList&) = delete;
  ScopedIDList(ScopedIDList&& other) noexcept : list_(other.release()) {}
  ScopedIDList& operator=(ScopedIDList&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  LPITEMIDLIST get() const noexcept { return list_; }
  explicit operator bool() const noexcept { return list_ != nullptr; }
  LPITEMIDLIST release() noexcept {
    LPITEMIDLIST list = list_;
    list_ = nullptr;
    return list;
  }
  // Frees the list held (quietly leaving it when no allocator can be had) and holds List.
  void reset(LPITEMIDLIST list = nullptr) noexcept;
  // For out-parameters: frees what is held and gives the address to fill.
  LPITEMIDLIST* put() noexcept {
    reset();
    return &list_;
  }

 private:
  LPITEMIDLIST list_ = nullptr;
};

// Start-up and shut-down of this unit: shell32 and its entry under ordinal 157.
void StartupShellUtils();
void ShutdownShellUtils();

}  // namespace kq
