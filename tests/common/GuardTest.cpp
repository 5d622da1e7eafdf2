// The guard around every step the library runs inside another program: hardware faults and C++
// exceptions end the step, never the program, in whichever thread and however deep they happen;
// what the program's own code raises is none of the guard's business.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "captionbuttons/KQCaptionButton.h"
#include "common/KQGuard.h"
#include "tests/support/TestWindows.h"

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

TEST(Guard, RaisedErrorsEndOnlyTheStepWhetherOrNotTheyMayBeContinued) {
  constexpr DWORD kError = 0xC0001234;
  EXPECT_FALSE(Guard([] { ::RaiseException(kError, 0, 0, nullptr); }));
  // The system refuses to resume such an exception: the frame must not ask it to.
  EXPECT_FALSE(Guard([] { ::RaiseException(kError, EXCEPTION_NONCONTINUABLE, 0, nullptr); }));
  EXPECT_TRUE(Guard([] {}));
}

// The calling convention promises the code after a call a clear direction flag and an empty x87
// stack; a fault may come in the middle of code that had neither.
TEST(Guard, AfterAFaultTheDirectionFlagIsClearAndTheX87StackEmpty) {
  uint16_t control = 0;
  asm volatile("fnstcw %0" : "=m"(control));
  const uint16_t ours = static_cast<uint16_t>((control & ~0x0300u) | 0x0200u);  // 53-bit precision
  asm volatile("fldcw %0" ::"m"(ours));
  volatile int* const target = NoAccessAddress();
  EXPECT_FALSE(Guard([&] { asm volatile("std\n\tfld1\n\tfld1\n\tmovl $1, (%0)" ::"r"(target) : "memory"); }));
#if defined(__x86_64__)
  const uint64_t flags = __builtin_ia32_readeflags_u64();
#else
  const uint32_t flags = __builtin_ia32_readeflags_u32();
#endif
  uint16_t environment[14] = {};  // the 28-byte x87 environment; the tag word is its fifth word
  asm volatile("fnstenv %0\n\tfldenv %0" : "+m"(environment));
  uint16_t after = 0;
  asm volatile("fnstcw %0" : "=m"(after));
  asm volatile("cld\n\tfldcw %0" ::"m"(control));
  EXPECT_EQ(flags & 0x400u, 0u) << "direction flag";
  EXPECT_EQ(environment[4], 0xFFFF) << "x87 tag word";
  EXPECT_EQ(after, ours) << "x87 control word";
}

// A program whose own window procedure raises: with a set attached, what it raises still reaches
// the program's own handling (here its unhandled-exception filter, which goes on after the raise),
// however many of our guards lie between.
constexpr UINT kRaiseInOwnProcedure = WM_APP + 7;
constexpr DWORD kProgramsOwnError = 0xE0474E01;
std::atomic<int> g_ProgramSaw{0};

LRESULT CALLBACK RaisingProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kRaiseInOwnProcedure) {
    ::RaiseException(kProgramsOwnError, 0, 0, nullptr);
    return 1;
  }
  return ::DefWindowProcA(wnd, msg, wParam, lParam);
}

LONG WINAPI ProgramsFilter(EXCEPTION_POINTERS* info) {
  if (info->ExceptionRecord->ExceptionCode != kProgramsOwnError) return EXCEPTION_CONTINUE_SEARCH;
  ++g_ProgramSaw;
  return EXCEPTION_CONTINUE_EXECUTION;
}

TEST(Guard, WhatTheProgramsOwnProcedureRaisesReachesTheProgram) {
  test::ProcWindow window("KQRaisingWindow", RaisingProc);
  HWND wnd = window.Wnd();
  ASSERT_NE(wnd, nullptr);
  const LPTOP_LEVEL_EXCEPTION_FILTER previous = ::SetUnhandledExceptionFilter(ProgramsFilter);
  {
    TKQCaptionButtons set(wnd);
    ASSERT_TRUE(set.Attached());
    g_ProgramSaw = 0;
    EXPECT_EQ(::SendMessageA(wnd, kRaiseInOwnProcedure, 0, 0), 1);
    EXPECT_EQ(g_ProgramSaw, 1) << "the program's own exception stopped at the set";
    // Inside a step of ours too (the library's steps send messages to the program's windows).
    g_ProgramSaw = 0;
    EXPECT_TRUE(Guard([&] { ::SendMessageA(wnd, kRaiseInOwnProcedure, 0, 0); }));
    EXPECT_EQ(g_ProgramSaw, 1);
    // Our own faults are still ours.
    EXPECT_FALSE(Guard([] { WriteToNoAccess(); }));
  }
  ::SetUnhandledExceptionFilter(previous);
}

}  // namespace
}  // namespace kq
