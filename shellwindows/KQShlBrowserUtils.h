// The shell browser behind an Explorer window or an Explorer-style file dialog, and the folder
// it shows.
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <string>

namespace kq {

class TTaskWnd;

// The shell's private message that asks a window for the IShellBrowser it hosts (WM_USER + 7).
constexpr UINT kGetShellBrowserMsg = WM_USER + 7;
constexpr char kClassShellTabWindow[] = "ShellTabWindowClass";

// The shell browser of a dialog or Explorer window: asked of the window, the windows below it,
// then its parent. Only an answer that proves to be an interface is taken (a ComboBoxEx32
// answers the same message number with its edit control's handle).
Microsoft::WRL::ComPtr<IShellBrowser> GetShellBrowser(HWND wnd);
Microsoft::WRL::ComPtr<IShellBrowser> FindShellBrowserBelow(TTaskWnd* task);
// The browser wnd's answer to kGetShellBrowserMsg, when it is one; null otherwise.
Microsoft::WRL::ComPtr<IShellBrowser> AskShellBrowser(HWND wnd);

// File-system path of the folder the browser shows; empty for virtual folders and failures.
std::string GetBrowserFolder(IShellBrowser* browser);

}  // namespace kq
