#include "common/KQStartOnce.h"

#include <windows.h>

#include "common/KQGuard.h"

namespace kq {

namespace detail {
constinit std::atomic<bool> g_Started{false};
}  // namespace detail

namespace {

// Where the one start-up of the process stands: the first use to move it from idle to running
// runs it; it never goes back.
enum class TStartState : int { Idle, Running, Done };

constinit std::atomic<StartupProc> g_Startup{nullptr};
constinit std::atomic<TStartState> g_State{TStartState::Idle};
// The thread inside the start-up; 0 when none is.
constinit std::atomic<DWORD> g_StartingThread{0};

void RunStartup(StartupProc startup) noexcept {
  g_StartingThread.store(::GetCurrentThreadId());
  // Each step is guarded by the start-up itself; this guard only keeps the start-up whole.
  Guard(startup);
  g_StartingThread.store(0);
  detail::g_Started.store(true, std::memory_order_release);
  g_State.store(TStartState::Done, std::memory_order_release);
}

// A start-up runs for milliseconds: the racing first use looks again every millisecond.
bool WaitForRacingStart() noexcept {
  const DWORD start = ::GetTickCount();
  while (g_State.load(std::memory_order_acquire) == TStartState::Running) {
    if (::GetTickCount() - start >= kRacingStartWaitMs) return false;
    ::Sleep(1);
  }
  return detail::g_Started.load(std::memory_order_acquire);
}

}  // namespace

void SetLibraryStartup(StartupProc startup) noexcept { g_Startup.store(startup); }

bool detail::StartOnFirstUse() noexcept {
  // A call from inside the start-up would wait for itself.
  if (g_StartingThread.load() == ::GetCurrentThreadId()) return false;
  const StartupProc startup = g_Startup.load();
  if (!startup) return false;  // nothing named yet: a start-up named later still runs
  TStartState idle = TStartState::Idle;
  if (g_State.compare_exchange_strong(idle, TStartState::Running, std::memory_order_acq_rel)) {
    RunStartup(startup);
    return true;
  }
  return WaitForRacingStart();
}

}  // namespace kq
