// The folder-browse tree walk in this process, with the task allocator watched: the absolute list
// built from the tree items' one-item lists, and every list the walk makes freed again, also when
// the selected folder has no file-system path.
#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>

#include <commctrl.h>

#include <cstring>
#include <set>
#include <vector>

#include "shellwindows/KQDialogFolder.h"
#include "shellwindows/KQShellUtils.h"
#include "tests/support/TestWindows.h"

namespace kq::test {
namespace {

// Counts the task allocator's blocks that are handed out and not yet freed.
class CountingSpy : public IMallocSpy {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IMallocSpy) {
      *out = static_cast<IMallocSpy*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T size) override { return size; }
  STDMETHODIMP_(void*) PostAlloc(void* block) override {
    if (block) live_.insert(block);
    return block;
  }
  STDMETHODIMP_(void*) PreFree(void* block, BOOL) override {
    live_.erase(block);
    return block;
  }
  STDMETHODIMP_(void) PostFree(BOOL) override {}
  STDMETHODIMP_(SIZE_T) PreRealloc(void* block, SIZE_T size, void** newBlock, BOOL) override {
    live_.erase(block);
    *newBlock = block;
    return size;
  }
  STDMETHODIMP_(void*) PostRealloc(void* block, BOOL) override {
    if (block) live_.insert(block);
    return block;
  }
  STDMETHODIMP_(void*) PreGetSize(void* block, BOOL) override { return block; }
  STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T size, BOOL) override { return size; }
  STDMETHODIMP_(void*) PreDidAlloc(void* block, BOOL) override { return block; }
  STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int actual) override { return actual; }
  STDMETHODIMP_(void) PreHeapMinimize() override {}
  STDMETHODIMP_(void) PostHeapMinimize() override {}

  size_t Live() const { return live_.size(); }

 private:
  std::set<void*> live_;
};

std::vector<std::vector<BYTE>> OneItemLists(LPCITEMIDLIST list) {
  std::vector<std::vector<BYTE>> items;
  for (const BYTE* p = reinterpret_cast<const BYTE*>(list); p && *reinterpret_cast<const USHORT*>(p);) {
    const USHORT cb = *reinterpret_cast<const USHORT*>(p);
    std::vector<BYTE> one(p, p + cb);
    one.push_back(0);
    one.push_back(0);
    items.push_back(one);
    p += cb;
  }
  return items;
}

// A folder-browse dialog whose tree holds the items of absolute, each carrying its one-item list;
// the last one selected.
class BrowseTreeDialog {
 public:
  explicit BrowseTreeDialog(LPCITEMIDLIST absolute)
      : tree_({kSystemDialogClass,
               0,
               {SystemChild("Static", 14146), SystemChild("Static", 14147), SystemChild(WC_TREEVIEWA, 14145)}},
              WS_EX_DLGMODALFRAME),
        items_(OneItemLists(absolute)) {
    HWND view = Tree();
    HTREEITEM parent = TVI_ROOT, last = nullptr;
    for (auto& one : items_) {
      TVINSERTSTRUCTA insert = {};
      insert.hParent = parent;
      insert.hInsertAfter = TVI_LAST;
      insert.item.mask = TVIF_PARAM;
      insert.item.lParam = reinterpret_cast<LPARAM>(one.data());
      last = reinterpret_cast<HTREEITEM>(::SendMessageA(view, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
      parent = last;
    }
    ::SendMessageA(view, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(last));
    selected_ = last;
  }
  HWND Dialog() const { return tree_.Root(); }
  HWND Tree() const { return tree_.Window({2}); }
  HTREEITEM Selected() const { return selected_; }

 private:
  TestWindowTree tree_;
  std::vector<std::vector<BYTE>> items_;
  HTREEITEM selected_ = nullptr;
};

// The spy stays registered for the rest of the program: the shell keeps blocks of its own, and a
// spy cannot be revoked while any block it saw is alive.
CountingSpy& Spy() {
  static CountingSpy spy;
  static const bool registered = [] {
    ::CoInitialize(nullptr);
    return ::CoRegisterMallocSpy(&spy) == S_OK;
  }();
  EXPECT_TRUE(registered);
  return spy;
}

class TreeWalk : public ::testing::Test {
 protected:
  CountingSpy& spy_ = Spy();
};

TEST_F(TreeWalk, BuildsTheAbsoluteListAndFreesWhatItMade) {
  LPITEMIDLIST absolute = ::ILCreateFromPathA("C:\\windows\\system32");
  ASSERT_NE(absolute, nullptr);
  const size_t before = spy_.Live();
  {
    BrowseTreeDialog dialog(absolute);
    ScopedIDList built(BuildTreeItemIDList(dialog.Tree(), dialog.Selected(), nullptr, nullptr));
    ASSERT_TRUE(built);
    ASSERT_EQ(IDListSize(built.get()), IDListSize(absolute));
    EXPECT_EQ(std::memcmp(built.get(), absolute, IDListSize(absolute)), 0);
    EXPECT_TRUE(::lstrcmpiA(GetBrowseTreeFolder(dialog.Dialog()).c_str(), "C:\\windows\\system32") == 0);
  }
  EXPECT_EQ(spy_.Live(), before);
  ::ILFree(absolute);
}

// The Control Panel has no file-system path: the walk's list must be freed all the same.
TEST_F(TreeWalk, AFolderWithoutAPathGivesNothingAndLeaksNothing) {
  LPITEMIDLIST controls = nullptr;
  ASSERT_EQ(::SHGetSpecialFolderLocation(nullptr, CSIDL_CONTROLS, &controls), S_OK);
  const size_t before = spy_.Live();
  {
    BrowseTreeDialog dialog(controls);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(GetBrowseTreeFolder(dialog.Dialog()), "");
  }
  EXPECT_EQ(spy_.Live(), before);
  ::ILFree(controls);
}

}  // namespace
}  // namespace kq::test
