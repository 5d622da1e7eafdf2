// The bounded existence check, in this process (the library linked into the program): the answers
// of paths that answer, and what a folder that does not answer costs its callers.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/KQPathCheck.h"
#include "tests/support/TestPaths.h"
#include "tests/support/Timeouts.h"

namespace kq {
namespace {

// Far more than the check's own bound, far less than the slow folder's delay.
const DWORD kNoAnswerWaitMs = test::Scaled(4000);

// An existing file that is not a directory, as the system says within the bound.
bool FileAnswers(const std::string& path) { return IsFileAnswer(PathAttributesWithin(path)); }

TEST(PathCheck, AnswersAsTheSystemDoes) {
  test::ScratchDirectory dir;
  const std::string file = dir.WriteFile("a.txt", "x");
  EXPECT_TRUE(DirectoryAnswers(dir.Path()));
  EXPECT_FALSE(FileAnswers(dir.Path()));
  EXPECT_TRUE(FileAnswers(file));
  EXPECT_FALSE(DirectoryAnswers(file));
  const PathAnswer missing = PathAttributesWithin(dir.Path() + "\\missing");
  EXPECT_TRUE(missing.answered);
  EXPECT_EQ(missing.attributes, INVALID_FILE_ATTRIBUTES);
}

TEST(PathCheck, AFolderThatDoesNotAnswerCostsTheBoundAndFewThreads) {
  const std::string slow = test::SlowFolder();
  if (slow.empty()) {
    std::printf("[ skipped ] %s\n", test::WhyNoSlowFolder().c_str());
    GTEST_SKIP() << test::WhyNoSlowFolder();
  }
  const DWORD start = ::GetTickCount();
  const PathAnswer answer = PathAttributesWithin(slow);
  const DWORD first = ::GetTickCount() - start;
  // Asked again while its check still waits: the same check, no second thread.
  EXPECT_FALSE(DirectoryAnswers(slow));
  const DWORD both = ::GetTickCount() - start;
  std::printf("[ figures ] a folder that does not answer: no answer after %lu ms, and again after %lu ms\n",
              static_cast<unsigned long>(first), static_cast<unsigned long>(both - first));
  EXPECT_FALSE(answer.answered);
  EXPECT_LT(both, kNoAnswerWaitMs);
  EXPECT_EQ(PendingPathChecks(), 1);

  // Other paths that do not answer fill the checks that may wait; beyond them a path gets no
  // answer at once, even one that would answer.
  for (int i = 1; i < kMaxPendingPathChecks; ++i) PathAttributesWithin(slow + "\\" + std::to_string(i), 0);
  EXPECT_EQ(PendingPathChecks(), kMaxPendingPathChecks);
  test::ScratchDirectory dir;
  EXPECT_FALSE(PathAttributesWithin(dir.Path()).answered);
  EXPECT_EQ(PendingPathChecks(), kMaxPendingPathChecks);
}

}  // namespace
}  // namespace kq
