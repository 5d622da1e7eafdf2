#include "captionbuttons/KQCaptionButton.h"

#include <uxtheme.h>
#include <windowsx.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "captionbuttons/KQWndProcThunk.h"
#include "common/KQGuard.h"
#include "common/KQSysCalls.h"
#include "common/KQUtils.h"

namespace kq {

UINT UpdateButtonMsg = 0;

namespace {

constexpr char kUpdateButtonMsgName[] = "Lanterna_UpdateButton";

// SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED: the whole
// non-client area is painted again.
constexpr UINT kRedrawFlags = 0x37;
static_assert(kRedrawFlags == (SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED));

// A message some systems send after drawing the caption themselves: the buttons are painted
// again on top.
constexpr UINT kWmCaptionDrawn = 0x0591;

// The visual-style part the buttons borrow: the minimise button of class "window".
constexpr wchar_t kThemeClass[] = L"window";
constexpr int kThemePartMinButton = 15;  // WP_MINBUTTON
constexpr int kThemeStateNormal = 1;     // MINBS_NORMAL
constexpr int kThemeStatePushed = 3;     // MINBS_PUSHED

// Classic frames are drawn on this colour, which then stays transparent.
constexpr COLORREF kFrameTransparentColour = RGB(255, 0, 255);
// A monochrome glyph is transparent where it is white.
constexpr COLORREF kMonochromeTransparentColour = RGB(255, 255, 255);
// Glyphs larger than this on a side are not drawn (the library's own are 16 x 16).
constexpr int kMaxGlyphSide = 256;

// Layout of a button inside its step, in pixels (see GetButtonRect).
constexpr int kButtonStepShrink = 2;
constexpr int kButtonSizeShrink = 4;
constexpr int kButtonTopGap = 2;
constexpr int kHitGrow = 2;
constexpr int kHoleShrink = 2;

std::atomic<bool> g_VisualStyles{false};

struct ThemeTraits {
  using Type = HTHEME;
  static Type Empty() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ::CloseThemeData(h); }
};
using ScopedTheme = UniqueAny<ThemeTraits>;

class TListGuard {
 public:
  explicit TListGuard(CRITICAL_SECTION& section) : section_(section) { sys::EnterCriticalSection(&section_); }
  ~TListGuard() { sys::LeaveCriticalSection(&section_); }
  TListGuard(const TListGuard&) = delete;
  TListGuard& operator=(const TListGuard&) = delete;

 private:
  CRITICAL_SECTION& section_;
};

LONG Style(HWND wnd) { return ::GetWindowLongA(wnd, GWL_STYLE); }
LONG ExStyle(HWND wnd) { return ::GetWindowLongA(wnd, GWL_EXSTYLE); }
bool IsToolWindow(HWND wnd) { return (ExStyle(wnd) & WS_EX_TOOLWINDOW) != 0; }
bool HasThickFrame(HWND wnd) { return (Style(wnd) & WS_THICKFRAME) != 0; }

SIZE CaptionButtonSize(HWND wnd) {
  if (IsToolWindow(wnd)) return {::GetSystemMetrics(SM_CXSMSIZE), ::GetSystemMetrics(SM_CYSMSIZE)};
  return {::GetSystemMetrics(SM_CXSIZE), ::GetSystemMetrics(SM_CYSIZE)};
}

int FrameWidth(HWND wnd) { return ::GetSystemMetrics(HasThickFrame(wnd) ? SM_CXFRAME : SM_CXDLGFRAME); }

int CaptionTop(HWND wnd) {
  TitleBarInfoEx info;
  QueryTitleBarInfoEx(wnd, info);
  if (info.cbSize != 0) {
    RECT window;
    if (::GetWindowRect(wnd, &window)) {
      const int top = info.rcTitleBar.top - window.top;
      if (top != 0) return top;
    }
  }
  return ::GetSystemMetrics(HasThickFrame(wnd) ? SM_CYFRAME : SM_CYDLGFRAME);
}

int SystemButtonsWidth(HWND wnd) {
  const LONG style = Style(wnd);
  const bool sysMenu = (style & WS_SYSMENU) != 0;
  int width = FrameWidth(wnd);
  if (IsToolWindow(wnd)) return width + (sysMenu ? ::GetSystemMetrics(SM_CXSMSIZE) : 0);
  const int button = ::GetSystemMetrics(SM_CXSIZE);
  if (sysMenu) width += button;
  if (style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX))
    width += 2 * button - 2;
  else if (ExStyle(wnd) & WS_EX_CONTEXTHELP)
    width += button;
  return width;
}

POINT PointOf(LPARAM lParam) { return {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

// Draws a bitmap (selected into source, w x h) stretched into rect, leaving out the pixels of
// the transparent colour.
void StretchTransparent(HDC dc, const RECT& rect, HDC source, int w, int h, COLORREF transparent) {
  ::GdiTransparentBlt(dc, rect.left, rect.top, RectWidth(rect), RectHeight(rect), source, 0, 0, w, h, transparent);
}

// Pixels as 0x00RRGGBB, top row first, as a 32-bit DIB holds them.
uint32_t PackPixel(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }
COLORREF UnpackPixel(uint32_t p) { return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); }

// The pixels of a bitmap (which is never selected into a device context for this, so glyphs
// shared by the sets of several threads can be read at the same time); empty on failure.
std::vector<uint32_t> ReadPixels(HDC dc, HBITMAP bitmap, int w, int h) {
  std::vector<uint32_t> pixels;
  if (w <= 0 || h <= 0 || w > kMaxGlyphSide || h > kMaxGlyphSide) return pixels;
  BITMAPINFO header = {};
  header.bmiHeader.biSize = sizeof(header.bmiHeader);
  header.bmiHeader.biWidth = w;
  header.bmiHeader.biHeight = -h;
  header.bmiHeader.biPlanes = 1;
  header.bmiHeader.biBitCount = 32;
  header.bmiHeader.biCompression = BI_RGB;
  pixels.resize(static_cast<size_t>(w) * h);
  if (::GetDIBits(dc, bitmap, 0, h, pixels.data(), &header, DIB_RGB_COLORS) != h) {
    pixels.clear();
    return pixels;
  }
  for (uint32_t& p : pixels) p &= 0xFFFFFF;
  return pixels;
}

// Scales an image whose key colour is transparent to w x h. Each target pixel averages the
// opaque source area it covers, and is opaque when at least half of its area is: a glyph drawn
// smaller keeps its strokes instead of losing whole rows and columns, and gets no fringe of the
// key colour.
std::vector<uint32_t> ScaleKeyed(const std::vector<uint32_t>& source, int sw, int sh, int w, int h, uint32_t key) {
  std::vector<uint32_t> target(static_cast<size_t>(w) * h, key);
  const double fx = static_cast<double>(sw) / w, fy = static_cast<double>(sh) / h;
  for (int y = 0; y < h; ++y) {
    const double y0 = y * fy, y1 = (y + 1) * fy;
    for (int x = 0; x < w; ++x) {
      const double x0 = x * fx, x1 = (x + 1) * fx;
      double total = 0, opaque = 0, r = 0, g = 0, b = 0;
      for (int sy = static_cast<int>(y0); sy < sh && sy < y1; ++sy) {
        const double wy = std::min<double>(y1, sy + 1) - std::max<double>(y0, sy);
        for (int sx = static_cast<int>(x0); sx < sw && sx < x1; ++sx) {
          const double weight = wy * (std::min<double>(x1, sx + 1) - std::max<double>(x0, sx));
          if (weight <= 0) continue;
          total += weight;
          const uint32_t p = source[static_cast<size_t>(sy) * sw + sx];
          if (p == key) continue;
          opaque += weight;
          r += weight * ((p >> 16) & 0xFF);
          g += weight * ((p >> 8) & 0xFF);
          b += weight * (p & 0xFF);
        }
      }
      if (total <= 0 || opaque * 2 < total) continue;
      auto channel = [&](double sum) { return static_cast<uint32_t>(std::lround(sum / opaque)) & 0xFF; };
      uint32_t p = (channel(r) << 16) | (channel(g) << 8) | channel(b);
      if (p == key) p ^= 1;  // an opaque pixel must not turn transparent
      target[static_cast<size_t>(y) * w + x] = p;
    }
  }
  return target;
}

// The old procedure of an entry left behind on a window someone else subclassed after us.
LRESULT ForwardW(void* object, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::CallWindowProcW(reinterpret_cast<WNDPROC>(object), wnd, msg, wParam, lParam);
}
LRESULT ForwardA(void* object, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::CallWindowProcA(reinterpret_cast<WNDPROC>(object), wnd, msg, wParam, lParam);
}

// Only when the entry could not be made a plain forwarder: it then runs this module's code for as
// long as the window lives, and the module stays loaded from then on.
void KeepModuleLoaded() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&ForwardW), &module);
}

}  // namespace

bool VisualStylesInUse() { return g_VisualStyles.load(std::memory_order_relaxed); }

void RefreshVisualStyles() {
  const bool inUse = ::IsThemeActive() && ::IsAppThemed() && (::GetThemeAppProperties() & STAP_ALLOW_CONTROLS);
  g_VisualStyles.store(inUse, std::memory_order_relaxed);
}

void StartupCaptionButtons() {
  UpdateButtonMsg = ::RegisterWindowMessageA(kUpdateButtonMsgName);
  RefreshVisualStyles();
}

// Registered messages live as long as the session; entries are never released.
void ShutdownCaptionButtons() {}

// ---------------------------------------------------------------------------------------------
// Construction, attachment, destruction

TKQCaptionButtons::TKQCaptionButtons(HWND wnd) {
  Guard([&] { BuildFrames(wnd); });
  if (!::IsWindow(wnd)) return;
  Wnd_ = wnd;
  Unicode_ = ::IsWindowUnicode(wnd) != FALSE;
  WNDPROC thunk = AllocWndProcThunk({&TKQCaptionButtons::EntryProc, this});
  if (!thunk) return;
  ::SetLastError(0);
  const LONG_PTR value = reinterpret_cast<LONG_PTR>(thunk);
  const LONG_PTR previous =
      Unicode_ ? ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, value) : ::SetWindowLongPtrA(wnd, GWLP_WNDPROC, value);
  if (previous == 0 && ::GetLastError() != 0) {
    FreeWndProcThunk(thunk);  // a window of another process, or one being destroyed
    return;
  }
  OldWndProc_ = reinterpret_cast<WNDPROC>(previous);
  WndProcThunk_ = thunk;
}

TKQCaptionButtons::~TKQCaptionButtons() {
  Guard([&] {
    if (Tracking_ && Wnd_ && ::GetCapture() == Wnd_) {
      Releasing_ = true;
      ::ReleaseCapture();
    }
  });
  Guard([&] { Detach(); });
}

void TKQCaptionButtons::Detach() {
  WNDPROC thunk = WndProcThunk_;
  if (!thunk) return;
  WndProcThunk_ = nullptr;
  if (WindowGone_ || !::IsWindow(Wnd_)) {
    FreeWndProcThunk(thunk);  // no window left that could call it
    return;
  }
  const LONG_PTR current = Unicode_ ? ::GetWindowLongPtrW(Wnd_, GWLP_WNDPROC) : ::GetWindowLongPtrA(Wnd_, GWLP_WNDPROC);
  if (current == reinterpret_cast<LONG_PTR>(thunk)) {
    const LONG_PTR old = reinterpret_cast<LONG_PTR>(OldWndProc_);
    ::SetLastError(0);
    const LONG_PTR replaced =
        Unicode_ ? ::SetWindowLongPtrW(Wnd_, GWLP_WNDPROC, old) : ::SetWindowLongPtrA(Wnd_, GWLP_WNDPROC, old);
    if (replaced != 0 || ::GetLastError() == 0) {
      FreeWndProcThunk(thunk);
      return;
    }
  }
  // Another procedure sits on top and calls the entry as its old procedure: the entry stays and
  // forwards every message to the procedure this set replaced, without this module's code.
  if (ForwardWndProcThunk(thunk, OldWndProc_, Unicode_)) return;
  RetargetWndProcThunk(thunk, {Unicode_ ? &ForwardW : &ForwardA, reinterpret_cast<void*>(OldWndProc_)});
  KeepModuleLoaded();
}

void TKQCaptionButtons::Dispose(std::unique_ptr<TKQCaptionButtons> set) {
  if (!set) return;
  if (set->Depth_ > 0) {
    Guard([&] { set->Detach(); });
    set->DeleteWhenIdle_ = true;
    set.release();  // EntryProc deletes it when its outermost call returns
  }
}

LRESULT TKQCaptionButtons::EntryProc(void* object, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* set = static_cast<TKQCaptionButtons*>(object);
  ++set->Depth_;
  TMessage message = {msg, wParam, lParam, 0};
  const unsigned passedOn = set->PassedOn_;
  if (!Guard([&] { set->WndProc(message); }) && set->PassedOn_ == passedOn)
    message.Result = set->CallOldWndProc(msg, wParam, lParam);
  if (--set->Depth_ == 0 && set->DeleteWhenIdle_) delete set;
  return message.Result;
}

LRESULT TKQCaptionButtons::CallOldWndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!OldWndProc_) return 0;
  ++PassedOn_;
  // The old procedure is the program's: what it raises is its own, past our guards.
  ForeignCodeScope foreign;
  // The old procedure was read with the functions the window was subclassed with; it is called
  // with the same ones, so its messages keep their form.
  return Unicode_ ? ::CallWindowProcW(OldWndProc_, Wnd_, msg, wParam, lParam)
                  : ::CallWindowProcA(OldWndProc_, Wnd_, msg, wParam, lParam);
}

// ---------------------------------------------------------------------------------------------
// Buttons and layout

TKQCaptionButton* TKQCaptionButtons::Button(int index) const {
  return index >= 0 && index < Count_ ? Buttons_[index].get() : nullptr;
}

bool TKQCaptionButtons::AddButton(HWND wnd, int tag, int spacing, HBITMAP glyph, bool visible) {
  return Guarded(false, [&] {
    Tracking_ = false;
    if (Count_ >= kMaxButtons) return false;
    auto button = std::make_unique<TKQCaptionButton>();
    button->Tag = tag;
    button->Spacing = spacing;
    button->Glyph = glyph;
    button->Visible = visible;
    Buttons_[Count_++] = std::move(button);
    if (visible) {
      // Frames made while no button was visible are blank: make them now.
      if (!FramesBuilt_) BuildFrames(wnd);
      Redraw(wnd);
    }
    return true;
  });
}

bool TKQCaptionButtons::SetFrameBitmaps(HBITMAP up, HBITMAP down) {
  if (!HasVisibleButtons()) return false;
  Guard([&] { BuildFrames(Wnd_); });
  bool taken = false;
  if (!UseSystemLook && up && down) {
    NormalFrame_.reset(up);
    PushedFrame_.reset(down);
    FramesTransparent_ = false;
    SkinsTaken_ = true;
    taken = true;
  }
  Redraw(Wnd_);
  return taken;
}

void TKQCaptionButtons::SetRightOffset(int value) {
  RightOffset_ = value;
  Redraw(Wnd_);
}

void TKQCaptionButtons::Refresh() {
  if (HasVisibleButtons()) Redraw(Wnd_);
}

bool TKQCaptionButtons::HasVisibleButtons() const {
  for (int i = 0; i < Count_; ++i)
    if (Buttons_[i] && Buttons_[i]->Visible) return true;
  return false;
}

RECT TKQCaptionButtons::GetButtonRect(HWND wnd, int index, bool windowRelative) const {
  const SIZE size = CaptionButtonSize(wnd);
  int step = SystemButtonsWidth(wnd) + RightOffset_;
  RECT window = {};
  ::GetWindowRect(wnd, &window);
  if (windowRelative) ::OffsetRect(&window, -window.left, -window.top);
  for (int k = 0; k <= index; ++k) {
    const TKQCaptionButton* button = Button(k);
    step += (button ? button->Spacing : 0) + size.cx - kButtonStepShrink;
  }
  RECT r;
  r.left = window.right - step;
  r.top = window.top + CaptionTop(wnd) + kButtonTopGap;
  r.right = r.left + size.cx - kButtonSizeShrink;
  r.bottom = r.top + size.cy - kButtonSizeShrink;
  return r;
}

RECT TKQCaptionButtons::GetHitRect(int index) const {
  RECT r = GetButtonRect(Wnd_, index, false);
  r.top -= kHitGrow;
  r.bottom += kHitGrow;
  return r;
}

RECT TKQCaptionButtons::GetHoleRect(int index) const {
  RECT r = GetButtonRect(Wnd_, index, false);
  ::InflateRect(&r, -kHoleShrink, -kHoleShrink);
  return r;
}

int TKQCaptionButtons::ButtonAt(POINT screenPoint) const {
  // A hidden button keeps its place in the row, but cannot be pressed: it is not there to see.
  for (int i = 0; i < Count_; ++i) {
    if (!Buttons_[i] || !Buttons_[i]->Visible) continue;
    const RECT hit = GetHitRect(i);
    if (::PtInRect(&hit, screenPoint)) return i;
  }
  return -1;
}

void TKQCaptionButtons::Redraw(HWND wnd) { ::SetWindowPos(wnd, nullptr, 0, 0, 0, 0, kRedrawFlags); }

// ---------------------------------------------------------------------------------------------
// Frames and painting

void TKQCaptionButtons::BuildFrames(HWND wnd) {
  const SIZE size = CaptionButtonSize(wnd);
  NormalFrame_.reset();
  PushedFrame_.reset();
  FramesTransparent_ = false;
  ScopedWindowDC screen(nullptr, ::GetDC(nullptr));
  if (!screen) return;
  NormalFrame_.reset(::CreateCompatibleBitmap(screen.get(), size.cx, size.cy));
  PushedFrame_.reset(::CreateCompatibleBitmap(screen.get(), size.cx, size.cy));
  if (!HasVisibleButtons()) return;
  FramesBuilt_ = true;
  SkinsTaken_ = false;
  if (!UseSystemLook || VisualStylesInUse()) return;  // skins come later; styles draw their part

  ScopedMemoryDC memory(::CreateCompatibleDC(screen.get()));
  ScopedBrush magenta(::CreateSolidBrush(kFrameTransparentColour));
  if (!memory || !magenta || !NormalFrame_ || !PushedFrame_) return;
  const RECT all = {0, 0, size.cx, size.cy};
  const struct {
    HBITMAP bitmap;
    UINT state;
  } frames[] = {{NormalFrame_.get(), DFCS_BUTTONPUSH}, {PushedFrame_.get(), DFCS_BUTTONPUSH | DFCS_PUSHED}};
  for (const auto& frame : frames) {
    ScopedSelectObject select(memory.get(), frame.bitmap);
    ::FillRect(memory.get(), &all, magenta.get());
    RECT r = all;
    ::DrawFrameControl(memory.get(), &r, DFC_BUTTON, frame.state);
  }
  FramesTransparent_ = true;
}

LRESULT TKQCaptionButtons::PaintButtons(HWND wnd, HRGN region) {
  if (!HasVisibleButtons()) return 0;
  ScopedRegion created;
  HRGN target = region;
  Guard([&] {
    if (region == nullptr || region == reinterpret_cast<HRGN>(1)) {
      RECT window;
      if (!::GetWindowRect(wnd, &window)) return;
      created.reset(::CreateRectRgnIndirect(&window));
      if (!created) return;
      target = created.get();
    }
    for (int i = 0; i < Count_; ++i) {
      if (!Buttons_[i] || !Buttons_[i]->Visible) continue;
      const RECT hole = GetHoleRect(i);
      ScopedRegion holeRegion(::CreateRectRgnIndirect(&hole));
      if (holeRegion) ::CombineRgn(target, target, holeRegion.get(), RGN_XOR);
    }
  });
  // The window paints its frame and caption everywhere but inside the holes.
  CallOldWndProc(WM_NCPAINT, reinterpret_cast<WPARAM>(target), 0);
  Guard([&] { DrawButtons(wnd); });
  return 0;
}

void TKQCaptionButtons::DrawButtons(HWND wnd) {
  ScopedWindowDC dc(wnd, ::GetWindowDC(wnd));
  if (!dc) return;
  // Buttons shown only after they were added (a setting changed) find the frames of a set that
  // had no visible button: blank until built now.
  if (!FramesBuilt_) BuildFrames(wnd);
  ScopedTheme theme;
  if (UseSystemLook && VisualStylesInUse()) theme.reset(::OpenThemeData(wnd, kThemeClass));
  for (int i = 0; i < Count_; ++i) {
    const TKQCaptionButton* button = Buttons_[i].get();
    if (!button || !button->Visible) continue;
    const RECT frame = GetButtonRect(wnd, i, true);
    DrawFrame(dc.get(), frame, button->Pushed, theme.get());
    RECT glyph = {frame.left + 1, frame.top + 1, frame.right - 2, frame.bottom - 2};
    if (button->Pushed) ::OffsetRect(&glyph, 1, 1);
    DrawGlyph(dc.get(), glyph, button->Glyph);
  }
}

void TKQCaptionButtons::DrawFrame(HDC dc, const RECT& rect, bool pushed, void* theme) {
  if (UseSystemLook && VisualStylesInUse()) {
    if (theme) {
      ::DrawThemeBackground(static_cast<HTHEME>(theme), dc, kThemePartMinButton,
                            pushed ? kThemeStatePushed : kThemeStateNormal, &rect, nullptr);
    } else {
      // The style's part could not be had: the classic frame stands in.
      RECT r = rect;
      ::DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
    }
    return;
  }
  HBITMAP bitmap = pushed ? PushedFrame_.get() : NormalFrame_.get();
  BITMAP info;
  if (!FramesTransparent_ && !SkinsTaken_) {
    // Neither classic frames nor skins were made (no skin was handed over, or building failed):
    // the empty bitmaps would show as black squares, so the classic frame is drawn directly.
    RECT r = rect;
    ::DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
    return;
  }
  if (!bitmap || !::GetObjectW(bitmap, sizeof(info), &info)) return;
  ScopedMemoryDC memory(::CreateCompatibleDC(dc));
  if (!memory) return;
  ScopedSelectObject select(memory.get(), bitmap);
  if (FramesTransparent_) {
    StretchTransparent(dc, rect, memory.get(), info.bmWidth, info.bmHeight, kFrameTransparentColour);
  } else {
    ::SetStretchBltMode(dc, COLORONCOLOR);
    ::StretchBlt(dc, rect.left, rect.top, RectWidth(rect), RectHeight(rect), memory.get(), 0, 0, info.bmWidth,
                 info.bmHeight, SRCCOPY);
  }
}

void TKQCaptionButtons::DrawGlyph(HDC dc, const RECT& rect, HBITMAP glyph) {
  if (!HasVisibleButtons() || !glyph) return;
  BITMAP info;
  if (!::GetObjectW(glyph, sizeof(info), &info)) return;
  const RECT source = {0, 0, info.bmWidth, info.bmHeight};
  RECT target = FitRectInto(rect, source);
  if (RectWidth(target) <= 0 || RectHeight(target) <= 0) return;
  if (UseSystemLook && VisualStylesInUse()) ::OffsetRect(&target, 0, 1);

  const std::vector<uint32_t> pixels = ReadPixels(dc, glyph, info.bmWidth, info.bmHeight);
  if (pixels.empty()) return;
  // The transparent colour: the bottom-left pixel; white for a monochrome glyph.
  const bool monochrome = info.bmBitsPixel == 1 && info.bmPlanes == 1;
  const uint32_t key = monochrome ? PackPixel(kMonochromeTransparentColour)
                                  : pixels[static_cast<size_t>(info.bmHeight - 1) * info.bmWidth];
  const int w = RectWidth(target), h = RectHeight(target);
  const std::vector<uint32_t> scaled = ScaleKeyed(pixels, info.bmWidth, info.bmHeight, w, h, key);

  BITMAPINFO header = {};
  header.bmiHeader.biSize = sizeof(header.bmiHeader);
  header.bmiHeader.biWidth = w;
  header.bmiHeader.biHeight = -h;
  header.bmiHeader.biPlanes = 1;
  header.bmiHeader.biBitCount = 32;
  header.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  ScopedBitmap image(::CreateDIBSection(dc, &header, DIB_RGB_COLORS, &bits, nullptr, 0));
  ScopedMemoryDC memory(::CreateCompatibleDC(dc));
  if (!image || !bits || !memory) return;
  memcpy(bits, scaled.data(), scaled.size() * sizeof(uint32_t));
  ::GdiFlush();
  ScopedSelectObject select(memory.get(), image.get());
  ::GdiTransparentBlt(dc, target.left, target.top, w, h, memory.get(), 0, 0, w, h, UnpackPixel(key));
}

// ---------------------------------------------------------------------------------------------
// Messages

void TKQCaptionButtons::WndProc(TMessage& message) {
  message.Result = HandleMessage(Wnd_, message.Msg, message.WParam, message.LParam);
}

LRESULT TKQCaptionButtons::HandleMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // One step per message: when it fails before the message was handed on, it is handed on.
  auto step = [&](LRESULT (TKQCaptionButtons::*handler)(HWND, UINT, WPARAM, LPARAM)) -> LRESULT {
    const unsigned passedOn = PassedOn_;
    LRESULT result = 0;
    if (!Guard([&] { result = (this->*handler)(wnd, msg, wParam, lParam); }) && PassedOn_ == passedOn)
      result = CallOldWndProc(msg, wParam, lParam);
    return result;
  };

  if (UpdateButtonMsg != 0 && msg == UpdateButtonMsg) return 0;
  if (msg == WM_NCDESTROY) return step(&TKQCaptionButtons::OnNcDestroy);
  if (msg == WM_CAPTURECHANGED && Tracking_) return step(&TKQCaptionButtons::OnCaptureChanged);
  if (!HasVisibleButtons()) return CallOldWndProc(msg, wParam, lParam);

  switch (msg) {
    case WM_NCPAINT: {
      const unsigned passedOn = PassedOn_;
      if (!Guard([&] { PaintButtons(wnd, reinterpret_cast<HRGN>(wParam)); }) && PassedOn_ == passedOn)
        CallOldWndProc(msg, wParam, lParam);
      return 0;
    }
    case WM_NCACTIVATE:
    case WM_SETTEXT:
      return step(&TKQCaptionButtons::PaintWithoutVisible);
    case WM_NCHITTEST:
      return step(&TKQCaptionButtons::OnHitTest);
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDOWN:
      return step(&TKQCaptionButtons::OnPress);
    case WM_MOUSEMOVE:
      return step(&TKQCaptionButtons::OnDrag);
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
      return step(&TKQCaptionButtons::OnRelease);
    case WM_SYSCOLORCHANGE:
    case WM_WININICHANGE:
      Guard([&] { ::SendMessageA(wnd, WM_NCPAINT, 1, 0); });
      return CallOldWndProc(msg, wParam, lParam);
    case WM_THEMECHANGED: {
      const LRESULT result = CallOldWndProc(msg, wParam, lParam);
      Guard([&] {
        RefreshVisualStyles();
        BuildFrames(wnd);
      });
      return result;
    }
    case kWmCaptionDrawn:
      CallOldWndProc(msg, wParam, lParam);
      Guard([&] { PaintButtons(wnd, reinterpret_cast<HRGN>(1)); });
      return 0;
    default:
      return CallOldWndProc(msg, wParam, lParam);
  }
}

LRESULT TKQCaptionButtons::PaintWithoutVisible(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // With WS_VISIBLE cleared the window's own caption painting does nothing; the one full
  // non-client paint afterwards draws caption and buttons together, without flicker.
  const LONG style = ::GetWindowLongA(wnd, GWL_STYLE);
  ::SetWindowLongA(wnd, GWL_STYLE, style & ~WS_VISIBLE);
  const LRESULT result = CallOldWndProc(msg, wParam, lParam);
  if (::IsWindow(wnd)) {
    // Only the bit taken away is put back: the call may have changed other bits.
    ::SetWindowLongA(wnd, GWL_STYLE, ::GetWindowLongA(wnd, GWL_STYLE) | (style & WS_VISIBLE));
    PaintButtons(wnd, reinterpret_cast<HRGN>(1));
  }
  return result;
}

LRESULT TKQCaptionButtons::OnHitTest(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = CallOldWndProc(msg, wParam, lParam);
  if (result != HTCAPTION) return result;
  return ButtonAt(PointOf(lParam)) >= 0 ? HTBORDER : result;
}

LRESULT TKQCaptionButtons::OnPress(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  const int index = wParam == HTBORDER ? ButtonAt(PointOf(lParam)) : -1;
  if (index < 0) return CallOldWndProc(msg, wParam, lParam);
  if (Tracking_ && PressedIndex_ != index && Button(PressedIndex_)) Buttons_[PressedIndex_]->Pushed = false;
  const bool right = msg == WM_NCRBUTTONDOWN;
  PressedIndex_ = index;
  Buttons_[index]->Pushed = true;
  Tracking_ = true;
  TrackingRight_ = right;
  ::SetCapture(wnd);
  Redraw(wnd);
  Guard([&] { ButtonDown(index, right); });
  return 0;  // the press belongs to the button; the window never sees it
}

LRESULT TKQCaptionButtons::OnDrag(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!Tracking_) return CallOldWndProc(msg, wParam, lParam);
  TKQCaptionButton* button = Button(PressedIndex_);
  if (!button) return 0;
  POINT point = PointOf(lParam);
  ::ClientToScreen(wnd, &point);
  const RECT hit = GetHitRect(PressedIndex_);
  const bool inside = ::PtInRect(&hit, point) != FALSE;
  if (inside != button->Pushed) {
    button->Pushed = inside;
    Redraw(wnd);
  }
  return 0;
}

LRESULT TKQCaptionButtons::OnRelease(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (Tracking_) {
    POINT point = PointOf(lParam);
    ::ClientToScreen(wnd, &point);
    Releasing_ = true;
    ::ReleaseCapture();
    Releasing_ = false;
    const int index = PressedIndex_;
    const RECT hit = GetHitRect(index);
    if (::PtInRect(&hit, point)) Guard([&] { Click(index); });
    if (TKQCaptionButton* button = Button(index)) button->Pushed = false;
    Tracking_ = false;
    Redraw(wnd);
    Guard([&] { ButtonUp(index, msg == WM_RBUTTONUP); });
    // The window never saw the press. A right release passed on would make its default
    // procedure open the window menu at the caption point, over the owner's own menu.
    if (msg == WM_RBUTTONUP) return 0;
  }
  return CallOldWndProc(msg, wParam, lParam);
}

LRESULT TKQCaptionButtons::OnCaptureChanged(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // The capture went elsewhere while a button was held (another window took it, the user
  // switched away): the press ends without a click, so the window's mouse moves reach it again.
  if (!Releasing_ && reinterpret_cast<HWND>(lParam) != wnd) {
    const int index = PressedIndex_;
    if (TKQCaptionButton* button = Button(index)) button->Pushed = false;
    Tracking_ = false;
    Redraw(wnd);
    Guard([&] { ButtonUp(index, TrackingRight_); });
  }
  return CallOldWndProc(msg, wParam, lParam);
}

LRESULT TKQCaptionButtons::OnNcDestroy(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = CallOldWndProc(msg, wParam, lParam);
  // The window is gone: the set leaves its list (so a new window with the same handle value is
  // served) and its entry goes back to the pool, even when a later subclasser still names it as
  // its old procedure: after WM_NCDESTROY the window receives nothing more.
  WindowGone_ = true;
  if (TKQCaptionButtonsLst* owner = Owner_) {
    owner->RemoveSet(this);
    return result;
  }
  Detach();
  return result;
}

// ---------------------------------------------------------------------------------------------
// The list

TKQCaptionButtonsLst::TKQCaptionButtonsLst() { ::InitializeCriticalSection(&Lock_); }

TKQCaptionButtonsLst::~TKQCaptionButtonsLst() {
  Clear();
  ::DeleteCriticalSection(&Lock_);
}

std::unique_ptr<TKQCaptionButtons> TKQCaptionButtonsLst::CreateButtons(HWND wnd) {
  return std::make_unique<TKQCaptionButtons>(wnd);
}

TKQCaptionButtons* TKQCaptionButtonsLst::Add(HWND wnd) {
  if (HasWindow(wnd)) return nullptr;
  std::unique_ptr<TKQCaptionButtons> set;
  if (!Guard([&] { set = CreateButtons(wnd); }) || !set) return nullptr;
  TKQCaptionButtons* added = set.get();
  const bool kept = Guarded(false, [&] {
    TListGuard guard(Lock_);
    const bool taken = std::any_of(Items_.begin(), Items_.end(), [&](const auto& item) { return item->Wnd_ == wnd; });
    if (taken) return false;
    set->Owner_ = this;
    Items_.push_back(std::move(set));
    return true;
  });
  if (kept) return added;
  if (set) set->Owner_ = nullptr;
  TKQCaptionButtons::Dispose(std::move(set));
  return nullptr;
}

bool TKQCaptionButtonsLst::HasWindow(HWND wnd) const { return Find(wnd) != nullptr; }

TKQCaptionButtons* TKQCaptionButtonsLst::Find(HWND wnd) const {
  TListGuard guard(Lock_);
  for (const auto& item : Items_)
    if (item->Wnd_ == wnd) return item.get();
  return nullptr;
}

std::unique_ptr<TKQCaptionButtons> TKQCaptionButtonsLst::TakeOut(TKQCaptionButtons* set, HWND wnd) {
  std::unique_ptr<TKQCaptionButtons> taken;
  TListGuard guard(Lock_);
  auto found = std::find_if(Items_.begin(), Items_.end(),
                            [&](const auto& item) { return set ? item.get() == set : item->Wnd_ == wnd; });
  if (found == Items_.end()) return taken;
  taken = std::move(*found);
  Items_.erase(found);
  taken->Owner_ = nullptr;
  return taken;
}

bool TKQCaptionButtonsLst::Remove(HWND wnd) {
  std::unique_ptr<TKQCaptionButtons> set = TakeOut(nullptr, wnd);
  if (!set) return false;
  TKQCaptionButtons::Dispose(std::move(set));
  return true;
}

bool TKQCaptionButtonsLst::RemoveSet(TKQCaptionButtons* set) {
  std::unique_ptr<TKQCaptionButtons> taken = TakeOut(set, nullptr);
  if (!taken) return false;
  TKQCaptionButtons::Dispose(std::move(taken));
  return true;
}

void TKQCaptionButtonsLst::Clear() {
  for (;;) {
    std::unique_ptr<TKQCaptionButtons> set;
    {
      TListGuard guard(Lock_);
      if (Items_.empty()) return;
      set = std::move(Items_.front());
      Items_.erase(Items_.begin());
    }
    set->Owner_ = nullptr;
    TKQCaptionButtons::Dispose(std::move(set));
  }
}

size_t TKQCaptionButtonsLst::Count() const {
  TListGuard guard(Lock_);
  return Items_.size();
}

}  // namespace kq
