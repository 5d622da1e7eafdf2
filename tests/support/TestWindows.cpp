#include "tests/support/TestWindows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "shellwindows/KQTaskWnd.h"

namespace kq::test {
namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(::tolower(c)); });
  return s;
}

// Stand-in classes registered by this process: lower-cased name -> (spelling, users).
std::map<std::string, std::pair<std::string, int>>& StandIns() {
  static std::map<std::string, std::pair<std::string, int>> registry;
  return registry;
}

}  // namespace

WindowSpec Child(const std::string& className, int id, std::vector<WindowSpec> children) {
  return WindowSpec{className, id, std::move(children), false};
}

WindowSpec SystemChild(const std::string& className, int id, std::vector<WindowSpec> children) {
  return WindowSpec{className, id, std::move(children), true};
}

StandInClass::StandInClass(const std::string& name) : name_(name) {
  auto& registry = StandIns();
  auto it = registry.find(Lower(name));
  if (it != registry.end()) {
    if (it->second.first != name) {
      ADD_FAILURE() << "stand-in class \"" << name << "\" asked for while \"" << it->second.first << "\" is registered";
      return;
    }
    ++it->second.second;
    registered_ = true;
    return;
  }
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ::DefWindowProcA;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name.c_str();
  if (!::RegisterClassA(&wc)) {
    ADD_FAILURE() << "RegisterClassA(\"" << name << "\") failed: " << ::GetLastError();
    return;
  }
  registry[Lower(name)] = {name, 1};
  registered_ = true;
}

StandInClass::~StandInClass() {
  if (!registered_) return;
  auto& registry = StandIns();
  auto it = registry.find(Lower(name_));
  if (it == registry.end() || --it->second.second > 0) return;
  ::UnregisterClassA(name_.c_str(), ::GetModuleHandleA(nullptr));
  registry.erase(it);
}

TestWindowTree::TestWindowTree(const WindowSpec& top, DWORD exStyle, bool visible) : spec_(top) {
  DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | (visible ? WS_VISIBLE : 0);
  root_ = Create(top, nullptr, exStyle, style);
  if (!root_) return;
  for (const WindowSpec& child : top.children) Build(child, root_);
}

TestWindowTree::~TestWindowTree() {
  if (root_) ::DestroyWindow(root_);
  classes_.clear();
}

HWND TestWindowTree::Create(const WindowSpec& spec, HWND parent, DWORD exStyle, DWORD style) {
  const bool standIn = !spec.systemClass && spec.className != kSystemDialogClass;
  if (standIn && !registeredNames_[Lower(spec.className)]) {
    auto cls = std::make_unique<StandInClass>(spec.className);
    if (!cls->Registered()) return nullptr;
    classes_.push_back(std::move(cls));
    registeredNames_[Lower(spec.className)] = true;
  }
  HMENU menuOrId = parent ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)) : nullptr;
  HWND wnd =
      ::CreateWindowExA(exStyle, spec.className.c_str(), spec.className.c_str(), style, 40, 40, parent ? 60 : 480,
                        parent ? 20 : 360, parent, menuOrId, ::GetModuleHandleA(nullptr), nullptr);
  if (!wnd) ADD_FAILURE() << "CreateWindowExA(\"" << spec.className << "\") failed: " << ::GetLastError();
  return wnd;
}

void TestWindowTree::Build(const WindowSpec& spec, HWND parent) {
  HWND wnd = Create(spec, parent, 0, WS_CHILD | WS_VISIBLE);
  if (!wnd) return;
  descendants_.push_back(wnd);
  for (const WindowSpec& child : spec.children) Build(child, wnd);
}

HWND TestWindowTree::Window(const std::vector<int>& path) const {
  HWND wnd = root_;
  for (int index : path) {
    wnd = ::GetWindow(wnd, GW_CHILD);
    for (int i = 0; wnd && i < index; ++i) wnd = ::GetWindow(wnd, GW_HWNDNEXT);
    if (!wnd) return nullptr;
  }
  return wnd;
}

WindowSpec Top(const std::string& className, std::vector<WindowSpec> children) {
  return WindowSpec{className, 0, std::move(children), false};
}

std::vector<WindowSpec> OpenSaveComboChildren() {
  return {Child("Static", stc4),
          Child("ComboBox", cmb2),
          Child("SHELLDLL_DefView", lst2, {Child("SysListView32", 1, {Child("SysHeader32", 0)})}),
          Child("Static", stc1),
          Child("ToolbarWindow32", ctl1),
          Child("ListBox", lst1),
          Child("Static", stc3),
          Child("ComboBoxEx32", cmb13, {Child("ComboBox", cmb13, {Child("Edit", cmb13)})}),
          Child("Static", stc2),
          Child("ComboBox", cmb1),
          Child("Button", chx1),
          Child("Button", IDOK),
          Child("Button", IDCANCEL),
          Child("Button", pshHelp),
          Child("ToolbarWindow32", 1)};
}

std::vector<WindowSpec> OpenSaveEditChildren() {
  return {Child("Static", stc4),
          Child("ComboBox", cmb2),
          Child("Static", stc1),
          Child("ListBox", lst1),
          Child("SHELLDLL_DefView", lst2, {Child("SysListView32", 1)}),
          Child("Static", stc3),
          Child("Edit", edt1),
          Child("Static", stc2),
          Child("ComboBox", cmb1),
          Child("Button", IDOK),
          Child("Button", IDCANCEL)};
}

std::vector<WindowSpec> ItemDialogChildren() {
  return {Child("DUIViewWndClassName", 0,
                {Child("DirectUIHWND", 0,
                       {Child("CtrlNotifySink", 0, {Child("SHELLDLL_DefView", lst2, {Child("SysListView32", 1)})})})}),
          Child("CommonPlacesWrapperWndClass", 0, {Child("ToolbarWindow32", 0)})};
}

ProcWindow::ProcWindow(const char* className, WNDPROC proc) : className_(className) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = proc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = className;
  if (!::RegisterClassA(&wc)) return;
  wnd_ = ::CreateWindowExA(0, className, className, WS_OVERLAPPEDWINDOW, 60, 60, 400, 300, nullptr, nullptr,
                           wc.hInstance, nullptr);
}

ProcWindow::~ProcWindow() {
  if (wnd_) ::DestroyWindow(wnd_);
  ::UnregisterClassA(className_, ::GetModuleHandleA(nullptr));
}

void ExpectRect(const RECT& actual, const RECT& expected) {
  EXPECT_EQ(actual.left, expected.left);
  EXPECT_EQ(actual.top, expected.top);
  EXPECT_EQ(actual.right, expected.right);
  EXPECT_EQ(actual.bottom, expected.bottom);
}

HWND FindWindowExDeep(HWND parent, HWND childAfter, const char* className, const char* windowName) {
  if (HWND found = ::FindWindowExA(parent, childAfter, className, windowName)) return found;
  for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (HWND found = FindWindowExDeep(child, nullptr, className, windowName)) return found;
  }
  return nullptr;
}

bool ChildWindowExists(HWND parent, const char* className, int id) {
  return ::IsWindow(FindChildWindow(parent, className, id)) != FALSE;
}

bool IsLayered(HWND wnd) { return (::GetWindowLongA(wnd, GWL_EXSTYLE) & WS_EX_LAYERED) != 0; }

int LayeredAlpha(HWND wnd) {
  BYTE alpha = 0;
  DWORD flags = 0;
  COLORREF key = 0;
  if (!::GetLayeredWindowAttributes(wnd, &key, &alpha, &flags) || (flags & LWA_ALPHA) == 0) return -1;
  return alpha;
}

}  // namespace kq::test
