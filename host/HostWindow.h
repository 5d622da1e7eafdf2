// The host's main window, of class "TLanternaMain": it answers the library's questions, logs its
// reports and takes the commands of tests.
#pragma once

#include <windows.h>

#include "host/HostContext.h"

namespace lntrhost {

// Registers the class and creates the top-level window; null when either fails. The context must
// outlive the window.
HWND CreateHostWindow(HostContext& context);

}  // namespace lntrhost
