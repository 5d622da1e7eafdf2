// Which kind of window a top-level window is: an Explorer window, a common Open/Save dialog of
// which layout, a folder-browse dialog, an Office file dialog of which generation, or a
// "TfFileDlg" dialog. The single place that makes that decision, and the home of the class names
// and control identifiers it looks for.
#pragma once

#include <windows.h>
#include <dlgs.h>

#include <cstdint>

namespace kq {

// The numbers are fixed: other units test ranges of them (see the helpers below).
enum TWindowKind : uint8_t {
  wkNone = 0,
  wkExplorer = 1,
  wkOpenSaveEdit = 2,
  wkOpenSaveCombo = 3,
  wkItemDialog = 4,
  wkBrowseTree = 5,
  wkBrowseNew = 6,
  wkOfficeXL = 7,
  wkOfficeWord95 = 8,
  wkOfficeAccess = 9,
  wkOfficePowerPoint = 10,
  wkOfficeXL8 = 11,
  wkOfficeWord8 = 12,
  wkOfficeMso96Rich = 14,
  wkOfficeWord9 = 16,
  wkOfficeXL9 = 19,
  wkOfficeWord10 = 20,
  wkOfficeMso96 = 22,
  wkOfficeWord11 = 24,
  // The common item dialog (IFileOpenDialog, IFileSaveDialog, the folder picker) as Wine draws it:
  // a "#32770" whose folder view lives in an "ExplorerBrowserControl".
  wkItemDialogBrowserControl = 27,
  wkTfFileDlg = 31,
};
static_assert(sizeof(TWindowKind) == 1, "a window kind is one byte");

// The ranges of kinds that other units test.
constexpr bool IsRecognisedKind(TWindowKind k) { return k >= 1 && k <= 31; }
constexpr bool IsDialogKind(TWindowKind k) { return k >= 2 && k <= 31; }
// Common Open/Save dialogs with a classic shell view (lst2).
constexpr bool IsClassicOpenSaveKind(TWindowKind k) { return k >= 2 && k <= 3; }
constexpr bool IsBrowseKind(TWindowKind k) { return k >= 5 && k <= 6; }
// The older Office dialogs, whose file-name field has identifier kIdOfficeFileName.
constexpr bool IsOlderOfficeKind(TWindowKind k) { return k >= 7 && k <= 14; }
// The Office generation with a direct "Snake List" child.
constexpr bool IsSnakeListOfficeKind(TWindowKind k) { return k >= 15 && k <= 22; }
constexpr bool IsOfficeKind(TWindowKind k) { return k >= 7 && k <= 26; }
// The common item dialogs, of either layout.
constexpr bool IsItemDialogKind(TWindowKind k) { return k == wkItemDialog || k == wkItemDialogBrowserControl; }

// Window classes.
inline constexpr char kClassCabinet[] = "CabinetWClass";
inline constexpr char kClassExplore[] = "ExploreWClass";
inline constexpr char kClassExplorerW[] = "ExplorerWClass";  // Wine's file browser (explorer.exe)
inline constexpr char kClassTfFileDlg[] = "TfFileDlg";
inline constexpr char kClassDialog[] = "#32770";
inline constexpr char kClassStatic[] = "Static";
inline constexpr char kClassEdit[] = "Edit";
inline constexpr char kClassButton[] = "Button";
inline constexpr char kClassListBox[] = "ListBox";
inline constexpr char kClassComboBox[] = "ComboBox";
inline constexpr char kClassComboBoxEx[] = "ComboBoxEx32";
inline constexpr char kClassToolbar[] = "ToolbarWindow32";
inline constexpr char kClassShellView[] = "SHELLDLL_DefView";
inline constexpr char kClassListView[] = "SysListView32";
inline constexpr char kClassTreeView[] = "SysTreeView32";
inline constexpr char kClassDUIView[] = "DUIViewWndClassName";
inline constexpr char kClassCommonPlaces[] = "CommonPlacesWrapperWndClass";
inline constexpr char kClassExplorerBrowser[] = "ExplorerBrowserControl";  // the window of an Explorer browser
inline constexpr char kClassNameSpaceControl[] = "SHBrowseForFolder ShellNameSpace Control";
inline constexpr char kClassSnakeList[] = "Snake List";
inline constexpr char kClassRichEdit20W[] = "RichEdit20W";

// The Office applications' own file dialogs.
inline constexpr char kOfficeClassPrefix[] = "bosa_sdm_";
inline constexpr char kClassOfficeXL[] = "bosa_sdm_XL";
inline constexpr char kClassOfficeWord95[] = "bosa_sdm_Microsoft Word for Windows 95";
inline constexpr char kClassOfficeAccess[] = "bosa_sdm_Microsoft Access";
inline constexpr char kClassOfficePowerPoint[] = "bosa_sdm_Microsoft PowerPoint";
inline constexpr char kClassOfficeXL8[] = "bosa_sdm_XL8";
inline constexpr char kClassOfficeWord8[] = "bosa_sdm_Microsoft Word 8.0";
inline constexpr char kClassOfficeMso96[] = "bosa_sdm_Mso96";
inline constexpr char kClassOfficeWord9[] = "bosa_sdm_Microsoft Word 9.0";
inline constexpr char kClassOfficeXL9[] = "bosa_sdm_XL9";
inline constexpr char kClassOfficeWord10[] = "bosa_sdm_Microsoft Word 10.0";
inline constexpr char kClassOfficeWord11[] = "bosa_sdm_Microsoft Office Word 11.0";
inline constexpr char kClassOfficeWord12[] = "bosa_sdm_Microsoft Office Word 12.0";

// Control identifiers. The common dialogs' own are the names of <dlgs.h>: stc1 the "Look in"
// label (also a toolbar), stc2 the file-type label, stc3 the file-name label, stc4, lst1, lst2 the
// dialog's "SHELLDLL_DefView", cmb1 the file types, cmb2 "Look in", cmb13 the file-name box and
// the controls inside it, edt1 the file-name edit, ctl1 a toolbar; the folder-browse dialogs' buttons
// are IDOK and IDCANCEL. The system headers name none of the identifiers below.
constexpr int kIdNavToolbar = 1;       // the navigation toolbar; alone where there is no places bar
constexpr int kIdShellListView = 1;    // the "SysListView32" inside the shell view
constexpr int kIdNameSpaceTree = 100;  // the tree inside the name-space control
constexpr int kIdBrowseTree = 14145;   // tree of the tree-style folder-browse dialog; a static in the new style
constexpr int kIdBrowseTitle = 14146;  // folder-browse statics
constexpr int kIdBrowseStatus = 14147;
constexpr int kIdOfficeFileName = 39;   // file-name field of the older Office dialogs
constexpr int kIdUnnumbered = 0;        // "Snake List" and the item-dialog, name-space controls
constexpr int kIdBrowserShellView = 0;  // the "SHELLDLL_DefView" of an Explorer browser

// The kind of wnd. Reads only class names, the extended style and the descendants' class names
// and control identifiers; sends nothing and changes nothing. wkNone for anything else, for a
// handle that is not a window and on any failure.
TWindowKind ClassifyWindow(HWND wnd) noexcept;
bool IsKnownWindow(HWND wnd) noexcept;

// True when the executable of the process owning wnd has a file version beginning "9.".
bool IsVersion9Process(HWND wnd) noexcept;

}  // namespace kq
