#include "common/KQTrace.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "common/KQGuard.h"
#include "common/KQRegistry.h"

namespace kq {

namespace detail {
constinit std::atomic<bool> g_Tracing{false};
}  // namespace detail

namespace {

// The thread slot holding the window each thread serves; taken only when tracing is on.
DWORD g_ServedSlot = TLS_OUT_OF_INDEXES;

// The environment variable's text: "1" and a terminator, with room to tell a longer text apart.
constexpr DWORD kVariableChars = 8;

bool SwitchText(const std::string& text) {
  int value = 0;
  return TryParseInteger(text, value) && value == kTraceSwitchOn;
}

bool VariableSaysOn() {
  char text[kVariableChars] = {};
  const DWORD length = ::GetEnvironmentVariableA(kTraceVariable, text, kVariableChars);
  return length > 0 && length < kVariableChars && SwitchText(text);
}

bool RegistrySaysOn() {
  return Guarded(false, [] {
    TKQRegIniFile reg(KEY_READ);
    return SwitchText(reg.ReadString(ProductKeyPath(), kTraceValueName, std::string()));
  });
}

}  // namespace

void TraceLine(const char* format, ...) noexcept {
  if (!Tracing()) return;
  char line[kMaxTraceLine];
  const int prefix = std::snprintf(line, sizeof(line), "%s", kTracePrefix);
  va_list args;
  va_start(args, format);
  std::vsnprintf(line + prefix, sizeof(line) - prefix, format, args);
  va_end(args);
  ::OutputDebugStringA(line);
}

TServedWindow::TServedWindow(HWND wnd) noexcept {
  if (!Tracing() || g_ServedSlot == TLS_OUT_OF_INDEXES) return;
  noted_ = true;
  previous_ = static_cast<HWND>(::TlsGetValue(g_ServedSlot));
  ::TlsSetValue(g_ServedSlot, wnd);
}

TServedWindow::~TServedWindow() {
  if (noted_) ::TlsSetValue(g_ServedSlot, previous_);
}

void ServedWindowClass(char (&name)[kTracedClassChars]) noexcept {
  name[0] = '\0';
  if (g_ServedSlot == TLS_OUT_OF_INDEXES) return;
  HWND wnd = static_cast<HWND>(::TlsGetValue(g_ServedSlot));
  if (!wnd || ::GetClassNameA(wnd, name, kTracedClassChars) <= 0) name[0] = '\0';
}

void StartupTrace() {
  const bool on = VariableSaysOn() || RegistrySaysOn();
  if (on) g_ServedSlot = ::TlsAlloc();
  detail::g_Tracing.store(on, std::memory_order_relaxed);
}

void ShutdownTrace() {
  detail::g_Tracing.store(false, std::memory_order_relaxed);
  if (g_ServedSlot != TLS_OUT_OF_INDEXES) ::TlsFree(g_ServedSlot);
  g_ServedSlot = TLS_OUT_OF_INDEXES;
}

}  // namespace kq
