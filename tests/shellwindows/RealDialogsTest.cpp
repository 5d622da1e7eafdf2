// Real common dialogs of Wine, opened by a helper process and classified from this one: the
// classification reads only classes, styles and identifiers, so it works across processes.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "common/KQUtils.h"
#include "shellwindows/KQTaskWnd.h"
#include "shellwindows/KQWindowKind.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/OpenedDialog.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestWindows.h"
#include "tests/shellwindows/StepByStep.h"

namespace kq {
namespace {

using test::ChildWindowExists;
using test::kCloseWaitMs;
using test::kDialogWaitMs;

// The dialog as it shows: classification waits for its controls itself.
class OpenedDialog : public test::OpenedDialog {
 public:
  explicit OpenedDialog(const std::string& mode, const std::vector<std::string>& options = {})
      : test::OpenedDialog(mode, "", options, 0) {}
};

// Classifies until the dialog has built its controls (it shows before the shell view is filled in
// on some systems), at most a few seconds.
TWindowKind SettledKind(HWND dialog, TWindowKind wanted) {
  TWindowKind kind = wkNone;
  for (int i = 0; i < 100; ++i) {
    kind = ClassifyWindow(dialog);
    if (kind == wanted) break;
    test::PumpMessagesFor(50);
  }
  return kind;
}

TEST(RealDialogs, OpenAndSaveDialogsAreComboLayout) {
  for (const char* mode : {"open", "save", "openw", "savew"}) {
    SCOPED_TRACE(mode);
    OpenedDialog opened(mode);
    ASSERT_NE(opened.Dialog(), nullptr) << "no dialog of dialog_opener " << mode;
    EXPECT_EQ(SettledKind(opened.Dialog(), wkOpenSaveCombo), wkOpenSaveCombo);
    EXPECT_EQ(test::ClassifyStepByStep(opened.Dialog()), wkOpenSaveCombo);
    EXPECT_TRUE(IsKnownWindow(opened.Dialog()));
    EXPECT_FALSE(IsVersion9Process(opened.Dialog()));
  }
}

// A program that passes the older, shorter file-name structure gets a dialog without a places bar:
// its only toolbar is the navigation toolbar.
TEST(RealDialogs, ADialogWithoutAPlacesBarIsComboLayout) {
  OpenedDialog opened("open", {"--short"});
  ASSERT_NE(opened.Dialog(), nullptr);
  HWND dialog = opened.Dialog();
  EXPECT_EQ(SettledKind(dialog, wkOpenSaveCombo), wkOpenSaveCombo);
  EXPECT_EQ(test::ClassifyStepByStep(dialog), wkOpenSaveCombo);
  EXPECT_FALSE(ChildWindowExists(dialog, kClassToolbar, ctl1));
  EXPECT_FALSE(ChildWindowExists(dialog, kClassToolbar, stc1));
  EXPECT_TRUE(ChildWindowExists(dialog, kClassToolbar, kIdNavToolbar));
}

// The common item dialog as Wine draws it, in each of its modes.
TEST(RealDialogs, ItemDialogsAreTheBrowserControlLayout) {
  for (const char* mode : {"itemopen", "itemsave", "itempick"}) {
    SCOPED_TRACE(mode);
    OpenedDialog opened(mode);
    ASSERT_NE(opened.Dialog(), nullptr) << "no dialog of dialog_opener " << mode;
    EXPECT_EQ(SettledKind(opened.Dialog(), wkItemDialogBrowserControl), wkItemDialogBrowserControl);
    EXPECT_EQ(test::ClassifyStepByStep(opened.Dialog()), wkItemDialogBrowserControl);
  }
}

TEST(RealDialogs, FolderBrowseDialogsAreTreeStyle) {
  for (bool newStyle : {false, true}) {
    SCOPED_TRACE(newStyle ? "new style" : "classic");
    OpenedDialog opened("browse", newStyle ? std::vector<std::string>{"--new"} : std::vector<std::string>{});
    ASSERT_NE(opened.Dialog(), nullptr);
    EXPECT_EQ(SettledKind(opened.Dialog(), wkBrowseTree), wkBrowseTree);
    EXPECT_EQ(test::ClassifyStepByStep(opened.Dialog()), wkBrowseTree);
  }
}

TEST(RealDialogs, TaskWindowFindsTheFileNameBoxOfAnotherProcess) {
  OpenedDialog opened("open", {"--file", "report.txt"});
  ASSERT_NE(opened.Dialog(), nullptr);
  ASSERT_EQ(SettledKind(opened.Dialog(), wkOpenSaveCombo), wkOpenSaveCombo);
  TTaskWnd dialog(opened.Dialog());
  EXPECT_GE(dialog.ChildCount(), 18);
  TTaskWnd* box = dialog.FindChildByIDAndClass(cmb13, kClassComboBoxEx, false);
  ASSERT_NE(box, nullptr);
  TTaskWnd* edit = dialog.FindChildByIDAndClass(cmb13, kClassEdit, true);
  ASSERT_NE(edit, nullptr);
  // The text of another process's control comes by message (GetWindowText gives only captions).
  char text[64] = {};
  ::SendMessageA(edit->Handle(), WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "report.txt");
  EXPECT_EQ(FindChildWindow(opened.Dialog(), kClassShellView, lst2),
            dialog.FindChildByIDAndClass(lst2, kClassShellView, false)->Handle());
  // The process behind the dialog.
  const std::string exe = GetWindowProcessFile(opened.Dialog());
  EXPECT_EQ(::lstrcmpiA(exe.c_str(), test::HelperPath("dialog_opener.exe").c_str()), 0) << exe;
}

// The opener itself, as later tests use it: start folder, file name, OK and the reported choice.
TEST(RealDialogs, OpenerReportsTheChoiceMadeWithOk) {
  test::ScratchDirectory dir;
  const std::string result = dir.Path() + "\\choice.txt";
  test::ChildProcess opener;
  ASSERT_TRUE(opener.Start(test::HelperPath("dialog_opener.exe"),
                           {"save", "--dir", dir.Path(), "--file", "picked.txt", "--out", result}));
  HWND dialog = opener.WaitForWindowOfClass("#32770", kDialogWaitMs);
  ASSERT_NE(dialog, nullptr);
  ASSERT_EQ(SettledKind(dialog, wkOpenSaveCombo), wkOpenSaveCombo);
  ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  auto code = opener.WaitForExit(kCloseWaitMs);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 1u);
  std::ifstream in(result);
  std::string chosen;
  std::getline(in, chosen);
  EXPECT_EQ(::lstrcmpiA(chosen.c_str(), (dir.Path() + "\\picked.txt").c_str()), 0) << chosen;
}

}  // namespace
}  // namespace kq
