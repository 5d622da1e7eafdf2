// The library's trace: off unless switched on, then one line for each fault a guard contains and
// for each host record the host link refuses, written with OutputDebugStringA for any debugger or
// debug-output monitor to read. Every line begins with kTracePrefix. Off, it costs one test of a
// flag.
#pragma once

#include <windows.h>

#include <atomic>

namespace kq {

// The switch, read at start-up: the value kTraceValueName under the host's key (ProductKeyPath,
// below HKEY_CURRENT_USER) or the environment variable kTraceVariable, holding the decimal 1.
constexpr char kTraceValueName[] = "Trace";
constexpr char kTraceVariable[] = "LNTR_TRACE";
constexpr int kTraceSwitchOn = 1;
constexpr char kTracePrefix[] = "LNTRHlp: ";
// The longest line, prefix and terminator included; a longer text is cut.
constexpr size_t kMaxTraceLine = 512;

namespace detail {
extern std::atomic<bool> g_Tracing;
}  // namespace detail

inline bool Tracing() noexcept { return detail::g_Tracing.load(std::memory_order_relaxed); }

// One line: the prefix, then the text as printf formats it. Nothing when tracing is off.
void TraceLine(const char* format, ...) noexcept __attribute__((format(printf, 1, 2)));

// Names, for as long as it lives, the window whose message the current thread is serving: a fault
// traced meanwhile names its class. Does nothing while tracing is off.
class TServedWindow {
 public:
  explicit TServedWindow(HWND wnd) noexcept;
  ~TServedWindow();
  TServedWindow(const TServedWindow&) = delete;
  TServedWindow& operator=(const TServedWindow&) = delete;

 private:
  bool noted_ = false;
  HWND previous_ = nullptr;
};

// The class name of the window the current thread serves, cut to fit; empty when none is known.
constexpr int kTracedClassChars = 80;
void ServedWindowClass(char (&name)[kTracedClassChars]) noexcept;

// Start-up: reads the switch (and takes the thread slot of the served window when it is on). A
// value that cannot be read leaves the trace off. Shut-down gives the slot back.
void StartupTrace();
void ShutdownTrace();

}  // namespace kq
