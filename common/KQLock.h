// The one lock of the library: a critical section, taken for a scope by TLockGuard. A lock that
// must outlive the process's last destructors is held in a ProcessStatic (common/KQProcessStatic.h),
// which never destroys it.
#pragma once

#include <windows.h>

#include "common/KQSysCalls.h"

namespace kq {

class TLock {
 public:
  TLock() noexcept { ::InitializeCriticalSection(&section_); }
  ~TLock() { ::DeleteCriticalSection(&section_); }
  TLock(const TLock&) = delete;
  TLock& operator=(const TLock&) = delete;

  void Enter() noexcept { sys::EnterCriticalSection(&section_); }
  void Leave() noexcept { sys::LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

// Holds a lock from its construction to the end of its scope.
class TLockGuard {
 public:
  explicit TLockGuard(TLock& lock) noexcept : lock_(lock) { lock_.Enter(); }
  ~TLockGuard() { lock_.Leave(); }
  TLockGuard(const TLockGuard&) = delete;
  TLockGuard& operator=(const TLockGuard&) = delete;

 private:
  TLock& lock_;
};

}  // namespace kq
