// click_at.exe X Y: a left click at screen point (X, Y) with synthesised mouse input, as a user
// would click there. Exit code 0 when the input was sent.
#include <windows.h>

#include <cstdlib>

#include "tests/support/MouseInput.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  kq::test::ClickAt({std::atol(argv[1]), std::atol(argv[2])});
  return 0;
}
