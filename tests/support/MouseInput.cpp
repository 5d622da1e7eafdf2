#include "tests/support/MouseInput.h"

namespace kq::test {

namespace {
constexpr LONG kAbsoluteRange = 65535;  // SendInput's absolute coordinates span the screen
}

void SendMouse(DWORD flags, LONG x, LONG y) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dx = x;
  input.mi.dy = y;
  input.mi.dwFlags = flags;
  ::SendInput(1, &input, sizeof(input));
}

void MoveMouseTo(LONG x, LONG y) {
  SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, x * kAbsoluteRange / (::GetSystemMetrics(SM_CXSCREEN) - 1),
            y * kAbsoluteRange / (::GetSystemMetrics(SM_CYSCREEN) - 1));
}

}  // namespace kq::test
