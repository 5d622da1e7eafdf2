#include "shellwindows/KQShlBrowserUtils.h"

#include <shobjidl.h>

#include <iterator>
#include <vector>

#include "common/KQGuard.h"
#include "common/KQUtils.h"
#include "shellwindows/KQShellUtils.h"
#include "shellwindows/KQTaskWnd.h"
#include "shellwindows/KQWindowKind.h"

using Microsoft::WRL::ComPtr;

namespace kq {
namespace {

bool IsReadable(const void* p, size_t size) {
  MEMORY_BASIC_INFORMATION info;
  if (!p || ::VirtualQuery(p, &info, sizeof(info)) != sizeof(info)) return false;
  if (info.State != MEM_COMMIT || (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0) return false;
  const auto* end = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
  return static_cast<const char*>(p) + size <= end;
}

bool IsCode(const void* p) {
  MEMORY_BASIC_INFORMATION info;
  if (!p || ::VirtualQuery(p, &info, sizeof(info)) != sizeof(info) || info.State != MEM_COMMIT) return false;
  constexpr DWORD kExecutable = PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  return (info.Protect & kExecutable) != 0;
}

// An answer is used only when it has the shape of a COM object: readable memory holding a
// readable table whose IUnknown entries are code.
bool LooksLikeInterface(LRESULT answer) {
  const auto* object = reinterpret_cast<void* const*>(answer);
  if (!IsReadable(object, sizeof(void*))) return false;
  const auto* table = static_cast<void* const*>(*object);
  if (!IsReadable(table, 3 * sizeof(void*))) return false;
  return IsCode(table[0]) && IsCode(table[1]) && IsCode(table[2]);
}

// The windows that hold the shell browser of a file dialog or an Explorer window, by class.
constexpr const char* kBrowserHolderClasses[] = {
    kClassDialog, kClassCabinet, kClassExplore, kClassShellTabWindow, kClassExplorerBrowser,
};

// The controls of user32 and comctl32: each gives message 1031 a meaning of its own.
constexpr const char* kControlClasses[] = {
    kClassButton,        kClassEdit,          kClassStatic,      kClassListBox,     kClassComboBox,
    "ScrollBar",         kClassComboBoxEx,    kClassToolbar,     "ReBarWindow32",   "msctls_statusbar32",
    "msctls_trackbar32", "msctls_progress32", "msctls_updown32", "msctls_hotkey32", kClassListView,
    kClassTreeView,      "SysHeader32",       "SysTabControl32", "SysAnimate32",    "SysMonthCal32",
    "SysDateTimePick32", "SysIPAddress32",    "SysPager",        "SysLink",         "tooltips_class32",
    "NativeFontCtl",
};

bool IsOneOf(const char* name, const char* const* classes, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (SameClassName(name, classes[i])) return true;
  return false;
}

}  // namespace

bool CanHoldShellBrowser(HWND wnd) {
  char name[kClassNameBufferChars];
  if (ReadWndClassName(wnd, name) == 0) return false;
  if (IsOneOf(name, kBrowserHolderClasses, std::size(kBrowserHolderClasses))) return true;
  if (IsOneOf(name, kControlClasses, std::size(kControlClasses))) return false;
  // A shell view is created as a child of the window of the browser that shows it.
  return ::FindWindowExA(wnd, nullptr, kClassShellView, nullptr) != nullptr;
}

ComPtr<IShellBrowser> AskShellBrowser(HWND wnd) {
  ComPtr<IShellBrowser> browser;
  if (!::IsWindow(wnd) || !CanHoldShellBrowser(wnd)) return browser;
  const LRESULT answer = ::SendMessageA(wnd, kGetShellBrowserMsg, 0, 0);
  if (answer == 0 || ::IsWindow(reinterpret_cast<HWND>(answer)) || !LooksLikeInterface(answer)) return browser;
  Guard([&] {
    auto* unknown = reinterpret_cast<IUnknown*>(answer);
    if (FAILED(unknown->QueryInterface(IID_PPV_ARGS(&browser)))) browser.Reset();
  });
  return browser;
}

// The shell views below a window, in the system's order.
BOOL CALLBACK NoteShellView(HWND wnd, LPARAM param) noexcept {
  char name[kClassNameBufferChars];
  if (ReadWndClassName(wnd, name) > 0 && SameClassName(name, kClassShellView))
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(wnd);
  return TRUE;
}

ComPtr<IShellBrowser> FindShellBrowserAboveView(HWND wnd) {
  return Guarded(ComPtr<IShellBrowser>(), [&] {
    ComPtr<IShellBrowser> browser;
    std::vector<HWND> views;
    ::EnumChildWindows(wnd, NoteShellView, reinterpret_cast<LPARAM>(&views));
    for (HWND view : views) {
      for (HWND above = ::GetParent(view); above && above != wnd && !browser; above = ::GetParent(above))
        browser = AskShellBrowser(above);
      if (browser) break;
    }
    return browser;
  });
}

ComPtr<IShellBrowser> GetShellBrowser(HWND wnd) {
  return Guarded(ComPtr<IShellBrowser>(), [&] {
    ComPtr<IShellBrowser> browser = AskShellBrowser(wnd);
    if (!browser) browser = FindShellBrowserAboveView(wnd);
    if (!browser) browser = AskShellBrowser(::GetParent(wnd));
    return browser;
  });
}

std::string GetBrowserFolder(IShellBrowser* browser) {
  std::string result;
  Guard([&] {
    if (!browser) return;
    ComPtr<IShellView> view;
    if (FAILED(browser->QueryActiveShellView(&view)) || !view) return;
    ComPtr<IFolderView> folderView;
    if (FAILED(view.As(&folderView))) return;
    ComPtr<IPersistFolder2> folder;
    if (FAILED(folderView->GetFolder(IID_PPV_ARGS(&folder))) || !folder) return;
    ScopedIDList list;
    if (FAILED(folder->GetCurFolder(list.put())) || !list) return;
    result = PathFromIDList(list.get());
  });
  return result;
}

}  // namespace kq
