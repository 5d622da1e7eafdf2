// What the folder tests share: one stand-in host with the hooks on for the whole program, real
// file dialogs and test-built windows in processes of their own that log what happens to them,
// and the host commands that move a window and read its folder.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/HostProcess.h"
#include "tests/support/TestPaths.h"
#include "tests/support/Timeouts.h"

namespace kq::test {

inline const DWORD kWindowWaitMs = kDialogWaitMs;
inline const DWORD kChangeWaitMs = Scaled(8000);  // a moved window shows its new folder
inline constexpr DWORD kStayMs = 1500;            // how long a window that must not move is watched

// The host every test of the program talks to, started on first use.
HostProcess& SharedHost();
// "setfolder" and friends: the window's answer, or -1 when the host did not answer.
LRESULT HostSetFolder(HWND wnd, const std::string& path);
LRESULT HostCommandAnswer(const std::string& command);
// "getfolder": the folder the host found in ProbedFolder afterwards; "<no answer>" when the
// window did not answer the message.
std::string HostGetFolder(HWND wnd);
// The host log lines starting with prefix, from index from on.
std::vector<std::string> HostLinesFrom(const std::string& prefix, size_t from);
// The host log from index from on, one line each, for failure messages.
std::string HostLogSince(size_t from);
std::string HandleText(HWND wnd);  // as host commands write window handles ("%p")

// The shared host reads and writes UTF-8 while this lives; an ANSI host again afterwards.
class Utf8Host {
 public:
  Utf8Host() : on_(HostCommandAnswer("utf8 1") == 1) {}
  ~Utf8Host() { HostCommandAnswer("utf8 0"); }
  Utf8Host(const Utf8Host&) = delete;
  Utf8Host& operator=(const Utf8Host&) = delete;
  bool On() const { return on_; }

 private:
  bool on_;
};

bool SameText(const std::string& a, const std::string& b);  // ignoring case

// A log file that a helper process appends lines to.
class HelperLog {
 public:
  HelperLog();
  const std::string& Path() const { return path_; }
  std::vector<std::string> Lines() const;
  std::vector<std::string> LinesStartingWith(const std::string& prefix) const;
  // Waits (pumping messages) for a line at index from or later that starts with prefix.
  bool WaitForLine(const std::string& prefix, std::string* line, DWORD timeoutMs, size_t from = 0) const;

 private:
  ScratchDirectory dir_;
  std::string path_;
};

// A real common dialog shown by dialog_opener, which logs the dialog's own view of its folder
// and file-name box; cancelled and ended at the end.
class WatchedDialog {
 public:
  // extra: more dialog_opener options.
  WatchedDialog(const std::string& mode, const std::string& title, const std::string& dir,
                const std::vector<std::string>& extra = {});
  ~WatchedDialog();
  HWND Dialog() const { return dialog_; }
  bool Running() const { return process_.Running(); }
  // The last folder and file name the dialog reported.
  std::string Folder() const;
  std::string Name() const;
  // Waits until the dialog reports folder (ignoring case); true when it did.
  bool WaitForFolder(const std::string& folder, DWORD timeoutMs = kChangeWaitMs) const;
  // Watches for kStayMs and answers whether the folder stayed folder all along.
  bool StaysIn(const std::string& folder) const;
  // Cancels the dialog and waits for its process to end; its exit code (0: cancelled), or
  // nothing when it had to be ended.
  std::optional<DWORD> Close();
  const HelperLog& Log() const { return log_; }

 private:
  HelperLog log_;
  ChildProcess process_;
  HWND dialog_ = nullptr;
};

// A test-built window of folder_windows.exe.
class FolderWindow {
 public:
  explicit FolderWindow(const std::vector<std::string>& args, const std::string& exeName = "folder_windows.exe");
  ~FolderWindow();
  HWND Window() const { return window_; }
  bool Running() const { return process_.Running(); }
  const HelperLog& Log() const { return log_; }
  // Closes the window (WM_CLOSE) and waits for the process to end.
  void Close();

 private:
  HelperLog log_;
  ChildProcess process_;
  HWND window_ = nullptr;
};

}  // namespace kq::test
