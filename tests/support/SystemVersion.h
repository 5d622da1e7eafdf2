// The operating-system version as the calling process is told it.
#pragma once

namespace kq::test {

// Whether the system reports itself as Windows XP or a later 5.x version (NT-based).
bool IsWinXP();

}  // namespace kq::test
