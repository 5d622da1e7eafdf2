// The guard around every step the library runs inside another program: hardware faults and C++
// exceptions end the step, never the program, in whichever thread and however deep they happen.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "common/KQGuard.h"

namespace kq {
namespace {

// The faults a careless step can meet, on addresses the compiler cannot reason about (a null
// dereference it would be free to remove). noinline keeps each a real call.
volatile int* NoAccessAddress() {
  static void* const page = ::VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS);
  return static_cast<volatile int*>(page);
}

__attribute__((noinline)) void WriteToNoAccess() { *NoAccessAddress() = 1; }

__attribute__((noinline)) int ReadNoAccess() { return *NoAccessAddress(); }

__attribute__((noinline)) int DivideBy(int divisor) {
  volatile int d = divisor;
  return 100 / d;
}

__attribute__((noinline)) void CallThroughBadPointer() {
  auto volatile target = reinterpret_cast<void (*)()>(static_cast<uintptr_t>(0x10));
  target();
}

TEST(Guard, HardwareFaultsEndOnlyTheStep) {
  bool reachedAfterFault = false;
  EXPECT_FALSE(Guard([&] {
    WriteToNoAccess();
    reachedAfterFault = true;
  }));
  EXPECT_FALSE(reachedAfterFault);
  EXPECT_FALSE(Guard([] { ReadNoAccess(); }));
  EXPECT_FALSE(Guard([] { DivideBy(0); }));
  EXPECT_FALSE(Guard([] { CallThroughBadPointer(); }));
  EXPECT_EQ(-1, Guarded(-1, [] { return DivideBy(0); }));
  EXPECT_EQ(50, Guarded(-1, [] { return DivideBy(2); }));
  EXPECT_TRUE(Guard([] {}));
}

TEST(Guard, CppExceptionsEndOnlyTheStep) {
  EXPECT_FALSE(Guard([] { throw std::runtime_error("step failed"); }));
  EXPECT_FALSE(Guard([] { throw 7; }));
  EXPECT_EQ(std::string("fallback"), Guarded(std::string("fallback"), []() -> std::string { throw std::bad_alloc(); }));
  // An exception the step catches itself is the step's business.
  EXPECT_TRUE(Guard([] {
    try {
      throw 1;
    } catch (int) {
    }
  }));
}

TEST(Guard, AFaultInAnInnerStepLeavesTheOuterStepRunning) {
  int innerFailures = 0;
  bool outerFinished = false;
  EXPECT_TRUE(Guard([&] {
    for (int i = 0; i < 3; ++i) {
      if (!Guard([] { WriteToNoAccess(); })) ++innerFailures;
    }
    if (!Guard([] { throw 3; })) ++innerFailures;
    outerFinished = true;
  }));
  EXPECT_EQ(4, innerFailures);
  EXPECT_TRUE(outerFinished);
}

// The frame is the same on every thread: faults in several threads at once are contained in
// each, and the threads' own exception chains stay intact.
TEST(Guard, ManyThreadsFaultingAtOnceAreEachContained) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 3000;
  std::atomic<int> contained{0};
  std::atomic<int> completed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        if ((i + t) % 3 == 0) {
          if (Guard([] { throw std::runtime_error("x"); })) return;
        } else if (!Guard([] { WriteToNoAccess(); })) {
          ++contained;
        }
        if (Guard([] {})) ++completed;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  int expectedFaults = 0;
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < kRounds; ++i) expectedFaults += (i + t) % 3 != 0;
  EXPECT_EQ(expectedFaults, contained.load());
  EXPECT_EQ(kThreads * kRounds, completed.load());
}

}  // namespace
}  // namespace kq
