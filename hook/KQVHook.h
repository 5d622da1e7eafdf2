// The exports HookOn and HookOff, which install and remove the library's system-wide hooks.
#pragma once

#include <windows.h>

extern "C" {
void WINAPI HookOn();
void WINAPI HookOff();
}
