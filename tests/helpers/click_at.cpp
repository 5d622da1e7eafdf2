// click_at.exe X Y: a left click at screen point (X, Y) with synthesised mouse input, as a user
// would click there. Exit code 0 when the input was sent.
#include <windows.h>

#include <cstdlib>

namespace {

void SendMouse(DWORD flags, LONG x = 0, LONG y = 0) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dx = x;
  input.mi.dy = y;
  input.mi.dwFlags = flags;
  ::SendInput(1, &input, sizeof(input));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const LONG x = std::atol(argv[1]), y = std::atol(argv[2]);
  SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, x * 65535 / (::GetSystemMetrics(SM_CXSCREEN) - 1),
            y * 65535 / (::GetSystemMetrics(SM_CYSCREEN) - 1));
  ::Sleep(150);
  SendMouse(MOUSEEVENTF_LEFTDOWN);
  ::Sleep(100);
  SendMouse(MOUSEEVENTF_LEFTUP);
  return 0;
}
