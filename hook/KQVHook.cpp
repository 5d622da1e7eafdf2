#include "hook/KQVHook.h"

// The hooks come with the caption buttons; until then the exports install nothing.
extern "C" {
void WINAPI HookOn() {}
void WINAPI HookOff() {}
}
