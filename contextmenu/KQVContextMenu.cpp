#include "contextmenu/KQVContextMenu.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "common/KQGuard.h"
#include "common/KQText.h"
#include "common/KQRegistry.h"
#include "common/KQScoped.h"
#include "common/KQUtils.h"
#include "hostlink/KQVHostLink.h"
#include "shellwindows/KQDialogFolder.h"
#include "shellwindows/KQShellUtils.h"

namespace kq {
namespace {

// Whether the other build of the library registers this class in the other registry view of a
// 64-bit system. The handler keys below "*", "Directory" and the like are shared by both views:
// they go with the last of the two registrations.
bool OtherViewRegistersClass(REFCLSID clsid) {
#if defined(_WIN64)
  const REGSAM otherView = KEY_WOW64_32KEY;
#else
  if (!IsWow64(::GetCurrentProcess())) return false;
  const REGSAM otherView = KEY_WOW64_64KEY;
#endif
  const std::string server = ServerKeyPath(clsid);
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, server.c_str(), 0, KEY_READ | otherView, &key) != ERROR_SUCCESS) return false;
  ScopedKey owned(key);
  return true;
}

// The count of command ids a QueryContextMenu result reports.
HRESULT CommandsUsed(UINT count) { return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, count); }

bool HostRuns() { return ::FindWindowA(kHostWindowClass, nullptr) != nullptr; }

// The one name of a drop list, or false when the list holds another number of names or a name
// that would not fit the element's path (a cut name would be another element).
bool SingleDropName(HDROP drop, std::string& name) {
  constexpr UINT kCountNames = 0xFFFFFFFF;  // the index that asks DragQueryFileW for the count
  if (::DragQueryFileW(drop, kCountNames, nullptr, 0) != 1) return false;
  const UINT length = ::DragQueryFileW(drop, 0, nullptr, 0);
  if (length == 0 || length >= kElementPathChars) return false;
  wchar_t buffer[kElementPathChars] = {};
  if (::DragQueryFileW(drop, 0, buffer, kElementPathChars) != length) return false;
  name = ToUtf8(std::wstring_view(buffer, length));
  return true;
}

}  // namespace

// ---- TKQVContextMenu ---------------------------------------------------------------------------

HRESULT TKQVContextMenu::Create(REFIID riid, void** ppv) {
  auto* object = new (std::nothrow) TKQVContextMenu();
  if (!object) return E_OUTOFMEMORY;
  const HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

IFACEMETHODIMP TKQVContextMenu::QueryInterface(REFIID riid, void** ppv) {
  return Guarded(E_UNEXPECTED, [&]() -> HRESULT {
    static const QITAB kInterfaces[] = {
        QITABENT(TKQVContextMenu, IContextMenu3),
        QITABENTMULTI(TKQVContextMenu, IContextMenu2, IContextMenu3),
        QITABENTMULTI(TKQVContextMenu, IContextMenu, IContextMenu3),
        QITABENT(TKQVContextMenu, IShellExtInit),
        {nullptr, 0},
    };
    return ::QISearch(this, kInterfaces, riid, ppv);
  });
}

IFACEMETHODIMP_(ULONG) TKQVContextMenu::AddRef() { return AddRefObject(); }

IFACEMETHODIMP_(ULONG) TKQVContextMenu::Release() { return ReleaseObject(); }

bool TKQVContextMenu::IsShellMenuEnabled() {
  return Guarded(false, [] {
    TKQRegIniFile reg(KEY_READ);
    return reg.ReadBool(ProductKeyPath(), kIntegrateToShellMenu, false);
  });
}

void TKQVContextMenu::ReadShellSettings() {
  // A failed read keeps that flag and the ones after it as they were.
  Guard([this] {
    TKQRegIniFile reg(KEY_READ);
    const std::string key = ProductKeyPath();
    ShowAddItem = reg.ReadBool(key, kShellShowAddToLNTRItem, true);
    ShowFavorites = reg.ReadBool(key, kShellShowFavorites, true);
    ShowHistory = reg.ReadBool(key, kShellShowFoldersHistory, true);
  });
}

HBITMAP TKQVContextMenu::GetAddBitmap() {
  if (!AddBitmap) AddBitmap.reset(::LoadBitmapA(LibraryModule(), kAddBitmapResource));
  return AddBitmap.get();
}

void TKQVContextMenu::SetElementPath(const std::string& path) {
  // A path longer than the element holds would be cut into another element: none is kept.
  ElementPath = WideLength(path) < kElementPathChars ? path : std::string();
}

void TKQVContextMenu::SendAddBookmark(const std::string& path) { ReportAddBookmark(path); }

IFACEMETHODIMP TKQVContextMenu::Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* pdtobj, HKEY) {
  return Guarded(E_FAIL, [&] { return DoInitialize(pidlFolder, pdtobj); });
}

HRESULT TKQVContextMenu::DoInitialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* pdtobj) {
  if (!HostRuns()) return S_OK;

  // The element is the folder itself (the background of a folder, or no selection to go by).
  auto takeFolder = [&]() -> HRESULT {
    SetElementPath(pidlFolder ? PathFromIDList(pidlFolder) : std::string());
    return pidlFolder ? S_OK : E_FAIL;
  };
  if (!pdtobj) return takeFolder();

  FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  ScopedStgMedium medium;
  HRESULT hr = pdtobj->GetData(&format, medium.put());
  if (FAILED(hr)) {
    if (FAILED(takeFolder())) hr = E_FAIL;
  } else {
    std::string name;
    if (medium.get().tymed == TYMED_HGLOBAL && SingleDropName(static_cast<HDROP>(medium.get().hGlobal), name)) {
      SetElementPath(name);
      hr = S_OK;
    } else {
      SetElementPath(std::string());
      hr = E_FAIL;
    }
  }
  WriteProbedFolder(ElementPath);
  return hr;
}

IFACEMETHODIMP TKQVContextMenu::QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                                 UINT uFlags) {
  return Guarded(CommandsUsed(0), [&] { return DoQueryContextMenu(hmenu, indexMenu, idCmdFirst, idCmdLast, uFlags); });
}

HRESULT TKQVContextMenu::DoQueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags) {
  if (IsProbeActive() || !HostRuns() || !IsShellMenuEnabled()) return CommandsUsed(0);
  ReadShellSettings();
  if (!ShowAddItem && !ShowFavorites && !ShowHistory) return CommandsUsed(0);
  constexpr UINT kNoMenuFlags = CMF_DEFAULTONLY | CMF_VERBSONLY | CMF_NOVERBS;
  if ((uFlags & kNoMenuFlags) != 0 && (uFlags & CMF_EXPLORE) == 0) return CommandsUsed(0);
  // Without a menu, or without a single id granted, there is nothing to add.
  if (!hmenu || idCmdFirst > idCmdLast) return CommandsUsed(0);

  UINT position = indexMenu;
  ::InsertMenuA(hmenu, position++, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
  if (ShowAddItem) {
    ::InsertMenuA(hmenu, position, MF_BYPOSITION | MF_STRING, idCmdFirst + kAddItemOffset, kAddItemCaption);
    if (HBITMAP bitmap = GetAddBitmap()) ::SetMenuItemBitmaps(hmenu, position, MF_BYPOSITION, bitmap, bitmap);
    ++position;
  }

  // Bookmarks take the offsets after the add item's, whether it is shown or not.
  UINT count = ShowAddItem ? kFirstBookmarkOffset : 0;
  Bookmarks.reset();
  if (ShowFavorites || ShowHistory) {
    Bookmarks = std::make_unique<TKQVBookmarkMenu>(ShowFavorites, ShowHistory, ShownBitmaps);
    // The ids reserved: what the bookmarks need, as far as the shell grants them.
    const UINT64 granted = UINT64{idCmdLast} - idCmdFirst + 1;
    const UINT end =
        static_cast<UINT>(std::min<UINT64>(granted, UINT64{kFirstBookmarkOffset} + Bookmarks->NeededOffsets()));
    ScopedMenu submenu(Bookmarks->MakeMenu(idCmdFirst, kFirstBookmarkOffset, end));
    if (submenu && ::InsertMenuA(hmenu, position, MF_BYPOSITION | MF_POPUP | MF_STRING,
                                 reinterpret_cast<UINT_PTR>(submenu.get()), kBookmarksCaption)) {
      (void)submenu.release();  // the shell's menu owns it now
      if (end > kFirstBookmarkOffset) count = end;
    } else {
      // Nothing to choose (no tree, no history, or no ids left): shown, but disabled.
      ::InsertMenuA(hmenu, position, MF_BYPOSITION | MF_STRING | MF_GRAYED, 0, kBookmarksCaption);
    }
    ++position;
  }
  ::InsertMenuA(hmenu, position, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
  return CommandsUsed(count);
}

IFACEMETHODIMP TKQVContextMenu::HandleMenuMsg(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  return HandleMenuMsg2(uMsg, wParam, lParam, &result);
}

IFACEMETHODIMP TKQVContextMenu::HandleMenuMsg2(UINT uMsg, WPARAM wParam, LPARAM, LRESULT* plResult) {
  return Guarded(E_FAIL, [&]() -> HRESULT {
    if (plResult) *plResult = 0;
    // A shell may offer a message to one handler after another until one takes it: only a
    // level of this handler's submenu is taken. The items are drawn by the system.
    switch (uMsg) {
      case WM_INITMENUPOPUP:
        return Bookmarks && Bookmarks->Fill(reinterpret_cast<HMENU>(wParam)) ? S_OK : E_INVALIDARG;
      default:
        return E_NOTIMPL;
    }
  });
}

IFACEMETHODIMP TKQVContextMenu::InvokeCommand(CMINVOKECOMMANDINFO* pici) {
  return Guarded(E_FAIL, [&]() -> HRESULT {
    if (!pici || pici->cbSize < sizeof(CMINVOKECOMMANDINFO)) return E_INVALIDARG;
    return DoInvokeCommand(*pici);
  });
}

HRESULT TKQVContextMenu::DoInvokeCommand(const CMINVOKECOMMANDINFO& info) {
  if (!IS_INTRESOURCE(info.lpVerb)) return E_FAIL;  // a verb given as text
  const UINT offset = LOWORD(reinterpret_cast<UINT_PTR>(info.lpVerb));
  HWND wnd = ::IsWindow(info.hwnd) ? info.hwnd : ::GetForegroundWindow();
  if (offset == kAddItemOffset) {
    // Only the shown item adds: the offset never stands for a bookmark.
    if (!ShowAddItem) return E_INVALIDARG;
    SendAddBookmark(ElementPath);
    return S_OK;
  }
  std::string folder;
  if (!Bookmarks || !Bookmarks->FolderAt(offset, folder)) return E_INVALIDARG;
  return SetDialogFolder(wnd, folder) ? S_OK : E_INVALIDARG;
}

IFACEMETHODIMP TKQVContextMenu::GetCommandString(UINT_PTR idCmd, UINT uType, UINT*, CHAR* pszName, UINT cchMax) {
  return Guarded(E_FAIL, [&]() -> HRESULT {
    if (idCmd != kAddItemOffset) return E_INVALIDARG;
    if (uType == GCS_HELPTEXTA && pszName && cchMax > 0)
      ::lstrcpynA(pszName, kAddItemHelpText, static_cast<int>(cchMax));
    return S_OK;
  });
}

// ---- Registration ------------------------------------------------------------------------------

void TKQVContextMenu::UpdateRegistry(bool doRegister) {
  const std::string clsidText = GuidText(kContextMenuClassId);
  if (doRegister) {
    TKQRegIniFile reg(KEY_WRITE);
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    for (const char* parent : kHandlerParents)
      reg.WriteString(std::string(parent) + "\\" + kHandlerKeyName, "", clsidText);
    if (IsWinNT()) {
      reg.SetRootKey(HKEY_LOCAL_MACHINE);
      reg.WriteString(kApprovedKey, clsidText, kApprovedText);
    }
  } else {
    TKQRegIniFile reg(KEY_WRITE);
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    // A handler key that is not there is no error.
    if (!OtherViewRegistersClass(kContextMenuClassId))
      for (const char* parent : kHandlerParents) reg.DeleteKey(std::string(parent) + "\\" + kHandlerKeyName);
  }
}

}  // namespace kq
