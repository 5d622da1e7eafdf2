// What the buttons look like on the screen: pixels read back from the screen inside and around
// the buttons of a shown test window, with visual styles and with classic frames.
#include <gtest/gtest.h>

#include <windows.h>

#include <uxtheme.h>

#include <memory>

#include "captionbuttons/KQCaptionButton.h"
#include "common/KQScoped.h"
#include "tests/captionbuttons/CaptionFixtures.h"
#include "tests/support/ChildProcess.h"

namespace kq::test {
namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr DWORD kPaintMs = 400;

// The bounding box of the pixels of one colour within area; empty when there are none.
RECT BoxOf(const ScreenPixels& shot, const RECT& area, COLORREF colour) {
  RECT box = {area.right, area.bottom, area.left, area.top};
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x)
      if (shot.At(x, y) == colour) {
        box.left = std::min<LONG>(box.left, x);
        box.top = std::min<LONG>(box.top, y);
        box.right = std::max<LONG>(box.right, x + 1);
        box.bottom = std::max<LONG>(box.bottom, y + 1);
      }
  if (box.left >= box.right) return {};
  return box;
}

// Classic frames: the application's theme properties stop allowing themed controls, so visual
// styles are not in use while the case runs.
class ClassicLook {
 public:
  ClassicLook() : saved_(::GetThemeAppProperties()) {
    ::SetThemeAppProperties(STAP_ALLOW_NONCLIENT);
    RefreshVisualStyles();
  }
  ~ClassicLook() {
    ::SetThemeAppProperties(saved_);
    RefreshVisualStyles();
  }

 private:
  DWORD saved_;
};

class Painting : public ::testing::Test {
 protected:
  void SetUp() override {
    red_.reset(MakeSquareGlyph(kWhite, kRed));
    blue_.reset(MakeSquareGlyph(kWhite, kBlue));
    ASSERT_TRUE(red_ && blue_);
  }
  ScopedBitmap red_, blue_;
};

TEST_F(Painting, GlyphsShowInsideTheButtonsAndTheCaptionIsUntouchedAround) {
  ASSERT_TRUE(VisualStylesInUse());
  TestFrame frame(TestFrame::kSizable, 0, false, true);
  HWND wnd = frame.Wnd();
  ShowActive(wnd);
  const ScreenPixels before(WindowRectOf(wnd));

  TKQCaptionButtons set(wnd);
  ASSERT_TRUE(set.AddButton(wnd, 0, 1, red_.get(), true));
  ASSERT_TRUE(set.AddButton(wnd, 1, 1, blue_.get(), true));
  PumpMessagesFor(kPaintMs);
  const ScreenPixels after(WindowRectOf(wnd));

  const RECT b0 = set.GetButtonRect(wnd, 0, false), b1 = set.GetButtonRect(wnd, 1, false);
  // The ink square of each glyph (10 of 16 pixels wide) shrinks to about 7 x 7 in the button.
  EXPECT_GE(after.Count(b0, kRed), 30);
  EXPECT_GE(after.Count(b1, kBlue), 30);
  EXPECT_EQ(after.Count(b1, kRed), 0);
  EXPECT_EQ(after.Count(b0, kBlue), 0);
  // Nothing of the glyphs outside their buttons, and the caption around them as it was.
  const RECT band = CaptionBandOf(wnd);
  EXPECT_EQ(after.Count(band, kRed), after.Count(b0, kRed));
  EXPECT_EQ(before.Differences(after, WindowRectOf(wnd), {b0, b1}), 0);
  // The button is drawn over the caption: inside it the pixels changed.
  EXPECT_GT(before.Differences(after, b0), 60);
}

TEST_F(Painting, SettingTheTextKeepsTheButtonsAndStoresTheText) {
  TestFrame frame(TestFrame::kSizable, 0, false, true);
  HWND wnd = frame.Wnd();
  ShowActive(wnd);
  TKQCaptionButtons set(wnd);
  ASSERT_TRUE(set.AddButton(wnd, 0, 1, red_.get(), true));
  PumpMessagesFor(kPaintMs);
  ASSERT_TRUE(::SetWindowTextA(wnd, "A new caption text"));
  PumpMessagesFor(kPaintMs);
  char text[64] = {};
  ::GetWindowTextA(wnd, text, sizeof(text));
  EXPECT_STREQ(text, "A new caption text");
  EXPECT_EQ(frame.Log().lastTextA, "A new caption text");
  EXPECT_NE(::GetWindowLongA(wnd, GWL_STYLE) & WS_VISIBLE, 0);
  const ScreenPixels shot(WindowRectOf(wnd));
  EXPECT_GE(shot.Count(set.GetButtonRect(wnd, 0, false), kRed), 30);
  // Activation repaints the caption; the button is painted with it.
  TestFrame other(TestFrame::kSizable, 0, false, true, 600, 500);
  ShowActive(other.Wnd());
  ShowActive(wnd);
  const ScreenPixels again(WindowRectOf(wnd));
  EXPECT_GE(again.Count(set.GetButtonRect(wnd, 0, false), kRed), 30);
}

TEST_F(Painting, ClassicFramesAreButtonFacedNotBlack) {
  ClassicLook classic;
  ASSERT_FALSE(VisualStylesInUse());
  TestFrame frame(TestFrame::kSizable, 0, false, true);
  HWND wnd = frame.Wnd();
  ShowActive(wnd);
  TKQCaptionButtons set(wnd);
  // Both buttons hidden when added and shown later, as a changed setting does.
  ASSERT_TRUE(set.AddButton(wnd, 0, 1, red_.get(), false));
  ASSERT_TRUE(set.AddButton(wnd, 1, 1, blue_.get(), false));
  set.Button(0)->Visible = true;
  set.Button(1)->Visible = true;
  set.Refresh();
  PumpMessagesFor(kPaintMs);
  const ScreenPixels shot(WindowRectOf(wnd));
  const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
  for (int i = 0; i < 2; ++i) {
    const RECT b = set.GetButtonRect(wnd, i, false);
    EXPECT_GE(shot.Count(b, face), 30) << "button " << i;
    EXPECT_LT(shot.Count(b, kBlack), 30) << "button " << i;
    EXPECT_GE(shot.Count(b, i == 0 ? kRed : kBlue), 30) << "button " << i;
  }
}

TEST_F(Painting, SkinlessSetsWithoutSkinBitmapsAreNotBlack) {
  ClassicLook classic;
  TestFrame frame(TestFrame::kSizable, 0, false, true);
  HWND wnd = frame.Wnd();
  ShowActive(wnd);
  TKQCaptionButtons set(wnd);
  ASSERT_TRUE(set.AddButton(wnd, 0, 1, red_.get(), true));
  set.UseSystemLook = false;
  // No skin given (a skin bitmap failed to load): the system frame stays.
  EXPECT_FALSE(set.SetFrameBitmaps(nullptr, nullptr));
  PumpMessagesFor(kPaintMs);
  const ScreenPixels shot(WindowRectOf(wnd));
  const RECT b = set.GetButtonRect(wnd, 0, false);
  EXPECT_GE(shot.Count(b, ::GetSysColor(COLOR_BTNFACE)), 30);
  EXPECT_LT(shot.Count(b, kBlack), 30);
}

TEST_F(Painting, WithStylesTheGlyphSitsOnePixelLowerThanOnClassicFrames) {
  TestFrame frame(TestFrame::kSizable, 0, false, true);
  HWND wnd = frame.Wnd();
  ShowActive(wnd);
  TKQCaptionButtons set(wnd);
  ASSERT_TRUE(set.AddButton(wnd, 0, 1, red_.get(), true));
  PumpMessagesFor(kPaintMs);
  const RECT b0 = set.GetButtonRect(wnd, 0, false);
  const RECT styled = BoxOf(ScreenPixels(WindowRectOf(wnd)), b0, kRed);
  RECT classicBox = {};
  {
    ClassicLook classic;
    // The theme change rebuilds the frames but does not repaint: the owner refreshes.
    ::SendMessageA(wnd, WM_THEMECHANGED, 0, 0);
    set.Refresh();
    PumpMessagesFor(kPaintMs);
    classicBox = BoxOf(ScreenPixels(WindowRectOf(wnd)), b0, kRed);
  }
  ASSERT_GT(styled.bottom, styled.top);
  ASSERT_GT(classicBox.bottom, classicBox.top);
  EXPECT_EQ(styled.top, classicBox.top + 1);
  EXPECT_EQ(styled.left, classicBox.left);
  EXPECT_EQ(styled.bottom - styled.top, classicBox.bottom - classicBox.top);
}

TEST_F(Painting, PushedButtonsMoveTheirGlyphByOnePixel) {
  TestFrame frame(TestFrame::kSizable, 0, false, true);
  HWND wnd = frame.Wnd();
  ShowActive(wnd);
  TKQCaptionButtons set(wnd);
  ASSERT_TRUE(set.AddButton(wnd, 0, 1, red_.get(), true));
  PumpMessagesFor(kPaintMs);
  const RECT b0 = set.GetButtonRect(wnd, 0, false);
  const RECT released = BoxOf(ScreenPixels(WindowRectOf(wnd)), b0, kRed);
  set.Button(0)->Pushed = true;
  set.Refresh();
  PumpMessagesFor(kPaintMs);
  const RECT pushed = BoxOf(ScreenPixels(WindowRectOf(wnd)), b0, kRed);
  EXPECT_EQ(pushed.left, released.left + 1);
  EXPECT_EQ(pushed.top, released.top + 1);
}

TEST_F(Painting, HiddenButtonsLeaveTheWindowAsIfNoSetWereThere) {
  TestFrame frame(TestFrame::kSizable, 0, false, true);
  HWND wnd = frame.Wnd();
  ShowActive(wnd);
  const ScreenPixels before(WindowRectOf(wnd));
  TKQCaptionButtons set(wnd);
  ASSERT_TRUE(set.AddButton(wnd, 0, 1, red_.get(), false));
  ::SetWindowPos(wnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  PumpMessagesFor(kPaintMs);
  const ScreenPixels after(WindowRectOf(wnd));
  EXPECT_EQ(before.Differences(after, WindowRectOf(wnd)), 0);
  // The settings message is swallowed all the same; everything else reaches the window.
  frame.Log().messages.clear();
  ::SendMessageA(wnd, UpdateButtonMsg, 0, 0);
  ::SendMessageA(wnd, WM_NCHITTEST, 0, MAKELPARAM(0, 0));
  EXPECT_FALSE(frame.Saw(UpdateButtonMsg));
  EXPECT_TRUE(frame.Saw(WM_NCHITTEST));
}

}  // namespace
}  // namespace kq::test
