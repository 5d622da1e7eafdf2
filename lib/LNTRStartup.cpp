#include "lib/LNTRStartup.h"

#include <initializer_list>

#include "bookmarks/KQVMenu.h"
#include "captionbuttons/KQCaptionButton.h"
#include "common/KQGuard.h"
#include "common/KQUtils.h"
#include "contextmenu/KQVMenuCache.h"
#include "dialogbuttons/KQVCaptionButton.h"
#include "hook/KQVHook.h"
#include "hostlink/KQVHostLink.h"
#include "lib/KQComServer.h"
#include "shellwindows/KQShellUtils.h"

namespace kq {

// The order every process that loads the library follows; shut-down runs it backwards. Start-up
// runs inside the loader's lock of a program that only wanted to load us: each step is guarded,
// and the first that fails ends it, leaving a library that does nothing (no hooks, no
// registration) rather than a program that cannot load it.
void LibraryStartup() {
  for (void (*step)() : {StartupHostLink, StartupUtils, StartupShellUtils, StartupVMenu, StartupCaptionButtons,
                         StartupDialogButtons, StartupHook}) {
    if (!Guard(step)) return;
  }
  SetRegistrationReady(true);
}

// Each step of the shut-down runs whatever an earlier one met.
void LibraryShutdown() {
  SetRegistrationReady(false);
  for (void (*step)() : {ShutdownHook, ShutdownMenuCache, ShutdownDialogButtons, ShutdownCaptionButtons, ShutdownVMenu,
                         ShutdownShellUtils, ShutdownUtils})
    Guard(step);
}

}  // namespace kq
