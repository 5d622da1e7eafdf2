// press_button.exe TITLE INDEX [right]: clicks caption button INDEX of the top-level window
// titled TITLE with synthesised mouse input, as a user would. Exit code 0 when it clicked.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "tests/support/MouseInput.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  HWND wnd = nullptr;
  for (int i = 0; i < 100 && !wnd; ++i, ::Sleep(100)) wnd = ::FindWindowA(nullptr, argv[1]);
  if (!wnd) return 3;
  const int index = std::atoi(argv[2]);
  const bool right = argc > 3 && std::strcmp(argv[3], "right") == 0;
  ::SetForegroundWindow(wnd);
  kq::test::ClickAt(kq::test::CentreOf(kq::test::DialogButtonRect(wnd, index)), right);
  return 0;
}
