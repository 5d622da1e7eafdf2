// The library leaves a process as cleanly as it came: HookOff and unloading the DLL from a
// program whose dialogs have sets give every dialog its own procedure back, and the dialogs go
// on working without it.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/lib/ServedDialog.h"
#include "tests/support/ChildProcess.h"

namespace kq {
namespace {

constexpr int kDialogs = 3;
constexpr char kLibraryName[] = "LNTRHlp.dll";
constexpr char kRecognisedClass[] = "TfFileDlg";  // served by its class name alone
constexpr char kBoxTitle[] = "Unload while modal";
constexpr WPARAM kOpenBoxCommand = 0x4711;
constexpr DWORD kWaitMs = 10000;
constexpr DWORD kPollMs = 20;

template <typename Condition>
bool WaitFor(Condition condition) {
  const DWORD start = ::GetTickCount();
  while (!condition()) {
    if (::GetTickCount() - start > kWaitMs) return false;
    test::PumpMessagesFor(kPollMs);
  }
  return true;
}

// A window of a class the library serves, run by a thread of its own. Its own procedure opens a
// message box when told to, so the thread waits in the box's modal loop with the set's window
// procedure below it on the stack.
class ModalWindowThread {
 public:
  ModalWindowThread() {
    thread_ = std::thread([this] { Run(); });
    WaitFor([this] { return wnd_.load() != nullptr; });
  }
  ~ModalWindowThread() {
    if (HWND wnd = wnd_.load()) ::PostMessageA(wnd, WM_CLOSE, 0, 0);
    thread_.join();
  }
  ModalWindowThread(const ModalWindowThread&) = delete;
  ModalWindowThread& operator=(const ModalWindowThread&) = delete;
  HWND Wnd() const { return wnd_.load(); }
  bool BoxReturned() const { return boxReturned_.load(); }
  std::string LastText() const { return lastText_; }

 private:
  static LRESULT CALLBACK OwnProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ModalWindowThread*>(::GetWindowLongPtrA(wnd, GWLP_USERDATA));
    switch (msg) {
      case WM_COMMAND:
        if (wParam != kOpenBoxCommand || !self) break;
        ::MessageBoxA(wnd, "modal", kBoxTitle, MB_OK);
        self->boxReturned_ = true;
        return 0;
      case WM_SETTEXT:
        if (self && lParam) self->lastText_ = reinterpret_cast<const char*>(lParam);
        break;
      case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcA(wnd, msg, wParam, lParam);
  }

  void Run() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &OwnProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = kRecognisedClass;
    ::RegisterClassA(&wc);
    HWND wnd = ::CreateWindowExA(0, kRecognisedClass, "Modal", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 60, 300, 200,
                                 nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    if (!wnd) return;
    ::SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    wnd_ = wnd;
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    wnd_ = nullptr;
    ::UnregisterClassA(kRecognisedClass, ::GetModuleHandleA(nullptr));
  }

  std::thread thread_;
  std::atomic<HWND> wnd_{nullptr};
  std::atomic<bool> boxReturned_{false};
  std::string lastText_;
};

TEST(Unloading, DialogsWithSetsGetTheirOwnProceduresBackAndWorkOn) {
  auto library = std::make_unique<test::LoadedLibrary>();
  ASSERT_TRUE(library->Ready());
  std::vector<std::unique_ptr<test::DialogThread>> dialogs;
  std::vector<std::string> folders;
  for (int i = 0; i < kDialogs; ++i) {
    dialogs.push_back(std::make_unique<test::DialogThread>("Unload " + std::to_string(i)));
    ASSERT_NE(nullptr, dialogs.back()->Dialog());
    ASSERT_TRUE(dialogs.back()->WaitForButtonSet());
    folders.push_back(dialogs.back()->FolderPath());
  }

  // A dialog busy with a message keeps the library until that call has returned.
  library->Unload();
  EXPECT_TRUE(WaitFor([] { return ::GetModuleHandleA(kLibraryName) == nullptr; })) << "the library stayed loaded";
  for (int i = 0; i < kDialogs; ++i) {
    HWND dialog = dialogs[i]->Dialog();
    EXPECT_FALSE(test::HasButtonSet(dialog)) << i;
    EXPECT_EQ(folders[i], dialogs[i]->FolderPath()) << i;
    // Messages the set used to handle now reach the dialog alone.
    ::SendMessageA(dialog, WM_NCPAINT, 1, 0);
    ::SendMessageA(dialog, WM_NCHITTEST, 0, MAKELPARAM(10, 10));
  }
  // Closing them runs their own procedures to the end.
  dialogs.clear();
}

TEST(Unloading, LoadingAgainServesANewDialog) {
  { test::LoadedLibrary first; }
  test::LoadedLibrary second;
  ASSERT_TRUE(second.Ready());
  test::DialogThread dialog("Unload again");
  ASSERT_NE(nullptr, dialog.Dialog());
  EXPECT_TRUE(dialog.WaitForButtonSet());
}

// The program unloads the library while a window's procedure, reached through its set, waits in
// a modal loop: the library stays until that call has returned through it, then goes by itself.
TEST(Unloading, AModalLoopUnderTheSetOutlivesTheUnloadAndTheLibraryGoesWhenItEnds) {
  auto library = std::make_unique<test::LoadedLibrary>();
  ASSERT_TRUE(library->Ready());
  ModalWindowThread window;
  HWND wnd = window.Wnd();
  ASSERT_NE(nullptr, wnd);
  ASSERT_TRUE(WaitFor([&] { return test::HasButtonSet(wnd); })) << "the hook attached no set";

  ::PostMessageA(wnd, WM_COMMAND, kOpenBoxCommand, 0);
  HWND box = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (box = ::FindWindowA("#32770", kBoxTitle)) != nullptr; }));
  library->Unload();
  EXPECT_NE(nullptr, ::GetModuleHandleA(kLibraryName)) << "unloaded under a live call";

  ::PostMessageA(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(WaitFor([&] { return window.BoxReturned(); }));
  EXPECT_TRUE(WaitFor([&] { return ::GetModuleHandleA(kLibraryName) == nullptr; })) << "the library stayed loaded";
  EXPECT_FALSE(test::HasButtonSet(wnd));
  // The window works on with its own procedure and closes normally.
  DWORD_PTR result = 0;
  EXPECT_TRUE(::SendMessageTimeoutA(wnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("after the library"), SMTO_BLOCK,
                                    kWaitMs, &result));
  EXPECT_EQ("after the library", window.LastText());
}

}  // namespace
}  // namespace kq
