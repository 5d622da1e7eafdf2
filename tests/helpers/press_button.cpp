// press_button.exe TITLE INDEX [right]: clicks caption button INDEX of the top-level window
// titled TITLE with synthesised mouse input, as a user would. Exit code 0 when it clicked.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "captionbuttons/KQCaptionButton.h"
#include "dialogbuttons/KQVCaptionButton.h"

namespace {

void SendMouse(DWORD flags, LONG x = 0, LONG y = 0) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dx = x;
  input.mi.dy = y;
  input.mi.dwFlags = flags;
  ::SendInput(1, &input, sizeof(input));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  HWND wnd = nullptr;
  for (int i = 0; i < 100 && !wnd; ++i, ::Sleep(100)) wnd = ::FindWindowA(nullptr, argv[1]);
  if (!wnd) return 3;
  const int index = std::atoi(argv[2]);
  const bool right = argc > 3 && std::strcmp(argv[3], "right") == 0;

  // The same layout as the set in the window's process: the two buttons of a dialog set.
  kq::TKQCaptionButtons layout(nullptr);
  layout.AddButton(nullptr, kq::kFavoritesTag, kq::kButtonSpacing, nullptr, false);
  layout.AddButton(nullptr, kq::kHistoryTag, kq::kButtonSpacing, nullptr, false);
  RECT r = layout.GetButtonRect(wnd, index, false);
  const LONG x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
  const LONG ax = x * 65535 / (::GetSystemMetrics(SM_CXSCREEN) - 1);
  const LONG ay = y * 65535 / (::GetSystemMetrics(SM_CYSCREEN) - 1);
  ::SetForegroundWindow(wnd);
  SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, ax, ay);
  ::Sleep(100);
  SendMouse(right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN);
  ::Sleep(100);
  SendMouse(right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP);
  return 0;
}
