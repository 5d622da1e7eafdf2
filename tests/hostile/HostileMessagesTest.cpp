// Messages any program may send to a dialog that lives in another process: the stand-in host turns
// the hooks on, a helper shows a real Open dialog, and the test floods it.
//
// Wine answers GetWindowLongPtr(GWLP_WNDPROC) and GetClassLongPtr(GCLP_WNDPROC) of another
// process's window with 0 (access denied), so a set is seen from here by what only a set does:
// it answers "LNTR_GetDlgFolder" with 1, and the host hears each of its questions.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "hook/KQVHostLink.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/HostProcess.h"
#include "tests/support/TestPaths.h"

namespace kq {
namespace {

constexpr DWORD kDialogWaitMs = 30000;
constexpr DWORD kAnswerTimeoutMs = 5000;
constexpr DWORD kCloseWaitMs = 15000;
constexpr DWORD kSettleMs = 1500;
constexpr int kInitRequests = 1000;
// CDM_GETFOLDERPATH with no buffer answers the size the folder needs: a file dialog at work.
constexpr UINT kGetFolderPath = WM_USER + 102;

std::string Hex(HWND wnd) {
  char text[32];
  std::snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(wnd)));
  return text;
}

size_t CountLines(const HostProcess& host, const std::string& prefix) {
  size_t count = 0;
  for (const std::string& line : host.LogLines())
    if (line.rfind(prefix, 0) == 0) ++count;
  return count;
}

bool SendBounded(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR* result) {
  return ::SendMessageTimeoutA(wnd, msg, wParam, lParam, SMTO_NORMAL, kAnswerTimeoutMs, result) != 0;
}

TEST(InitButtonsFlood, AThousandRequestsAttachOneSetAndTheDialogWorksAndClosesNormally) {
  test::ChildProcess opener;
  ASSERT_TRUE(opener.Start(test::HelperPath("dialog_opener.exe"), {"open", "--title", "Flooded"}));
  HWND dialog = opener.WaitForWindowOfClass("#32770", kDialogWaitMs);
  ASSERT_NE(dialog, nullptr);
  test::PumpMessagesFor(kSettleMs);

  HostProcess host;
  ASSERT_TRUE(host.Start());
  DWORD_PTR answer = 0;
  // Before any request the dialog has no set: its own procedure knows nothing of the question.
  ASSERT_TRUE(SendBounded(dialog, GetDlgFolderMsg, 0, 0, &answer));
  EXPECT_EQ(answer, 0u);

  const DWORD start = ::GetTickCount();
  int answered = 0;
  for (int i = 0; i < kInitRequests; ++i)
    if (SendBounded(dialog, InitButtonsMsg, i, -i, &answer)) ++answered;
  const DWORD floodMs = ::GetTickCount() - start;
  EXPECT_EQ(answered, kInitRequests);
  test::PumpMessagesFor(kSettleMs);
  std::printf("[ measure ] %d InitButtonsMsg to a dialog of another process: %lu ms\n", kInitRequests, floodMs);

  ASSERT_TRUE(SendBounded(dialog, GetDlgFolderMsg, 0, 0, &answer));
  EXPECT_EQ(answer, 1u) << "the dialog has a set";
  // One set: asked about once, asked for a start folder once.
  const std::string hwnd = Hex(dialog);
  EXPECT_EQ(CountLines(host, "appdisabled hwnd=" + hwnd + " "), 1u);
  EXPECT_EQ(CountLines(host, "manage code=3 hwnd=" + hwnd + " "), 1u);

  ASSERT_TRUE(SendBounded(dialog, kGetFolderPath, 0, 0, &answer));
  EXPECT_GT(answer, 1u);

  ASSERT_TRUE(::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0));
  auto exitCode = opener.WaitForExit(kCloseWaitMs);
  ASSERT_TRUE(exitCode.has_value());
  EXPECT_EQ(*exitCode, 0u);  // cancelled, as a user would
  // The one set reported the last folder once.
  EXPECT_TRUE(host.WaitForLine("copydata kind=3 wparam=" + hwnd, nullptr, kAnswerTimeoutMs));
  EXPECT_EQ(CountLines(host, "copydata kind=3 wparam=" + hwnd + " "), 1u);
}

}  // namespace
}  // namespace kq
