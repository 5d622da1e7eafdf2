// Where the buttons sit on test-built windows of known styles: the row to the left of the
// window's own caption buttons, for sizable windows, dialogs, tool windows and help buttons.
#include <gtest/gtest.h>

#include "captionbuttons/KQCaptionButton.h"
#include "shellwindows/KQUtils.h"
#include "tests/captionbuttons/CaptionFixtures.h"

namespace kq::test {
namespace {

constexpr DWORD kDialogNoMenu = WS_POPUP | WS_CAPTION;  // no system menu, no boxes, dialog frame
constexpr DWORD kDialogWithMenu = WS_POPUP | WS_CAPTION | WS_SYSMENU;

// The button rectangle relative to the window's top-right corner: (left - R.Right, top - R.Top,
// right - R.Right, bottom - R.Top).
RECT FromTopRight(HWND wnd, const RECT& r) {
  RECT window = {};
  ::GetWindowRect(wnd, &window);
  return {r.left - window.right, r.top - window.top, r.right - window.right, r.bottom - window.top};
}

void ExpectRect(const RECT& actual, LONG left, LONG top, LONG right, LONG bottom, const char* what) {
  EXPECT_EQ(actual.left, left) << what;
  EXPECT_EQ(actual.top, top) << what;
  EXPECT_EQ(actual.right, right) << what;
  EXPECT_EQ(actual.bottom, bottom) << what;
}

// Two buttons of spacing 1, as the dialog sets have.
void AddTwo(TKQCaptionButtons& set, HWND wnd, bool visible0 = true, bool visible1 = true) {
  ASSERT_TRUE(set.AddButton(wnd, 0, 1, nullptr, visible0));
  ASSERT_TRUE(set.AddButton(wnd, 1, 1, nullptr, visible1));
}

class Layout : public ::testing::Test {
 protected:
  void SetUp() override {
    // The numbers below are those of the worked example; they hold for this system's metrics.
    ASSERT_EQ(::GetSystemMetrics(SM_CXSIZE), 18);
    ASSERT_EQ(::GetSystemMetrics(SM_CYSIZE), 18);
    ASSERT_EQ(::GetSystemMetrics(SM_CXFRAME), 4);
    ASSERT_EQ(::GetSystemMetrics(SM_CYFRAME), 4);
    ASSERT_EQ(::GetSystemMetrics(SM_CXDLGFRAME), 3);
    ASSERT_EQ(::GetSystemMetrics(SM_CXSMSIZE), 15);
    ASSERT_EQ(::GetSystemMetrics(SM_CYSMSIZE), 15);
  }
};

TEST_F(Layout, SizableWindowMatchesTheWorkedExample) {
  TestFrame frame(TestFrame::kSizable, 0);
  TKQCaptionButtons set(frame.Wnd());
  AddTwo(set, frame.Wnd());
  ExpectRect(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)), -73, 6, -59, 20, "button 0");
  ExpectRect(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 1, false)), -90, 6, -76, 20, "button 1");

  // Window-relative: the same shape with the window's top-left corner at (0, 0).
  RECT window = {};
  ::GetWindowRect(frame.Wnd(), &window);
  const LONG width = window.right - window.left;
  ExpectRect(set.GetButtonRect(frame.Wnd(), 0, true), width - 73, 6, width - 59, 20, "window-relative button 0");

  // Hit rectangle 2 pixels taller at top and bottom; hole 2 pixels smaller on every side.
  ExpectRect(FromTopRight(frame.Wnd(), set.GetHitRect(0)), -73, 4, -59, 22, "hit rectangle");
  ExpectRect(FromTopRight(frame.Wnd(), set.GetHoleRect(0)), -71, 8, -61, 18, "hole rectangle");
}

TEST_F(Layout, RightOffsetMovesTheWholeRowInwards) {
  TestFrame frame(TestFrame::kSizable, 0);
  TKQCaptionButtons set(frame.Wnd());
  AddTwo(set, frame.Wnd());
  set.SetRightOffset(7);
  EXPECT_EQ(set.RightOffset(), 7);
  ExpectRect(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)), -80, 6, -66, 20, "button 0");
  ExpectRect(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 1, false)), -97, 6, -83, 20, "button 1");
}

TEST_F(Layout, DialogWithoutSystemMenuStartsAtTheFrameEdge) {
  TestFrame frame(kDialogNoMenu, 0);
  TKQCaptionButtons set(frame.Wnd());
  AddTwo(set, frame.Wnd());
  // Dialog frame 3 and caption top 3: button 0 one step (17) in from the frame.
  ExpectRect(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)), -20, 5, -6, 19, "button 0");
  set.SetRightOffset(5);
  ExpectRect(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)), -25, 5, -11, 19,
             "button 0 with offset 5");
}

TEST_F(Layout, HelpButtonCountsOnlyWithoutMinimiseAndMaximiseBoxes) {
  {
    TestFrame frame(kDialogWithMenu, WS_EX_CONTEXTHELP);
    TKQCaptionButtons set(frame.Wnd());
    AddTwo(set, frame.Wnd());
    // 3 + 18 (close) + 18 (help) + 17.
    EXPECT_EQ(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)).left, -56);
  }
  {
    TestFrame frame(kDialogWithMenu | WS_MINIMIZEBOX, WS_EX_CONTEXTHELP);
    TKQCaptionButtons set(frame.Wnd());
    AddTwo(set, frame.Wnd());
    // 3 + 18 + 34 (minimise and maximise) + 17; the help button is not shown with the boxes.
    EXPECT_EQ(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)).left, -72);
  }
  {
    TestFrame frame(kDialogWithMenu, 0);
    TKQCaptionButtons set(frame.Wnd());
    AddTwo(set, frame.Wnd());
    EXPECT_EQ(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)).left, -38);
  }
}

TEST_F(Layout, ToolWindowsUseTheSmallMetrics) {
  {
    TestFrame frame(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX, WS_EX_TOOLWINDOW);
    TKQCaptionButtons set(frame.Wnd());
    AddTwo(set, frame.Wnd());
    // Frame 4 + the small close button 15 (boxes do not count on a tool window); steps of
    // 1 + 15 - 2 = 14; buttons 11 x 11 from caption top 4 + 2.
    ExpectRect(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)), -33, 6, -22, 17, "button 0");
    ExpectRect(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 1, false)), -47, 6, -36, 17, "button 1");
  }
  {
    TestFrame frame(WS_POPUP | WS_CAPTION | WS_THICKFRAME, WS_EX_TOOLWINDOW);
    TKQCaptionButtons set(frame.Wnd());
    AddTwo(set, frame.Wnd());
    ExpectRect(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)), -18, 6, -7, 17,
               "without system menu");
  }
}

TEST_F(Layout, HiddenButtonsKeepTheirPlace) {
  TestFrame frame(TestFrame::kSizable, 0);
  TKQCaptionButtons set(frame.Wnd());
  AddTwo(set, frame.Wnd(), false, true);
  EXPECT_TRUE(set.HasVisibleButtons());
  ExpectRect(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 1, false)), -90, 6, -76, 20,
             "button 1 beside a hidden button 0");
  set.Button(1)->Visible = false;
  EXPECT_FALSE(set.HasVisibleButtons());
  ExpectRect(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 1, false)), -90, 6, -76, 20,
             "button 1 hidden too");
}

TEST_F(Layout, SpacingWidensEachButtonsStep) {
  TestFrame frame(TestFrame::kSizable, 0);
  TKQCaptionButtons set(frame.Wnd());
  ASSERT_TRUE(set.AddButton(frame.Wnd(), 0, 5, nullptr, true));
  ASSERT_TRUE(set.AddButton(frame.Wnd(), 1, 0, nullptr, true));
  EXPECT_EQ(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)).left, -(56 + 5 + 16));
  EXPECT_EQ(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 1, false)).left, -(56 + 21 + 16));
}

// A window that answers WM_GETTITLEBARINFOEX, as windows of the 6.x systems do.
int g_TitleBarTop = 0;
DWORD g_AskedSize = 0;
LRESULT CALLBACK TitleBarProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kWmGetTitleBarInfoEx && wParam == 0 && lParam) {
    auto* info = reinterpret_cast<TitleBarInfoEx*>(lParam);
    g_AskedSize = info->cbSize;
    RECT window = {};
    ::GetWindowRect(wnd, &window);
    info->rcTitleBar = {window.left + 4, window.top + g_TitleBarTop, window.right - 4, window.top + 30};
    return 1;
  }
  return ::DefWindowProcA(wnd, msg, wParam, lParam);
}

TEST_F(Layout, TheCaptionTopComesFromTheTitleBarInfoWhenTheWindowGivesOne) {
  ASSERT_TRUE(IsWinNT6());
  WNDCLASSA wc = {};
  wc.lpfnWndProc = TitleBarProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = "KQTitleBarInfoFrame";
  ASSERT_TRUE(::RegisterClassA(&wc));
  HWND wnd = ::CreateWindowExA(0, wc.lpszClassName, "info", TestFrame::kSizable, 60, 60, 400, 300, nullptr, nullptr,
                               wc.hInstance, nullptr);
  ASSERT_NE(wnd, nullptr);
  {
    TKQCaptionButtons set(wnd);
    ASSERT_TRUE(set.AddButton(wnd, 0, 1, nullptr, true));
    g_TitleBarTop = 9;
    EXPECT_EQ(FromTopRight(wnd, set.GetButtonRect(wnd, 0, false)).top, 11);
    EXPECT_EQ(g_AskedSize, 140u);
    // A title bar that starts at the window's top says nothing: the frame metric stands.
    g_TitleBarTop = 0;
    EXPECT_EQ(FromTopRight(wnd, set.GetButtonRect(wnd, 0, false)).top, 6);
  }
  ::DestroyWindow(wnd);
  ::UnregisterClassA(wc.lpszClassName, wc.hInstance);
}

TEST_F(Layout, AtMostEightButtons) {
  TestFrame frame(TestFrame::kSizable, 0);
  TKQCaptionButtons set(frame.Wnd());
  for (int i = 0; i < TKQCaptionButtons::kMaxButtons; ++i)
    EXPECT_TRUE(set.AddButton(frame.Wnd(), i, 1, nullptr, false));
  EXPECT_FALSE(set.AddButton(frame.Wnd(), 8, 1, nullptr, false));
  EXPECT_EQ(set.Count(), TKQCaptionButtons::kMaxButtons);
}

}  // namespace
}  // namespace kq::test
