#include <gtest/gtest.h>

#include "shellwindows/KQUtils.h"

namespace kq {
namespace {

TEST(JoinPath, PutsOneBackslashBetween) {
  EXPECT_EQ(JoinPath("C:\\", "x"), "C:\\x");
  EXPECT_EQ(JoinPath("C:\\a", "x"), "C:\\a\\x");
}

}  // namespace
}  // namespace kq
