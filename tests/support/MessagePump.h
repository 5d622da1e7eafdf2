// Running the calling thread's messages while a test waits for other threads and processes.
#pragma once

#include <windows.h>

namespace kq::test {

// Runs the calling thread's messages for about ms milliseconds (at least once, even for 0).
void PumpMessagesFor(DWORD ms);

}  // namespace kq::test
