#include "common/KQStartOnce.h"

#include <windows.h>

#include "common/KQGuard.h"

namespace kq {

namespace detail {
constinit std::atomic<bool> g_Started{false};
}  // namespace detail

namespace {

constinit std::atomic<StartupProc> g_Startup{nullptr};
// The system's one-time initializer: the first caller runs RunStartup, callers racing it wait.
INIT_ONCE g_StartOnce = INIT_ONCE_STATIC_INIT;
// The thread inside RunStartup; 0 when none is.
constinit std::atomic<DWORD> g_StartingThread{0};

BOOL CALLBACK RunStartup(PINIT_ONCE, PVOID, PVOID*) {
  const StartupProc startup = g_Startup.load();
  if (!startup) return FALSE;  // not done: a start-up named later still runs
  g_StartingThread.store(::GetCurrentThreadId());
  // Each step is guarded by the start-up itself; this guard only keeps the initializer whole.
  Guard(startup);
  g_StartingThread.store(0);
  detail::g_Started.store(true, std::memory_order_release);
  return TRUE;
}

}  // namespace

void SetLibraryStartup(StartupProc startup) noexcept { g_Startup.store(startup); }

bool detail::StartOnFirstUse() noexcept {
  // A call from inside the start-up would wait for itself.
  if (g_StartingThread.load() == ::GetCurrentThreadId()) return false;
  ::InitOnceExecuteOnce(&g_StartOnce, RunStartup, nullptr, nullptr);
  return g_Started.load(std::memory_order_acquire);
}

}  // namespace kq
