// A real common dialog shown by the dialog_opener helper in a process of its own.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/Timeouts.h"

namespace kq::test {

// Cancelled at the end, and its process ended if it does not end by itself.
class OpenedDialog {
 public:
  // mode and options as dialog_opener takes them, with the title given unless it is empty. Waits
  // for the dialog, then settleMs for it to fill in its controls and get its set.
  // The helper of this build unless another is named (the 32-bit build's, for example).
  OpenedDialog(const std::string& mode, const std::string& title, const std::vector<std::string>& options = {},
               DWORD settleMs = kSettleMs, const std::string& opener = {});
  ~OpenedDialog();
  OpenedDialog(const OpenedDialog&) = delete;
  OpenedDialog& operator=(const OpenedDialog&) = delete;
  HWND Dialog() const { return dialog_; }
  DWORD Pid() const { return process_.Pid(); }
  HANDLE Process() const { return process_.Handle(); }
  // Cancels the dialog and waits for its program to end.
  void Cancel();

 private:
  ChildProcess process_;
  HWND dialog_ = nullptr;
};

}  // namespace kq::test
