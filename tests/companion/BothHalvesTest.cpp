// The 64-bit half of the desktop: the 32-bit host runs, the companion beside the x86-64 library
// turns that library's hooks on, and a real Open dialog of a 64-bit program reaches the host.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "captionbuttons/KQCaptionButton.h"
#include "dialogbuttons/KQVCaptionButton.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/HostProcess.h"
#include "tests/support/MouseInput.h"
#include "tests/support/TestPaths.h"

namespace kq {
namespace {

constexpr char kCompanionExe[] = "LNTRHook64.exe";
constexpr char kCompanionClass[] = "LNTRHook64";
constexpr char kStartFolder[] = "C:\\windows";
constexpr char kMovedFolder[] = "C:\\users";
constexpr DWORD kDialogWaitMs = 30000;
constexpr DWORD kSettleMs = 1500;
constexpr DWORD kExitWaitMs = 5000;
constexpr DWORD kLineWaitMs = 8000;

// The folder of the 32-bit build's programs, from LNTR_I686_BIN (a Unix path), with a trailing
// backslash.
std::string ThirtyTwoBitFolder() {
  const char* unixPath = std::getenv("LNTR_I686_BIN");
  return unixPath ? test::WindowsPathOfUnixPath(unixPath) + "\\" : std::string();
}

std::string HexOf(HWND wnd) {
  char text[32];
  std::snprintf(text, sizeof(text), "0x%lx", static_cast<unsigned long>(HandleToULong(wnd)));
  return text;
}

// The companion, started from the x86-64 build's folder.
struct Companion {
  test::ChildProcess process;
  bool Start() { return process.Start(test::HelperPath(kCompanionExe)); }
};

// A dialog_opener of either build showing an Open dialog, cancelled at the end.
class OpenDialog {
 public:
  OpenDialog(const std::string& opener, const std::string& title) {
    if (!process_.Start(opener, {"open", "--title", title})) return;
    dialog_ = process_.WaitForWindowOfClass("#32770", kDialogWaitMs);
    if (dialog_) test::PumpMessagesFor(kSettleMs);
  }
  ~OpenDialog() {
    if (dialog_ && ::IsWindow(dialog_)) ::PostMessageA(dialog_, WM_COMMAND, IDCANCEL, 0);
    if (!process_.WaitForExit(kExitWaitMs)) process_.Terminate();
  }
  HWND Dialog() const { return dialog_; }
  void Cancel() {
    ::PostMessageA(dialog_, WM_COMMAND, IDCANCEL, 0);
    process_.WaitForExit(kExitWaitMs);
  }

 private:
  test::ChildProcess process_;
  HWND dialog_ = nullptr;
};

// Clicks the Favourites button of a dialog set on wnd and answers the point the press must report.
POINT ClickFavourites(HWND wnd) {
  TKQCaptionButtons layout(nullptr);
  layout.AddButton(nullptr, kFavoritesTag, kButtonSpacing, nullptr, false);
  const RECT r = layout.GetButtonRect(wnd, 0, false);
  ::SetForegroundWindow(wnd);
  test::PumpMessagesFor(100);
  test::MoveMouseTo((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  test::PumpMessagesFor(100);
  test::SendMouse(MOUSEEVENTF_LEFTDOWN);
  test::PumpMessagesFor(100);
  test::SendMouse(MOUSEEVENTF_LEFTUP);
  test::MoveMouseTo(0, 0);
  return {r.left, r.bottom};
}

std::string ManageLine(POINT p) { return "manage code=1 x=" + std::to_string(p.x) + " y=" + std::to_string(p.y); }

TEST(BothHalves, A64BitProgramsDialogIsServedThroughTheCompanionByThe32BitHost) {
  const std::string i686 = ThirtyTwoBitFolder();
  ASSERT_FALSE(i686.empty()) << "LNTR_I686_BIN names the 32-bit build's programs";
  HostProcess host(i686 + "LNTRHost.exe");
  ASSERT_TRUE(host.Start());
  ASSERT_TRUE(host.Command(std::string("startfolder ") + kStartFolder));
  Companion companion;
  ASSERT_TRUE(companion.Start());
  EXPECT_EQ(nullptr, companion.process.WaitForWindow([](HWND) { return true; }, 1)) << "it shows nothing";
  test::PumpMessagesFor(500);  // HookOn

  OpenDialog opened(test::HelperPath("dialog_opener.exe"), "Served 64");
  const HWND dialog = opened.Dialog();
  ASSERT_NE(nullptr, dialog);
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
  EXPECT_EQ(ManageLine(corner), line);
  // At the end it reports its last folder, with its own handle.
  const size_t before = host.LogLines().size();
  opened.Cancel();
  ASSERT_TRUE(host.WaitForLine("copydata kind=3 ", &line, kLineWaitMs, before));
  EXPECT_NE(std::string::npos, line.find(" hwnd=" + HexOf(dialog) + " path=" + kMovedFolder)) << line;
}

// One companion at a time; it ends, with its hooks off, when told to or when the host has gone.
TEST(BothHalves, TheCompanionEndsWhenClosedOrWhenTheHostGoes) {
  HostProcess host(ThirtyTwoBitFolder() + "LNTRHost.exe");
  ASSERT_TRUE(host.Start());
  Companion first;
  ASSERT_TRUE(first.Start());
  test::PumpMessagesFor(500);
  Companion second;
  ASSERT_TRUE(second.Start());
  EXPECT_EQ(std::optional<DWORD>(0), second.process.WaitForExit(kExitWaitMs)) << "a second one ends at once";
  EXPECT_TRUE(first.process.Running());

  HWND own = ::FindWindowA(kCompanionClass, nullptr);
  ASSERT_NE(nullptr, own);
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
