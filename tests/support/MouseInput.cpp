#include "tests/support/MouseInput.h"

#include "captionbuttons/KQCaptionButton.h"
#include "dialogbuttons/KQVCaptionButton.h"
#include "tests/support/MessagePump.h"

namespace kq::test {

namespace {
constexpr LONG kAbsoluteRange = 65535;  // SendInput's absolute coordinates span the screen
constexpr DWORD kArriveMs = 60;         // input reaches the window under the pointer
constexpr DWORD kClickSettleMs = 100;   // the pointer rests before a click, as a hand's does
}  // namespace

void SendMouse(DWORD flags, LONG x, LONG y) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dx = x;
  input.mi.dy = y;
  input.mi.dwFlags = flags;
  ::SendInput(1, &input, sizeof(input));
}

void MoveMouseTo(POINT p) {
  SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, p.x * kAbsoluteRange / (::GetSystemMetrics(SM_CXSCREEN) - 1),
            p.y * kAbsoluteRange / (::GetSystemMetrics(SM_CYSCREEN) - 1));
  PumpMessagesFor(kArriveMs);
}

void MouseButton(bool down, bool right) {
  if (right)
    SendMouse(down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP);
  else
    SendMouse(down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP);
  PumpMessagesFor(kArriveMs);
}

void ClickAt(POINT p, bool right) {
  MoveMouseTo(p);
  PumpMessagesFor(kClickSettleMs);
  MouseButton(true, right);
  MouseButton(false, right);
}

void DoubleClick() {
  for (int i = 0; i < 2; ++i) {
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    SendMouse(MOUSEEVENTF_LEFTUP);
  }
  PumpMessagesFor(kArriveMs);
}

RECT DialogButtonRect(HWND wnd, int index, int rightOffset) {
  TKQCaptionButtons layout(nullptr);
  layout.AddButton(nullptr, kFavoritesTag, kButtonSpacing, nullptr, false);
  layout.AddButton(nullptr, kHistoryTag, kButtonSpacing, nullptr, false);
  layout.SetRightOffset(rightOffset);
  return layout.GetButtonRect(wnd, index, false);
}

POINT CentreOf(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

}  // namespace kq::test
