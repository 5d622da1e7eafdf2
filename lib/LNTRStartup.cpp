#include "lib/LNTRStartup.h"

#include <initializer_list>

#include "bookmarks/KQVMenu.h"
#include "captionbuttons/KQCaptionButton.h"
#include "common/KQGuard.h"
#include "common/KQStartOnce.h"
#include "common/KQTrace.h"
#include "common/KQUtils.h"
#include "contextmenu/KQVMenuCache.h"
#include "dialogbuttons/KQVCaptionButton.h"
#include "hook/KQVHook.h"
#include "hostlink/KQVHostLink.h"
#include "lib/KQComServer.h"
#include "shellwindows/KQShellUtils.h"

namespace kq {
namespace {

// The order every process that loads the library follows, once, at its first use. The trace is
// read first, so that it sees every later step. Each step is guarded, and the first that fails
// ends the start-up, leaving a library that does nothing (no hooks, no registration) rather than a
// program that cannot use it.
void RunStartupSteps() {
  for (void (*step)() : {StartupTrace, StartupHostLink, StartupUtils, StartupShellUtils, StartupVMenu,
                         StartupCaptionButtons, StartupDialogButtons, StartupHook}) {
    if (!Guard(step)) return;
  }
  SetRegistrationReady(true);
}

}  // namespace

void DeferLibraryStartup() noexcept { SetLibraryStartup(&RunStartupSteps); }

void LibraryStartup() {
  DeferLibraryStartup();
  EnsureStarted();
}

// Runs inside the loader's lock of an unload, so only what cannot wait for the process's end, and
// each step whatever an earlier one met. The hooks of this process's threads go and every window
// gets its own procedure back (the system would otherwise call into a module that is gone); the
// glyphs, the history bitmap, the menu's kept readings with their registry watches and the last
// Office folder are freed, and the trace's thread slot given back, as nothing could free them once
// the module is gone, and a shell that unloads and loads the library again would gather them. What
// start-up resolved or registered needs nothing: registered messages live as long as the session,
// and the system modules it took stay loaded, as freeing a module is no work for the loader's lock.
void LibraryShutdown() {
  if (!HasStarted()) return;
  SetRegistrationReady(false);
  for (void (*step)() : {ShutdownHook, ShutdownMenuCache, ShutdownDialogButtons, ShutdownVMenu, ShutdownTrace})
    Guard(step);
}

}  // namespace kq
