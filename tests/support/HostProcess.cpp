#include "tests/support/HostProcess.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "host/HostProtocol.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestPaths.h"

namespace kq {
namespace {

constexpr DWORD kPollMs = 10;

std::string NewLogPath() {
  static int counter = 0;
  char folder[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, folder);
  char name[64];
  std::snprintf(name, sizeof(name), "lntrhost-%lu-%d.log", ::GetCurrentProcessId(), ++counter);
  return std::string(folder) + name;
}

}  // namespace

std::string HostProcess::HostExePath() { return test::HelperPath("LNTRHost.exe"); }

HostProcess::HostProcess(std::string exePath) : exePath_(std::move(exePath)), logPath_(NewLogPath()) {}

HostProcess::~HostProcess() {
  if (process_) Stop();
  ::DeleteFileA(logPath_.c_str());
}

bool HostProcess::Start(const std::vector<std::string>& options, DWORD timeoutMs) {
  std::string commandLine = test::QuoteArgument(exePath_);
  for (const std::string& option : options) commandLine.append(" ").append(test::QuoteArgument(option));
  commandLine.append(" --log ").append(test::QuoteArgument(logPath_));
  ::DeleteFileA(logPath_.c_str());

  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  std::vector<char> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back('\0');
  if (!::CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return false;
  ::CloseHandle(info.hThread);
  process_.reset(info.hProcess);
  pid_ = info.dwProcessId;

  DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < timeoutMs) {
    for (const std::string& line : LogLines()) {
      if (line.rfind("ready hwnd=", 0) == 0) {
        window_ = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(line.c_str() + 11, nullptr, 16)));
        return ::IsWindow(window_) != FALSE;
      }
    }
    if (::WaitForSingleObject(process_.get(), kPollMs) == WAIT_OBJECT_0) return false;
  }
  return false;
}

bool HostProcess::Command(const std::string& text, LRESULT* answer, DWORD timeoutMs) const {
  if (!window_) return false;
  COPYDATASTRUCT record = {};
  record.dwData = lntrhost::kHostCommand;
  record.cbData = static_cast<DWORD>(text.size() + 1);
  record.lpData = const_cast<char*>(text.c_str());
  // The host may send back to this thread while it runs the command, with SMTO_ABORTIFHUNG: a
  // thread that has not looked at its queue for a few seconds counts as hung, so look first.
  MSG pending;
  while (::PeekMessageA(&pending, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&pending);
  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutA(window_, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record), SMTO_NORMAL, timeoutMs,
                             &result))
    return false;
  if (answer) *answer = static_cast<LRESULT>(result);
  return true;
}

std::vector<std::string> HostProcess::LogLines() const {
  std::vector<std::string> lines;
  ScopedFileHandle file(::CreateFileA(logPath_.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return lines;
  std::string text;
  char chunk[4096];
  DWORD read = 0;
  while (::ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0) text.append(chunk, read);
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) break;  // a line still being written
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

bool HostProcess::WaitForLine(const std::string& prefix, std::string* line, DWORD timeoutMs, size_t from,
                              size_t* index) const {
  DWORD start = ::GetTickCount();
  for (;;) {
    std::vector<std::string> lines = LogLines();
    for (size_t i = from; i < lines.size(); ++i) {
      if (lines[i].rfind(prefix, 0) == 0) {
        if (line) *line = lines[i];
        if (index) *index = i;
        return true;
      }
    }
    if (::GetTickCount() - start >= timeoutMs) return false;
    test::PumpMessagesFor(kPollMs);
  }
}

bool HostProcess::WaitForExit(DWORD timeoutMs, DWORD* exitCode) const {
  if (!process_) return false;
  if (::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return false;
  if (exitCode) ::GetExitCodeProcess(process_.get(), exitCode);
  return true;
}

void HostProcess::Kill() {
  if (!process_) return;
  ::TerminateProcess(process_.get(), 1);
  ::WaitForSingleObject(process_.get(), kStopTimeoutMs);
  process_.reset();
  window_ = nullptr;
}

DWORD HostProcess::Stop(DWORD timeoutMs) {
  if (!process_) return STILL_ACTIVE;
  DWORD exitCode = STILL_ACTIVE;
  if (::WaitForSingleObject(process_.get(), 0) != WAIT_OBJECT_0) {
    Command("quit", nullptr, timeoutMs);
    if (::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) {
      ::TerminateProcess(process_.get(), 1);
      ::WaitForSingleObject(process_.get(), timeoutMs);
    }
  }
  ::GetExitCodeProcess(process_.get(), &exitCode);
  process_.reset();
  window_ = nullptr;
  return exitCode;
}

std::string HexOf(HWND wnd) {
  char text[24];
  std::snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(wnd)));
  return text;
}

std::string ManageLine(int code, POINT p) {
  return "manage code=" + std::to_string(code) + " x=" + std::to_string(p.x) + " y=" + std::to_string(p.y);
}

}  // namespace kq
