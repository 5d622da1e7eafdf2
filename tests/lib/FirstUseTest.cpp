// The library starts at its first use, not while the loader holds its lock; and its trace, when
// switched on, tells of the faults its guards contain. Both are watched in a program of their own
// (library_user.exe), which loads the DLL as a program the host's hooks reach would.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "common/KQTrace.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DebugOutput.h"
#include "tests/support/LibraryUser.h"
#include "tests/support/RegistryValue.h"
#include "tests/support/TestPaths.h"
#include "tests/support/Timeouts.h"

namespace kq {
namespace {

using test::ChildProcess;
using test::HelperPath;
using test::kCloseWaitMs;

// Nothing of the start-up runs at the load (no psapi, no GDI object); the first use runs it.
TEST(FirstUse, LoadingTheLibraryStartsNothingItsFirstUseDoes) {
  ChildProcess user;
  ASSERT_TRUE(user.Start(HelperPath(test::kLibraryUserExe), {test::kLibraryUserModules}));
  EXPECT_EQ(0u, user.WaitForExit(kCloseWaitMs).value_or(~0u))
      << "bits: 1 psapi before the load, 2 the load loaded psapi or made GDI objects, 4 the first use made none";
}

// A class-object request with an unreadable class identifier faults inside the guarded step; the
// trace tells of it when the environment or the host's key switches it on, and is silent when
// neither does.
TEST(Trace, AContainedFaultIsTracedWhenSwitchedOnAndOnlyThen) {
  test::DebugOutputMonitor monitor;
  ASSERT_TRUE(monitor.Ready());
  auto tracedLines = [&] {
    ChildProcess user;
    std::vector<std::string> traced;
    if (!user.Start(HelperPath(test::kLibraryUserExe), {test::kLibraryUserFault})) return traced;
    for (const std::string& line : monitor.LinesUntilExit(user, kCloseWaitMs)) {
      if (line.rfind(kTracePrefix, 0) == 0) traced.push_back(line);
    }
    EXPECT_EQ(0u, user.WaitForExit(kCloseWaitMs).value_or(~0u)) << "the fault was not contained";
    return traced;
  };
  const std::string fault = std::string(kTracePrefix) + "fault 0xC0000005 in the step guarded at +0x";
  auto tellsOfTheFault = [&](const std::vector<std::string>& lines) {
    return lines.size() == 1 && lines[0].rfind(fault, 0) == 0;
  };

  EXPECT_TRUE(tracedLines().empty());
  const std::string on = std::to_string(kTraceSwitchOn);
  ASSERT_TRUE(::SetEnvironmentVariableA(kTraceVariable, on.c_str()));
  const std::vector<std::string> byVariable = tracedLines();
  ::SetEnvironmentVariableA(kTraceVariable, nullptr);
  EXPECT_TRUE(tellsOfTheFault(byVariable)) << testing::PrintToString(byVariable);
  test::ScopedRegistryString value(HKEY_CURRENT_USER, test::kHostKey, kTraceValueName, on);
  ASSERT_TRUE(value.Set());
  const std::vector<std::string> byValue = tracedLines();
  EXPECT_TRUE(tellsOfTheFault(byValue)) << testing::PrintToString(byValue);
}

}  // namespace
}  // namespace kq
