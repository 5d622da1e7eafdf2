// A folder whose existence check does not answer (on a network share that does not answer) sent
// to a real Wine file dialog in another process: the dialog's thread is held no longer than the
// library's bound, the host gets its answer, and the dialog goes on.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/shellwindows/FolderFixtures.h"

namespace kq::test {
namespace {

constexpr char kStartDir[] = "C:\\users";
constexpr char kWindows[] = "C:\\windows";
// Far more than the library's bound on the check, far less than the slow folder's delay.
const DWORD kNoAnswerWaitMs = Scaled(4000);

TEST(SlowFolder, DoesNotHoldTheDialog) {
  const std::string slow = SlowFolder();
  if (slow.empty()) {
    std::printf("[ skipped ] %s\n", WhyNoSlowFolder().c_str());
    GTEST_SKIP() << WhyNoSlowFolder();
  }
  WatchedDialog opened("open", "Far away", kStartDir);
  ASSERT_NE(opened.Dialog(), nullptr);
  HWND dialog = opened.Dialog();
  ASSERT_TRUE(opened.WaitForFolder(kStartDir));

  // The host's own send gives up after a while and then answers 0 as well: its log says whether
  // the dialog answered.
  const size_t from = SharedHost().LogLines().size();
  const DWORD start = ::GetTickCount();
  EXPECT_EQ(HostSetFolder(dialog, slow), 0);
  const DWORD took = ::GetTickCount() - start;
  std::printf("[ figures ] setfolder to a folder that does not answer answered after %lu ms\n",
              static_cast<unsigned long>(took));
  const auto sent = HostLinesFrom("setfolder ", from);
  ASSERT_EQ(sent.size(), 1u) << HostLogSince(from);
  EXPECT_NE(sent[0].find(" sent=1 answer=0 "), std::string::npos) << sent[0];
  EXPECT_LT(took, kNoAnswerWaitMs);
  EXPECT_TRUE(opened.StaysIn(kStartDir)) << opened.Folder();

  // The dialog goes on: the next folder is checked and opened while the first check still waits.
  EXPECT_EQ(HostSetFolder(dialog, kWindows), 1);
  EXPECT_TRUE(opened.WaitForFolder(kWindows)) << opened.Folder();
  EXPECT_EQ(opened.Close(), std::optional<DWORD>(0));
}

}  // namespace
}  // namespace kq::test
