// What the stand-in host's window procedure and commands work on.
#pragma once

#include <windows.h>

#include "host/HostBlock.h"
#include "host/HostLog.h"
#include "host/HostOptions.h"

namespace lntrhost {

struct HostContext {
  HostOptions options;  // commands change the answers and the start folder while the host runs
  HostBlock block;
  HostLog log;
  HWND window = nullptr;
  // The library's messages, registered by the host under the same names.
  UINT manageMsg = 0;
  UINT appIsDisabledMsg = 0;
  UINT getDlgFolderMsg = 0;
  // The folder menu while it is shown, and whether its items' places were logged.
  HMENU shownMenu = nullptr;
  bool menuItemsLogged = false;
};

}  // namespace lntrhost
