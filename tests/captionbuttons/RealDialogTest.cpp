// The buttons on a real Open dialog of another process, attached by the stand-in host's hooks:
// read back from the screen they show their glyphs and leave the rest of the caption as it was;
// a press dragged off the button reports the press once and nothing more. One screenshot of the
// dialog is kept as an artefact.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <set>
#include <string>

#include "captionbuttons/KQCaptionButton.h"
#include "common/KQScoped.h"
#include "common/KQUtils.h"
#include "dialogbuttons/KQVCaptionButton.h"
#include "tests/captionbuttons/CaptionFixtures.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/HostProcess.h"
#include "tests/support/TestPaths.h"
#include "tests/support/Timeouts.h"

namespace kq::test {
namespace {

// The colours the library's own glyph drawing gives a glyph in a button of the given size: drawn
// here onto magenta, everything that is not magenta.
std::set<COLORREF> InkOf(HBITMAP glyph, const RECT& button) {
  std::set<COLORREF> ink;
  const int w = button.right - button.left, h = button.bottom - button.top;
  TKQCaptionButtons set(nullptr);
  set.AddButton(nullptr, 0, 1, glyph, true);
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP canvas = ::CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = ::SelectObject(memory, canvas);
  const RECT all = {0, 0, w, h};
  HBRUSH magenta = ::CreateSolidBrush(RGB(255, 0, 255));
  ::FillRect(memory, &all, magenta);
  ::DeleteObject(magenta);
  set.DrawGlyph(memory, {1, 1, w - 2, h - 2}, glyph);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const COLORREF c = ::GetPixel(memory, x, y);
      if (c != RGB(255, 0, 255)) ink.insert(c);
    }
  ::SelectObject(memory, old);
  ::DeleteObject(canvas);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  return ink;
}

int CountOf(const ScreenPixels& shot, const RECT& r, const std::set<COLORREF>& colours) {
  int n = 0;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x)
      if (colours.count(shot.At(x, y))) ++n;
  return n;
}

void Front(HWND wnd) {
  ::SetForegroundWindow(wnd);
  PumpMessagesFor(600);
}

TEST(RealDialog, TheButtonsShowTheirGlyphsAndADraggedOffPressReportsOnlyThePress) {
  ChildProcess dialogProcess;
  ASSERT_TRUE(
      dialogProcess.Start(HelperPath("dialog_opener.exe"), {"open", "--dir", "C:\\windows", "--title", "Open"}));
  HWND dialog = dialogProcess.WaitForWindowOfClass("#32770", kDialogWaitMs);
  ASSERT_NE(dialog, nullptr);
  PumpMessagesFor(kSettleMs);
  Front(dialog);
  const ScreenPixels before(WindowRectOf(dialog));

  // The host starts after the dialog and asks for its buttons with the init message.
  HostProcess host;
  ASSERT_TRUE(host.Start());
  char command[128];
  std::snprintf(command, sizeof(command), "send %p WM_KQVINITCAPTIONBUTTONS 0 0", static_cast<void*>(dialog));
  ASSERT_TRUE(host.Command(command));
  PumpMessagesFor(kSettleMs);
  Front(dialog);
  const ScreenPixels after(WindowRectOf(dialog));
  EXPECT_TRUE(after.Save("open-dialog-with-buttons"));

  const RECT b0 = DialogButtonRect(dialog, 0), b1 = DialogButtonRect(dialog, 1);
  ScopedBitmap favorites(LoadResourceBitmap("LNTR_32"));
  ScopedBitmap history(LoadResourceBitmap("HISTORY_VISTA"));
  ASSERT_TRUE(favorites && history);
  const std::set<COLORREF> favoritesInk = InkOf(favorites.get(), b0), historyInk = InkOf(history.get(), b1);
  ASSERT_FALSE(favoritesInk.empty());
  // The glyphs' own colours fill a good part of each button (a 16 x 16 glyph drawn at 11 x 11).
  EXPECT_GE(CountOf(after, b0, favoritesInk), 25);
  EXPECT_GE(CountOf(after, b1, historyInk), 25);
  EXPECT_LT(CountOf(before, b0, favoritesInk), 5);
  // Around the buttons the caption is as the dialog painted it.
  EXPECT_EQ(before.Differences(after, CaptionBandOf(dialog), {b0, b1}), 0);

  // Press Favourites, drag off into the dialog, release: the press is reported, nothing more.
  const size_t from = host.LogLines().size();
  MoveMouseTo(CentreOf(b0));
  MouseButton(true);
  RECT client = {};
  ::GetClientRect(dialog, &client);
  POINT middle = CentreOf(client);
  ::ClientToScreen(dialog, &middle);
  MoveMouseTo({(middle.x + CentreOf(b0).x) / 2, middle.y});
  MoveMouseTo(middle);
  MouseButton(false);
  std::string line;
  ASSERT_TRUE(host.WaitForLine("manage code=", &line, kReportWaitMs, from));
  EXPECT_EQ(line, ManageLine(1, {b0.left, b0.bottom}));
  PumpMessagesFor(kSilenceMs);
  int reports = 0;
  const auto lines = host.LogLines();
  for (size_t i = from; i < lines.size(); ++i)
    if (lines[i].rfind("manage code=", 0) == 0) ++reports;
  EXPECT_EQ(reports, 1);
  // The button is up again: it looks as it did before the press.
  MoveMouseTo({0, 0});
  Front(dialog);
  const ScreenPixels released(WindowRectOf(dialog));
  EXPECT_EQ(released.Differences(after, b0), 0);

  ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  if (!dialogProcess.WaitForExit(kCloseWaitMs)) dialogProcess.Terminate();
}

}  // namespace
}  // namespace kq::test
