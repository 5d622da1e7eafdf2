// The popup menu built from a loaded tree and history: ids, indexes, captions and check-mark
// bitmaps as the system's menu reports them, and the nodes' ownership of their payload.
#include <gtest/gtest.h>
#include <objbase.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bookmarks/KQVMenu.h"
#include "common/KQScoped.h"
#include "tests/support/HostRegistry.h"
#include "tests/support/MenuItems.h"
#include "tests/support/TestPaths.h"

namespace kq {
namespace {

using test::kHistoryKey;
using test::kHistoryPath;
using test::kTreePath;

TKQVNode* K(TCustomNode* node) { return static_cast<TKQVNode*>(node); }

using test::ItemAt;
using test::MenuItem;

BITMAP BitmapInfo(HBITMAP bitmap) {
  BITMAP bm = {};
  EXPECT_EQ(::GetObjectA(bitmap, sizeof(bm), &bm), static_cast<int>(sizeof(bm)));
  return bm;
}

// The pixels of a bitmap as 32-bit values, top row first.
std::vector<DWORD> Pixels(HBITMAP bitmap) {
  BITMAP bm = BitmapInfo(bitmap);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = bm.bmWidth;
  info.bmiHeader.biHeight = -bm.bmHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  std::vector<DWORD> pixels(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
  ScopedWindowDC screen(nullptr, ::GetDC(nullptr));
  EXPECT_EQ(::GetDIBits(screen.get(), bitmap, 0, bm.bmHeight, pixels.data(), &info, DIB_RGB_COLORS), bm.bmHeight);
  return pixels;
}

class MenuTest : public test::HostRegistry {
 protected:
  static void SetUpTestSuite() { ::CoInitialize(nullptr); }
  static void TearDownTestSuite() { ::CoUninitialize(); }

  void Load(bool history = false) {
    TKQRegIniFile reg(KEY_READ);
    menu.LoadTree(&reg, kTreePath);
    if (history) menu.LoadHistory(&reg, kHistoryPath);
  }
  // The root's children as a menu, with the counters the caller chose.
  HMENU Build(UINT id, int index) {
    built.reset(menu.BuildMenu(menu.GetFirstNode(), id, index));
    lastId = id;
    lastIndex = index;
    return built.get();
  }
  TKQVNode* Child(int n) {
    TCustomNode* c = menu.GetFirstNode()->GetFirstChild();
    while (c && n-- > 0) c = c->GetNextSibling();
    return K(c);
  }

  TKQVMenu menu;
  ScopedMenu built;
  UINT lastId = 0;
  int lastIndex = 0;
};

// Root > F(a, b), separator, c. Key names keep the registry's enumeration in this order.
void WriteWorkedExample() {
  test::HostRegistry::WriteNode("Root", {{"DisplayName", "Root"}, {"NodeType", "1"}});
  test::HostRegistry::WriteNode("Root\\1", {{"DisplayName", "F"}, {"NodeType", "1"}});
  test::HostRegistry::WriteNode("Root\\1\\1", {{"DisplayName", "a"}, {"FileName", "C:\\a"}});
  test::HostRegistry::WriteNode("Root\\1\\2", {{"DisplayName", "b"}, {"FileName", "C:\\b"}});
  test::HostRegistry::WriteNode("Root\\2", {{"NodeType", "2"}});
  test::HostRegistry::WriteNode("Root\\3", {{"DisplayName", "c"}, {"FileName", "C:\\c"}});
}

TEST_F(MenuTest, FoldersBecomeSubmenusAndBookmarksTakeIdsInPreOrder) {
  WriteWorkedExample();
  Load();
  EXPECT_EQ(menu.FindByIndex(-1), nullptr);  // every node still has -1
  HMENU m = Build(1, 1);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(::GetMenuItemCount(m), 3);

  MenuItem f = ItemAt(m, 0);
  EXPECT_EQ(f.text, "F");
  ASSERT_NE(f.submenu, nullptr);
  ASSERT_EQ(::GetMenuItemCount(f.submenu), 2);
  MenuItem a = ItemAt(f.submenu, 0), b = ItemAt(f.submenu, 1);
  EXPECT_EQ(a.text, "a");
  EXPECT_EQ(a.id, 1u);
  EXPECT_EQ(b.text, "b");
  EXPECT_EQ(b.id, 2u);
  EXPECT_NE(ItemAt(m, 1).type & MFT_SEPARATOR, 0u);
  MenuItem c = ItemAt(m, 2);
  EXPECT_EQ(c.text, "c");
  EXPECT_EQ(c.id, 3u);
  EXPECT_EQ(c.submenu, nullptr);
  EXPECT_EQ(lastId, 4u);
  EXPECT_EQ(lastIndex, 4);

  TKQVNode* folder = Child(0);
  EXPECT_EQ(K(folder->GetFirstChild())->MenuIndex(), 1);
  EXPECT_EQ(K(folder->GetFirstChild()->GetNextSibling())->MenuIndex(), 2);
  EXPECT_EQ(Child(2)->MenuIndex(), 3);
  EXPECT_EQ(folder->MenuIndex(), -1);  // folders and separators take no index
  EXPECT_EQ(Child(1)->MenuIndex(), -1);
  EXPECT_EQ(menu.FindByIndex(1), folder->GetFirstChild());
  EXPECT_EQ(menu.FindByIndex(3)->FileName(), "C:\\c");
  EXPECT_EQ(menu.FindByIndex(4), nullptr);
  EXPECT_EQ(menu.FindByIndex(-1), nullptr);
}

TEST_F(MenuTest, IdsAndIndexesStartWhereTheCallerSays) {
  WriteWorkedExample();
  Load();
  HMENU m = Build(100, 1);
  MenuItem f = ItemAt(m, 0);
  EXPECT_EQ(ItemAt(f.submenu, 0).id, 100u);
  EXPECT_EQ(ItemAt(f.submenu, 1).id, 101u);
  EXPECT_EQ(ItemAt(m, 2).id, 102u);
  for (int index = 1; index <= 3; ++index) {
    TKQVNode* node = menu.FindByIndex(index);
    ASSERT_NE(node, nullptr) << index;
    EXPECT_EQ(node->DisplayName(), std::string(1, "abc"[index - 1]));
  }
  EXPECT_EQ(lastId, 103u);
  EXPECT_EQ(lastIndex, 4);

  // A reload drops the indexes of the earlier build.
  Load();
  EXPECT_EQ(menu.FindByIndex(1), nullptr);
}

TEST_F(MenuTest, ItemsStopWhereTheIdsEndAndLeaveNoIndexBehind) {
  WriteWorkedExample();
  Load();
  Build(1, 1);
  ASSERT_NE(menu.FindByIndex(3), nullptr);  // c, from the full build

  // One id: a takes it, b finds none; nothing after b is added, and the rest lose their indexes.
  UINT id = 1;
  int index = 1;
  built.reset(menu.BuildMenu(menu.GetFirstNode(), id, index, 1));
  ASSERT_NE(built.get(), nullptr);
  ASSERT_EQ(::GetMenuItemCount(built.get()), 1);
  MenuItem f = ItemAt(built.get(), 0);
  EXPECT_EQ(f.text, "F");
  ASSERT_NE(f.submenu, nullptr);
  ASSERT_EQ(::GetMenuItemCount(f.submenu), 1);
  EXPECT_EQ(ItemAt(f.submenu, 0).id, 1u);
  EXPECT_EQ(id, 2u);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(menu.FindByIndex(1)->DisplayName(), "a");
  EXPECT_EQ(menu.FindByIndex(2), nullptr);
  EXPECT_EQ(menu.FindByIndex(3), nullptr);

  // Two ids: the separator before c still fits, c does not.
  id = 1;
  index = 1;
  built.reset(menu.BuildMenu(menu.GetFirstNode(), id, index, 2));
  ASSERT_EQ(::GetMenuItemCount(built.get()), 2);
  EXPECT_EQ(::GetMenuItemCount(ItemAt(built.get(), 0).submenu), 2);
  EXPECT_NE(ItemAt(built.get(), 1).type & MFT_SEPARATOR, 0u);

  // No id at all: no menu, and a folder whose entries found none is left out with them.
  id = 5;
  index = 1;
  EXPECT_EQ(menu.BuildMenu(menu.GetFirstNode(), id, index, 4), nullptr);
  EXPECT_EQ(id, 5u);
  EXPECT_EQ(menu.FindByIndex(1), nullptr);
}

TEST_F(MenuTest, LevelsWithoutNodesGiveNoMenu) {
  UINT id = 5;
  int index = 7;
  EXPECT_EQ(menu.BuildMenu(nullptr, id, index), nullptr);
  WriteNode("Root\\1", {{"DisplayName", "empty"}, {"NodeType", "1"}});
  WriteNode("Root\\2", {{"DisplayName", "leaf"}});
  Load();
  EXPECT_EQ(menu.BuildMenu(Child(1), id, index), nullptr);
  EXPECT_EQ(id, 5u);
  EXPECT_EQ(index, 7);

  // A folder without entries is shown greyed, taking neither id nor index.
  HMENU m = Build(5, 7);
  ASSERT_EQ(::GetMenuItemCount(m), 2);
  MenuItem empty = ItemAt(m, 0);
  EXPECT_EQ(empty.text, "empty");
  EXPECT_NE(empty.state & MFS_GRAYED, 0u);
  EXPECT_EQ(ItemAt(m, 1).id, 5u);
  EXPECT_EQ(lastIndex, 8);

  // The roots themselves, for no parent node.
  ScopedMenu roots(menu.BuildMenu(nullptr, id, index));
  ASSERT_NE(roots.get(), nullptr);
  EXPECT_EQ(::GetMenuItemCount(roots.get()), 1);
}

TEST_F(MenuTest, FolderCaptionsAreExpandedBookmarkCaptionsAreNot) {
  ASSERT_TRUE(::SetEnvironmentVariableA("LNTR_MENU_CAPTION", "Expanded"));
  WriteNode("Root\\1", {{"DisplayName", "%LNTR_MENU_CAPTION%"}, {"NodeType", "1"}});
  WriteNode("Root\\1\\x", {{"DisplayName", "x"}});
  WriteNode("Root\\2", {{"DisplayName", "%LNTR_MENU_CAPTION%"}});
  Load();
  HMENU m = Build(1, 0);
  EXPECT_EQ(ItemAt(m, 0).text, "Expanded");
  EXPECT_EQ(ItemAt(m, 1).text, "%LNTR_MENU_CAPTION%");
}

TEST_F(MenuTest, ItemsShowTheIconOfTheirIconFileOrOfTheirTarget) {
  const std::string shell32 = "C:\\windows\\system32\\shell32.dll";
  const UINT icons = static_cast<UINT>(
      reinterpret_cast<UINT_PTR>(::ExtractIconA(::GetModuleHandleA(nullptr), shell32.c_str(), UINT_MAX)));
  ASSERT_GT(icons, 3u);
  WriteNode("Root\\1", {{"DisplayName", "icon file"}, {"IconFileName", shell32}, {"IconIndex", "3"}});
  WriteNode("Root\\2", {{"DisplayName", "folder"}, {"FileName", "C:\\windows"}});
  WriteNode("Root\\3",
            {{"DisplayName", "missing icon file"}, {"FileName", "%WINDIR%"}, {"IconFileName", "C:\\no.ico"}});
  WriteNode("Root\\4", {{"DisplayName", "nothing there"}, {"FileName", "C:\\no\\such\\thing"}});
  WriteNode("Root\\5", {{"DisplayName", "nothing there again"}, {"FileName", "C:\\no\\such\\other"}});
  WriteNode("Root\\6", {{"DisplayName", "index = count"},
                        {"FileName", "C:\\windows"},
                        {"IconFileName", shell32},
                        {"IconIndex", std::to_string(icons)}});
  WriteNode("Root\\7",
            {{"DisplayName", "index -1"}, {"FileName", "C:\\windows"}, {"IconFileName", shell32}, {"IconIndex", "-1"}});
  WriteNode("Root\\8", {{"DisplayName", "empty"}});
  Load();
  HMENU m = Build(1, 0);
  ASSERT_EQ(::GetMenuItemCount(m), 8);

  const int width = ::GetSystemMetrics(SM_CXMENUCHECK), height = ::GetSystemMetrics(SM_CYMENUCHECK);
  for (UINT position : {0u, 1u, 2u}) {
    MenuItem item = ItemAt(m, position);
    ASSERT_NE(item.checked, nullptr) << item.text;
    EXPECT_EQ(item.checked, item.unchecked);
    EXPECT_EQ(item.checked, Child(static_cast<int>(position))->Bitmap());
    BITMAP bm = BitmapInfo(item.checked);
    EXPECT_EQ(bm.bmWidth, width);
    EXPECT_EQ(bm.bmHeight, height);
    // The icon was drawn: not every pixel has the menu's colour.
    const std::vector<DWORD> pixels = Pixels(item.checked);
    const DWORD background = pixels[0];
    EXPECT_TRUE(std::any_of(pixels.begin(), pixels.end(), [&](DWORD p) { return p != background; })) << item.text;
  }
  for (UINT position : {3u, 4u, 5u, 6u, 7u}) {
    MenuItem item = ItemAt(m, position);
    EXPECT_EQ(item.checked, nullptr) << item.text;
    EXPECT_EQ(Child(static_cast<int>(position))->Bitmap(), nullptr) << item.text;
  }
}

TEST_F(MenuTest, HistoryEntriesHaveNoBitmapAndTheHistoryFolderACopyOfItsOwn) {
  ASSERT_NE(HistoryBitmap(), nullptr);
  BITMAP stored = BitmapInfo(HistoryBitmap());
  EXPECT_EQ(stored.bmWidth, 16);
  EXPECT_EQ(stored.bmHeight, 16);
  EXPECT_EQ(stored.bmBitsPixel, 32);

  WriteNode("Root\\1", {{"DisplayName", "windows"}, {"FileName", "C:\\windows"}});
  WriteKey(kHistoryKey, {{"h1", "C:\\windows"}, {"h2", "C:\\windows\\system32"}});
  Load(true);
  HMENU m = Build(1, 0);
  ASSERT_EQ(::GetMenuItemCount(m), 3);
  EXPECT_NE(ItemAt(m, 0).checked, nullptr);  // the same folder from the tree has its icon
  EXPECT_NE(ItemAt(m, 1).type & MFT_SEPARATOR, 0u);
  MenuItem history = ItemAt(m, 2);
  EXPECT_EQ(history.text, "History");
  ASSERT_NE(history.checked, nullptr);
  EXPECT_NE(history.checked, HistoryBitmap());
  BITMAP copy = BitmapInfo(history.checked);
  EXPECT_EQ(copy.bmWidth, 16);
  EXPECT_EQ(copy.bmHeight, 16);
  EXPECT_EQ(Pixels(history.checked), Pixels(HistoryBitmap()));

  ASSERT_NE(history.submenu, nullptr);
  ASSERT_EQ(::GetMenuItemCount(history.submenu), 2);
  for (UINT position : {0u, 1u}) {
    MenuItem entry = ItemAt(history.submenu, position);
    EXPECT_EQ(entry.checked, nullptr) << entry.text;
    EXPECT_EQ(entry.id, 2 + position);
  }
}

// The folder the last command was sent to.
std::string g_SentTo;
bool RecordSendTo(HWND, const std::string& folder) {
  g_SentTo = folder;
  return true;
}

// Names the ANSI code page cannot spell (Cyrillic, CJK) in key names, value names and texts, each
// a real folder; and a name the code page would fit to an existing folder's ("C:\windows"), which
// names none. Each is shown as stored, chosen as stored, and only a real folder has its icon.
TEST_F(MenuTest, NamesOutsideTheCodePageAreShownAndChosenExactly) {
  test::ScratchDirectory scratch;
  const std::string cyrillic = scratch.MakeFolder("Проекты");
  const std::string cjk = scratch.MakeFolder("資料");
  ASSERT_FALSE(cyrillic.empty());
  ASSERT_FALSE(cjk.empty());
  const std::string lookAlike = "C:\\ŵindows";
  WriteNode("Root\\1 Проекты", {{"DisplayName", "Проекты"}, {"FileName", cyrillic}});
  WriteNode("Root\\2 資料", {{"DisplayName", "資料"}, {"FileName", cjk}});
  WriteNode("Root\\3", {{"DisplayName", "ŵindows"}, {"FileName", lookAlike}});
  WriteKey(kHistoryKey, {{"h1 Проекты", cyrillic}, {"h2 資料", cjk}});
  Load(true);
  HMENU m = Build(1, 0);
  ASSERT_EQ(::GetMenuItemCount(m), 5);  // three bookmarks, a separator and the history
  HMENU history = ItemAt(m, 4).submenu;
  ASSERT_NE(history, nullptr);

  const struct {
    HMENU menu;
    UINT position;
    std::string text, folder;
    bool icon;
  } items[] = {
      {m, 0, "Проекты", cyrillic, true},   {m, 1, "資料", cjk, true},
      {m, 2, "ŵindows", lookAlike, false}, {history, 0, cyrillic, cyrillic, false},  // history entries show no icon
      {history, 1, cjk, cjk, false},
  };
  for (const auto& expected : items) {
    const MenuItem item = ItemAt(expected.menu, expected.position);
    EXPECT_EQ(item.text, expected.text);
    EXPECT_EQ(item.checked != nullptr, expected.icon) << expected.text;
    g_SentTo.clear();
    EXPECT_TRUE(menu.ExecuteCommand(nullptr, static_cast<int>(item.id) - 1, RecordSendTo)) << expected.text;
    EXPECT_EQ(g_SentTo, expected.folder);
  }
}

// Nodes showing the shell's same icon share its bitmap; an icon file's icon is a node's own.
TEST_F(MenuTest, BitmapsAreRebuiltAsTheAccessorsSay) {
  constexpr char kNotepad[] = "C:\\windows\\notepad.exe";
  WriteNode("Root\\1", {{"DisplayName", "windows"}, {"FileName", "C:\\windows"}});
  WriteNode("Root\\2", {{"DisplayName", "system32"}, {"FileName", "C:\\windows\\system32"}});
  Load();
  TKQVNode* node = Child(0);
  const HBITMAP first = node->Bitmap();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Child(1)->Bitmap(), first);

  node->SetIconIndex(0);  // unchanged: no rebuild
  node->SetIconFileName("");
  EXPECT_EQ(node->Bitmap(), first);
  node->SetFileName(kNotepad);  // always rebuilt
  const HBITMAP second = node->Bitmap();
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  node->SetIconFileName(kNotepad);  // changed: the file's own icon
  EXPECT_NE(node->Bitmap(), second);
  EXPECT_NE(node->Bitmap(), nullptr);
  node->SetIconFileName("C:\\no.ico");  // changed: the shell's icon again
  EXPECT_EQ(node->Bitmap(), second);

  menu.SetShowIcons(false);
  node->SetFileName("C:\\no\\such\\thing");
  EXPECT_EQ(node->Bitmap(), second);
  menu.SetShowIcons(true);
  node->SetFileName("C:\\no\\such\\thing");
  EXPECT_EQ(node->Bitmap(), nullptr);
}

TEST_F(MenuTest, NodeWithoutPayloadReadsEmptyAndIgnoresWrites) {
  TKQVNode* bare = K(menu.AddChild(nullptr, nullptr));
  bare->SetFileName("C:\\windows");
  bare->SetDisplayName("x");
  bare->SetIconIndex(4);
  bare->SetMenuIndex(3);
  EXPECT_EQ(bare->FileName(), "");
  EXPECT_EQ(bare->DisplayName(), "");
  EXPECT_EQ(bare->IconIndex(), 0);
  EXPECT_EQ(bare->MenuIndex(), 0);
  EXPECT_EQ(bare->Bitmap(), nullptr);
  EXPECT_EQ(menu.FindByIndex(0), nullptr);
}

// A payload that counts its destructions.
struct CountedInfo : TKQVBmkInfo {
  explicit CountedInfo(int* count) : TKQVBmkInfo(std::string(), kNodeBookmark), count(count) {}
  ~CountedInfo() override { ++*count; }
  int* count;
};

TEST(KQVNode, OwnsItsPayload) {
  int freed = 0;
  {
    TKQVMenu menu;
    TCustomNode* root = menu.AddChild(nullptr, new CountedInfo(&freed));
    TCustomNode* child = menu.AddChild(root, new CountedInfo(&freed));
    menu.AddChild(root, new CountedInfo(&freed));

    child->SetData(child->Data());  // the same payload again: kept
    EXPECT_EQ(freed, 0);
    child->SetData(new CountedInfo(&freed));  // a new one: the old is freed
    EXPECT_EQ(freed, 1);
    menu.DeleteNode(child);
    EXPECT_EQ(freed, 2);
    EXPECT_EQ(root->ChildCount(), 1);
  }
  EXPECT_EQ(freed, 4);  // the container freed the root and its remaining child
}

}  // namespace
}  // namespace kq
