// The library leaves a process as cleanly as it came: HookOff and unloading the DLL from a
// program whose dialogs have sets give every dialog its own procedure back, and the dialogs go
// on working without it.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/reliability/ServedDialog.h"

namespace kq {
namespace {

constexpr int kDialogs = 3;

TEST(Unloading, DialogsWithSetsGetTheirOwnProceduresBackAndWorkOn) {
  auto library = std::make_unique<test::LoadedLibrary>();
  ASSERT_TRUE(library->Ready());
  std::vector<std::unique_ptr<test::DialogThread>> dialogs;
  std::vector<std::string> folders;
  for (int i = 0; i < kDialogs; ++i) {
    dialogs.push_back(std::make_unique<test::DialogThread>("Unload " + std::to_string(i)));
    ASSERT_NE(nullptr, dialogs.back()->Dialog());
    ASSERT_TRUE(dialogs.back()->WaitForButtonSet());
    folders.push_back(dialogs.back()->FolderPath());
  }

  library->Unload();
  EXPECT_EQ(nullptr, ::GetModuleHandleA("LNTRHlp.dll"));
  for (int i = 0; i < kDialogs; ++i) {
    HWND dialog = dialogs[i]->Dialog();
    EXPECT_FALSE(test::HasButtonSet(dialog)) << i;
    EXPECT_EQ(folders[i], dialogs[i]->FolderPath()) << i;
    // Messages the set used to handle now reach the dialog alone.
    ::SendMessageA(dialog, WM_NCPAINT, 1, 0);
    ::SendMessageA(dialog, WM_NCHITTEST, 0, MAKELPARAM(10, 10));
  }
  // Closing them runs their own procedures to the end.
  dialogs.clear();
}

TEST(Unloading, LoadingAgainServesANewDialog) {
  { test::LoadedLibrary first; }
  test::LoadedLibrary second;
  ASSERT_TRUE(second.Ready());
  test::DialogThread dialog("Unload again");
  ASSERT_NE(nullptr, dialog.Dialog());
  EXPECT_TRUE(dialog.WaitForButtonSet());
}

}  // namespace
}  // namespace kq
