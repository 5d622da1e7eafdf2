// The two loaders (the bookmark tree and the folder history), against the real registry of the
// test prefix, with keys and values written as the host writes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bookmarks/KQVMenu.h"
#include "common/KQRegistry.h"
#include "tests/support/HostRegistry.h"

namespace kq {
namespace {

using test::kHistoryKey;
using test::kHistoryPath;
using test::kTreeKey;
using test::kTreePath;

TKQVNode* K(TCustomNode* node) { return static_cast<TKQVNode*>(node); }

std::string Walk(const TCustomNodes& nodes) {
  std::string out;
  for (TCustomNode* n = nodes.GetFirstNode(); n; n = n->GetNext()) {
    if (!out.empty()) out += ' ';
    out += K(n)->DisplayName();
  }
  return out;
}

std::vector<std::string> ChildFileNames(const TCustomNode* node) {
  std::vector<std::string> out;
  for (TCustomNode* c = node->GetFirstChild(); c; c = c->GetNextSibling()) out.push_back(K(c)->FileName());
  return out;
}

// ---- The bookmark tree -------------------------------------------------------------------------

class LoadTreeTest : public test::HostRegistry {
 protected:
  void Load() {
    TKQRegIniFile reg(KEY_READ);
    menu.LoadTree(&reg, kTreePath);
  }
  TKQVMenu menu;
};

TEST_F(LoadTreeTest, SubkeysBecomeNodesInEnumerationOrder) {
  WriteNode("Root", {{"DisplayName", "Root"}, {"NodeType", "1"}});
  WriteNode("Root\\A",
            {{"DisplayName", "A"}, {"FileName", "C:\\a"}, {"IconFileName", "C:\\i.ico"}, {"IconIndex", "3"}});
  WriteNode("Root\\B", {{"DisplayName", "B"}, {"NodeType", "1"}});
  WriteNode("Root\\B\\C", {{"DisplayName", "C"}, {"NodeType", "2"}});
  Load();

  ASSERT_EQ(menu.Roots().size(), 1u);
  TKQVNode* root = K(menu.GetFirstNode());
  EXPECT_EQ(root->ChildCount(), 2);
  EXPECT_EQ(Walk(menu), "Root A B C");
  TKQVNode* a = K(root->GetFirstChild());
  EXPECT_EQ(a->FileName(), "C:\\a");
  EXPECT_EQ(a->IconFileName(), "C:\\i.ico");
  EXPECT_EQ(a->IconIndex(), 3);
  EXPECT_EQ(a->NodeType(), kNodeBookmark);
  EXPECT_EQ(a->MenuIndex(), -1);
  TKQVNode* b = K(a->GetNextSibling());
  EXPECT_EQ(b->NodeType(), kNodeFolder);
  EXPECT_EQ(K(b->GetFirstChild())->NodeType(), kNodeSeparator);
  EXPECT_EQ(b->GetFirstChild()->Parent(), b);

  // A reload replaces the content.
  Load();
  EXPECT_EQ(Walk(menu), "Root A B C");
}

TEST_F(LoadTreeTest, MissingValuesTakeTheirDefaults) {
  WriteNode("Root\\Plain");
  Load();
  ASSERT_NE(menu.GetFirstNode(), nullptr);
  TKQVNode* plain = K(menu.GetFirstNode()->GetFirstChild());
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->NodeType(), kNodeBookmark);
  EXPECT_EQ(plain->FileName(), "");
  EXPECT_EQ(plain->DisplayName(), "");
  EXPECT_EQ(plain->IconFileName(), "");
  EXPECT_EQ(plain->IconIndex(), 0);
}

TEST_F(LoadTreeTest, MissingOrEmptyTreeKeyGivesNoNodes) {
  Load();
  EXPECT_EQ(menu.GetFirstNode(), nullptr);
  test::HostRegistry::WriteKey(kTreeKey);
  Load();
  EXPECT_EQ(menu.GetFirstNode(), nullptr);
  menu.LoadTree(nullptr, kTreePath);
  EXPECT_EQ(menu.GetFirstNode(), nullptr);
}

TEST_F(LoadTreeTest, NodeTypeKeepsItsLowEightBits) {
  WriteNode("Root\\S", {{"NodeType", "258"}});
  WriteNode("Root\\T", {{"NodeType", "-1"}});
  Load();
  TKQVNode* s = K(menu.GetFirstNode()->GetFirstChild());
  EXPECT_EQ(s->NodeType(), kNodeSeparator);
  EXPECT_EQ(K(s->GetNextSibling())->NodeType(), 255);
}

TEST_F(LoadTreeTest, NonNumericIconIndexEndsTheLoadKeepingWhatWasRead) {
  WriteNode("Root", {{"DisplayName", "Root"}});
  WriteNode("Root\\A", {{"DisplayName", "A"}});
  WriteNode("Root\\A\\A1", {{"DisplayName", "A1"}});
  WriteNode("Root\\B", {{"DisplayName", "B"},
                        {"FileName", "C:\\b"},
                        {"NodeType", "1"},
                        {"IconFileName", "C:\\b.ico"},
                        {"IconIndex", "x"}});
  WriteNode("Root\\B\\B1", {{"DisplayName", "B1"}});
  WriteNode("Root\\C", {{"DisplayName", "C"}});
  Load();

  EXPECT_EQ(Walk(menu), "Root A A1 B");
  TKQVNode* b = K(menu.GetFirstNode()->GetFirstChild()->GetNextSibling());
  EXPECT_EQ(b->FileName(), "C:\\b");
  EXPECT_EQ(b->NodeType(), kNodeFolder);
  EXPECT_EQ(b->IconFileName(), "C:\\b.ico");
  EXPECT_EQ(b->IconIndex(), 0);
  EXPECT_EQ(b->ChildCount(), 0);
}

TEST_F(LoadTreeTest, ValueOfAnotherTypeEndsTheLoad) {
  WriteNode("Root\\A", {{"DisplayName", "A"}});
  WriteNode("Root\\B", {{"FileName", "C:\\b"}});
  test::HostRegistry::WriteDword(std::string(kTreeKey) + "\\Root\\B", "DisplayName", 1);
  WriteNode("Root\\C", {{"DisplayName", "C"}});
  Load();
  ASSERT_EQ(menu.GetFirstNode()->ChildCount(), 2);
  TKQVNode* b = K(menu.GetFirstNode()->GetFirstChild()->GetNextSibling());
  EXPECT_EQ(b->FileName(), "C:\\b");
  EXPECT_EQ(b->DisplayName(), "");
}

TEST_F(LoadTreeTest, KeysBelowTheDepthBoundAreNotLoaded) {
  std::string path;
  for (int level = 1; level <= kMaxTreeDepth + 8; ++level) {
    if (!path.empty()) path += '\\';
    path += 'L';
    WriteNode(path, {{"DisplayName", std::to_string(level)}});
  }
  Load();
  int depth = 0;
  TCustomNode* deepest = nullptr;
  for (TCustomNode* n = menu.GetFirstNode(); n; n = n->GetNext()) {
    ++depth;
    deepest = n;
  }
  EXPECT_EQ(depth, kMaxTreeDepth);
  ASSERT_NE(deepest, nullptr);
  EXPECT_EQ(K(deepest)->DisplayName(), std::to_string(kMaxTreeDepth));
  EXPECT_EQ(deepest->ChildCount(), 0);
}

TEST_F(LoadTreeTest, HugeValuesAreReadWhole) {
  const std::string huge(300000, 'h');
  WriteNode("Root\\Big", {{"DisplayName", huge}, {"FileName", "C:\\" + huge}});
  WriteNode("Root\\Next", {{"DisplayName", "next"}});
  Load();
  TKQVNode* big = K(menu.GetFirstNode()->GetFirstChild());
  EXPECT_EQ(big->DisplayName(), huge);
  EXPECT_EQ(big->FileName().size(), huge.size() + 3);
  EXPECT_EQ(big->Bitmap(), nullptr);  // names no file
  EXPECT_EQ(K(big->GetNextSibling())->DisplayName(), "next");
}

// ---- The folder history ------------------------------------------------------------------------

class LoadHistoryTest : public test::HostRegistry {
 protected:
  void LoadHistory() {
    TKQRegIniFile reg(KEY_READ);
    menu.LoadHistory(&reg, kHistoryPath);
  }
  TKQVMenu menu;
};

TEST_F(LoadHistoryTest, IntoAnEmptyMenuTheSeparatorIsTheRoot) {
  WriteKey(kHistoryKey, {{"second", "C:\\two"}, {"first", "C:\\one"}});
  LoadHistory();

  ASSERT_EQ(menu.Roots().size(), 1u);
  TKQVNode* separator = K(menu.GetFirstNode());
  EXPECT_EQ(separator->NodeType(), kNodeSeparator);
  ASSERT_EQ(separator->ChildCount(), 1);
  TKQVNode* folder = K(separator->GetFirstChild());
  EXPECT_EQ(folder->NodeType(), kNodeFolder);
  EXPECT_EQ(folder->DisplayName(), "History");

  std::vector<std::string> expected;
  for (const std::string& name : EnumeratedValues(kHistoryKey))
    expected.push_back(name == "first" ? "C:\\one" : "C:\\two");
  EXPECT_EQ(ChildFileNames(folder), expected);
  for (TCustomNode* e = folder->GetFirstChild(); e; e = e->GetNextSibling()) {
    EXPECT_EQ(K(e)->DisplayName(), K(e)->FileName());
    EXPECT_EQ(K(e)->NodeType(), kNodeBookmark);
    EXPECT_EQ(K(e)->Bitmap(), nullptr);
  }
  EXPECT_TRUE(menu.ShowIcons());
}

TEST_F(LoadHistoryTest, AppendsAfterTheTreeEachTimeItIsLoaded) {
  WriteNode("Root\\A", {{"DisplayName", "A"}});
  WriteNode("Root\\B", {{"DisplayName", "B"}});
  WriteKey(kHistoryKey, {{"h", "C:\\h"}});
  TKQRegIniFile reg(KEY_READ);
  menu.LoadTree(&reg, kTreePath);
  LoadHistory();
  LoadHistory();

  TCustomNode* root = menu.GetFirstNode();
  ASSERT_EQ(menu.Roots().size(), 1u);
  std::vector<std::string> shape;
  for (TCustomNode* c = root->GetFirstChild(); c; c = c->GetNextSibling())
    shape.push_back(K(c)->NodeType() == kNodeSeparator ? "-" : K(c)->DisplayName());
  EXPECT_EQ(shape, (std::vector<std::string>{"A", "B", "-", "History", "-", "History"}));
  EXPECT_EQ(ChildFileNames(root->Children()->at(3).get()), std::vector<std::string>{"C:\\h"});
  EXPECT_EQ(ChildFileNames(root->Children()->at(5).get()), std::vector<std::string>{"C:\\h"});
}

TEST_F(LoadHistoryTest, TheDefaultValueIsAnEntryLikeAnyOther) {
  WriteKey(kHistoryKey, {{"", "C:\\default"}, {"x", "C:\\x"}});
  LoadHistory();
  TCustomNode* folder = menu.GetFirstNode()->GetFirstChild();
  std::vector<std::string> files = ChildFileNames(folder);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_NE(std::find(files.begin(), files.end(), "C:\\default"), files.end());
}

TEST_F(LoadHistoryTest, MissingOrEmptyKeyAddsNothing) {
  LoadHistory();
  EXPECT_EQ(menu.GetFirstNode(), nullptr);
  WriteKey(kHistoryKey);
  LoadHistory();
  EXPECT_EQ(menu.GetFirstNode(), nullptr);
  menu.LoadHistory(nullptr, kHistoryPath);
  EXPECT_EQ(menu.GetFirstNode(), nullptr);
}

TEST_F(LoadHistoryTest, ValueOfAnotherTypeReachesTheCallerAndKeepsWhatWasAppended) {
  WriteKey(kHistoryKey, {{"a", "C:\\a"}, {"c", "C:\\c"}});
  WriteDword(kHistoryKey, "b", 5);
  const std::vector<std::string> order = EnumeratedValues(kHistoryKey);
  ASSERT_EQ(order.size(), 3u);

  TKQRegIniFile reg(KEY_READ);
  EXPECT_THROW(menu.LoadHistory(&reg, kHistoryPath), TKQRegDataTypeError);
  EXPECT_TRUE(menu.ShowIcons());

  // Entries up to the DWORD one stay; that one was appended before its value was read.
  TCustomNode* folder = menu.GetFirstNode()->GetFirstChild();
  std::vector<std::string> expected;
  for (const std::string& name : order) {
    if (name == "b") {
      expected.push_back("");
      break;
    }
    expected.push_back("C:\\" + name);
  }
  EXPECT_EQ(ChildFileNames(folder), expected);
}

TEST_F(LoadHistoryTest, TenThousandEntriesAndAHugeOne) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kHistoryKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  for (int i = 0; i < 10000; ++i) {
    char name[16], data[32];
    std::snprintf(name, sizeof(name), "%05d", i);
    std::snprintf(data, sizeof(data), "C:\\folder%05d", i);
    ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), static_cast<DWORD>(strlen(data) + 1));
  }
  const std::string huge(1 << 20, 'z');
  ::RegSetValueExA(key, "huge", 0, REG_SZ, reinterpret_cast<const BYTE*>(huge.c_str()),
                   static_cast<DWORD>(huge.size() + 1));
  ::RegCloseKey(key);

  const auto start = std::chrono::steady_clock::now();
  LoadHistory();
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  std::printf("loading 10001 history entries: %lld ms\n", static_cast<long long>(ms));

  TCustomNode* folder = menu.GetFirstNode()->GetFirstChild();
  ASSERT_EQ(folder->ChildCount(), 10001);
  std::vector<std::string> files = ChildFileNames(folder);
  const std::vector<std::string> order = EnumeratedValues(kHistoryKey);
  for (size_t i = 0; i < order.size(); ++i) {
    if (order[i] == "huge") {
      EXPECT_EQ(files[i], huge);
    } else {
      EXPECT_EQ(files[i], "C:\\folder" + order[i]) << i;
    }
  }
}

}  // namespace
}  // namespace kq
