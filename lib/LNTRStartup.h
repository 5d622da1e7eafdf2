// The library's start-up and shut-down, in the one order every process that loads it follows.
#pragma once

namespace kq {

// Registers the messages, resolves the system entries, loads the module-wide bitmaps and creates
// the per-process lists. Called once, from DllMain (or a test program's start).
void LibraryStartup();
// The reverse: destroys the button sets (giving every window its own procedure back) and
// releases what start-up took.
void LibraryShutdown();

}  // namespace kq
