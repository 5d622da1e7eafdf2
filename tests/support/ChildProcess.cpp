#include "tests/support/ChildProcess.h"

namespace kq::test {

std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"')
      quoted.append(backslashes * 2 + 1, '\\');
    else
      quoted.append(backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

ChildProcess::~ChildProcess() { Terminate(); }

bool ChildProcess::Start(const std::string& exePath, const std::vector<std::string>& args) {
  Terminate();
  std::string commandLine = QuoteArgument(exePath);
  for (const std::string& arg : args) {
    commandLine += ' ';
    commandLine += QuoteArgument(arg);
  }
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessA(exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
    return false;
  ::CloseHandle(info.hThread);
  process_.reset(info.hProcess);
  pid_ = info.dwProcessId;
  exePath_ = exePath;
  return true;
}

bool ChildProcess::Running() const { return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

std::optional<DWORD> ChildProcess::WaitForExit(DWORD timeoutMs) {
  if (!process_) return std::nullopt;
  const DWORD start = ::GetTickCount();
  for (;;) {
    DWORD elapsed = ::GetTickCount() - start;
    DWORD wait = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
    // Messages sent to this thread's windows by the child must not stall it.
    HANDLE process = process_.get();
    DWORD result = ::MsgWaitForMultipleObjects(1, &process, FALSE, wait, QS_ALLINPUT);
    if (result == WAIT_OBJECT_0) break;
    if (result == WAIT_OBJECT_0 + 1) {
      MSG msg;
      while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
      }
      continue;
    }
    return std::nullopt;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process_.get(), &code);
  return code;
}

void ChildProcess::Terminate() {
  if (!process_) return;
  if (Running()) {
    ::TerminateProcess(process_.get(), 255);
    ::WaitForSingleObject(process_.get(), 5000);
  }
  process_.reset();
  pid_ = 0;
}

namespace {
struct WindowSearch {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectVisibleOf(HWND wnd, LPARAM param) {
  auto* s = reinterpret_cast<WindowSearch*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(wnd, &owner);
  if (owner == s->pid && ::IsWindowVisible(wnd)) s->found.push_back(wnd);
  return TRUE;
}
}  // namespace

std::vector<HWND> TopLevelWindowsOf(DWORD pid) {
  WindowSearch search{pid, {}};
  ::EnumWindows(CollectVisibleOf, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND ChildProcess::WaitForWindow(const std::function<bool(HWND)>& accept, DWORD timeoutMs) const {
  const DWORD start = ::GetTickCount();
  do {
    for (HWND wnd : TopLevelWindowsOf(pid_)) {
      if (accept(wnd)) return wnd;
    }
    if (!Running()) return nullptr;
    PumpMessagesFor(20);
  } while (::GetTickCount() - start < timeoutMs);
  return nullptr;
}

HWND ChildProcess::WaitForWindowOfClass(const std::string& className, DWORD timeoutMs) const {
  return WaitForWindow(
      [&](HWND wnd) {
        char name[256] = {};
        ::GetClassNameA(wnd, name, sizeof(name));
        return ::lstrcmpiA(name, className.c_str()) == 0;
      },
      timeoutMs);
}

}  // namespace kq::test
