// The commands tests give the running host (the list is in host/HostProtocol.h).
#pragma once

#include <windows.h>

#include <string>

#include "host/HostContext.h"

namespace lntrhost {

// Runs one command line, logs what it did and answers the command's result (0 when unknown).
// Called from the window procedure while it handles the command's WM_COPYDATA.
LRESULT RunHostCommand(HostContext& context, const std::string& line);

// Sends target a CopyDataSetFolder record with folder (a null payload when folder is null) and
// cbData bytes of it (the folder and its zero when cbData is negative); logs under name. Answers
// the window's result, 0 when it did not answer.
LRESULT SendSetFolder(HostContext& context, HWND target, const std::string* folder, long long cbData,
                      const std::string& name);

// Sends target GetDlgFolderMsg (bounded; at once unsuccessful for a thread the system calls hung,
// unless abortIfHung is false), then logs "getfolder" with what ProbedFolder holds.
// Answers 1 when the window answered, else 0.
LRESULT SendGetFolder(HostContext& context, HWND target, bool abortIfHung = true);

}  // namespace lntrhost
