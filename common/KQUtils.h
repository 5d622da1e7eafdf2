// Small system services shared by the subsystems: paths, versions, the process and file version
// behind a window, layered-window transparency, keyboard state, resource bitmaps and rectangles.
#pragma once

#include <windows.h>

#include <string>

namespace kq {

// The buffer environment expansion works in: the system's path limit (MAX_PATH, terminator
// included, the size of every path buffer) less one.
constexpr int kExpandBufferChars = MAX_PATH - 1;
// The longest text the system's expansion takes: it works on counted wide strings of at most
// UNICODE_STRING_MAX_CHARS characters, terminator included; longer ones give nonsense or read out
// of bounds.
constexpr size_t kMaxExpandSourceChars = UNICODE_STRING_MAX_CHARS - 1;

// Paths are UTF-8; the system is asked through its wide interfaces.
bool FileExists(const std::string& path);  // an existing file that is not a directory
// True for a full drive-letter path ("C:\\...") whose drive is a fixed local one. Asks the drive
// type of the root only, never the path: a network or removable drive cannot hold the caller.
bool IsLocalFixedPath(const std::string& path);
std::string JoinPath(const std::string& dir, const std::string& name);
// Environment references expanded. An expansion that does not fit the 259-character buffer is
// refused: the result is empty rather than a different, cut-off path.
std::string ExpandPath(const std::string& path);

bool IsWinNT();
bool IsWinNT6();
// Whether process is a 32-bit program on a 64-bit system (false where the system cannot say).
bool IsWow64(HANDLE process);

std::string GetWindowProcessFile(HWND wnd);
std::string GetFileVersionText(const std::string& fileName);

void SetWindowTransparency(HWND wnd, bool useAlpha, BYTE alpha, COLORREF colorKey, bool useColorKey);
bool IsCtrlOnlyDown();

// The bitmap stored as a complete bitmap file in the RCDATA resource Name of the library's
// module; the caller owns the handle. Null when the resource is missing or is not a well-formed
// bitmap file (every header, colour table and pixel row must lie inside the resource).
HBITMAP LoadResourceBitmap(const char* name);

inline int RectWidth(const RECT& r) { return r.right - r.left; }
inline int RectHeight(const RECT& r) { return r.bottom - r.top; }
RECT FitRectInto(const RECT& bounds, const RECT& source);
RECT CenterRectIn(const RECT& bounds, const RECT& r);

// The window's answer to WM_GETTITLEBARINFOEX; the size field is 0 when no information is available.
static_assert(sizeof(TITLEBARINFOEX) == 140, "TITLEBARINFOEX is 140 bytes");
void QueryTitleBarInfoEx(HWND wnd, TITLEBARINFOEX& info);

// Hi in the upper half, the low 16 bits of Lo in the lower half of a 32-bit value.
inline LPARAM MakeLParam(int lo, int hi) {
  return static_cast<LPARAM>(static_cast<DWORD>((static_cast<DWORD>(hi) << 16) | (static_cast<DWORD>(lo) & 0xFFFF)));
}

// The module that holds the library's code and resources (the DLL, or a program linking it).
HMODULE LibraryModule();

// Start-up and shut-down of this unit: the SetLayeredWindowAttributes entry and the process-status
// entries (psapi's only where kernel32 lacks them). The library's unload does not run ShutdownUtils:
// it may free psapi, and freeing a module is no work for the loader's lock.
void StartupUtils();
void ShutdownUtils();

}  // namespace kq
