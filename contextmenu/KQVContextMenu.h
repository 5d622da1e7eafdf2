// The shell context-menu extension: the handler Explorer creates for the context menu of a file,
// folder, drive or folder background, which adds "Add to Lanterna..." and the "Bookmarks..."
// submenu between two separators, and the registry entries that make the shell use it. The
// submenu's levels are filled as they open: the shell forwards WM_INITMENUPOPUP to the handler
// whose submenu opens (IContextMenu2/IContextMenu3). Its class
// object is the server's (lib/KQComServer.h), made from the handler's class identifier and Create.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include <memory>
#include <string>

#include "common/KQComModule.h"
#include "common/KQScoped.h"
#include "common/KQUtils.h"
#include "contextmenu/KQVBookmarkMenu.h"

namespace kq {

// {5E1B7C3A-92D4-4F6E-8A1C-3D7F0B9E2C64}
constexpr CLSID kContextMenuClassId = {0x5E1B7C3A, 0x92D4, 0x4F6E, {0x8A, 0x1C, 0x3D, 0x7F, 0x0B, 0x9E, 0x2C, 0x64}};
constexpr char kContextMenuDescription[] = "KQ Vantor";

// The handler key written below each of the parents, and the parents under HKEY_CLASSES_ROOT.
constexpr char kHandlerKeyName[] = "Lanterna";
constexpr const char* kHandlerParents[] = {
    "*\\shellex\\ContextMenuHandlers",
    "Folder\\shellex\\ContextMenuHandlers",
    "Drive\\shellex\\ContextMenuHandlers",
    "Directory\\shellex\\ContextMenuHandlers",
    "Directory\\Background\\shellex\\ContextMenuHandlers",
};
// The approval of the handler on NT-family systems, under HKEY_LOCAL_MACHINE; never removed.
constexpr char kApprovedKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
constexpr char kApprovedText[] = "Lanterna Context Menu Shell Extension";

// The settings read at each menu (values of ProductKeyPath(), Booleans as decimal strings).
constexpr char kIntegrateToShellMenu[] = "IntegrateToShellMenu";
constexpr char kShellShowAddToLNTRItem[] = "ShellShowAddToLNTRItem";
constexpr char kShellShowFavorites[] = "ShellShowFavorites";
constexpr char kShellShowFoldersHistory[] = "ShellShowFoldersHistory";

// The items' texts.
constexpr char kAddItemCaption[] = "Add to Lanterna...";
constexpr char kBookmarksCaption[] = "Bookmarks...";
constexpr char kAddItemHelpText[] = "Add a current element to bookmarks";
constexpr char kAddBitmapResource[] = "LNTR_ADD_BOOKMARK";

// The command offset of "Add to Lanterna..."; bookmarks take the offsets from 1 on, whether the
// add item is shown or not, so that no bookmark is ever taken for it.
constexpr UINT kAddItemOffset = 0;
constexpr UINT kFirstBookmarkOffset = 1;

// The element's path holds a path and its terminating zero.
constexpr size_t kElementPathChars = MAX_PATH + 1;

class TKQVContextMenu final : public TKQComObject, public IContextMenu3, public IShellExtInit {
 public:
  // A new handler answering riid in *ppv.
  static HRESULT Create(REFIID riid, void** ppv);
  // Writes (true) or removes (false) the handler keys and the approval value; the server writes
  // them after the class entries and removes them before. Throws TKQRegError when an entry cannot
  // be written.
  static void UpdateRegistry(bool doRegister);

  // IUnknown
  IFACEMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  IFACEMETHODIMP_(ULONG) AddRef() override;
  IFACEMETHODIMP_(ULONG) Release() override;

  // IContextMenu
  IFACEMETHODIMP QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags) override;
  IFACEMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* pici) override;
  IFACEMETHODIMP GetCommandString(UINT_PTR idCmd, UINT uType, UINT* pReserved, CHAR* pszName, UINT cchMax) override;

  // IContextMenu2, IContextMenu3: a level of "Bookmarks..." is filled when it opens.
  IFACEMETHODIMP HandleMenuMsg(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  IFACEMETHODIMP HandleMenuMsg2(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT* plResult) override;

  // IShellExtInit
  IFACEMETHODIMP Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* pdtobj, HKEY hkeyProgID) override;

  // Sends Path to the host as a new bookmark (nothing for an empty path); the answer is ignored.
  static void SendAddBookmark(const std::string& path);

 private:
  TKQVContextMenu() = default;
  ~TKQVContextMenu() override = default;

  static bool IsShellMenuEnabled();
  void ReadShellSettings();
  HBITMAP GetAddBitmap();
  void SetElementPath(const std::string& path);
  HRESULT DoInitialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* pdtobj);
  HRESULT DoQueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags);
  HRESULT DoInvokeCommand(const CMINVOKECOMMANDINFO& info);

  std::string ElementPath;                      // UTF-8, shorter than kElementPathChars UTF-16 units
  TShownBitmaps ShownBitmaps;                   // of every submenu this handler made
  std::unique_ptr<TKQVBookmarkMenu> Bookmarks;  // the submenu of the last QueryContextMenu
  ScopedBitmap AddBitmap;
  bool ShowAddItem = true;
  bool ShowFavorites = true;
  bool ShowHistory = true;
};

}  // namespace kq
