#include "shellwindows/KQTaskWnd.h"

#include <new>
#include <vector>

#include "common/KQGuard.h"
#include "common/KQSysCalls.h"
#include "common/KQText.h"

namespace kq {
namespace {

// Collects descendants for EnumChildren. The callback is called by the system: nothing may escape
// it, so a failed allocation only ends the listing.
struct TChildListing {
  std::vector<HWND> Handles;
  bool Failed = false;
};

BOOL CALLBACK CollectChild(HWND wnd, LPARAM param) noexcept {
  auto* listing = reinterpret_cast<TChildListing*>(param);
  if (Guard([&] { listing->Handles.push_back(wnd); })) return TRUE;
  listing->Failed = true;
  return FALSE;
}

bool ClassNameEquals(HWND wnd, const char* className) {
  char name[kClassNameBufferChars];
  ReadWndClassName(wnd, name);
  return SameClassName(name, className);
}

}  // namespace

TTaskWnd::~TTaskWnd() { ClearChildren(); }

void TTaskWnd::EnumChildren() {
  ClearChildren();
  TChildListing listing;
  ::EnumChildWindows(handle_, CollectChild, reinterpret_cast<LPARAM>(&listing));
  std::vector<std::unique_ptr<TTaskWnd>> children;
  children.reserve(listing.Handles.size());
  for (HWND wnd : listing.Handles) children.push_back(std::make_unique<TTaskWnd>(wnd));
  children_ = std::move(children);
}

void TTaskWnd::ClearChildren() { children_.reset(); }

std::vector<std::unique_ptr<TTaskWnd>>& TTaskWnd::Children() {
  if (!children_) EnumChildren();
  return *children_;
}

int TTaskWnd::ChildCount() { return static_cast<int>(Children().size()); }

TTaskWnd* TTaskWnd::Child(int index) {
  auto& children = Children();
  if (index < 0 || static_cast<size_t>(index) >= children.size()) return nullptr;
  return children[index].get();
}

TTaskWnd* TTaskWnd::FindChildByID(int id, bool recursive) {
  const int count = ChildCount();
  for (int i = 0; i < count; ++i) {
    TTaskWnd* child = Child(i);
    if (::GetDlgCtrlID(child->Handle()) == id) return child;
    if (recursive) {
      if (TTaskWnd* found = child->FindChildByID(id, true)) return found;
    }
  }
  return nullptr;
}

TTaskWnd* TTaskWnd::FindChildByIDAndClass(int id, const char* className, bool recursive) {
  const int count = ChildCount();
  for (int i = 0; i < count; ++i) {
    TTaskWnd* child = Child(i);
    if (::GetDlgCtrlID(child->Handle()) == id && ClassNameEquals(child->Handle(), className)) return child;
    if (recursive) {
      if (TTaskWnd* found = child->FindChildByIDAndClass(id, className, true)) return found;
    }
  }
  return nullptr;
}

std::string TTaskWnd::GetText() const {
  int length = ::GetWindowTextLengthW(handle_);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int copied = ::GetWindowTextW(handle_, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return ToUtf8(text);
}

void TTaskWnd::SetText(const std::string& text) const { ::SetWindowTextW(handle_, ToWide(text).c_str()); }

std::string TTaskWnd::GetWndClassName() const { return kq::GetWndClassName(handle_); }

namespace {

HWND FindInSubtree(HWND parent, const char* className, int id) {
  for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (ClassNameEquals(child, className) && ::GetDlgCtrlID(child) == id) return child;
    if (HWND found = FindInSubtree(child, className, id)) return found;
  }
  return nullptr;
}

}  // namespace

HWND FindChildWindow(HWND parent, const char* className, int id) {
  if (!::IsWindow(parent)) return nullptr;
  return FindInSubtree(parent, className, id);
}

bool SameClassName(const char* a, const char* b) noexcept {
  for (;; ++a, ++b) {
    unsigned char ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
    if (ca >= 'A' && ca <= 'Z') ca = static_cast<unsigned char>(ca - 'A' + 'a');
    if (cb >= 'A' && cb <= 'Z') cb = static_cast<unsigned char>(cb - 'A' + 'a');
    if (ca != cb) return false;
    if (ca == '\0') return true;
  }
}

int ReadWndClassName(HWND wnd, char (&name)[kClassNameBufferChars]) {
  int length = sys::GetClassNameA(wnd, name, kClassNameBufferChars);
  if (length <= 0) length = 0;
  if (length > kClassNameBufferChars - 1) length = kClassNameBufferChars - 1;
  name[length] = '\0';
  return length;
}

std::string GetWndClassName(HWND wnd) {
  char name[kClassNameBufferChars];
  int length = ReadWndClassName(wnd, name);
  return std::string(name, length);
}

bool ProcessMessage(MSG& msg) {
  if (!::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    // Hand it back to the program's own loop, which sees it once the queue is otherwise empty.
    ::PostQuitMessage(static_cast<int>(msg.wParam));
    return false;
  }
  ::TranslateMessage(&msg);
  ::DispatchMessageA(&msg);
  return true;
}

void ProcessMessages() {
  MSG msg;
  while (ProcessMessage(msg)) {
  }
}

RECT MoveRectInside(RECT r, const RECT& bounds) {
  if (r.left < bounds.left) {
    OffsetRect(&r, bounds.left - r.left, 0);
    if (r.right > bounds.right) r.right = bounds.right;
  }
  if (r.right > bounds.right) {
    OffsetRect(&r, bounds.right - r.right, 0);
    if (r.left < bounds.left) r.left = bounds.left;
  }
  if (r.top < bounds.top) {
    OffsetRect(&r, 0, bounds.top - r.top);
    if (r.bottom > bounds.bottom) r.bottom = bounds.bottom;
  }
  if (r.bottom > bounds.bottom) {
    OffsetRect(&r, 0, bounds.bottom - r.bottom);
    if (r.top < bounds.top) r.top = bounds.top;
  }
  return r;
}

}  // namespace kq
