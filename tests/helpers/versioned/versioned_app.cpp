// A program whose executable carries a given file version (from its .rc file) and that shows one
// dialog-frame window until it is closed: by default an Office-style "bosa_sdm_XL9" dialog with a
// direct "Snake List" child, so that tests can ask about the version of a window's process.
//
//   app_v9.exe | app_v19.exe [--class NAME] [--title TEXT]
#include <windows.h>

#include <cstring>
#include <string>

namespace {

LRESULT CALLBACK MainProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(wnd, msg, wParam, lParam);
}

bool Register(const char* name, WNDPROC proc) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name;
  return RegisterClassA(&wc) != 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string className = "bosa_sdm_XL9";
  std::string title = "Versioned";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--class") == 0) className = argv[i + 1];
    if (std::strcmp(argv[i], "--title") == 0) title = argv[i + 1];
  }
  if (!Register(className.c_str(), MainProc) || !Register("Snake List", DefWindowProcA)) return 2;
  HWND wnd = CreateWindowExA(WS_EX_DLGMODALFRAME, className.c_str(), title.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU,
                             100, 100, 400, 300, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!wnd) return 2;
  CreateWindowExA(0, "Snake List", "", WS_CHILD | WS_VISIBLE, 10, 10, 300, 200, wnd, nullptr, GetModuleHandleA(nullptr),
                  nullptr);
  // Shown only when complete: tests take a visible window as ready.
  ShowWindow(wnd, SW_SHOWNORMAL);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
