// Bookmark trees and histories written the way any program could write them: seeded random keys
// and values of every type and size under HKEY_CURRENT_USER of the test prefix. Whatever is stored,
// loading ends without a fault, and what loads keeps the tree's rules.
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bookmarks/KQVMenu.h"
#include "common/KQGuard.h"
#include "tests/support/RegistryValue.h"

namespace kq {
namespace {

using test::kHistoryKey;
using test::kHistoryPath;
using test::kTreeKey;
using test::kTreePath;
constexpr unsigned kSeed = 20261208;
constexpr int kCases = 3000;
constexpr int kMaxNodesPerCase = 12;

const char* const kValueNames[] = {"FileName", "DisplayName", "NodeType", "IconFileName", "IconIndex"};
const char* const kTexts[] = {"0",
                              "1",
                              "2",
                              "258",
                              "-1",
                              "x",
                              "",
                              " 1",
                              "99999999999",
                              "1x",
                              "%SystemRoot%",
                              "C:\\windows",
                              "C:\\no such folder",
                              "C:\\windows\\system32\\shell32.dll"};

void WriteRandomValue(HKEY key, const std::string& name, std::mt19937& random) {
  std::string text = kTexts[random() % (sizeof(kTexts) / sizeof(kTexts[0]))];
  const DWORD dword = random();
  switch (random() % 8) {
    case 0:  // missing
      return;
    case 1:
      ::RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dword), sizeof(dword));
      return;
    case 2:
      ::RegSetValueExA(key, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(text.data()),
                       static_cast<DWORD>(text.size()));
      return;
    case 3:  // no terminating zero
      ::RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                       static_cast<DWORD>(text.size()));
      return;
    case 4:
      text.assign(1 + random() % 70000, 'h');
      break;
    default:
      break;
  }
  ::RegSetValueExA(key, name.c_str(), 0, random() % 5 ? REG_SZ : REG_EXPAND_SZ,
                   reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>(text.size() + 1));
}

// A random tree below KQVTree: each new key goes below a random earlier one, some chains far below
// the depth bound.
void WriteRandomTree(std::mt19937& random) {
  std::vector<std::string> keys = {std::string(kTreeKey) + "\\Root"};
  const int count = 1 + random() % kMaxNodesPerCase;
  for (int i = 0; i < count; ++i) {
    std::string path = keys[random() % keys.size()];
    path.append("\\n").append(1, static_cast<char>('0' + random() % 5));
    keys.push_back(path);
  }
  if (random() % 10 == 0) {
    std::string deep = keys.back();
    for (int level = 0; level < kMaxTreeDepth + 6; ++level) deep += "\\d";
    keys.push_back(deep);
  }
  for (const std::string& path : keys) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr))
      continue;
    for (const char* name : kValueNames) WriteRandomValue(key, name, random);
    ::RegCloseKey(key);
  }
  HKEY history = nullptr;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, kHistoryKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &history, nullptr))
    return;
  const int entries = random() % 6;
  for (int i = 0; i < entries; ++i)
    WriteRandomValue(history, std::string(i == 0 ? 0 : 1, 'h').append(i == 0 ? 0 : 1, static_cast<char>('0' + i)),
                     random);
  ::RegCloseKey(history);
}

// Loads the stored tree and then the history into menu, as the context menu does; false when the
// history held a value that is not a string (the one failure the loader hands its caller).
bool LoadStored(TKQVMenu& menu) {
  TKQRegIniFile reg(KEY_READ);
  menu.LoadTree(&reg, kTreePath);
  try {
    menu.LoadHistory(&reg, kHistoryPath);
  } catch (const TKQRegDataTypeError&) {
    return false;
  }
  return true;
}

int Depth(const TCustomNode* node) {
  int depth = 0;
  for (; node; node = node->Parent()) ++depth;
  return depth;
}

// The menu of one level holds one item per node, in node order; bookmarks carry consecutive ids.
void CheckMenuLevel(HMENU menu, const TCustomNode::NodeList& level, int& index) {
  ASSERT_EQ(::GetMenuItemCount(menu), static_cast<int>(level.size()));
  for (size_t i = 0; i < level.size(); ++i) {
    const auto& node = static_cast<const TKQVNode&>(*level[i]);
    const UINT position = static_cast<UINT>(i);
    if (node.NodeType() == kNodeSeparator) {
      EXPECT_TRUE(::GetMenuState(menu, position, MF_BYPOSITION) & MF_SEPARATOR);
    } else if (node.NodeType() == kNodeFolder) {
      if (HMENU submenu = ::GetSubMenu(menu, static_cast<int>(i))) CheckMenuLevel(submenu, *node.Children(), index);
    } else {
      EXPECT_EQ(node.MenuIndex(), index);
      EXPECT_EQ(::GetMenuItemID(menu, static_cast<int>(i)), static_cast<UINT>(1000 + index));
      ++index;
    }
  }
}

TEST(StoredData, RandomTreesAndHistoriesLoadAndKeepTheTreesRules) {
  std::mt19937 random(kSeed);
  int nodes = 0, historyErrors = 0;
  const DWORD start = ::GetTickCount();
  for (int c = 0; c < kCases; ++c) {
    SCOPED_TRACE(c);
    ::SHDeleteKeyA(HKEY_CURRENT_USER, kTreeKey);
    ::SHDeleteKeyA(HKEY_CURRENT_USER, kHistoryKey);
    WriteRandomTree(random);
    TKQVMenu menu;
    if (!LoadStored(menu)) ++historyErrors;
    EXPECT_TRUE(menu.ShowIcons());
    for (TCustomNode* node = menu.GetFirstNode(); node; node = node->GetNext()) {
      ++nodes;
      ASSERT_LE(Depth(node), kMaxTreeDepth + 1);  // the tree and at most the history folder below it
      ASSERT_NE(static_cast<TKQVNode*>(node)->Info(), nullptr);
    }
    UINT id = 1000;
    int index = 0;
    HMENU built = menu.BuildMenu(nullptr, id, index);
    if (built) {
      int check = 0;
      CheckMenuLevel(built, menu.Roots(), check);
      EXPECT_EQ(check, index);
      EXPECT_EQ(id - 1000u, static_cast<UINT>(index));
      ::DestroyMenu(built);
    }
  }
  std::printf("[ measure ] %d random stored trees and histories (%d nodes, %d foreign history values): %lu ms\n",
              kCases, nodes, historyErrors, ::GetTickCount() - start);
  ::SHDeleteKeyA(HKEY_CURRENT_USER, kTreeKey);
  ::SHDeleteKeyA(HKEY_CURRENT_USER, kHistoryKey);
}

// Another thread deletes and rewrites the stored tree without pause while this one loads it and
// builds menus from it, as the context menu does: every load and every menu keeps the rules.
TEST(StoredData, ATreeRewrittenWhileMenusAreBuiltNeverBreaksThem) {
  constexpr int kRounds = 200;
  std::atomic<bool> stop{false};
  std::atomic<int> rewrites{0};
  std::thread writer([&] {
    std::mt19937 random(kSeed + 1);
    while (!stop) {
      ::SHDeleteKeyA(HKEY_CURRENT_USER, kTreeKey);
      WriteRandomTree(random);
      ++rewrites;
    }
  });
  int nodes = 0;
  for (int round = 0; round < kRounds; ++round) {
    TKQVMenu menu;
    LoadStored(menu);
    for (TCustomNode* node = menu.GetFirstNode(); node; node = node->GetNext()) {
      ++nodes;
      EXPECT_LE(Depth(node), kMaxTreeDepth + 1);
    }
    UINT id = 1000;
    int index = 0;
    if (HMENU built = menu.BuildMenu(nullptr, id, index)) {
      int check = 0;
      CheckMenuLevel(built, menu.Roots(), check);
      EXPECT_EQ(check, index);
      ::DestroyMenu(built);
    }
  }
  stop = true;
  writer.join();
  std::printf("[ measure ] %d loads and menus (%d nodes) during %d rewrites of the tree\n", kRounds, nodes,
              rewrites.load());
  ::SHDeleteKeyA(HKEY_CURRENT_USER, kTreeKey);
  ::SHDeleteKeyA(HKEY_CURRENT_USER, kHistoryKey);
}

}  // namespace
}  // namespace kq
