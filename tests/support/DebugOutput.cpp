#include "tests/support/DebugOutput.h"

#include <cstring>

#include "tests/support/ChildProcess.h"

namespace kq::test {
namespace {

// The buffer: the writer's process id, then the text and its terminator.
constexpr DWORD kBufferBytes = 4096;
constexpr DWORD kTextBytes = kBufferBytes - sizeof(DWORD);
// How often the monitor looks whether the process has ended while no line comes.
constexpr DWORD kPollMs = 50;

}  // namespace

DebugOutputMonitor::DebugOutputMonitor() {
  bufferReady_.reset(::CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY"));
  const bool first = bufferReady_ && ::GetLastError() != ERROR_ALREADY_EXISTS;
  dataReady_.reset(::CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY"));
  buffer_.reset(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferBytes, "DBWIN_BUFFER"));
  if (buffer_) view_.reset(::MapViewOfFile(buffer_.get(), FILE_MAP_READ, 0, 0, kBufferBytes));
  ready_ = first && dataReady_ && view_;
}

std::vector<std::string> DebugOutputMonitor::LinesUntilExit(const ChildProcess& process, DWORD timeoutMs) {
  std::vector<std::string> lines;
  if (!ready_) return lines;
  const DWORD start = ::GetTickCount();
  ::SetEvent(bufferReady_.get());
  for (;;) {
    // A line written just before the end is taken before the end is noticed.
    const bool ended = !process.Running();
    if (::WaitForSingleObject(dataReady_.get(), ended ? 0 : kPollMs) == WAIT_OBJECT_0) {
      DWORD pid = 0;
      const char* bytes = static_cast<const char*>(view_.get());
      std::memcpy(&pid, bytes, sizeof(pid));
      if (pid == process.Pid()) lines.emplace_back(bytes + sizeof(pid), strnlen(bytes + sizeof(pid), kTextBytes));
      ::SetEvent(bufferReady_.get());
      continue;
    }
    if (ended || ::GetTickCount() - start > timeoutMs) return lines;
  }
}

}  // namespace kq::test
