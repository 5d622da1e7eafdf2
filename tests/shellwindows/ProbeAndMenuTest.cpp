// The menu-closing half of the folder probe on a real dialog's shell view, and the whole loop of
// the host's folder menu: a press on Favourites, the menu at the button, a click on a folder, the
// dialog in that folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "captionbuttons/KQCaptionButton.h"
#include "dialogbuttons/KQVCaptionButton.h"
#include "hostlink/KQVHostLink.h"
#include "tests/shellwindows/FolderFixtures.h"
#include "tests/support/MouseInput.h"

namespace kq::test {
namespace {

constexpr char kSecondMenuFolder[] = "C:\\windows\\inf";  // the stand-in host's menu item 1
const DWORD kMenuSendMs = Scaled(3000);
const DWORD kShownMenuSendMs = Scaled(1500);

HWND ShellListView(HWND dialog) {
  HWND view = ::FindWindowExA(dialog, nullptr, "SHELLDLL_DefView", nullptr);
  return view ? ::FindWindowExA(view, nullptr, "SysListView32", nullptr) : nullptr;
}

HWND VisibleMenuOf(HWND dialog) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(dialog, &pid);
  for (HWND wnd : TopLevelWindowsOf(pid)) {
    char name[16] = {};
    ::GetClassNameA(wnd, name, sizeof(name));
    if (std::string(name) == "#32768") return wnd;
  }
  return nullptr;
}

// While the probe is active, the popup menu that WM_CONTEXTMENU opens on the shell view is
// destroyed by the hook before it shows; without the probe the same message opens a menu.
TEST(ProbeMenu, TheHookClosesTheShellViewsMenuWhileTheProbeIsActive) {
  WatchedDialog opened("open", "Probe me", "C:\\windows");
  ASSERT_NE(opened.Dialog(), nullptr);
  HWND list = ShellListView(opened.Dialog());
  ASSERT_NE(list, nullptr);
  const LPARAM fromKeyboard = MAKELPARAM(-1, -1);

  SetProbeActive(true);
  DWORD_PTR result = 0;
  const DWORD start = ::GetTickCount();
  const LRESULT sent = ::SendMessageTimeoutA(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), fromKeyboard,
                                             SMTO_ABORTIFHUNG, kMenuSendMs, &result);
  const DWORD elapsed = ::GetTickCount() - start;
  SetProbeActive(false);
  EXPECT_NE(sent, 0) << "the menu stayed open";
  std::printf("[ figures ] WM_CONTEXTMENU with the probe active returned after %lu ms\n",
              static_cast<unsigned long>(elapsed));
  PumpMessagesFor(300);
  EXPECT_EQ(VisibleMenuOf(opened.Dialog()), nullptr);
  EXPECT_FALSE(IsProbeActive());

  // The control: the probe off, the menu opens and stays until it is dismissed.
  const LRESULT shown = ::SendMessageTimeoutA(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), fromKeyboard,
                                              SMTO_ABORTIFHUNG, kShownMenuSendMs, &result);
  EXPECT_EQ(shown, 0);
  HWND menu = VisibleMenuOf(opened.Dialog());
  EXPECT_NE(menu, nullptr);
  if (menu) {
    ::PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    ::PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    for (int i = 0; i < 50 && VisibleMenuOf(opened.Dialog()); ++i) PumpMessagesFor(100);
  }
}

// ---- The host's folder menu --------------------------------------------------------------------

long Field(const std::string& line, const std::string& key) {
  const size_t at = line.find(" " + key + "=");
  return at == std::string::npos ? -1 : std::strtol(line.c_str() + at + key.size() + 2, nullptr, 10);
}

TEST(FolderMenu, AFolderChosenFromTheHostsMenuMovesTheDialog) {
  ASSERT_EQ(HostCommandAnswer("menu on"), 1);
  WatchedDialog opened("open", "Choose from the menu", "C:\\users");
  ASSERT_NE(opened.Dialog(), nullptr);
  HWND dialog = opened.Dialog();
  ASSERT_TRUE(opened.WaitForFolder("C:\\users"));

  // Favourites, pressed as a user would.
  const RECT button = DialogButtonRect(dialog, 0);
  const size_t from = SharedHost().LogLines().size();
  ::SetForegroundWindow(dialog);
  PumpMessagesFor(100);
  ClickAt(CentreOf(button));

  std::string shown;
  ASSERT_TRUE(SharedHost().WaitForLine("menu code=1 ", &shown, kChangeWaitMs, from));
  EXPECT_NE(shown.find(" hwnd=" + HexOf(dialog) + " "), std::string::npos) << shown;
  std::string item;
  ASSERT_TRUE(SharedHost().WaitForLine("menu item=1 ", &item, kChangeWaitMs, from));
  ClickAt(CentreOf({Field(item, "left"), Field(item, "top"), Field(item, "right"), Field(item, "bottom")}));

  std::string chose;
  EXPECT_TRUE(SharedHost().WaitForLine("menu chose=", &chose, kChangeWaitMs, from)) << HostLogSince(from);
  EXPECT_TRUE(SameText(chose, "menu chose=1 hwnd=" + HexOf(dialog) + " answer=1 path=" + kSecondMenuFolder)) << chose;
  EXPECT_TRUE(opened.WaitForFolder(kSecondMenuFolder)) << opened.Folder();
  HostCommandAnswer("menu off");
}

}  // namespace
}  // namespace kq::test
