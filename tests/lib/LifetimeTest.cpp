// Many dialogs in one process with the hooks on: every one gets its set, and when they are gone
// the sets, their window-procedure entries and the process's GDI objects are back
// where they were. Two GUI threads at once keep the shared list consistent.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "captionbuttons/KQCaptionButton.h"
#include "captionbuttons/KQWndProcThunk.h"
#include "dialogbuttons/KQVCaptionButton.h"
#include "hook/KQVHook.h"
#include "tests/lib/ServedDialog.h"
#include "tests/support/GdiObjects.h"

namespace kq {
namespace {

constexpr int kDialogRounds = 300;
constexpr int kWarmUpRounds = 5;
constexpr int kThreadRounds = 100;
// Objects Wine itself may create on the way and keep in its caches (fonts, image lists); a leak
// of ours grows with the rounds and passes this at once.
constexpr int kGdiObjectSlack = 10;

struct Counts {
  int gdi;
  size_t sets;
  TWndProcThunkStats thunks;
};

Counts CountsNow() {
  return {test::GdiObjectsOf(::GetCurrentProcess()), ButtonSets()->Count(), GetWndProcThunkStats()};
}

class HooksInThisProcess : public ::testing::Test {
 protected:
  void SetUp() override { HookOn(); }
  void TearDown() override { HookOff(); }
};

TEST_F(HooksInThisProcess, ThreeHundredDialogsLeaveNothingBehind) {
  int served = 0;
  for (int i = 0; i < kWarmUpRounds; ++i) served += test::RunDialogUntilServed();
  const Counts before = CountsNow();
  const DWORD start = ::GetTickCount();
  for (int i = kWarmUpRounds; i < kDialogRounds; ++i) served += test::RunDialogUntilServed();
  const DWORD elapsed = ::GetTickCount() - start;
  const Counts after = CountsNow();
  std::printf("%d dialogs in %lu ms; GDI objects %d -> %d, entry blocks %zu -> %zu, free entries %zu -> %zu\n",
              kDialogRounds - kWarmUpRounds, elapsed, before.gdi, after.gdi, before.thunks.Blocks, after.thunks.Blocks,
              before.thunks.FreeEntries, after.thunks.FreeEntries);

  EXPECT_EQ(kDialogRounds, served);
  EXPECT_EQ(0u, before.sets);
  EXPECT_EQ(0u, after.sets);
  EXPECT_EQ(before.thunks.Blocks, after.thunks.Blocks);
  EXPECT_EQ(before.thunks.FreeEntries, after.thunks.FreeEntries);
  ASSERT_GT(before.gdi, 0);
  EXPECT_LE(after.gdi, before.gdi + kGdiObjectSlack);
}

TEST_F(HooksInThisProcess, TwoThreadsOpeningDialogsAtOnceEachGetTheirSets) {
  std::atomic<int> served{0};
  auto rounds = [&] {
    for (int i = 0; i < kThreadRounds; ++i) served += test::RunDialogUntilServed();
  };
  std::thread first(rounds), second(rounds);
  first.join();
  second.join();
  EXPECT_EQ(2 * kThreadRounds, served.load());
  EXPECT_EQ(0u, ButtonSets()->Count());
}

}  // namespace
}  // namespace kq
