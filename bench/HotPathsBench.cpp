// The hot paths of the library, counted in system calls and timed: the hook procedures, window
// classification, the window-procedure pool, and the private memory the DLL costs a process.
// Prints one figure a line beside its baseline of the same run; times are medians of kReps runs.
// Usage: bench_hotpaths [hooks|classify|stubs|memory LNTRHlp.dll]   (no argument: all but memory)
#include <windows.h>
#include <commdlg.h>
#include <psapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "captionbuttons/KQCaptionButton.h"
#include "dialogbuttons/KQVCaptionButton.h"
#include "captionbuttons/KQWndProcThunk.h"
#include "common/KQSysCalls.h"
#include "hook/KQVHook.h"
#include "lib/LNTRStartup.h"
#include "shellwindows/KQWindowKind.h"

namespace {

using namespace kq;

constexpr int kReps = 7;

double NowNs() {
  static LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1e9 / static_cast<double>(freq.QuadPart);
}

// Median over kReps of the nanoseconds per iteration of body.
double MedianNs(int iterations, const std::function<void()>& body) {
  std::vector<double> runs;
  for (int r = 0; r < kReps; ++r) {
    const double start = NowNs();
    for (int i = 0; i < iterations; ++i) body();
    runs.push_back((NowNs() - start) / iterations);
  }
  std::sort(runs.begin(), runs.end());
  return runs[runs.size() / 2];
}

long long TotalCalls() {
  long long n = 0;
  for (long long c : sys::g_Counts) n += c;
  return n;
}
void ResetCounts() { std::memset(sys::g_Counts, 0, sizeof(sys::g_Counts)); }

// Calls of one run of body, all kinds together and the user32 ones (the wineserver round trips)
// apart from the kernel32 lock calls.
struct Calls {
  double all, lock;
};
Calls CountCalls(int iterations, const std::function<void()>& body) {
  ResetCounts();
  for (int i = 0; i < iterations; ++i) body();
  return {static_cast<double>(TotalCalls()) / iterations,
          static_cast<double>(sys::g_Counts[sys::cLock]) / iterations};
}

void PrintCalls(const char* what, const Calls& c, const char* target) {
  std::printf("%-58s %6.2f system calls (%.2f of them kernel32 lock calls)   target %s\n", what, c.all, c.lock, target);
}

void PrintRatio(const char* what, double ns, const char* baseline, double baseNs, const char* target) {
  std::printf("%-58s %9.1f ns   %s %9.1f ns   ratio %.2f   target %s\n", what, ns, baseline, baseNs, ns / baseNs,
              target);
}

LRESULT WINAPI NextHookStub(HHOOK, int, WPARAM, LPARAM) { return 0; }

__attribute__((noinline)) LRESULT CALLBACK ForwardOnly(int code, WPARAM wParam, LPARAM lParam) {
  return sys::CallNextHook(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK MinimalHook(int code, WPARAM wParam, LPARAM lParam) {
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

HWND PlainWindow(const char* title) {
  return ::CreateWindowExA(0, "Static", title, WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
}

void PumpFor(DWORD ms) {
  const DWORD end = ::GetTickCount() + ms;
  MSG msg;
  while (static_cast<int>(end - ::GetTickCount()) > 0) {
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    ::Sleep(5);
  }
}

void BenchHooks() {
  sys::g_NextHook = NextHookStub;
  HWND plain = PlainWindow("plain");
  CWPRETSTRUCT info = {};
  info.hwnd = plain;
  info.message = WM_SETTEXT;
  const auto lp = reinterpret_cast<LPARAM>(&info);

  // 1. A message that is none of the triggers nor WM_INITMENU.
  constexpr int kDirect = 200000;
  PrintCalls("1 call-return hook, other message: calls per message",
             CountCalls(1000, [&] { CallWndRetHookProc(HC_ACTION, 0, lp); }), "1");
  const double own = MedianNs(kDirect, [&] { CallWndRetHookProc(HC_ACTION, 0, lp); });
  const double fwd = MedianNs(kDirect, [&] { ForwardOnly(HC_ACTION, 0, lp); });
  PrintRatio("1 call-return hook, other message: own work", own, "forwarding procedure", fwd, "<= 2");

  // 2. WM_ACTIVATE on a window that has a set, the last of 20; and on a plain window of kind 0.
  std::vector<HWND> withSets;
  for (int i = 0; i < 20; ++i) {
    HWND w = PlainWindow("with set");
    ButtonSets()->Add(w);
    withSets.push_back(w);
  }
  CWPRETSTRUCT activate = {};
  activate.message = WM_ACTIVATE;
  activate.hwnd = withSets.back();
  PrintCalls("2 WM_ACTIVATE, window with a set among 20 sets: calls", CountCalls(1000, [&] {
               CallWndRetHookProc(HC_ACTION, 0, reinterpret_cast<LPARAM>(&activate));
             }),
             "1");
  activate.hwnd = plain;
  PrintCalls("2 WM_ACTIVATE, plain top-level window of kind 0: calls", CountCalls(1000, [&] {
               CallWndRetHookProc(HC_ACTION, 0, reinterpret_cast<LPARAM>(&activate));
             }),
             "<= 3");

  // 3. The mouse hook.
  MOUSEHOOKSTRUCT mouse = {};
  mouse.hwnd = plain;
  const auto mp = reinterpret_cast<LPARAM>(&mouse);
  PrintCalls("3 mouse hook, WM_MOUSEMOVE: calls", CountCalls(1000, [&] { MouseHookProc(HC_ACTION, WM_MOUSEMOVE, mp); }),
             "1");
  const double mown = MedianNs(kDirect, [&] { MouseHookProc(HC_ACTION, WM_MOUSEMOVE, mp); });
  PrintRatio("3 mouse hook, WM_MOUSEMOVE: own work", mown, "forwarding procedure", fwd, "<= 2");

  // End to end, for information: SendMessage to a window of this thread.
  sys::g_NextHook = ::CallNextHookEx;
  constexpr int kSends = 2000;
  auto send = [&] { ::SendMessageA(plain, WM_USER + 7, 0, 0); };
  const double none = MedianNs(kSends, send);
  HHOOK minimal = ::SetWindowsHookExA(WH_CALLWNDPROCRET, MinimalHook, nullptr, ::GetCurrentThreadId());
  const double minimalNs = MedianNs(kSends, send);
  ::UnhookWindowsHookEx(minimal);
  HHOOK ours = ::SetWindowsHookExA(WH_CALLWNDPROCRET, CallWndRetHookProc, nullptr, ::GetCurrentThreadId());
  const double oursNs = MedianNs(kSends, send);
  ::UnhookWindowsHookEx(ours);
  std::printf("%-58s %9.1f ns   minimal hook %9.1f ns   no hook %9.1f ns   (information)\n",
              "1 SendMessage end to end with the library's hook", oursNs, minimalNs, none);

  for (HWND w : withSets) ::DestroyWindow(w);
  ::DestroyWindow(plain);
}

// One walk that reads each descendant's class name: the least a tree walk costs.
BOOL CALLBACK ReadOneName(HWND wnd, LPARAM count) {
  char name[256];
  ::GetClassNameA(wnd, name, sizeof(name));
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

void ReportClassify(const char* what, HWND dialog) {
  int descendants = 0;
  ::EnumChildWindows(dialog, ReadOneName, reinterpret_cast<LPARAM>(&descendants));
  ResetCounts();
  const TWindowKind kind = ClassifyWindow(dialog);
  const long long names = sys::g_Counts[sys::cClassName];
  const long long walks = sys::g_Counts[sys::cEnumChildren];
  std::printf("%-58s kind %2d: %lld class-name reads, %lld walks, %lld other calls   descendants %d   target <= %d reads\n",
              what, static_cast<int>(kind), names, walks, TotalCalls() - names - walks, descendants, descendants + 1);
  const double ns = MedianNs(20, [&] { ClassifyWindow(dialog); });
  const double walkNs = MedianNs(20, [&] {
    int n = 0;
    ::EnumChildWindows(dialog, ReadOneName, reinterpret_cast<LPARAM>(&n));
  });
  PrintRatio(what, ns, "one reading walk", walkNs, "<= 1.2");
}

constexpr char kSnakeClass[] = "Snake List";
constexpr char kMso96Class[] = "bosa_sdm_Mso96";

HWND Mso96Dialog() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ::DefWindowProcA;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = kMso96Class;
  ::RegisterClassA(&wc);
  wc.lpszClassName = kSnakeClass;
  ::RegisterClassA(&wc);
  ::LoadLibraryA("riched20.dll");
  HWND dlg = ::CreateWindowExA(WS_EX_DLGMODALFRAME, kMso96Class, "Open", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, nullptr,
                               nullptr, nullptr, nullptr);
  HWND pane = ::CreateWindowExA(0, "Static", "", WS_CHILD, 0, 0, 500, 300, dlg, nullptr, nullptr, nullptr);
  ::CreateWindowExA(0, kSnakeClass, "", WS_CHILD, 0, 0, 100, 100, pane, nullptr, nullptr, nullptr);
  ::CreateWindowExA(0, "RichEdit20W", "", WS_CHILD, 0, 0, 100, 20, pane, reinterpret_cast<HMENU>(39), nullptr, nullptr);
  const char* classes[] = {"Static", "Button", "Edit", "ComboBox", "ListBox"};
  for (int i = 0; i < 197; ++i)
    ::CreateWindowExA(0, classes[i % 5], "", WS_CHILD, 0, 0, 10, 10, i % 2 ? pane : dlg,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(2000 + i)), nullptr, nullptr);
  return dlg;
}

// Runs a real common dialog in a thread of its own and hands its window to measure.
void WithRealDialog(const char* title, const std::function<void()>& open, const std::function<void(HWND)>& measure) {
  std::thread opener(open);
  HWND dialog = nullptr;
  for (int i = 0; i < 200 && !dialog; ++i) {
    ::Sleep(50);
    dialog = ::FindWindowA("#32770", title);
  }
  if (dialog) {
    ::Sleep(500);  // let the dialog finish filling itself
    measure(dialog);
    ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  } else {
    std::printf("%s: the dialog did not appear\n", title);
  }
  opener.join();
}

void BenchClassify() {
  HWND mso = Mso96Dialog();
  ReportClassify("4 ClassifyWindow, bosa_sdm_Mso96 of 200 controls", mso);
  ::DestroyWindow(mso);

  WithRealDialog(
      "Bench Open",
      [] {
        char file[MAX_PATH] = "";
        OPENFILENAMEA ofn = {};
        ofn.lStructSize = sizeof(ofn);
        ofn.lpstrFile = file;
        ofn.nMaxFile = MAX_PATH;
        ofn.lpstrTitle = "Bench Open";
        ofn.lpstrInitialDir = "C:\\windows";
        ofn.Flags = OFN_EXPLORER;
        ::GetOpenFileNameA(&ofn);
      },
      [](HWND d) { ReportClassify("4 ClassifyWindow, real Open dialog", d); });

  WithRealDialog(
      "Bench Browse",
      [] {
        ::CoInitialize(nullptr);
        BROWSEINFOA info = {};
        info.lpszTitle = "pick";
        info.ulFlags = BIF_RETURNONLYFSDIRS;
        // The caption is set by the callback so the dialog can be found by it.
        info.lpfn = [](HWND wnd, UINT msg, LPARAM, LPARAM) -> int {
          if (msg == BFFM_INITIALIZED) ::SetWindowTextA(wnd, "Bench Browse");
          return 0;
        };
        if (LPITEMIDLIST chosen = ::SHBrowseForFolderA(&info)) ::CoTaskMemFree(chosen);
        ::CoUninitialize();
      },
      [](HWND d) { ReportClassify("4 ClassifyWindow, real folder-browse dialog", d); });
}

LRESULT NoMethod(void*, HWND, UINT, WPARAM, LPARAM) { return 0; }

void BenchStubs() {
  constexpr int kStubs = 10000;
  std::vector<WNDPROC> stubs(kStubs);
  const TWndMethod method = {NoMethod, nullptr};
  const size_t blocksBefore = GetWndProcThunkStats().Blocks;
  for (auto& s : stubs) s = AllocWndProcThunk(method);
  const size_t blocks = GetWndProcThunkStats().Blocks - blocksBefore;
  for (auto s : stubs) FreeWndProcThunk(s);
  std::printf("%-58s %6.2f VirtualAlloc calls per %zu stubs (one block)   target 1\n", "5 stub pool: system calls",
              static_cast<double>(blocks) * kWndProcThunksPerBlock / kStubs, kWndProcThunksPerBlock);
  const double ns = MedianNs(1, [&] {
    for (auto& s : stubs) s = AllocWndProcThunk(method);
    for (auto s : stubs) FreeWndProcThunk(s);
  });
  std::printf("%-58s %9.1f ns per allocate-and-free pair\n", "5 stub pool: time", ns / kStubs);
}

// Committed pages no other process can share: private allocations and the writable pages of
// images (their data sections, copied on first write).
SIZE_T PrivateBytes() {
  SIZE_T total = 0;
  MEMORY_BASIC_INFORMATION info;
  for (char* at = nullptr; ::VirtualQuery(at, &info, sizeof(info)) == sizeof(info);
       at = static_cast<char*>(info.BaseAddress) + info.RegionSize) {
    if (info.State != MEM_COMMIT) continue;
    const DWORD writable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    if (info.Type == MEM_PRIVATE || (info.Type == MEM_IMAGE && (info.Protect & writable))) total += info.RegionSize;
  }
  return total;
}

// The private memory a process gains by loading the DLL and having one set attached to a window.
void BenchMemory(const char* dllPath) {
  HWND dlg = Mso96Dialog();
  PumpFor(200);
  const SIZE_T before = PrivateBytes();
  HMODULE dll = ::LoadLibraryA(dllPath);
  if (!dll) {
    std::printf("7 memory: cannot load %s\n", dllPath);
    return;
  }
  auto hookOn = reinterpret_cast<void(WINAPI*)()>(::GetProcAddress(dll, "HookOn"));
  if (hookOn) hookOn();
  ::SendMessageA(dlg, WM_ACTIVATE, WA_ACTIVE, 0);
  ::ShowWindow(dlg, SW_SHOW);
  PumpFor(500);
  const SIZE_T after = PrivateBytes();
  std::printf("%-58s %9.1f KiB   target <= 256 KiB\n", "7 private memory gained: DLL loaded, one set attached",
              (static_cast<double>(after) - static_cast<double>(before)) / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "all";
  if (what == "memory") {
    if (argc > 2) BenchMemory(argv[2]);
    return 0;
  }
  LibraryStartup();
  if (what == "all" || what == "hooks") BenchHooks();
  if (what == "all" || what == "classify") BenchClassify();
  if (what == "all" || what == "stubs") BenchStubs();
  std::fflush(stdout);
  LibraryShutdown();
  return 0;
}
