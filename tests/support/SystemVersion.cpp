#include "tests/support/SystemVersion.h"

#include <windows.h>

namespace kq::test {

bool IsWinXP() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!::GetVersionExA(&info)) return false;
#pragma GCC diagnostic pop
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion == HIBYTE(_WIN32_WINNT_WINXP) &&
         info.dwMinorVersion >= LOBYTE(_WIN32_WINNT_WINXP);
}

}  // namespace kq::test
