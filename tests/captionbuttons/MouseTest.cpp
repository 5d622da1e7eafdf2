// Mouse input on the buttons of a shown test window, synthesised with SendInput: press, drag,
// release, right button, lost capture, and the hit test the window answers.
#include <gtest/gtest.h>

#include "captionbuttons/KQCaptionButton.h"
#include "common/KQScoped.h"
#include "tests/captionbuttons/CaptionFixtures.h"
#include "tests/support/ChildProcess.h"

namespace kq::test {
namespace {

class Mouse : public ::testing::Test {
 protected:
  void SetUp() override {
    glyph_.reset(MakeSquareGlyph(RGB(255, 255, 255), RGB(255, 0, 0)));
    frame_ = std::make_unique<TestFrame>(TestFrame::kSizable, 0, false, true);
    wnd_ = frame_->Wnd();
    ShowActive(wnd_);
    set_ = std::make_unique<CountingSet>(wnd_);
    ASSERT_TRUE(set_->AddButton(wnd_, 0, 1, glyph_.get(), true));
    ASSERT_TRUE(set_->AddButton(wnd_, 1, 1, glyph_.get(), true));
    PumpMessagesFor(200);
    frame_->Log().messages.clear();
  }
  void TearDown() override {
    MouseButton(false);
    MouseButton(false, true);
    MoveMouseTo({0, 0});
    set_.reset();
    frame_.reset();
  }
  POINT ButtonCentre(int index) const { return CentreOf(set_->GetButtonRect(wnd_, index, false)); }
  POINT ClientCentre() const {
    RECT r = {};
    ::GetClientRect(wnd_, &r);
    POINT p = CentreOf(r);
    ::ClientToScreen(wnd_, &p);
    return p;
  }

  ScopedBitmap glyph_;
  std::unique_ptr<TestFrame> frame_;
  HWND wnd_ = nullptr;
  std::unique_ptr<CountingSet> set_;
};

TEST_F(Mouse, TheWindowReportsTheButtonsAsBorderAndTheRestOfTheCaptionAsCaption) {
  const POINT b0 = ButtonCentre(0);
  EXPECT_EQ(::SendMessageA(wnd_, WM_NCHITTEST, 0, MAKELPARAM(b0.x, b0.y)), HTBORDER);
  // The grown hit rectangle: 1 pixel above the button still hits.
  const RECT r0 = set_->GetButtonRect(wnd_, 0, false);
  EXPECT_EQ(::SendMessageA(wnd_, WM_NCHITTEST, 0, MAKELPARAM(b0.x, r0.top - 1)), HTBORDER);
  // Between the two buttons and beside the row: caption.
  const RECT r1 = set_->GetButtonRect(wnd_, 1, false);
  EXPECT_EQ(::SendMessageA(wnd_, WM_NCHITTEST, 0, MAKELPARAM(r1.right + 1, b0.y)), HTCAPTION);
  EXPECT_EQ(::SendMessageA(wnd_, WM_NCHITTEST, 0, MAKELPARAM(r1.left - 30, b0.y)), HTCAPTION);
  // A button that is not shown cannot be hit.
  set_->Button(0)->Visible = false;
  EXPECT_EQ(::SendMessageA(wnd_, WM_NCHITTEST, 0, MAKELPARAM(b0.x, b0.y)), HTCAPTION);
  set_->Button(0)->Visible = true;
  // The client area stays client: only caption answers are turned into button hits.
  const POINT client = ClientCentre();
  EXPECT_EQ(::SendMessageA(wnd_, WM_NCHITTEST, 0, MAKELPARAM(client.x, client.y)), HTCLIENT);
}

TEST_F(Mouse, PressAndReleaseOnAButtonIsAClick) {
  MoveMouseTo(ButtonCentre(0));
  MouseButton(true);
  EXPECT_EQ(set_->downs, 1);
  EXPECT_EQ(set_->lastDown, 0);
  EXPECT_FALSE(set_->lastDownRight);
  EXPECT_TRUE(set_->pushedAtDown);
  EXPECT_TRUE(set_->capturedAtDown);
  EXPECT_TRUE(set_->Tracking());
  MouseButton(false);
  EXPECT_EQ(set_->clicks, 1);
  EXPECT_EQ(set_->lastClick, 0);
  EXPECT_EQ(set_->ups, 1);
  EXPECT_FALSE(set_->Button(0)->Pushed);
  EXPECT_FALSE(set_->Tracking());
  EXPECT_NE(::GetCapture(), wnd_);
  // The press belonged to the button: the window's own procedure never saw it.
  EXPECT_FALSE(frame_->Saw(WM_NCLBUTTONDOWN));
}

TEST_F(Mouse, PressDragOffAndReleaseIsNoClickAndLeavesTheButtonUp) {
  MoveMouseTo(ButtonCentre(1));
  MouseButton(true);
  ASSERT_EQ(set_->downs, 1);
  EXPECT_EQ(set_->lastDown, 1);
  EXPECT_TRUE(set_->Button(1)->Pushed);
  // The pushed look follows the pointer.
  MoveMouseTo(ClientCentre());
  EXPECT_FALSE(set_->Button(1)->Pushed);
  EXPECT_TRUE(set_->Tracking());
  MoveMouseTo(ButtonCentre(1));
  EXPECT_TRUE(set_->Button(1)->Pushed);
  // Onto the other button: still not a press of that one.
  MoveMouseTo(ButtonCentre(0));
  EXPECT_FALSE(set_->Button(1)->Pushed);
  EXPECT_FALSE(set_->Button(0)->Pushed);
  MoveMouseTo(ClientCentre());
  MouseButton(false);
  EXPECT_EQ(set_->clicks, 0);
  EXPECT_EQ(set_->ups, 1);
  EXPECT_EQ(set_->downs, 1);
  EXPECT_FALSE(set_->Button(0)->Pushed);
  EXPECT_FALSE(set_->Button(1)->Pushed);
  EXPECT_FALSE(set_->Tracking());
  EXPECT_NE(::GetCapture(), wnd_);
}

TEST_F(Mouse, RightButtonPressesAreReportedAsRight) {
  MoveMouseTo(ButtonCentre(0));
  MouseButton(true, true);
  EXPECT_EQ(set_->downs, 1);
  EXPECT_TRUE(set_->lastDownRight);
  MouseButton(false, true);
  EXPECT_EQ(set_->ups, 1);
  EXPECT_TRUE(set_->lastUpRight);
  EXPECT_EQ(set_->clicks, 1);
  EXPECT_FALSE(set_->Tracking());
  EXPECT_FALSE(frame_->Saw(WM_NCRBUTTONDOWN));
}

TEST_F(Mouse, ADoubleClickOnAButtonIsASecondPress) {
  const POINT b0 = ButtonCentre(0);
  ::SendMessageA(wnd_, WM_NCLBUTTONDOWN, HTBORDER, MAKELPARAM(b0.x, b0.y));
  ::SendMessageA(wnd_, WM_LBUTTONUP, 0, MAKELPARAM(0, 0));
  ::SendMessageA(wnd_, WM_NCLBUTTONDBLCLK, HTBORDER, MAKELPARAM(b0.x, b0.y));
  EXPECT_EQ(set_->downs, 2);
  EXPECT_TRUE(set_->Tracking());
  ::SendMessageA(wnd_, WM_LBUTTONUP, 0, MAKELPARAM(0, 0));
  EXPECT_FALSE(set_->Tracking());
  EXPECT_EQ(set_->ups, 2);
  EXPECT_FALSE(frame_->Saw(WM_NCLBUTTONDBLCLK));
}

TEST_F(Mouse, APressTheWindowDoesNotReportAsOnAButtonIsTheWindows) {
  // The window answered something else than caption for this point: its press is its own.
  const POINT b0 = ButtonCentre(0);
  ::SendMessageA(wnd_, WM_NCLBUTTONDOWN, HTCLIENT, MAKELPARAM(b0.x, b0.y));
  EXPECT_EQ(set_->downs, 0);
  EXPECT_FALSE(set_->Tracking());
  EXPECT_TRUE(frame_->Saw(WM_NCLBUTTONDOWN));
  EXPECT_NE(::GetCapture(), wnd_);
}

TEST_F(Mouse, CaptureTakenByAnotherWindowEndsThePress) {
  TestFrame other(TestFrame::kSizable, 0, false, false, 500, 400);
  MoveMouseTo(ButtonCentre(0));
  MouseButton(true);
  ASSERT_TRUE(set_->Tracking());
  ASSERT_EQ(::GetCapture(), wnd_);
  ::SetCapture(other.Wnd());
  PumpMessagesFor(100);
  EXPECT_FALSE(set_->Tracking());
  EXPECT_FALSE(set_->Button(0)->Pushed);
  EXPECT_EQ(set_->ups, 1);
  EXPECT_EQ(set_->clicks, 0);
  // The window still heard that it lost the capture.
  EXPECT_TRUE(frame_->Saw(WM_CAPTURECHANGED));
  ::ReleaseCapture();
  // The release that follows is the window's own business now: no click, no second release.
  MouseButton(false);
  EXPECT_EQ(set_->clicks, 0);
  EXPECT_EQ(set_->ups, 1);
  // The buttons work again afterwards.
  MouseButton(true);
  MouseButton(false);
  EXPECT_EQ(set_->downs, 2);
  EXPECT_EQ(set_->clicks, 1);
}

TEST_F(Mouse, CaptureReleasedBySomeoneElseEndsThePress) {
  MoveMouseTo(ButtonCentre(1));
  MouseButton(true);
  ASSERT_TRUE(set_->Tracking());
  ::ReleaseCapture();
  PumpMessagesFor(100);
  EXPECT_FALSE(set_->Tracking());
  EXPECT_FALSE(set_->Button(1)->Pushed);
  EXPECT_EQ(set_->ups, 1);
  MouseButton(false);
  EXPECT_EQ(set_->clicks, 0);
  EXPECT_EQ(set_->ups, 1);
}

TEST_F(Mouse, DestroyingASetWhileAButtonIsHeldGivesTheCaptureBack) {
  MoveMouseTo(ButtonCentre(0));
  MouseButton(true);
  ASSERT_EQ(::GetCapture(), wnd_);
  set_.reset();
  EXPECT_NE(::GetCapture(), wnd_);
  MouseButton(false);
  EXPECT_EQ(::GetWindowLongPtrA(wnd_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(TestFrame::OwnProc(false)));
}

}  // namespace
}  // namespace kq::test
