// The dialog enhancements the user's settings ask for: the buttons' skin, the window's
// transparency and size, the file list's view mode and sort order.
#include <windows.h>

#include <iterator>

#include "common/KQScoped.h"
#include "common/KQUtils.h"
#include "dialogbuttons/KQVCaptionButton.h"
#include "shellwindows/KQTaskWnd.h"
#include "shellwindows/KQWindowKind.h"

namespace kq {
namespace {

struct TSkinFrames {
  const char* Released;
  const char* Pushed;
  bool SystemLook;
};

// By CaptionButtonSkinType; any other type has no frames.
constexpr TSkinFrames kSkins[] = {
    {"BLUE_UP", "BLUE_DOWN", true},
    {"BLUE_UP", "BLUE_DOWN", false},
    {"OLIVEGREEN_UP", "OLIVEGREEN_DOWN", false},
    {"SILVER_UP", "SILVER_DOWN", false},
};

constexpr int32_t kOpaque = 255;

// Shell folder view commands, sent as WM_COMMAND to the dialog's "SHELLDLL_DefView"; the system
// headers do not name them.
constexpr WORD kViewStyleCommands[] = {0, 0x702D, 0x702E, 0x702A, 0x702B, 0x702C};
constexpr WORD kArrangeIconsCommands[] = {0, 0x7602, 0x7603, 0x7604, 0x7605};

// The shell view that takes the commands: the classic dialog's own, the item dialog's Explorer
// browser's; none for the other kinds.
HWND CommandedShellView(HWND wnd, TWindowKind kind) {
  if (IsClassicOpenSaveKind(kind)) return FindChildWindow(wnd, kClassShellView, lst2);
  if (kind == wkItemDialogBrowserControl) return FindChildWindow(wnd, kClassShellView, kIdBrowserShellView);
  return nullptr;
}

template <size_t N>
void SendViewCommand(HWND wnd, TWindowKind kind, uint8_t value, const WORD (&commands)[N]) {
  if (value == 0 || value >= N) return;
  if (HWND view = CommandedShellView(wnd, kind)) ::SendMessageA(view, WM_COMMAND, MAKEWPARAM(commands[value], 0), 0);
}

// A width x height rectangle with the centre of old (div truncating towards zero), moved into the
// primary screen and cut to it.
RECT CentredOnScreen(const RECT& old, int width, int height) {
  const int x = old.left + RectWidth(old) / 2 - width / 2;
  const int y = old.top + RectHeight(old) / 2 - height / 2;
  const RECT screen = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  return MoveRectInside({x, y, x + width, y + height}, screen);
}

}  // namespace

void TKQVCaptionButtons::SetSkin(uint8_t type) {
  SkinType = type;
  UseSystemLook = false;
  const TSkinFrames* skin = type < std::size(kSkins) ? &kSkins[type] : nullptr;
  if (skin) UseSystemLook = skin->SystemLook;
  // The system look draws no skin: its frames would never be taken, so they are not loaded.
  ScopedBitmap released, pushed;
  if (skin && !UseSystemLook) {
    released.reset(LoadResourceBitmap(skin->Released));
    pushed.reset(LoadResourceBitmap(skin->Pushed));
  }
  if (SetFrameBitmaps(released.get(), pushed.get())) {
    released.release();  // the frames own them now
    pushed.release();
  }
}

void TKQVCaptionButtons::SetTransparency(int32_t value) {
  if (value == Transparency) return;
  Transparency = value;
  if (Kind == wkExplorer) return;  // Explorer windows are never made transparent
  SetWindowTransparency(Wnd(), value < kOpaque, static_cast<BYTE>(value & 0xFF), 0, false);
}

void TKQVCaptionButtons::ApplyDialogSize() {
  HWND wnd = Wnd();
  if (!ResizeDialog || !IsDialogKind(Kind)) return;
  if (DialogWidth <= 0 || DialogHeight <= 0) return;  // would shrink the dialog to its bare frame
  if ((::GetWindowLongPtrA(wnd, GWL_STYLE) & WS_THICKFRAME) == 0) return;
  RECT r;
  if (!::GetWindowRect(wnd, &r)) return;
  const RECT n = CentredOnScreen(r, DialogWidth, DialogHeight);
  ::SetWindowPos(wnd, HWND_TOP, n.left, n.top, RectWidth(n), RectHeight(n), SWP_SHOWWINDOW);

  // A dialog may keep a size of its own (a minimum tracking size larger than the one asked for):
  // then the size it took is centred on the old centre and kept on the screen instead.
  RECT taken;
  if (!::GetWindowRect(wnd, &taken) || (RectWidth(taken) == RectWidth(n) && RectHeight(taken) == RectHeight(n))) return;
  const RECT m = CentredOnScreen(r, RectWidth(taken), RectHeight(taken));
  ::SetWindowPos(wnd, nullptr, m.left, m.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TKQVCaptionButtons::SetViewStyle(uint8_t value) {
  ViewStyle = value;
  SendViewCommand(Wnd(), Kind, value, kViewStyleCommands);
}

void TKQVCaptionButtons::SetArrangeIconsBy(uint8_t value) {
  ArrangeIconsBy = value;
  SendViewCommand(Wnd(), Kind, value, kArrangeIconsCommands);
}

}  // namespace kq
