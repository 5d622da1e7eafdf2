#include "tests/support/MenuItems.h"

#include <gtest/gtest.h>

namespace kq::test {

MenuItem ItemAt(HMENU menu, UINT position) {
  MenuItem item;
  char text[1024] = {};
  MENUITEMINFOA info = {};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING | MIIM_CHECKMARKS;
  info.dwTypeData = text;
  info.cch = sizeof(text);
  EXPECT_TRUE(::GetMenuItemInfoA(menu, position, TRUE, &info)) << "position " << position;
  item.id = info.wID;
  item.type = info.fType;
  item.state = info.fState;
  item.submenu = info.hSubMenu;
  item.checked = info.hbmpChecked;
  item.unchecked = info.hbmpUnchecked;
  item.text = text;
  return item;
}

}  // namespace kq::test
