// The library itself (LNTRHlp.dll) loaded into this process, its hooks on: a window it
// recognises gets a set from the hook, someone subclasses the window after the set, the host's
// remove code takes the set away, and the library is unloaded. The window keeps working through
// the entry the set left behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/support/ChildProcess.h"
#include "tests/support/TestPaths.h"

namespace kq::test {
namespace {

constexpr char kLibraryName[] = "LNTRHlp.dll";
constexpr char kRecognisedClass[] = "TfFileDlg";  // recognised by its class name alone

std::string g_LastText;
WNDPROC g_Previous = nullptr;
int g_LaterCalls = 0;

LRESULT CALLBACK OwnProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_SETTEXT && lParam) g_LastText = reinterpret_cast<const char*>(lParam);
  return ::DefWindowProcA(wnd, msg, wParam, lParam);
}

LRESULT CALLBACK LaterProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  ++g_LaterCalls;
  return ::CallWindowProcA(g_Previous, wnd, msg, wParam, lParam);
}

bool InsideModule(const void* p, HMODULE module) {
  HMODULE found = nullptr;
  return ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCSTR>(p), &found) &&
         found == module;
}

TEST(LibraryUnload, AWindowSubclassedAfterTheSetKeepsWorkingWhenTheLibraryIsGone) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = OwnProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = kRecognisedClass;
  ASSERT_TRUE(::RegisterClassA(&wc));

  HMODULE library = ::LoadLibraryA((ProgramDirectory() + kLibraryName).c_str());
  ASSERT_NE(library, nullptr);
  using HookFunction = void(WINAPI*)();
  auto on = reinterpret_cast<HookFunction>(::GetProcAddress(library, "HookOn"));
  auto off = reinterpret_cast<HookFunction>(::GetProcAddress(library, "HookOff"));
  ASSERT_TRUE(on && off);
  on();
  HWND wnd = ::CreateWindowExA(0, kRecognisedClass, "Unload", WS_OVERLAPPEDWINDOW, 50, 50, 300, 200, nullptr, nullptr,
                               ::GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(wnd, nullptr);
  PumpMessagesFor(200);
  // The library's hook gave the window a set: its procedure is now an entry of the pool, which
  // lies outside every module.
  const auto entry = reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(wnd, GWLP_WNDPROC));
  ASSERT_NE(entry, &OwnProc) << "the hook attached no set";
  EXPECT_FALSE(InsideModule(reinterpret_cast<const void*>(entry), library));

  g_Previous =
      reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LaterProc)));
  ASSERT_EQ(g_Previous, entry);
  const UINT manage = ::RegisterWindowMessageA("WM_LNTR_MANAGE");
  ::SendMessageA(wnd, manage, 5, 0);  // the host's remove code
  off();
  ASSERT_TRUE(::FreeLibrary(library));
  EXPECT_EQ(::GetModuleHandleA(kLibraryName), nullptr) << "the library stayed loaded";

  g_LaterCalls = 0;
  ASSERT_TRUE(::SetWindowTextA(wnd, "after the library"));
  EXPECT_EQ(g_LastText, "after the library");
  EXPECT_GE(g_LaterCalls, 1);
  ::SendMessageA(wnd, WM_NCHITTEST, 0, MAKELPARAM(60, 55));
  ::DestroyWindow(wnd);
  ::UnregisterClassA(kRecognisedClass, ::GetModuleHandleA(nullptr));
}

}  // namespace
}  // namespace kq::test
