// The calls into the system on the paths that run for every message of every GUI thread (the
// hook procedures, window classification, the button-set lookup). In the library they are the
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

}  // namespace kq::sys
