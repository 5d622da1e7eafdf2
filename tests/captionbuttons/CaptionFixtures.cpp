#include "tests/captionbuttons/CaptionFixtures.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "common/KQScoped.h"
#include "tests/support/MouseInput.h"
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

using test::SendMouse;

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

ScreenPixels::ScreenPixels(const RECT& screenRect) : rect_(screenRect) {
  const int w = rect_.right - rect_.left, h = rect_.bottom - rect_.top;
  pixels_.assign(static_cast<size_t>(w > 0 ? w : 0) * (h > 0 ? h : 0), 0);
  if (w <= 0 || h <= 0) return;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(memory, dib);
  ::BitBlt(memory, 0, 0, w, h, screen, rect_.left, rect_.top, SRCCOPY);
  ::GdiFlush();
  const auto* p = static_cast<const uint32_t*>(bits);
  for (size_t i = 0; i < pixels_.size(); ++i) pixels_[i] = p[i] & 0xFFFFFF;
  ::SelectObject(memory, old);
  ::DeleteObject(dib);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
}

COLORREF ScreenPixels::At(int x, int y) const {
  if (x < rect_.left || x >= rect_.right || y < rect_.top || y >= rect_.bottom) return CLR_INVALID;
  const uint32_t v = pixels_[static_cast<size_t>(y - rect_.top) * (rect_.right - rect_.left) + (x - rect_.left)];
  return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

int ScreenPixels::Count(const RECT& r, COLORREF colour) const {
  int n = 0;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x)
      if (At(x, y) == colour) ++n;
  return n;
}

int ScreenPixels::Differences(const ScreenPixels& other, const RECT& r) const {
  int n = 0;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x)
      if (At(x, y) != other.At(x, y)) ++n;
  return n;
}

bool ScreenPixels::SaveBmp(const std::string& path) const {
  const int w = rect_.right - rect_.left, h = rect_.bottom - rect_.top;
  if (w <= 0 || h <= 0) return false;
  const int stride = (w * 3 + 3) & ~3;
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof(header);
  header.biWidth = w;
  header.biHeight = h;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  header.biSizeImage = stride * h;
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = file.bfOffBits + header.biSizeImage;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fwrite(&file, sizeof(file), 1, f);
  std::fwrite(&header, sizeof(header), 1, f);
  std::vector<uint8_t> row(stride, 0);
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t v = pixels_[static_cast<size_t>(y) * w + x];
      row[x * 3] = v & 0xFF;
      row[x * 3 + 1] = (v >> 8) & 0xFF;
      row[x * 3 + 2] = (v >> 16) & 0xFF;
    }
    std::fwrite(row.data(), 1, row.size(), f);
  }
  return std::fclose(f) == 0;
}

void MoveMouseTo(POINT p) {
  SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, p.x * 65535 / (::GetSystemMetrics(SM_CXSCREEN) - 1),
            p.y * 65535 / (::GetSystemMetrics(SM_CYSCREEN) - 1));
  PumpMessagesFor(60);
}

void MouseButton(bool down, bool right) {
  if (right)
    SendMouse(down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP);
  else
    SendMouse(down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP);
  PumpMessagesFor(60);
}

void ShowActive(HWND wnd) {
  ::ShowWindow(wnd, SW_SHOW);
  ::SetForegroundWindow(wnd);
  ::SetActiveWindow(wnd);
  ::UpdateWindow(wnd);
  PumpMessagesFor(300);
}

POINT CentreOf(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

}  // namespace kq::test
