#include "tests/support/MenuItems.h"

#include <gtest/gtest.h>

#include <iterator>

#include "common/KQText.h"

namespace kq::test {

MenuItem ItemAt(HMENU menu, UINT position) {
  MenuItem item;
  wchar_t text[1024] = {};
  MENUITEMINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING | MIIM_CHECKMARKS;
  info.dwTypeData = text;
  info.cch = static_cast<UINT>(std::size(text));
  EXPECT_TRUE(::GetMenuItemInfoW(menu, position, TRUE, &info)) << "position " << position;
  item.id = info.wID;
  item.type = info.fType;
  item.state = info.fState;
  item.submenu = info.hSubMenu;
  item.checked = info.hbmpChecked;
  item.unchecked = info.hbmpUnchecked;
  item.text = ToUtf8(text);
  return item;
}

}  // namespace kq::test
