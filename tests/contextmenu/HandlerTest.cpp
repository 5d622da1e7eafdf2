// The context-menu handler as the shell drives it: created through its registration, initialised
// with the shell's own data objects, asked to fill a real popup menu whose submenus a menu owner
// opens as the shell and a user do, invoked by offset and by verb, with the stand-in host hearing
// what the handler sends and a real Open dialog moved to a chosen bookmark.
#include <gtest/gtest.h>
#include <windows.h>

#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/KQText.h"
#include "hostlink/KQVHostLink.h"
#include "shellwindows/KQShlBrowserUtils.h"
#include "tests/support/HostRegistry.h"
#include "tests/contextmenu/MenuOwner.h"
#include "tests/contextmenu/ServerFixtures.h"
#include "tests/support/HostProcess.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestWindows.h"

namespace kq::test {
namespace {

constexpr CLSID kClsid = {0x5E1B7C3A, 0x92D4, 0x4F6E, {0x8A, 0x1C, 0x3D, 0x7F, 0x0B, 0x9E, 0x2C, 0x64}};
constexpr char kIntegrate[] = "IntegrateToShellMenu";
constexpr char kShowAdd[] = "ShellShowAddToLNTRItem";
constexpr char kShowFavorites[] = "ShellShowFavorites";
constexpr char kShowHistory[] = "ShellShowFoldersHistory";
constexpr char kAddLogPrefix[] = "copydata kind=1 wparam=0x0 path=";
constexpr UINT kFirst = 100;
constexpr UINT kLast = 200;
constexpr UINT kOpenId = 1;
constexpr UINT kPropertiesId = 2;

// Explorer's menu before the handler adds to it; the handler is asked to insert at position 1.
constexpr char kShellItemsOnly[] = "Open=1|Properties=2";

std::string Outline(const std::string& inserted) { return "Open=1|" + inserted + "|Properties=2"; }

UINT Count(HRESULT hr) { return HRESULT_CODE(hr); }

HRESULT Invoke(IContextMenu* handler, UINT offset, HWND wnd = nullptr) {
  CMINVOKECOMMANDINFO info = {};
  info.cbSize = sizeof(info);
  info.hwnd = wnd;
  info.lpVerb = MAKEINTRESOURCEA(offset);
  info.nShow = SW_SHOWNORMAL;
  return handler->InvokeCommand(&info);
}

struct ScopedIDListOf {
  explicit ScopedIDListOf(const std::string& path) : list(AbsoluteIDList(path)) {}
  ~ScopedIDListOf() { ::CoTaskMemFree(list); }
  LPITEMIDLIST list;
};

class HandlerBase : public HostRegistry {
 protected:
  static void SetUpTestSuite() {
    ::CoInitialize(nullptr);
    ASSERT_EQ(RunRegsvr32(LibraryPath(), false), 0);
  }
  static void TearDownTestSuite() {
    RunRegsvr32(LibraryPath(), true);
    ::CoUninitialize();
  }
  void SetUp() override {
    HostRegistry::SetUp();
    ClearSettings();
    Setting(kIntegrate, "1");
    folderA = scratch.Path() + "\\a";
    folderB = scratch.Path() + "\\b";
    folderC = scratch.Path() + "\\c";
    for (const std::string& dir : {folderA, folderB, folderC}) ::CreateDirectoryA(dir.c_str(), nullptr);
    fileOne = scratch.WriteFile("one.txt", "1");
    fileTwo = scratch.WriteFile("two.txt", "2");
  }
  void TearDown() override {
    ClearSettings();
    HostRegistry::TearDown();
    for (const std::string& dir : {folderA, folderB, folderC}) ::RemoveDirectoryA(dir.c_str());
  }

  static void Setting(const char* name, const std::string& value) { WriteKey(kHostKey, {{name, value}}); }
  static void ClearSettings() {
    for (const char* name : {kIntegrate, kShowAdd, kShowFavorites, kShowHistory})
      ::SHDeleteValueA(HKEY_CURRENT_USER, kHostKey, name);
  }

  // Root > F(a, b), separator, c, the bookmarks pointing at the scratch folders.
  void WriteTree() const {
    WriteNode("Root", {{"DisplayName", "Root"}, {"NodeType", "1"}});
    WriteNode("Root\\1", {{"DisplayName", "F"}, {"NodeType", "1"}});
    WriteNode("Root\\1\\1", {{"DisplayName", "a"}, {"FileName", folderA}});
    WriteNode("Root\\1\\2", {{"DisplayName", "b"}, {"FileName", folderB}});
    WriteNode("Root\\2", {{"NodeType", "2"}});
    WriteNode("Root\\3", {{"DisplayName", "c"}, {"FileName", folderC}});
  }
  void WriteHistory() const { WriteKey(kHistoryKey, {{"h1", folderA}, {"h2", folderB}}); }

  static ComPtr<IContextMenu> NewHandler() {
    ComPtr<IContextMenu> handler;
    EXPECT_EQ(::CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&handler)), S_OK);
    return handler;
  }
  static HRESULT InitializeWith(IContextMenu* handler, LPCITEMIDLIST folder, IDataObject* data) {
    ComPtr<IShellExtInit> init;
    EXPECT_EQ(handler->QueryInterface(IID_PPV_ARGS(&init)), S_OK);
    return init ? init->Initialize(folder, data, nullptr) : E_NOINTERFACE;
  }

  // Asks the handler to fill Explorer's menu.
  void Fill(IContextMenu* handler, UINT flags = CMF_NORMAL, UINT first = kFirst, UINT last = kLast) {
    menu.reset(::CreatePopupMenu());
    ::AppendMenuA(menu.get(), MF_STRING, kOpenId, "Open");
    ::AppendMenuA(menu.get(), MF_STRING, kPropertiesId, "Properties");
    firstId = first;
    lastId = last;
    result = handler->QueryContextMenu(menu.get(), 1, first, last, flags);
  }
  // Fills the menu and opens each of its submenus as a user does; the outline of the menu then.
  std::string Query(IContextMenu* handler, UINT flags = CMF_NORMAL, UINT first = kFirst, UINT last = kLast) {
    Fill(handler, flags, first, last);
    return MenuOwner(handler).OpenAll(menu.get());
  }

  // Whether the count the handler reported takes in the id of every item it added, at any depth,
  // and no more ids than were granted.
  testing::AssertionResult CountCoversTheItems() const {
    const UINT count = Count(result);
    if (count > lastId - firstId + 1) return testing::AssertionFailure() << count << " ids, more than granted";
    std::vector<UINT> ids;
    CollectCommandIds(menu.get(), ids);
    std::set<UINT> distinct;
    for (UINT id : ids) {
      if (id == kOpenId || id == kPropertiesId) continue;  // the shell's own
      if (id < firstId || id - firstId >= count)
        return testing::AssertionFailure() << "id " << id << " outside the " << count << " from " << firstId;
      if (!distinct.insert(id).second) return testing::AssertionFailure() << "id " << id << " shown twice";
    }
    return testing::AssertionSuccess();
  }
  static void CollectCommandIds(HMENU level, std::vector<UINT>& ids) {
    for (int i = 0, n = ::GetMenuItemCount(level); i < n; ++i) {
      const MenuItem item = ItemAt(level, static_cast<UINT>(i));
      if (item.submenu) {
        CollectCommandIds(item.submenu, ids);
      } else if (!item.Separator() && !(item.state & MFS_GRAYED)) {
        ids.push_back(item.id);
      }
    }
  }

  ScratchDirectory scratch;
  std::string folderA, folderB, folderC, fileOne, fileTwo;
  ScopedMenu menu;
  UINT firstId = kFirst, lastId = kLast;
  HRESULT result = E_UNEXPECTED;
};

// The stand-in host runs for the whole suite, without hooks.
class Handler : public HandlerBase {
 protected:
  static void SetUpTestSuite() {
    HandlerBase::SetUpTestSuite();
    host = new HostProcess();
    // A block with room for the UTF-8 part: a test can make the host one that reads UTF-8.
    ASSERT_TRUE(host->Start({"--no-hook", "--mapping-size", std::to_string(kSharedBlockUtf8Size)}));
  }
  static void TearDownTestSuite() {
    host->Stop();
    delete host;
    host = nullptr;
    HandlerBase::TearDownTestSuite();
  }

  // What the host logged as added bookmarks since line from.
  static std::vector<std::string> AddedSince(size_t from) {
    std::vector<std::string> added;
    std::vector<std::string> lines = host->LogLines();
    for (size_t i = from; i < lines.size(); ++i) {
      if (lines[i].rfind(kAddLogPrefix, 0) == 0) added.push_back(lines[i].substr(sizeof(kAddLogPrefix) - 1));
    }
    return added;
  }
  // Chooses "Add to Lanterna..." of a handler set up with the given folder and data object, and
  // answers what the host received.
  std::vector<std::string> AddThrough(LPCITEMIDLIST folder, IDataObject* data, HRESULT* initResult = nullptr) {
    ComPtr<IContextMenu> handler = NewHandler();
    const HRESULT hr = InitializeWith(handler.Get(), folder, data);
    if (initResult) *initResult = hr;
    Fill(handler.Get());
    const size_t from = host->LogLines().size();
    EXPECT_EQ(Invoke(handler.Get(), 0), S_OK);
    EXPECT_TRUE(host->Command("echo added"));
    EXPECT_TRUE(host->WaitForLine("echo", nullptr, HostProcess::kCommandTimeoutMs, from));
    return AddedSince(from);
  }

  static HostProcess* host;
};
HostProcess* Handler::host = nullptr;

TEST_F(Handler, InitializeTakesTheOneSelectedElementAndPublishesIt) {
  ScopedIDListOf folder(scratch.Path());
  ComPtr<IDataObject> one = ShellDataObject(scratch.Path(), {"one.txt"});
  ASSERT_TRUE(one);
  HRESULT hr = E_UNEXPECTED;
  EXPECT_EQ(AddThrough(folder.list, one.Get(), &hr), std::vector<std::string>{fileOne});
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(ReadProbedFolder(), fileOne);

  // A selected folder is the element as well.
  ComPtr<IDataObject> dir = ShellDataObject(scratch.Path(), {"a"});
  ASSERT_TRUE(dir);
  EXPECT_EQ(AddThrough(folder.list, dir.Get(), &hr), std::vector<std::string>{folderA});
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(ReadProbedFolder(), folderA);
}

TEST_F(Handler, AHungHostDoesNotHoldTheShellsThread) {
  ScopedIDListOf folder(folderA);
  ComPtr<IContextMenu> handler = NewHandler();
  ASSERT_EQ(InitializeWith(handler.Get(), folder.list, nullptr), S_OK);
  Fill(handler.Get());
  const size_t from = host->LogLines().size();
  ASSERT_TRUE(host->Command("hang 6000"));
  const DWORD start = ::GetTickCount();
  EXPECT_EQ(Invoke(handler.Get(), 0), S_OK);
  const DWORD waited = ::GetTickCount() - start;
  // The handler gave up before the host answered.
  EXPECT_TRUE(AddedSince(from).empty());
  std::printf("add item with a hung host: returned after %lu ms (host hung for 6000 ms)\n",
              static_cast<unsigned long>(waited));
  EXPECT_TRUE(host->WaitForLine("hang", nullptr, HostProcess::kCommandTimeoutMs, from));
  ::Sleep(6000 - std::min<DWORD>(waited, 6000));
  EXPECT_TRUE(host->Command("echo awake", nullptr, 15000));
}

// A data object of the test's own: a drop list of the given names, or no CF_HDROP at all.
class DropList final : public IDataObject {
 public:
  DropList(std::vector<std::string> names, bool offersDrop) : names_(std::move(names)), offersDrop_(offersDrop) {}
  IFACEMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IDataObject) {
      *ppv = static_cast<IDataObject*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  IFACEMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  IFACEMETHODIMP_(ULONG) Release() override { return --refs_; }  // lives on the test's stack
  IFACEMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (!offersDrop_ || format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
    // The names in UTF-16, as the shell's own drop lists carry them.
    std::wstring list;
    for (const std::string& name : names_) list.append(ToWide(name)).push_back(L'\0');
    list.push_back(L'\0');
    const size_t bytes = list.size() * sizeof(wchar_t);
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + bytes);
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list.data(), bytes);
    ::GlobalUnlock(memory);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  IFACEMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  IFACEMETHODIMP QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
  IFACEMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  IFACEMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  IFACEMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  IFACEMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  IFACEMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
  IFACEMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

 private:
  std::vector<std::string> names_;
  bool offersDrop_;
  ULONG refs_ = 1;
};

TEST_F(Handler, ANameTooLongForThePathAndADataObjectWithoutADropList) {
  ScopedIDListOf folder(folderC);
  // A cut name would be another element: the handler takes none.
  const std::string longName = scratch.Path() + "\\" + std::string(270 - scratch.Path().size(), 'n');
  DropList tooLong({longName}, true);
  WriteProbedFolder("before");
  HRESULT hr = S_OK;
  EXPECT_TRUE(AddThrough(folder.list, &tooLong, &hr).empty());
  EXPECT_EQ(hr, E_FAIL);
  EXPECT_EQ(ReadProbedFolder(), "");
  // 260 characters still fit.
  const std::string longest = scratch.Path() + "\\" + std::string(259 - scratch.Path().size(), 'n');
  ASSERT_EQ(longest.size(), 260u);
  DropList fits({longest}, true);
  EXPECT_EQ(AddThrough(folder.list, &fits, &hr), std::vector<std::string>{longest});
  EXPECT_EQ(hr, S_OK);

  // No drop list: the folder is the element, and the data object's answer is the result.
  DropList noDrop({}, false);
  EXPECT_EQ(AddThrough(folder.list, &noDrop, &hr), std::vector<std::string>{folderC});
  EXPECT_EQ(hr, DV_E_FORMATETC);
  EXPECT_EQ(ReadProbedFolder(), folderC);
  EXPECT_TRUE(AddThrough(nullptr, &noDrop, &hr).empty());
  EXPECT_EQ(hr, E_FAIL);
}

// An element named outside the code page: a host that reads UTF-8 hears its exact path, an ANSI
// host its short name; the shared block holds the same.
TEST_F(Handler, AnElementNamedOutsideTheCodePageIsAddedExactlyOrByItsShortName) {
  const std::string element = scratch.Path() + "\\\u041f\u0440\u043e\u0435\u043a\u0442\u044b \u8cc7\u6599";
  ASSERT_TRUE(::CreateDirectoryW(ToWide(element).c_str(), nullptr));
  wchar_t shortName[MAX_PATH] = {};
  ASSERT_GT(::GetShortPathNameW(ToWide(element).c_str(), shortName, MAX_PATH), 0u);
  ASSERT_NE(ToUtf8(shortName), element) << "the volume gives no short names";
  ScopedIDListOf folder(scratch.Path());
  DropList drop({element}, true);
  EXPECT_EQ(AddThrough(folder.list, &drop), std::vector<std::string>{ToUtf8(shortName)});
  EXPECT_EQ(ReadProbedFolder(), ToUtf8(shortName));

  ASSERT_TRUE(host->Command("utf8 1"));
  const size_t from = host->LogLines().size();
  ComPtr<IContextMenu> handler = NewHandler();
  ASSERT_EQ(InitializeWith(handler.Get(), folder.list, &drop), S_OK);
  EXPECT_EQ(ReadProbedFolder(), element);
  Fill(handler.Get());
  EXPECT_EQ(Invoke(handler.Get(), 0), S_OK);
  std::string added;
  EXPECT_TRUE(host->WaitForLine("copydata kind=" + std::to_string(CopyDataAddBookmarkUtf8), &added,
                                HostProcess::kCommandTimeoutMs, from));
  EXPECT_EQ(added, "copydata kind=257 wparam=0x0 path=" + element);
  ASSERT_TRUE(host->Command("utf8 0"));
  ::RemoveDirectoryW(ToWide(element).c_str());
}

TEST_F(Handler, TwoSelectedElementsFailAndNothingIsAdded) {
  ScopedIDListOf folder(scratch.Path());
  ComPtr<IDataObject> two = ShellDataObject(scratch.Path(), {"one.txt", "two.txt"});
  ASSERT_TRUE(two);
  WriteProbedFolder("before");
  HRESULT hr = S_OK;
  EXPECT_TRUE(AddThrough(folder.list, two.Get(), &hr).empty());
  EXPECT_EQ(hr, E_FAIL);
  EXPECT_EQ(ReadProbedFolder(), "");
}

TEST_F(Handler, WithoutADataObjectTheFolderIsTheElementAndTheBlockIsLeftAlone) {
  ScopedIDListOf folder(folderB);
  WriteProbedFolder("untouched");
  HRESULT hr = E_UNEXPECTED;
  EXPECT_EQ(AddThrough(folder.list, nullptr, &hr), std::vector<std::string>{folderB});
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(ReadProbedFolder(), "untouched");

  // Neither folder nor data object: no element; the add item sends nothing and still succeeds.
  EXPECT_TRUE(AddThrough(nullptr, nullptr, &hr).empty());
  EXPECT_EQ(hr, E_FAIL);
  EXPECT_EQ(ReadProbedFolder(), "untouched");
}

TEST_F(Handler, TheMenuHoldsTheAddItemAndTheBookmarkTreeBetweenSeparators) {
  WriteTree();
  WriteHistory();
  ComPtr<IContextMenu> handler = NewHandler();
  EXPECT_EQ(Query(handler.Get()), Outline("-|Add to Lanterna...=100|Bookmarks...>(F>(a=101|b=102)|-|c=103|-|History>(" +
                                          folderA + "=104|" + folderB + "=105))|-"));
  EXPECT_TRUE(CountCoversTheItems());
  EXPECT_TRUE(SUCCEEDED(result));

  // The add item carries the module's check-mark bitmap; bookmarks their icons; history entries none.
  MenuItem add = ItemAt(menu.get(), 2);
  ASSERT_NE(add.checked, nullptr);
  EXPECT_EQ(add.checked, add.unchecked);
  BITMAP bm = {};
  ASSERT_EQ(::GetObjectA(add.checked, sizeof(bm), &bm), static_cast<int>(sizeof(bm)));
  EXPECT_EQ(bm.bmWidth, 13);
  EXPECT_EQ(bm.bmHeight, 13);
  MenuItem bookmarks = ItemAt(menu.get(), 3);
  ASSERT_NE(bookmarks.submenu, nullptr);
  MenuItem folderF = ItemAt(bookmarks.submenu, 0);
  ASSERT_NE(folderF.submenu, nullptr);
  EXPECT_NE(ItemAt(folderF.submenu, 0).checked, nullptr);
  // Folders showing the same icon share one bitmap: a large tree costs the shell's process a
  // bitmap per icon, not per bookmark.
  EXPECT_EQ(ItemAt(folderF.submenu, 1).checked, ItemAt(folderF.submenu, 0).checked);
  MenuItem history = ItemAt(bookmarks.submenu, 4);
  ASSERT_NE(history.checked, nullptr);
  ASSERT_EQ(::GetObjectA(history.checked, sizeof(bm), &bm), static_cast<int>(sizeof(bm)));
  EXPECT_EQ(bm.bmWidth, 16);
  EXPECT_EQ(ItemAt(history.submenu, 0).checked, nullptr);
}

// The submenus are filled as they open, through the interface each age of shell forwards the
// menu's messages with; opened all, the menu is the whole tree.
TEST_F(Handler, SubmenusFillAsTheyOpenForShellsOfBothAges) {
  WriteTree();
  WriteHistory();
  const std::string full = Outline("-|Add to Lanterna...=100|Bookmarks...>(F>(a=101|b=102)|-|c=103|-|History>(" +
                                   folderA + "=104|" + folderB + "=105))|-");
  for (ShellAge age : {ShellAge::Current, ShellAge::Older}) {
    SCOPED_TRACE(age == ShellAge::Current ? "IContextMenu3" : "IContextMenu2");
    ComPtr<IContextMenu> handler = NewHandler();
    ComPtr<IContextMenu3> menu3;
    ComPtr<IContextMenu2> menu2;
    EXPECT_EQ(age == ShellAge::Current ? handler.As(&menu3) : handler.As(&menu2), S_OK);
    Fill(handler.Get());
    const MenuItem bookmarks = ItemAt(menu.get(), 3);
    ASSERT_NE(bookmarks.submenu, nullptr);
    EXPECT_EQ(::GetMenuItemCount(bookmarks.submenu), 0);
    EXPECT_EQ(MenuOwner(handler.Get(), age).OpenAll(menu.get()), full);
    EXPECT_TRUE(CountCoversTheItems());
  }
}

TEST_F(Handler, ASubmenuOpenedTwiceHoldsItsItemsOnce) {
  WriteTree();
  WriteHistory();
  ComPtr<IContextMenu> handler = NewHandler();
  Fill(handler.Get());
  MenuOwner owner(handler.Get());
  EXPECT_TRUE(owner.Open(menu.get(), {"Bookmarks...", "F"}));
  EXPECT_TRUE(owner.Open(menu.get(), {"Bookmarks...", "F"}));
  EXPECT_EQ(owner.OpenAll(menu.get()),
            Outline("-|Add to Lanterna...=100|Bookmarks...>(F>(a=101|b=102)|-|c=103|-|History>(" + folderA + "=104|" +
                    folderB + "=105))|-"));
}

// What a right-click read is shown again only while the registry reports no change below the
// host's key: a change another process makes deep in the tree shows at the next right-click, and
// so does the host's whole key deleted and made again.
TEST_F(Handler, WhatAnotherProcessChangesShowsAtTheNextRightClick) {
  WriteTree();
  const std::string tree = "Bookmarks...>(F>(a=101|b=102)|-|c=103)";
  EXPECT_EQ(Query(NewHandler().Get()), Outline("-|Add to Lanterna...=100|" + tree + "|-"));
  // The first handler stays, and with it what it showed: a tree read again would show new bitmaps.
  ComPtr<IContextMenu> first = NewHandler();
  EXPECT_EQ(Query(first.Get()), Outline("-|Add to Lanterna...=100|" + tree + "|-"));
  const HBITMAP iconOfC = ItemAt(ItemAt(menu.get(), 3).submenu, 2).checked;
  ASSERT_NE(iconOfC, nullptr);

  // A new history is read alone: the tree, with its icons, is the one read before.
  ASSERT_EQ(RunSystemProgram("reg.exe", {"add", std::string("HKCU\\") + kHistoryKey, "/v", "h1", "/d", folderA, "/f"}),
            0);
  EXPECT_EQ(
      Query(NewHandler().Get()),
      Outline("-|Add to Lanterna...=100|Bookmarks...>(F>(a=101|b=102)|-|c=103|-|History>(" + folderA + "=104))|-"));
  EXPECT_EQ(ItemAt(ItemAt(menu.get(), 3).submenu, 2).checked, iconOfC);
  ::SHDeleteKeyA(HKEY_CURRENT_USER, kHistoryKey);

  const std::string nodeB = std::string("HKCU\\") + kTreeKey + "\\Root\\1\\2";
  ASSERT_EQ(RunSystemProgram("reg.exe", {"add", nodeB, "/v", "DisplayName", "/d", "renamed", "/f"}), 0);
  EXPECT_EQ(Query(NewHandler().Get()),
            Outline("-|Add to Lanterna...=100|Bookmarks...>(F>(a=101|renamed=102)|-|c=103)|-"));

  ASSERT_EQ(RunSystemProgram("reg.exe", {"delete", std::string("HKCU\\") + kHostKey, "/f"}), 0);
  Setting(kIntegrate, "1");
  EXPECT_EQ(Query(NewHandler().Get()), Outline("-|Add to Lanterna...=100|Bookmarks...[grey]|-"));
}

// The check-mark bitmaps of every item below menu, at any depth.
void CollectItemBitmaps(HMENU menu, std::vector<HBITMAP>& bitmaps) {
  for (int i = 0, n = ::GetMenuItemCount(menu); i < n; ++i) {
    const MenuItem item = ItemAt(menu, static_cast<UINT>(i));
    if (item.checked) bitmaps.push_back(item.checked);
    if (item.submenu) CollectItemBitmaps(item.submenu, bitmaps);
  }
}

// Asked for its menu twice, the handler reloads the tree: the first menu's bitmaps stay valid as
// long as the handler, whose menus may still be on the screen.
TEST_F(Handler, ASecondMenuLeavesTheFirstMenusBitmapsValid) {
  WriteTree();
  WriteHistory();
  ComPtr<IContextMenu> handler = NewHandler();
  Query(handler.Get());
  ScopedMenu first = std::move(menu);
  std::vector<HBITMAP> bitmaps;
  CollectItemBitmaps(first.get(), bitmaps);
  ASSERT_GE(bitmaps.size(), 5u);  // the add item, a, b, c and the "History" folder
  Query(handler.Get());
  for (HBITMAP bitmap : bitmaps) {
    BITMAP bm = {};
    EXPECT_EQ(::GetObjectA(bitmap, sizeof(bm), &bm), static_cast<int>(sizeof(bm))) << bitmap;
  }
}

TEST_F(Handler, SettingsAndFlagsDecideWhatIsAdded) {
  WriteTree();
  WriteHistory();
  const std::string tree = "F>(a=101|b=102)|-|c=103";
  const std::string full = Outline("-|Add to Lanterna...=100|Bookmarks...>(" + tree + "|-|History>(" + folderA +
                                   "=104|" + folderB + "=105))|-");

  // The integration switched off, or never switched on: nothing, whatever the rest says.
  Setting(kIntegrate, "0");
  EXPECT_EQ(Query(NewHandler().Get()), kShellItemsOnly);
  EXPECT_EQ(result, S_OK);
  ::SHDeleteValueA(HKEY_CURRENT_USER, kHostKey, kIntegrate);
  EXPECT_EQ(Query(NewHandler().Get()), kShellItemsOnly);
  Setting(kIntegrate, "1");

  // Default-only, verbs-only and no-verbs menus get nothing, unless Explorer asks with its tree.
  EXPECT_EQ(Query(NewHandler().Get(), CMF_DEFAULTONLY), kShellItemsOnly);
  EXPECT_EQ(Query(NewHandler().Get(), CMF_VERBSONLY), kShellItemsOnly);
  EXPECT_EQ(Query(NewHandler().Get(), CMF_NOVERBS), kShellItemsOnly);
  EXPECT_EQ(Query(NewHandler().Get(), CMF_DEFAULTONLY | CMF_EXPLORE), full);
  EXPECT_TRUE(CountCoversTheItems());
  EXPECT_EQ(Query(NewHandler().Get(), CMF_EXPLORE | CMF_CANRENAME), full);

  // History off; then favourites off: the history alone, as the only entry of "Bookmarks...".
  Setting(kShowHistory, "0");
  EXPECT_EQ(Query(NewHandler().Get()), Outline("-|Add to Lanterna...=100|Bookmarks...>(" + tree + ")|-"));
  EXPECT_TRUE(CountCoversTheItems());
  Setting(kShowHistory, "1");
  Setting(kShowFavorites, "0");
  EXPECT_EQ(Query(NewHandler().Get()),
            Outline("-|Add to Lanterna...=100|Bookmarks...>(History>(" + folderA + "=101|" + folderB + "=102))|-"));
  EXPECT_TRUE(CountCoversTheItems());
  // Asked twice, one object shows its history once.
  ComPtr<IContextMenu> twice = NewHandler();
  Query(twice.Get());
  EXPECT_EQ(Query(twice.Get()),
            Outline("-|Add to Lanterna...=100|Bookmarks...>(History>(" + folderA + "=101|" + folderB + "=102))|-"));

  // Both lists off: the add item alone. All three off: nothing, not even separators.
  Setting(kShowHistory, "0");
  EXPECT_EQ(Query(NewHandler().Get()), Outline("-|Add to Lanterna...=100|-"));
  EXPECT_TRUE(CountCoversTheItems());
  Setting(kShowAdd, "0");
  EXPECT_EQ(Query(NewHandler().Get()), kShellItemsOnly);
  EXPECT_EQ(result, S_OK);

  // While the host probes a dialog's folder, the menu is not for the user: nothing is added.
  ClearSettings();
  Setting(kIntegrate, "1");
  SetProbeActive(true);
  EXPECT_EQ(Query(NewHandler().Get()), kShellItemsOnly);
  SetProbeActive(false);
  EXPECT_EQ(Query(NewHandler().Get()), full);

  // No menu to fill.
  EXPECT_EQ(NewHandler()->QueryContextMenu(nullptr, 0, kFirst, kLast, CMF_NORMAL), S_OK);
}

TEST_F(Handler, WithoutTheAddItemBookmarksKeepTheirOffsetsAndOffsetZeroAddsNothing) {
  WriteTree();
  Setting(kShowAdd, "0");
  ComPtr<IContextMenu> handler = NewHandler();
  ScopedIDListOf folder(scratch.Path());
  ASSERT_EQ(InitializeWith(handler.Get(), folder.list, nullptr), S_OK);
  EXPECT_EQ(Query(handler.Get()), Outline("-|Bookmarks...>(F>(a=101|b=102)|-|c=103)|-"));
  EXPECT_TRUE(CountCoversTheItems());
  const size_t from = host->LogLines().size();
  EXPECT_EQ(Invoke(handler.Get(), 0), E_INVALIDARG);
  EXPECT_TRUE(host->Command("echo after"));
  EXPECT_TRUE(AddedSince(from).empty());
}

// Fewer ids granted than the items take: the count is every id granted.
TEST_F(Handler, ItemsStopWhereTheGrantedIdsEnd) {
  WriteTree();
  EXPECT_EQ(Query(NewHandler().Get(), CMF_NORMAL, kFirst, kFirst + 1),
            Outline("-|Add to Lanterna...=100|Bookmarks...>(F>(a=101))|-"));
  EXPECT_EQ(Count(result), 2u);
  EXPECT_EQ(Query(NewHandler().Get(), CMF_NORMAL, kFirst, kFirst),
            Outline("-|Add to Lanterna...=100|Bookmarks...[grey]|-"));
  EXPECT_EQ(Count(result), 1u);
  EXPECT_EQ(Query(NewHandler().Get(), CMF_NORMAL, kFirst, kFirst - 1), kShellItemsOnly);
  EXPECT_EQ(result, S_OK);
}

TEST_F(Handler, EmptyBookmarksAreShownDisabledAndAForeignHistoryValueStaysInside) {
  ComPtr<IContextMenu> handler = NewHandler();
  EXPECT_EQ(Query(handler.Get()), Outline("-|Add to Lanterna...=100|Bookmarks...[grey]|-"));
  EXPECT_TRUE(CountCoversTheItems());
  MenuItem bookmarks = ItemAt(menu.get(), 3);
  EXPECT_EQ(bookmarks.submenu, nullptr);
  EXPECT_NE(bookmarks.state & MFS_GRAYED, 0u);

  // A history value that is not a string ends the history there; the menu is built all the same.
  WriteTree();
  WriteKey(kHistoryKey, {{"h1", folderA}});
  WriteDword(kHistoryKey, "h2", 7);
  WriteKey(kHistoryKey, {{"h3", folderB}});
  ASSERT_EQ(EnumeratedValues(kHistoryKey), (std::vector<std::string>{"h1", "h2", "h3"}));
  EXPECT_EQ(
      Query(NewHandler().Get()),
      Outline("-|Add to Lanterna...=100|Bookmarks...>(F>(a=101|b=102)|-|c=103|-|History>(" + folderA + "=104))|-"));
}

// A history whose first value is not a string: only the entry that read appended is taken out
// again; the tree's last node without names (a separator closing the last folder) stays.
TEST_F(Handler, AHistoryThatFailsAtOnceLeavesTheWholeTree) {
  WriteTree();
  WriteNode("Root\\4", {{"DisplayName", "G"}, {"NodeType", "1"}});
  WriteNode("Root\\4\\1", {{"DisplayName", "x"}, {"FileName", folderC}});
  WriteNode("Root\\4\\2", {{"NodeType", "2"}});
  WriteDword(kHistoryKey, "h1", 7);
  WriteKey(kHistoryKey, {{"h2", folderA}});
  ASSERT_EQ(EnumeratedValues(kHistoryKey), (std::vector<std::string>{"h1", "h2"}));
  EXPECT_EQ(Query(NewHandler().Get()),
            Outline("-|Add to Lanterna...=100|Bookmarks...>(F>(a=101|b=102)|-|c=103|G>(x=104|-)|-|History[grey])|-"));
}

TEST_F(Handler, InvokeAnswersUnknownOffsetsAndVerbsAndDescribesTheAddItem) {
  WriteTree();
  ComPtr<IContextMenu> handler = NewHandler();
  Fill(handler.Get());
  EXPECT_EQ(Invoke(handler.Get(), 50), E_INVALIDARG);
  // A bookmark whose folder the window cannot show: the window is no dialog.
  StandInClass plain("LntrPlainWindow");
  HWND wnd = ::CreateWindowExA(0, "LntrPlainWindow", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(wnd, nullptr);
  EXPECT_EQ(Invoke(handler.Get(), 1, wnd), E_INVALIDARG);
  ::DestroyWindow(wnd);

  CMINVOKECOMMANDINFO byVerb = {};
  byVerb.cbSize = sizeof(byVerb);
  byVerb.lpVerb = "open";
  EXPECT_EQ(handler->InvokeCommand(&byVerb), E_FAIL);
  EXPECT_EQ(handler->InvokeCommand(nullptr), E_INVALIDARG);
  CMINVOKECOMMANDINFO tooSmall = {};
  tooSmall.cbSize = sizeof(tooSmall) / 2;
  EXPECT_EQ(handler->InvokeCommand(&tooSmall), E_INVALIDARG);

  char text[64];
  memset(text, 'x', sizeof(text));
  EXPECT_EQ(handler->GetCommandString(0, GCS_HELPTEXTA, nullptr, text, sizeof(text)), S_OK);
  EXPECT_STREQ(text, "Add a current element to bookmarks");
  memset(text, 'x', sizeof(text));
  EXPECT_EQ(handler->GetCommandString(0, GCS_HELPTEXTA, nullptr, text, 5), S_OK);
  EXPECT_EQ(std::string(text, 6), std::string("Add \0x", 6));  // five characters in all
  memset(text, 'x', sizeof(text));
  EXPECT_EQ(handler->GetCommandString(0, GCS_HELPTEXTW, nullptr, text, sizeof(text) / 2), S_OK);
  EXPECT_EQ(handler->GetCommandString(0, GCS_VERBA, nullptr, text, sizeof(text)), S_OK);
  EXPECT_EQ(text[0], 'x');  // nothing written
  EXPECT_EQ(handler->GetCommandString(1, GCS_HELPTEXTA, nullptr, text, sizeof(text)), E_INVALIDARG);
}

// ---- A real Open dialog, moved by a chosen bookmark --------------------------------------------

// Runs a task on the dialog's own thread once GetOpenFileNameA shows its folder, then cancels it.
struct DialogTask {
  std::function<void(HWND)> task;
  bool ran = false;
  int ticks = 0;
};
DialogTask* g_dialogTask = nullptr;

BOOL CALLBACK TakeVisibleDialog(HWND wnd, LPARAM param) {
  char name[16] = {};
  ::GetClassNameA(wnd, name, sizeof(name));
  if (std::string(name) != "#32770" || !::IsWindowVisible(wnd)) return TRUE;
  *reinterpret_cast<HWND*>(param) = wnd;
  return FALSE;
}

HWND ThreadDialog() {
  HWND found = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), TakeVisibleDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

std::string DialogFolder(HWND dialog) {
  char path[MAX_PATH] = {};
  if (::SendMessageA(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(path)) <= 0) return {};
  return path;
}

void CALLBACK OnDialogTimer(HWND, UINT, UINT_PTR id, DWORD) {
  DialogTask& run = *g_dialogTask;
  HWND dialog = ThreadDialog();
  if (run.ran) return;
  if (++run.ticks > 100 && dialog) ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  if (!dialog || DialogFolder(dialog).empty()) return;
  run.ran = true;
  ::KillTimer(nullptr, id);
  run.task(dialog);
  ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

bool RunInOpenDialog(const std::string& startFolder, std::function<void(HWND)> task) {
  DialogTask run{std::move(task)};
  g_dialogTask = &run;
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, OnDialogTimer);
  char file[MAX_PATH] = {};
  OPENFILENAMEA ofn = {};
  ofn.lStructSize = sizeof(ofn);
  ofn.lpstrFilter = "All files (*.*)\0*.*\0";
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrInitialDir = startFolder.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY;
  // The common dialogs are taken from comdlg32 as the shell's processes have it.
  ScopedModule comdlg32(::LoadLibraryA("comdlg32.dll"));
  auto open = reinterpret_cast<BOOL(WINAPI*)(OPENFILENAMEA*)>(
      reinterpret_cast<void*>(::GetProcAddress(comdlg32.get(), "GetOpenFileNameA")));
  if (open) open(&ofn);
  ::KillTimer(nullptr, timer);
  g_dialogTask = nullptr;
  return run.ran;
}

TEST_F(Handler, AChosenBookmarkMovesTheOpenDialogToItsFolder) {
  WriteTree();
  const bool ran = RunInOpenDialog(scratch.Path(), [&](HWND dialog) {
    EXPECT_EQ(DialogFolder(dialog), scratch.Path());
    // As the shell does it: create, initialise, fill the menu, invoke, release.
    {
      ComPtr<IContextMenu> handler = NewHandler();
      ScopedIDListOf folder(scratch.Path());
      EXPECT_EQ(InitializeWith(handler.Get(), folder.list, nullptr), S_OK);
      EXPECT_EQ(Query(handler.Get()), Outline("-|Add to Lanterna...=100|Bookmarks...>(F>(a=101|b=102)|-|c=103)|-"));
      EXPECT_EQ(Invoke(handler.Get(), 102 - kFirst, dialog), S_OK);  // "b"
      EXPECT_EQ(DialogFolder(dialog), folderB);
    }
    // Without the add item the first bookmark stays reachable at its own offset.
    Setting(kShowAdd, "0");
    {
      ComPtr<IContextMenu> handler = NewHandler();
      EXPECT_EQ(Query(handler.Get()), Outline("-|Bookmarks...>(F>(a=101|b=102)|-|c=103)|-"));
      EXPECT_EQ(Invoke(handler.Get(), 101 - kFirst, dialog), S_OK);  // "a"
      EXPECT_EQ(DialogFolder(dialog), folderA);
      EXPECT_EQ(Invoke(handler.Get(), 103 - kFirst, dialog), S_OK);  // "c"
      EXPECT_EQ(DialogFolder(dialog), folderC);
      // Without a window given, the command goes to the foreground window.
      EXPECT_EQ(::GetForegroundWindow(), dialog);
      EXPECT_EQ(Invoke(handler.Get(), 102 - kFirst, nullptr), S_OK);  // "b"
      EXPECT_EQ(DialogFolder(dialog), folderB);
    }
  });
  EXPECT_TRUE(ran);
}

// Another process changes the tree after "Bookmarks..." has opened: a folder opened afterwards
// shows the tree of the right-click, and its item goes where it says; the next right-click shows
// the change.
TEST_F(Handler, AFolderOpenedAfterAnotherProcessChangesTheTreeShowsTheRightClicksTree) {
  WriteTree();
  const std::string nodeB = std::string("HKCU\\") + kTreeKey + "\\Root\\1\\2";
  const bool ran = RunInOpenDialog(scratch.Path(), [&](HWND dialog) {
    ComPtr<IContextMenu> handler = NewHandler();
    Fill(handler.Get());
    MenuOwner owner(handler.Get());
    ASSERT_TRUE(owner.Open(menu.get(), {"Bookmarks..."}));
    ASSERT_EQ(RunSystemProgram("reg.exe", {"add", nodeB, "/v", "DisplayName", "/d", "renamed", "/f"}), 0);
    ASSERT_EQ(RunSystemProgram("reg.exe", {"add", nodeB, "/v", "FileName", "/d", folderC, "/f"}), 0);
    EXPECT_EQ(owner.Choose(menu.get(), {"Bookmarks...", "F", "b"}), 102u);
    EXPECT_EQ(MenuOutline(menu.get()), Outline("-|Add to Lanterna...=100|Bookmarks...>(F>(a=101|b=102)|-|c=103)|-"));
    EXPECT_EQ(Invoke(handler.Get(), 102 - kFirst, dialog), S_OK);
    EXPECT_EQ(DialogFolder(dialog), folderB);
  });
  EXPECT_TRUE(ran);
  EXPECT_EQ(Query(NewHandler().Get()),
            Outline("-|Add to Lanterna...=100|Bookmarks...>(F>(a=101|renamed=102)|-|c=103)|-"));
}

TEST_F(Handler, ABookmarkChosenByKeyboardFromAFolderInAFolderMovesTheOpenDialog) {
  WriteTree();
  WriteNode("Root\\1\\3", {{"DisplayName", "G"}, {"NodeType", "1"}});
  WriteNode("Root\\1\\3\\1", {{"DisplayName", "d"}, {"FileName", folderC}});
  const bool ran = RunInOpenDialog(scratch.Path(), [&](HWND dialog) {
    ComPtr<IContextMenu> handler = NewHandler();
    ScopedIDListOf folder(scratch.Path());
    EXPECT_EQ(InitializeWith(handler.Get(), folder.list, nullptr), S_OK);
    Fill(handler.Get());
    const UINT chosen = MenuOwner(handler.Get()).Choose(menu.get(), {"Bookmarks...", "F", "G", "d"});
    ASSERT_EQ(chosen, 103u);
    EXPECT_EQ(Invoke(handler.Get(), chosen - kFirst, dialog), S_OK);
    EXPECT_EQ(DialogFolder(dialog), folderC);
  });
  EXPECT_TRUE(ran);
}

// ---- An Explorer window, moved by a chosen bookmark --------------------------------------------

// A top-level "CabinetWClass" window hosting the shell's ExplorerBrowser, whose child of class
// "ShellTabWindowClass" answers message 1031 with the browser's IShellBrowser, as Windows 7 has it.
constexpr char kTabClass[] = "ShellTabWindowClass";

LRESULT CALLBACK TabWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kGetShellBrowserMsg) {
    HWND control = ::FindWindowExA(::GetParent(wnd), nullptr, "ExplorerBrowserControl", nullptr);
    return control ? ::SendMessageA(control, msg, wParam, lParam) : 0;
  }
  return ::DefWindowProcA(wnd, msg, wParam, lParam);
}

class ExplorerWindow {
 public:
  explicit ExplorerWindow(const std::string& folder) : cabinetClass_("CabinetWClass") {
    WNDCLASSA tab = {};
    tab.lpfnWndProc = TabWindowProc;
    tab.hInstance = ::GetModuleHandleA(nullptr);
    tab.lpszClassName = kTabClass;
    tabRegistered_ = ::RegisterClassA(&tab) != 0;
    window_ = ::CreateWindowExA(0, "CabinetWClass", "Explorer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 640, 480,
                                nullptr, nullptr, nullptr, nullptr);
    if (!window_) return;
    ::CreateWindowExA(0, kTabClass, "", WS_CHILD, 0, 0, 1, 1, window_, nullptr, nullptr, nullptr);
    if (FAILED(::CoCreateInstance(CLSID_ExplorerBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&browser_))))
      return;
    RECT area = {0, 0, 600, 400};
    FOLDERSETTINGS settings = {FVM_DETAILS, 0};
    if (FAILED(browser_->Initialize(window_, &area, &settings))) {
      browser_.Reset();
      return;
    }
    ScopedIDListOf list(folder);
    browser_->BrowseToIDList(list.list, SBSP_ABSOLUTE);
  }
  ~ExplorerWindow() {
    if (browser_) browser_->Destroy();
    browser_.Reset();
    if (window_) ::DestroyWindow(window_);
    if (tabRegistered_) ::UnregisterClassA(kTabClass, ::GetModuleHandleA(nullptr));
  }
  ExplorerWindow(const ExplorerWindow&) = delete;
  ExplorerWindow& operator=(const ExplorerWindow&) = delete;

  HWND Window() const { return window_; }
  bool Ready() const { return window_ && browser_; }
  // The folder the browser's view shows, read through the view itself.
  std::string Folder() const {
    ComPtr<IFolderView> view;
    if (!browser_ || FAILED(browser_->GetCurrentView(IID_PPV_ARGS(&view)))) return {};
    ComPtr<IPersistFolder2> folder;
    if (FAILED(view->GetFolder(IID_PPV_ARGS(&folder)))) return {};
    LPITEMIDLIST list = nullptr;
    if (FAILED(folder->GetCurFolder(&list))) return {};
    char path[MAX_PATH] = {};
    ::SHGetPathFromIDListA(list, path);
    ::CoTaskMemFree(list);
    return path;
  }

 private:
  StandInClass cabinetClass_;
  bool tabRegistered_ = false;
  HWND window_ = nullptr;
  ComPtr<IExplorerBrowser> browser_;
};

TEST_F(Handler, AChosenBookmarkMovesTheExplorerWindowToItsFolder) {
  WriteTree();
  WriteHistory();
  ExplorerWindow explorer(scratch.Path());
  ASSERT_TRUE(explorer.Ready());
  PumpMessagesFor(200);
  ASSERT_EQ(explorer.Folder(), scratch.Path());

  ComPtr<IContextMenu> handler = NewHandler();
  ScopedIDListOf folder(scratch.Path());
  ASSERT_EQ(InitializeWith(handler.Get(), folder.list, nullptr), S_OK);  // the folder's background
  EXPECT_EQ(Query(handler.Get(), CMF_EXPLORE),
            Outline("-|Add to Lanterna...=100|Bookmarks...>(F>(a=101|b=102)|-|c=103|-|History>(" + folderA + "=104|" +
                    folderB + "=105))|-"));
  EXPECT_EQ(Invoke(handler.Get(), 103 - kFirst, explorer.Window()), S_OK);  // "c"
  PumpMessagesFor(100);
  EXPECT_EQ(explorer.Folder(), folderC);
  EXPECT_EQ(Invoke(handler.Get(), 105 - kFirst, explorer.Window()), S_OK);  // the second history entry
  PumpMessagesFor(100);
  EXPECT_EQ(explorer.Folder(), folderB);
  // A bookmark whose folder is gone leaves the window where it is.
  ASSERT_TRUE(::RemoveDirectoryA(folderA.c_str()));
  EXPECT_EQ(Invoke(handler.Get(), 101 - kFirst, explorer.Window()), E_INVALIDARG);
  EXPECT_EQ(explorer.Folder(), folderB);
}

// ---- No host ----------------------------------------------------------------------------------

using WithoutHost = HandlerBase;

TEST_F(WithoutHost, TheHandlerAcceptsAnyElementAndAddsNothing) {
  ASSERT_EQ(::FindWindowA("TLanternaMain", nullptr), nullptr);
  WriteTree();
  ComPtr<IContextMenu> handler = NewHandler();
  ScopedIDListOf folder(scratch.Path());
  ComPtr<IDataObject> two = ShellDataObject(scratch.Path(), {"one.txt", "two.txt"});
  ASSERT_TRUE(two);
  EXPECT_EQ(InitializeWith(handler.Get(), folder.list, two.Get()), S_OK);
  EXPECT_EQ(InitializeWith(handler.Get(), nullptr, nullptr), S_OK);
  EXPECT_EQ(Query(handler.Get()), kShellItemsOnly);
  EXPECT_EQ(result, S_OK);
  EXPECT_EQ(Invoke(handler.Get(), 0), S_OK);  // nothing to send it to
}

}  // namespace
}  // namespace kq::test
