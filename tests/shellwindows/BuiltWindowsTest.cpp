// Test-built windows in another process, of the kinds Wine has no real example of: the Office
// dialogs and "TfFileDlg" (the folder is typed), a folder-browse dialog whose tree carries
// one-item identifier lists, a dialog with a ComboBoxEx32 and no shell browser, and an Explorer
// window hosting an ExplorerBrowser. Each logs what the library did to it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dialogbuttons/KQVCaptionButton.h"
#include "hostlink/KQVHostLink.h"
#include "tests/shellwindows/FolderFixtures.h"
#include "tests/support/RegistryValue.h"

namespace kq::test {
namespace {

constexpr char kWindows[] = "C:\\windows";
// A second folder, small: a browser moved there lists it at once, also in the emulated machine.
constexpr char kInf[] = "C:\\windows\\inf";
constexpr char kAppDefaults[] = "Software\\Wine\\AppDefaults\\folder_windows.exe";

size_t CountLines(const HelperLog& log, const std::string& prefix) { return log.LinesStartingWith(prefix).size(); }

// ---- The typing route --------------------------------------------------------------------------

TEST(OfficeDialog, Xl9TypesIntoField54AndPressesEnter) {
  FolderWindow office({"office", "bosa_sdm_XL9", "--field", "39:Edit", "--field", "54:Edit"});
  ASSERT_NE(office.Window(), nullptr);
  EXPECT_EQ(HostSetFolder(office.Window(), kWindows), 1);
  std::string key;
  EXPECT_TRUE(office.Log().WaitForLine("key id=54 vk=13", &key, kChangeWaitMs));
  EXPECT_EQ(key, std::string("key id=54 vk=13 text=") + kWindows);
  EXPECT_EQ(CountLines(office.Log(), "click id=54"), 1u);
  EXPECT_EQ(CountLines(office.Log(), "settext id=39"), 0u);
  EXPECT_EQ(CountLines(office.Log(), "key id=39"), 0u);
  // Office dialogs take any text: the dialog judges it.
  EXPECT_EQ(HostSetFolder(office.Window(), "C:\\no\\such\\folder"), 1);
  EXPECT_TRUE(office.Log().WaitForLine("key id=54 vk=13 text=C:\\no\\such\\folder", nullptr, kChangeWaitMs));
}

TEST(OfficeDialog, Mso96WithoutACommandBarUsesEdit51WhenField39IsMissing) {
  FolderWindow office({"office", "bosa_sdm_Mso96", "--field", "48:Edit", "--field", "51:Edit"});
  ASSERT_NE(office.Window(), nullptr);
  EXPECT_EQ(HostSetFolder(office.Window(), kInf), 1);
  EXPECT_TRUE(office.Log().WaitForLine(std::string("key id=51 vk=13 text=") + kInf, nullptr, kChangeWaitMs));
  EXPECT_EQ(CountLines(office.Log(), "settext id=48"), 0u);
}

TEST(OfficeDialog, Mso96WithACommandBarUsesField54) {
  FolderWindow office({"office", "bosa_sdm_Mso96", "--bar", "--field", "39:Edit", "--field", "54:Edit"});
  ASSERT_NE(office.Window(), nullptr);
  EXPECT_EQ(HostSetFolder(office.Window(), kWindows), 1);
  EXPECT_TRUE(office.Log().WaitForLine(std::string("key id=54 vk=13 text=") + kWindows, nullptr, kChangeWaitMs));
  EXPECT_EQ(CountLines(office.Log(), "settext id=39"), 0u);
}

// An Office dialog without any file-name field was handed nothing: the host hears 0.
TEST(OfficeDialog, WithoutAFileNameFieldAnswersZero) {
  FolderWindow office({"office", "bosa_sdm_XL9", "--field", "39:Edit"});
  ASSERT_NE(office.Window(), nullptr);
  EXPECT_EQ(HostSetFolder(office.Window(), kWindows), 0);
  PumpMessagesFor(500);
  EXPECT_EQ(CountLines(office.Log(), "settext "), 0u);
}

TEST(TfFileDialog, GetsTheFolderThenItsOwnTextBackWithTheCaretAtTheEnd) {
  FolderWindow dialog({"tffile", "--text", "report.txt"});
  ASSERT_NE(dialog.Window(), nullptr);
  EXPECT_EQ(HostSetFolder(dialog.Window(), "%WINDIR%"), 1);
  std::string key;
  EXPECT_TRUE(dialog.Log().WaitForLine("key id=1001 vk=13", &key, kChangeWaitMs));
  EXPECT_EQ(key, std::string("key id=1001 vk=13 text=") + kWindows);
  EXPECT_TRUE(dialog.Log().WaitForLine("key id=1001 vk=35 text=report.txt", nullptr, kChangeWaitMs));
  HWND field = ::GetDlgItem(dialog.Window(), 1001);
  ASSERT_NE(field, nullptr);
  char text[64] = {};
  ::SendMessageA(field, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "report.txt");
  DWORD start = 0, end = 0;
  const DWORD selection = static_cast<DWORD>(::SendMessageA(field, EM_GETSEL, 0, 0));
  start = LOWORD(selection);
  end = HIWORD(selection);
  EXPECT_EQ(start, 10u);
  EXPECT_EQ(end, 10u);
}

// ---- Folder-browse tree -----------------------------------------------------------------------

TEST(BrowseTree, TheSelectedItemsListsNameTheFolderAndSelectionTakesAList) {
  FolderWindow browse({"browsetree", "--path", kInf});
  ASSERT_NE(browse.Window(), nullptr);
  EXPECT_TRUE(SameText(HostGetFolder(browse.Window()), kInf));
  EXPECT_EQ(HostSetFolder(browse.Window(), kWindows), 1);
  std::string line;
  EXPECT_TRUE(browse.Log().WaitForLine("setselection ", &line, kChangeWaitMs));
  EXPECT_TRUE(SameText(line, std::string("setselection wparam=0 path=") + kWindows)) << line;
  EXPECT_EQ(HostSetFolder(browse.Window(), "C:\\no\\such\\folder"), 0);
}

// ---- The older Open dialog layout -------------------------------------------------------------

// A file's folder goes to the browser and its name into the edit 1152, clicked into and not
// entered; a browser that refuses leaves the name alone and the host hears 0.
TEST(OpenEditDialog, TheFilesFolderGoesToTheBrowserAndItsNameIntoEdit1152) {
  {
    FolderWindow dialog({"openedit"});
    ASSERT_NE(dialog.Window(), nullptr);
    EXPECT_EQ(HostSetFolder(dialog.Window(), "C:\\windows\\win.ini"), 1);
    std::string line;
    EXPECT_TRUE(dialog.Log().WaitForLine("browseobject ", &line, kChangeWaitMs));
    EXPECT_TRUE(SameText(line, "browseobject path=C:\\windows flags=1")) << line;
    EXPECT_TRUE(dialog.Log().WaitForLine("settext id=1152 text=win.ini", nullptr, kChangeWaitMs));
    EXPECT_EQ(CountLines(dialog.Log(), "click id=1152"), 1u);
    PumpMessagesFor(300);
    EXPECT_EQ(CountLines(dialog.Log(), "key id=1152"), 0u);
  }
  {
    FolderWindow dialog({"openedit", "--reject"});
    ASSERT_NE(dialog.Window(), nullptr);
    EXPECT_EQ(HostSetFolder(dialog.Window(), "C:\\windows\\win.ini"), 0);
    EXPECT_EQ(CountLines(dialog.Log(), "browseobject refused"), 1u);
    EXPECT_EQ(CountLines(dialog.Log(), "settext id=1152"), 0u);
  }
}

// A dialog that empties its file-name field whenever it moves gets the name back: a name the user
// typed into a Save dialog outlives the host's move.
TEST(OpenEditDialog, ANameTheDialogEmptiesAtAMoveIsPutBack) {
  FolderWindow dialog({"openedit", "--clears-name", "--text", "report.txt"});
  ASSERT_NE(dialog.Window(), nullptr);
  EXPECT_EQ(HostSetFolder(dialog.Window(), kInf), 1);
  const std::vector<std::string> lines = dialog.Log().LinesStartingWith("settext id=1152");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "settext id=1152 text=");
  EXPECT_EQ(lines[1], "settext id=1152 text=report.txt");
}

// ---- The ComboBoxEx32 answer -----------------------------------------------------------------

// On systems before 6 every descendant is asked for a shell browser; the ComboBoxEx32 answers the
// same number with its edit control. Nothing may call into that answer.
TEST(ComboBoxExDialog, ItsAnswerIsNeverTakenForAShellBrowser) {
  ScopedRegistryString version(HKEY_CURRENT_USER, kAppDefaults, "Version", "winxp");
  ASSERT_TRUE(version.Set());
  FolderWindow dialog({"comboex"});
  ASSERT_NE(dialog.Window(), nullptr);
  std::string edit;
  ASSERT_TRUE(dialog.Log().WaitForLine("comboex edit=", &edit, kChangeWaitMs));
  ASSERT_NE(edit, "comboex edit=0x0");  // the control really answers with a handle
  EXPECT_EQ(HostSetFolder(dialog.Window(), kWindows), 0);
  EXPECT_EQ(HostGetFolder(dialog.Window()), "");
  EXPECT_TRUE(dialog.Running());
  EXPECT_EQ(CountLines(dialog.Log(), "fault "), 0u);
}

// The windows above each shell view of a dialog are searched, in the views' order, but only windows
// that can hold a shell browser are asked: to a status bar, a trackbar, a rebar or a progress bar
// message 1031 is a command with a pointer argument, and the dialog's owner is no browser's window
// either.
TEST(CommonControlsDialog, OnlyWindowsThatCanHoldABrowserAreAsked) {
  for (const bool withBrowser : {false, true}) {
    std::vector<std::string> args = {"controls"};
    if (withBrowser) args.push_back("--browser");
    FolderWindow dialog(args);
    ASSERT_NE(dialog.Window(), nullptr);
    EXPECT_EQ(HostSetFolder(dialog.Window(), kWindows), withBrowser ? 1 : 0);
    if (withBrowser) {
      std::string line;
      EXPECT_TRUE(dialog.Log().WaitForLine("browseobject ", &line, kChangeWaitMs));
      EXPECT_TRUE(SameText(line, std::string("browseobject path=") + kWindows + " flags=1")) << line;
    }
    EXPECT_EQ(dialog.Log().LinesStartingWith("asked "), std::vector<std::string>()) << "browser " << withBrowser;
    EXPECT_EQ(CountLines(dialog.Log(), "fault "), 0u);
  }
}

// ---- Explorer windows, under both system versions ------------------------------------------------

class ExplorerWindow : public ::testing::TestWithParam<const char*> {};

TEST_P(ExplorerWindow, IsMovedReadAndReportsItsLastFolderAtClose) {
  ScopedRegistryString version(HKEY_CURRENT_USER, kAppDefaults, "Version", GetParam());
  ASSERT_TRUE(version.Set());
  FolderWindow explorer({"explorer", "--dir", "C:\\users"});
  ASSERT_NE(explorer.Window(), nullptr);
  HWND wnd = explorer.Window();
  ASSERT_TRUE(explorer.Log().WaitForLine("folder=C:\\users", nullptr, kChangeWaitMs));
  EXPECT_TRUE(SameText(HostGetFolder(wnd), "C:\\users"));

  EXPECT_EQ(HostSetFolder(wnd, kInf), 1);
  EXPECT_TRUE(explorer.Log().WaitForLine(std::string("folder=") + kInf, nullptr, kChangeWaitMs));
  const DWORD start = ::GetTickCount();
  EXPECT_TRUE(SameText(HostGetFolder(wnd), kInf));
  std::printf("[ figures ] getfolder on an Explorer window as %s answered after %lu ms\n", GetParam(),
              static_cast<unsigned long>(::GetTickCount() - start));
  const size_t lines = explorer.Log().Lines().size();
  EXPECT_EQ(HostSetFolder(wnd, "C:\\no\\such\\folder"), 0);
  EXPECT_FALSE(explorer.Log().WaitForLine("folder=", nullptr, kStayMs, lines));

  const size_t beforeClose = SharedHost().LogLines().size();
  explorer.Close();
  std::string line;
  ASSERT_TRUE(SharedHost().WaitForLine("copydata kind=3 ", &line, kChangeWaitMs, beforeClose));
  EXPECT_TRUE(SameText(line, "copydata kind=3 wparam=" + HexOf(wnd) + " hwnd=" + HexOf(wnd) + " path=" + kInf)) << line;
}

// An item dialog whose browser does not answer takes the folder entered as its file name, and
// then shows the name it had.
TEST(ItemDialogWithoutBrowser, TakesTheFolderEnteredAsItsFileName) {
  FolderWindow item({"itemdialog", "--text", "report.txt"});
  ASSERT_NE(item.Window(), nullptr);
  EXPECT_EQ(ClassifyWindow(item.Window()), wkItemDialog);
  EXPECT_EQ(HostSetFolder(item.Window(), kInf), 1);
  EXPECT_TRUE(item.Log().WaitForLine(std::string("key id=1148 vk=13 text=") + kInf, nullptr, kChangeWaitMs));
  EXPECT_TRUE(item.Log().WaitForLine("settext id=1148 text=report.txt", nullptr, kChangeWaitMs));
  EXPECT_EQ(HostSetFolder(item.Window(), "C:\\windows\\no such folder"), 0);
}

// A tab that answers nothing: the browser's own window further down, the nearest window above the
// shell view that answers, is found on every version.
TEST(SilentTabExplorerWindow, IsReachedThroughTheWindowAboveItsShellView) {
  for (const char* version : {"win7", "winxp"}) {
    ScopedRegistryString setting(HKEY_CURRENT_USER, kAppDefaults, "Version", version);
    ASSERT_TRUE(setting.Set());
    FolderWindow explorer({"explorer", "--dir", "C:\\users", "--silent-tab"});
    ASSERT_NE(explorer.Window(), nullptr);
    ASSERT_TRUE(explorer.Log().WaitForLine("folder=C:\\users", nullptr, kChangeWaitMs));
    EXPECT_EQ(HostSetFolder(explorer.Window(), kInf), 1) << version;
    EXPECT_TRUE(explorer.Log().WaitForLine(std::string("folder=") + kInf, nullptr, kChangeWaitMs)) << version;
  }
}

// A browser that refuses the folder leaves the window where it was: the host hears 0.
TEST(RefusingExplorerWindow, AnswersZero) {
  FolderWindow explorer({"explorer", "--dir", "C:\\users", "--reject"});
  ASSERT_NE(explorer.Window(), nullptr);
  EXPECT_EQ(HostSetFolder(explorer.Window(), kInf), 0);
  EXPECT_EQ(CountLines(explorer.Log(), "browseobject refused"), 1u);
}

INSTANTIATE_TEST_SUITE_P(Versions, ExplorerWindow, ::testing::Values("win7", "winxp"));

// ---- The folder probe ------------------------------------------------------------------------

// The probe enabled: the list's context menu names the selection in ProbedFolder (as the shell
// extension does), the hook closes the menu at once, and the set reads the folder from the name.
class ProbedOfficeList : public ::testing::Test {
 protected:
  ScopedRegistryString trick_{HKEY_CURRENT_USER, kHostKey, "DisableTrickForGettingFolder", "0"};
};

TEST_F(ProbedOfficeList, OneSelectedItemGivesTheFolderThatHoldsIt) {
  FolderWindow office({"probe", "--item", "C:\\windows\\win.ini", "--item", kInf, "--select", "0"});
  ASSERT_NE(office.Window(), nullptr);
  EXPECT_TRUE(SameText(HostGetFolder(office.Window()), kWindows));
  std::string menu;
  ASSERT_TRUE(office.Log().WaitForLine("contextmenu ", &menu, kChangeWaitMs));
  EXPECT_EQ(menu, "contextmenu probe=1 selected=1");
  ASSERT_TRUE(office.Log().WaitForLine("menu ms=", &menu, kChangeWaitMs));
  EXPECT_NE(menu.find(" left=0"), std::string::npos) << menu;
  EXPECT_FALSE(IsProbeActive());
  EXPECT_TRUE(SameText(ReadProbedFolder(), kWindows));

  // At close the probe runs once more and its folder is the one reported.
  const size_t beforeClose = SharedHost().LogLines().size();
  HWND wnd = office.Window();
  office.Close();
  std::string line;
  ASSERT_TRUE(SharedHost().WaitForLine("copydata kind=3 ", &line, kChangeWaitMs, beforeClose))
      << HostLogSince(beforeClose);
  EXPECT_TRUE(SameText(line, "copydata kind=3 wparam=" + HexOf(wnd) + " hwnd=" + HexOf(wnd) + " path=" + kWindows))
      << line;
}

TEST_F(ProbedOfficeList, ASelectedFolderGivesItsParent) {
  FolderWindow office({"probe", "--item", "C:\\windows\\win.ini", "--item", kInf, "--select", "1"});
  ASSERT_NE(office.Window(), nullptr);
  EXPECT_TRUE(SameText(HostGetFolder(office.Window()), kWindows));
  EXPECT_FALSE(IsProbeActive());
}

TEST_F(ProbedOfficeList, SeveralOrNoSelectedItemsGiveNothing) {
  {
    FolderWindow office({"probe", "--item", "C:\\windows\\win.ini", "--item", kInf, "--select", "0", "--select", "1"});
    ASSERT_NE(office.Window(), nullptr);
    EXPECT_EQ(HostGetFolder(office.Window()), "");
    EXPECT_TRUE(office.Log().WaitForLine("contextmenu probe=1 selected=2", nullptr, kChangeWaitMs));
  }
  {
    FolderWindow office({"probe", "--item", "C:\\windows\\win.ini"});
    ASSERT_NE(office.Window(), nullptr);
    EXPECT_EQ(HostGetFolder(office.Window()), "");
    EXPECT_TRUE(office.Log().WaitForLine("contextmenu probe=1 selected=0", nullptr, kChangeWaitMs));
    EXPECT_FALSE(IsProbeActive());
  }
}

// In a program of version 9 the folder reported at close is the one read at the last qualifying
// "WM_OBJECTSEL"; other events, and events during a probe, read nothing.
TEST_F(ProbedOfficeList, AVersion9DialogReportsTheFolderOfItsLastObjectSel) {
  const std::vector<std::string> args = {"probe", "--item", "C:\\windows\\win.ini", "--select", "0"};
  auto closeAndReport = [](FolderWindow& office) {
    const size_t from = SharedHost().LogLines().size();
    office.Close();
    PumpMessagesFor(kStayMs);
    const auto reports = HostLinesFrom("copydata kind=3 ", from);
    return reports.empty() ? std::string("<none>") : reports.back();
  };
  {
    FolderWindow office(args, "folder_windows_v9.exe");
    ASSERT_NE(office.Window(), nullptr);
    ASSERT_EQ(HostCommandAnswer("post " + HandleText(office.Window()) + " WM_OBJECTSEL 0 30"), 1);
    PumpMessagesFor(kStayMs);
    EXPECT_EQ(CountLines(office.Log(), "contextmenu "), 0u);
    EXPECT_EQ(closeAndReport(office), "<none>");
  }
  {
    FolderWindow office(args, "folder_windows_v9.exe");
    ASSERT_NE(office.Window(), nullptr);
    SetProbeActive(true);
    ASSERT_EQ(HostCommandAnswer("post " + HandleText(office.Window()) + " WM_OBJECTSEL 0 29"), 1);
    PumpMessagesFor(kStayMs);
    SetProbeActive(false);
    EXPECT_EQ(CountLines(office.Log(), "contextmenu "), 0u);
    EXPECT_EQ(closeAndReport(office), "<none>");
  }
  {
    FolderWindow office(args, "folder_windows_v9.exe");
    ASSERT_NE(office.Window(), nullptr);
    HWND wnd = office.Window();
    ASSERT_EQ(HostCommandAnswer("post " + HandleText(wnd) + " WM_OBJECTSEL 0 36"), 1);
    EXPECT_TRUE(office.Log().WaitForLine("contextmenu probe=1 selected=1", nullptr, kChangeWaitMs));
    EXPECT_TRUE(SameText(closeAndReport(office),
                         "copydata kind=3 wparam=" + HexOf(wnd) + " hwnd=" + HexOf(wnd) + " path=" + kWindows));
  }
}

// With the setting's default the list is never asked.
TEST(UnprobedOfficeList, TheDefaultSettingLeavesTheListAlone) {
  FolderWindow office({"probe", "--item", "C:\\windows\\win.ini", "--select", "0"});
  ASSERT_NE(office.Window(), nullptr);
  EXPECT_EQ(HostGetFolder(office.Window()), "");
  PumpMessagesFor(300);
  EXPECT_EQ(CountLines(office.Log(), "contextmenu "), 0u);
  EXPECT_FALSE(IsProbeActive());
}

// ---- Reports to the host ---------------------------------------------------------------------

TEST(ReportFolder, AFileIsReportedAsItsFolderAndWhatIsNoFolderIsNotReported) {
  HostProcess& host = SharedHost();
  HWND wnd = host.Window();  // any window: the record only names it
  size_t from = host.LogLines().size();
  TKQVCaptionButtons::ReportFolder(wnd, "C:\\windows\\win.ini");
  std::string line;
  ASSERT_TRUE(host.WaitForLine("copydata kind=3 ", &line, kChangeWaitMs, from));
  EXPECT_TRUE(SameText(line, "copydata kind=3 wparam=" + HexOf(wnd) + " hwnd=" + HexOf(wnd) + " path=C:\\windows\\"))
      << line;

  from = host.LogLines().size();
  TKQVCaptionButtons::ReportFolder(wnd, "C:\\windows\\no such folder");
  TKQVCaptionButtons::ReportFolder(wnd, "");
  TKQVCaptionButtons::ReportFolder(wnd, kInf);
  ASSERT_TRUE(host.WaitForLine("copydata kind=3 ", &line, kChangeWaitMs, from));
  EXPECT_TRUE(SameText(line, "copydata kind=3 wparam=" + HexOf(wnd) + " hwnd=" + HexOf(wnd) + " path=" + kInf)) << line;
  EXPECT_EQ(HostLinesFrom("copydata kind=3 ", from).size(), 1u);
}

}  // namespace
}  // namespace kq::test
