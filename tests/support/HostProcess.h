// The stand-in host (LNTRHost.exe) in a process of its own, as tests use it: started with options,
// driven with text commands, its log read while it runs, ended when the test is done.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/KQScoped.h"
#include "tests/support/MessagePump.h"
#include "tests/support/Timeouts.h"

namespace kq {

class HostProcess {
 public:
  static inline const DWORD kStartTimeoutMs = test::Scaled(15000);
  // Longer than the host's own wait for the windows it sends commands to.
  static inline const DWORD kCommandTimeoutMs = test::Scaled(10000);
  static inline const DWORD kStopTimeoutMs = test::Scaled(5000);

  // The host program: LNTRHost.exe next to this program unless another is named (the 32-bit host
  // beside an x86-64 test, for example).
  explicit HostProcess(std::string exePath = HostExePath());
  ~HostProcess();  // ends the host if it still runs and deletes its log
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  // Starts LNTRHost.exe (next to this program) with options (its --log is added here) and waits
  // until it reports its window. False when it ended or did not get ready in time.
  bool Start(const std::vector<std::string>& options = {}, DWORD timeoutMs = kStartTimeoutMs);

  HWND Window() const { return window_; }
  DWORD ProcessId() const { return pid_; }
  const std::string& LogPath() const { return logPath_; }

  // Sends one command (host/HostProtocol.h) and waits for the host's answer. Sent without
  // SMTO_BLOCK, so windows of the calling thread keep answering what the host sends them meanwhile.
  // False when the host did not answer in time.
  bool Command(const std::string& text, LRESULT* answer = nullptr, DWORD timeoutMs = kCommandTimeoutMs) const;

  std::vector<std::string> LogLines() const;
  // Waits until a log line at index from or later starts with prefix; gives the line and its index.
  // The calling thread's messages are dispatched while it waits.
  bool WaitForLine(const std::string& prefix, std::string* line = nullptr, DWORD timeoutMs = kCommandTimeoutMs,
                   size_t from = 0, size_t* index = nullptr) const;

  // Asks the host to quit and waits for it to end (ending it by force after timeoutMs). Answers its
  // exit code, or STILL_ACTIVE when it could not be ended.
  DWORD Stop(DWORD timeoutMs = kStopTimeoutMs);
  // Ends the host at once, without asking (for a host that no longer answers).
  void Kill();
  // Waits for the host to end by itself (after a failed start, for example).
  bool WaitForExit(DWORD timeoutMs, DWORD* exitCode = nullptr) const;

  static std::string HostExePath();

 private:
  std::string exePath_;
  ScopedHandle process_;
  DWORD pid_ = 0;
  HWND window_ = nullptr;
  std::string logPath_;
};

// Texts of the host's log: a window handle as the log writes it ("0x" and lowercase digits), and
// the line of a press or double-click reported with code at point p ("manage code=1 x=.. y=..").
std::string HexOf(HWND wnd);
std::string ManageLine(int code, POINT p);

}  // namespace kq
