// Where the buttons sit on test-built windows of known styles: the row to the left of the
// window's own caption buttons, for sizable windows, dialogs, tool windows and help buttons.
#include <gtest/gtest.h>

#include "captionbuttons/KQCaptionButton.h"
#include "common/KQUtils.h"
#include "tests/captionbuttons/CaptionFixtures.h"
#include "tests/support/TestWindows.h"

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

// The system's caption metrics, read where the test runs (they differ between systems and Wine
// versions). The worked example of the layout has buttons 18 x 18, frames 4, dialog frames 3 and
// small buttons 15: there button 0 of a sizable window sits at R-73..R-59 x R.Top+6..+20.
struct Metrics {
  int cx = ::GetSystemMetrics(SM_CXSIZE);
  int cy = ::GetSystemMetrics(SM_CYSIZE);
  int frame = ::GetSystemMetrics(SM_CXFRAME);
  int frameY = ::GetSystemMetrics(SM_CYFRAME);
  int dlg = ::GetSystemMetrics(SM_CXDLGFRAME);
  int dlgY = ::GetSystemMetrics(SM_CYDLGFRAME);
  int smx = ::GetSystemMetrics(SM_CXSMSIZE);
  int smy = ::GetSystemMetrics(SM_CYSMSIZE);

  // Minimise and maximise boxes together; the step of a button of the given spacing.
  int Boxes() const { return 2 * cx - 2; }
  int Step(int spacing, int buttonWidth) const { return spacing + buttonWidth - 2; }
};

class Layout : public ::testing::Test {
 protected:
  Metrics m;
};

TEST_F(Layout, SizableWindowMatchesTheWorkedExample) {
  TestFrame frame(TestFrame::kSizable, 0);
  TKQCaptionButtons set(frame.Wnd());
  AddTwo(set, frame.Wnd());
  // Left of close, minimise and maximise, one step of spacing 1; 4 pixels smaller than a system
  // button, 2 below the caption top.
  const LONG left0 = -(m.frame + m.cx + m.Boxes() + m.Step(1, m.cx));
  const LONG top = m.frameY + 2, bottom = top + m.cy - 4;
  ExpectRect(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)), left0, top, left0 + m.cx - 4, bottom,
             "button 0");
  const LONG left1 = left0 - m.Step(1, m.cx);
  ExpectRect(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 1, false)), left1, top, left1 + m.cx - 4, bottom,
             "button 1");

  // Window-relative: the same shape with the window's top-left corner at (0, 0).
  RECT window = {};
  ::GetWindowRect(frame.Wnd(), &window);
  const LONG width = window.right - window.left;
  ExpectRect(set.GetButtonRect(frame.Wnd(), 0, true), width + left0, top, width + left0 + m.cx - 4, bottom,
             "window-relative button 0");

  // Hit rectangle 2 pixels taller at top and bottom; hole 2 pixels smaller on every side.
  ExpectRect(FromTopRight(frame.Wnd(), set.GetHitRect(0)), left0, top - 2, left0 + m.cx - 4, bottom + 2,
             "hit rectangle");
  ExpectRect(FromTopRight(frame.Wnd(), set.GetHoleRect(0)), left0 + 2, top + 2, left0 + m.cx - 6, bottom - 2,
             "hole rectangle");
}

TEST_F(Layout, RightOffsetMovesTheWholeRowInwards) {
  TestFrame frame(TestFrame::kSizable, 0);
  TKQCaptionButtons set(frame.Wnd());
  AddTwo(set, frame.Wnd());
  const LONG left0 = FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)).left;
  const LONG left1 = FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 1, false)).left;
  set.SetRightOffset(7);
  EXPECT_EQ(set.RightOffset(), 7);
  EXPECT_EQ(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)).left, left0 - 7);
  EXPECT_EQ(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 1, false)).left, left1 - 7);
}

TEST_F(Layout, DialogWithoutSystemMenuStartsAtTheFrameEdge) {
  TestFrame frame(kDialogNoMenu, 0);
  TKQCaptionButtons set(frame.Wnd());
  AddTwo(set, frame.Wnd());
  // Button 0 one step in from the dialog frame, 2 below the dialog frame's caption top.
  const LONG left = -(m.dlg + m.Step(1, m.cx));
  const LONG top = m.dlgY + 2;
  ExpectRect(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)), left, top, left + m.cx - 4,
             top + m.cy - 4, "button 0");
  set.SetRightOffset(5);
  ExpectRect(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)), left - 5, top, left - 5 + m.cx - 4,
             top + m.cy - 4, "button 0 with offset 5");
}

TEST_F(Layout, HelpButtonCountsOnlyWithoutMinimiseAndMaximiseBoxes) {
  const int step = m.Step(1, m.cx);
  {
    TestFrame frame(kDialogWithMenu, WS_EX_CONTEXTHELP);
    TKQCaptionButtons set(frame.Wnd());
    AddTwo(set, frame.Wnd());
    // Frame, close, help, one step.
    EXPECT_EQ(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)).left, -(m.dlg + 2 * m.cx + step));
  }
  {
    TestFrame frame(kDialogWithMenu | WS_MINIMIZEBOX, WS_EX_CONTEXTHELP);
    TKQCaptionButtons set(frame.Wnd());
    AddTwo(set, frame.Wnd());
    // The help button is not shown with the boxes.
    EXPECT_EQ(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)).left,
              -(m.dlg + m.cx + m.Boxes() + step));
  }
  {
    TestFrame frame(kDialogWithMenu, 0);
    TKQCaptionButtons set(frame.Wnd());
    AddTwo(set, frame.Wnd());
    EXPECT_EQ(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)).left, -(m.dlg + m.cx + step));
  }
}

TEST_F(Layout, ToolWindowsUseTheSmallMetrics) {
  const LONG top = m.frameY + 2, bottom = top + m.smy - 4;
  const int step = m.Step(1, m.smx);
  {
    TestFrame frame(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX, WS_EX_TOOLWINDOW);
    TKQCaptionButtons set(frame.Wnd());
    AddTwo(set, frame.Wnd());
    // Frame and the small close button (boxes do not count on a tool window), small steps.
    const LONG left0 = -(m.frame + m.smx + step);
    ExpectRect(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)), left0, top, left0 + m.smx - 4,
               bottom, "button 0");
    ExpectRect(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 1, false)), left0 - step, top,
               left0 - step + m.smx - 4, bottom, "button 1");
  }
  {
    TestFrame frame(WS_POPUP | WS_CAPTION | WS_THICKFRAME, WS_EX_TOOLWINDOW);
    TKQCaptionButtons set(frame.Wnd());
    AddTwo(set, frame.Wnd());
    const LONG left = -(m.frame + step);
    ExpectRect(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)), left, top, left + m.smx - 4, bottom,
               "without system menu");
  }
}

TEST_F(Layout, HiddenButtonsKeepTheirPlace) {
  TestFrame frame(TestFrame::kSizable, 0);
  TKQCaptionButtons set(frame.Wnd());
  AddTwo(set, frame.Wnd(), false, true);
  EXPECT_TRUE(set.HasVisibleButtons());
  const LONG left1 = -(m.frame + m.cx + m.Boxes() + 2 * m.Step(1, m.cx));
  EXPECT_EQ(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 1, false)).left, left1)
      << "button 1 beside a hidden button 0";
  set.Button(1)->Visible = false;
  EXPECT_FALSE(set.HasVisibleButtons());
  EXPECT_EQ(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 1, false)).left, left1) << "button 1 hidden too";
}

TEST_F(Layout, SpacingWidensEachButtonsStep) {
  TestFrame frame(TestFrame::kSizable, 0);
  TKQCaptionButtons set(frame.Wnd());
  ASSERT_TRUE(set.AddButton(frame.Wnd(), 0, 5, nullptr, true));
  ASSERT_TRUE(set.AddButton(frame.Wnd(), 1, 0, nullptr, true));
  const int system = m.frame + m.cx + m.Boxes();
  EXPECT_EQ(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 0, false)).left, -(system + m.Step(5, m.cx)));
  EXPECT_EQ(FromTopRight(frame.Wnd(), set.GetButtonRect(frame.Wnd(), 1, false)).left,
            -(system + m.Step(5, m.cx) + m.Step(0, m.cx)));
}

// A window that answers WM_GETTITLEBARINFOEX, as windows of the 6.x systems do.
int g_TitleBarTop = 0;
DWORD g_AskedSize = 0;
LRESULT CALLBACK TitleBarProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_GETTITLEBARINFOEX && wParam == 0 && lParam) {
    auto* info = reinterpret_cast<TITLEBARINFOEX*>(lParam);
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
  ProcWindow window("KQTitleBarInfoFrame", TitleBarProc);
  HWND wnd = window.Wnd();
  ASSERT_NE(wnd, nullptr);
  {
    TKQCaptionButtons set(wnd);
    ASSERT_TRUE(set.AddButton(wnd, 0, 1, nullptr, true));
    g_TitleBarTop = 9;
    EXPECT_EQ(FromTopRight(wnd, set.GetButtonRect(wnd, 0, false)).top, 11);
    EXPECT_EQ(g_AskedSize, 140u);
    // A title bar that starts at the window's top says nothing: the frame metric stands.
    g_TitleBarTop = 0;
    EXPECT_EQ(FromTopRight(wnd, set.GetButtonRect(wnd, 0, false)).top, m.frameY + 2);
  }
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
