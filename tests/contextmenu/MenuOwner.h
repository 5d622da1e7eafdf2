// The window a shell shows a context menu from: it shows a handler's menu with TrackPopupMenuEx
// and forwards the messages a handler fills and draws its submenus with (WM_INITMENUPOPUP,
// WM_MEASUREITEM, WM_DRAWITEM, WM_MENUCHAR) to the handler's IContextMenu3, or, as an older shell,
// to its IContextMenu2; a handler that answers neither gets none of them. Submenus are opened as
// a user opens them, by keyboard steps sent while the menu's modal loop runs: Wine's loop takes
// the keys posted to the thread's queue and dispatches the owner's timer, one step per tick, so
// each step looks at the menu as it is then (a submenu may be filled only once it opens).
#pragma once

#include <windows.h>

#include <shlobj.h>
#include <wrl/client.h>

#include <set>
#include <string>
#include <vector>

#include "tests/support/TestWindows.h"

namespace kq::test {

// The interface a shell forwards the menu's messages through.
enum class ShellAge {
  Current,  // IContextMenu3::HandleMenuMsg2, else IContextMenu2::HandleMenuMsg
  Older,    // IContextMenu2::HandleMenuMsg only
};

// One owner at a time: its window class goes with it. Every menu session is bounded in time;
// one that runs out is ended (EndMenu) and fails the running test.
class MenuOwner {
 public:
  explicit MenuOwner(IContextMenu* handler, ShellAge age = ShellAge::Current);
  MenuOwner(const MenuOwner&) = delete;
  MenuOwner& operator=(const MenuOwner&) = delete;

  // Opens every submenu of menu that can be opened, one menu session for each submenu not yet
  // opened, walking down to it from the top; then the outline of the whole menu (MenuOutline).
  std::string OpenAll(HMENU menu);
  // Opens the submenus path names, by caption from the top level down (the first item of a
  // caption at each level), one after the other, then ends the menu. False when one could not
  // be opened (the test is failed with how far the session got).
  bool Open(HMENU menu, const std::vector<std::string>& path);
  // Walks down path as Open does and chooses its last item with the Enter key: the command id
  // TrackPopupMenuEx answers, 0 when none was chosen.
  UINT Choose(HMENU menu, const std::vector<std::string>& path);

 private:
  struct Session {
    std::vector<std::string> path;
    bool choose = false;
    std::vector<HMENU> levels;  // the menus shown, the top one first
    HMENU awaited = nullptr;    // the submenu the last step opens
    DWORD started = 0;
    bool ending = false;  // the last step is taken: the loop ends by itself
    std::string failure;
  };

  static LRESULT CALLBACK OwnerProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT OnInitMenuPopup(WPARAM wParam, LPARAM lParam);
  bool Forward(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& answer);
  void Step();
  void Press(UINT key) const;
  void Fail(const std::string& why);
  UINT Run(HMENU menu, const std::vector<std::string>& path, bool choose);
  HMENU FirstUnopened(HMENU menu, std::vector<std::string>& path) const;

  ProcWindow window_;
  Microsoft::WRL::ComPtr<IContextMenu3> menu3_;
  Microsoft::WRL::ComPtr<IContextMenu2> menu2_;
  std::set<HMENU> opened_;  // every menu a WM_INITMENUPOPUP came for
  Session session_;
};

}  // namespace kq::test
