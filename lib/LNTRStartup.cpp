#include "lib/LNTRStartup.h"

#include "shellwindows/KQUtils.h"

namespace kq {

void LibraryStartup() {
  StartupUtils();
}

void LibraryShutdown() {
  ShutdownUtils();
}

}  // namespace kq
