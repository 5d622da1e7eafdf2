// Taking over a window's procedure and giving it back: ANSI and Unicode windows, a later
// subclasser on top, the end of the window, a set removed while it is busy in its own window
// procedure, the dialog set's remove code, and the module unloaded under a forwarding entry.
#include <gtest/gtest.h>

#include <cstring>

#include "captionbuttons/KQCaptionButton.h"
#include "captionbuttons/KQWndProcThunk.h"
#include "dialogbuttons/KQVCaptionButton.h"
#include "hook/KQVHook.h"
#include "hostlink/KQVHostLink.h"
#include "tests/captionbuttons/CaptionFixtures.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestPaths.h"

namespace kq::test {
namespace {

constexpr UINT kRemoveMe = WM_APP + 1;
constexpr UINT kNestedRemove = WM_APP + 2;

LONG_PTR ProcOf(HWND wnd, bool unicode) {
  return unicode ? ::GetWindowLongPtrW(wnd, GWLP_WNDPROC) : ::GetWindowLongPtrA(wnd, GWLP_WNDPROC);
}

// A procedure put on top of a set by "someone else", calling what it replaced.
struct LaterSubclass {
  static WNDPROC previous;
  static int calls;
  static LRESULT CALLBACK ProcA(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    ++calls;
    return ::CallWindowProcA(previous, wnd, msg, wParam, lParam);
  }
  static LRESULT CALLBACK ProcW(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    ++calls;
    return ::CallWindowProcW(previous, wnd, msg, wParam, lParam);
  }
  static void Install(HWND wnd, bool unicode) {
    calls = 0;
    previous =
        reinterpret_cast<WNDPROC>(unicode ? ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProcW))
                                          : ::SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProcA)));
  }
};
WNDPROC LaterSubclass::previous = nullptr;
int LaterSubclass::calls = 0;

class CharacterSets : public ::testing::TestWithParam<bool> {};

TEST_P(CharacterSets, TheWindowIsServedInItsOwnCharacterSetAndGetsItsProcedureBack) {
  const bool unicode = GetParam();
  TestFrame frame(TestFrame::kSizable, 0, unicode);
  HWND wnd = frame.Wnd();
  ASSERT_EQ(::IsWindowUnicode(wnd) != FALSE, unicode);
  const LONG_PTR own = ProcOf(wnd, unicode);
  {
    TKQCaptionButtons set(wnd);
    ASSERT_TRUE(set.Attached());
    EXPECT_EQ(ProcOf(wnd, unicode), reinterpret_cast<LONG_PTR>(set.WndProcThunk()));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(set.OldWndProc()), own);
    EXPECT_EQ(::IsWindowUnicode(wnd) != FALSE, unicode);
    ASSERT_TRUE(set.AddButton(wnd, 0, 1, nullptr, true));
    if (unicode) {
      // Characters no ANSI code page holds arrive as they were sent.
      const wchar_t* text = L"Gr\u00fc\u00dfe \u263A \u4E2D";
      ASSERT_TRUE(::SetWindowTextW(wnd, text));
      EXPECT_EQ(frame.Log().lastTextW, text);
      wchar_t back[32] = {};
      ::GetWindowTextW(wnd, back, 32);
      EXPECT_STREQ(back, text);
    } else {
      ASSERT_TRUE(::SetWindowTextA(wnd, "Plain \xE4 text"));
      EXPECT_EQ(frame.Log().lastTextA, "Plain \xE4 text");
    }
  }
  EXPECT_EQ(ProcOf(wnd, unicode), own);
  EXPECT_EQ(::IsWindowUnicode(wnd) != FALSE, unicode);
  frame.Log().messages.clear();
  ::SendMessageA(wnd, WM_NULL, 0, 0);
  EXPECT_TRUE(frame.Saw(WM_NULL));
}

INSTANTIATE_TEST_SUITE_P(AnsiAndUnicode, CharacterSets, ::testing::Values(false, true));

TEST_P(CharacterSets, ALaterSubclasserKeepsItsPlaceAndTheEntryForwards) {
  const bool unicode = GetParam();
  TestFrame frame(TestFrame::kSizable, 0, unicode);
  HWND wnd = frame.Wnd();
  const LONG_PTR own = ProcOf(wnd, unicode);
  auto set = std::make_unique<CountingSet>(wnd);
  ASSERT_TRUE(set->AddButton(wnd, 0, 1, nullptr, true));
  WNDPROC thunk = set->WndProcThunk();
  LaterSubclass::Install(wnd, unicode);
  ASSERT_EQ(LaterSubclass::previous, thunk);

  const TWndProcThunkStats before = GetWndProcThunkStats();
  set.reset();
  const TWndProcThunkStats after = GetWndProcThunkStats();
  // The later procedure stays where it is; the entry is not recycled but forwards.
  EXPECT_EQ(ProcOf(wnd, unicode), unicode ? reinterpret_cast<LONG_PTR>(&LaterSubclass::ProcW)
                                          : reinterpret_cast<LONG_PTR>(&LaterSubclass::ProcA));
  EXPECT_EQ(after.FreeEntries, before.FreeEntries);
  EXPECT_EQ(after.Forwarders, before.Forwarders + 1);
  WNDPROC forwardedTo = nullptr;
  EXPECT_TRUE(IsForwardingWndProcThunk(thunk, &forwardedTo));
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(forwardedTo), own);
  // The next entry handed out is another one.
  WNDPROC fresh = AllocWndProcThunk({nullptr, nullptr});
  EXPECT_NE(fresh, thunk);
  FreeWndProcThunk(fresh);

  // Messages still go all the way down, in the window's character set.
  frame.Log().messages.clear();
  if (unicode) {
    ASSERT_TRUE(::SetWindowTextW(wnd, L"after \u263A"));
    EXPECT_EQ(frame.Log().lastTextW, L"after \u263A");
  } else {
    ASSERT_TRUE(::SetWindowTextA(wnd, "after"));
    EXPECT_EQ(frame.Log().lastTextA, "after");
  }
  EXPECT_GE(LaterSubclass::calls, 1);
  EXPECT_EQ(::IsWindowUnicode(wnd) != FALSE, unicode);
}

TEST(WindowEnd, TheSetLeavesItsListAtNcDestroyAndItsEntryGoesBack) {
  TKQCaptionButtonsLst list;
  auto frame = std::make_unique<TestFrame>(TestFrame::kSizable, 0);
  HWND wnd = frame->Wnd();
  const TWndProcThunkStats before = GetWndProcThunkStats();
  TKQCaptionButtons* set = list.Add(wnd);
  ASSERT_NE(set, nullptr);
  ASSERT_TRUE(set->AddButton(wnd, 0, 1, nullptr, true));
  EXPECT_EQ(list.Add(wnd), nullptr) << "a second set for the same window";
  EXPECT_EQ(list.Count(), 1u);
  frame->Destroy();
  EXPECT_EQ(frame->Log().ncDestroys, 1);
  EXPECT_FALSE(list.HasWindow(wnd));
  EXPECT_EQ(list.Count(), 0u);
  const TWndProcThunkStats after = GetWndProcThunkStats();
  EXPECT_EQ(after.FreeEntries + after.Forwarders, before.FreeEntries + before.Forwarders);
  EXPECT_EQ(after.Forwarders, before.Forwarders);

  // A new window is served, whatever handle it gets.
  TestFrame next(TestFrame::kSizable, 0);
  EXPECT_NE(list.Add(next.Wnd()), nullptr);
  EXPECT_EQ(list.Count(), 1u);
}

TEST(WindowEnd, AnEntryUnderALaterSubclasserGoesBackWhenTheWindowEnds) {
  TKQCaptionButtonsLst list;
  auto frame = std::make_unique<TestFrame>(TestFrame::kSizable, 0);
  HWND wnd = frame->Wnd();
  const TWndProcThunkStats before = GetWndProcThunkStats();
  ASSERT_NE(list.Add(wnd), nullptr);
  LaterSubclass::Install(wnd, false);
  frame->Destroy();
  EXPECT_EQ(list.Count(), 0u);
  const TWndProcThunkStats after = GetWndProcThunkStats();
  // Nothing can call the entry once the window is gone: it is not left as a forwarder.
  EXPECT_EQ(after.Forwarders, before.Forwarders);
  EXPECT_EQ(after.FreeEntries, before.FreeEntries);
}

// A set that removes itself from its list during one of its own messages and goes on working
// on that message afterwards; its memory is overwritten when it is freed.
class SelfRemovingSet : public TKQCaptionButtons {
 public:
  static constexpr unsigned kAlive = 0x5E75A11E;
  static int destroyed;
  static bool destroyedDuringCall;
  static bool intactAfterRemove;

  explicit SelfRemovingSet(HWND wnd) : TKQCaptionButtons(wnd) {}
  ~SelfRemovingSet() override {
    ++destroyed;
    alive_ = 0;
  }
  static void operator delete(void* p) {
    std::memset(p, 0xDD, sizeof(SelfRemovingSet));
    ::operator delete(p);
  }
  void WndProc(TMessage& message) override {
    if (message.Msg == kRemoveMe) {
      Owner()->Remove(Wnd());
      destroyedDuringCall = destroyedDuringCall || destroyed > 0;
      intactAfterRemove = alive_ == kAlive && Wnd() != nullptr;
    }
    TKQCaptionButtons::WndProc(message);  // passes the message on, after the removal
  }

 private:
  unsigned alive_ = kAlive;
};
int SelfRemovingSet::destroyed = 0;
bool SelfRemovingSet::destroyedDuringCall = false;
bool SelfRemovingSet::intactAfterRemove = false;

class SelfRemovingList : public TKQCaptionButtonsLst {
 public:
  std::unique_ptr<TKQCaptionButtons> CreateButtons(HWND wnd) override { return std::make_unique<SelfRemovingSet>(wnd); }
};

// The window's own procedure sends the removal message to itself while handling another one,
// so the removal happens two calls deep in the set.
LRESULT CALLBACK NestingProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kNestedRemove) return ::SendMessageA(wnd, kRemoveMe, 0, 0) + 1;
  if (msg == kRemoveMe) return 41;
  return ::DefWindowProcA(wnd, msg, wParam, lParam);
}

class RemovalDuringAMessage : public ::testing::Test {
 protected:
  void SetUp() override {
    SelfRemovingSet::destroyed = 0;
    SelfRemovingSet::destroyedDuringCall = false;
    SelfRemovingSet::intactAfterRemove = false;
  }
};

TEST_F(RemovalDuringAMessage, TheSetIsFreedOnlyWhenItsCallReturns) {
  SelfRemovingList list;
  TestFrame frame(TestFrame::kSizable, 0);
  HWND wnd = frame.Wnd();
  ASSERT_NE(list.Add(wnd), nullptr);
  frame.Log().messages.clear();
  ::SendMessageA(wnd, kRemoveMe, 0, 0);
  EXPECT_TRUE(SelfRemovingSet::intactAfterRemove);
  EXPECT_FALSE(SelfRemovingSet::destroyedDuringCall);
  EXPECT_EQ(SelfRemovingSet::destroyed, 1);
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_TRUE(frame.Saw(kRemoveMe));
  EXPECT_EQ(::GetWindowLongPtrA(wnd, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(TestFrame::OwnProc(false)));
  ::SendMessageA(wnd, kRemoveMe, 0, 0);  // nothing of the set is reached any more
  EXPECT_EQ(SelfRemovingSet::destroyed, 1);
}

TEST_F(RemovalDuringAMessage, ARemovalTwoCallsDeepWaitsForTheOutermostCall) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = NestingProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = "KQNestingFrame";
  ::RegisterClassA(&wc);
  HWND wnd = ::CreateWindowExA(0, "KQNestingFrame", "nesting", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                               ::GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(wnd, nullptr);
  {
    SelfRemovingList list;
    ASSERT_NE(list.Add(wnd), nullptr);
    EXPECT_EQ(::SendMessageA(wnd, kNestedRemove, 0, 0), 42);
    EXPECT_TRUE(SelfRemovingSet::intactAfterRemove);
    EXPECT_FALSE(SelfRemovingSet::destroyedDuringCall);
    EXPECT_EQ(SelfRemovingSet::destroyed, 1);
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(::GetWindowLongPtrA(wnd, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&NestingProc));
    EXPECT_EQ(::SendMessageA(wnd, kNestedRemove, 0, 0), 42);
  }
  ::DestroyWindow(wnd);
  ::UnregisterClassA("KQNestingFrame", ::GetModuleHandleA(nullptr));
}

// The dialog set of the hook's list: the host's remove code, sent while the set handles it.
TEST(DialogSetRemoval, TheRemoveCodeTakesTheSetOutOfButtonSetsAndTheWindowWorks) {
  ASSERT_NE(ButtonSets(), nullptr);
  TestFrame frame(TestFrame::kSizable, 0, false, true);
  HWND wnd = frame.Wnd();
  ASSERT_TRUE(AttachButtons(wnd));  // no host: nobody says no
  ASSERT_TRUE(ButtonSets()->HasWindow(wnd));
  EXPECT_EQ(ButtonSets()->Find(wnd)->Count(), 2);
  ::SendMessageA(wnd, ManageMsg, kManageRemoveButtons, 0);
  EXPECT_FALSE(ButtonSets()->HasWindow(wnd));
  EXPECT_EQ(::GetWindowLongPtrA(wnd, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(TestFrame::OwnProc(false)));
  ASSERT_TRUE(::SetWindowTextA(wnd, "still working"));
  EXPECT_EQ(frame.Log().lastTextA, "still working");
  // The remove code posted, as the host does.
  ASSERT_TRUE(AttachButtons(wnd));
  ::PostMessageA(wnd, ManageMsg, kManageRemoveButtons, 0);
  PumpMessagesFor(200);
  EXPECT_FALSE(ButtonSets()->HasWindow(wnd));
}

}  // namespace
}  // namespace kq::test
