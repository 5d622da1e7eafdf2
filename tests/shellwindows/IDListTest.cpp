// Item identifier lists built, walked, copied and turned into paths with the real shell, and the
// icon look-ups the bookmark menu uses.
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "bookmarks/KQShellIcons.h"
#include "common/KQScoped.h"
#include "shellwindows/KQShellUtils.h"

namespace kq {
namespace {

using Microsoft::WRL::ComPtr;

// A list of items of the given data sizes (the data bytes numbered from Seed), with a terminator.
std::vector<BYTE> MakeList(std::vector<int> dataSizes, BYTE seed = 1) {
  std::vector<BYTE> list;
  for (int size : dataSizes) {
    const USHORT cb = static_cast<USHORT>(size + 2);
    list.push_back(static_cast<BYTE>(cb & 0xFF));
    list.push_back(static_cast<BYTE>(cb >> 8));
    for (int i = 0; i < size; ++i) list.push_back(seed++);
  }
  list.push_back(0);
  list.push_back(0);
  return list;
}

LPCITEMIDLIST AsList(const std::vector<BYTE>& bytes) { return reinterpret_cast<LPCITEMIDLIST>(bytes.data()); }

// The item after the first item of list (list plus its first byte count, which need not be aligned).
LPCITEMIDLIST NextItemID(LPCITEMIDLIST list) {
  if (!list) return nullptr;
  USHORT cb = 0;
  std::memcpy(&cb, list, sizeof(cb));
  return reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<const BYTE*>(list) + cb);
}

// Frees list with the task allocator; nothing for null. Throws when the allocator cannot be obtained.
void FreeIDList(LPITEMIDLIST list) {
  if (!list) return;
  ComPtr<IMalloc> malloc;
  if (FAILED(::SHGetMalloc(&malloc)) || !malloc) throw std::runtime_error("the shell task allocator is not available");
  malloc->Free(list);
}

std::vector<BYTE> BytesOf(LPCITEMIDLIST list) {
  const BYTE* p = reinterpret_cast<const BYTE*>(list);
  return std::vector<BYTE>(p, p + IDListSize(list));
}

SIZE IconSize(HICON icon) {
  ICONINFO info = {};
  EXPECT_TRUE(::GetIconInfo(icon, &info));
  ScopedBitmap color(info.hbmColor), mask(info.hbmMask);
  BITMAP bm = {};
  ::GetObjectA(color ? color.get() : mask.get(), sizeof(bm), &bm);
  return {bm.bmWidth, color ? bm.bmHeight : bm.bmHeight / 2};
}

std::vector<BYTE> IconBits(HICON icon) {
  ICONINFO info = {};
  EXPECT_TRUE(::GetIconInfo(icon, &info));
  ScopedBitmap color(info.hbmColor), mask(info.hbmMask);
  BITMAP bm = {};
  ::GetObjectA(color.get(), sizeof(bm), &bm);
  std::vector<BYTE> bits(static_cast<size_t>(bm.bmWidthBytes) * bm.bmHeight);
  ::GetBitmapBits(color.get(), static_cast<LONG>(bits.size()), bits.data());
  return bits;
}

constexpr char kShell32[] = "C:\\windows\\system32\\shell32.dll";

class IDListTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { ::CoInitialize(nullptr); }
  static void TearDownTestSuite() { ::CoUninitialize(); }
};

TEST_F(IDListTest, SizesCountEveryItemAndTheTerminator) {
  EXPECT_EQ(IDListSize(nullptr), 0u);
  const std::vector<BYTE> empty = MakeList({});
  EXPECT_EQ(IDListSize(AsList(empty)), 2u);
  const std::vector<BYTE> two = MakeList({3, 5});
  EXPECT_EQ(IDListSize(AsList(two)), 5u + 7u + 2u);
  EXPECT_EQ(reinterpret_cast<const BYTE*>(NextItemID(AsList(two))), two.data() + 5);
  EXPECT_EQ(IDListSize(NextItemID(AsList(two))), 7u + 2u);
}

TEST_F(IDListTest, AllocatedBlocksAreZeroFilled) {
  ScopedIDList block(static_cast<LPITEMIDLIST>(AllocIDList(64)));
  ASSERT_TRUE(block);
  const BYTE* p = reinterpret_cast<const BYTE*>(block.get());
  EXPECT_TRUE(std::all_of(p, p + 64, [](BYTE b) { return b == 0; }));
  EXPECT_EQ(IDListSize(block.get()), 2u);
}

TEST_F(IDListTest, ConcatenationKeepsFirstsItemsAndTheWholeSecond) {
  const std::vector<BYTE> first = MakeList({2, 4}, 10), second = MakeList({3}, 50), empty = MakeList({});
  const std::vector<BYTE> firstBefore = first, secondBefore = second;

  ScopedIDList both(ConcatIDLists(AsList(first), AsList(second)));
  ASSERT_TRUE(both);
  std::vector<BYTE> expected(first.begin(), first.end() - 2);
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(BytesOf(both.get()), expected);
  EXPECT_EQ(first, firstBefore);
  EXPECT_EQ(second, secondBefore);

  ScopedIDList fromNil(ConcatIDLists(nullptr, AsList(second)));
  ASSERT_TRUE(fromNil);
  EXPECT_NE(reinterpret_cast<const BYTE*>(fromNil.get()), second.data());
  EXPECT_EQ(BytesOf(fromNil.get()), second);
  ScopedIDList fromEmpty(ConcatIDLists(AsList(empty), AsList(second)));
  EXPECT_EQ(BytesOf(fromEmpty.get()), second);
  ScopedIDList withNil(ConcatIDLists(AsList(first), nullptr));  // ends as the first does
  EXPECT_EQ(BytesOf(withNil.get()), first);
}

TEST_F(IDListTest, CloneFirstItemGivesAOneItemList) {
  ComPtr<IMalloc> malloc;
  ASSERT_EQ(::SHGetMalloc(&malloc), S_OK);
  const std::vector<BYTE> one = MakeList({6}), two = MakeList({6, 3});
  ScopedIDList a(CloneFirstItem(malloc.Get(), AsList(one)));
  EXPECT_EQ(BytesOf(a.get()), one);
  ScopedIDList b(CloneFirstItem(malloc.Get(), AsList(two)));
  EXPECT_EQ(BytesOf(b.get()), one);  // ended after the first item
  EXPECT_EQ(CloneFirstItem(nullptr, AsList(one)), nullptr);
}

TEST_F(IDListTest, PathsGoToListsAndBack) {
  ScopedIDList windows(IDListFromPathText("C:\\windows"));
  ASSERT_TRUE(windows);
  EXPECT_EQ(PathFromIDList(windows.get()), "C:\\windows");
  ScopedIDList wide(IDListFromPath(L"C:\\windows\\system32"));
  ASSERT_TRUE(wide);
  EXPECT_EQ(PathFromIDList(wide.get()), "C:\\windows\\system32");
  EXPECT_EQ(IDListFromPathText("C:\\no\\such\\folder"), nullptr);
  EXPECT_EQ(IDListFromPath(nullptr), nullptr);
  EXPECT_EQ(PathFromIDList(nullptr), "");
  EXPECT_NO_THROW(FreeIDList(nullptr));
  EXPECT_NO_THROW(FreeIDList(windows.release()));
}

TEST_F(IDListTest, AbsoluteListRebuiltFromItsItemsLikeTheTreeWalk) {
  ComPtr<IMalloc> malloc;
  ASSERT_EQ(::SHGetMalloc(&malloc), S_OK);
  ScopedIDList original(IDListFromPathText("C:\\windows\\system32"));
  ASSERT_TRUE(original);

  // Split into one-item lists, then prepend them again from the last up, as a walk up a tree does.
  std::vector<ScopedIDList> items;
  for (LPCITEMIDLIST p = original.get(); IDListSize(p) > 2; p = NextItemID(p))
    items.emplace_back(CloneFirstItem(malloc.Get(), p));
  ASSERT_GE(items.size(), 3u);
  ScopedIDList tail;
  for (auto it = items.rbegin(); it != items.rend(); ++it)
    tail.reset(tail ? ConcatIDLists(it->get(), tail.get()) : CloneFirstItem(malloc.Get(), it->get()));
  EXPECT_EQ(BytesOf(tail.get()), BytesOf(original.get()));
  EXPECT_EQ(PathFromIDList(tail.get()), "C:\\windows\\system32");
}

TEST_F(IDListTest, VirtualFoldersHaveNoPath) {
  ScopedIDList controls;
  ASSERT_EQ(::SHGetSpecialFolderLocation(nullptr, CSIDL_CONTROLS, controls.put()), S_OK);
  ASSERT_TRUE(controls);
  EXPECT_EQ(PathFromIDList(controls.get()), "");
}

TEST_F(IDListTest, FileIconsOnlyForIndexesTheFileHas) {
  const UINT count =
      static_cast<UINT>(reinterpret_cast<UINT_PTR>(::ExtractIconA(::GetModuleHandleA(nullptr), kShell32, UINT_MAX)));
  ASSERT_GT(count, 1u);
  const int small = ::GetSystemMetrics(SM_CXSMICON), large = ::GetSystemMetrics(SM_CXICON);

  ScopedIcon smallIcon(ExtractSmallFileIcon(kShell32, 0));
  ASSERT_TRUE(smallIcon);
  EXPECT_EQ(IconSize(smallIcon.get()).cx, small);
  ScopedIcon lastSmall(ExtractSmallFileIcon(kShell32, static_cast<int>(count) - 1));
  EXPECT_TRUE(lastSmall);
  ScopedIcon largeIcon(ExtractFileIcon(kShell32, 0));
  ASSERT_TRUE(largeIcon);
  EXPECT_EQ(IconSize(largeIcon.get()).cx, large);

  EXPECT_EQ(ExtractSmallFileIcon(kShell32, -1), nullptr);
  EXPECT_EQ(ExtractSmallFileIcon(kShell32, static_cast<int>(count)), nullptr);
  EXPECT_EQ(ExtractFileIcon(kShell32, static_cast<int>(count)), nullptr);
  EXPECT_EQ(ExtractFileIcon(kShell32, INT_MIN), nullptr);
  EXPECT_EQ(ExtractSmallFileIcon("C:\\no\\such.dll", 0), nullptr);
  EXPECT_EQ(ExtractSmallFileIcon("C:\\windows", 0), nullptr);           // a folder is not an icon file
  EXPECT_EQ(ExtractSmallFileIcon("C:\\windows\\win.ini", 0), nullptr);  // a file without icons
}

TEST_F(IDListTest, ShellIconsFollowTheSizeAndOpenFlags) {
  ScopedIcon closedSmall(GetShellIcon("C:\\windows", false, false));
  ScopedIcon openSmall(GetShellIcon("C:\\windows", false, true));
  ScopedIcon closedLarge(GetShellIcon("C:\\windows", true, false));
  ASSERT_TRUE(closedSmall && openSmall && closedLarge);
  EXPECT_EQ(IconSize(closedSmall.get()).cx, ::GetSystemMetrics(SM_CXSMICON));
  EXPECT_EQ(IconSize(closedLarge.get()).cx, ::GetSystemMetrics(SM_CXICON));
  EXPECT_NE(IconBits(openSmall.get()), IconBits(closedSmall.get()));

  // The same as the shell's own answer to the flags 0x4103.
  SHFILEINFOA info = {};
  ASSERT_NE(::SHGetFileInfoA("C:\\windows", 0, &info, sizeof(info), 0x4103), 0u);
  ScopedIcon direct(info.hIcon);
  EXPECT_EQ(IconBits(openSmall.get()), IconBits(direct.get()));

  // A path the shell cannot describe gives no icon, also when asked again.
  EXPECT_EQ(GetShellIcon("C:\\no\\such\\thing", false, false), nullptr);
  EXPECT_EQ(GetShellIcon("C:\\no\\such\\thing", false, false), nullptr);
  EXPECT_EQ(GetShellIcon(std::string(400, 'x'), false, false), nullptr);
}

}  // namespace
}  // namespace kq
