// The calls into the system on the paths that run for every message of every GUI thread (the
// hook procedures, window classification, the button-set lookup) and on the loading of the stored
// bookmark tree and history (the registry calls). In the library they are the
// plain calls. A build that defines LNTR_COUNT_SYSCALLS (the benchmarks' build) counts each one
// by kind and sends the next-hook call through a replaceable entry.
#pragma once

#include <windows.h>

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
  kCounterCount
};

#ifdef LNTR_COUNT_SYSCALLS
using NextHookEntry = LRESULT(WINAPI*)(HHOOK, int, WPARAM, LPARAM);
extern long long g_Counts[kCounterCount];
extern NextHookEntry g_NextHook;
inline void Count(Counter c) { ++g_Counts[c]; }
#else
inline void Count(Counter) {}
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

}  // namespace kq::sys
