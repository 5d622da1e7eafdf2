// click_at.exe X Y [double]: a left click (or double-click) at screen point (X, Y) with
// synthesised mouse input, as a user would click there. Exit code 0 when the input was sent.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "tests/support/MouseInput.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const POINT p = {std::atol(argv[1]), std::atol(argv[2])};
  if (argc > 3 && std::strcmp(argv[3], "double") == 0) {
    kq::test::MoveMouseTo(p);
    kq::test::DoubleClick();
  } else {
    kq::test::ClickAt(p);
  }
  return 0;
}
