#include "tests/captionbuttons/CaptionFixtures.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "common/KQScoped.h"
#include "tests/support/ChildProcess.h"

namespace kq::test {
namespace {

constexpr char kClassA[] = "KQCaptionTestFrameA";
constexpr wchar_t kClassW[] = L"KQCaptionTestFrameW\x263A";  // a name no ANSI code page holds
constexpr int kWidth = 400;
constexpr int kHeight = 300;

FrameLog* LogOf(HWND wnd) { return reinterpret_cast<FrameLog*>(::GetWindowLongPtrA(wnd, GWLP_USERDATA)); }

void Note(HWND wnd, UINT msg) {
  FrameLog* log = LogOf(wnd);
  if (!log) return;
  log->messages.push_back(msg);
  if (msg == WM_NCPAINT) ++log->ncPaints;
  if (msg == WM_NCDESTROY) ++log->ncDestroys;
}

LRESULT CALLBACK FrameProcA(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    ::SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  Note(wnd, msg);
  if (msg == WM_SETTEXT && lParam)
    if (FrameLog* log = LogOf(wnd)) log->lastTextA = reinterpret_cast<const char*>(lParam);
  if (msg == WM_NCDESTROY) ::SetWindowLongPtrA(wnd, GWLP_USERDATA, 0);
  return ::DefWindowProcA(wnd, msg, wParam, lParam);
}

LRESULT CALLBACK FrameProcW(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  Note(wnd, msg);
  if (msg == WM_SETTEXT && lParam)
    if (FrameLog* log = LogOf(wnd)) log->lastTextW = reinterpret_cast<const wchar_t*>(lParam);
  if (msg == WM_NCDESTROY) ::SetWindowLongPtrW(wnd, GWLP_USERDATA, 0);
  return ::DefWindowProcW(wnd, msg, wParam, lParam);
}

void RegisterClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  WNDCLASSA a = {};
  a.lpfnWndProc = FrameProcA;
  a.hInstance = ::GetModuleHandleA(nullptr);
  a.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  a.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  a.lpszClassName = kClassA;
  ::RegisterClassA(&a);
  WNDCLASSW w = {};
  w.lpfnWndProc = FrameProcW;
  w.hInstance = ::GetModuleHandleW(nullptr);
  w.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  w.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  w.lpszClassName = kClassW;
  ::RegisterClassW(&w);
}

}  // namespace

TestFrame::TestFrame(DWORD style, DWORD exStyle, bool unicode, bool visible, int x, int y) {
  RegisterClasses();
  const DWORD shown = style | (visible ? WS_VISIBLE : 0);
  if (unicode) {
    wnd_ = ::CreateWindowExW(exStyle, kClassW, L"Caption test", shown, x, y, kWidth, kHeight, nullptr, nullptr,
                             ::GetModuleHandleW(nullptr), &log_);
  } else {
    wnd_ = ::CreateWindowExA(exStyle, kClassA, "Caption test", shown, x, y, kWidth, kHeight, nullptr, nullptr,
                             ::GetModuleHandleA(nullptr), &log_);
  }
  if (!wnd_) ADD_FAILURE() << "the test window could not be created: " << ::GetLastError();
  // The system adds styles of its own; the ones asked for are what the layout reads.
  if (wnd_) {
    ::SetWindowLongA(wnd_, GWL_STYLE, static_cast<LONG>(shown));
    ::SetWindowLongA(wnd_, GWL_EXSTYLE, static_cast<LONG>(exStyle));
    ::SetWindowPos(wnd_, nullptr, 0, 0, 0, 0,
                   SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
}

TestFrame::~TestFrame() { Destroy(); }

void TestFrame::Destroy() {
  if (wnd_ && ::IsWindow(wnd_)) ::DestroyWindow(wnd_);
  wnd_ = nullptr;
}

bool TestFrame::Saw(UINT msg) const {
  for (UINT m : log_.messages)
    if (m == msg) return true;
  return false;
}

WNDPROC TestFrame::OwnProc(bool unicode) { return unicode ? FrameProcW : FrameProcA; }

HBITMAP MakeSquareGlyph(COLORREF background, COLORREF ink, int inset) {
  constexpr int kSize = 16;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = kSize;
  info.bmiHeader.biHeight = kSize;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap) return nullptr;
  auto* p = static_cast<uint32_t*>(bits);
  auto pack = [](COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); };
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const bool inside = x >= inset && x < kSize - inset && y >= inset && y < kSize - inset;
      p[y * kSize + x] = pack(inside ? ink : background);
    }
  ::GdiFlush();
  return bitmap;
}

void ShowActive(HWND wnd) {
  ::ShowWindow(wnd, SW_SHOW);
  ::SetForegroundWindow(wnd);
  ::SetActiveWindow(wnd);
  ::UpdateWindow(wnd);
  PumpMessagesFor(300);
}

RECT WindowRectOf(HWND wnd) {
  RECT r = {};
  ::GetWindowRect(wnd, &r);
  return r;
}

RECT CaptionBandOf(HWND wnd) {
  RECT window = WindowRectOf(wnd);
  POINT client = {0, 0};
  ::ClientToScreen(wnd, &client);
  return {window.left, window.top, window.right, client.y};
}

}  // namespace kq::test
