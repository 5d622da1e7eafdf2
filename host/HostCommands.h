// The commands tests give the running host (the list is in host/HostProtocol.h).
#pragma once

#include <windows.h>

#include <string>

#include "host/HostContext.h"

namespace lntrhost {

// Runs one command line, logs what it did and answers the command's result (0 when unknown).
// Called from the window procedure while it handles the command's WM_COPYDATA.
LRESULT RunHostCommand(HostContext& context, const std::string& line);

}  // namespace lntrhost
