#include "tests/reliability/ServedDialog.h"

#include <commdlg.h>

namespace kq::test {
namespace {

constexpr UINT kCheckEveryMs = 10;

// One dialog per thread runs at a time: its state lives with the thread.
struct DialogState {
  HWND dialog = nullptr;
  DWORD started = 0;
  DWORD waitMs = 0;
  bool served = false;
  UINT_PTR timer = 0;
};
thread_local DialogState t_Dialog;

void CALLBACK CheckDialog(HWND, UINT, UINT_PTR, DWORD) {
  DialogState& state = t_Dialog;
  if (!state.dialog) return;
  state.served = HasButtonSet(state.dialog);
  if (state.served || ::GetTickCount() - state.started > state.waitMs) {
    ::KillTimer(nullptr, state.timer);
    state.timer = 0;
    ::PostMessageA(state.dialog, WM_COMMAND, IDCANCEL, 0);
    state.dialog = nullptr;
  }
}

UINT_PTR CALLBACK DialogHook(HWND child, UINT msg, WPARAM, LPARAM lParam) {
  if (msg == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == CDN_INITDONE && !t_Dialog.timer) {
    t_Dialog.dialog = ::GetParent(child);
    t_Dialog.timer = ::SetTimer(nullptr, 0, kCheckEveryMs, &CheckDialog);
  }
  return 0;
}

}  // namespace

bool HasButtonSet(HWND dialog) {
  return ::IsWindow(dialog) &&
         ::GetWindowLongPtrA(dialog, GWLP_WNDPROC) != static_cast<LONG_PTR>(::GetClassLongPtrA(dialog, GCLP_WNDPROC));
}

bool RunDialogUntilServed(DWORD waitMs) {
  t_Dialog = DialogState{};
  t_Dialog.started = ::GetTickCount();
  t_Dialog.waitMs = waitMs;
  char file[MAX_PATH] = "";
  OPENFILENAMEA ofn = {};
  ofn.lStructSize = sizeof(ofn);
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_ENABLEHOOK;
  ofn.lpfnHook = &DialogHook;
  ::GetOpenFileNameA(&ofn);
  if (t_Dialog.timer) ::KillTimer(nullptr, t_Dialog.timer);
  const bool served = t_Dialog.served;
  t_Dialog = DialogState{};
  return served;
}

}  // namespace kq::test
