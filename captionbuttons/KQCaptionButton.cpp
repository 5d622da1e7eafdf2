#include "captionbuttons/KQCaptionButton.h"

#include <uxtheme.h>
#include <vssym32.h>
#include <windowsx.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "captionbuttons/KQWndProcThunk.h"
#include "common/KQGuard.h"
#include "common/KQScoped.h"
#include "common/KQSysCalls.h"
#include "common/KQTrace.h"
#include "common/KQUtils.h"

namespace kq {

UINT UpdateButtonMsg = 0;

namespace {

// The whole non-client area is painted again.
constexpr UINT kRedrawFlags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED;

// A message some systems send after drawing the caption themselves: the buttons are painted
// again on top. The system headers do not name it.
constexpr UINT kWmCaptionDrawn = 0x0591;

// The visual-style part the buttons borrow: the minimise button (WP_MINBUTTON) of class "window".
constexpr wchar_t kThemeClass[] = L"window";

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
// The minimise and maximise buttons overlap by this much.
constexpr int kMinMaxOverlap = 2;
// A glyph inside its frame; a pushed one moves down and right, and a themed frame draws it lower.
constexpr int kGlyphInsetTopLeft = 1;
constexpr int kGlyphInsetBottomRight = 2;
constexpr int kPushedGlyphShift = 1;
constexpr int kThemedGlyphDrop = 1;

std::atomic<bool> g_VisualStyles{false};

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
  TITLEBARINFOEX info;
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
    width += 2 * button - kMinMaxOverlap;
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
constexpr WORD kPixelBits = 32;

BITMAPINFO PixelHeader(int w, int h) {
  BITMAPINFO header = {};
  header.bmiHeader.biSize = sizeof(header.bmiHeader);
  header.bmiHeader.biWidth = w;
  header.bmiHeader.biHeight = -h;  // top row first
  header.bmiHeader.biPlanes = 1;
  header.bmiHeader.biBitCount = kPixelBits;
  header.bmiHeader.biCompression = BI_RGB;
  return header;
}

uint32_t PackPixel(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }
COLORREF UnpackPixel(uint32_t p) { return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); }

// The pixels of a bitmap (which is never selected into a device context for this, so glyphs
// shared by the sets of several threads can be read at the same time); empty on failure.
std::vector<uint32_t> ReadPixels(HDC dc, HBITMAP bitmap, int w, int h) {
  std::vector<uint32_t> pixels;
  if (w <= 0 || h <= 0 || w > kMaxGlyphSide || h > kMaxGlyphSide) return pixels;
  BITMAPINFO header = PixelHeader(w, h);
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

// ---------------------------------------------------------------------------------------------
// Construction, attachment, destruction

TKQCaptionButtons::TKQCaptionButtons(HWND wnd) {
  Guard([&] { BuildFrames(wnd); });
  if (!::IsWindow(wnd)) return;
  wnd_ = wnd;
  unicode_ = ::IsWindowUnicode(wnd) != FALSE;
  WNDPROC thunk = AllocWndProcThunk({&TKQCaptionButtons::EntryProc, this});
  if (!thunk) return;
  ::SetLastError(0);
  const LONG_PTR value = reinterpret_cast<LONG_PTR>(thunk);
  const LONG_PTR previous =
      unicode_ ? ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, value) : ::SetWindowLongPtrA(wnd, GWLP_WNDPROC, value);
  if (previous == 0 && ::GetLastError() != 0) {
    FreeWndProcThunk(thunk);  // a window of another process, or one being destroyed
    return;
  }
  oldWndProc_ = reinterpret_cast<WNDPROC>(previous);
  wndProcThunk_ = thunk;
}

TKQCaptionButtons::~TKQCaptionButtons() {
  Guard([&] {
    if (tracking_ && wnd_ && ::GetCapture() == wnd_) {
      releasing_ = true;
      ::ReleaseCapture();
    }
  });
  Guard([&] { Detach(); });
}

void TKQCaptionButtons::Detach() {
  WNDPROC thunk = wndProcThunk_;
  if (!thunk) return;
  wndProcThunk_ = nullptr;
  if (windowGone_ || !::IsWindow(wnd_)) {
    FreeWndProcThunk(thunk);  // no window left that could call it
    return;
  }
  const LONG_PTR current = unicode_ ? ::GetWindowLongPtrW(wnd_, GWLP_WNDPROC) : ::GetWindowLongPtrA(wnd_, GWLP_WNDPROC);
  if (current == reinterpret_cast<LONG_PTR>(thunk)) {
    const LONG_PTR old = reinterpret_cast<LONG_PTR>(oldWndProc_);
    ::SetLastError(0);
    const LONG_PTR replaced =
        unicode_ ? ::SetWindowLongPtrW(wnd_, GWLP_WNDPROC, old) : ::SetWindowLongPtrA(wnd_, GWLP_WNDPROC, old);
    if (replaced != 0 || ::GetLastError() == 0) {
      FreeWndProcThunk(thunk);
      return;
    }
  }
  // Another procedure sits on top and calls the entry as its old procedure: the entry stays and
  // forwards every message to the procedure this set replaced, without this module's code.
  if (ForwardWndProcThunk(thunk, oldWndProc_, unicode_)) return;
  RetargetWndProcThunk(thunk, {unicode_ ? &ForwardW : &ForwardA, reinterpret_cast<void*>(oldWndProc_)});
  KeepModuleLoaded();
}

void TKQCaptionButtons::Dispose(std::unique_ptr<TKQCaptionButtons> set) {
  if (!set) return;
  if (set->depth_ > 0) {
    Guard([&] { set->Detach(); });
    set->deleteWhenIdle_ = true;
    set.release();  // EntryProc deletes it when its outermost call returns
  }
}

template <typename TStepBody>
void TKQCaptionButtons::RunStep(TMessage& message, TStepBody&& step) {
  const unsigned passedOn = passedOn_;
  if (!Guard(step) && passedOn_ == passedOn) message.Result = PassOn(message);
}

LRESULT TKQCaptionButtons::EntryProc(void* object, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* set = static_cast<TKQCaptionButtons*>(object);
  ++set->depth_;
  TMessage message = {msg, wParam, lParam, 0};
  TServedWindow served(wnd);
  set->RunStep(message, [&] { set->WndProc(message); });
  if (--set->depth_ == 0 && set->deleteWhenIdle_) delete set;
  return message.Result;
}

LRESULT TKQCaptionButtons::CallOldWndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!oldWndProc_) return 0;
  ++passedOn_;
  // The old procedure is the program's: what it raises is its own, past our guards.
  TForeignCodeScope foreign;
  // The old procedure was read with the functions the window was subclassed with; it is called
  // with the same ones, so its messages keep their form.
  return unicode_ ? ::CallWindowProcW(oldWndProc_, wnd_, msg, wParam, lParam)
                  : ::CallWindowProcA(oldWndProc_, wnd_, msg, wParam, lParam);
}

// ---------------------------------------------------------------------------------------------
// Buttons and layout

TKQCaptionButton* TKQCaptionButtons::Button(int index) const {
  return index >= 0 && index < count_ ? buttons_[index].get() : nullptr;
}

bool TKQCaptionButtons::AddButton(HWND wnd, int tag, int spacing, HBITMAP glyph, bool visible) {
  return Guarded(false, [&] {
    tracking_ = false;
    if (count_ >= kMaxButtons) return false;
    auto button = std::make_unique<TKQCaptionButton>();
    button->Tag = tag;
    button->Spacing = spacing;
    button->Glyph = glyph;
    button->Visible = visible;
    buttons_[count_++] = std::move(button);
    if (visible) {
      // Frames made while no button was visible are blank: make them now.
      if (!framesBuilt_) BuildFrames(wnd);
      Redraw(wnd);
    }
    return true;
  });
}

bool TKQCaptionButtons::SetFrameBitmaps(HBITMAP up, HBITMAP down) {
  if (!HasVisibleButtons()) return false;
  Guard([&] { BuildFrames(wnd_); });
  bool taken = false;
  if (!UseSystemLook && up && down) {
    normalFrame_.reset(up);
    pushedFrame_.reset(down);
    framesTransparent_ = false;
    skinsTaken_ = true;
    taken = true;
  }
  Redraw(wnd_);
  return taken;
}

void TKQCaptionButtons::SetRightOffset(int value) {
  rightOffset_ = value;
  Redraw(wnd_);
}

void TKQCaptionButtons::Refresh() {
  if (HasVisibleButtons()) Redraw(wnd_);
}

bool TKQCaptionButtons::HasVisibleButtons() const {
  for (int i = 0; i < count_; ++i)
    if (buttons_[i] && buttons_[i]->Visible) return true;
  return false;
}

RECT TKQCaptionButtons::GetButtonRect(HWND wnd, int index, bool windowRelative) const {
  const SIZE size = CaptionButtonSize(wnd);
  int step = SystemButtonsWidth(wnd) + rightOffset_;
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
  RECT r = GetButtonRect(wnd_, index, false);
  r.top -= kHitGrow;
  r.bottom += kHitGrow;
  return r;
}

RECT TKQCaptionButtons::GetHoleRect(int index) const {
  RECT r = GetButtonRect(wnd_, index, false);
  ::InflateRect(&r, -kHoleShrink, -kHoleShrink);
  return r;
}

int TKQCaptionButtons::ButtonAt(POINT screenPoint) const {
  // A hidden button keeps its place in the row, but cannot be pressed: it is not there to see.
  for (int i = 0; i < count_; ++i) {
    if (!buttons_[i] || !buttons_[i]->Visible) continue;
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
  normalFrame_.reset();
  pushedFrame_.reset();
  framesTransparent_ = false;
  ScopedWindowDC screen(nullptr, ::GetDC(nullptr));
  if (!screen) return;
  normalFrame_.reset(::CreateCompatibleBitmap(screen.get(), size.cx, size.cy));
  pushedFrame_.reset(::CreateCompatibleBitmap(screen.get(), size.cx, size.cy));
  if (!HasVisibleButtons()) return;
  framesBuilt_ = true;
  skinsTaken_ = false;
  if (!UseSystemLook || VisualStylesInUse()) return;  // skins come later; styles draw their part

  ScopedMemoryDC memory(::CreateCompatibleDC(screen.get()));
  ScopedBrush magenta(::CreateSolidBrush(kFrameTransparentColour));
  if (!memory || !magenta || !normalFrame_ || !pushedFrame_) return;
  const RECT all = {0, 0, size.cx, size.cy};
  const struct {
    HBITMAP bitmap;
    UINT state;
  } frames[] = {{normalFrame_.get(), DFCS_BUTTONPUSH}, {pushedFrame_.get(), DFCS_BUTTONPUSH | DFCS_PUSHED}};
  for (const auto& frame : frames) {
    ScopedSelectObject select(memory.get(), frame.bitmap);
    ::FillRect(memory.get(), &all, magenta.get());
    RECT r = all;
    ::DrawFrameControl(memory.get(), &r, DFC_BUTTON, frame.state);
  }
  framesTransparent_ = true;
}

LRESULT TKQCaptionButtons::PaintButtons(HWND wnd, HRGN region) {
  if (!HasVisibleButtons()) return 0;
  ScopedRegion created;
  HRGN target = region;
  Guard([&] {
    if (region == nullptr || region == kWholeWindowRegion) {
      RECT window;
      if (!::GetWindowRect(wnd, &window)) return;
      created.reset(::CreateRectRgnIndirect(&window));
      if (!created) return;
      target = created.get();
    }
    for (int i = 0; i < count_; ++i) {
      if (!buttons_[i] || !buttons_[i]->Visible) continue;
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
  // Buttons shown only after they were added (a setting changed) find the frames of a set that
  // had no visible button: blank until built now. Built before the window's DC is taken: building
  // takes the screen's, and a process whose painting holds two of the system's cached DCs at once
  // makes the cache keep one more for good.
  if (!framesBuilt_) BuildFrames(wnd);
  ScopedWindowDC dc(wnd, ::GetWindowDC(wnd));
  if (!dc) return;
  ScopedTheme theme;
  if (UseSystemLook && VisualStylesInUse()) theme.reset(::OpenThemeData(wnd, kThemeClass));
  for (int i = 0; i < count_; ++i) {
    const TKQCaptionButton* button = buttons_[i].get();
    if (!button || !button->Visible) continue;
    const RECT frame = GetButtonRect(wnd, i, true);
    DrawFrame(dc.get(), frame, button->Pushed, theme.get());
    RECT glyph = {frame.left + kGlyphInsetTopLeft, frame.top + kGlyphInsetTopLeft, frame.right - kGlyphInsetBottomRight,
                  frame.bottom - kGlyphInsetBottomRight};
    if (button->Pushed) ::OffsetRect(&glyph, kPushedGlyphShift, kPushedGlyphShift);
    DrawGlyph(dc.get(), glyph, button->Glyph);
  }
}

void TKQCaptionButtons::DrawFrame(HDC dc, const RECT& rect, bool pushed, void* theme) {
  if (UseSystemLook && VisualStylesInUse()) {
    if (theme) {
      ::DrawThemeBackground(static_cast<HTHEME>(theme), dc, WP_MINBUTTON, pushed ? MINBS_PUSHED : MINBS_NORMAL, &rect,
                            nullptr);
    } else {
      // The style's part could not be had: the classic frame stands in.
      RECT r = rect;
      ::DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
    }
    return;
  }
  HBITMAP bitmap = pushed ? pushedFrame_.get() : normalFrame_.get();
  BITMAP info;
  if (!framesTransparent_ && !skinsTaken_) {
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
  if (framesTransparent_) {
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
  if (UseSystemLook && VisualStylesInUse()) ::OffsetRect(&target, 0, kThemedGlyphDrop);

  const std::vector<uint32_t> pixels = ReadPixels(dc, glyph, info.bmWidth, info.bmHeight);
  if (pixels.empty()) return;
  // The transparent colour: the bottom-left pixel; white for a monochrome glyph.
  const bool monochrome = info.bmBitsPixel == 1 && info.bmPlanes == 1;
  const uint32_t key = monochrome ? PackPixel(kMonochromeTransparentColour)
                                  : pixels[static_cast<size_t>(info.bmHeight - 1) * info.bmWidth];
  const int w = RectWidth(target), h = RectHeight(target);
  const std::vector<uint32_t> scaled = ScaleKeyed(pixels, info.bmWidth, info.bmHeight, w, h, key);

  BITMAPINFO header = PixelHeader(w, h);
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

void TKQCaptionButtons::WndProc(TMessage& message) { message.Result = HandleMessage(message); }

LRESULT TKQCaptionButtons::HandleMessage(const TMessage& message) {
  // The settings message is the subclass's business; the window never sees it.
  if (UpdateButtonMsg != 0 && message.Msg == UpdateButtonMsg) return 0;
  // A set without a visible button only follows the end of its window and of a press it tracks.
  if (!HasVisibleButtons() && message.Msg != WM_NCDESTROY && message.Msg != WM_CAPTURECHANGED) return PassOn(message);

  switch (message.Msg) {
    case WM_NCDESTROY:
      return Step(&TKQCaptionButtons::OnNcDestroy, message);
    case WM_CAPTURECHANGED:
      return tracking_ ? Step(&TKQCaptionButtons::OnCaptureChanged, message) : PassOn(message);
    case WM_NCPAINT:
      return OnNcPaint(message);
    case WM_NCACTIVATE:
    case WM_SETTEXT:
      return Step(&TKQCaptionButtons::OnCaptionChange, message);
    case WM_NCHITTEST:
      return Step(&TKQCaptionButtons::OnHitTest, message);
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDOWN:
      return Step(&TKQCaptionButtons::OnPress, message);
    case WM_MOUSEMOVE:
      return Step(&TKQCaptionButtons::OnDrag, message);
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
      return Step(&TKQCaptionButtons::OnRelease, message);
    case WM_SYSCOLORCHANGE:
    case WM_WININICHANGE:
      return OnColoursChanged(message);
    case WM_THEMECHANGED:
      return OnThemeChanged(message);
    case kWmCaptionDrawn:
      return OnCaptionDrawn(message);
    default:
      return PassOn(message);
  }
}

LRESULT TKQCaptionButtons::Step(TMessageHandler handler, const TMessage& message) {
  TMessage step = message;
  RunStep(step, [&] { step.Result = (this->*handler)(message); });
  return step.Result;
}

LRESULT TKQCaptionButtons::PassOn(const TMessage& message) {
  return CallOldWndProc(message.Msg, message.WParam, message.LParam);
}

LRESULT TKQCaptionButtons::OnNcPaint(const TMessage& message) {
  TMessage step = message;
  RunStep(step, [&] { PaintButtons(wnd_, reinterpret_cast<HRGN>(message.WParam)); });
  return 0;
}

LRESULT TKQCaptionButtons::OnCaptionChange(const TMessage& message) {
  // With WS_VISIBLE cleared the window's own caption painting does nothing; the one full
  // non-client paint afterwards draws caption and buttons together, without flicker.
  const LONG style = ::GetWindowLongA(wnd_, GWL_STYLE);
  ::SetWindowLongA(wnd_, GWL_STYLE, style & ~WS_VISIBLE);
  const LRESULT result = PassOn(message);
  if (::IsWindow(wnd_)) {
    // Only the bit taken away is put back: the call may have changed other bits.
    ::SetWindowLongA(wnd_, GWL_STYLE, ::GetWindowLongA(wnd_, GWL_STYLE) | (style & WS_VISIBLE));
    PaintButtons(wnd_, kWholeWindowRegion);
  }
  return result;
}

LRESULT TKQCaptionButtons::OnHitTest(const TMessage& message) {
  const LRESULT result = PassOn(message);
  if (result != HTCAPTION) return result;
  return ButtonAt(PointOf(message.LParam)) >= 0 ? HTBORDER : result;
}

LRESULT TKQCaptionButtons::OnPress(const TMessage& message) {
  const int index = message.WParam == HTBORDER ? ButtonAt(PointOf(message.LParam)) : -1;
  if (index < 0) return PassOn(message);
  if (tracking_ && pressedIndex_ != index && Button(pressedIndex_)) buttons_[pressedIndex_]->Pushed = false;
  const bool right = message.Msg == WM_NCRBUTTONDOWN;
  pressedIndex_ = index;
  buttons_[index]->Pushed = true;
  tracking_ = true;
  trackingRight_ = right;
  ::SetCapture(wnd_);
  Redraw(wnd_);
  Guard([&] { ButtonDown(index, right); });
  return 0;  // the press belongs to the button; the window never sees it
}

LRESULT TKQCaptionButtons::OnDrag(const TMessage& message) {
  if (!tracking_) return PassOn(message);
  TKQCaptionButton* button = Button(pressedIndex_);
  if (!button) return 0;
  POINT point = PointOf(message.LParam);
  ::ClientToScreen(wnd_, &point);
  const RECT hit = GetHitRect(pressedIndex_);
  const bool inside = ::PtInRect(&hit, point) != FALSE;
  if (inside != button->Pushed) {
    button->Pushed = inside;
    Redraw(wnd_);
  }
  return 0;
}

LRESULT TKQCaptionButtons::OnRelease(const TMessage& message) {
  if (tracking_) {
    const bool right = message.Msg == WM_RBUTTONUP;
    POINT point = PointOf(message.LParam);
    ::ClientToScreen(wnd_, &point);
    releasing_ = true;
    ::ReleaseCapture();
    releasing_ = false;
    const int index = pressedIndex_;
    const RECT hit = GetHitRect(index);
    if (::PtInRect(&hit, point)) Guard([&] { Click(index); });
    if (TKQCaptionButton* button = Button(index)) button->Pushed = false;
    tracking_ = false;
    Redraw(wnd_);
    Guard([&] { ButtonUp(index, right); });
    // The window never saw the press. A right release passed on would make its default
    // procedure open the window menu at the caption point, over the owner's own menu.
    if (right) return 0;
  }
  return PassOn(message);
}

LRESULT TKQCaptionButtons::OnCaptureChanged(const TMessage& message) {
  // The capture went elsewhere while a button was held (another window took it, the user
  // switched away): the press ends without a click, so the window's mouse moves reach it again.
  if (!releasing_ && reinterpret_cast<HWND>(message.LParam) != wnd_) {
    const int index = pressedIndex_;
    if (TKQCaptionButton* button = Button(index)) button->Pushed = false;
    tracking_ = false;
    Redraw(wnd_);
    Guard([&] { ButtonUp(index, trackingRight_); });
  }
  return PassOn(message);
}

LRESULT TKQCaptionButtons::OnColoursChanged(const TMessage& message) {
  Guard([&] { ::SendMessageA(wnd_, WM_NCPAINT, reinterpret_cast<WPARAM>(kWholeWindowRegion), 0); });
  return PassOn(message);
}

LRESULT TKQCaptionButtons::OnThemeChanged(const TMessage& message) {
  const LRESULT result = PassOn(message);
  Guard([&] {
    RefreshVisualStyles();
    BuildFrames(wnd_);
  });
  return result;
}

LRESULT TKQCaptionButtons::OnCaptionDrawn(const TMessage& message) {
  PassOn(message);
  Guard([&] { PaintButtons(wnd_, kWholeWindowRegion); });
  return 0;
}

LRESULT TKQCaptionButtons::OnNcDestroy(const TMessage& message) {
  const LRESULT result = PassOn(message);
  // The window is gone: the set leaves its list (so a new window with the same handle value is
  // served) and its entry goes back to the pool, even when a later subclasser still names it as
  // its old procedure: after WM_NCDESTROY the window receives nothing more.
  windowGone_ = true;
  if (TKQCaptionButtonsLst* owner = owner_) {
    owner->RemoveSet(this);
    return result;
  }
  Detach();
  return result;
}

// ---------------------------------------------------------------------------------------------
// The list

TKQCaptionButtonsLst::TKQCaptionButtonsLst() = default;

TKQCaptionButtonsLst::~TKQCaptionButtonsLst() { Clear(); }

std::unique_ptr<TKQCaptionButtons> TKQCaptionButtonsLst::CreateButtons(HWND wnd) {
  return std::make_unique<TKQCaptionButtons>(wnd);
}

TKQCaptionButtons* TKQCaptionButtonsLst::Add(HWND wnd) {
  if (HasWindow(wnd)) return nullptr;
  std::unique_ptr<TKQCaptionButtons> set;
  if (!Guard([&] { set = CreateButtons(wnd); }) || !set) return nullptr;
  TKQCaptionButtons* added = set.get();
  const bool kept = Guarded(false, [&] {
    TLockGuard guard(lock_);
    const bool taken = std::any_of(items_.begin(), items_.end(), [&](const auto& item) { return item->wnd_ == wnd; });
    if (taken) return false;
    set->owner_ = this;
    items_.push_back(std::move(set));
    return true;
  });
  if (kept) return added;
  if (set) set->owner_ = nullptr;
  TKQCaptionButtons::Dispose(std::move(set));
  return nullptr;
}

bool TKQCaptionButtonsLst::HasWindow(HWND wnd) const { return Find(wnd) != nullptr; }

TKQCaptionButtons* TKQCaptionButtonsLst::Find(HWND wnd) const {
  TLockGuard guard(lock_);
  for (const auto& item : items_)
    if (item->wnd_ == wnd) return item.get();
  return nullptr;
}

std::unique_ptr<TKQCaptionButtons> TKQCaptionButtonsLst::TakeOut(TKQCaptionButtons* set, HWND wnd) {
  std::unique_ptr<TKQCaptionButtons> taken;
  TLockGuard guard(lock_);
  auto found = std::find_if(items_.begin(), items_.end(),
                            [&](const auto& item) { return set ? item.get() == set : item->wnd_ == wnd; });
  if (found == items_.end()) return taken;
  taken = std::move(*found);
  items_.erase(found);
  taken->owner_ = nullptr;
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
      TLockGuard guard(lock_);
      if (items_.empty()) return;
      set = std::move(items_.front());
      items_.erase(items_.begin());
    }
    set->owner_ = nullptr;
    TKQCaptionButtons::Dispose(std::move(set));
  }
}

size_t TKQCaptionButtonsLst::Count() const {
  TLockGuard guard(lock_);
  return items_.size();
}

}  // namespace kq
