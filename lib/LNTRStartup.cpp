#include "lib/LNTRStartup.h"

#include "hook/KQVHostLink.h"
#include "shellwindows/KQUtils.h"

namespace kq {

void LibraryStartup() {
  RegisterObjectSelMsg();
  StartupUtils();
  RegisterManageMsg();
  RegisterHookMessages();
}

void LibraryShutdown() {
  ShutdownUtils();
}

}  // namespace kq
