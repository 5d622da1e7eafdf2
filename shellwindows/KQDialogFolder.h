// The one way to move a recognised window to a folder, and to read the folder it shows.
#pragma once

#include <windows.h>
#include <commdlg.h>
#include <objidl.h>
#include <shlobj.h>

#include <cstdint>
#include <string>

#include "shellwindows/KQWindowKind.h"

namespace kq {

// The file-name field of "TfFileDlg" dialogs.
constexpr int kIdTfFileName = 1001;
constexpr char kClassOpenListView[] = "OpenListView";

// The folder a recognised window shows, by the means of its kind; empty when none can be read.
std::string GetDialogFolder(HWND wnd);
std::string GetBrowseTreeFolder(HWND wnd);
// The absolute list of a folder-browse tree item whose items carry their one-item lists; tail
// (owned, may be null) is appended and consumed.
LPITEMIDLIST BuildTreeItemIDList(HWND tree, HTREEITEM item, IMalloc* malloc, LPITEMIDLIST tail);
// The folder of a dialog button set's window: its shell browser, else (when the probe is allowed)
// the shell context menu of its list, else GetDialogFolder. Published in the shared block.
std::string GetWindowFolder(HWND wnd, TWindowKind kind, bool disableTrickForGettingFolder);
std::string ParentFolderOfItem(const std::string& path);

// Sends wnd (a recognised file dialog or Explorer window) to path (a folder, or a file whose
// folder is opened and whose name is put in the file-name field); true when the window was
// handed the folder.
bool SetDialogFolder(HWND wnd, const std::string& path);
bool SetFolderByTyping(HWND wnd, const std::string& path);
bool TypeIntoControl(HWND wnd, int ctrlId, const std::string& text);

}  // namespace kq
