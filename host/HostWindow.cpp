#include "host/HostWindow.h"

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "common/KQScoped.h"
#include "host/HostCommands.h"
#include "host/HostProtocol.h"

namespace lntrhost {
namespace {

constexpr char kWindowTitle[] = "Lanterna stand-in host";
// The folders of the menu when the options name none: small ones, which a dialog moved there lists
// at once also on a slow or emulated machine.
constexpr const char* kDefaultMenuFolders[] = {"C:\\windows", "C:\\windows\\inf", "C:\\users"};
constexpr UINT kFirstMenuCommand = 1;

// The file name of the program that owns wnd, without its folder; empty when unknown.
std::string ProcessExeName(HWND wnd) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(wnd, &pid);
  if (pid == 0) return {};
  kq::ScopedHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return {};
  char path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (!::QueryFullProcessImageNameA(process.get(), 0, path, &size)) return {};
  std::string name(path, size);
  size_t slash = name.find_last_of("\\/");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

LRESULT OnAppIsDisabled(HostContext& context, HWND wnd) {
  std::string exe = ProcessExeName(wnd);
  LRESULT answer = context.options.otherAnswer;
  for (const std::string& disabled : context.options.disabledExes) {
    if (!exe.empty() && ::lstrcmpiA(disabled.c_str(), exe.c_str()) == 0) answer = 1;
  }
  // As a host may: before it turns a window down, it asks that window for its folder. The window's
  // thread is still making it and, on a slow machine, may not have read a message for seconds,
  // which the system calls hung: the question waits for it (within the send's bound) all the same.
  const DWORD start = ::GetTickCount();
  if (answer == 1 && context.options.askFolderBeforeDisabling) SendGetFolder(context, wnd, false);
  const DWORD elapsed = ::GetTickCount() - start;
  context.log.Line("appdisabled hwnd=" + Hex(wnd) + " exe=" + exe + " answer=" + std::to_string(answer) +
                   " ms=" + std::to_string(elapsed));
  return answer;
}

// The folder menu at point, as the real host shows its bookmarks: a chosen folder is sent to the
// top-level window under the point, the window whose button was pressed.
void ShowFolderMenu(HostContext& context, WPARAM code, POINT point) {
  HWND target = ::GetAncestor(::WindowFromPoint(point), GA_ROOT);
  std::vector<std::string> folders = context.options.menuFolders;
  if (folders.empty()) folders.assign(std::begin(kDefaultMenuFolders), std::end(kDefaultMenuFolders));
  kq::ScopedMenu menu(::CreatePopupMenu());
  if (!menu) return;
  for (size_t i = 0; i < folders.size(); ++i)
    ::AppendMenuA(menu.get(), MF_STRING, kFirstMenuCommand + i, folders[i].c_str());
  context.log.Line("menu code=" + std::to_string(code) + " x=" + std::to_string(point.x) + " y=" +
                   std::to_string(point.y) + " hwnd=" + Hex(target) + " items=" + std::to_string(folders.size()));
  // The menu takes the keyboard only while the host is in front.
  ::SetForegroundWindow(context.window);
  context.shownMenu = menu.get();
  context.menuItemsLogged = false;
  UINT chosen = static_cast<UINT>(::TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN, point.x,
                                                   point.y, 0, context.window, nullptr));
  context.shownMenu = nullptr;
  ::PostMessageA(context.window, WM_NULL, 0, 0);
  if (chosen < kFirstMenuCommand || chosen >= kFirstMenuCommand + folders.size()) {
    context.log.Line("menu none");
    return;
  }
  const std::string& folder = folders[chosen - kFirstMenuCommand];
  LRESULT answer = SendSetFolder(context, target, &folder, -1, "menusetfolder");
  context.log.Line("menu chose=" + std::to_string(chosen - kFirstMenuCommand) + " hwnd=" + Hex(target) +
                   " answer=" + std::to_string(answer) + " path=" + folder);
}

// Once the menu is on the screen: where each item is, so that a test or the demo can click one.
void LogMenuItems(HostContext& context) {
  if (!context.shownMenu || context.menuItemsLogged) return;
  context.menuItemsLogged = true;
  const int count = ::GetMenuItemCount(context.shownMenu);
  for (int i = 0; i < count; ++i) {
    RECT r = {};
    // No window: the rectangle is placed by the popup's own window, on the screen.
    if (!::GetMenuItemRect(nullptr, context.shownMenu, i, &r)) continue;
    context.log.Line("menu item=" + std::to_string(i) + " left=" + std::to_string(r.left) +
                     " top=" + std::to_string(r.top) + " right=" + std::to_string(r.right) +
                     " bottom=" + std::to_string(r.bottom));
  }
}

LRESULT OnManage(HostContext& context, WPARAM code, LPARAM lParam) {
  switch (code) {
    case kq::kManageRightButtonDown:
    case kq::kManageFavoritesMenu:
    case kq::kManageHistoryMenu: {
      int x = static_cast<short>(LOWORD(lParam));
      int y = static_cast<short>(HIWORD(lParam));
      context.log.Line("manage code=" + std::to_string(code) + " x=" + std::to_string(x) + " y=" + std::to_string(y));
      if (context.options.menu && code != kq::kManageRightButtonDown) ShowFolderMenu(context, code, POINT{x, y});
      return 0;
    }
    case kq::kManageAskStartFolder:
      context.block.WriteHostFolder(context.options.startFolder);
      context.log.Line("manage code=3 hwnd=" + Hex(static_cast<uintptr_t>(lParam)) +
                       " folder=" + context.options.startFolder);
      return 0;
    default:
      context.log.Line("manage code=" + std::to_string(code) + " wparam=" + Hex(code) +
                       " lparam=" + Hex(static_cast<uintptr_t>(lParam)));
      return 0;
  }
}

// A dialog folder record of either text, its path in UTF-8 (toUtf8 converts the record's text).
template <typename Record, typename ToUtf8>
LRESULT LogDialogFolder(HostContext& context, const std::string& head, const char* data, DWORD size, ToUtf8 toUtf8) {
  if (size < sizeof(Record)) {
    context.log.Line(head + " size=" + std::to_string(size) + " error=short");
    return 0;
  }
  Record folder;
  std::memcpy(&folder, data, sizeof(folder));
  context.log.Line(head + " hwnd=" + Hex(kq::BlockValueToWindow(folder.Wnd)) +
                   " path=" + toUtf8(kq::FieldText(folder.Path, sizeof(folder.Path))));
  return 0;
}

LRESULT OnCopyData(HostContext& context, WPARAM wParam, const COPYDATASTRUCT* record) {
  if (!record) return 0;
  const char* data = static_cast<const char*>(record->lpData);
  DWORD size = data ? record->cbData : 0;
  std::string head = "copydata kind=" + std::to_string(record->dwData) + " wparam=" + Hex(wParam);
  switch (record->dwData) {
    case kHostCommand: {
      std::string line(data ? data : "", size);
      while (!line.empty() && line.back() == '\0') line.pop_back();
      return RunHostCommand(context, line);
    }
    case kq::CopyDataAddBookmark:
      context.log.Line(head + " path=" + AnsiToUtf8(kq::FieldText(data ? data : "", size)));
      return 0;
    case kq::CopyDataAddBookmarkUtf8:
      context.log.Line(head + " path=" + kq::FieldText(data ? data : "", size));
      return 0;
    case kq::CopyDataDialogFolder:
      return LogDialogFolder<kq::DialogFolderRecord>(context, head, data, size, AnsiToUtf8);
    case kq::CopyDataDialogFolderUtf8:
      return LogDialogFolder<kq::DialogFolderRecordUtf8>(context, head, data, size,
                                                         [](std::string_view text) { return std::string(text); });
    default:
      context.log.Line(head + " size=" + std::to_string(size));
      return 0;
  }
}

LRESULT CALLBACK HostWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    ::SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* context = reinterpret_cast<HostContext*>(::GetWindowLongPtrA(wnd, GWLP_USERDATA));
  if (context) {
    if (msg == WM_COPYDATA) return OnCopyData(*context, wParam, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    if (msg == WM_ENTERIDLE && wParam == MSGF_MENU) LogMenuItems(*context);
    if (msg == WM_DESTROY) {
      ::PostQuitMessage(0);
      return 0;
    }
    if (msg != 0 && msg == context->manageMsg) return OnManage(*context, wParam, lParam);
    if (msg != 0 && msg == context->appIsDisabledMsg) return OnAppIsDisabled(*context, reinterpret_cast<HWND>(wParam));
  }
  return ::DefWindowProcA(wnd, msg, wParam, lParam);
}

}  // namespace

HWND CreateHostWindow(HostContext& context) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = HostWndProc;
  windowClass.hInstance = ::GetModuleHandleA(nullptr);
  windowClass.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kq::kHostWindowClass;
  if (!::RegisterClassA(&windowClass)) return nullptr;
  return ::CreateWindowExA(0, kq::kHostWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW, 40, 40, 320, 120, nullptr,
                           nullptr, windowClass.hInstance, &context);
}

}  // namespace lntrhost
