// The library starts on first use, never while it is being loaded: DllMain runs under the loader's
// lock, where loading a module, registering a class or waiting for another thread can deadlock the
// program that loads us. DllMain only names the start-up here (lib/ owns its order); every entry
// into the library (HookOn, each hook procedure, the COM requests) calls EnsureStarted first, and
// whichever comes first runs the start-up, once per process. A first use that races it waits until
// it has run, but not for ever: the racing thread may hold the loader's lock (a hook called from a
// module's DllMain), which the start-up's own thread may need, so after kRacingStartWaitMs it goes
// on as before the start-up and does nothing. Once it has run, EnsureStarted costs one test of a flag.
#pragma once

#include <atomic>

namespace kq {

using StartupProc = void (*)();

// How long a first use waits for a start-up running on another thread (it takes milliseconds).
constexpr unsigned kRacingStartWaitMs = 2000;

// Names the start-up the first use runs. DllMain calls it: it stores the pointer and runs nothing.
void SetLibraryStartup(StartupProc startup) noexcept;

namespace detail {
extern std::atomic<bool> g_Started;
bool StartOnFirstUse() noexcept;
}  // namespace detail

// Runs the start-up unless it has run. Answers whether it has: false while no start-up is named,
// on the thread running it, should start-up itself reach an entry (the call then does nothing),
// and when another thread's start-up did not end within kRacingStartWaitMs.
inline bool EnsureStarted() noexcept {
  if (detail::g_Started.load(std::memory_order_acquire)) return true;
  return detail::StartOnFirstUse();
}

// Whether the start-up has run in this process; nothing needs undoing when it has not.
inline bool HasStarted() noexcept { return detail::g_Started.load(std::memory_order_acquire); }

}  // namespace kq
