// Windows, button sets and screen reading for the caption-button tests: top-level windows of
// known styles built by the test (ANSI or Unicode) that remember what their own procedure
// received, a set that counts its button events, and pixels read back from the screen.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "captionbuttons/KQCaptionButton.h"
#include "tests/support/MouseInput.h"
#include "tests/support/ScreenPixels.h"

namespace kq::test {

// What a test window's own procedure saw.
struct FrameLog {
  std::vector<UINT> messages;
  std::string lastTextA;   // WM_SETTEXT of an ANSI window
  std::wstring lastTextW;  // WM_SETTEXT of a Unicode window
  int ncPaints = 0;
  int ncDestroys = 0;
};

// A top-level window of the given styles, 400 x 300 at (x, y). The class is ANSI or Unicode; the
// window is destroyed with its owner.
class TestFrame {
 public:
  static constexpr DWORD kSizable = WS_OVERLAPPEDWINDOW;
  TestFrame(DWORD style, DWORD exStyle, bool unicode = false, bool visible = false, int x = 100, int y = 100);
  ~TestFrame();
  TestFrame(const TestFrame&) = delete;
  TestFrame& operator=(const TestFrame&) = delete;

  HWND Wnd() const { return wnd_; }
  FrameLog& Log() { return log_; }
  bool Saw(UINT msg) const;
  // Destroys the window now (the destructor then does nothing).
  void Destroy();

  static WNDPROC OwnProc(bool unicode);

 private:
  HWND wnd_ = nullptr;
  FrameLog log_;
};

// A set that counts its button events.
class CountingSet : public TKQCaptionButtons {
 public:
  explicit CountingSet(HWND wnd) : TKQCaptionButtons(wnd) {}
  void ButtonDown(int index, bool right) override {
    ++downs;
    lastDown = index;
    lastDownRight = right;
    pushedAtDown = Button(index) && Button(index)->Pushed;
    capturedAtDown = ::GetCapture() == Wnd();
  }
  void ButtonUp(int index, bool right) override {
    ++ups;
    lastUp = index;
    lastUpRight = right;
  }
  void Click(int index) override {
    ++clicks;
    lastClick = index;
  }
  int downs = 0, ups = 0, clicks = 0;
  int lastDown = -1, lastUp = -1, lastClick = -1;
  bool lastDownRight = false, lastUpRight = false, pushedAtDown = false, capturedAtDown = false;
};

// A 16 x 16 32-bit glyph: background colour everywhere (so its bottom-left pixel, the
// transparent colour, is the background) and a filled square of ink in the middle.
HBITMAP MakeSquareGlyph(COLORREF background, COLORREF ink, int inset = 3);

// Brings wnd to the front and lets it paint.
void ShowActive(HWND wnd);
// The window's rectangle on the screen, and its caption band: the full width, from the top edge
// to the client area.
RECT WindowRectOf(HWND wnd);
RECT CaptionBandOf(HWND wnd);

}  // namespace kq::test
