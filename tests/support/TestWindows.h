// Windows built by tests: a top-level window of a given class and extended style holding a tree
// of child windows with given class names and control identifiers. Classes other than the
// system's dialog class are registered by the fixture as plain stand-ins (DefWindowProc, no
// inner children), so the tree is exactly the one described.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kq::test {

struct WindowSpec {
  std::string className;
  int id = 0;
  std::vector<WindowSpec> children;
  // Use the class as the system (or a loaded library) has registered it instead of a stand-in.
  bool systemClass = false;
};

// A child of the given class and identifier, with children of its own.
WindowSpec Child(const std::string& className, int id, std::vector<WindowSpec> children = {});
// The same with the class as the system registered it (e.g. a real "Edit" or "SysListView32").
WindowSpec SystemChild(const std::string& className, int id, std::vector<WindowSpec> children = {});
// A top-level window of the given (stand-in) class.
WindowSpec Top(const std::string& className, std::vector<WindowSpec> children = {});

// The child trees of the system's file dialogs, in their sibling order: the Explorer-style
// Open/Save dialog with its file-name combo box, the older layout with a file-name edit field,
// and the item dialog of later systems.
std::vector<WindowSpec> OpenSaveComboChildren();
std::vector<WindowSpec> OpenSaveEditChildren();
std::vector<WindowSpec> ItemDialogChildren();

// A stand-in window class (DefWindowProcA) registered for the lifetime of this owner. Names that
// differ only in case are one class to the system: asking for a second spelling while the first
// is registered fails the test.
class StandInClass {
 public:
  explicit StandInClass(const std::string& name);
  ~StandInClass();
  StandInClass(const StandInClass&) = delete;
  StandInClass& operator=(const StandInClass&) = delete;
  bool Registered() const { return registered_; }

 private:
  std::string name_;
  bool registered_ = false;
};

class TestWindowTree {
 public:
  // A top-level popup window with a caption (hidden unless visible), of class top.className and
  // extended style exStyle, with top.children below it. "#32770" is the system's dialog class.
  TestWindowTree(const WindowSpec& top, DWORD exStyle, bool visible = false);
  ~TestWindowTree();
  TestWindowTree(const TestWindowTree&) = delete;
  TestWindowTree& operator=(const TestWindowTree&) = delete;

  HWND Root() const { return root_; }
  // The created window of spec path: Window({0, 2}) is the third child of the first child.
  HWND Window(const std::vector<int>& path) const;
  // Every created child window in creation (pre-order) order.
  const std::vector<HWND>& Descendants() const { return descendants_; }

 private:
  HWND Create(const WindowSpec& spec, HWND parent, DWORD exStyle, DWORD style);
  void Build(const WindowSpec& spec, HWND parent);

  std::vector<std::unique_ptr<StandInClass>> classes_;  // released after the windows
  std::map<std::string, bool> registeredNames_;
  WindowSpec spec_;
  HWND root_ = nullptr;
  std::vector<HWND> descendants_;
};

// A hidden top-level window of a class of its own whose procedure the test gives; the window and
// the class go with the owner.
class ProcWindow {
 public:
  ProcWindow(const char* className, WNDPROC proc);
  ~ProcWindow();
  ProcWindow(const ProcWindow&) = delete;
  ProcWindow& operator=(const ProcWindow&) = delete;
  HWND Wnd() const { return wnd_; }

 private:
  const char* className_;
  HWND wnd_ = nullptr;
};

// A rectangle from its edges, and the check that actual has expected's edges, each told apart.
inline RECT R(int left, int top, int right, int bottom) { return RECT{left, top, right, bottom}; }
void ExpectRect(const RECT& actual, const RECT& expected);

// The system's dialog class, used as is by TestWindowTree.
inline constexpr char kSystemDialogClass[] = "#32770";

// FindWindowExA(parent, childAfter, className, windowName); when that finds nothing, the same
// search (from the first child) below each direct child of parent in turn, depth first.
HWND FindWindowExDeep(HWND parent, HWND childAfter, const char* className, const char* windowName);
// Whether the library's FindChildWindow finds a descendant of parent of that class and identifier.
bool ChildWindowExists(HWND parent, const char* className, int id);

// Whether wnd is a layered window, and the constant alpha it is drawn with (-1 when it has none).
bool IsLayered(HWND wnd);
int LayeredAlpha(HWND wnd);

}  // namespace kq::test
