#include "lib/LNTRStartup.h"

#include "bookmarks/KQVMenu.h"
#include "shellwindows/KQShellUtils.h"
#include "shellwindows/KQUtils.h"

namespace kq {

void LibraryStartup() {
  StartupUtils();
  StartupShellUtils();
  StartupVMenu();
}

void LibraryShutdown() {
  ShutdownVMenu();
  ShutdownShellUtils();
  ShutdownUtils();
}

}  // namespace kq
