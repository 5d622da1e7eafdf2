// The system-wide hooks: the call-return hook attaches the Favourites and History buttons to
// every recognised window as it is created, initialised or activated; the mouse hook reports
// double-clicks on empty list-view and tree-view space to the host.
#pragma once

#include <windows.h>

namespace kq {

class TKQVCaptionButtonsLst;

// All dialog button sets of this process; exists between StartupHook and ShutdownHook.
TKQVCaptionButtonsLst* ButtonSets();

// Creates the set for wnd and adds its two buttons; false when the host says no or anything fails.
bool AttachButtons(HWND wnd);

// Whether the call-return hook acts on a message at all (most it lets pass untouched).
bool IsHookMessage(UINT msg);

LRESULT CALLBACK CallWndRetHookProc(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK MouseHookProc(int code, WPARAM wParam, LPARAM lParam);

void StartupHook();
void ShutdownHook();

}  // namespace kq

extern "C" {
void WINAPI HookOn();
void WINAPI HookOff();
}
