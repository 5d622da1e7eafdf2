// The global hooks and the dialog button set across processes: the stand-in host turns the hooks
// on, a helper opens a real file dialog, the test clicks the dialog's caption buttons with
// synthesised mouse input and reads what the host heard.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "captionbuttons/KQCaptionButton.h"
#include "dialogbuttons/KQVCaptionButton.h"
#include "host/HostProtocol.h"
#include "hostlink/KQVHostLink.h"
#include "shellwindows/KQWindowKind.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/HostProcess.h"
#include "tests/support/MouseInput.h"
#include "tests/support/TestPaths.h"
#include "tests/support/OpenedDialog.h"
#include "tests/support/RegistryValue.h"

namespace kq {
namespace {

using test::kReportWaitMs;
using test::kSettleMs;
using test::kSilenceMs;
using test::OpenedDialog;

constexpr int kHookCycles = 100;

// Clicks the middle of button index of wnd as a user would.
void ClickButton(HWND wnd, int index, bool right) {
  ::SetForegroundWindow(wnd);
  test::PumpMessagesFor(100);
  test::ClickAt(test::CentreOf(test::DialogButtonRect(wnd, index)), right);
  // Away from the caption, so the next click starts fresh.
  test::MoveMouseTo({0, 0});
}

// The point a press of button index reports: the bottom-left corner of the button on the screen.
POINT ReportedCorner(HWND wnd, int index) {
  const RECT r = test::DialogButtonRect(wnd, index);
  return {r.left, r.bottom};
}

// Clicks and waits for a "manage code=" line after the log's current end; the line, or empty.
std::string ClickAndWaitForReport(const HostProcess& host, HWND wnd, int index, bool right,
                                  DWORD waitMs = kReportWaitMs) {
  const size_t from = host.LogLines().size();
  ClickButton(wnd, index, right);
  std::string line;
  if (!host.WaitForLine("manage code=", &line, waitMs, from)) return {};
  return line;
}

class DialogButtons : public ::testing::TestWithParam<const char*> {};

TEST_P(DialogButtons, PressesReportTheButtonCornerToTheHost) {
  HostProcess host;
  ASSERT_TRUE(host.Start());
  const std::string title = std::string("Pick ") + GetParam();
  OpenedDialog opened(GetParam(), title);
  ASSERT_NE(opened.Dialog(), nullptr);
  HWND dialog = opened.Dialog();

  EXPECT_EQ(ClickAndWaitForReport(host, dialog, 0, false), ManageLine(1, ReportedCorner(dialog, 0)));
  EXPECT_EQ(ClickAndWaitForReport(host, dialog, 1, false), ManageLine(2, ReportedCorner(dialog, 1)));
  EXPECT_EQ(ClickAndWaitForReport(host, dialog, 0, true), ManageLine(0, ReportedCorner(dialog, 0)));
  EXPECT_EQ(ClickAndWaitForReport(host, dialog, 1, true), ManageLine(0, ReportedCorner(dialog, 1)));

  // A moved dialog reports where its buttons are now.
  RECT before = {};
  ::GetWindowRect(dialog, &before);
  ASSERT_TRUE(::SetWindowPos(dialog, nullptr, before.left + 37, before.top + 23, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
  test::PumpMessagesFor(500);
  const POINT moved = ReportedCorner(dialog, 0);
  EXPECT_EQ(ClickAndWaitForReport(host, dialog, 0, false), ManageLine(1, moved));
}

INSTANTIATE_TEST_SUITE_P(FileDialogs, DialogButtons, ::testing::Values("open", "savew", "itemopen", "itempick"));

// At 144 dots per inch the dialog of a DPI-aware program sees the screen in physical pixels and a
// host that is not DPI-aware sees it scaled down: what the library reports lies where the host sees
// it. The mouse is moved by helpers started at this resolution and not DPI-aware, as the host: this
// test began at the former one.
class DialogButtonsDpi : public ::testing::Test {
 protected:
  static constexpr DWORD kDpi = 144;

  void SetUp() override {
    ASSERT_TRUE(dpi_.Set());
    ASSERT_TRUE(host_.Start());
    opened_ = std::make_unique<OpenedDialog>("open", "Aware",
                                             std::vector<std::string>{"--dpi-aware", "--dir", empty_.Path()});
    ASSERT_NE(opened_->Dialog(), nullptr);
  }

  // wnd's rectangle as the host sees it, and the host's line telling it.
  void HostRect(HWND wnd, RECT* seen, std::string* line) const {
    const size_t before = host_.LogLines().size();
    ASSERT_TRUE(host_.Command("rect " + HexOf(wnd)));
    ASSERT_TRUE(host_.WaitForLine("rect ", line, kReportWaitMs, before));
    ASSERT_EQ(4, std::sscanf(line->c_str(), "rect hwnd=%*s left=%ld top=%ld right=%ld bottom=%ld", &seen->left,
                             &seen->top, &seen->right, &seen->bottom))
        << *line;
  }

  // Runs the helper and reads the point of the code 1 report that follows, and the report.
  void ReportAfter(const std::string& helper, const std::vector<std::string>& args, POINT* p,
                   std::string* report) const {
    const size_t from = host_.LogLines().size();
    test::ChildProcess child;
    ASSERT_TRUE(child.Start(test::HelperPath(helper), args));
    EXPECT_EQ(std::optional<DWORD>(0), child.WaitForExit(kReportWaitMs));
    ASSERT_TRUE(host_.WaitForLine("manage code=", report, kReportWaitMs, from));
    ASSERT_EQ(2, std::sscanf(report->c_str(), "manage code=1 x=%ld y=%ld", &p->x, &p->y)) << *report;
  }

  test::ScopedRegistryString dpi_{HKEY_CURRENT_USER, "Control Panel\\Desktop", "LogPixels", kDpi};
  HostProcess host_;
  test::ScratchDirectory empty_;  // the dialog's folder: its file list is empty space
  std::unique_ptr<OpenedDialog> opened_;
};

// A press is reported where the host sees the button, in the dialog's caption near its right edge
// (unconverted it lay half a dialog away).
TEST_F(DialogButtonsDpi, APressIsReportedInTheHostsCoordinates) {
  constexpr int kButtonsBand = 120;  // the two buttons and the system's, from the right edge
  RECT seen = {};
  std::string rectLine;
  ASSERT_NO_FATAL_FAILURE(HostRect(opened_->Dialog(), &seen, &rectLine));
  POINT p = {};
  std::string report;
  ASSERT_NO_FATAL_FAILURE(ReportAfter("press_button.exe", {"Aware", "0"}, &p, &report));
  EXPECT_GE(p.x, seen.right - kButtonsBand) << report << " / " << rectLine;
  EXPECT_LT(p.x, seen.right) << report << " / " << rectLine;
  EXPECT_GT(p.y, seen.top) << report << " / " << rectLine;
  EXPECT_LT(p.y, seen.top + (seen.bottom - seen.top) / 4) << report << " / " << rectLine;
}

// A double-click on empty space of the file list is reported where the host sees the pointer, on
// the list. Near the list's bottom-right corner, unconverted, it lay beyond the list.
TEST_F(DialogButtonsDpi, ADoubleClickIsReportedInTheHostsCoordinates) {
  ASSERT_TRUE(host_.Command("doubleclick 1"));
  HWND view = ::FindWindowExA(opened_->Dialog(), nullptr, "SHELLDLL_DefView", nullptr);
  HWND list = view ? ::FindWindowExA(view, nullptr, "SysListView32", nullptr) : nullptr;
  ASSERT_NE(list, nullptr);
  RECT seen = {};
  std::string rectLine;
  ASSERT_NO_FATAL_FAILURE(HostRect(list, &seen, &rectLine));
  const POINT spot = {seen.right - (seen.right - seen.left) / 8, seen.bottom - (seen.bottom - seen.top) / 8};
  POINT p = {};
  std::string report;
  ASSERT_NO_FATAL_FAILURE(
      ReportAfter("click_at.exe", {std::to_string(spot.x), std::to_string(spot.y), "double"}, &p, &report));
  EXPECT_TRUE(::PtInRect(&seen, p)) << report << " / " << rectLine;
}

TEST(DialogButtonsVeto, ADisabledProgramsDialogGetsNoButtons) {
  HostProcess host;
  ASSERT_TRUE(host.Start({"--disable", "dialog_opener.exe"}));
  OpenedDialog opened("open", "Vetoed");
  ASSERT_NE(opened.Dialog(), nullptr);
  // The host was asked about the dialog's program and said no.
  EXPECT_TRUE(host.WaitForLine("appdisabled ", nullptr, kReportWaitMs));
  for (const auto& line : host.LogLines()) {
    if (line.rfind("appdisabled ", 0) == 0) {
      EXPECT_NE(line.find("answer=1"), std::string::npos) << line;
    }
  }
  EXPECT_EQ(ClickAndWaitForReport(host, opened.Dialog(), 0, false, kSilenceMs), "");
}

// Whether wnd has a set: only a set answers "LNTR_GetDlgFolder" with 1.
bool HasSet(HWND wnd) {
  DWORD_PTR answer = 0;
  return ::SendMessageTimeoutA(wnd, ::RegisterWindowMessageA(kGetDlgFolderMsgName), 0, 0, SMTO_ABORTIFHUNG,
                               HostProcess::kCommandTimeoutMs, &answer) &&
         answer == 1;
}

// A host that, before it turns a window down, asks that very window for its folder: the dialog's
// thread answers the question while it waits for the host, so the "no" arrives in time.
TEST(DialogButtonsVeto, AHostThatAsksTheDialogBeforeAnsweringIsHeardPromptly) {
  HostProcess host;
  ASSERT_TRUE(host.Start({"--disable", "dialog_opener.exe", "--ask-folder-before-disabling"}));
  OpenedDialog opened("open", "Asked first");
  ASSERT_NE(opened.Dialog(), nullptr);
  ASSERT_TRUE(host.WaitForLine("appdisabled ", nullptr, HostProcess::kCommandTimeoutMs));
  test::PumpMessagesFor(kSettleMs);
  long slowest = -1;
  for (const auto& line : host.LogLines()) {
    if (line.rfind("getfolder ", 0) == 0) {
      EXPECT_NE(line.find(" sent=1 "), std::string::npos) << line;
    }
    if (line.rfind("appdisabled ", 0) != 0) continue;
    EXPECT_NE(line.find(" answer=1 "), std::string::npos) << line;
    const size_t ms = line.find(" ms=");
    ASSERT_NE(ms, std::string::npos) << line;
    slowest = std::max(slowest, std::strtol(line.c_str() + ms + 4, nullptr, 10));
  }
  std::printf("[ figures ] the host's answer 1, after asking the dialog for its folder: %ld ms\n", slowest);
  EXPECT_LT(slowest, static_cast<long>(kHostAnswerTimeoutMs / 2));
  EXPECT_FALSE(HasSet(opened.Dialog()));
}

// A program that passes the older, shorter file-name structure gets a dialog without a places bar.
TEST(DialogButtonsShortStructure, ADialogWithoutAPlacesBarGetsItsButtons) {
  HostProcess host;
  ASSERT_TRUE(host.Start());
  OpenedDialog opened("open", "No places bar", {"--short"});
  ASSERT_NE(opened.Dialog(), nullptr);
  HWND dialog = opened.Dialog();
  EXPECT_EQ(ClassifyWindow(dialog), wkOpenSaveCombo);
  EXPECT_EQ(ClickAndWaitForReport(host, dialog, 0, false), ManageLine(1, ReportedCorner(dialog, 0)));
}

TEST(DialogButtonsRemove, RemoveCodeTakesTheSetAwayAndTheDialogStillWorks) {
  HostProcess host;
  ASSERT_TRUE(host.Start());
  OpenedDialog opened("open", "Removable");
  ASSERT_NE(opened.Dialog(), nullptr);
  HWND dialog = opened.Dialog();
  ASSERT_EQ(ClickAndWaitForReport(host, dialog, 0, false), ManageLine(1, ReportedCorner(dialog, 0)));

  char command[128];
  std::snprintf(command, sizeof(command), "post %p WM_LNTR_MANAGE 5 0", static_cast<void*>(dialog));
  LRESULT answer = 0;
  ASSERT_TRUE(host.Command(command, &answer));
  test::PumpMessagesFor(500);

  EXPECT_EQ(ClickAndWaitForReport(host, dialog, 0, false, kSilenceMs), "");
  EXPECT_EQ(ClickAndWaitForReport(host, dialog, 1, false, kSilenceMs), "");
  // The dialog answers as before: its own procedure is back in place.
  char text[64] = {};
  DWORD_PTR result = 0;
  ASSERT_TRUE(::SendMessageTimeoutA(dialog, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                                    5000, &result));
  EXPECT_STREQ(text, "Removable");
  EXPECT_TRUE(::IsWindow(dialog));
}

std::string InitCommand(HWND dialog) {
  char command[128];
  std::snprintf(command, sizeof(command), "send %p WM_KQVINITCAPTIONBUTTONS 0 0", static_cast<void*>(dialog));
  return command;
}

TEST(DialogButtonsInit, TheInitMessageAttachesASetToADialogOpenedBeforeTheHooks) {
  OpenedDialog opened("open", "Early");
  ASSERT_NE(opened.Dialog(), nullptr);
  HWND dialog = opened.Dialog();
  HostProcess host;
  ASSERT_TRUE(host.Start());
  // Twice: a second request must not stack a second set on the first.
  ASSERT_TRUE(host.Command(InitCommand(dialog)));
  ASSERT_TRUE(host.Command(InitCommand(dialog)));
  test::PumpMessagesFor(500);
  const size_t from = host.LogLines().size();
  EXPECT_EQ(ClickAndWaitForReport(host, dialog, 0, false), ManageLine(1, ReportedCorner(dialog, 0)));
  test::PumpMessagesFor(1000);
  size_t reports = 0;
  const auto lines = host.LogLines();
  for (size_t i = from; i < lines.size(); ++i)
    if (lines[i].rfind("manage code=", 0) == 0) ++reports;
  EXPECT_EQ(reports, 1u);
}

// HookOn and HookOff of the library loaded into this process, many times over: afterwards no hook
// is left behind, so a new dialog gets no set; one more HookOn still works.
TEST(DialogButtonsHookCycles, RepeatedOnAndOffLeavesNoHookBehind) {
  HostProcess host;
  ASSERT_TRUE(host.Start({"--no-hook"}));
  HMODULE library = ::LoadLibraryA((test::ProgramDirectory() + "LNTRHlp.dll").c_str());
  ASSERT_NE(library, nullptr);
  using HookFunction = void(WINAPI*)();
  auto on = reinterpret_cast<HookFunction>(::GetProcAddress(library, "HookOn"));
  auto off = reinterpret_cast<HookFunction>(::GetProcAddress(library, "HookOff"));
  ASSERT_NE(on, nullptr);
  ASSERT_NE(off, nullptr);
  for (int i = 0; i < kHookCycles; ++i) {
    on();
    off();
  }
  {
    OpenedDialog opened("open", "After cycles");
    ASSERT_NE(opened.Dialog(), nullptr);
    EXPECT_EQ(ClickAndWaitForReport(host, opened.Dialog(), 0, false, kSilenceMs), "");
  }
  on();
  {
    OpenedDialog opened("open", "Hooked again");
    ASSERT_NE(opened.Dialog(), nullptr);
    EXPECT_EQ(ClickAndWaitForReport(host, opened.Dialog(), 0, false),
              ManageLine(1, ReportedCorner(opened.Dialog(), 0)));
  }
  off();
  ::FreeLibrary(library);
}

// A call-return hook of this thread that takes a while, well within HookOff's wait.
constexpr DWORD kSlowCallMs = 100;
HANDLE g_SlowCallEntered = nullptr;

LRESULT CALLBACK SlowCallReturn(int code, WPARAM wParam, LPARAM lParam) {
  ::SetEvent(g_SlowCallEntered);
  ::Sleep(kSlowCallMs);
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// The host turns the hooks off and ends while a call of the call-return chain is under way in
// another thread: HookOff lets it finish first, so the session's server goes on serving (under
// Wine, an unhooked hook whose setter ends during such a call stops the server).
TEST(DialogButtonsHookCycles, HookOffLetsACallUnderWayFinishBeforeTheHostEnds) {
  HostProcess host;
  ASSERT_TRUE(host.Start());
  ScopedHandle entered(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  g_SlowCallEntered = entered.get();
  std::thread caller([] {
    ScopedHook hook(::SetWindowsHookExA(WH_CALLWNDPROCRET, SlowCallReturn, nullptr, ::GetCurrentThreadId()));
    HWND wnd = ::CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ::SendMessageA(wnd, WM_NULL, 0, 0);
    ::DestroyWindow(wnd);
  });
  EXPECT_EQ(::WaitForSingleObject(entered.get(), test::kAnswerTimeoutMs), WAIT_OBJECT_0);
  EXPECT_EQ(host.Stop(), static_cast<DWORD>(lntrhost::kExitOk));
  caller.join();
  // Were the server gone, this thread could make no window.
  HWND after = ::CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, nullptr, nullptr);
  EXPECT_NE(after, nullptr);
  ::DestroyWindow(after);
}

}  // namespace
}  // namespace kq
