#include "hook/KQVHook.h"

#include <commctrl.h>

#include <memory>

#include "common/KQGuard.h"
#include "common/KQLock.h"
#include "common/KQProcessStatic.h"
#include "common/KQScoped.h"
#include "common/KQStartOnce.h"
#include "common/KQSysCalls.h"
#include "common/KQTrace.h"
#include "common/KQUtils.h"
#include "dialogbuttons/KQVCaptionButton.h"
#include "hook/KQVThreadHooks.h"
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

// How long HookOff lets calls of the system-wide hooks that are under way finish before it
// returns. Wine's server frees an unhooked hook only when no thread is still in a call of its
// chain; should the thread that set it end before that, the server removes it a second time and
// stops on an assertion of its own, taking every program of the session with it. A host calls
// HookOff and ends, so HookOff waits here, answering what is sent to it meanwhile: a call under
// way may be waiting for the host.
constexpr DWORD kUnhookSettleMs = 250;

constexpr UINT kListViewItemHits = LVHT_ONITEMICON | LVHT_ONITEMLABEL | LVHT_ONITEMSTATEICON;
constexpr UINT kTreeViewEmptyHits = TVHT_ONITEMRIGHT | TVHT_NOWHERE | TVHT_ONITEMINDENT;

// Hooks set by HookOn stay set through the end of the process; only HookOff removes them.
ProcessStatic<ScopedHook> g_CallWndRetHook;
ProcessStatic<ScopedHook> g_MouseHook;
ProcessStatic<std::unique_ptr<TKQVCaptionButtonsLst>> g_ButtonSets;

// The two glyphs, loaded once per process and shared by every set; freed at library stop, after
// the sets that draw them.
struct Glyphs {
  TLock lock;
  bool loaded = false;  // under lock
  ScopedBitmap favorites;
  ScopedBitmap history;
};
ProcessStatic<Glyphs> g_Glyphs;

const Glyphs& SharedGlyphs() {
  TLockGuard guard(g_Glyphs->lock);
  if (!g_Glyphs->loaded) {
    g_Glyphs->favorites.reset(LoadResourceBitmap(kFavoritesGlyph));
    g_Glyphs->history.reset(LoadResourceBitmap(kHistoryGlyph));
    g_Glyphs->loaded = true;
  }
  return *g_Glyphs;
}

void LetUnhookedCallsFinish() {
  const DWORD start = ::GetTickCount();
  for (DWORD elapsed = 0; elapsed < kUnhookSettleMs; elapsed = ::GetTickCount() - start) {
    ::MsgWaitForMultipleObjectsEx(0, nullptr, kUnhookSettleMs - elapsed, QS_SENDMESSAGE, 0);
    MSG msg;
    ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
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
  if (SameClassName(className.c_str(), kListViewClass) && IsDoubleClickMenuEnabled()) {
    report = IsEmptyListViewSpot(mouse.hwnd, client);
  } else if (SameClassName(className.c_str(), kTreeViewClass) && IsDoubleClickMenuEnabled()) {
    report = IsEmptyTreeViewSpot(mouse.hwnd, client);
  }
  if (!report) return;
  POINT cursor = {};
  ::GetCursorPos(&cursor);
  WPARAM code = IsCtrlOnlyDown() ? kManageHistoryMenu : kManageFavoritesMenu;
  ::PostMessageA(GetHostWindow(), ManageMsg, code, HostPointLParam(mouse.hwnd, cursor));
}

}  // namespace

TKQVCaptionButtonsLst* ButtonSets() { return g_ButtonSets->get(); }
bool IsHookMessage(UINT msg) { return msg == WM_INITMENU || IsTriggerMessage(msg); }

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
  // The first call in a process may be the library's first use (the messages it tells apart are
  // registered then).
  const bool started = EnsureStarted();
  LRESULT result = sys::CallNextHook(g_CallWndRetHook->get(), code, wParam, lParam);
  if (!started || code != HC_ACTION || lParam == 0) return result;
  // Nearly every message is none of ours: those leave before the guarded step is set up.
  const UINT msg = reinterpret_cast<const CWPRETSTRUCT*>(lParam)->message;
  if (!IsHookMessage(msg)) return result;
  const auto& info = *reinterpret_cast<const CWPRETSTRUCT*>(lParam);
  TServedWindow served(info.hwnd);
  Guard([&] {
    if (msg == WM_INITMENU) {
      CloseProbeMenu();
    } else if (IsTriggerMessage(msg)) {
      AttachIfKnown(info.hwnd);
    }
  });
  return result;
}

LRESULT CALLBACK MouseHookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (EnsureStarted() && code == HC_ACTION) {
    if (lParam == 0) return 0;
    if (wParam == WM_LBUTTONDBLCLK) {
      TServedWindow served(reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam)->hwnd);
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
  Guard([] { ThreadHooksOff(); });
  // Destroying the list gives every window its own procedure back.
  Guard([] { g_ButtonSets->reset(); });
  g_Glyphs->favorites.reset();
  g_Glyphs->history.reset();
}

}  // namespace kq

extern "C" {

void WINAPI HookOn() {
  using namespace kq;
  EnsureStarted();
  if (!ButtonSets()) return;  // start-up did not complete: the library does nothing
  // Beside a 32-bit host, whose library has global hooks of the same kinds, threads are hooked
  // one by one (see KQVThreadHooks.h).
  if (Guarded(false, [] { return HostIsThirtyTwoBit(); })) {
    Guard([] { ThreadHooksOn(); });
    return;
  }
  // A second HookOn replaces the call-return hook rather than losing the earlier handle, which
  // HookOff could then never remove.
  g_CallWndRetHook->reset();
  g_CallWndRetHook->reset(::SetWindowsHookExA(WH_CALLWNDPROCRET, CallWndRetHookProc, LibraryModule(), 0));
  if (!*g_MouseHook) g_MouseHook->reset(::SetWindowsHookExA(WH_MOUSE, MouseHookProc, LibraryModule(), 0));
}

void WINAPI HookOff() {
  using namespace kq;
  Guard([] { ThreadHooksOff(); });
  const bool hooked = *g_CallWndRetHook || *g_MouseHook;
  g_CallWndRetHook->reset();
  g_MouseHook->reset();
  if (hooked) LetUnhookedCallsFinish();
}

}  // extern "C"
