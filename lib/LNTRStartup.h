// The library's start-up and shut-down, in the one order every process that loads it follows.
#pragma once

namespace kq {

// Names the start-up for the first use of the library (common/KQStartOnce.h); DllMain calls it,
// and it runs nothing.
void DeferLibraryStartup() noexcept;
// Registers the messages, resolves the system entries, loads the module-wide bitmaps and creates
// the per-process lists, unless that has been done in this process. The first use of the DLL runs
// it; a program that links the library's units calls it at its start.
void LibraryStartup();
// The reverse, of only what cannot wait for the process to end: destroys the button sets (giving
// every window its own procedure back), removes the hooks of this process's threads and frees what
// start-up made that would outlive the module. Loads and frees no module, waits for no other
// thread and calls no COM: the unload runs it inside the loader's lock. Nothing when start-up
// never ran.
void LibraryShutdown();

}  // namespace kq
