// The user's settings applied to a real Open dialog in another process: the stand-in host turns
// the hooks on, a helper opens the dialog, the test writes the settings as the host does and sends
// "Lanterna_UpdateButton" through the host, and looks at the dialog from outside: its layered
// attributes, its rectangle, its file list's view mode and the pixels of its caption buttons.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "captionbuttons/KQCaptionButton.h"
#include "dialogbuttons/KQVSettings.h"
#include "shellwindows/KQTaskWnd.h"
#include "tests/dialogbuttons/SettingsFixtures.h"
#include "tests/support/HostProcess.h"
#include "tests/support/MouseInput.h"
#include "tests/support/TestWindows.h"

namespace kq::test {
namespace {

constexpr DWORD kPaintMs = 300;  // what the set painted reaches the screen
constexpr int kButtonPixels = 14 * 14;
constexpr int kTolerance = 8;  // a channel's difference that is still the same colour on screen

// A host with the hooks on and one Open dialog with its set, settings written before it opened.
class LiveDialog : public ::testing::Test {
 protected:
  void Open(const std::string& mode = "open", const std::vector<std::string>& extra = {}) {
    ASSERT_TRUE(host_.Start());
    dialog_ = std::make_unique<OpenedDialog>(mode, "S", extra);
    ASSERT_NE(dialog_->Dialog(), nullptr);
    PumpMessagesFor(kPaintMs);
  }
  HWND Dialog() const { return dialog_->Dialog(); }

  // As the host does after the user changed the options.
  void Update() {
    char command[96];
    std::snprintf(command, sizeof(command), "send %p Lanterna_UpdateButton 0 0", static_cast<void*>(Dialog()));
    ASSERT_TRUE(host_.Command(command));
    PumpMessagesFor(kPaintMs);
  }

  RECT Rect() const {
    RECT r = {};
    ::GetWindowRect(Dialog(), &r);
    return r;
  }

  HWND FileList() const {
    // The classic dialog's own view, or the one of the item dialog's Explorer browser.
    HWND view = FindWindowExDeep(Dialog(), nullptr, "SHELLDLL_DefView", nullptr);
    return view ? ::FindWindowExA(view, nullptr, "SysListView32", nullptr) : nullptr;
  }
  DWORD ViewType() const { return static_cast<DWORD>(::GetWindowLongA(FileList(), GWL_STYLE)) & LVS_TYPEMASK; }

  bool Layered() const { return IsLayered(Dialog()); }
  int Alpha() const { return LayeredAlpha(Dialog()); }

  ScreenPixels Button(int index, int rightOffset = 0) const {
    return ScreenPixels(DialogButtonRect(Dialog(), index, rightOffset));
  }
  // The plain caption, a button's size, in the middle of the title bar.
  ScreenPixels Caption() const {
    const RECT b = DialogButtonRect(Dialog(), 0);
    const RECT w = Rect();
    const int left = (w.left + w.right) / 2;
    return ScreenPixels({left, b.top, left + (b.right - b.left), b.bottom});
  }
  bool ShowsCaptionOnly(const ScreenPixels& pixels) const { return pixels.CountDifferent(Caption(), kTolerance) <= 2; }

  SettingsKey settings_;
  HostProcess host_;
  std::unique_ptr<OpenedDialog> dialog_;
};

// The mean colour of a button's outer ring, where the frame shows and the glyph does not.
struct Mean {
  int r, g, b;
};
Mean RingMean(const ScreenPixels& p) {
  long r = 0, g = 0, b = 0, n = 0;
  for (int y = 0; y < p.Height(); ++y)
    for (int x = 0; x < p.Width(); ++x) {
      if (x > 1 && y > 1 && x < p.Width() - 2 && y < p.Height() - 2) continue;
      const COLORREF c = p.At(p.Rect().left + x, p.Rect().top + y);
      r += GetRValue(c), g += GetGValue(c), b += GetBValue(c), ++n;
    }
  return {static_cast<int>(r / n), static_cast<int>(g / n), static_cast<int>(b / n)};
}

std::string Describe(const Mean& m) {
  char text[64];
  std::snprintf(text, sizeof(text), "ring mean r=%d g=%d b=%d", m.r, m.g, m.b);
  return text;
}

TEST_F(LiveDialog, TransparencyMakesTheDialogLayeredWithThatAlpha) {
  settings_.Set(kDlgTranspaency, "200");
  Open();
  EXPECT_TRUE(Layered());
  EXPECT_EQ(Alpha(), 200);

  settings_.Set(kDlgTranspaency, "120");
  Update();
  EXPECT_EQ(Alpha(), 120);

  settings_.Set(kDlgTranspaency, "255");
  Update();
  EXPECT_FALSE(Layered());

  // Only the low 8 bits are the alpha, and 255 or more is opaque.
  settings_.Set(kDlgTranspaency, "456");
  Update();
  EXPECT_FALSE(Layered());
  settings_.Set(kDlgTranspaency, "90");
  Update();
  EXPECT_EQ(Alpha(), 90);
  settings_.Remove(kDlgTranspaency);  // the default is opaque
  Update();
  EXPECT_FALSE(Layered());
}

// A DWORD where the transparency string belongs ends the first group there and skips the whole
// second group: what came before it is applied, nothing after it.
TEST_F(LiveDialog, DwordTransparencySkipsTheRestOfTheFirstGroupAndAllOfTheSecond) {
  settings_.Set(kShiftCaptionButton, "40");
  settings_.Set(kCaptionButtonSkinType, "1");
  settings_.SetDword(kDlgTranspaency, 200);
  settings_.Set(kDlgResize, "1");
  settings_.Set(kDlgWidth, "800");
  settings_.Set(kDlgHeight, "520");
  settings_.Set(kViewStyle, "5");
  settings_.Set(kHideFavoritesButton, "1");
  Open();
  const RECT opened = Rect();
  const DWORD openedView = ViewType();

  EXPECT_FALSE(Layered());
  EXPECT_NE(opened.right - opened.left, 800);
  EXPECT_NE(openedView, static_cast<DWORD>(LVS_REPORT));
  // Shift and skin came first: the Favourites button is blue, 40 pixels to the left, and shown.
  const ScreenPixels shifted = Button(0, 40);
  shifted.Save("dword_shifted_button");
  const Mean m = RingMean(shifted);
  EXPECT_GT(m.b - m.r, 60) << Describe(m);
  EXPECT_TRUE(ShowsCaptionOnly(Button(0))) << "nothing where the unshifted button would be";

  // An update with the DWORD still there changes nothing of the rest either.
  Update();
  EXPECT_FALSE(Layered());
  EXPECT_EQ(Rect().right - Rect().left, opened.right - opened.left);
  EXPECT_EQ(ViewType(), openedView);
  EXPECT_FALSE(ShowsCaptionOnly(Button(0, 40)));

  // As a string it is read, and everything after it with it.
  settings_.Set(kDlgTranspaency, "200");
  Update();
  EXPECT_EQ(Alpha(), 200);
  const RECT resized = Rect();
  EXPECT_EQ(resized.right - resized.left, 800);
  EXPECT_EQ(resized.bottom - resized.top, 520);
  EXPECT_EQ(ViewType(), static_cast<DWORD>(LVS_REPORT));
  EXPECT_TRUE(ShowsCaptionOnly(Button(0, 40))) << "Favourites hidden";
  EXPECT_FALSE(ShowsCaptionOnly(Button(1, 40))) << "History still shown";
}

// The new rectangle keeps the old centre, moved into the screen and cut to it.
RECT Expected(const RECT& old, int width, int height) {
  const int x = old.left + (old.right - old.left) / 2 - width / 2;
  const int y = old.top + (old.bottom - old.top) / 2 - height / 2;
  const RECT screen = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  return MoveRectInside({x, y, x + width, y + height}, screen);
}

bool OnScreen(const RECT& r) {
  return r.left >= 0 && r.top >= 0 && r.right <= ::GetSystemMetrics(SM_CXSCREEN) &&
         r.bottom <= ::GetSystemMetrics(SM_CYSCREEN);
}

TEST_F(LiveDialog, ResizeCentresTheDialogAndKeepsItOnTheScreen) {
  Open();
  const int cx = ::GetSystemMetrics(SM_CXSCREEN), cy = ::GetSystemMetrics(SM_CYSCREEN);
  ASSERT_TRUE(::SetWindowPos(Dialog(), nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
  PumpMessagesFor(kPaintMs);
  const RECT before = Rect();
  settings_.Set(kDlgResize, "1");
  settings_.Set(kDlgWidth, "800");
  settings_.Set(kDlgHeight, "520");
  Update();
  ExpectRect(Rect(), Expected(before, 800, 520));

  // The user moves it into the bottom-right corner: the next update brings it back on the screen.
  ASSERT_TRUE(::SetWindowPos(Dialog(), nullptr, cx - 200, cy - 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
  PumpMessagesFor(kPaintMs);
  const RECT corner = Rect();
  Update();
  const RECT inside = Rect();
  ExpectRect(inside, Expected(corner, 800, 520));
  EXPECT_EQ(inside.right, cx);
  EXPECT_EQ(inside.bottom, cy);

  // The user resizes it: the next update resizes it back.
  ASSERT_TRUE(::SetWindowPos(Dialog(), nullptr, 100, 100, 900, 600, SWP_NOZORDER | SWP_NOACTIVATE));
  PumpMessagesFor(kPaintMs);
  Update();
  ExpectRect(Rect(), Expected({100, 100, 1000, 700}, 800, 520));

  // Wider than the screen: at x = 0 and cut to the screen's width.
  settings_.Set(kDlgWidth, std::to_string(cx + 400));
  Update();
  EXPECT_EQ(Rect().left, 0);
  EXPECT_EQ(Rect().right, cx);
  EXPECT_EQ(Rect().bottom - Rect().top, 520);

  // Resizing off: the dialog stays as it is.
  settings_.Set(kDlgResize, "0");
  const RECT last = Rect();
  Update();
  ExpectRect(Rect(), last);
}

// Wine's Open dialog does not get smaller than it opened (its minimum tracking size): asked for
// less, it keeps its own size, centred where it was and still wholly on the screen.
TEST_F(LiveDialog, ADialogKeepingItsOwnSizeIsCentredOnTheScreen) {
  Open();
  const int cx = ::GetSystemMetrics(SM_CXSCREEN), cy = ::GetSystemMetrics(SM_CYSCREEN);
  const RECT own = Rect();
  ASSERT_TRUE(::SetWindowPos(Dialog(), nullptr, cx - 300, cy - 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
  PumpMessagesFor(kPaintMs);
  const RECT corner = Rect();
  settings_.Set(kDlgResize, "1");  // 428 x 294 by default
  Update();
  const RECT kept = Rect();
  EXPECT_EQ(kept.right - kept.left, own.right - own.left);
  EXPECT_EQ(kept.bottom - kept.top, own.bottom - own.top);
  EXPECT_TRUE(OnScreen(kept)) << kept.left << "," << kept.top << " - " << kept.right << "," << kept.bottom;
  ExpectRect(kept, Expected(corner, own.right - own.left, own.bottom - own.top));
}

TEST_F(LiveDialog, ResizeAppliesWhenTheDialogOpens) {
  settings_.Set(kDlgResize, "1");
  settings_.Set(kDlgWidth, "820");
  settings_.Set(kDlgHeight, "540");
  Open();
  EXPECT_EQ(Rect().right - Rect().left, 820);
  EXPECT_EQ(Rect().bottom - Rect().top, 540);
  EXPECT_TRUE(OnScreen(Rect()));
}

TEST_F(LiveDialog, ViewStyleSwitchesTheFileListsViewMode) {
  settings_.Set(kViewStyle, "5");
  Open();
  EXPECT_EQ(ViewType(), static_cast<DWORD>(LVS_REPORT)) << "at once, when the set is made";

  settings_.Set(kViewStyle, "3");
  Update();
  EXPECT_EQ(ViewType(), static_cast<DWORD>(LVS_SMALLICON));
  settings_.Set(kViewStyle, "4");
  Update();
  EXPECT_EQ(ViewType(), static_cast<DWORD>(LVS_LIST));
  settings_.Set(kViewStyle, "261");  // low 8 bits: 5
  Update();
  EXPECT_EQ(ViewType(), static_cast<DWORD>(LVS_REPORT));
  // Sent again at every reading: the user's own change is undone.
  ::SetWindowLongA(FileList(), GWL_STYLE, (::GetWindowLongA(FileList(), GWL_STYLE) & ~LVS_TYPEMASK) | LVS_LIST);
  Update();
  EXPECT_EQ(ViewType(), static_cast<DWORD>(LVS_REPORT));
  // 0 and values beyond the table leave the list alone.
  for (const char* untouched : {"0", "6", "256", "x"}) {
    ::SetWindowLongA(FileList(), GWL_STYLE, (::GetWindowLongA(FileList(), GWL_STYLE) & ~LVS_TYPEMASK) | LVS_ICON);
    settings_.Set(kViewStyle, untouched);
    Update();
    EXPECT_EQ(ViewType(), static_cast<DWORD>(LVS_ICON)) << untouched;
  }
}

// The same settings reach a Unicode Save dialog, whose procedure the set replaced with the wide
// functions.
TEST_F(LiveDialog, AUnicodeSaveDialogGetsTheSameSettings) {
  settings_.Set(kDlgTranspaency, "170");
  settings_.Set(kViewStyle, "5");
  settings_.Set(kCaptionButtonSkinType, "1");
  Open("savew");
  ASSERT_TRUE(::IsWindowUnicode(Dialog()));
  EXPECT_EQ(Alpha(), 170);
  EXPECT_EQ(ViewType(), static_cast<DWORD>(LVS_REPORT));
  const Mean m = RingMean(Button(0));
  EXPECT_GT(m.b - m.r, 60) << Describe(m);
  settings_.Set(kViewStyle, "3");
  settings_.Set(kDlgTranspaency, "255");
  Update();
  EXPECT_EQ(ViewType(), static_cast<DWORD>(LVS_SMALLICON));
  EXPECT_FALSE(Layered());
}

// The item dialog, whose folder view lives in an Explorer browser, gets them as well, and its size.
TEST_F(LiveDialog, AnItemDialogGetsTheSameSettings) {
  settings_.Set(kDlgTranspaency, "170");
  settings_.Set(kViewStyle, "5");
  settings_.Set(kCaptionButtonSkinType, "1");
  settings_.Set(kDlgResize, "1");
  settings_.Set(kDlgWidth, "640");
  settings_.Set(kDlgHeight, "500");
  Open("itemopen");
  EXPECT_EQ(Alpha(), 170);
  EXPECT_EQ(ViewType(), static_cast<DWORD>(LVS_REPORT));
  const Mean m = RingMean(Button(0));
  EXPECT_GT(m.b - m.r, 60) << Describe(m);
  EXPECT_EQ(Rect().right - Rect().left, 640);
  EXPECT_EQ(Rect().bottom - Rect().top, 500);
  settings_.Set(kViewStyle, "3");
  Update();
  EXPECT_EQ(ViewType(), static_cast<DWORD>(LVS_SMALLICON));
}

// A real folder-browse dialog (no shell view, so nothing to send view commands to) is made
// transparent and resized like any dialog.
TEST_F(LiveDialog, AFolderBrowseDialogIsMadeTransparentAndResized) {
  settings_.Set(kDlgTranspaency, "210");
  settings_.Set(kDlgResize, "1");
  settings_.Set(kDlgWidth, "640");
  settings_.Set(kDlgHeight, "500");
  settings_.Set(kViewStyle, "5");
  Open("browse", {"--new"});
  EXPECT_EQ(Alpha(), 210);
  ASSERT_NE(::GetWindowLongA(Dialog(), GWL_STYLE) & WS_THICKFRAME, 0) << "the new style has a sizing frame";
  EXPECT_EQ(Rect().right - Rect().left, 640);
  EXPECT_EQ(Rect().bottom - Rect().top, 500);
  EXPECT_TRUE(OnScreen(Rect()));
}

// What the buttons look like: each skin paints its own frame, "257" is skin 1, a hidden button
// leaves the plain caption, the shift moves both buttons.
TEST_F(LiveDialog, SkinsHidingAndShiftChangeWhatIsPainted) {
  Open();
  const ScreenPixels system0 = Button(0), system1 = Button(1);
  system0.Save("skin0_favorites");
  ASSERT_FALSE(ShowsCaptionOnly(system0));
  ASSERT_FALSE(ShowsCaptionOnly(system1));

  settings_.Set(kCaptionButtonSkinType, "1");
  Update();
  const ScreenPixels blue = Button(0);
  blue.Save("skin1_favorites");
  EXPECT_GT(blue.CountDifferent(system0, kTolerance), kButtonPixels / 3);
  const Mean mb = RingMean(blue);
  EXPECT_GT(mb.b - mb.r, 60) << Describe(mb);
  EXPECT_GT(Button(1).CountDifferent(system1, kTolerance), kButtonPixels / 3) << "History is skinned too";

  settings_.Set(kCaptionButtonSkinType, "2");
  Update();
  const ScreenPixels olive = Button(0);
  olive.Save("skin2_favorites");
  const Mean mo = RingMean(olive);
  EXPECT_GT(mo.g - mo.b, 20) << Describe(mo);
  EXPECT_GT(mo.r - mo.b, 10) << Describe(mo);
  EXPECT_GT(olive.CountDifferent(blue, kTolerance), kButtonPixels / 3);

  settings_.Set(kCaptionButtonSkinType, "3");
  Update();
  const ScreenPixels silver = Button(0);
  silver.Save("skin3_favorites");
  const Mean ms = RingMean(silver);
  EXPECT_LT(std::abs(ms.r - ms.g), 20) << Describe(ms);
  EXPECT_GT(silver.CountDifferent(system0, kTolerance), kButtonPixels / 4);
  EXPECT_GT(silver.CountDifferent(blue, kTolerance), kButtonPixels / 3);

  settings_.Set(kCaptionButtonSkinType, "257");  // low 8 bits: 1
  Update();
  EXPECT_LE(Button(0).CountDifferent(blue, kTolerance), 2);

  settings_.Set(kCaptionButtonSkinType, "0");
  Update();
  EXPECT_LE(Button(0).CountDifferent(system0, kTolerance), 2) << "back to the system look";

  // The shift moves both buttons; where Favourites was is plain caption now.
  settings_.Set(kCaptionButtonSkinType, "1");
  settings_.Set(kShiftCaptionButton, "30");
  Update();
  EXPECT_LE(Button(0, 30).CountDifferent(blue, kTolerance), 2);
  EXPECT_GT(Button(1, 30).CountDifferent(system1, kTolerance), kButtonPixels / 3);
  EXPECT_TRUE(ShowsCaptionOnly(Button(0))) << "the old place of Favourites";

  // Hiding Favourites repaints: its place shows the caption, History stays.
  settings_.Set(kHideFavoritesButton, "1");
  Update();
  EXPECT_TRUE(ShowsCaptionOnly(Button(0, 30)));
  const ScreenPixels history = Button(1, 30);
  EXPECT_FALSE(ShowsCaptionOnly(history));

  // Hiding both asks for no repaint: History stays painted until the frame is next painted.
  settings_.Set(kHideHistoryButton, "1");
  Update();
  EXPECT_LE(Button(1, 30).CountDifferent(history, kTolerance), 2);
  ::RedrawWindow(Dialog(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  PumpMessagesFor(kPaintMs);
  EXPECT_TRUE(ShowsCaptionOnly(Button(1, 30)));
  EXPECT_TRUE(ShowsCaptionOnly(Button(0, 30)));

  // Shown again, both wear the skin in force at once.
  settings_.Set(kHideFavoritesButton, "0");
  settings_.Set(kHideHistoryButton, "0");
  Update();
  EXPECT_LE(Button(0, 30).CountDifferent(blue, kTolerance), 2);
  EXPECT_LE(Button(1, 30).CountDifferent(history, kTolerance), 2);
}

// The mean brightness of the top inner row of a button, where the released frames are light and
// the pushed ones dark.
int TopRowBrightness(const ScreenPixels& p) {
  long sum = 0, n = 0;
  for (int x = 2; x < p.Width() - 2; ++x, ++n) {
    const COLORREF c = p.At(p.Rect().left + x, p.Rect().top + 1);
    sum += GetRValue(c) + GetGValue(c) + GetBValue(c);
  }
  return static_cast<int>(sum / (3 * n));
}

// Each skin's released frame shows while the button is up and its pushed frame while the mouse
// holds it down.
TEST_F(LiveDialog, AHeldButtonShowsThePushedFrameOfItsSkin) {
  settings_.Set(kCaptionButtonSkinType, "1");
  Open();
  ::SetForegroundWindow(Dialog());
  PumpMessagesFor(kPaintMs);
  const ScreenPixels released = Button(0);
  const RECT r = DialogButtonRect(Dialog(), 0);
  MoveMouseTo(CentreOf(r));
  PumpMessagesFor(100);
  MouseButton(true);
  PumpMessagesFor(kPaintMs);
  const ScreenPixels pushed = Button(0);
  MouseButton(false);
  MoveMouseTo({0, 0});
  PumpMessagesFor(kPaintMs);
  released.Save("held_released");
  pushed.Save("held_pushed");
  EXPECT_GT(TopRowBrightness(released), 170);
  EXPECT_LT(TopRowBrightness(pushed), 130);
  const Mean m = RingMean(pushed);
  EXPECT_GT(m.b - m.r, 60) << Describe(m);
  EXPECT_LE(Button(0).CountDifferent(released, kTolerance), 2) << "released again";
}

TEST_F(LiveDialog, ANewSetShowsItsSkinAtOnce) {
  settings_.Set(kCaptionButtonSkinType, "2");
  Open();
  const ScreenPixels olive = Button(0);
  olive.Save("new_set_favorites");
  const Mean m = RingMean(olive);
  EXPECT_GT(m.g - m.b, 20) << Describe(m);
  EXPECT_GT(m.r - m.b, 10) << Describe(m);
}

TEST_F(LiveDialog, ButtonsHiddenWhenTheSetWasMadeWearTheSkinWhenShown) {
  settings_.Set(kCaptionButtonSkinType, "1");
  settings_.Set(kHideFavoritesButton, "1");
  settings_.Set(kHideHistoryButton, "1");
  Open();
  EXPECT_TRUE(ShowsCaptionOnly(Button(0)));
  EXPECT_TRUE(ShowsCaptionOnly(Button(1)));

  settings_.Set(kHideFavoritesButton, "0");
  settings_.Set(kHideHistoryButton, "0");
  Update();
  const ScreenPixels shown = Button(0);
  shown.Save("shown_later_favorites");
  const Mean m = RingMean(shown);
  EXPECT_GT(m.b - m.r, 60) << Describe(m);

  // A skin chosen while every button is hidden is the one they wear when shown again.
  settings_.Set(kHideFavoritesButton, "1");
  settings_.Set(kHideHistoryButton, "1");
  Update();
  settings_.Set(kCaptionButtonSkinType, "2");
  Update();
  settings_.Set(kHideFavoritesButton, "0");
  settings_.Set(kHideHistoryButton, "0");
  Update();
  const Mean mo = RingMean(Button(0));
  EXPECT_GT(mo.g - mo.b, 20) << Describe(mo);
  EXPECT_GT(mo.r - mo.b, 10) << Describe(mo);
}

// The frames a reading loads are deleted when the set does not take them: a thousand updates leave
// the dialog's process with the GDI objects it had after the first, whether the buttons are
// shown with a skin (the frames are taken and the old ones deleted), shown in the system look (no
// frames are loaded) or all hidden (the frames are loaded and not taken).
TEST_F(LiveDialog, AThousandUpdatesHoldNoMoreGdiObjectsThanTheFirst) {
  Open();
  constexpr int kUpdates = 1000;
  struct Case {
    const char* name;
    const char* skin;
    const char* hide;
  } cases[] = {{"skin shown", "1", "0"}, {"system look", "0", "0"}, {"all hidden", "2", "1"}};
  for (const Case& c : cases) {
    settings_.Set(kCaptionButtonSkinType, c.skin);
    settings_.Set(kHideFavoritesButton, c.hide);
    settings_.Set(kHideHistoryButton, c.hide);
    ASSERT_TRUE(SendRegistered(Dialog(), kUpdateButtonMsgName));
    const int first = GdiObjectsOf(dialog_->Process());
    ASSERT_GT(first, 0) << "the dialog's GDI table cannot be read";
    const DWORD start = ::GetTickCount();
    for (int i = 1; i < kUpdates; ++i) ASSERT_TRUE(SendRegistered(Dialog(), kUpdateButtonMsgName)) << i;
    const DWORD elapsed = ::GetTickCount() - start;
    const int last = GdiObjectsOf(dialog_->Process());
    std::printf("gdi objects (%s): after 1 update %d, after %d updates %d; %.2f ms an update\n", c.name, first,
                kUpdates, last, static_cast<double>(elapsed) / (kUpdates - 1));
    EXPECT_LE(last, first) << c.name;
  }
}

}  // namespace
}  // namespace kq::test
