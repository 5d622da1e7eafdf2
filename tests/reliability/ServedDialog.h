// Real Open dialogs run in threads of the test program, each closed as soon as the library's
// button set serves it (or after a bound), for tests that open many dialogs in one process.
#pragma once

#include <windows.h>

namespace kq::test {

// How long a dialog waits for its set before it is closed without one.
constexpr DWORD kServedDialogWaitMs = 8000;

// Whether the window's procedure is no longer its class's: a button set serves it.
bool HasButtonSet(HWND dialog);

// Runs one GetOpenFileNameA dialog on the calling thread until it has its set (then cancels it)
// or until waitMs passed. Answers whether the set came.
bool RunDialogUntilServed(DWORD waitMs = kServedDialogWaitMs);

}  // namespace kq::test
