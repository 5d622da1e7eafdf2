#include "hook/KQVThreadHooks.h"

#include <map>

#include "common/KQGuard.h"
#include "common/KQLock.h"
#include "common/KQProcessStatic.h"
#include "common/KQScoped.h"
#include "common/KQStartOnce.h"
#include "common/KQUtils.h"
#include "hook/KQVHook.h"
#include "hostlink/KQVHostLink.h"

namespace kq {
namespace {

// Exists while the thread hooks are wanted: created by the process that called HookOn, gone
// when it calls HookOff or ends.
constexpr char kThreadHooksSwitch[] = "LNTRHook64.ThreadHooks";

// The events that bring the library into a thread: a window is created, or comes to the
// foreground (the user turns to a window opened before the hooks were on).
constexpr DWORD kInjectingEvents[] = {EVENT_OBJECT_CREATE, EVENT_SYSTEM_FOREGROUND};

// Plain handles, not ScopedHooks, which would unhook them whenever they go: a thread that has
// ended took its hooks along, and its handles may name other hooks by then, so they are unhooked
// only for threads still alive (RemoveThreadHooks).
struct TThreadHooks {
  HHOOK callWndRet;
  HHOOK mouse;
};

// In the process that called HookOn.
ProcessStatic<ScopedHandle> g_Switch;
HWINEVENTHOOK g_EventHooks[std::size(kInjectingEvents)] = {};

// In every process: the hooked threads.
ProcessStatic<TLock> g_ThreadsLock;
ProcessStatic<std::map<DWORD, TThreadHooks>> g_Threads;

bool SwitchIsOn() {
  ScopedHandle event(::OpenEventA(SYNCHRONIZE, FALSE, kThreadHooksSwitch));
  return static_cast<bool>(event);
}

void Unhook(const TThreadHooks& hooks) {
  if (hooks.callWndRet) ::UnhookWindowsHookEx(hooks.callWndRet);
  if (hooks.mouse) ::UnhookWindowsHookEx(hooks.mouse);
}

void RemoveThisThreadsHooks() {
  TThreadHooks hooks = {};
  {
    TLockGuard lock(*g_ThreadsLock);
    auto it = g_Threads->find(::GetCurrentThreadId());
    if (it == g_Threads->end()) return;
    hooks = it->second;
    g_Threads->erase(it);
  }
  Unhook(hooks);
}

// The thread hooks hand every call to the library's hook procedures; where one of those would
// act, they first make sure the hooks are still wanted, and leave the thread when not. Each may be
// the library's first use in the process.
LRESULT CALLBACK ThreadCallWndRetProc(int code, WPARAM wParam, LPARAM lParam) {
  if (EnsureStarted() && code == HC_ACTION && lParam &&
      IsHookMessage(reinterpret_cast<const CWPRETSTRUCT*>(lParam)->message) &&
      !Guarded(true, [] { return SwitchIsOn(); })) {
    Guard([] { RemoveThisThreadsHooks(); });
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
  }
  return CallWndRetHookProc(code, wParam, lParam);
}

LRESULT CALLBACK ThreadMouseProc(int code, WPARAM wParam, LPARAM lParam) {
  if (EnsureStarted() && code == HC_ACTION && wParam == WM_LBUTTONDBLCLK &&
      !Guarded(true, [] { return SwitchIsOn(); })) {
    Guard([] { RemoveThisThreadsHooks(); });
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
  }
  return MouseHookProc(code, wParam, lParam);
}

void HookThisThread() {
  const DWORD thread = ::GetCurrentThreadId();
  TLockGuard lock(*g_ThreadsLock);
  if (g_Threads->count(thread)) return;
  TThreadHooks hooks = {};
  hooks.callWndRet = ::SetWindowsHookExA(WH_CALLWNDPROCRET, ThreadCallWndRetProc, LibraryModule(), thread);
  hooks.mouse = ::SetWindowsHookExA(WH_MOUSE, ThreadMouseProc, LibraryModule(), thread);
  if (!hooks.callWndRet && !hooks.mouse) return;
  (*g_Threads)[thread] = hooks;
}

void CALLBACK InjectingEventProc(HWINEVENTHOOK, DWORD, HWND wnd, LONG object, LONG, DWORD, DWORD) {
  if (!EnsureStarted() || object != OBJID_WINDOW || !wnd) return;
  Guard([] { HookThisThread(); });
}

}  // namespace

bool HostIsThirtyTwoBit() {
#if !defined(_WIN64)
  return false;  // this library is the 32-bit one
#else
  DWORD pid = 0;
  HWND host = GetHostWindow();
  if (!host || !::GetWindowThreadProcessId(host, &pid)) return false;
  ScopedHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  return process && IsWow64(process.get());
#endif
}

void ThreadHooksOn() {
  if (!*g_Switch) g_Switch->reset(::CreateEventA(nullptr, TRUE, FALSE, kThreadHooksSwitch));
  for (size_t i = 0; i < std::size(kInjectingEvents); ++i) {
    if (g_EventHooks[i]) continue;
    g_EventHooks[i] = ::SetWinEventHook(kInjectingEvents[i], kInjectingEvents[i], LibraryModule(), InjectingEventProc,
                                        0, 0, WINEVENT_INCONTEXT);
  }
}

void ThreadHooksOff() {
  for (HWINEVENTHOOK& hook : g_EventHooks) {
    if (hook) ::UnhookWinEvent(hook);
    hook = nullptr;
  }
  g_Switch->reset();
  RemoveThreadHooks();
}

void RemoveThreadHooks() {
  std::map<DWORD, TThreadHooks> threads;
  {
    TLockGuard lock(*g_ThreadsLock);
    threads.swap(*g_Threads);
  }
  for (const auto& [thread, hooks] : threads) {
    // A thread that has ended took its hooks along; its handles may name other hooks by now.
    ScopedHandle handle(::OpenThread(SYNCHRONIZE, FALSE, thread));
    if (handle && ::WaitForSingleObject(handle.get(), 0) == WAIT_TIMEOUT) Unhook(hooks);
  }
}

}  // namespace kq
