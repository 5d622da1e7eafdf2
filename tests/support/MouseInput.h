// Mouse input synthesised as a user gives it, through the system's input queue, and where to give
// it on a dialog set's buttons.
#pragma once

#include <windows.h>

namespace kq::test {

// One mouse event with the given MOUSEEVENTF_ flags; x and y as SendInput takes them.
void SendMouse(DWORD flags, LONG x = 0, LONG y = 0);
// Moves the pointer to a point in screen coordinates, then runs the calling thread's messages for
// a moment so that the move has arrived.
void MoveMouseTo(POINT p);
// Presses or releases the left (or right) button where the pointer is, and lets it arrive.
void MouseButton(bool down, bool right = false);
// A click at a point in screen coordinates: moved there, pressed and released.
void ClickAt(POINT p, bool right = false);
// A double-click of the left button where the pointer is: pressed and released twice in a row.
void DoubleClick();

// Where button index of a dialog set (Favourites, History) sits on wnd, in screen coordinates, with
// the given extra space to the window's own caption buttons: the set's layout, computed here.
RECT DialogButtonRect(HWND wnd, int index, int rightOffset = 0);
POINT CentreOf(const RECT& r);

}  // namespace kq::test
