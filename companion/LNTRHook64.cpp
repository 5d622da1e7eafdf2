// LNTRHook64.exe: turns the x86-64 library's hooks on for the host, a 32-bit program that cannot
// load the x86-64 LNTRHlp.dll itself. It lies beside that DLL; started with no arguments it
// loads the DLL from its own folder, calls HookOn and waits. It calls HookOff and ends when the
// host's window goes away or when its own hidden top-level window, of class "LNTRHook64",
// receives WM_CLOSE. A second one started while one runs ends at once. It shows nothing and
// writes nothing.
#include "companion/LNTRHook64.h"

#include <windows.h>

#include <cstring>

#include "common/KQScoped.h"
#include "hostlink/KQVHostLink.h"

namespace {

constexpr char kLibraryName[] = "LNTRHlp.dll";
constexpr char kHookOnName[] = "HookOn";
constexpr char kHookOffName[] = "HookOff";
// How often the host's window is looked for.
constexpr UINT kHostCheckMs = 250;
constexpr UINT_PTR kHostCheckTimer = 1;

using lntrhook64::kCompanionClass;
using lntrhook64::kExitDone;
using lntrhook64::kExitNoLibrary;
using lntrhook64::kExitNoWindow;

using THookFunction = void(WINAPI*)();

// LNTRHlp.dll of this program's own folder, never one found on the search path.
HMODULE LoadLibraryBesideThisProgram() {
  char path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  char* slash = std::strrchr(path, '\\');
  if (!slash) return nullptr;
  const size_t folderLength = static_cast<size_t>(slash + 1 - path);
  if (folderLength + sizeof(kLibraryName) > MAX_PATH) return nullptr;
  std::memcpy(slash + 1, kLibraryName, sizeof(kLibraryName));
  return ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

bool HostIsThere() { return ::FindWindowA(kq::kHostWindowClass, nullptr) != nullptr; }

LRESULT CALLBACK CompanionProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_TIMER:
      if (wParam == kHostCheckTimer && !HostIsThere()) ::DestroyWindow(wnd);
      return 0;
    case WM_CLOSE:
      ::DestroyWindow(wnd);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(kExitDone);
      return 0;
  }
  return ::DefWindowProcA(wnd, msg, wParam, lParam);
}

HWND CreateCompanionWindow(HINSTANCE instance) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = &CompanionProc;
  wc.hInstance = instance;
  wc.lpszClassName = kCompanionClass;
  if (!::RegisterClassA(&wc)) return nullptr;
  // Top-level (so the host finds it by its class) and never shown.
  return ::CreateWindowExA(WS_EX_TOOLWINDOW, kCompanionClass, kCompanionClass, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                           instance, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // One companion per session: the mutex is taken before anything else, so two started at once
  // cannot both turn the hooks on.
  kq::ScopedHandle single(::CreateMutexA(nullptr, FALSE, kCompanionClass));
  if (!single || ::GetLastError() == ERROR_ALREADY_EXISTS) return kExitDone;
  if (!HostIsThere()) return kExitDone;  // nobody to serve

  kq::ScopedModule library(LoadLibraryBesideThisProgram());
  if (!library) return kExitNoLibrary;
  const auto hookOn = reinterpret_cast<THookFunction>(::GetProcAddress(library.get(), kHookOnName));
  const auto hookOff = reinterpret_cast<THookFunction>(::GetProcAddress(library.get(), kHookOffName));
  if (!hookOn || !hookOff) return kExitNoLibrary;

  HWND wnd = CreateCompanionWindow(instance);
  if (!wnd || !::SetTimer(wnd, kHostCheckTimer, kHostCheckMs, nullptr)) return kExitNoWindow;
  hookOn();
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
  hookOff();
  return kExitDone;
}
