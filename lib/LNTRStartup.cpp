#include "lib/LNTRStartup.h"

#include "bookmarks/KQVMenu.h"
#include "captionbuttons/KQCaptionButton.h"
#include "dialogbuttons/KQVCaptionButton.h"
#include "hook/KQVHook.h"
#include "hook/KQVHostLink.h"
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
  StartupDialogButtons();
  StartupHook();
}

void LibraryShutdown() {
  ShutdownHook();
  ShutdownDialogButtons();
  ShutdownCaptionButtons();
  ShutdownVMenu();
  ShutdownShellUtils();
  ShutdownUtils();
}

}  // namespace kq
