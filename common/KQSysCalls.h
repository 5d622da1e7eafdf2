// The calls into the system on the paths that run for every message of every GUI thread (the
// hook procedures, window classification, the button-set lookup) and on the loading of the stored
// bookmark tree and history (the registry calls). In the library they are the
// plain calls. A build that defines LNTR_COUNT_SYSCALLS (the benchmarks' build) counts each one
// by kind and sends the next-hook call through a replaceable entry. The file-system calls of the
// menu's icons (existence tests, icon extraction, the shell's file information, drive types) also
// hand the path they name to a replaceable observer there.
#pragma once

#include <windows.h>
#include <shellapi.h>

namespace kq::sys {

enum Counter : unsigned {
  cNextHook,      // CallNextHookEx
  cClassName,     // GetClassNameA
  cEnumChildren,  // EnumChildWindows
  cFindWindow,    // FindWindowExA
  cWindowLong,    // GetWindowLongA
  cCtrlId,        // GetDlgCtrlID
  cLock,          // EnterCriticalSection, LeaveCriticalSection
  cRegOpen,       // RegOpenKeyExA, RegCreateKeyExA
  cRegEnum,       // RegEnumKeyExA, RegEnumValueA
  cRegQuery,      // RegQueryValueExA
  cRegClose,      // RegCloseKey
  cRegOther,      // RegSetValueExA
  cMenu,          // CreatePopupMenu, InsertMenuA, SetMenuItemBitmaps
  cFileAttr,      // GetFileAttributesA
  cIconExtract,   // ExtractIconA, ExtractIconExA
  cShellInfo,     // SHGetFileInfoA that looks at the file
  cShellKind,     // SHGetFileInfoA by attributes only (SHGFI_USEFILEATTRIBUTES): no file is read
  cDriveType,     // GetDriveTypeA
  kCounterCount
};

#ifdef LNTR_COUNT_SYSCALLS
using NextHookEntry = LRESULT(WINAPI*)(HHOOK, int, WPARAM, LPARAM);
extern long long g_Counts[kCounterCount];
extern NextHookEntry g_NextHook;
// Told the kind and the path of every wrapped file-system call; none when null.
using PathObserver = void (*)(Counter kind, const char* path);
extern PathObserver g_OnPath;
inline void Count(Counter c) { ++g_Counts[c]; }
inline void CountPath(Counter c, const char* path) {
  ++g_Counts[c];
  if (g_OnPath) g_OnPath(c, path ? path : "");
}
#else
inline void Count(Counter) {}
inline void CountPath(Counter, const char*) {}
#endif

inline LRESULT CallNextHook(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
  Count(cNextHook);
#ifdef LNTR_COUNT_SYSCALLS
  return g_NextHook(hook, code, wParam, lParam);
#else
  return ::CallNextHookEx(hook, code, wParam, lParam);
#endif
}

inline int GetClassNameA(HWND wnd, char* name, int chars) {
  Count(cClassName);
  return ::GetClassNameA(wnd, name, chars);
}

inline BOOL EnumChildWindows(HWND wnd, WNDENUMPROC proc, LPARAM param) {
  Count(cEnumChildren);
  return ::EnumChildWindows(wnd, proc, param);
}

inline HWND FindWindowExA(HWND parent, HWND after, const char* className, const char* title) {
  Count(cFindWindow);
  return ::FindWindowExA(parent, after, className, title);
}

inline LONG GetWindowLongA(HWND wnd, int index) {
  Count(cWindowLong);
  return ::GetWindowLongA(wnd, index);
}

inline int GetDlgCtrlID(HWND wnd) {
  Count(cCtrlId);
  return ::GetDlgCtrlID(wnd);
}

inline void EnterCriticalSection(CRITICAL_SECTION* section) {
  Count(cLock);
  ::EnterCriticalSection(section);
}

inline void LeaveCriticalSection(CRITICAL_SECTION* section) {
  Count(cLock);
  ::LeaveCriticalSection(section);
}

inline LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access, HKEY* result) {
  Count(cRegOpen);
  return ::RegOpenKeyExA(key, subKey, options, access, result);
}

inline LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* className, DWORD options, REGSAM access,
                            SECURITY_ATTRIBUTES* security, HKEY* result, DWORD* disposition) {
  Count(cRegOpen);
  return ::RegCreateKeyExA(key, subKey, reserved, className, options, access, security, result, disposition);
}

inline LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* reserved, char* className,
                          DWORD* classLength, FILETIME* lastWrite) {
  Count(cRegEnum);
  return ::RegEnumKeyExA(key, index, name, nameLength, reserved, className, classLength, lastWrite);
}

inline LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* reserved, DWORD* type,
                          BYTE* data, DWORD* dataLength) {
  Count(cRegEnum);
  return ::RegEnumValueA(key, index, name, nameLength, reserved, type, data, dataLength);
}

inline LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataLength) {
  Count(cRegQuery);
  return ::RegQueryValueExA(key, name, reserved, type, data, dataLength);
}

inline LONG RegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type, const BYTE* data, DWORD dataLength) {
  Count(cRegOther);
  return ::RegSetValueExA(key, name, reserved, type, data, dataLength);
}

inline LONG RegCloseKey(HKEY key) {
  Count(cRegClose);
  return ::RegCloseKey(key);
}

inline HMENU CreatePopupMenu() {
  Count(cMenu);
  return ::CreatePopupMenu();
}

inline BOOL InsertMenuA(HMENU menu, UINT position, UINT flags, UINT_PTR id, const char* text) {
  Count(cMenu);
  return ::InsertMenuA(menu, position, flags, id, text);
}

inline BOOL SetMenuItemBitmaps(HMENU menu, UINT position, UINT flags, HBITMAP unchecked, HBITMAP checked) {
  Count(cMenu);
  return ::SetMenuItemBitmaps(menu, position, flags, unchecked, checked);
}

inline DWORD GetFileAttributesA(const char* path) {
  CountPath(cFileAttr, path);
  return ::GetFileAttributesA(path);
}

inline UINT GetDriveTypeA(const char* root) {
  CountPath(cDriveType, root);
  return ::GetDriveTypeA(root);
}

inline HICON ExtractIconA(HINSTANCE instance, const char* fileName, UINT index) {
  CountPath(cIconExtract, fileName);
  return ::ExtractIconA(instance, fileName, index);
}

inline UINT ExtractIconExA(const char* fileName, int index, HICON* large, HICON* small, UINT icons) {
  CountPath(cIconExtract, fileName);
  return ::ExtractIconExA(fileName, index, large, small, icons);
}

inline DWORD_PTR SHGetFileInfoA(const char* path, DWORD attributes, SHFILEINFOA* info, UINT size, UINT flags) {
  CountPath((flags & SHGFI_USEFILEATTRIBUTES) ? cShellKind : cShellInfo, path);
  return ::SHGetFileInfoA(path, attributes, info, size, flags);
}

}  // namespace kq::sys
