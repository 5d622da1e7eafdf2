// Reports the library's operating-system version tests as this process sees them, in its exit
// code. Its manifest declares Windows 10 support, so a prefix set to "win10" reports 10.0 to it.
//
// Exit code: bit 0 IsWinNT, bit 1 IsWinXP (the tests' own, tests/support), bit 2 IsWinNT6, bit 3
// QueryTitleBarInfoEx on a window that answers WM_GETTITLEBARINFOEX left a non-zero size field,
// bit 4 that window was asked, bit 5 the record of a window that does not answer had a non-zero
// size field, bit 6 every record left with size field 0 was zero throughout; bits 8..15 the major
// and 16..23 the minor version reported by GetVersionExA.
#include <windows.h>

#include <cstring>

#include "common/KQUtils.h"
#include "tests/support/SystemVersion.h"

namespace {

bool g_Asked = false;

LRESULT CALLBACK AnsweringProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_GETTITLEBARINFOEX) {
    g_Asked = true;
    auto* info = reinterpret_cast<TITLEBARINFOEX*>(lParam);
    SetRect(&info->rcTitleBar, 1, 2, 3, 4);
    return 1;
  }
  return DefWindowProcA(wnd, msg, wParam, lParam);
}

bool ZeroedExceptSize(const TITLEBARINFOEX& info) {
  TITLEBARINFOEX zero = {};
  zero.cbSize = info.cbSize;
  return std::memcmp(&zero, &info, sizeof(info)) == 0;
}

}  // namespace

int main() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = AnsweringProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "LntrTitleBarAnswer";
  RegisterClassA(&wc);
  HWND answering = CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                   wc.hInstance, nullptr);
  HWND plain =
      CreateWindowExA(0, "Static", "", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr, wc.hInstance, nullptr);

  DWORD code = 0;
  if (kq::IsWinNT()) code |= 1u << 0;
  if (kq::test::IsWinXP()) code |= 1u << 1;
  if (kq::IsWinNT6()) code |= 1u << 2;
  TITLEBARINFOEX info;
  bool zeroed = true;
  kq::QueryTitleBarInfoEx(answering, info);
  if (info.cbSize != 0)
    code |= 1u << 3;
  else
    zeroed = zeroed && ZeroedExceptSize(info);
  if (g_Asked) code |= 1u << 4;
  kq::QueryTitleBarInfoEx(plain, info);
  if (info.cbSize != 0)
    code |= 1u << 5;
  else
    zeroed = zeroed && ZeroedExceptSize(info);
  if (zeroed) code |= 1u << 6;

  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExA(&version);
#pragma GCC diagnostic pop
  code |= (version.dwMajorVersion & 0xFF) << 8 | (version.dwMinorVersion & 0xFF) << 16;
  DestroyWindow(answering);
  DestroyWindow(plain);
  return static_cast<int>(code);
}
