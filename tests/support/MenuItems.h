// Reading back a real popup menu, item by item, as the shell and the user see it.
#pragma once

#include <windows.h>

#include <string>

namespace kq::test {

struct MenuItem {
  UINT id = 0;
  UINT type = 0;
  UINT state = 0;
  HMENU submenu = nullptr;
  HBITMAP checked = nullptr;
  HBITMAP unchecked = nullptr;
  std::string text;  // UTF-8, read through the wide interface
  bool Separator() const { return (type & MFT_SEPARATOR) != 0; }
};

// The item at position of menu (a failure is reported to the running test).
MenuItem ItemAt(HMENU menu, UINT position);

}  // namespace kq::test
