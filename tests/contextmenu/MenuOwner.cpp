#include "tests/contextmenu/MenuOwner.h"

#include <gtest/gtest.h>

#include "tests/contextmenu/ServerFixtures.h"
#include "tests/support/MenuItems.h"
#include "tests/support/Timeouts.h"

namespace kq::test {
namespace {

constexpr char kOwnerClass[] = "LntrMenuOwner";
constexpr UINT_PTR kStepTimer = 1;
constexpr UINT kStepMs = 20;  // one keyboard step a tick
constexpr int kMostSessions = 64;

// How long one menu session may take to walk its path.
DWORD SessionBoundMs() { return Scaled(10000); }

int PositionOf(HMENU menu, const std::string& caption) {
  for (int i = 0, n = ::GetMenuItemCount(menu); i < n; ++i) {
    const MenuItem item = ItemAt(menu, static_cast<UINT>(i));
    if (!item.Separator() && item.text == caption) return i;
  }
  return -1;
}

// The item the keyboard has selected in menu, or -1.
int Selected(HMENU menu) {
  for (int i = 0, n = ::GetMenuItemCount(menu); i < n; ++i) {
    if (::GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_HILITE) return i;
  }
  return -1;
}

bool Openable(const MenuItem& item) { return item.submenu && !(item.state & MFS_GRAYED); }

std::string PathText(const std::vector<std::string>& path, size_t count) {
  std::string text;
  for (size_t i = 0; i < count && i < path.size(); ++i) text += (i ? " > " : "") + path[i];
  return text.empty() ? "the top level" : text;
}

}  // namespace

MenuOwner::MenuOwner(IContextMenu* handler, ShellAge age) : window_(kOwnerClass, OwnerProc) {
  EXPECT_NE(window_.Wnd(), nullptr);
  ::SetWindowLongPtrA(window_.Wnd(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  if (age == ShellAge::Current) handler->QueryInterface(IID_PPV_ARGS(&menu3_));
  if (!menu3_) handler->QueryInterface(IID_PPV_ARGS(&menu2_));
}

LRESULT CALLBACK MenuOwner::OwnerProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* owner = reinterpret_cast<MenuOwner*>(::GetWindowLongPtrA(wnd, GWLP_USERDATA));
  if (owner) {
    LRESULT answer = 0;
    switch (msg) {
      case WM_INITMENUPOPUP:
        return owner->OnInitMenuPopup(wParam, lParam);
      case WM_MEASUREITEM:
      case WM_DRAWITEM:
      case WM_MENUCHAR:
        if (owner->Forward(msg, wParam, lParam, answer)) return answer;
        break;
      case WM_TIMER:
        if (wParam != kStepTimer) break;
        owner->Step();
        return 0;
      default:
        break;
    }
  }
  return ::DefWindowProcA(wnd, msg, wParam, lParam);
}

LRESULT MenuOwner::OnInitMenuPopup(WPARAM wParam, LPARAM lParam) {
  LRESULT answer = 0;
  Forward(WM_INITMENUPOPUP, wParam, lParam, answer);
  opened_.insert(reinterpret_cast<HMENU>(wParam));
  return 0;
}

// As the shell: the newer interface gets every message and says what the window answers; the
// older one knows no WM_MENUCHAR, and a message it took is answered as handled.
bool MenuOwner::Forward(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& answer) {
  if (menu3_) return SUCCEEDED(menu3_->HandleMenuMsg2(msg, wParam, lParam, &answer));
  if (!menu2_ || msg == WM_MENUCHAR) return false;
  if (FAILED(menu2_->HandleMenuMsg(msg, wParam, lParam))) return false;
  answer = msg == WM_INITMENUPOPUP ? 0 : TRUE;
  return true;
}

// One step of the session's walk, taken on the menu as it is now: the keys of the steps before
// have all been handled (Wine's queue gives posted messages before a timer's).
void MenuOwner::Step() {
  Session& s = session_;
  if (!s.failure.empty()) return;
  if (::GetTickCount() - s.started > SessionBoundMs()) {
    Fail("the menu did not get past " + PathText(s.path, s.levels.size() - 1) + " in " +
         std::to_string(SessionBoundMs()) + " ms");
    return;
  }
  if (s.ending) return;
  if (s.awaited) {
    if (!opened_.count(s.awaited)) return;
    s.levels.push_back(s.awaited);
    s.awaited = nullptr;
  }
  const size_t depth = s.levels.size() - 1;
  if (depth == s.path.size()) {
    // Every submenu of the path is open.
    s.ending = true;
    ::EndMenu();
    return;
  }
  HMENU shown = s.levels.back();
  const std::string& caption = s.path[depth];
  const int target = PositionOf(shown, caption);
  if (target < 0) {
    Fail("no item \"" + caption + "\" in " + PathText(s.path, depth) + ": " + MenuOutline(shown));
    return;
  }
  const int selected = Selected(shown);
  if (selected != target) {
    Press(selected < 0 ? VK_HOME : VK_DOWN);
    return;
  }
  if (s.choose && depth + 1 == s.path.size()) {
    s.ending = true;
    Press(VK_RETURN);
    return;
  }
  const MenuItem item = ItemAt(shown, static_cast<UINT>(target));
  if (!Openable(item)) {
    Fail("\"" + caption + "\" in " + PathText(s.path, depth) + " opens no submenu");
    return;
  }
  s.awaited = item.submenu;
  Press(VK_RIGHT);
}

void MenuOwner::Press(UINT key) const {
  const LPARAM scan = static_cast<LPARAM>(::MapVirtualKeyA(key, MAPVK_VK_TO_VSC)) << 16;
  ::PostMessageA(window_.Wnd(), WM_KEYDOWN, key, scan | 1);
}

void MenuOwner::Fail(const std::string& why) {
  session_.failure = why;
  ::EndMenu();
}

UINT MenuOwner::Run(HMENU menu, const std::vector<std::string>& path, bool choose) {
  session_ = Session{path, choose, {menu}};
  session_.started = ::GetTickCount();
  ::SetTimer(window_.Wnd(), kStepTimer, kStepMs, nullptr);
  const UINT chosen = static_cast<UINT>(
      ::TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN, 0, 0, window_.Wnd(), nullptr));
  ::KillTimer(window_.Wnd(), kStepTimer);
  // A key the loop did not take would reach the next menu.
  MSG msg;
  while (::PeekMessageA(&msg, window_.Wnd(), WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  if (!session_.failure.empty())
    ADD_FAILURE() << (choose ? "choosing " : "opening ") << PathText(path, path.size()) << ": " << session_.failure;
  return chosen;
}

bool MenuOwner::Open(HMENU menu, const std::vector<std::string>& path) {
  Run(menu, path, false);
  return session_.failure.empty() && session_.levels.size() == path.size() + 1;
}

UINT MenuOwner::Choose(HMENU menu, const std::vector<std::string>& path) { return Run(menu, path, true); }

HMENU MenuOwner::FirstUnopened(HMENU menu, std::vector<std::string>& path) const {
  for (int i = 0, n = ::GetMenuItemCount(menu); i < n; ++i) {
    const MenuItem item = ItemAt(menu, static_cast<UINT>(i));
    if (!Openable(item)) continue;
    path.push_back(item.text);
    if (!opened_.count(item.submenu)) return item.submenu;
    if (HMENU below = FirstUnopened(item.submenu, path)) return below;
    path.pop_back();
  }
  return nullptr;
}

std::string MenuOwner::OpenAll(HMENU menu) {
  for (int session = 0; session < kMostSessions; ++session) {
    std::vector<std::string> path;
    HMENU next = FirstUnopened(menu, path);
    if (!next) break;
    if (!Open(menu, path)) break;
    if (!opened_.count(next)) {
      ADD_FAILURE() << "opening " << PathText(path, path.size()) << " opened another submenu of that caption";
      break;
    }
  }
  return MenuOutline(menu);
}

}  // namespace kq::test
