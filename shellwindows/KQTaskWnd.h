// Window-tree utilities for driving windows of other programs: an object wrapper of one window
// that lists its descendants on demand and searches them, free searches over a window tree, a
// small message pump and a routine that keeps a rectangle inside bounds.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kq {

// The buffer class names are read into: names of 80 characters or more are cut to 79.
constexpr int kClassNameBufferChars = 80;

// One window handle (not owned, never destroyed) and, once a query needs them, objects for all of
// its descendants as EnumChildWindows reports them: children, grandchildren and deeper, in the
// system's order. The list reflects the tree at the moment it was built; EnumChildren rebuilds it.
// Objects handed out by Child and the searches belong to this object and live until it is
// destroyed or its list is rebuilt.
class TTaskWnd {
 public:
  explicit TTaskWnd(HWND handle) noexcept : handle_(handle) {}
  virtual ~TTaskWnd();
  TTaskWnd(const TTaskWnd&) = delete;
  TTaskWnd& operator=(const TTaskWnd&) = delete;

  HWND Handle() const { return handle_; }

  // Rebuilds the list of descendants from the current window tree.
  void EnumChildren();
  // Drops the list; the next query builds it again.
  void ClearChildren();
  int ChildCount();
  // The descendant at index, or null when index lies outside 0..ChildCount()-1.
  TTaskWnd* Child(int index);

  // The first descendant (in list order) with control identifier id. With recursive set, a
  // descendant that does not match is searched the same way before the next one is tried.
  TTaskWnd* FindChildByID(int id, bool recursive);
  // As FindChildByID, but the class name must match too (ignoring case); a descendant whose
  // identifier matches but whose class does not is still searched when recursive is set.
  TTaskWnd* FindChildByIDAndClass(int id, const char* className, bool recursive);

  std::string GetText() const;
  void SetText(const std::string& text) const;
  std::string GetWndClassName() const;

 private:
  std::vector<std::unique_ptr<TTaskWnd>>& Children();

  HWND handle_;
  std::optional<std::vector<std::unique_ptr<TTaskWnd>>> children_;  // empty until first needed
};

// The first descendant of parent at any depth, depth first and in sibling order, whose class name
// equals className ignoring case and whose control identifier is id. 0 when parent is no window.
HWND FindChildWindow(HWND parent, const char* className, int id);

// The class name of wnd, cut to kClassNameBufferChars - 1 characters; empty for a handle that is
// not a window.
std::string GetWndClassName(HWND wnd);
// The same into a caller's buffer, always terminated; answers the length (0 on failure).
int ReadWndClassName(HWND wnd, char (&name)[kClassNameBufferChars]);
// Whether two class names are equal as the window manager compares them, letter case aside. A
// locale-aware compare would cost more than reading the class name itself.
bool SameClassName(const char* a, const char* b) noexcept;

// Runs one waiting message of the calling thread's queue; false when none was waiting. A WM_QUIT
// belongs to the program's own message loop: it is not dispatched but posted again for that loop
// (PostQuitMessage with its exit code), msg holds it, and the answer is false so that no pump
// built on this function runs on past it.
bool ProcessMessage(MSG& msg);
// Runs every message waiting in the calling thread's queue, stopping at a WM_QUIT.
void ProcessMessages();

// r moved into bounds without changing its size, unless it is wider or taller than bounds; then
// it takes bounds' edges on that axis.
RECT MoveRectInside(RECT r, const RECT& bounds);

}  // namespace kq
