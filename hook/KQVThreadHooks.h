// The hooks of the x86-64 library when it serves beside a 32-bit host, whose 32-bit library has
// global hooks of the same kinds. Under Wine a global hook whose module cannot be loaded into a
// process (a 64-bit DLL in a 32-bit program, or the reverse) ends that hook chain there, so two
// global chains of both kinds would each leave one half of the desktop without buttons. Here the
// x86-64 library gets into 64-bit programs through an in-context event hook, which does not
// chain, and gives each of their GUI threads hooks of its own (WH_CALLWNDPROCRET, WH_MOUSE), which
// run before the global ones. The thread hooks serve while a named switch exists; the process that
// called HookOn holds it.
#pragma once

#include <windows.h>

namespace kq {

// Whether the host's window belongs to a 32-bit program on a 64-bit system.
bool HostIsThirtyTwoBit();

// In the process that calls HookOn/HookOff: the event hooks and the switch. Off also removes the
// thread hooks of this process; the library's stop calls it in every process.
void ThreadHooksOn();
void ThreadHooksOff();

// At library stop, in every process: the thread hooks of this process go.
void RemoveThreadHooks();

}  // namespace kq
