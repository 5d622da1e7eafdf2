// The icon look-ups of the bookmark menu: the shell's icon of a path, the generic icon of a path's
// kind, and the icons of icon files and modules. Paths are UTF-8.
#pragma once

#include <windows.h>

#include <string>

namespace kq {

// The shell's icon for Path (small unless Large; the open-folder form when Open), or 0 when the
// shell cannot describe Path or it is longer than the path limit. The caller owns the icon.
// SystemIndex, when given, gets the icon's number in the shell's icon list (-1 without an icon):
// paths with the same number show the same icon.
HICON GetShellIcon(const std::string& path, bool large, bool open, int* systemIndex = nullptr);
// The made-up name that stands for what Path's name looks like: "folder", or "file" with Path's
// extension. It names no folder Path lies in.
std::string GenericShellName(const std::string& path);
// The shell's small icon of GenericShellName(Path) (a folder, or a file of its extension), found
// by attributes alone: no file system is asked. The caller owns the icon.
HICON GetGenericShellIcon(const std::string& path);
// The large icon number Index of FileName (an icon file or a module with icon resources); 0 when
// the file does not exist or Index is not below its number of icons.
HICON ExtractFileIcon(const std::string& fileName, int index);
// The small icon number Index of FileName; where the file has no small form, ExtractFileIcon.
HICON ExtractSmallFileIcon(const std::string& fileName, int index);

}  // namespace kq
