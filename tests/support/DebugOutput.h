// What programs write with OutputDebugString, read as a debug-output monitor reads it: through
// the shared buffer "DBWIN_BUFFER" and its events "DBWIN_BUFFER_READY" (the monitor waits for a
// line) and "DBWIN_DATA_READY" (a line is there: the writer's process id, then the text). Wine 10
// writes there when the writing process has no debugger; one monitor at a time.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/KQScoped.h"

namespace kq::test {

class ChildProcess;

class DebugOutputMonitor {
 public:
  DebugOutputMonitor();
  DebugOutputMonitor(const DebugOutputMonitor&) = delete;
  DebugOutputMonitor& operator=(const DebugOutputMonitor&) = delete;
  // False when the objects could not be made, or another monitor holds them.
  bool Ready() const { return ready_; }

  // The lines process writes until it ends, waiting at most timeoutMs; lines of other processes
  // are passed over.
  std::vector<std::string> LinesUntilExit(const ChildProcess& process, DWORD timeoutMs);

 private:
  ScopedHandle bufferReady_;
  ScopedHandle dataReady_;
  ScopedHandle buffer_;
  ScopedMappedView view_;
  bool ready_ = false;
};

}  // namespace kq::test
