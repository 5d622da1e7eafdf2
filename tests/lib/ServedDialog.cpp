#include "tests/lib/ServedDialog.h"

#include <commdlg.h>

#include "tests/support/ChildProcess.h"
#include "tests/support/TestPaths.h"
#include "tests/support/Timeouts.h"

namespace kq::test {
namespace {

constexpr UINT kCheckEveryMs = 10;
constexpr DWORD kPollMs = 50;

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

LoadedLibrary::LoadedLibrary() : module_(::LoadLibraryA(HelperPath("LNTRHlp.dll").c_str())) {
  if (!module_) return;
  hookOn_ = reinterpret_cast<HookFunction>(::GetProcAddress(module_.get(), "HookOn"));
  hookOff_ = reinterpret_cast<HookFunction>(::GetProcAddress(module_.get(), "HookOff"));
  if (hookOn_ && hookOff_) hookOn_();
}

void LoadedLibrary::Unload() {
  if (hookOff_) hookOff_();
  hookOn_ = hookOff_ = nullptr;
  module_.reset();
}

DialogThread::DialogThread(const std::string& title) : title_(title) {
  thread_ = std::thread([this] {
    char file[MAX_PATH] = "";
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrTitle = title_.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
    ::GetOpenFileNameA(&ofn);
  });
  const DWORD start = ::GetTickCount();
  while (!dialog_ && ::GetTickCount() - start < kDialogWaitMs) {
    PumpMessagesFor(kPollMs);
    dialog_ = ::FindWindowA("#32770", title_.c_str());
  }
}

DialogThread::~DialogThread() {
  if (dialog_ && ::IsWindow(dialog_)) ::PostMessageA(dialog_, WM_COMMAND, IDCANCEL, 0);
  if (thread_.joinable()) thread_.join();
}

bool DialogThread::WaitForButtonSet() const {
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < kServedDialogWaitMs) {
    if (HasButtonSet(dialog_)) return true;
    PumpMessagesFor(kPollMs);
  }
  return false;
}

std::string DialogThread::FolderPath() const {
  char path[MAX_PATH] = "";
  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutA(dialog_, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(path), SMTO_BLOCK,
                             kAnswerTimeoutMs, &result))
    return "<no answer>";
  return path;
}

}  // namespace kq::test
