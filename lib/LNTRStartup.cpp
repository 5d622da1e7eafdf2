#include "lib/LNTRStartup.h"

#include "captionbuttons/KQCaptionButton.h"
#include "shellwindows/KQUtils.h"

namespace kq {

void LibraryStartup() {
  StartupUtils();
  StartupCaptionButtons();
}

void LibraryShutdown() {
  ShutdownCaptionButtons();
  ShutdownUtils();
}

}  // namespace kq
