// Programs a test starts in processes of their own, and the windows they show.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/KQScoped.h"
#include "tests/support/MessagePump.h"

namespace kq::test {

// One started program. The destructor ends it if it still runs (and waits for its end), so no
// test leaves processes behind.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts exePath with the given arguments (each quoted as needed). False when it could not start.
  bool Start(const std::string& exePath, const std::vector<std::string>& args = {});
  bool Running() const;
  DWORD Pid() const { return pid_; }
  HANDLE Handle() const { return process_.get(); }
  const std::string& ExePath() const { return exePath_; }

  // The exit code once the program has ended, or nothing when it still runs after timeoutMs.
  std::optional<DWORD> WaitForExit(DWORD timeoutMs);
  void Terminate();

  // The first visible top-level window of this process for which accept answers true, waiting up
  // to timeoutMs (the caller's own messages are pumped meanwhile); null when none came.
  HWND WaitForWindow(const std::function<bool(HWND)>& accept, DWORD timeoutMs) const;
  // As above for a window of the given class (compared ignoring case).
  HWND WaitForWindowOfClass(const std::string& className, DWORD timeoutMs) const;

 private:
  ScopedHandle process_;
  DWORD pid_ = 0;
  std::string exePath_;
};

// The visible top-level windows of process pid, in z-order.
std::vector<HWND> TopLevelWindowsOf(DWORD pid);

// A command-line argument quoted so that the C runtime's parser gives it back unchanged.
std::string QuoteArgument(const std::string& arg);

}  // namespace kq::test
