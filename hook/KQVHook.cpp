#include "hook/KQVHook.h"

#include <commctrl.h>

#include <memory>
#include <mutex>

#include "common/KQGuard.h"
#include "common/KQProcessStatic.h"
#include "common/KQScoped.h"
#include "common/KQSysCalls.h"
#include "common/KQUtils.h"
#include "dialogbuttons/KQVCaptionButton.h"
#include "hostlink/KQVHostLink.h"
#include "shellwindows/KQTaskWnd.h"
#include "shellwindows/KQWindowKind.h"

namespace kq {
namespace {

// The popup-menu window class; the folder probe's context menu is closed before it shows.
constexpr char kPopupMenuClass[] = "#32768";
constexpr char kListViewClass[] = "SysListView32";
constexpr char kTreeViewClass[] = "SysTreeView32";
constexpr char kFavoritesGlyph[] = "LNTR_32";
constexpr char kHistoryGlyph[] = "HISTORY_VISTA";

constexpr UINT kListViewItemHits = LVHT_ONITEMICON | LVHT_ONITEMLABEL | LVHT_ONITEMSTATEICON;
constexpr UINT kTreeViewEmptyHits = TVHT_ONITEMRIGHT | TVHT_NOWHERE | TVHT_ONITEMINDENT;

HHOOK g_CallWndRetHook = nullptr;
HHOOK g_MouseHook = nullptr;
ProcessStatic<std::unique_ptr<TKQVCaptionButtonsLst>> g_ButtonSets;

// The two glyphs, loaded once per process and shared by every set; freed at library stop, after
// the sets that draw them.
struct Glyphs {
  ScopedBitmap favorites;
  ScopedBitmap history;
};
std::once_flag g_GlyphsLoaded;
ProcessStatic<Glyphs> g_Glyphs;

const Glyphs& SharedGlyphs() {
  std::call_once(g_GlyphsLoaded, [] {
    g_Glyphs->favorites.reset(LoadResourceBitmap(kFavoritesGlyph));
    g_Glyphs->history.reset(LoadResourceBitmap(kHistoryGlyph));
  });
  return *g_Glyphs;
}

bool IsTriggerMessage(UINT msg) {
  return msg == WM_CREATE || msg == WM_INITDIALOG || msg == WM_ACTIVATE || msg == InitButtonsMsg;
}

void CloseProbeMenu() {
  if (!IsProbeActive()) return;
  HWND menu = ::FindWindowA(kPopupMenuClass, nullptr);
  if (::IsWindow(menu)) ::DestroyWindow(menu);
}

void AttachIfKnown(HWND wnd) {
  TKQVCaptionButtonsLst* sets = ButtonSets();
  if (!sets || sets->HasWindow(wnd)) return;
  if (!IsKnownWindow(wnd)) return;
  if (!AttachButtons(wnd)) return;
  ::PostMessageA(wnd, ManageMsg, kManageGoToStartFolder, 0);
}

bool IsEmptyListViewSpot(HWND wnd, POINT client) {
  LVHITTESTINFO info = {};
  info.pt = client;
  LRESULT item = ::SendMessageA(wnd, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info));
  return item == -1 || (info.flags & kListViewItemHits) == 0;
}

bool IsEmptyTreeViewSpot(HWND wnd, POINT client) {
  TVHITTESTINFO info = {};
  info.pt = client;
  LRESULT item = ::SendMessageA(wnd, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info));
  return item == 0 || (info.flags & kTreeViewEmptyHits) != 0;
}

void ReportDoubleClick(const MOUSEHOOKSTRUCT& mouse) {
  const std::string className = GetWndClassName(mouse.hwnd);
  POINT client = mouse.pt;
  ::ScreenToClient(mouse.hwnd, &client);
  bool report = false;
  if (lstrcmpiA(className.c_str(), kListViewClass) == 0 && IsDoubleClickMenuEnabled()) {
    report = IsEmptyListViewSpot(mouse.hwnd, client);
  } else if (lstrcmpiA(className.c_str(), kTreeViewClass) == 0 && IsDoubleClickMenuEnabled()) {
    report = IsEmptyTreeViewSpot(mouse.hwnd, client);
  }
  if (!report) return;
  POINT cursor = {};
  ::GetCursorPos(&cursor);
  WPARAM code = IsCtrlOnlyDown() ? kManageHistoryMenu : kManageFavoritesMenu;
  ::PostMessageA(GetHostWindow(), ManageMsg, code, MakeLParam(cursor.x, cursor.y));
}

}  // namespace

TKQVCaptionButtonsLst* ButtonSets() { return g_ButtonSets->get(); }
HHOOK CallWndRetHook() { return g_CallWndRetHook; }
HHOOK MouseHook() { return g_MouseHook; }

bool AttachButtons(HWND wnd) {
  return Guarded(false, [&] {
    if (IsAppDisabled(wnd)) return false;
    const Glyphs& glyphs = SharedGlyphs();
    auto* set = static_cast<TKQVCaptionButtons*>(ButtonSets()->Add(wnd));
    if (!set) return false;
    set->AddButton(wnd, kFavoritesTag, kButtonSpacing, glyphs.favorites.get(), !set->HideFavoritesButton);
    set->AddButton(wnd, kHistoryTag, kButtonSpacing, glyphs.history.get(), !set->HideHistoryButton);
    set->ButtonsAdded();
    return true;
  });
}

LRESULT CALLBACK CallWndRetHookProc(int code, WPARAM wParam, LPARAM lParam) {
  LRESULT result = sys::CallNextHook(g_CallWndRetHook, code, wParam, lParam);
  if (code != HC_ACTION || lParam == 0) return result;
  // Nearly every message is none of ours: those leave before the guarded step is set up.
  const UINT msg = reinterpret_cast<const CWPRETSTRUCT*>(lParam)->message;
  if (msg != WM_INITMENU && !IsTriggerMessage(msg)) return result;
  Guard([&] {
    const auto& info = *reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (msg == WM_INITMENU) {
      CloseProbeMenu();
    } else if (IsTriggerMessage(msg)) {
      AttachIfKnown(info.hwnd);
    }
  });
  return result;
}

LRESULT CALLBACK MouseHookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) {
    if (lParam == 0) return 0;
    if (wParam == WM_LBUTTONDBLCLK) {
      Guard([&] {
        MOUSEHOOKSTRUCT mouse = *reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam);
        ReportDoubleClick(mouse);
      });
    }
  }
  return sys::CallNextHook(nullptr, code, wParam, lParam);
}

void StartupHook() {
  RegisterHookMessages();
  *g_ButtonSets = std::make_unique<TKQVCaptionButtonsLst>();
}

void ShutdownHook() {
  // Destroying the list gives every window its own procedure back.
  Guard([] { g_ButtonSets->reset(); });
  g_Glyphs->favorites.reset();
  g_Glyphs->history.reset();
}

}  // namespace kq

extern "C" {

void WINAPI HookOn() {
  using namespace kq;
  if (!ButtonSets()) return;  // start-up did not complete: the library does nothing
  // A second HookOn replaces the call-return hook rather than losing the earlier handle, which
  // HookOff could then never remove.
  if (g_CallWndRetHook) ::UnhookWindowsHookEx(g_CallWndRetHook);
  g_CallWndRetHook = ::SetWindowsHookExA(WH_CALLWNDPROCRET, CallWndRetHookProc, LibraryModule(), 0);
  if (!g_MouseHook) g_MouseHook = ::SetWindowsHookExA(WH_MOUSE, MouseHookProc, LibraryModule(), 0);
}

void WINAPI HookOff() {
  using namespace kq;
  if (g_CallWndRetHook) ::UnhookWindowsHookEx(g_CallWndRetHook);
  g_CallWndRetHook = nullptr;
  if (g_MouseHook) ::UnhookWindowsHookEx(g_MouseHook);
  g_MouseHook = nullptr;
}

}  // extern "C"
