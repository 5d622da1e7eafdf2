// Mouse input synthesised as a user gives it, through the system's input queue.
#pragma once

#include <windows.h>

namespace kq::test {

// One mouse event with the given MOUSEEVENTF_ flags; x and y as SendInput takes them.
void SendMouse(DWORD flags, LONG x = 0, LONG y = 0);
// Moves the pointer to a point in screen coordinates.
void MoveMouseTo(LONG x, LONG y);

}  // namespace kq::test
