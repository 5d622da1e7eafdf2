// Window-procedure entries: small executable stubs, each a window procedure of its own that leads
// to one method reference (a code address and the object it works on). A button set installs one
// on its window, so the system's calls reach that set directly.
#pragma once

#include <windows.h>

#include <cstddef>

namespace kq {

// The code a method reference names: called with the reference's object and the window
// procedure's four arguments; its result is the window procedure's result.
using TWndMethodCode = LRESULT (*)(void* object, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

struct TWndMethod {
  TWndMethodCode Code;
  void* Object;
};

// The pool grows by blocks of this size, one VirtualAlloc each; blocks are never released.
constexpr size_t kWndProcThunkBlockSize = 4096;
// Entries end within the first kWndProcThunkBlockUsable bytes of a block.
constexpr size_t kWndProcThunkBlockUsable = 4092;

#if defined(__i386__)
// Block: pointer slots (the previous block, the common entry, the system functions the shared
// stub calls), the shared stub (128 bytes, see KQWndProcThunk.cpp), then entries of "call rel32"
// to the shared stub followed by the 8-byte method reference.
constexpr size_t kWndProcThunkFirstOffset = 176;
constexpr size_t kWndProcThunkEntrySize = 13;
constexpr size_t kWndProcThunkMethodOffset = 5;
#elif defined(__x86_64__)
// Block: pointer slots (as above), the forwarding stub with its unwind description, the shared
// stub with its own, then 32-byte entries "lea r10, [method]; jmp rel32" to one of the two
// stubs, padding, and the 16-byte method reference at offset 16.
constexpr size_t kWndProcThunkFirstOffset = 416;
constexpr size_t kWndProcThunkEntrySize = 32;
constexpr size_t kWndProcThunkMethodOffset = 16;
#else
#error "window-procedure entries are written for x86 and x86-64 only"
#endif

constexpr size_t kWndProcThunksPerBlock =
    (kWndProcThunkBlockUsable - kWndProcThunkFirstOffset) / kWndProcThunkEntrySize;

// Each call through an entry holds a reference to this module while it runs, taken and given
// back by code in the pool: a module unloaded meanwhile goes when the last call has returned, and
// no code of it runs afterwards. A call that arrives after the module has gone is handed to the
// window's present procedure.

// Takes an entry from the process-wide pool and points it at method. Null when no memory could
// be had. Safe from any thread.
WNDPROC AllocWndProcThunk(const TWndMethod& method);
// Gives an entry back to the pool; it may be handed out again at once. Safe from any thread.
void FreeWndProcThunk(WNDPROC thunk);
// Points a live entry at another method.
void RetargetWndProcThunk(WNDPROC thunk, const TWndMethod& method);
// Turns a live entry into a plain forwarder for an entry that must stay in place because some
// other window procedure still calls it: from then on the entry hands every call to oldProc
// through CallWindowProcW (unicode) or CallWindowProcA, by code that lies in the entry's own
// block and in user32 only, so it keeps working after this module is unloaded. The entry is
// never given back to the pool. False (and the entry unchanged) when user32 could not be found.
bool ForwardWndProcThunk(WNDPROC thunk, WNDPROC oldProc, bool unicode);
// Whether an entry has been turned into a forwarder, and to which procedure.
bool IsForwardingWndProcThunk(WNDPROC thunk, WNDPROC* oldProc = nullptr);
// The method an entry currently leads to.
TWndMethod WndProcThunkMethod(WNDPROC thunk);

struct TWndProcThunkStats {
  size_t Blocks;       // blocks obtained so far (= VirtualAlloc calls)
  size_t FreeEntries;  // entries on the free list
  size_t Forwarders;   // entries turned into forwarders (never reused)
};
TWndProcThunkStats GetWndProcThunkStats();

}  // namespace kq
