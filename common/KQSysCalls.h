// The calls into the system on the paths that run for every message of every GUI thread (the
// hook procedures, window classification, the button-set lookup) and on the loading of the stored
// bookmark tree and history (the registry calls). In the library they are the
// plain calls. A build that defines LNTR_COUNT_SYSCALLS (the benchmarks' build) counts each one
// by kind and sends the next-hook call through a replaceable entry. The file-system calls of the
// menu's icons (existence tests, icon extraction, the shell's file information, drive types) also
// hand the path they name to a replaceable observer there, in UTF-8. Names and paths go to the
// system through its wide interfaces.
#pragma once

#include <windows.h>
#include <shellapi.h>

#ifdef LNTR_COUNT_SYSCALLS
#include "common/KQText.h"
#endif

namespace kq::sys {

enum Counter : unsigned {
  cNextHook,      // CallNextHookEx
  cClassName,     // GetClassNameA
  cEnumChildren,  // EnumChildWindows
  cFindWindow,    // FindWindowExA
  cWindowLong,    // GetWindowLongA
  cCtrlId,        // GetDlgCtrlID
  cLock,          // EnterCriticalSection, LeaveCriticalSection
  cRegOpen,       // RegOpenKeyExW, RegCreateKeyExW
  cRegEnum,       // RegEnumKeyExW, RegEnumValueW
  cRegQuery,      // RegQueryValueExW
  cRegClose,      // RegCloseKey
  cRegOther,      // RegSetValueExW
  cMenu,          // CreatePopupMenu, InsertMenuW, SetMenuItemBitmaps
  cFileAttr,      // GetFileAttributesW
  cIconExtract,   // ExtractIconW, ExtractIconExW
  cShellInfo,     // SHGetFileInfoW that looks at the file
  cShellKind,     // SHGetFileInfoW by attributes only (SHGFI_USEFILEATTRIBUTES): no file is read
  cDriveType,     // GetDriveTypeW
  kCounterCount
};

#ifdef LNTR_COUNT_SYSCALLS
using NextHookEntry = LRESULT(WINAPI*)(HHOOK, int, WPARAM, LPARAM);
extern long long g_Counts[kCounterCount];
extern NextHookEntry g_NextHook;
// Told the kind and the path (in UTF-8) of every wrapped file-system call; none when null.
using PathObserver = void (*)(Counter kind, const char* path);
extern PathObserver g_OnPath;
inline void Count(Counter c) { ++g_Counts[c]; }
inline void CountPath(Counter c, const wchar_t* path) {
  ++g_Counts[c];
  if (g_OnPath) g_OnPath(c, path ? ToUtf8(path).c_str() : "");
}
#else
inline void Count(Counter) {}
inline void CountPath(Counter, const wchar_t*) {}
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

inline LONG RegOpenKeyExW(HKEY key, const wchar_t* subKey, DWORD options, REGSAM access, HKEY* result) {
  Count(cRegOpen);
  return ::RegOpenKeyExW(key, subKey, options, access, result);
}

inline LONG RegCreateKeyExW(HKEY key, const wchar_t* subKey, DWORD reserved, wchar_t* className, DWORD options,
                            REGSAM access, SECURITY_ATTRIBUTES* security, HKEY* result, DWORD* disposition) {
  Count(cRegOpen);
  return ::RegCreateKeyExW(key, subKey, reserved, className, options, access, security, result, disposition);
}

inline LONG RegEnumKeyExW(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength, DWORD* reserved, wchar_t* className,
                          DWORD* classLength, FILETIME* lastWrite) {
  Count(cRegEnum);
  return ::RegEnumKeyExW(key, index, name, nameLength, reserved, className, classLength, lastWrite);
}

inline LONG RegEnumValueW(HKEY key, DWORD index, wchar_t* name, DWORD* nameLength, DWORD* reserved, DWORD* type,
                          BYTE* data, DWORD* dataLength) {
  Count(cRegEnum);
  return ::RegEnumValueW(key, index, name, nameLength, reserved, type, data, dataLength);
}

inline LONG RegQueryValueExW(HKEY key, const wchar_t* name, DWORD* reserved, DWORD* type, BYTE* data,
                             DWORD* dataLength) {
  Count(cRegQuery);
  return ::RegQueryValueExW(key, name, reserved, type, data, dataLength);
}

inline LONG RegSetValueExW(HKEY key, const wchar_t* name, DWORD reserved, DWORD type, const BYTE* data,
                           DWORD dataLength) {
  Count(cRegOther);
  return ::RegSetValueExW(key, name, reserved, type, data, dataLength);
}

inline LONG RegCloseKey(HKEY key) {
  Count(cRegClose);
  return ::RegCloseKey(key);
}

inline HMENU CreatePopupMenu() {
  Count(cMenu);
  return ::CreatePopupMenu();
}

inline BOOL InsertMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR id, const wchar_t* text) {
  Count(cMenu);
  return ::InsertMenuW(menu, position, flags, id, text);
}

inline BOOL SetMenuItemBitmaps(HMENU menu, UINT position, UINT flags, HBITMAP unchecked, HBITMAP checked) {
  Count(cMenu);
  return ::SetMenuItemBitmaps(menu, position, flags, unchecked, checked);
}

inline DWORD GetFileAttributesW(const wchar_t* path) {
  CountPath(cFileAttr, path);
  return ::GetFileAttributesW(path);
}

inline UINT GetDriveTypeW(const wchar_t* root) {
  CountPath(cDriveType, root);
  return ::GetDriveTypeW(root);
}

inline HICON ExtractIconW(HINSTANCE instance, const wchar_t* fileName, UINT index) {
  CountPath(cIconExtract, fileName);
  return ::ExtractIconW(instance, fileName, index);
}

inline UINT ExtractIconExW(const wchar_t* fileName, int index, HICON* large, HICON* small, UINT icons) {
  CountPath(cIconExtract, fileName);
  return ::ExtractIconExW(fileName, index, large, small, icons);
}

inline DWORD_PTR SHGetFileInfoW(const wchar_t* path, DWORD attributes, SHFILEINFOW* info, UINT size, UINT flags) {
  CountPath((flags & SHGFI_USEFILEATTRIBUTES) ? cShellKind : cShellInfo, path);
  return ::SHGetFileInfoW(path, attributes, info, size, flags);
}

}  // namespace kq::sys
