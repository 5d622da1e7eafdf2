#include "shellwindows/KQDialogFolder.h"

#include <commctrl.h>
#include <wrl/client.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "common/KQGuard.h"
#include "common/KQUtils.h"
#include "hostlink/KQVHostLink.h"
#include "shellwindows/KQShellUtils.h"
#include "shellwindows/KQShlBrowserUtils.h"
#include "shellwindows/KQTaskWnd.h"
#include "shellwindows/KQWindowKind.h"

using Microsoft::WRL::ComPtr;

namespace kq {
namespace {

constexpr int kWideFolderBufferChars = 520;  // a Unicode dialog's answer
constexpr int kTreeFolderBufferChars = 261;
constexpr LPARAM kClickPoint = MAKELPARAM(4, 4);
constexpr size_t kDriveRootLength = 3;  // "C:\"
constexpr DWORD kBrowseSameBrowser = SBSP_SAMEBROWSER;

// The file-name field of the Office dialogs, by the first name the class contains.
struct OfficeField {
  const char* className;
  int fieldId;
};
constexpr int kOfficeFieldMso96Bar = 54;   // "bosa_sdm_Mso96" with a direct "MsoCommandBar" child
constexpr int kOfficeFieldOlder = 39;      // "bosa_sdm_Mso96" without one
constexpr int kOfficeFieldFallback = 48;   // tried when the table's field is missing
constexpr int kOfficeFieldMso96Edit = 51;  // "bosa_sdm_Mso96": the "Edit" that holds the name
constexpr char kClassMsoCommandBar[] = "MsoCommandBar";
constexpr OfficeField kOfficeFields[] = {
    {kClassOfficeWord12, 54}, {kClassOfficeWord11, 54},     {kClassOfficeWord10, 54}, {kClassOfficeXL9, 54},
    {kClassOfficeWord9, 48},  {kClassOfficeXL8, 39},        {kClassOfficeWord8, 39},  {kClassOfficeXL, 39},
    {kClassOfficeWord95, 39}, {kClassOfficePowerPoint, 39}, {kClassOfficeAccess, 39}, {kClassOfficeMso96, 0},
};

std::string Upper(std::string text) {
  if (!text.empty()) ::CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

bool ContainsIgnoringCase(const std::string& text, const char* part) {
  return Upper(text).find(Upper(part)) != std::string::npos;
}

// The Office field for the dialog's class; 0 when the class is no Office dialog.
int OfficeFieldId(HWND wnd, const std::string& className) {
  const std::string upper = Upper(className);
  for (const OfficeField& row : kOfficeFields) {
    if (upper.find(Upper(row.className)) == std::string::npos) continue;
    if (row.fieldId != 0) return row.fieldId;
    return ::FindWindowExA(wnd, nullptr, kClassMsoCommandBar, nullptr) ? kOfficeFieldMso96Bar : kOfficeFieldOlder;
  }
  return 0;
}

void ClickInto(HWND control) {
  ::SendMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, kClickPoint);
  ::SendMessageA(control, WM_LBUTTONUP, MK_LBUTTON, kClickPoint);
}

void PressKey(BYTE key) {
  ::keybd_event(key, 0, 0, 0);
  ::keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
}

// The folder part of a path, ending with a backslash ("C:\Data\Report.txt" -> "C:\Data\").
std::string FolderPart(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NamePart(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WideToAnsi(const wchar_t* text, int length) {
  if (length <= 0) return {};
  int bytes = ::WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string result(bytes > 0 ? bytes : 0, '\0');
  if (bytes > 0) ::WideCharToMultiByte(CP_ACP, 0, text, length, result.data(), bytes, nullptr, nullptr);
  return result;
}

// Whether a common dialog is asked for its folder in UTF-16: in the character set of the window
// that owns it, the program's own window; the dialog's own flag is not the program's (it changes
// whenever anyone subclasses the dialog through the other set's function). A dialog without an
// owner is asked in its own.
bool AskFolderWide(HWND dialog) {
  HWND owner = ::GetParent(dialog);
  return ::IsWindowUnicode(owner ? owner : dialog) != FALSE;
}

// The text of a CDM_GETFOLDERPATH answer of count characters, its zero included. It is read in the
// character set it was asked in when it is count - 1 characters long there. A dialog answers in
// the set its program opened it with, whatever its owner is, so an answer that fits only the
// other set is read in that one.
std::string FolderAnswerText(const std::vector<wchar_t>& buffer, LRESULT count, bool askedWide) {
  const wchar_t* wide = buffer.data();
  const char* narrow = reinterpret_cast<const char*>(buffer.data());
  // The buffer ends in a zero character that no answer writes: both readings stop inside it.
  const size_t wideLength = wcsnlen(wide, buffer.size());
  const size_t narrowLength = strnlen(narrow, buffer.size() * sizeof(wchar_t));
  const size_t textLength = static_cast<size_t>(count) - 1;
  const bool fitsWide = wideLength == textLength;
  const bool fitsNarrow = narrowLength == textLength;
  const bool readWide = askedWide ? (fitsWide || !fitsNarrow) : (!fitsNarrow && fitsWide);
  if (readWide) return WideToAnsi(wide, static_cast<int>(wideLength));
  return std::string(narrow, narrowLength);
}

std::string CommonDialogFolder(HWND wnd) {
  // The buffer holds the larger answer whichever set is asked, so a dialog that answers wide into
  // a narrow request cannot overrun it; one more zero character ends every reading of it.
  std::vector<wchar_t> buffer(kWideFolderBufferChars + 1, L'\0');
  const bool wide = AskFolderWide(wnd);
  const LRESULT count =
      wide ? ::SendMessageW(wnd, kCdmGetFolderPath, kWideFolderBufferChars, reinterpret_cast<LPARAM>(buffer.data()))
           : ::SendMessageA(wnd, kCdmGetFolderPath, kMaxPathChars, reinterpret_cast<LPARAM>(buffer.data()));
  if (count <= 0) return {};
  return FolderAnswerText(buffer, count, wide);
}

bool IsBrowseDialog(TWindowKind kind) { return IsBrowseKind(kind); }

std::string ProbeThroughContextMenu(HWND control) {
  const bool selected = ::SendMessageA(control, LVM_GETSELECTEDCOUNT, 0, 0) > 0;
  ::SendMessageA(control, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(control), MakeLParam(-1, -1));
  std::string result = ReadProbedFolder();
  if (selected) result = ParentFolderOfItem(result);
  if (result.size() > kDriveRootLength && result.back() == '\\') result.pop_back();
  return result;
}

}  // namespace

std::string GetDialogFolder(HWND wnd) {
  std::string result;
  Guard([&] {
    const TWindowKind kind = ClassifyWindow(wnd);
    if (kind == wkExplorer) {
      if (ComPtr<IShellBrowser> browser = GetShellBrowser(wnd)) result = GetBrowserFolder(browser.Get());
    } else if (kind == wkBrowseTree) {
      result = GetBrowseTreeFolder(wnd);
    } else if (kind == wkBrowseNew) {
      // Its folder-browse messages share numbers with the file dialogs' queries: only its own
      // browser, where it hosts one, can tell.
      if (ComPtr<IShellBrowser> browser = GetShellBrowser(wnd)) result = GetBrowserFolder(browser.Get());
    } else {
      result = CommonDialogFolder(wnd);
    }
  });
  return result;
}

LPITEMIDLIST BuildTreeItemIDList(HWND tree, HTREEITEM item, IMalloc* malloc, LPITEMIDLIST tail) {
  ComPtr<IMalloc> allocator(malloc);
  ScopedIDList built(tail);
  if (!allocator && FAILED(::SHGetMalloc(&allocator))) return built.release();
  // Walk from the item up to the root, each item's one-item list in front of what was built.
  for (HTREEITEM current = item; current;) {
    TVITEMA data = {};
    data.mask = TVIF_PARAM;
    data.hItem = current;
    if (!::SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data)) || data.lParam == 0) break;
    const auto* itemList = reinterpret_cast<LPCITEMIDLIST>(data.lParam);
    LPITEMIDLIST next = built ? ConcatIDLists(itemList, built.get()) : CloneFirstItem(allocator.Get(), itemList);
    if (!next) return nullptr;  // out of memory: what was built is freed by its owner
    built.reset(next);
    current = reinterpret_cast<HTREEITEM>(
        ::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(current)));
  }
  return built.release();
}

std::string GetBrowseTreeFolder(HWND wnd) {
  return Guarded(std::string(), [&] {
    HWND tree = FindChildWindow(wnd, kClassTreeView, kIdBrowseTree);
    if (!tree) return std::string();
    auto item = reinterpret_cast<HTREEITEM>(::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    ScopedIDList list(BuildTreeItemIDList(tree, item, nullptr, nullptr));
    if (!list) return std::string();
    char buffer[kTreeFolderBufferChars] = {};
    if (!::SHGetPathFromIDListA(list.get(), buffer)) return std::string();
    return std::string(buffer, strnlen(buffer, kTreeFolderBufferChars));
  });
}

std::string GetWindowFolder(HWND wnd, uint8_t kindValue, bool disableTrickForGettingFolder) {
  const auto kind = static_cast<TWindowKind>(kindValue);
  std::string result;
  Guard([&] {
    if (ComPtr<IShellBrowser> browser = GetShellBrowser(wnd)) result = GetBrowserFolder(browser.Get());
    if (!result.empty()) return;
    WriteProbedFolder(std::string());
    SetProbeActive(true);
    HWND control = nullptr;
    if (kind == wkBrowseNew) {
      control = FindChildWindow(wnd, kClassTreeView, kIdNameSpaceTree);
    } else if (IsOfficeKind(kind)) {
      control = FindChildWindow(wnd, kClassOpenListView, 0);
    }
    if (!::IsWindow(control) || disableTrickForGettingFolder) {
      WriteProbedFolder(std::string());
      SetProbeActive(false);
      result = GetDialogFolder(wnd);
    } else {
      result = ProbeThroughContextMenu(control);
    }
  });
  // Always, also after a failure: the host finds the last folder in the shared block.
  Guard([&] {
    WriteProbedFolder(result);
    SetProbeActive(false);
  });
  return result;
}

std::string ParentFolderOfItem(const std::string& path) {
  if (FileExists(path)) return FolderPart(path);
  std::string trimmed = path;
  if (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
  const size_t slash = trimmed.find_last_of('\\');
  if (slash == std::string::npos) return path;
  return trimmed.substr(0, slash + 1);
}

bool TypeIntoControl(HWND wnd, int ctrlId, const std::string& text) {
  return Guarded(false, [&] {
    if (!::IsWindow(wnd)) return false;
    TTaskWnd task(wnd);
    TTaskWnd* control = task.FindChildByID(ctrlId, false);
    if (!control) return false;
    ClickInto(control->Handle());
    control->SetText(text);
    return true;
  });
}

bool SetFolderByTyping(HWND wnd, const std::string& path) {
  return Guarded(false, [&] {
    if (!::IsWindow(wnd)) return false;
    TTaskWnd task(wnd);
    const std::string className = GetWndClassName(wnd);
    if (lstrcmpiA(className.c_str(), kClassTfFileDlg) == 0) {
      TTaskWnd* field = task.FindChildByID(kIdTfFileName, false);
      if (!field) return false;
      const std::string saved = field->GetText();
      ClickInto(field->Handle());
      field->SetText(path);
      PressKey(VK_RETURN);
      ProcessMessages();
      field->SetText(saved);
      PressKey(VK_END);
      return true;
    }
    int fieldId = OfficeFieldId(wnd, className);
    if (fieldId == 0) return false;
    TTaskWnd* field = task.FindChildByID(fieldId, false);
    if (!field) {
      field = task.FindChildByID(kOfficeFieldFallback, false);
      fieldId = kOfficeFieldFallback;
    }
    if (field && fieldId == kOfficeFieldFallback && field->GetWndClassName() == kClassEdit &&
        ContainsIgnoringCase(className, kClassOfficeMso96)) {
      if (TTaskWnd* edit = task.FindChildByIDAndClass(kOfficeFieldMso96Edit, kClassEdit, false)) field = edit;
    }
    // A dialog without a file-name field was handed nothing.
    if (!field) return false;
    field->SetText(std::string());
    ClickInto(field->Handle());
    field->SetText(path);
    PressKey(VK_RETURN);
    return true;
  });
}

bool SetDialogFolder(HWND wnd, const std::string& path) {
  if (!::IsWindow(wnd)) return false;
  return Guarded(false, [&] {
    std::string folder = ExpandPath(path);
    // A path the system's buffers cannot hold is refused, never cut into another path.
    if (folder.empty() || folder.size() >= static_cast<size_t>(kMaxPathChars)) return false;
    const TWindowKind kind = ClassifyWindow(wnd);
    if (SetFolderByTyping(wnd, folder)) return true;

    std::string fileName;
    if (FileExists(folder)) {
      fileName = NamePart(folder);
      folder = FolderPart(folder);
    }
    if (!DirectoryExists(folder)) return false;
    ScopedIDList list(IDListFromAnsiPath(folder));
    if (!list) return false;

    bool handedOver = false;
    if (ComPtr<IShellBrowser> browser = GetShellBrowser(wnd)) {
      handedOver = SUCCEEDED(browser->BrowseObject(list.get(), kBrowseSameBrowser));
      if (!handedOver && IsBrowseDialog(kind)) {
        ::SendMessageA(wnd, kBffmSetSelectionA, FALSE, reinterpret_cast<LPARAM>(list.get()));
        handedOver = true;
      }
      if (handedOver && !fileName.empty()) {
        if (kind == wkOpenSaveCombo) {
          TypeIntoControl(wnd, kIdFileNameCombo, fileName);
        } else if (kind == wkOpenSaveEdit) {
          TypeIntoControl(wnd, kIdFileNameEdit, fileName);
        }
      }
    } else if (IsBrowseDialog(kind)) {
      ::SendMessageA(wnd, kBffmSetSelectionA, FALSE, reinterpret_cast<LPARAM>(list.get()));
      handedOver = true;
    }
    return handedOver;
  });
}

}  // namespace kq
