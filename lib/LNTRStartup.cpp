#include "lib/LNTRStartup.h"

#include "bookmarks/KQVMenu.h"
#include "captionbuttons/KQCaptionButton.h"
#include "contextmenu/KQVContextMenu.h"
#include "dialogbuttons/KQVCaptionButton.h"
#include "hook/KQVHook.h"
#include "hook/KQVHostLink.h"
#include "lib/KQComServer.h"
#include "shellwindows/KQShellUtils.h"
#include "shellwindows/KQUtils.h"

namespace kq {

// The order every process that loads the library follows; shut-down runs it backwards.
void LibraryStartup() {
  RegisterObjectSelMsg();
  StartupUtils();
  StartupShellUtils();
  StartupVMenu();
  StartupCaptionButtons();
  StartupContextMenu();
  StartupDialogButtons();
  StartupHook();
  SetRegistrationReady(true);
}

void LibraryShutdown() {
  SetRegistrationReady(false);
  ShutdownHook();
  ShutdownDialogButtons();
  ShutdownContextMenu();
  ShutdownCaptionButtons();
  ShutdownVMenu();
  ShutdownShellUtils();
  ShutdownUtils();
}

}  // namespace kq
