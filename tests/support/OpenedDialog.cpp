#include "tests/support/OpenedDialog.h"

#include "tests/support/TestPaths.h"
#include "tests/support/TestWindows.h"

namespace kq::test {

OpenedDialog::OpenedDialog(const std::string& mode, const std::string& title, const std::vector<std::string>& options,
                           DWORD settleMs) {
  std::vector<std::string> args = {mode};
  if (!title.empty()) args.insert(args.end(), {"--title", title});
  args.insert(args.end(), options.begin(), options.end());
  if (!process_.Start(HelperPath("dialog_opener.exe"), args)) return;
  dialog_ = process_.WaitForWindowOfClass(kSystemDialogClass, kDialogWaitMs);
  if (dialog_) PumpMessagesFor(settleMs);
}

OpenedDialog::~OpenedDialog() {
  if (dialog_ && ::IsWindow(dialog_)) ::PostMessageA(dialog_, WM_COMMAND, IDCANCEL, 0);
  if (process_.Running() && !process_.WaitForExit(kCloseWaitMs)) process_.Terminate();
}

}  // namespace kq::test
