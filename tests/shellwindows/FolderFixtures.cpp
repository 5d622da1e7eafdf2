#include "tests/shellwindows/FolderFixtures.h"

#include "hostlink/KQVHostLink.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kq::test {
namespace {

constexpr DWORD kPollMs = 50;

std::string After(const std::string& line, const std::string& key) {
  const size_t at = line.find(key);
  return at == std::string::npos ? std::string() : line.substr(at + key.size());
}

HWND ParseHandle(const std::string& text) {
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(text.c_str(), nullptr, 16)));
}

}  // namespace

HostProcess& SharedHost() {
  static HostProcess host;
  // A block with room for the UTF-8 part, unmarked: an ANSI host until a test says "utf8 1".
  static bool started = host.Start({"--mapping-size", std::to_string(kSharedBlockUtf8Size)});
  (void)started;
  return host;
}

std::string HandleText(HWND wnd) {
  char text[32];
  std::snprintf(text, sizeof(text), "%p", static_cast<void*>(wnd));
  return text;
}

bool SameText(const std::string& a, const std::string& b) { return ::lstrcmpiA(a.c_str(), b.c_str()) == 0; }

LRESULT HostCommandAnswer(const std::string& command) {
  LRESULT answer = 0;
  if (!SharedHost().Command(command, &answer)) return -1;
  return answer;
}

LRESULT HostSetFolder(HWND wnd, const std::string& path) {
  return HostCommandAnswer("setfolder " + HandleText(wnd) + " " + path);
}

std::vector<std::string> HostLinesFrom(const std::string& prefix, size_t from) {
  std::vector<std::string> result;
  const auto lines = SharedHost().LogLines();
  for (size_t i = from; i < lines.size(); ++i)
    if (lines[i].rfind(prefix, 0) == 0) result.push_back(lines[i]);
  return result;
}

std::string HostLogSince(size_t from) {
  std::string text = "host log:\n";
  const auto lines = SharedHost().LogLines();
  for (size_t i = from; i < lines.size(); ++i) text += "  " + lines[i] + "\n";
  return text;
}

std::string HostGetFolder(HWND wnd) {
  const size_t from = SharedHost().LogLines().size();
  if (HostCommandAnswer("getfolder " + HandleText(wnd)) != 1) return "<no answer>";
  const auto lines = HostLinesFrom("getfolder ", from);
  if (lines.empty()) return "<no answer>";
  return After(lines.back(), " folder=");
}

// ---- HelperLog ------------------------------------------------------------------------------

HelperLog::HelperLog() : path_(dir_.Path() + "\\helper.log") {}

std::vector<std::string> HelperLog::Lines() const {
  std::vector<std::string> lines;
  HANDLE file = ::CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return lines;
  std::string content;
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) content.append(buffer, read);
  ::CloseHandle(file);
  // Only whole lines: a line still being written is read next time.
  std::istringstream stream(content.substr(0, content.rfind('\n') == std::string::npos ? 0 : content.rfind('\n') + 1));
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> HelperLog::LinesStartingWith(const std::string& prefix) const {
  std::vector<std::string> result;
  for (const auto& line : Lines())
    if (line.rfind(prefix, 0) == 0) result.push_back(line);
  return result;
}

bool HelperLog::WaitForLine(const std::string& prefix, std::string* line, DWORD timeoutMs, size_t from) const {
  const DWORD start = ::GetTickCount();
  for (;;) {
    const auto lines = Lines();
    for (size_t i = from; i < lines.size(); ++i) {
      if (lines[i].rfind(prefix, 0) == 0) {
        if (line) *line = lines[i];
        return true;
      }
    }
    if (::GetTickCount() - start >= timeoutMs) return false;
    PumpMessagesFor(kPollMs);
  }
}

// ---- WatchedDialog --------------------------------------------------------------------------

WatchedDialog::WatchedDialog(const std::string& mode, const std::string& title, const std::string& dir,
                             const std::vector<std::string>& extra) {
  SharedHost();
  std::vector<std::string> args = {mode, "--title", title, "--watch", log_.Path()};
  args.insert(args.end(), extra.begin(), extra.end());
  if (!dir.empty()) {
    args.push_back("--dir");
    args.push_back(dir);
  }
  if (!process_.Start(HelperPath("dialog_opener.exe"), args)) return;
  dialog_ = process_.WaitForWindowOfClass("#32770", kWindowWaitMs);
  if (dialog_) PumpMessagesFor(kSettleMs);
}

WatchedDialog::~WatchedDialog() { Close(); }

std::optional<DWORD> WatchedDialog::Close() {
  if (dialog_ && ::IsWindow(dialog_)) ::PostMessageA(dialog_, WM_COMMAND, IDCANCEL, 0);
  std::optional<DWORD> code = process_.WaitForExit(kCloseWaitMs);
  if (!code) process_.Terminate();
  return code;
}

std::string WatchedDialog::Folder() const {
  const auto lines = log_.LinesStartingWith("folder=");
  if (lines.empty()) return {};
  const std::string& line = lines.back();
  const size_t name = line.rfind(" name=");
  return line.substr(7, name == std::string::npos ? std::string::npos : name - 7);
}

std::string WatchedDialog::Name() const {
  const auto lines = log_.LinesStartingWith("folder=");
  return lines.empty() ? std::string() : After(lines.back(), " name=");
}

bool WatchedDialog::WaitForFolder(const std::string& folder, DWORD timeoutMs) const {
  const DWORD start = ::GetTickCount();
  for (;;) {
    if (SameText(Folder(), folder)) return true;
    if (::GetTickCount() - start >= timeoutMs) return false;
    PumpMessagesFor(kPollMs);
  }
}

bool WatchedDialog::StaysIn(const std::string& folder) const {
  const DWORD start = ::GetTickCount();
  do {
    if (!SameText(Folder(), folder)) return false;
    PumpMessagesFor(kPollMs);
  } while (::GetTickCount() - start < kStayMs);
  return SameText(Folder(), folder);
}

// ---- FolderWindow ---------------------------------------------------------------------------

FolderWindow::FolderWindow(const std::vector<std::string>& args, const std::string& exeName) {
  SharedHost();
  std::vector<std::string> all = args;
  all.push_back("--log");
  all.push_back(log_.Path());
  if (!process_.Start(HelperPath(exeName), all)) return;
  std::string line;
  if (!log_.WaitForLine("ready hwnd=", &line, kWindowWaitMs)) return;
  window_ = ParseHandle(After(line, "hwnd="));
  PumpMessagesFor(kSettleMs);
}

FolderWindow::~FolderWindow() { Close(); }

void FolderWindow::Close() {
  if (window_ && ::IsWindow(window_)) ::PostMessageA(window_, WM_CLOSE, 0, 0);
  if (process_.Running() && !process_.WaitForExit(kCloseWaitMs)) process_.Terminate();
}

}  // namespace kq::test
