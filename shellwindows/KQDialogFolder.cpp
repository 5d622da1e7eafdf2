#include "shellwindows/KQDialogFolder.h"

#include <commctrl.h>
#include <wrl/client.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <utility>
#include <vector>

#include "common/KQGuard.h"
#include "common/KQPathCheck.h"
#include "common/KQText.h"
#include "common/KQUtils.h"
#include "hostlink/KQVHostLink.h"
#include "shellwindows/KQShellUtils.h"
#include "shellwindows/KQShlBrowserUtils.h"
#include "shellwindows/KQTaskWnd.h"
#include "shellwindows/KQWindowKind.h"

using Microsoft::WRL::ComPtr;

namespace kq {
namespace {

constexpr int kWideFolderBufferChars = 2 * MAX_PATH;  // a Unicode dialog's answer
constexpr LPARAM kClickPoint = MAKELPARAM(4, 4);
constexpr size_t kDriveRootLength = 3;  // "C:\"

// The file-name fields of the Office dialogs. The older generations use kIdOfficeFileName.
constexpr int kOfficeFieldNewer = 54;  // Word 10 and later, XL9, "bosa_sdm_Mso96" with a command bar
constexpr int kOfficeFieldWord9 = 48;
constexpr int kOfficeFieldFallback = kOfficeFieldWord9;  // tried when the table's field is missing
constexpr int kOfficeFieldMso96Edit = 51;                // "bosa_sdm_Mso96": the "Edit" that holds the name
constexpr int kOfficeFieldByCommandBar = 0;              // kOfficeFieldNewer with a direct "MsoCommandBar" child
constexpr char kClassMsoCommandBar[] = "MsoCommandBar";

// The file-name field of the Office dialogs, by the first name the class contains.
struct TOfficeField {
  const char* ClassName;
  int FieldId;
};
constexpr TOfficeField kOfficeFields[] = {
    {kClassOfficeWord12, kOfficeFieldNewer}, {kClassOfficeWord11, kOfficeFieldNewer},
    {kClassOfficeWord10, kOfficeFieldNewer}, {kClassOfficeXL9, kOfficeFieldNewer},
    {kClassOfficeWord9, kOfficeFieldWord9},  {kClassOfficeXL8, kIdOfficeFileName},
    {kClassOfficeWord8, kIdOfficeFileName},  {kClassOfficeXL, kIdOfficeFileName},
    {kClassOfficeWord95, kIdOfficeFileName}, {kClassOfficePowerPoint, kIdOfficeFileName},
    {kClassOfficeAccess, kIdOfficeFileName}, {kClassOfficeMso96, kOfficeFieldByCommandBar},
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
  for (const TOfficeField& row : kOfficeFields) {
    if (upper.find(Upper(row.ClassName)) == std::string::npos) continue;
    if (row.FieldId != kOfficeFieldByCommandBar) return row.FieldId;
    return ::FindWindowExA(wnd, nullptr, kClassMsoCommandBar, nullptr) ? kOfficeFieldNewer : kIdOfficeFileName;
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
// other set is read in that one. An ANSI answer that holds a character the code page could not
// spell ("?", which no path holds) names no folder: it gives nothing.
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
  if (readWide) return ToUtf8(std::wstring_view(wide, wideLength));
  const std::string_view answer(narrow, narrowLength);
  if (answer.find('?') != std::string_view::npos) return {};
  return FromHostAnsi(answer);
}

std::string CommonDialogFolder(HWND wnd) {
  // The buffer holds the larger answer whichever set is asked, so a dialog that answers wide into
  // a narrow request cannot overrun it; one more zero character ends every reading of it.
  std::vector<wchar_t> buffer(kWideFolderBufferChars + 1, L'\0');
  const bool wide = AskFolderWide(wnd);
  const LRESULT count =
      wide ? ::SendMessageW(wnd, CDM_GETFOLDERPATH, kWideFolderBufferChars, reinterpret_cast<LPARAM>(buffer.data()))
           : ::SendMessageA(wnd, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(buffer.data()));
  if (count <= 0) return {};
  return FolderAnswerText(buffer, count, wide);
}

bool IsBrowseDialog(TWindowKind kind) { return IsBrowseKind(kind); }

// The edit that holds a file dialog's file name; null for kinds without one.
HWND FileNameField(HWND wnd, TWindowKind kind) {
  if (kind == wkOpenSaveCombo || kind == wkItemDialog) {
    if (HWND edit = FindChildWindow(wnd, kClassEdit, cmb13)) return edit;
  }
  if (kind == wkOpenSaveEdit || IsItemDialogKind(kind)) return FindChildWindow(wnd, kClassEdit, edt1);
  return nullptr;
}

// The identifier under which a file name is typed into a dialog of kind; 0 for kinds without one.
int FileNameFieldId(HWND field) { return field ? ::GetDlgCtrlID(field) : 0; }

std::wstring WindowText(HWND wnd) {
  const int length = ::GetWindowTextLengthW(wnd);
  if (length <= 0) return {};
  std::wstring text(length + 1, L'\0');
  text.resize(::GetWindowTextW(wnd, text.data(), length + 1));
  return text;
}

// The control whose shell context menu names the window's folder; null for a kind without one.
HWND ProbeControl(HWND wnd, TWindowKind kind) {
  if (kind == wkBrowseNew) return FindChildWindow(wnd, kClassTreeView, kIdNameSpaceTree);
  if (IsOfficeKind(kind)) return FindChildWindow(wnd, kClassOpenListView, kIdUnnumbered);
  return nullptr;
}

// A probe of a window's folder through the shell context menu of one of its controls. While it
// lives, the shared block shows it: ProbedFolder starts empty and ProbeActive is set, so the
// library's context-menu handler, built for the control's selection, writes the selected item
// there and adds nothing, and the hook closes the menu as soon as it opens. At its end the block
// holds what the probe found (nothing, unless Ask ran) and ProbeActive is clear again.
class TContextMenuProbe {
 public:
  TContextMenuProbe() {
    WriteProbedFolder(std::string());
    SetProbeActive(true);
  }
  ~TContextMenuProbe() {
    WriteProbedFolder(found_);
    SetProbeActive(false);
  }
  TContextMenuProbe(const TContextMenuProbe&) = delete;
  TContextMenuProbe& operator=(const TContextMenuProbe&) = delete;

  // The folder the shell context menu of control names.
  std::string Ask(HWND control) {
    const bool selected = ::SendMessageA(control, LVM_GETSELECTEDCOUNT, 0, 0) > 0;
    ::SendMessageA(control, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(control), MakeLParam(-1, -1));
    std::string folder = ReadProbedFolder();
    if (selected) folder = ParentFolderOfItem(folder);  // the menu named an item inside the folder
    if (folder.size() > kDriveRootLength && folder.back() == '\\') folder.pop_back();
    found_ = folder;
    return folder;
  }

 private:
  std::string found_;
};

// The folder the shell context menu of the window's probe control names; nothing, with nothing
// asked, when the kind has no such control or the probe is switched off.
std::optional<std::string> ProbeWindowFolder(HWND wnd, TWindowKind kind, bool disableTrickForGettingFolder) {
  TContextMenuProbe probe;
  HWND control = ProbeControl(wnd, kind);
  if (!::IsWindow(control) || disableTrickForGettingFolder) return std::nullopt;
  return probe.Ask(control);
}

// The path is typed into a dialog's file-name field and entered, the dialog handles it while its
// thread's messages are pumped, and the field gets its text back, the caret at its end.
void EnterKeepingText(TTaskWnd& field, const std::string& path) {
  const std::string saved = field.GetText();
  ClickInto(field.Handle());
  field.SetText(path);
  PressKey(VK_RETURN);
  ProcessMessages();
  field.SetText(saved);
  PressKey(VK_END);
}

// "TfFileDlg": the path is typed into the file-name field 1001.
bool TypeIntoTfFileDlg(TTaskWnd& task, const std::string& path) {
  TTaskWnd* field = task.FindChildByID(kIdTfFileName, false);
  if (!field) return false;
  EnterKeepingText(*field, path);
  return true;
}

// The file-name field of an Office dialog: the one of its generation, else the fallback, which in
// "bosa_sdm_Mso96" is an "Edit" beside the one that takes the name.
TTaskWnd* OfficeFileNameField(TTaskWnd& task, const std::string& className, int fieldId) {
  TTaskWnd* field = task.FindChildByID(fieldId, false);
  if (!field) {
    field = task.FindChildByID(kOfficeFieldFallback, false);
    fieldId = kOfficeFieldFallback;
  }
  if (field && fieldId == kOfficeFieldFallback && SameClassName(field->GetWndClassName().c_str(), kClassEdit) &&
      ContainsIgnoringCase(className, kClassOfficeMso96)) {
    if (TTaskWnd* edit = task.FindChildByIDAndClass(kOfficeFieldMso96Edit, kClassEdit, false)) field = edit;
  }
  return field;
}

// An Office dialog: the path is typed into the file-name field and entered; the text stays.
bool TypeIntoOfficeDialog(TTaskWnd& task, const std::string& className, int fieldId, const std::string& path) {
  TTaskWnd* field = OfficeFileNameField(task, className, fieldId);
  // A dialog without a file-name field was handed nothing.
  if (!field) return false;
  field->SetText(std::string());
  ClickInto(field->Handle());
  field->SetText(path);
  PressKey(VK_RETURN);
  return true;
}

}  // namespace

std::string GetDialogFolder(HWND wnd) {
  std::string result;
  Guard([&] {
    const TWindowKind kind = ClassifyWindow(wnd);
    if (kind == wkExplorer || IsItemDialogKind(kind)) {
      if (ComPtr<IShellBrowser> browser = GetShellBrowser(wnd)) result = GetBrowserFolder(browser.Get());
    } else if (kind == wkBrowseTree) {
      result = GetBrowseTreeFolder(wnd);
    } else if (kind == wkBrowseNew) {
      // Its folder-browse messages share numbers with the file dialogs' queries: only its own
      // browser, where it hosts one, can tell.
      if (ComPtr<IShellBrowser> browser = GetShellBrowser(wnd)) result = GetBrowserFolder(browser.Get());
    } else {
      // The browser's folder is exact in every program; a dialog's own answer is in the character
      // set its program opened it with, and an ANSI program's loses what the code page cannot spell.
      if (ComPtr<IShellBrowser> browser = GetShellBrowser(wnd)) result = GetBrowserFolder(browser.Get());
      if (result.empty()) result = CommonDialogFolder(wnd);
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
    return PathFromIDList(list.get());
  });
}

std::string GetWindowFolder(HWND wnd, TWindowKind kind, bool disableTrickForGettingFolder) {
  std::string result;
  Guard([&] {
    if (ComPtr<IShellBrowser> browser = GetShellBrowser(wnd)) result = GetBrowserFolder(browser.Get());
    if (!result.empty()) return;
    // The probe has ended before the dialog is asked directly.
    if (std::optional<std::string> probed = ProbeWindowFolder(wnd, kind, disableTrickForGettingFolder)) {
      result = std::move(*probed);
    } else {
      result = GetDialogFolder(wnd);
    }
  });
  // Always, also after a failure (a fault skips the probe's end): the host finds the last folder
  // in the shared block.
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
    if (SameClassName(className.c_str(), kClassTfFileDlg)) return TypeIntoTfFileDlg(task, path);
    const int fieldId = OfficeFieldId(wnd, className);
    if (fieldId == 0) return false;  // no dialog that is typed into
    return TypeIntoOfficeDialog(task, className, fieldId, path);
  });
}

bool SetDialogFolder(HWND wnd, const std::string& path) {
  if (!::IsWindow(wnd)) return false;
  return Guarded(false, [&] {
    std::string folder = ExpandPath(path);
    // A path the system's buffers cannot hold is refused, never cut into another path.
    if (folder.empty() || WideLength(folder) >= static_cast<size_t>(MAX_PATH)) return false;
    const TWindowKind kind = ClassifyWindow(wnd);
    if (SetFolderByTyping(wnd, folder)) return true;

    // Asked within a bound: a folder on a share that does not answer must not hold the dialog.
    // The path is asked once; only a file's folder is asked again.
    std::string fileName;
    const PathAnswer answer = PathAttributesWithin(folder);
    if (IsFileAnswer(answer)) {
      fileName = NamePart(folder);
      folder = FolderPart(folder);
      if (!DirectoryAnswers(folder)) return false;
    } else if (!IsDirectoryAnswer(answer)) {
      return false;
    }
    ScopedIDList list(IDListFromPathText(folder));
    if (!list) return false;

    bool handedOver = false;
    if (ComPtr<IShellBrowser> browser = GetShellBrowser(wnd)) {
      // A name the user typed into a Save dialog stays when the dialog goes to another folder.
      const HWND field = FileNameField(wnd, kind);
      const std::wstring typed = field ? WindowText(field) : std::wstring();
      handedOver = SUCCEEDED(browser->BrowseObject(list.get(), SBSP_SAMEBROWSER));
      if (!handedOver && IsBrowseDialog(kind)) {
        ::SendMessageA(wnd, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(list.get()));
        handedOver = true;
      }
      if (handedOver && !fileName.empty()) {
        if (kind == wkOpenSaveCombo) {
          TypeIntoControl(wnd, cmb13, fileName);
        } else if (const int id = FileNameFieldId(field)) {
          TypeIntoControl(wnd, id, fileName);
        }
      } else if (handedOver && ::IsWindow(field) && !typed.empty() && WindowText(field) != typed) {
        ::SetWindowTextW(field, typed.c_str());
      }
    } else if (IsBrowseDialog(kind)) {
      ::SendMessageA(wnd, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(list.get()));
      handedOver = true;
    } else if (IsItemDialogKind(kind) && fileName.empty()) {
      // An item dialog whose browser does not answer takes a folder entered as its file name.
      if (const HWND field = FileNameField(wnd, kind)) {
        TTaskWnd task(field);
        EnterKeepingText(task, folder);
        handedOver = true;
      }
    }
    return handedOver;
  });
}

}  // namespace kq
