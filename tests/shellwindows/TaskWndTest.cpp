// The window-tree utilities on test-built trees: descendant lists, searches, long class names,
// the message pump and rectangle moves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shellwindows/KQTaskWnd.h"
#include "tests/support/TestWindows.h"

namespace kq {
namespace {

using test::Child;
using test::ChildWindowExists;
using test::ExpectRect;
using test::FindWindowExDeep;
using test::R;
using test::TestWindowTree;
using test::WindowSpec;

HWND NotAWindow() { return reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7ffff0)); }

// root > A 10 > B 20 > C 30, root > D 40 > E 20
WindowSpec SampleTree() {
  return WindowSpec{
      "TaskRoot",
      0,
      {Child("TaskA", 10, {Child("TaskB", 20, {Child("TaskC", 30)})}), Child("TaskD", 40, {Child("TaskE", 20)})},
      false};
}

TEST(TaskWnd, ChildrenAreAllDescendantsInEnumerationOrder) {
  TestWindowTree tree(SampleTree(), 0);
  TTaskWnd task(tree.Root());
  ASSERT_EQ(task.ChildCount(), 5);
  const char* expected[] = {"TaskA", "TaskB", "TaskC", "TaskD", "TaskE"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(task.Child(i)->GetWndClassName(), expected[i]);
  EXPECT_EQ(task.Child(2)->Handle(), tree.Window({0, 0, 0}));
  EXPECT_EQ(task.Child(-1), nullptr);
  EXPECT_EQ(task.Child(5), nullptr);
  // A descendant object lists its own descendants.
  EXPECT_EQ(task.Child(0)->ChildCount(), 2);
  EXPECT_EQ(task.Child(2)->ChildCount(), 0);
}

TEST(TaskWnd, FindChildByIDFindsGrandchildrenWithoutRecursion) {
  TestWindowTree tree(SampleTree(), 0);
  TTaskWnd task(tree.Root());
  TTaskWnd* c = task.FindChildByID(30, false);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->Handle(), tree.Window({0, 0, 0}));
  // The first in list order: B comes before E.
  ASSERT_NE(task.FindChildByID(20, false), nullptr);
  EXPECT_EQ(task.FindChildByID(20, false)->Handle(), tree.Window({0, 0}));
  EXPECT_EQ(task.FindChildByID(20, true)->Handle(), tree.Window({0, 0}));
  EXPECT_EQ(task.FindChildByID(99, false), nullptr);
  EXPECT_EQ(task.FindChildByID(99, true), nullptr);
}

TEST(TaskWnd, FindChildByIDAndClassNeedsBothAndIgnoresCase) {
  TestWindowTree tree(SampleTree(), 0);
  TTaskWnd task(tree.Root());
  ASSERT_NE(task.FindChildByIDAndClass(20, "taske", false), nullptr);
  EXPECT_EQ(task.FindChildByIDAndClass(20, "taske", false)->Handle(), tree.Window({1, 0}));
  EXPECT_EQ(task.FindChildByIDAndClass(20, "TaskC", false), nullptr);
  EXPECT_EQ(task.FindChildByIDAndClass(20, "TaskC", true), nullptr);
  EXPECT_EQ(task.FindChildByIDAndClass(10, "TASKA", true)->Handle(), tree.Window({0}));
}

TEST(TaskWnd, RecursiveSearchDescendsIntoAnIdentifierMatchOfTheWrongClass) {
  TestWindowTree tree(WindowSpec{"TaskRoot", 0, {Child("Outer", 5, {Child("Inner", 5)})}, false}, 0);
  TTaskWnd task(tree.Root());
  TTaskWnd* inner = task.FindChildByIDAndClass(5, "Inner", true);
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->Handle(), tree.Window({0, 0}));
}

TEST(TaskWnd, TheListIsASnapshotUntilEnumChildren) {
  TestWindowTree tree(SampleTree(), 0);
  TTaskWnd task(tree.Root());
  ASSERT_EQ(task.ChildCount(), 5);
  HWND gone = tree.Window({1, 0});
  ::DestroyWindow(gone);
  HWND added = ::CreateWindowExA(0, "TaskA", "", WS_CHILD, 0, 0, 5, 5, tree.Root(), reinterpret_cast<HMENU>(77),
                                 ::GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(task.ChildCount(), 5);
  EXPECT_EQ(task.FindChildByID(77, false), nullptr);
  EXPECT_EQ(task.Child(4)->Handle(), gone);  // stale handle stays
  EXPECT_EQ(::GetDlgCtrlID(task.Child(4)->Handle()), 0);
  EXPECT_EQ(task.Child(4)->GetWndClassName(), "");

  task.EnumChildren();
  EXPECT_EQ(task.ChildCount(), 5);
  ASSERT_NE(task.FindChildByID(77, false), nullptr);
  EXPECT_EQ(task.FindChildByID(77, false)->Handle(), added);
  task.ClearChildren();
  EXPECT_EQ(task.ChildCount(), 5);  // built again on demand
}

TEST(TaskWnd, NonWindowsGiveNothing) {
  TTaskWnd task(NotAWindow());
  EXPECT_EQ(task.ChildCount(), 0);
  EXPECT_EQ(task.Child(0), nullptr);
  EXPECT_EQ(task.FindChildByID(0, true), nullptr);
  EXPECT_EQ(task.GetText(), "");
  EXPECT_EQ(task.GetWndClassName(), "");
}

TEST(TaskWnd, TextRoundTrip) {
  TestWindowTree tree(SampleTree(), 0);
  TTaskWnd task(tree.Window({0}));
  task.SetText("Look in: C:\\windows");
  EXPECT_EQ(task.GetText(), "Look in: C:\\windows");
  task.SetText("");
  EXPECT_EQ(task.GetText(), "");
  const std::string longText(1000, 'x');
  task.SetText(longText);
  EXPECT_EQ(task.GetText(), longText);
}

TEST(FindChildWindow, DepthFirstPreOrderAndExactIdentifier) {
  // root > P1 > Q (Edit 7);  root > P2 (Edit 7): Q comes first depth first.
  TestWindowTree tree(WindowSpec{"TaskRoot", 0, {Child("Panel", 1, {Child("Edit", 7)}), Child("Edit", 7)}, false}, 0);
  EXPECT_EQ(FindChildWindow(tree.Root(), "edit", 7), tree.Window({0, 0}));
  EXPECT_EQ(FindChildWindow(tree.Root(), "Edit", 8), nullptr);
  EXPECT_EQ(FindChildWindow(tree.Root(), "Panel", 1), tree.Window({0}));
  EXPECT_EQ(FindChildWindow(tree.Window({0}), "Edit", 7), tree.Window({0, 0}));
  EXPECT_TRUE(ChildWindowExists(tree.Root(), "EDIT", 7));
  EXPECT_FALSE(ChildWindowExists(tree.Root(), "Edit", 0));
  // The window itself is not its own descendant.
  EXPECT_EQ(FindChildWindow(tree.Root(), "TaskRoot", 0), nullptr);
}

TEST(FindChildWindow, NonWindowGivesZero) {
  EXPECT_EQ(FindChildWindow(NotAWindow(), "Edit", 0), nullptr);
  EXPECT_EQ(FindChildWindow(nullptr, "Edit", 0), nullptr);
  EXPECT_FALSE(ChildWindowExists(NotAWindow(), "Edit", 0));
}

TEST(FindWindowExDeep, FindsDirectChildrenFirstThenDeeper) {
  TestWindowTree tree(
      WindowSpec{"TaskRoot", 0, {Child("Panel", 1, {Child("Deep", 2, {Child("Deeper", 3)})}), Child("Deep", 4)}, false},
      0);
  // A direct child of the class is preferred to an earlier, deeper one.
  EXPECT_EQ(FindWindowExDeep(tree.Root(), nullptr, "Deep", nullptr), tree.Window({1}));
  EXPECT_EQ(FindWindowExDeep(tree.Root(), nullptr, "Deeper", nullptr), tree.Window({0, 0, 0}));
  // After the last direct match, the search goes below the direct children.
  EXPECT_EQ(FindWindowExDeep(tree.Root(), tree.Window({1}), "Deep", nullptr), tree.Window({0, 0}));
  ::SetWindowTextA(tree.Window({0, 0, 0}), "named");
  EXPECT_EQ(FindWindowExDeep(tree.Root(), nullptr, nullptr, "named"), tree.Window({0, 0, 0}));
  EXPECT_EQ(FindWindowExDeep(tree.Root(), nullptr, "Missing", nullptr), nullptr);
}

TEST(ClassNames, LongNamesAreComparedInTheirFirst79Characters) {
  const std::string full = "LongClassName_" + std::string(71, 'q');  // 85 characters
  ASSERT_EQ(full.size(), 85u);
  const std::string cut = full.substr(0, kClassNameBufferChars - 1);
  TestWindowTree tree(WindowSpec{"TaskRoot", 0, {Child(full, 12)}, false}, 0);
  HWND child = tree.Window({0});
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(GetWndClassName(child), cut);
  EXPECT_EQ(FindChildWindow(tree.Root(), cut.c_str(), 12), child);
  EXPECT_EQ(FindChildWindow(tree.Root(), full.c_str(), 12), nullptr);
  TTaskWnd task(tree.Root());
  EXPECT_NE(task.FindChildByIDAndClass(12, cut.c_str(), false), nullptr);
  EXPECT_EQ(task.FindChildByIDAndClass(12, full.c_str(), false), nullptr);
  // A name of 79 characters is kept whole; one of 80 loses its last.
  TestWindowTree exact(
      WindowSpec{"TaskRoot", 0, {Child(full.substr(0, 79), 1), Child(full.substr(0, 80) + "Z", 2)}, false}, 0);
  EXPECT_EQ(GetWndClassName(exact.Window({0})), full.substr(0, 79));
  EXPECT_EQ(GetWndClassName(exact.Window({1})), full.substr(0, 79));
}

TEST(ClassNames, NonWindowHasEmptyName) {
  EXPECT_EQ(GetWndClassName(NotAWindow()), "");
  EXPECT_EQ(GetWndClassName(nullptr), "");
}

TEST(MoveRectInside, KeepsSizeWhileItFits) {
  const RECT bounds = R(0, 0, 100, 80);
  ExpectRect(MoveRectInside(R(10, 10, 30, 30), bounds), R(10, 10, 30, 30));
  ExpectRect(MoveRectInside(R(-15, -5, 5, 15), bounds), R(0, 0, 20, 20));
  ExpectRect(MoveRectInside(R(90, 70, 120, 100), bounds), R(70, 50, 100, 80));
  ExpectRect(MoveRectInside(R(0, 0, 100, 80), bounds), R(0, 0, 100, 80));
  ExpectRect(MoveRectInside(R(-50, 10, -30, 30), R(-100, -100, 0, 0)), R(-50, -20, -30, 0));
}

TEST(MoveRectInside, LargerThanBoundsTakesBoundsEdges) {
  const RECT bounds = R(10, 20, 110, 100);
  ExpectRect(MoveRectInside(R(0, 30, 150, 50), bounds), R(10, 30, 110, 50));    // from the left
  ExpectRect(MoveRectInside(R(50, 30, 300, 50), bounds), R(10, 30, 110, 50));   // from the right
  ExpectRect(MoveRectInside(R(20, -40, 40, 200), bounds), R(20, 20, 40, 100));  // both vertical edges
  ExpectRect(MoveRectInside(R(-500, -500, 500, 500), bounds), bounds);
}

// A window counting the messages it is given.
struct Counter {
  static inline int received = 0;
  static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_APP) {
      ++received;
      return 0;
    }
    return ::DefWindowProcA(wnd, msg, wParam, lParam);
  }
};

class ProcessMessagesTest : public testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Counter::Proc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "LntrMessageCounter";
    ::RegisterClassA(&wc);
    wnd_ = ::CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(wnd_, nullptr);
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    Counter::received = 0;
  }
  void TearDown() override {
    ::DestroyWindow(wnd_);
    ::UnregisterClassA("LntrMessageCounter", ::GetModuleHandleA(nullptr));
  }
  HWND wnd_ = nullptr;
};

TEST_F(ProcessMessagesTest, EmptyQueueReturnsAtOnce) {
  const DWORD start = ::GetTickCount();
  ProcessMessages();
  MSG msg;
  EXPECT_FALSE(ProcessMessage(msg));
  EXPECT_LT(::GetTickCount() - start, 1000u);  // it would block forever if it waited
}

TEST_F(ProcessMessagesTest, RunsEveryWaitingMessage) {
  for (int i = 0; i < 5; ++i) ::PostMessageA(wnd_, WM_APP, 0, 0);
  ProcessMessages();
  EXPECT_EQ(Counter::received, 5);
  MSG msg;
  EXPECT_FALSE(::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(ProcessMessagesTest, QuitMetByThePumpReachesTheProgramsOwnLoop) {
  ::PostMessageA(wnd_, WM_APP, 0, 0);
  ::PostThreadMessageA(::GetCurrentThreadId(), WM_QUIT, 42, 0);
  ::PostMessageA(wnd_, WM_APP, 1, 0);
  ProcessMessages();
  EXPECT_EQ(Counter::received, 1);  // stopped at the WM_QUIT

  // The program's own loop: the remaining message, then the quit with its exit code.
  MSG msg;
  int loops = 0;
  BOOL got;
  while ((got = ::GetMessageA(&msg, nullptr, 0, 0)) > 0 && ++loops < 100) ::DispatchMessageA(&msg);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 42u);
  EXPECT_EQ(Counter::received, 2);
}

TEST_F(ProcessMessagesTest, QuitFromPostQuitMessageIsKeptToo) {
  ::PostQuitMessage(7);
  ProcessMessages();  // must neither loop on the quit nor swallow it
  ProcessMessages();
  MSG msg;
  EXPECT_EQ(::GetMessageA(&msg, nullptr, 0, 0), 0);
  EXPECT_EQ(msg.wParam, 7u);
}

}  // namespace
}  // namespace kq
