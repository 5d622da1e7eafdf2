// The shell browser behind an Explorer window or an Explorer-style file dialog, and the folder
// it shows.
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <string>

namespace kq {

// The shell's private message that asks a window for the IShellBrowser it hosts; the system headers
// do not name it.
constexpr UINT kGetShellBrowserMsg = WM_USER + 7;
constexpr char kClassShellTabWindow[] = "ShellTabWindowClass";

// The shell browser of a dialog or Explorer window, one way for every kind: the window's own
// answer, else that of the nearest window above its shell view, else its parent's. A shell view is
// created as a child of the window of the browser that shows it, wherever that window lies: the
// dialog itself (classic dialogs), an "ExplorerBrowserControl" (the item dialog, Wine's file
// browser, a program's own dialog hosting an Explorer browser), a tab of Explorer. Only windows
// that can hold a shell browser are asked (CanHoldShellBrowser), and only an answer that proves to
// be an interface is taken.
Microsoft::WRL::ComPtr<IShellBrowser> GetShellBrowser(HWND wnd);
// The browser of the nearest window above a shell view below wnd that answers, wnd itself not
// asked; the views are taken in the system's order.
Microsoft::WRL::ComPtr<IShellBrowser> FindShellBrowserAboveView(HWND wnd);
// The browser wnd's answer to kGetShellBrowserMsg, when it is one; null otherwise. A window that
// cannot hold a shell browser is not sent the message.
Microsoft::WRL::ComPtr<IShellBrowser> AskShellBrowser(HWND wnd);
// True for the windows a shell browser answers through: dialogs ("#32770"), Explorer's frames and
// tabs, the ExplorerBrowser's own window, and any other window whose direct child is a shell view,
// unless it is a common control. To a common control message 1031 is a command of its own, several
// with a pointer argument (RB_SETPARENT, TBM_SETRANGEMIN, SB_GETBORDERS, PBM_GETRANGE,
// CBEM_GETEDITCONTROL), so it is never sent one.
bool CanHoldShellBrowser(HWND wnd);

// File-system path of the folder the browser shows; empty for virtual folders and failures.
std::string GetBrowserFolder(IShellBrowser* browser);

}  // namespace kq
