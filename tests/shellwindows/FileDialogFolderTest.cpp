// Real Wine file dialogs in another process, moved and read by the stand-in host through the
// button set that the hooks attached: what the dialog itself says (CDM_GETFOLDERPATH, the
// file-name box) is logged by the dialog's own process.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/KQText.h"
#include "hostlink/KQVHostLink.h"
#include "shellwindows/KQWindowKind.h"
#include "tests/shellwindows/FolderFixtures.h"
#include "tests/support/MouseInput.h"

namespace kq::test {
namespace {

constexpr char kWindows[] = "C:\\windows";
// A second folder, small: a dialog moved there lists it at once, also in the emulated machine.
constexpr char kInf[] = "C:\\windows\\inf";
constexpr char kStartDir[] = "C:\\users";

std::string LongPath(const std::string& head, size_t length) {
  std::string path = head;
  while (path.size() < length) path += 'a';
  return path;
}

TEST(OpenDialog, GoesWhereTheHostSendsIt) {
  WatchedDialog opened("open", "Open here", kStartDir);
  ASSERT_NE(opened.Dialog(), nullptr);
  HWND dialog = opened.Dialog();
  ASSERT_TRUE(opened.WaitForFolder(kStartDir));

  DWORD start = ::GetTickCount();
  EXPECT_EQ(HostSetFolder(dialog, kWindows), 1);
  std::printf("[ figures ] setfolder on a real Open dialog answered after %lu ms\n",
              static_cast<unsigned long>(::GetTickCount() - start));
  EXPECT_TRUE(opened.WaitForFolder(kWindows)) << opened.Folder();

  // A folder that does not exist: 0, and the dialog stays.
  EXPECT_EQ(HostSetFolder(dialog, "C:\\windows\\no such folder"), 0);
  EXPECT_TRUE(opened.StaysIn(kWindows)) << opened.Folder();
  EXPECT_EQ(HostCommandAnswer("setfoldernull " + HandleText(dialog)), 0);

  // Environment references are expanded first.
  EXPECT_EQ(HostSetFolder(dialog, "%WINDIR%\\inf"), 1);
  EXPECT_TRUE(opened.WaitForFolder(kInf)) << opened.Folder();

  // A file: its folder opens and its name stands in the file-name box; no Enter, so the dialog
  // is still open.
  EXPECT_EQ(HostSetFolder(dialog, "C:\\windows\\win.ini"), 1);
  EXPECT_TRUE(opened.WaitForFolder(kWindows)) << opened.Folder();
  PumpMessagesFor(500);
  EXPECT_EQ(opened.Name(), "win.ini");
  EXPECT_TRUE(opened.Running());
  EXPECT_TRUE(::IsWindow(dialog));

  // The record's text ends where its size says, even when more bytes follow in memory (the
  // record before this one left "\inf" there).
  EXPECT_EQ(HostSetFolder(dialog, kInf), 1);
  ASSERT_TRUE(opened.WaitForFolder(kInf));
  EXPECT_EQ(HostCommandAnswer("setfoldercb " + HandleText(dialog) + " 10 " + kInf), 1);
  EXPECT_TRUE(opened.WaitForFolder(kWindows)) << opened.Folder();

  // Paths longer than the system's limit, before or after expansion, are refused rather than cut
  // into another path.
  EXPECT_EQ(HostSetFolder(dialog, LongPath("C:\\windows\\", 300)), 0);
  EXPECT_EQ(HostSetFolder(dialog, LongPath("%WINDIR%\\", 259)), 0);
  EXPECT_EQ(HostSetFolder(dialog, "C:\\windows\\inf" + std::string(300, '\\')), 0);
  EXPECT_TRUE(opened.StaysIn(kWindows)) << opened.Folder();
}

TEST(OpenDialog, TellsItsFolderAndClosesUnharmed) {
  WatchedDialog opened("open", "Tell me", kStartDir);
  ASSERT_NE(opened.Dialog(), nullptr);
  HWND dialog = opened.Dialog();
  ASSERT_TRUE(opened.WaitForFolder(kStartDir));
  EXPECT_TRUE(SameText(HostGetFolder(dialog), kStartDir));

  ASSERT_EQ(HostSetFolder(dialog, kInf), 1);
  ASSERT_TRUE(opened.WaitForFolder(kInf));
  const DWORD start = ::GetTickCount();
  EXPECT_TRUE(SameText(HostGetFolder(dialog), kInf));
  std::printf("[ figures ] getfolder on a real Open dialog answered after %lu ms\n",
              static_cast<unsigned long>(::GetTickCount() - start));
  // The host finds the folder in the shared block afterwards as well.
  const size_t from = SharedHost().LogLines().size();
  ASSERT_EQ(HostCommandAnswer("probedfolder"), 1);
  const auto probed = HostLinesFrom("probedfolder ", from);
  ASSERT_EQ(probed.size(), 1u);
  EXPECT_TRUE(SameText(probed[0], std::string("probedfolder folder=") + kInf)) << probed[0];

  // Wine's file dialog lets go of its shell browser and its folder when Cancel is pressed, before
  // the window is destroyed (at WM_DESTROY it names no folder, or the desktop): the folder taken
  // at the command is the one reported, once.
  const size_t beforeClose = SharedHost().LogLines().size();
  EXPECT_EQ(opened.Close(), std::optional<DWORD>(0));
  const auto reports = HostLinesFrom("copydata kind=3 ", beforeClose);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_TRUE(
      SameText(reports[0], "copydata kind=3 wparam=" + HexOf(dialog) + " hwnd=" + HexOf(dialog) + " path=" + kInf))
      << reports[0];
}

// Unicode dialogs answer in UTF-16; what the host sends and reads is the same.
TEST(UnicodeDialog, GoesThereAndTells) {
  WatchedDialog opened("savew", "Save wide", kStartDir);
  ASSERT_NE(opened.Dialog(), nullptr);
  HWND dialog = opened.Dialog();
  ASSERT_TRUE(::IsWindowUnicode(dialog));
  ASSERT_TRUE(opened.WaitForFolder(kStartDir));
  EXPECT_TRUE(SameText(HostGetFolder(dialog), kStartDir));

  EXPECT_EQ(HostSetFolder(dialog, "%SystemRoot%\\win.ini"), 1);
  EXPECT_TRUE(opened.WaitForFolder(kWindows)) << opened.Folder();
  PumpMessagesFor(500);
  EXPECT_EQ(opened.Name(), "win.ini");
  EXPECT_TRUE(SameText(HostGetFolder(dialog), kWindows));
  EXPECT_EQ(HostSetFolder(dialog, "C:\\no\\such\\folder"), 0);
  EXPECT_TRUE(opened.StaysIn(kWindows));

  EXPECT_EQ(opened.Close(), std::optional<DWORD>(0));
}

// The library's own reading of a dialog's folder (CDM_GETFOLDERPATH, in the dialog's process): in
// the character set of the program's window that owns the dialog, whatever an add-on that
// subclassed the dialog through the other set's function made of the dialog's own flag; without an
// owner in the dialog's own set; and right also when the owner is of the other set than the dialog.
struct ReadingCase {
  const char* mode;
  const char* owner;  // "a", "w", or "" for none
  bool foreignSubclass;
};

class FolderReading : public ::testing::TestWithParam<ReadingCase> {};

// The last "read=" line of the dialog's log, once it is folder (or when the wait is over).
std::string WaitForReading(const WatchedDialog& opened, const std::string& folder) {
  const DWORD start = ::GetTickCount();
  std::string last;
  for (;;) {
    const auto lines = opened.Log().LinesStartingWith("read=");
    last = lines.empty() ? "<none>" : lines.back().substr(5);
    if (SameText(last, folder) || ::GetTickCount() - start >= kChangeWaitMs) return last;
    PumpMessagesFor(100);
  }
}

TEST_P(FolderReading, ComesBackRight) {
  const ReadingCase& c = GetParam();
  const bool unicodeProgram = std::string(c.mode).back() == 'w';
  std::vector<std::string> extra = {"--read-folder"};
  if (*c.owner) extra.insert(extra.end(), {"--owner", c.owner});
  if (c.foreignSubclass) extra.push_back("--foreign-subclass");
  WatchedDialog opened(c.mode, "Read it", kStartDir, extra);
  ASSERT_NE(opened.Dialog(), nullptr);
  HWND dialog = opened.Dialog();
  ASSERT_TRUE(opened.WaitForFolder(kStartDir)) << opened.Folder();
  HWND owner = ::GetParent(dialog);
  ASSERT_EQ(owner != nullptr, *c.owner != '\0');
  if (owner) {
    ASSERT_EQ(::IsWindowUnicode(owner) != FALSE, *c.owner == 'w');
  }
  std::string line;
  if (c.foreignSubclass) {
    ASSERT_TRUE(opened.Log().WaitForLine("subclassed ", &line, kChangeWaitMs));
    ASSERT_EQ(line, std::string("subclassed unicode=") + (unicodeProgram ? "0" : "1"));
  }
  const std::string read = WaitForReading(opened, kStartDir);
  EXPECT_TRUE(SameText(read, kStartDir)) << read;
}

INSTANTIATE_TEST_SUITE_P(OwnedAndOwnerless, FolderReading,
                         ::testing::Values(ReadingCase{"open", "a", true}, ReadingCase{"openw", "w", true},
                                           ReadingCase{"open", "", false}, ReadingCase{"openw", "", false},
                                           ReadingCase{"open", "w", false}, ReadingCase{"openw", "a", false}),
                         [](const ::testing::TestParamInfo<ReadingCase>& info) {
                           return std::string(info.param.mode) + "_owner_" +
                                  (*info.param.owner ? info.param.owner : "none") +
                                  (info.param.foreignSubclass ? "_subclassed" : "");
                         });

// The host's start folder (code 3) is applied when the dialog opens, once.
TEST(StartFolder, IsAppliedOnceWhenTheDialogOpens) {
  ASSERT_EQ(HostCommandAnswer(std::string("startfolder ") + kInf), 1);
  const size_t from = SharedHost().LogLines().size();
  WatchedDialog opened("open", "Start there", kStartDir);
  HostCommandAnswer("startfolder");
  ASSERT_NE(opened.Dialog(), nullptr);
  HWND dialog = opened.Dialog();
  EXPECT_TRUE(opened.WaitForFolder(kInf)) << opened.Folder();
  EXPECT_EQ(HostLinesFrom("manage code=3 hwnd=" + HexOf(dialog), from).size(), 1u);

  // Asked again (code 4 a second time), the set neither asks the host nor moves the dialog.
  ASSERT_EQ(HostCommandAnswer(std::string("startfolder ") + kStartDir), 1);
  ASSERT_EQ(HostSetFolder(dialog, kWindows), 1);
  ASSERT_TRUE(opened.WaitForFolder(kWindows));
  EXPECT_EQ(HostCommandAnswer("send " + HandleText(dialog) + " WM_LNTR_MANAGE 4 0"), 0);
  EXPECT_TRUE(opened.StaysIn(kWindows)) << opened.Folder();
  HostCommandAnswer("startfolder");
  EXPECT_EQ(HostLinesFrom("manage code=3 hwnd=" + HexOf(dialog), from).size(), 1u);
}

TEST(StartFolder, AMissingOneIsNeverApplied) {
  ASSERT_EQ(HostCommandAnswer("startfolder C:\\windows\\gone away"), 1);
  const size_t from = SharedHost().LogLines().size();
  WatchedDialog opened("open", "Start nowhere", kWindows);
  ASSERT_NE(opened.Dialog(), nullptr);
  HWND dialog = opened.Dialog();
  EXPECT_TRUE(SharedHost().WaitForLine("manage code=3 hwnd=" + HexOf(dialog), nullptr, kChangeWaitMs, from));
  EXPECT_TRUE(opened.WaitForFolder(kWindows));
  EXPECT_TRUE(opened.StaysIn(kWindows)) << opened.Folder();
  HostCommandAnswer("startfolder");
}

// A real SHBrowseForFolderA dialog takes the folder as an identifier list selection.
TEST(BrowseDialog, IsMovedBySelection) {
  WatchedDialog opened("browse", "Browse", "");
  ASSERT_NE(opened.Dialog(), nullptr);
  HWND dialog = opened.Dialog();
  const size_t from = opened.Log().Lines().size();
  EXPECT_EQ(HostSetFolder(dialog, kInf), 1);
  std::string line;
  EXPECT_TRUE(opened.Log().WaitForLine(std::string("selected=") + kInf, &line, kChangeWaitMs, from));
  EXPECT_EQ(HostSetFolder(dialog, "C:\\no\\such\\folder"), 0);
}

// ---- The common item dialog and Wine's file browser ------------------------------------------

// In each of its modes the item dialog of another program is served as the classic one is: it
// opens in the host's start folder, the host's commands move it and read its folder through its
// Explorer browser, a missing folder answers 0, and the folder it showed is reported when it closes.
class ItemDialog : public ::testing::TestWithParam<const char*> {};

TEST_P(ItemDialog, GoesWhereTheHostSendsItAndReportsItsLastFolder) {
  ASSERT_EQ(HostCommandAnswer(std::string("startfolder ") + kWindows), 1);
  WatchedDialog opened(GetParam(), std::string("Item ") + GetParam(), kStartDir);
  HostCommandAnswer("startfolder");
  ASSERT_NE(opened.Dialog(), nullptr);
  HWND dialog = opened.Dialog();
  ASSERT_TRUE(opened.WaitForFolder(kWindows)) << opened.Folder();
  EXPECT_TRUE(SameText(HostGetFolder(dialog), kWindows));

  EXPECT_EQ(HostSetFolder(dialog, kInf), 1);
  EXPECT_TRUE(opened.WaitForFolder(kInf)) << opened.Folder();
  EXPECT_TRUE(SameText(HostGetFolder(dialog), kInf));
  EXPECT_EQ(HostSetFolder(dialog, "C:\\windows\\no such folder"), 0);
  EXPECT_TRUE(opened.StaysIn(kInf)) << opened.Folder();

  const size_t beforeClose = SharedHost().LogLines().size();
  EXPECT_EQ(opened.Close(), std::optional<DWORD>(0));
  const auto reports = HostLinesFrom("copydata kind=3 ", beforeClose);
  ASSERT_EQ(reports.size(), 1u) << HostLogSince(beforeClose);
  EXPECT_TRUE(
      SameText(reports[0], "copydata kind=3 wparam=" + HexOf(dialog) + " hwnd=" + HexOf(dialog) + " path=" + kInf))
      << reports[0];
}

INSTANTIATE_TEST_SUITE_P(Modes, ItemDialog, ::testing::Values("itemopen", "itemsave", "itempick"));

// A name the user typed stays in a Save dialog that the host moves to another folder; a file's
// path still puts that file's name there.
class SaveDialog : public ::testing::TestWithParam<const char*> {};

TEST_P(SaveDialog, KeepsItsFileNameWhenMoved) {
  WatchedDialog opened(GetParam(), "Save it", kStartDir, {"--file", "report.txt"});
  ASSERT_NE(opened.Dialog(), nullptr);
  HWND dialog = opened.Dialog();
  ASSERT_TRUE(opened.WaitForFolder(kStartDir)) << opened.Folder();
  ASSERT_EQ(opened.Name(), "report.txt");

  EXPECT_EQ(HostSetFolder(dialog, kInf), 1);
  EXPECT_TRUE(opened.WaitForFolder(kInf)) << opened.Folder();
  PumpMessagesFor(500);
  EXPECT_EQ(opened.Name(), "report.txt");

  EXPECT_EQ(HostSetFolder(dialog, "C:\\windows\\win.ini"), 1);
  EXPECT_TRUE(opened.WaitForFolder(kWindows)) << opened.Folder();
  PumpMessagesFor(500);
  EXPECT_EQ(opened.Name(), "win.ini");
}

INSTANTIATE_TEST_SUITE_P(Kinds, SaveDialog, ::testing::Values("save", "itemsave"));

// Wine's own file browser is served as an Explorer window: the browser of its control moves it and
// reads its folder, and its Favourites button reports its presses.
TEST(WineFileBrowser, IsMovedReadAndPressedLikeAnExplorerWindow) {
  SharedHost();  // the hooks on before the browser opens
  // The system folder's: a 32-bit program is given the 32-bit one.
  char system[MAX_PATH] = {};
  ASSERT_NE(::GetSystemDirectoryA(system, MAX_PATH), 0u);
  ChildProcess explorer;
  ASSERT_TRUE(explorer.Start(std::string(system) + "\\explorer.exe", {kStartDir}));
  HWND wnd = explorer.WaitForWindowOfClass(kClassExplorerW, kWindowWaitMs);
  ASSERT_NE(wnd, nullptr);
  EXPECT_EQ(ClassifyWindow(wnd), wkExplorer);
  // The browser shows its folder a while after its window appears (long after, emulated).
  const DWORD start = ::GetTickCount();
  while (!SameText(HostGetFolder(wnd), kStartDir) && ::GetTickCount() - start < kChangeWaitMs) PumpMessagesFor(200);
  EXPECT_TRUE(SameText(HostGetFolder(wnd), kStartDir));

  EXPECT_EQ(HostSetFolder(wnd, kInf), 1);
  EXPECT_TRUE(SameText(HostGetFolder(wnd), kInf));
  EXPECT_EQ(HostSetFolder(wnd, "C:\\windows\\no such folder"), 0);

  const size_t from = SharedHost().LogLines().size();
  ::SetForegroundWindow(wnd);
  PumpMessagesFor(100);
  ClickAt(CentreOf(DialogButtonRect(wnd, 0)));
  MoveMouseTo({0, 0});
  EXPECT_TRUE(SharedHost().WaitForLine("manage code=1 ", nullptr, kReportWaitMs, from)) << HostLogSince(from);
}

}  // namespace
}  // namespace kq::test

namespace kq::test {
namespace {

// Names the ANSI code page cannot spell: Cyrillic, CJK, and fullwidth letters that the code page's
// best fit turns into "Docs", the name of another folder beside them.
constexpr const char* kUnicodeNames[] = {"\u041f\u0440\u043e\u0435\u043a\u0442\u044b", "\u8cc7\u6599",
                                         "\uff24\uff4f\uff43\uff53"};
constexpr char kLookAlikeTwin[] = "C:\\users\\Public\\Docs";
constexpr char kUnicodeBase[] = "C:\\users\\Public";

// The short name of an existing path, as the system gives it (UTF-8); empty when it has none.
std::string ShortName(const std::string& path) {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD length = ::GetShortPathNameW(ToWide(path).c_str(), buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  const std::string shortName = ToUtf8(std::wstring_view(buffer, length));
  return shortName == path ? std::string() : shortName;
}

// An ANSI program's dialog (ANSI owner) and a Unicode program's: the host sends them to folders
// named outside the code page and reads their folders back; a host that reads UTF-8 gets the exact
// paths, an ANSI host their short names, never a "?" or a look-alike. The close report follows the
// same rule (a UTF-8 host at the Unicode program's, an ANSI host at the ANSI program's).
class UnicodeFolders : public ::testing::TestWithParam<const char*> {};

TEST_P(UnicodeFolders, AreSetReadAndReportedExactlyOrByTheirShortNames) {
  const std::string mode = GetParam();
  ASSERT_TRUE(::CreateDirectoryW(ToWide(kLookAlikeTwin).c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
  std::vector<std::string> folders;
  for (const char* name : kUnicodeNames) {
    folders.push_back(std::string(kUnicodeBase) + "\\" + name);
    ASSERT_TRUE(::CreateDirectoryW(ToWide(folders.back()).c_str(), nullptr) ||
                ::GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_NE(ShortName(folders.back()), "") << "the volume gives no short names";
  }
  WatchedDialog opened(mode, "Unicode " + mode, kUnicodeBase, {"--owner", mode == "open" ? "a" : "w"});
  const HWND dialog = opened.Dialog();
  ASSERT_NE(dialog, nullptr);
  {
    Utf8Host utf8;
    ASSERT_TRUE(utf8.On());
    for (const std::string& folder : folders) {
      EXPECT_EQ(HostSetFolder(dialog, folder), 1) << folder;
      EXPECT_EQ(HostGetFolder(dialog), folder);
    }
    // A path the dialog cannot take whole is refused, not cut into another folder's name.
    EXPECT_EQ(HostSetFolder(dialog, std::string(kUnicodeBase) + "\\" + kUnicodeNames[0] + std::string(300, 'x')), 0);
  }
  for (const std::string& folder : folders) {
    EXPECT_EQ(HostSetFolder(dialog, ShortName(folder)), 1) << folder;
    EXPECT_EQ(HostGetFolder(dialog), ShortName(folder)) << folder;
  }

  const bool utf8AtClose = mode != "open";
  std::optional<Utf8Host> utf8;
  if (utf8AtClose) utf8.emplace();
  const std::string& last = folders.back();
  const size_t beforeClose = SharedHost().LogLines().size();
  EXPECT_EQ(opened.Close(), std::optional<DWORD>(0));
  const std::string kind =
      utf8AtClose ? std::to_string(CopyDataDialogFolderUtf8) : std::to_string(CopyDataDialogFolder);
  const auto reports = HostLinesFrom("copydata kind=" + kind + " ", beforeClose);
  ASSERT_EQ(reports.size(), 1u) << HostLogSince(beforeClose);
  EXPECT_EQ(reports[0], "copydata kind=" + kind + " wparam=" + HexOf(dialog) + " hwnd=" + HexOf(dialog) +
                            " path=" + (utf8AtClose ? last : ShortName(last)));
}

INSTANTIATE_TEST_SUITE_P(Programs, UnicodeFolders, ::testing::Values("open", "openw"));

}  // namespace
}  // namespace kq::test
