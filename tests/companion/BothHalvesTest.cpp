// The two halves of the desktop served together: the 32-bit host turns the 32-bit library's hooks
// on, the companion beside the x86-64 library turns that library's hooks on, and real Open
// dialogs of a 32-bit and of a 64-bit program, open at once, reach the one host.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "companion/LNTRHook64.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/HostProcess.h"
#include "tests/support/MessagePump.h"
#include "tests/support/OpenedDialog.h"
#include "tests/support/MouseInput.h"
#include "tests/support/TestPaths.h"

namespace kq {
namespace {

using lntrhook64::kCompanionClass;
using lntrhook64::kCompanionExe;
constexpr char kStartFolder[] = "C:\\windows";
constexpr char kMovedFolder[] = "C:\\users";
const DWORD kExitWaitMs = test::Scaled(5000);
constexpr DWORD kLineWaitMs = 8000;

// The companion, started from the x86-64 build's folder.
struct Companion {
  test::ChildProcess process;
  bool Start() { return process.Start(test::HelperPath(kCompanionExe)); }
};

// Clicks the Favourites button of a dialog set on wnd and answers the point the press must report.
POINT ClickFavourites(HWND wnd) {
  const RECT r = test::DialogButtonRect(wnd, 0);
  ::SetForegroundWindow(wnd);
  test::PumpMessagesFor(100);
  test::ClickAt(test::CentreOf(r));
  test::MoveMouseTo({0, 0});
  return {r.left, r.bottom};
}

TEST(BothHalves, DialogsOfA32And64BitProgramAtOnceAreServedByOneHost) {
  if (const std::string why = test::WhyNoThirtyTwoBitProcesses(); !why.empty()) GTEST_SKIP() << why;
  const std::string i686 = test::ThirtyTwoBitBuildDirectory();
  ASSERT_FALSE(i686.empty()) << "LNTR_I686_BIN names the 32-bit build's programs";
  HostProcess host(i686 + "LNTRHost.exe");
  ASSERT_TRUE(host.Start());
  ASSERT_TRUE(host.Command(std::string("startfolder ") + kStartFolder));
  Companion companion;
  ASSERT_TRUE(companion.Start());
  EXPECT_EQ(nullptr, companion.process.WaitForWindow([](HWND) { return true; }, 1)) << "it shows nothing";
  test::PumpMessagesFor(500);  // HookOn

  test::OpenedDialog narrow("open", "Both 32", {}, test::kSettleMs, i686 + "dialog_opener.exe");
  test::OpenedDialog wide("open", "Both 64");
  for (test::OpenedDialog* opened : {&narrow, &wide}) {
    const HWND dialog = opened->Dialog();
    ASSERT_NE(nullptr, dialog);
    SCOPED_TRACE(opened == &narrow ? "32-bit" : "64-bit");
    // The start folder was asked for and applied.
    std::string line;
    EXPECT_TRUE(host.WaitForLine("manage code=3 hwnd=" + HexOf(dialog), &line, kLineWaitMs)) << line;
    const size_t asked = host.LogLines().size();
    ASSERT_TRUE(host.Command("getfolder " + HexOf(dialog)));
    ASSERT_TRUE(host.WaitForLine("getfolder hwnd=" + HexOf(dialog), &line, kLineWaitMs, asked));
    EXPECT_NE(std::string::npos, line.find(std::string("folder=") + kStartFolder)) << line;
    // A folder command moves it; a press reports the button's corner.
    LRESULT answer = 0;
    ASSERT_TRUE(host.Command("setfolder " + HexOf(dialog) + " " + kMovedFolder, &answer));
    EXPECT_EQ(1, answer) << host.LogLines().back();
    const size_t pressed = host.LogLines().size();
    const POINT corner = ClickFavourites(dialog);
    EXPECT_TRUE(host.WaitForLine("manage code=", &line, kLineWaitMs, pressed));
    EXPECT_EQ(ManageLine(1, corner), line);
  }
  // At the end each reports its last folder, with its own handle.
  for (test::OpenedDialog* opened : {&narrow, &wide}) {
    const HWND dialog = opened->Dialog();
    const size_t before = host.LogLines().size();
    opened->Cancel();
    std::string line;
    EXPECT_TRUE(host.WaitForLine("copydata kind=3 ", &line, kLineWaitMs, before));
    EXPECT_NE(std::string::npos, line.find(" hwnd=" + HexOf(dialog) + " path=" + kMovedFolder)) << line;
  }
}

// One companion at a time; it ends, with its hooks off, when told to or when the host has gone.
TEST(BothHalves, TheCompanionEndsWhenClosedOrWhenTheHostGoes) {
  if (const std::string why = test::WhyNoThirtyTwoBitProcesses(); !why.empty()) GTEST_SKIP() << why;
  HostProcess host(test::ThirtyTwoBitBuildDirectory() + "LNTRHost.exe");
  ASSERT_TRUE(host.Start());
  Companion first;
  ASSERT_TRUE(first.Start());
  // Its window says it runs (it shows up late on a slow machine).
  HWND own = nullptr;
  for (const DWORD start = ::GetTickCount();
       !(own = ::FindWindowA(kCompanionClass, nullptr)) && ::GetTickCount() - start < kExitWaitMs;)
    test::PumpMessagesFor(100);
  ASSERT_NE(nullptr, own);
  Companion second;
  ASSERT_TRUE(second.Start());
  EXPECT_EQ(std::optional<DWORD>(0), second.process.WaitForExit(kExitWaitMs)) << "a second one ends at once";
  EXPECT_TRUE(first.process.Running());
  EXPECT_EQ(own, ::FindWindowA(kCompanionClass, nullptr));
  EXPECT_FALSE(::IsWindowVisible(own));
  ::PostMessageA(own, WM_CLOSE, 0, 0);
  EXPECT_EQ(std::optional<DWORD>(0), first.process.WaitForExit(kExitWaitMs));

  Companion third;
  ASSERT_TRUE(third.Start());
  test::PumpMessagesFor(500);
  EXPECT_TRUE(third.process.Running());
  host.Stop();
  EXPECT_EQ(std::optional<DWORD>(0), third.process.WaitForExit(kExitWaitMs)) << "it outlived the host";
}

}  // namespace
}  // namespace kq
