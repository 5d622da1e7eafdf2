#include "tests/support/OpenedDialog.h"

#include "tests/support/TestPaths.h"
#include "tests/support/TestWindows.h"

namespace kq::test {

OpenedDialog::OpenedDialog(const std::string& mode, const std::string& title, const std::vector<std::string>& options,
                           DWORD settleMs, const std::string& opener) {
  std::vector<std::string> args = {mode};
  if (!title.empty()) args.insert(args.end(), {"--title", title});
  args.insert(args.end(), options.begin(), options.end());
  if (!process_.Start(opener.empty() ? HelperPath("dialog_opener.exe") : opener, args)) return;
  dialog_ = process_.WaitForWindowOfClass(kSystemDialogClass, kDialogWaitMs);
  if (dialog_) PumpMessagesFor(settleMs);
}

OpenedDialog::~OpenedDialog() { Cancel(); }

void OpenedDialog::Cancel() {
  if (dialog_ && ::IsWindow(dialog_)) ::PostMessageA(dialog_, WM_COMMAND, IDCANCEL, 0);
  if (process_.Running() && !process_.WaitForExit(kCloseWaitMs)) process_.Terminate();
}

}  // namespace kq::test
