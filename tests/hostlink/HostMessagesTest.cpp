// The messages and records that cross to the host and back: registered under their exact names,
// sent with the library's helpers to the stand-in host in another process, and the host's own
// commands arriving at a window of this process as they would at a dialog.
#include <gtest/gtest.h>

#include <string>

#include "common/KQUtils.h"
#include "host/HostProtocol.h"
#include "hostlink/KQVHostLink.h"
#include "tests/hostlink/HostLinkFixtures.h"
#include "tests/support/TestPaths.h"
#include "tests/support/HostProcess.h"

namespace kq {
namespace {

TEST(HostMessages, AreRegisteredAtStartUpUnderTheirNames) {
  struct Registered {
    UINT id;
    const char* name;
  } messages[] = {{ManageMsg, "WM_LNTR_MANAGE"},
                  {InitButtonsMsg, "WM_KQVINITCAPTIONBUTTONS"},
                  {AppIsDisabledMsg, "LNTR_AppIsDisabled"},
                  {GetDlgFolderMsg, "LNTR_GetDlgFolder"},
                  {ObjectSelMsg, "WM_OBJECTSEL"}};
  for (const Registered& message : messages) {
    SCOPED_TRACE(message.name);
    EXPECT_GE(message.id, static_cast<UINT>(MAXINTATOM));  // a registered message is a string atom
    EXPECT_EQ(message.id, ::RegisterWindowMessageA(message.name));
  }
}

TEST(HostMessages, AskingForAStartFolderFillsHostFolder) {
  HostProcess host;
  ASSERT_TRUE(host.Start({"--no-hook", "--start-folder", "C:\\Program Files\\"}));
  TestWindow dialog;
  ASSERT_TRUE(SendToHost(ManageMsg, kManageAskStartFolder, reinterpret_cast<LPARAM>(dialog.get())));
  EXPECT_EQ(ReadHostFolder(), "C:\\Program Files\\");
  EXPECT_TRUE(host.WaitForLine("manage code=3 hwnd=" + HexOf(dialog.get()) + " folder=C:\\Program Files\\"));

  ASSERT_TRUE(host.Command("startfolder"));
  ASSERT_TRUE(SendToHost(ManageMsg, kManageAskStartFolder, reinterpret_cast<LPARAM>(dialog.get())));
  EXPECT_EQ(ReadHostFolder(), "");
}

TEST(HostMessages, PostedPointsArriveAsSignedHalves) {
  HostProcess host;
  ASSERT_TRUE(host.Start({"--no-hook"}));
  ASSERT_TRUE(::PostMessageA(GetHostWindow(), ManageMsg, kManageRightButtonDown, MakeLParam(-5, 300)));
  ASSERT_TRUE(::PostMessageA(GetHostWindow(), ManageMsg, kManageFavoritesMenu, MakeLParam(1279, -2)));
  ASSERT_TRUE(::PostMessageA(GetHostWindow(), ManageMsg, kManageHistoryMenu, MakeLParam(-32768, 32767)));
  size_t index = 0;
  EXPECT_TRUE(host.WaitForLine("manage code=0 x=-5 y=300", nullptr, HostProcess::kCommandTimeoutMs, 0, &index));
  EXPECT_TRUE(host.WaitForLine("manage code=1 x=1279 y=-2", nullptr, HostProcess::kCommandTimeoutMs, index));
  EXPECT_TRUE(host.WaitForLine("manage code=2 x=-32768 y=32767", nullptr, HostProcess::kCommandTimeoutMs, index));
}

TEST(HostMessages, CopyDataRecordsReachTheHost) {
  HostProcess host;
  ASSERT_TRUE(host.Start({"--no-hook"}));
  ASSERT_TRUE(ReportAddBookmark("C:\\some folder\\file.txt"));
  EXPECT_TRUE(host.WaitForLine("copydata kind=1 wparam=0x0 path=C:\\some folder\\file.txt"));

  TestWindow dialog;
  ASSERT_TRUE(ReportDialogFolder(dialog.get(), "D:\\last"));
  std::string hwnd = HexOf(dialog.get());
  EXPECT_TRUE(host.WaitForLine("copydata kind=3 wparam=" + hwnd + " hwnd=" + hwnd + " path=D:\\last"));

  // A path the record cannot carry whole is not cut into another folder's name: it is not sent.
  EXPECT_FALSE(ReportDialogFolder(dialog.get(), "C:\\" + std::string(300, 'r')));
  EXPECT_FALSE(ReportAddBookmark(std::string()));
  ASSERT_TRUE(host.Command("echo after"));
  ASSERT_TRUE(host.WaitForLine("echo after"));
  for (const std::string& line : host.LogLines()) EXPECT_EQ(line.find("rrrr"), std::string::npos) << line;
}

TEST(HostMessages, NothingIsSentWithoutAHost) {
  DWORD_PTR answer = 77;
  EXPECT_FALSE(SendToHost(ManageMsg, kManageAskStartFolder, 0, &answer));
  EXPECT_EQ(answer, 77u);
  EXPECT_FALSE(SendCopyDataToHost(CopyDataAddBookmark, 0, "C:\\", 4));
}

// A window of this process standing in for a dialog with buttons: it takes a folder from the host
// and puts its own folder into the block when asked.
struct FolderWindow {
  std::string received = "(none)";
  bool nullPayload = false;
  TestWindow window{[this](UINT msg, WPARAM, LPARAM lParam, LRESULT* result) {
    if (msg == WM_COPYDATA) {
      auto* record = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
      if (record->dwData != CopyDataSetFolder) return false;
      nullPayload = record->lpData == nullptr;
      if (record->lpData) received = static_cast<const char*>(record->lpData);
      *result = record->lpData ? 1 : 0;
      return true;
    }
    if (msg == GetDlgFolderMsg) {
      WriteProbedFolder("C:\\probed here");
      *result = 0;
      return true;
    }
    return false;
  }};
};

TEST(HostCommands, SetFolderAndGetFolderReachADialogWindow) {
  HostProcess host;
  ASSERT_TRUE(host.Start({"--no-hook"}));
  FolderWindow dialog;
  std::string hwnd = HexOf(dialog.window.get());

  LRESULT answer = -1;
  ASSERT_TRUE(host.Command("setfolder " + hwnd + " C:\\a folder\\b", &answer));
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(dialog.received, "C:\\a folder\\b");
  EXPECT_TRUE(host.WaitForLine("setfolder hwnd=" + hwnd + " sent=1 answer=1 path=C:\\a folder\\b"));

  ASSERT_TRUE(host.Command("setfoldernull " + hwnd, &answer));
  EXPECT_EQ(answer, 0);
  EXPECT_TRUE(dialog.nullPayload);

  ASSERT_TRUE(host.Command("getfolder " + hwnd, &answer));
  EXPECT_EQ(answer, 1);
  EXPECT_TRUE(host.WaitForLine("getfolder hwnd=" + hwnd + " sent=1 answer=0 folder=C:\\probed here"));
}

TEST(HostCommands, UnknownCommandIsAnsweredZeroAndLogged) {
  HostProcess host;
  ASSERT_TRUE(host.Start({"--no-hook"}));
  LRESULT answer = -1;
  ASSERT_TRUE(host.Command("frobnicate 1 2", &answer));
  EXPECT_EQ(answer, 0);
  EXPECT_TRUE(host.WaitForLine("error command=frobnicate 1 2"));
}

TEST(HostProcess, LoadsTheLibraryAndCallsHookOnAndHookOff) {
  HostProcess host;
  ASSERT_TRUE(host.Start());
  EXPECT_TRUE(host.WaitForLine("hook on", nullptr, 0));
  EXPECT_EQ(host.Stop(), static_cast<DWORD>(lntrhost::kExitOk));
  std::vector<std::string> lines = host.LogLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "hook off");

  HostProcess missing;
  EXPECT_FALSE(missing.Start({"--dll", test::HelperPath("NoSuchLibrary.dll")}));
  DWORD exitCode = 0;
  ASSERT_TRUE(missing.WaitForExit(HostProcess::kStopTimeoutMs, &exitCode));
  EXPECT_EQ(exitCode, static_cast<DWORD>(lntrhost::kExitNoLibrary));
}

}  // namespace
}  // namespace kq
