// Extra buttons in the title bar of a foreign top-level window: the model, the layout, the
// painting (visual style, classic frame or skin) and the take-over of the window's procedure.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "common/KQLock.h"
#include "common/KQScoped.h"

namespace kq {

// WM_NCPAINT's update region that stands for the whole window.
inline const HRGN kWholeWindowRegion = reinterpret_cast<HRGN>(1);

// The message record a set's WndProc receives; Result is written by the call.
struct TMessage {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};

// "Lanterna_UpdateButton": settings changed, read them again. Registered at start-up (registered
// messages live as long as the session: there is no shut-down).
inline constexpr char kUpdateButtonMsgName[] = "Lanterna_UpdateButton";
extern UINT UpdateButtonMsg;
void StartupCaptionButtons();

// Visual styles in use: a theme is active, the application is themed and its theme properties
// allow themed controls. Read once per process and again when a set's window hears
// WM_THEMECHANGED.
bool VisualStylesInUse();
void RefreshVisualStyles();

class TKQCaptionButton {
 public:
  int Tag = 0;
  int Spacing = 0;
  HBITMAP Glyph = nullptr;  // owned by the caller, never destroyed here
  bool Pushed = false;
  bool Visible = false;
};

class TKQCaptionButtonsLst;

// One set of buttons on one top-level window. All its operations run on the thread that owns the
// window; a set is destroyed on that thread too (or through its list, which copes with a set
// that is busy in its own window procedure).
class TKQCaptionButtons {
 public:
  static constexpr int kMaxButtons = 8;

  // Builds the frames and, when wnd is a window, takes over its window procedure.
  explicit TKQCaptionButtons(HWND wnd);
  // Gives the window its own procedure back (unless a later subclasser came on top, in
  // which case the entry stays and forwards every message to the old procedure).
  virtual ~TKQCaptionButtons();
  TKQCaptionButtons(const TKQCaptionButtons&) = delete;
  TKQCaptionButtons& operator=(const TKQCaptionButtons&) = delete;

  // The message entry. The base runs HandleMessage.
  virtual void WndProc(TMessage& message);
  virtual void ButtonDown(int index, bool rightButton) {}
  virtual void ButtonUp(int index, bool rightButton) {}
  virtual void Click(int index) {}
  // False when all slots are used or the button could not be made.
  virtual bool AddButton(HWND wnd, int tag, int spacing, HBITMAP glyph, bool visible);

  // Takes ownership of both handles only when a button is visible, UseSystemLook is false and
  // both are non-null; answers whether it took them (the caller deletes what was not taken).
  bool SetFrameBitmaps(HBITMAP up, HBITMAP down);
  void SetRightOffset(int value);
  void Refresh();
  bool HasVisibleButtons() const;
  RECT GetButtonRect(HWND wnd, int index, bool windowRelative) const;
  RECT GetHitRect(int index) const;   // screen coordinates, grown 2 pixels at top and bottom
  RECT GetHoleRect(int index) const;  // screen coordinates, shrunk 2 pixels on every side
  void Redraw(HWND wnd);
  void BuildFrames(HWND wnd);
  // Paints the window's frame and caption without the buttons' holes, then the buttons; region is
  // the update region of WM_NCPAINT (null or kWholeWindowRegion for all of the window).
  LRESULT PaintButtons(HWND wnd, HRGN region);
  void DrawGlyph(HDC dc, const RECT& rect, HBITMAP glyph);
  LRESULT CallOldWndProc(UINT msg, WPARAM wParam, LPARAM lParam);

  HWND Wnd() const { return wnd_; }
  int Count() const { return count_; }
  TKQCaptionButton* Button(int index) const;  // null outside 0..Count-1
  bool Attached() const { return wndProcThunk_ != nullptr; }
  int RightOffset() const { return rightOffset_; }
  bool Tracking() const { return tracking_; }
  WNDPROC WndProcThunk() const { return wndProcThunk_; }
  WNDPROC OldWndProc() const { return oldWndProc_; }
  TKQCaptionButtonsLst* Owner() const { return owner_; }

  bool UseSystemLook = true;

 protected:
  // The framework's messages: caption painting, hit testing, presses and releases, the end of the
  // window. Everything else goes to the window's own procedure.
  LRESULT HandleMessage(const TMessage& message);

 private:
  friend class TKQCaptionButtonsLst;

  static LRESULT EntryProc(void* object, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  // Runs step, a guarded step of message. When the step fails before it handed the message to the
  // old procedure, the message is handed on and message.Result takes the answer; after, the
  // answer stays what it was.
  template <typename TStepBody>
  void RunStep(TMessage& message, TStepBody&& step);
  // Gives the window its procedure back, or leaves the entry forwarding to it when another
  // procedure came on top; afterwards nothing reaches this set any more.
  void Detach();
  // Destroys a set taken out of its list; a set inside its own window procedure is detached now
  // and deleted when its outermost call returns.
  static void Dispose(std::unique_ptr<TKQCaptionButtons> set);

  // One guarded step per message: a handler that fails before the message was handed on has it
  // handed on.
  using TMessageHandler = LRESULT (TKQCaptionButtons::*)(const TMessage& message);
  LRESULT Step(TMessageHandler handler, const TMessage& message);
  LRESULT PassOn(const TMessage& message);  // to the window's own procedure

  LRESULT OnNcPaint(const TMessage& message);
  LRESULT OnCaptionChange(const TMessage& message);  // WM_NCACTIVATE, WM_SETTEXT
  LRESULT OnHitTest(const TMessage& message);
  LRESULT OnPress(const TMessage& message);
  LRESULT OnDrag(const TMessage& message);
  LRESULT OnRelease(const TMessage& message);
  LRESULT OnCaptureChanged(const TMessage& message);
  LRESULT OnColoursChanged(const TMessage& message);  // WM_SYSCOLORCHANGE, WM_WININICHANGE
  LRESULT OnThemeChanged(const TMessage& message);
  LRESULT OnCaptionDrawn(const TMessage& message);
  LRESULT OnNcDestroy(const TMessage& message);
  int ButtonAt(POINT screenPoint) const;  // first visible button whose hit rectangle holds it, or -1
  void DrawButtons(HWND wnd);
  void DrawFrame(HDC dc, const RECT& rect, bool pushed, void* theme);

  ScopedBitmap normalFrame_;
  ScopedBitmap pushedFrame_;
  bool framesTransparent_ = false;  // classic frames drawn on magenta
  bool framesBuilt_ = false;        // BuildFrames ran with a visible button, or skins were taken
  bool skinsTaken_ = false;         // the frames are skin bitmaps handed over by SetFrameBitmaps
  int rightOffset_ = 0;
  HWND wnd_ = nullptr;
  std::unique_ptr<TKQCaptionButton> buttons_[kMaxButtons];
  bool tracking_ = false;
  bool trackingRight_ = false;
  bool releasing_ = false;
  WNDPROC wndProcThunk_ = nullptr;
  WNDPROC oldWndProc_ = nullptr;
  bool unicode_ = false;  // the window was subclassed with the wide functions
  int pressedIndex_ = 0;
  int count_ = 0;
  int depth_ = 0;  // calls of this set's window procedure in progress on its thread
  bool deleteWhenIdle_ = false;
  bool windowGone_ = false;                // WM_NCDESTROY has been passed on
  unsigned passedOn_ = 0;                  // messages handed to the old procedure, to spot a step that failed first
  TKQCaptionButtonsLst* owner_ = nullptr;  // the list holding this set, told at WM_NCDESTROY
};

// The per-process list of sets. Safe to use from several GUI threads at once; the lock is never
// held while a window is called.
class TKQCaptionButtonsLst {
 public:
  TKQCaptionButtonsLst();
  virtual ~TKQCaptionButtonsLst();  // Clear
  TKQCaptionButtonsLst(const TKQCaptionButtonsLst&) = delete;
  TKQCaptionButtonsLst& operator=(const TKQCaptionButtonsLst&) = delete;

  // Builds the set for wnd; a failure (exception) reaches the caller of Add.
  virtual std::unique_ptr<TKQCaptionButtons> CreateButtons(HWND wnd);

  // Builds a set for wnd and keeps it; null when wnd already has one or the build failed.
  TKQCaptionButtons* Add(HWND wnd);
  bool HasWindow(HWND wnd) const;
  TKQCaptionButtons* Find(HWND wnd) const;
  // Destroys the set of wnd and drops its entry; false when wnd has none. May be called from
  // inside that set's window procedure.
  bool Remove(HWND wnd);
  void Clear();
  size_t Count() const;

 private:
  friend class TKQCaptionButtons;
  bool RemoveSet(TKQCaptionButtons* set);  // as Remove, for this very set
  std::unique_ptr<TKQCaptionButtons> TakeOut(TKQCaptionButtons* set, HWND wnd);

  mutable TLock lock_;
  std::vector<std::unique_ptr<TKQCaptionButtons>> items_;
};

}  // namespace kq
