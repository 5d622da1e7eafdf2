// The library starts at its first use, not while the loader holds its lock: watched in a program
// of its own (library_user.exe), which loads the DLL as a program the host's hooks reach would.
#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/ChildProcess.h"
#include "tests/support/LibraryUser.h"
#include "tests/support/TestPaths.h"
#include "tests/support/Timeouts.h"

namespace kq {
namespace {

using test::ChildProcess;
using test::HelperPath;
using test::kCloseWaitMs;

// psapi.dll is loaded by start-up alone: neither the program nor the system loads it by itself.
TEST(FirstUse, LoadingTheLibraryLoadsNoModuleItsFirstUseDoes) {
  ChildProcess user;
  ASSERT_TRUE(user.Start(HelperPath(test::kLibraryUserExe), {test::kLibraryUserModules}));
  EXPECT_EQ(0u, user.WaitForExit(kCloseWaitMs).value_or(~0u))
      << "bits: 1 psapi before the load, 2 psapi after the load, 4 no psapi after the first use";
}

}  // namespace
}  // namespace kq
