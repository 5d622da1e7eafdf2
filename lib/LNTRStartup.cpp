#include "lib/LNTRStartup.h"

#include "bookmarks/KQVMenu.h"
#include "hook/KQVHostLink.h"
#include "shellwindows/KQShellUtils.h"
#include "shellwindows/KQUtils.h"

namespace kq {

void LibraryStartup() {
  RegisterObjectSelMsg();
  StartupUtils();
  StartupShellUtils();
  StartupVMenu();
  RegisterManageMsg();
  RegisterHookMessages();
}

void LibraryShutdown() {
  ShutdownVMenu();
  ShutdownShellUtils();
  ShutdownUtils();
}

}  // namespace kq
