#include "tests/support/MessagePump.h"

namespace kq::test {

void PumpMessagesFor(DWORD ms) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= ms) return;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
  }
}

}  // namespace kq::test
