// The main of every test program: the library's units start as they do in a process that loads
// the DLL, then GoogleTest runs the cases.
#include <gtest/gtest.h>

#include "lib/LNTRStartup.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  kq::LibraryStartup();
  int result = RUN_ALL_TESTS();
  kq::LibraryShutdown();
  return result;
}
