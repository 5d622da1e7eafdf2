// Real Open dialogs run in threads of the test program, and the library loaded into it as the
// host's hooks load it into every program, for tests that watch the library inside one process.
#pragma once

#include <windows.h>

#include <string>
#include <thread>

#include "common/KQScoped.h"

namespace kq::test {

// How long a dialog waits for its set before it is closed without one.
constexpr DWORD kServedDialogWaitMs = 8000;

// Whether the window's procedure is no longer its class's: a button set serves it.
bool HasButtonSet(HWND dialog);

// Runs one GetOpenFileNameA dialog on the calling thread until it has its set (then cancels it)
// or until waitMs passed. Answers whether the set came.
bool RunDialogUntilServed(DWORD waitMs = kServedDialogWaitMs);

// LNTRHlp.dll loaded into this process with its hooks on. Unload() turns them off and frees it.
class LoadedLibrary {
 public:
  LoadedLibrary();
  ~LoadedLibrary() { Unload(); }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;
  bool Ready() const { return hookOn_ && hookOff_; }
  void Unload();

 private:
  using HookFunction = void(WINAPI*)();
  ScopedModule module_;
  HookFunction hookOn_ = nullptr;
  HookFunction hookOff_ = nullptr;
};

// A real GetOpenFileNameA dialog with the given title, run by a thread of its own and cancelled
// at the end.
class DialogThread {
 public:
  explicit DialogThread(const std::string& title);
  ~DialogThread();
  DialogThread(const DialogThread&) = delete;
  DialogThread& operator=(const DialogThread&) = delete;
  HWND Dialog() const { return dialog_; }
  // Waits until a button set serves the dialog.
  bool WaitForButtonSet() const;
  // The folder the dialog answers CDM_GETFOLDERPATH with, "<no answer>" when it did not answer.
  std::string FolderPath() const;

 private:
  std::string title_;
  std::thread thread_;
  HWND dialog_ = nullptr;
};

}  // namespace kq::test
