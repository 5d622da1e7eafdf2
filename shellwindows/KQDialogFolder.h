// Moving a dialog or Explorer window to a folder.
#pragma once

#include <windows.h>

#include <string>

namespace kq {

// Sends Wnd (a recognised file dialog or Explorer window) to Path; true when it went there.
bool SetDialogFolder(HWND wnd, const std::string& path);

}  // namespace kq
