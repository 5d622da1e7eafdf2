// Extra buttons in the title bar of a foreign top-level window: the model, the layout, the
// painting (visual style, classic frame or skin) and the take-over of the window's procedure.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "common/KQScoped.h"

namespace kq {

// The message record a set's WndProc receives; Result is written by the call.
struct TMessage {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};

// "Lanterna_UpdateButton": settings changed, read them again. Registered at start-up.
extern UINT UpdateButtonMsg;
void StartupCaptionButtons();
void ShutdownCaptionButtons();

class TKQCaptionButton {
 public:
  int Tag = 0;
  int Spacing = 0;
  HBITMAP Glyph = nullptr;  // owned by the caller, never destroyed here
  bool Pushed = false;
  bool Visible = false;
};

class TKQCaptionButtonsLst;

class TKQCaptionButtons {
 public:
  static constexpr int kMaxButtons = 8;

  // Create: builds the frames and, when wnd is a window, takes over its window procedure.
  explicit TKQCaptionButtons(HWND wnd);
  // Destroy: gives the window its own procedure back (unless a later subclasser came on top, in
  // which case the entry stays and forwards every message to the old procedure).
  virtual ~TKQCaptionButtons();
  TKQCaptionButtons(const TKQCaptionButtons&) = delete;
  TKQCaptionButtons& operator=(const TKQCaptionButtons&) = delete;

  // Slot 0: the message entry. The base runs HandleMessage.
  virtual void WndProc(TMessage& message);
  virtual void ButtonDown(int index, bool rightButton) {}
  virtual void ButtonUp(int index, bool rightButton) {}
  virtual void Click(int index) {}
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
  LRESULT PaintButtons(HWND wnd, HRGN region);
  void DrawGlyph(HDC dc, const RECT& rect, HBITMAP glyph);
  LRESULT CallOldWndProc(UINT msg, WPARAM wParam, LPARAM lParam);

  HWND Wnd() const { return Wnd_; }
  int Count() const { return Count_; }
  TKQCaptionButton* Button(int index) const;  // null outside 0..Count-1
  bool Attached() const { return OldWndProc_ != nullptr; }
  int RightOffset() const { return RightOffset_; }
  bool Tracking() const { return Tracking_; }
  int PressedIndex() const { return PressedIndex_; }
  void* WndProcThunk() const { return WndProcThunk_; }

  bool UseSystemLook = true;

 protected:
  LRESULT HandleMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

 private:
  friend class TKQCaptionButtonsLst;
  ScopedBitmap NormalFrame_;
  ScopedBitmap PushedFrame_;
  int RightOffset_ = 0;
  HWND Wnd_ = nullptr;
  std::unique_ptr<TKQCaptionButton> Buttons_[kMaxButtons];
  bool Tracking_ = false;
  void* WndProcThunk_ = nullptr;
  WNDPROC OldWndProc_ = nullptr;
  int PressedIndex_ = 0;
  int Count_ = 0;
  TKQCaptionButtonsLst* Owner_ = nullptr;  // the list holding this set, told at WM_NCDESTROY
};

// The per-process list of sets. Safe to use from several GUI threads at once.
class TKQCaptionButtonsLst {
 public:
  TKQCaptionButtonsLst();
  virtual ~TKQCaptionButtonsLst();  // Clear
  TKQCaptionButtonsLst(const TKQCaptionButtonsLst&) = delete;
  TKQCaptionButtonsLst& operator=(const TKQCaptionButtonsLst&) = delete;

  // Slot 0: builds the set for wnd; a failure (exception) reaches the caller of Add.
  virtual std::unique_ptr<TKQCaptionButtons> CreateButtons(HWND wnd);

  // Builds a set for wnd and keeps it; null when wnd already has one or the build failed.
  TKQCaptionButtons* Add(HWND wnd);
  bool HasWindow(HWND wnd) const;
  TKQCaptionButtons* Find(HWND wnd) const;
  // Destroys the set of wnd and drops its entry; false when wnd has none.
  bool Remove(HWND wnd);
  void Clear();
  size_t Count() const;

 private:
  mutable CRITICAL_SECTION Lock_;
  std::vector<std::unique_ptr<TKQCaptionButtons>> Items_;
};

}  // namespace kq
