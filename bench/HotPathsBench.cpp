// The hot paths of the library, counted in system calls and timed: the hook procedures, window
// classification, the window-procedure pool, the loading of the stored bookmarks, and the private
// memory the DLL costs a process.
// Prints one figure a line beside its baseline of the same run; times are medians of kReps runs.
// Usage: bench_hotpaths [hooks|classify|stubs|registry|memory LNTRHlp.dll]   (no argument: all but memory)
#include <windows.h>
#include <commdlg.h>
#include <psapi.h>
#include <shlwapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <wrl/client.h>

#include "bookmarks/KQVMenu.h"
#include "captionbuttons/KQCaptionButton.h"
#include "captionbuttons/KQWndProcThunk.h"
#include "common/KQRegistry.h"
#include "common/KQSysCalls.h"
#include "common/KQText.h"
#include "contextmenu/KQVContextMenu.h"
#include "contextmenu/KQVMenuCache.h"
#include "dialogbuttons/KQVCaptionButton.h"
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

// Medians of one run of a and of b, the runs taken in turn so that what else the machine does
// weighs on both alike.
std::pair<double, double> AlternateMedians(const std::function<void()>& a, const std::function<void()>& b) {
  constexpr int kLoadReps = 3 * kReps;
  std::vector<double> runsA, runsB;
  for (int r = 0; r < kLoadReps; ++r) {
    double start = NowNs();
    a();
    runsA.push_back(NowNs() - start);
    start = NowNs();
    b();
    runsB.push_back(NowNs() - start);
  }
  std::sort(runsA.begin(), runsA.end());
  std::sort(runsB.begin(), runsB.end());
  return {runsA[kLoadReps / 2], runsB[kLoadReps / 2]};
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
  return {static_cast<double>(TotalCalls()) / iterations, static_cast<double>(sys::g_Counts[sys::cLock]) / iterations};
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
  PrintCalls("2 WM_ACTIVATE, window with a set among 20 sets: calls",
             CountCalls(1000, [&] { CallWndRetHookProc(HC_ACTION, 0, reinterpret_cast<LPARAM>(&activate)); }), "1");
  activate.hwnd = plain;
  PrintCalls("2 WM_ACTIVATE, plain top-level window of kind 0: calls",
             CountCalls(1000, [&] { CallWndRetHookProc(HC_ACTION, 0, reinterpret_cast<LPARAM>(&activate)); }), "<= 3");

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
  std::printf(
      "%-58s kind %2d: %lld class-name reads, %lld walks, %lld other calls   descendants %d   target <= %d reads\n",
      what, static_cast<int>(kind), names, walks, TotalCalls() - names - walks, descendants, descendants + 1);
  // Batches of 20 of each, taken in turn, so that what else the machine does weighs on both alike.
  constexpr int kBatch = 20;
  const auto [ns, walkNs] = AlternateMedians(
      [&] {
        for (int i = 0; i < kBatch; ++i) ClassifyWindow(dialog);
      },
      [&] {
        for (int i = 0; i < kBatch; ++i) {
          int n = 0;
          ::EnumChildWindows(dialog, ReadOneName, reinterpret_cast<LPARAM>(&n));
        }
      });
  PrintRatio(what, ns / kBatch, "one reading walk", walkNs / kBatch, "<= 1.2");
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

// The caption is set by the callback so the dialog can be found by it.
int CALLBACK NameBrowseDialog(HWND wnd, UINT msg, LPARAM, LPARAM) {
  if (msg == BFFM_INITIALIZED) ::SetWindowTextA(wnd, "Bench Browse");
  return 0;
}

void BenchClassify() {
  HWND mso = Mso96Dialog();
  ReportClassify("4 ClassifyWindow, bosa_sdm_Mso96 of 200 controls", mso);
  ::DestroyWindow(mso);
  // Most windows the hook sees are no dialog at all: the answer for one without the modal frame.
  HWND plain = PlainWindow("Bench plain");
  std::printf("%-58s %9.1f ns\n", "4 ClassifyWindow, a window without the modal frame",
              MedianNs(1000, [&] { ClassifyWindow(plain); }));
  ::DestroyWindow(plain);

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
        info.lpfn = NameBrowseDialog;
        if (LPITEMIDLIST chosen = ::SHBrowseForFolderA(&info)) ::CoTaskMemFree(chosen);
        ::CoUninitialize();
      },
      [](HWND d) { ReportClassify("4 ClassifyWindow, real folder-browse dialog", d); });
}

LRESULT NoMethod(void*, HWND, UINT, WPARAM, LPARAM) { return 0; }

void BenchStubs() {
  constexpr int kStubs = 10000;
  constexpr int kMessages = 20000;
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
  const double plainNs = MedianNs(kStubs, [] { ::operator delete(::operator new(32)); });
  PrintRatio("5 stub pool: one entry taken and given back", ns / kStubs, "32-byte new/delete", plainNs, "-");

  // A message sent to a window through its button set, against the same window without one.
  HWND wnd = PlainWindow("Bench set");
  const double directNs = MedianNs(kMessages, [&] { ::SendMessageA(wnd, WM_NULL, 0, 0); });
  {
    TKQCaptionButtons set(wnd);
    set.AddButton(wnd, 0, 1, nullptr, true);
    const double throughNs = MedianNs(kMessages, [&] { ::SendMessageA(wnd, WM_NULL, 0, 0); });
    PrintRatio("5 a sent message through a set", throughNs, "no set", directNs, "-");
    const double hitNs = MedianNs(kMessages, [&] { ::SendMessageA(wnd, WM_NCHITTEST, 0, MAKELPARAM(5, 5)); });
    std::printf("%-58s %9.1f ns\n", "5 WM_NCHITTEST through a set of one button", hitNs);
  }
  ::DestroyWindow(wnd);
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

// ---- 6. Loading the stored tree and history, and the menu built from them ----------------------

constexpr char kBenchProductKey[] = "Software\\Quillonworks\\Lanterna";
constexpr char kBenchTreeKey[] = "Software\\Quillonworks\\Lanterna\\KQVTree";
constexpr char kBenchHistoryKey[] = "Software\\Quillonworks\\Lanterna\\LNTRHistory";
constexpr int kTreeNodes = 1000, kTreeDepth = 5, kTreeFanOut = 4, kHistoryEntries = 1000;
constexpr const char* kNodeValues[] = {"FileName", "DisplayName", "NodeType", "IconFileName", "IconIndex"};

// What one node holds, in the pre-order the tree is written and loaded in.
struct StoredNode {
  int depth;
  std::string fileName, displayName, nodeType;
};

void WriteValue(HKEY key, const char* name, const std::string& data) {
  ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
}

// Writes nodes in pre-order, kTreeFanOut children a level, until kTreeNodes are written; the names
// are numbered so that the registry's (alphabetical) order is the order of writing.
void WriteLevel(const std::string& path, int depth, int& written, std::vector<StoredNode>& nodes) {
  for (int i = 0; i < kTreeFanOut && written < kTreeNodes; ++i) {
    char name[16];
    std::snprintf(name, sizeof(name), "N%04d", written++);
    const std::string nodePath = path + "\\" + name;
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, nodePath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    StoredNode node{depth, std::string("C:\\Bench\\") + name, std::string("Bookmark ") + name,
                    depth < kTreeDepth ? "1" : "0"};
    WriteValue(key, "FileName", node.fileName);
    WriteValue(key, "DisplayName", node.displayName);
    WriteValue(key, "NodeType", node.nodeType);
    WriteValue(key, "IconFileName", "");
    WriteValue(key, "IconIndex", "0");
    ::RegCloseKey(key);
    nodes.push_back(node);
    if (depth < kTreeDepth) WriteLevel(nodePath, depth + 1, written, nodes);
  }
}

void RemoveStored() {
  ::SHDeleteKeyA(HKEY_CURRENT_USER, kBenchTreeKey);
  ::SHDeleteKeyA(HKEY_CURRENT_USER, kBenchHistoryKey);
}

// The least the registry allows: each key opened once (relative to its parent), each value read
// with one query into a buffer large enough, the subkeys and values enumerated once.
std::string PlainQuery(HKEY key, const char* name) {
  wchar_t data[1024];
  DWORD type = 0, size = sizeof(data) - sizeof(wchar_t);
  if (sys::RegQueryValueExW(key, ToWide(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
      ERROR_SUCCESS)
    return {};
  return ToUtf8(std::wstring_view(data, wcsnlen(data, size / sizeof(wchar_t))));
}

void PlainLoadLevel(HKEY parent, const std::wstring& name, int depth, std::vector<StoredNode>& out) {
  HKEY key = nullptr;
  if (sys::RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  if (depth > 0) {
    std::string values[std::size(kNodeValues)];
    for (size_t v = 0; v < std::size(kNodeValues); ++v) values[v] = PlainQuery(key, kNodeValues[v]);
    out.push_back({depth, values[0], values[1], values[2]});
  }
  std::vector<std::wstring> children;
  wchar_t child[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(std::size(child));
    if (sys::RegEnumKeyExW(key, i, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    children.emplace_back(child, length);
  }
  for (const std::wstring& c : children) PlainLoadLevel(key, c, depth + 1, out);
  sys::RegCloseKey(key);
}

std::vector<std::string> PlainLoadHistory() {
  std::vector<std::string> out;
  HKEY key = nullptr;
  if (sys::RegOpenKeyExW(HKEY_CURRENT_USER, ToWide(kBenchHistoryKey).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return out;
  std::vector<std::string> names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(std::size(name));
    if (sys::RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.push_back(ToUtf8(std::wstring_view(name, length)));
  }
  for (const std::string& n : names) out.push_back(PlainQuery(key, n.c_str()));
  sys::RegCloseKey(key);
  return out;
}

int NodeDepth(TCustomNode* node) {
  int depth = 0;
  for (; node; node = node->Parent()) ++depth;
  return depth;
}

// The loaded tree in pre-order, in the terms it was written in.
std::vector<StoredNode> LoadedNodes(const TKQVMenu& menu) {
  std::vector<StoredNode> out;
  for (TCustomNode* n = menu.GetFirstNode(); n; n = n->GetNext()) {
    auto* node = static_cast<TKQVNode*>(n);
    out.push_back({NodeDepth(n), node->FileName(), node->DisplayName(), std::to_string(node->NodeType())});
  }
  return out;
}

bool SameNodes(const std::vector<StoredNode>& a, const std::vector<StoredNode>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].depth != b[i].depth || a[i].fileName != b[i].fileName || a[i].displayName != b[i].displayName ||
        a[i].nodeType != b[i].nodeType)
      return false;
  }
  return true;
}

long long RegistryCalls() {
  return sys::g_Counts[sys::cRegOpen] + sys::g_Counts[sys::cRegEnum] + sys::g_Counts[sys::cRegQuery] +
         sys::g_Counts[sys::cRegClose];
}

void PrintLoad(const char* what, long long calls, long long baseCalls, double ns, double baseNs, bool same) {
  std::printf("%-58s %6lld registry calls   plain loop %6lld   ratio %.2f   target <= 1.5   (%s)\n", what, calls,
              baseCalls, static_cast<double>(calls) / static_cast<double>(baseCalls),
              same ? "loads the same" : "LOADS OTHERWISE");
  std::printf("%-58s %9.2f ms   plain loop %9.2f ms   ratio %.2f   target <= 1.5\n", what, ns / 1e6, baseNs / 1e6,
              ns / baseNs);
}

// A change below the host's key that touches both parts a right-click shows: a value of a node
// of the tree and an entry of the history, each to a text it did not hold.
void TouchTreeAndHistory(int round) {
  HKEY key = nullptr;
  const std::string node = std::string(kBenchTreeKey) + "\\N0000\\N0001";
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, node.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
      ERROR_SUCCESS) {
    WriteValue(key, "BenchTouched", std::to_string(round));
    ::RegCloseKey(key);
  }
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, kBenchHistoryKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
      ERROR_SUCCESS) {
    WriteValue(key, "H0999", "C:\\History\\H0999." + std::to_string(round));
    ::RegCloseKey(key);
  }
}

// The times of one right-click: QueryContextMenu on an empty popup menu, then, after Delay ms,
// the opening of "Bookmarks...", of its first bookmark folder and of "History", one after the
// other, each as the shell reports it (WM_INITMENUPOPUP to the handler).
struct RightClickTimes {
  double query = 0, bookmarks = 0, folder = 0, history = 0;
  UINT commands = 0;
};

// The first item of Menu with a submenu whose text is Caption (any caption when empty).
HMENU SubmenuOf(HMENU menu, const wchar_t* caption) {
  for (int i = 0, n = ::GetMenuItemCount(menu); i < n; ++i) {
    HMENU sub = ::GetSubMenu(menu, i);
    wchar_t text[64] = {};
    ::GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
    if (sub && (!*caption || std::wcscmp(text, caption) == 0)) return sub;
  }
  return nullptr;
}

double OpenNs(IContextMenu3* handler, HMENU submenu) {
  if (!submenu) return 0;
  LRESULT result = 0;
  const double start = NowNs();
  handler->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(submenu), 0, &result);
  return NowNs() - start;
}

RightClickTimes RightClick(DWORD delayMs) {
  RightClickTimes times;
  Microsoft::WRL::ComPtr<IContextMenu3> handler;
  if (FAILED(TKQVContextMenu::Create(IID_PPV_ARGS(&handler)))) return times;
  ScopedMenu menu(::CreatePopupMenu());
  double start = NowNs();
  times.commands = HRESULT_CODE(handler->QueryContextMenu(menu.get(), 0, 1, 0x7FFF, CMF_NORMAL));
  times.query = NowNs() - start;
  if (delayMs) ::Sleep(delayMs);
  HMENU bookmarks = SubmenuOf(menu.get(), L"Bookmarks...");
  times.bookmarks = OpenNs(handler.Get(), bookmarks);
  times.folder = OpenNs(handler.Get(), bookmarks ? SubmenuOf(bookmarks, L"") : nullptr);
  times.history = OpenNs(handler.Get(), bookmarks ? SubmenuOf(bookmarks, L"History") : nullptr);
  return times;
}

// Medians over kReps right-clicks, each after a change below the host's key when Changed.
RightClickTimes RightClicks(bool changed, DWORD delayMs) {
  std::vector<RightClickTimes> runs;
  (void)RightClick(0);  // whatever an earlier change left unread is read
  for (int r = 0; r < kReps; ++r) {
    if (changed) TouchTreeAndHistory(r);
    runs.push_back(RightClick(delayMs));
  }
  RightClickTimes median;
  auto pick = [&](double RightClickTimes::*field) {
    std::vector<double> values;
    for (const RightClickTimes& run : runs) values.push_back(run.*field);
    std::sort(values.begin(), values.end());
    median.*field = values[values.size() / 2];
  };
  pick(&RightClickTimes::query);
  pick(&RightClickTimes::bookmarks);
  pick(&RightClickTimes::folder);
  pick(&RightClickTimes::history);
  median.commands = runs.back().commands;
  return median;
}

void PrintOpenings(const char* when, const RightClickTimes& atOnce, const RightClickTimes& later) {
  const struct {
    const char* what;
    double RightClickTimes::*field;
  } kSubmenus[] = {{"\"Bookmarks...\"", &RightClickTimes::bookmarks},
                   {"a bookmark folder", &RightClickTimes::folder},
                   {"\"History\", 1,000 entries", &RightClickTimes::history}};
  for (const auto& submenu : kSubmenus) {
    char what[96];
    std::snprintf(what, sizeof(what), "6 open %s, %s", submenu.what, when);
    std::printf("%-58s %9.2f ms 300 ms after the right-click   target <= 50 ms   at once %9.2f ms (information)\n",
                what, later.*submenu.field / 1e6, atOnce.*submenu.field / 1e6);
  }
}

// 6, the right-click: the handler over the tree and history written by BenchRegistry (the host's
// window present, the shell menu on), after a change below the host's key and without one, then
// with ten bookmarks on a server that does not answer added to the level "Bookmarks..." shows.
void BenchRightClick() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ::DefWindowProcA;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = "TLanternaMain";
  ::RegisterClassA(&wc);
  const HWND host =
      ::CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
  HKEY product = nullptr;
  ::RegCreateKeyExA(HKEY_CURRENT_USER, kBenchProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &product, nullptr);
  WriteValue(product, kIntegrateToShellMenu, "1");
  ::RegCloseKey(product);

  std::vector<double> plainRuns;
  for (int r = 0; r < kReps; ++r) {
    const double start = NowNs();
    std::vector<StoredNode> out;
    PlainLoadLevel(HKEY_CURRENT_USER, ToWide(kBenchTreeKey), 0, out);
    (void)PlainLoadHistory();
    plainRuns.push_back(NowNs() - start);
  }
  std::sort(plainRuns.begin(), plainRuns.end());
  const double plainNs = plainRuns[plainRuns.size() / 2];

  {
    const double treeNs = MedianNs(1, [] { TBookmarkTree().Read(); });
    const double historyNs = MedianNs(1, [] { TBookmarkHistory().Read(); });
    std::printf("%-58s %9.2f ms   the history %9.2f ms   (information: read off the shell's thread)\n",
                "6 reading the tree a menu shows (the first root)", treeNs / 1e6, historyNs / 1e6);
  }
  const RightClickTimes changedAtOnce = RightClicks(true, 0);
  const RightClickTimes changedLater = RightClicks(true, 300);
  std::printf("%-58s %9.2f ms   plain registry loop %9.2f ms   %u commands   target <= 50 ms\n",
              "6 QueryContextMenu after a change below the host's key", changedAtOnce.query / 1e6, plainNs / 1e6,
              changedAtOnce.commands);
  const RightClickTimes warmAtOnce = RightClicks(false, 0);
  const RightClickTimes warmLater = RightClicks(false, 300);
  std::printf("%-58s %9.2f ms   %u commands   target <= 50 ms\n", "6 QueryContextMenu, 1,000 bookmarks, 1,000 history",
              warmAtOnce.query / 1e6, warmAtOnce.commands);
  PrintOpenings("after a change", changedAtOnce, changedLater);
  PrintOpenings("no change", warmAtOnce, warmLater);

  for (int i = 0; i < 10; ++i) {
    char name[16];
    std::snprintf(name, sizeof(name), "Z%04d", i);
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kBenchTreeKey) + "\\N0000\\" + name).c_str(), 0, nullptr, 0,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr);
    WriteValue(key, "FileName", std::string("\\\\nosuchserver\\share\\") + name);
    WriteValue(key, "DisplayName", name);
    WriteValue(key, "NodeType", "0");
    WriteValue(key, "IconFileName", "");
    WriteValue(key, "IconIndex", "0");
    ::RegCloseKey(key);
  }
  const struct {
    const char* when;
    bool changed;
    DWORD delayMs;
    const RightClickTimes& without;
  } kRemote[] = {{"no change", false, 300, warmLater}, {"after a change", true, 300, changedLater}};
  for (const auto& run : kRemote) {
    const RightClickTimes with = RightClicks(run.changed, run.delayMs);
    const double added = std::max({with.query - run.without.query, with.bookmarks - run.without.bookmarks,
                                   with.folder - run.without.folder, with.history - run.without.history});
    char what[96];
    std::snprintf(what, sizeof(what), "6 and 10 on \\\\nosuchserver in \"Bookmarks...\", %s", run.when);
    std::printf(
        "%-58s %9.2f ms the most they add to a right-click or an opening   target <= 10 ms   "
        "(right-click %.2f, \"Bookmarks...\" %.2f ms)\n",
        what, std::max(0.0, added) / 1e6, with.query / 1e6, with.bookmarks / 1e6);
  }
  ::SHDeleteKeyA(HKEY_CURRENT_USER, kBenchProductKey);
  ::DestroyWindow(host);
}

void BenchRegistry() {
  RemoveStored();
  std::vector<StoredNode> written;
  int count = 0;
  WriteLevel(kBenchTreeKey, 1, count, written);
  HKEY history = nullptr;
  ::RegCreateKeyExA(HKEY_CURRENT_USER, kBenchHistoryKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &history, nullptr);
  std::vector<std::string> writtenHistory;
  for (int i = 0; i < kHistoryEntries; ++i) {
    char name[16];
    std::snprintf(name, sizeof(name), "H%04d", i);
    writtenHistory.push_back(std::string("C:\\History\\") + name);
    WriteValue(history, name, writtenHistory.back());
  }
  ::RegCloseKey(history);

  const std::string treePath = std::string("\\") + kBenchTreeKey;
  const std::string historyPath = std::string("\\") + kBenchHistoryKey;
  TKQRegIniFile reg(KEY_READ);

  // The tree, icons off: what is measured is the reading of the registry.
  std::vector<StoredNode> plain;
  ResetCounts();
  PlainLoadLevel(HKEY_CURRENT_USER, ToWide(kBenchTreeKey), 0, plain);
  const long long plainCalls = RegistryCalls();
  TKQVMenu menu;
  menu.SetShowIcons(false);
  ResetCounts();
  menu.LoadTree(&reg, treePath);
  const long long treeCalls = RegistryCalls();
  const bool treeSame = SameNodes(LoadedNodes(menu), written) && SameNodes(plain, written);
  const auto [treeNs, plainTreeNs] =
      AlternateMedians([&] { menu.LoadTree(&reg, treePath); },
                       [&] {
                         std::vector<StoredNode> out;
                         PlainLoadLevel(HKEY_CURRENT_USER, ToWide(kBenchTreeKey), 0, out);
                       });
  PrintLoad("6 LoadTree, 1,000 nodes of depth 5 (icons off)", treeCalls, plainCalls, treeNs, plainTreeNs, treeSame);

  // The history, into an empty menu.
  ResetCounts();
  bool historySame = PlainLoadHistory() == writtenHistory;
  const long long plainHistoryCalls = RegistryCalls();
  TKQVMenu historyMenu;
  ResetCounts();
  historyMenu.LoadHistory(&reg, historyPath);
  reg.CloseKey();
  const long long historyCalls = RegistryCalls();
  {
    TCustomNode* folder = historyMenu.GetFirstNode();
    while (folder && static_cast<TKQVNode*>(folder)->NodeType() != kNodeFolder) folder = folder->GetNext();
    std::vector<std::string> loaded;
    if (folder && folder->Children())
      for (const auto& entry : *folder->Children()) loaded.push_back(static_cast<TKQVNode&>(*entry).FileName());
    historySame = historySame && loaded == writtenHistory;
  }
  const auto [historyNs, plainHistoryNs] = AlternateMedians(
      [&] {
        TKQVMenu m;
        m.LoadHistory(&reg, historyPath);
        reg.CloseKey();
      },
      [&] { (void)PlainLoadHistory(); });
  PrintLoad("6 LoadHistory, 1,000 entries", historyCalls, plainHistoryCalls, historyNs, plainHistoryNs, historySame);

  // With icons on, as the library loads the tree for a menu (for information).
  {
    TKQVMenu iconMenu;
    const double start = NowNs();
    iconMenu.LoadTree(&reg, treePath);
    std::printf("%-58s %9.1f ms   (information: the shell's icon of each node read)\n",
                "6 LoadTree, 1,000 nodes, icons on", (NowNs() - start) / 1e6);
  }

  // The menu of the tree and the history together.
  menu.LoadHistory(&reg, historyPath);
  reg.CloseKey();
  std::vector<double> runs;
  long long menuCalls = 0;
  for (int r = 0; r < kReps; ++r) {
    UINT id = 1;
    int index = 0;
    ResetCounts();
    const double start = NowNs();
    HMENU built = menu.BuildMenu(nullptr, id, index);
    runs.push_back(NowNs() - start);
    menuCalls = sys::g_Counts[sys::cMenu];
    ::DestroyMenu(built);
  }
  std::sort(runs.begin(), runs.end());
  std::printf("%-58s %9.2f ms   %6lld user32 menu calls for %d items\n", "6 BuildMenu of that tree and history",
              runs[runs.size() / 2] / 1e6, menuCalls, kTreeNodes + 2 + kHistoryEntries);
  BenchRightClick();
  RemoveStored();
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
  if (what == "all" || what == "registry") BenchRegistry();
  std::fflush(stdout);
  LibraryShutdown();
  return 0;
}
