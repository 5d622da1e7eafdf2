// Messages any program may send to a dialog that lives in another process: the stand-in host turns
// the hooks on, a helper shows a real Open dialog, and the test floods it.
//
// Wine answers GetWindowLongPtr(GWLP_WNDPROC) and GetClassLongPtr(GCLP_WNDPROC) of another
// process's window with 0 (access denied), so a set is seen from here by what only a set does:
// it answers "LNTR_GetDlgFolder" with 1, and the host hears each of its questions.
#include <gtest/gtest.h>
#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "hostlink/KQVHostLink.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/HostProcess.h"
#include "tests/support/TestPaths.h"
#include "tests/support/Timeouts.h"

namespace kq {
namespace {

using test::kAnswerTimeoutMs;
using test::kCloseWaitMs;
using test::kDialogWaitMs;
using test::kSettleMs;
constexpr int kInitRequests = 1000;

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
  const std::string hwnd = HexOf(dialog);
  EXPECT_EQ(CountLines(host, "appdisabled hwnd=" + hwnd + " "), 1u);
  EXPECT_EQ(CountLines(host, "manage code=3 hwnd=" + hwnd + " "), 1u);

  // CDM_GETFOLDERPATH with no buffer answers the size the folder needs: a file dialog at work.
  ASSERT_TRUE(SendBounded(dialog, CDM_GETFOLDERPATH, 0, 0, &answer));
  EXPECT_GT(answer, 1u);

  ASSERT_TRUE(::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0));
  auto exitCode = opener.WaitForExit(kCloseWaitMs);
  ASSERT_TRUE(exitCode.has_value());
  EXPECT_EQ(*exitCode, 0u);  // cancelled, as a user would
  // The one set reported the last folder once.
  EXPECT_TRUE(host.WaitForLine("copydata kind=3 wparam=" + hwnd, nullptr, kAnswerTimeoutMs));
  EXPECT_EQ(CountLines(host, "copydata kind=3 wparam=" + hwnd + " "), 1u);
}

// Polls until the dialog's set answers the folder question; the time it took, or -1.
long WaitForSet(HWND dialog, DWORD waitMs) {
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < waitMs) {
    DWORD_PTR answer = 0;
    if (SendBounded(dialog, GetDlgFolderMsg, 0, 0, &answer) && answer == 1) return ::GetTickCount() - start;
    test::PumpMessagesFor(50);
  }
  return -1;
}

TEST(ManageCodes, AnyCodeSentOrPostedLeavesTheSetAndOnlyFiveRemovesIt) {
  HostProcess host;
  ASSERT_TRUE(host.Start());
  test::ChildProcess opener;
  ASSERT_TRUE(opener.Start(test::HelperPath("dialog_opener.exe"), {"open", "--title", "Codes"}));
  HWND dialog = opener.WaitForWindowOfClass("#32770", kDialogWaitMs);
  ASSERT_NE(dialog, nullptr);
  ASSERT_GE(WaitForSet(dialog, kDialogWaitMs), 0);

  std::vector<WPARAM> codes;
  for (WPARAM code = 0; code <= 1000; ++code)
    if (code != kManageRemoveButtons) codes.push_back(code);
  for (WPARAM extreme : {WPARAM(0x7FFFFFFF), WPARAM(0x80000000), WPARAM(0xFFFFFFFF), ~WPARAM(0), WPARAM(-4)})
    codes.push_back(extreme);
  DWORD_PTR answer = 0;
  for (WPARAM code : codes) {
    EXPECT_TRUE(SendBounded(dialog, ManageMsg, code, static_cast<LPARAM>(code * 7919), &answer)) << code;
    ::PostMessageA(dialog, ManageMsg, code, -1);
  }
  test::PumpMessagesFor(kSettleMs);
  ASSERT_TRUE(SendBounded(dialog, GetDlgFolderMsg, 0, 0, &answer));
  EXPECT_EQ(answer, 1u) << "the set is still there";
  // Code 4 again and again: the host was asked for a start folder once.
  EXPECT_EQ(CountLines(host, "manage code=3 hwnd=" + HexOf(dialog) + " "), 1u);
  ASSERT_TRUE(SendBounded(dialog, CDM_GETFOLDERPATH, 0, 0, &answer));
  EXPECT_GT(answer, 1u);

  ASSERT_TRUE(SendBounded(dialog, ManageMsg, kManageRemoveButtons, 0, &answer));
  ASSERT_TRUE(SendBounded(dialog, GetDlgFolderMsg, 0, 0, &answer));
  EXPECT_EQ(answer, 0u) << "code 5 took the set away";
  for (WPARAM code : codes) ::PostMessageA(dialog, ManageMsg, code, 0);
  ASSERT_TRUE(SendBounded(dialog, CDM_GETFOLDERPATH, 0, 0, &answer));
  EXPECT_GT(answer, 1u);

  ASSERT_TRUE(::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0));
  auto exitCode = opener.WaitForExit(kCloseWaitMs);
  ASSERT_TRUE(exitCode.has_value());
  EXPECT_EQ(*exitCode, 0u);
}

// A host that stops answering: a new dialog still opens and gets its set although the host was
// told to disable the program (no answer is not a veto), and it closes, long before the host
// wakes up again.
TEST(HungHost, ANewDialogOpensWithItsSetAndClosesWhileTheHostSleeps) {
  constexpr DWORD kHangMs = 40000;
  HostProcess host;
  ASSERT_TRUE(host.Start());
  ASSERT_TRUE(host.Command("disable dialog_opener.exe"));
  ASSERT_TRUE(host.Command("hang " + std::to_string(kHangMs)));
  const DWORD hangStart = ::GetTickCount();

  test::ChildProcess opener;
  ASSERT_TRUE(opener.Start(test::HelperPath("dialog_opener.exe"), {"open", "--title", "Hung host"}));
  HWND dialog = opener.WaitForWindowOfClass("#32770", kDialogWaitMs);
  ASSERT_NE(dialog, nullptr);
  const DWORD shown = ::GetTickCount() - hangStart;
  const long served = WaitForSet(dialog, kDialogWaitMs);
  ASSERT_GE(served, 0) << "no set while the host sleeps";
  DWORD_PTR answer = 0;
  ASSERT_TRUE(SendBounded(dialog, CDM_GETFOLDERPATH, 0, 0, &answer));
  EXPECT_GT(answer, 1u);
  const DWORD working = ::GetTickCount() - hangStart;

  const DWORD closeStart = ::GetTickCount();
  ASSERT_TRUE(::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0));
  auto exitCode = opener.WaitForExit(kCloseWaitMs);
  ASSERT_TRUE(exitCode.has_value());
  EXPECT_EQ(*exitCode, 0u);
  const DWORD closed = ::GetTickCount() - closeStart;
  EXPECT_LT(::GetTickCount() - hangStart, kHangMs) << "everything waited for the host";
  std::printf(
      "[ measure ] hung host: dialog shown after %lu ms, set answering after %lu ms more, working at %lu ms, "
      "closed in %lu ms (bound per question %lu ms)\n",
      shown, static_cast<unsigned long>(served), working, closed, kHostAnswerTimeoutMs);
  host.Kill();
}

LRESULT SendFolderRecord(HWND dialog, const void* data, DWORD size, bool* answered) {
  COPYDATASTRUCT record = {};
  record.dwData = CopyDataSetFolder;
  record.cbData = size;
  record.lpData = const_cast<void*>(data);
  DWORD_PTR answer = 0;
  *answered = ::SendMessageTimeoutA(dialog, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record), SMTO_NORMAL,
                                    kCloseWaitMs, &answer) != 0;
  return static_cast<LRESULT>(answer);
}

// The folder ends at its zero or at the record's end, whichever comes first: a record of no bytes
// names no folder, one without a zero names the bytes it carries, a huge one is read no further
// than its first zero.
TEST(CopyDataSizes, TheFolderIsReadWithinTheRecordWhateverItsSize) {
  HostProcess host;
  ASSERT_TRUE(host.Start());
  test::ChildProcess opener;
  ASSERT_TRUE(opener.Start(test::HelperPath("dialog_opener.exe"), {"open", "--title", "Records"}));
  HWND dialog = opener.WaitForWindowOfClass("#32770", kDialogWaitMs);
  ASSERT_NE(dialog, nullptr);
  ASSERT_GE(WaitForSet(dialog, kDialogWaitMs), 0);

  const std::string folder = "C:\\windows";
  bool answered = false;
  EXPECT_EQ(SendFolderRecord(dialog, folder.c_str(), 0, &answered), 0);
  EXPECT_TRUE(answered);
  EXPECT_EQ(SendFolderRecord(dialog, folder.c_str(), static_cast<DWORD>(folder.size()), &answered), 1);
  EXPECT_TRUE(answered);

  // Wine 10 delivers no record of about 1 MiB to a 32-bit program: the send times out and the
  // receiving thread answers no sent message afterwards, also with a plain window of its own and
  // without this library. A 32-bit dialog therefore gets half a mebibyte.
  constexpr DWORD kHuge = sizeof(void*) == 8 ? 1u << 20 : 1u << 19;
  std::vector<char> huge(kHuge, 'a');
  std::copy(folder.begin(), folder.end(), huge.begin());
  huge[folder.size()] = '\0';
  DWORD start = ::GetTickCount();
  EXPECT_EQ(SendFolderRecord(dialog, huge.data(), kHuge, &answered), 1);
  EXPECT_TRUE(answered);
  const DWORD withZero = ::GetTickCount() - start;
  huge[folder.size()] = 'a';
  start = ::GetTickCount();
  EXPECT_EQ(SendFolderRecord(dialog, huge.data(), kHuge, &answered), 0);
  EXPECT_TRUE(answered);
  const DWORD withoutZero = ::GetTickCount() - start;
  std::printf("[ measure ] %lu KiB folder records: %lu ms with a zero after the folder, %lu ms without any\n",
              kHuge / 1024, withZero, withoutZero);

  DWORD_PTR answer = 0;
  ASSERT_TRUE(SendBounded(dialog, GetDlgFolderMsg, 0, 0, &answer));
  EXPECT_EQ(answer, 1u);
  EXPECT_EQ(::lstrcmpiA(ReadProbedFolder().c_str(), folder.c_str()), 0) << ReadProbedFolder();
  ASSERT_TRUE(::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0));
  auto exitCode = opener.WaitForExit(kCloseWaitMs);
  ASSERT_TRUE(exitCode.has_value());
  EXPECT_EQ(*exitCode, 0u);
}

}  // namespace
}  // namespace kq
