#include "shellwindows/KQWindowKind.h"

#include <bit>
#include <cstring>
#include <string>

#include "common/KQGuard.h"
#include "common/KQSysCalls.h"
#include "common/KQUtils.h"
#include "shellwindows/KQTaskWnd.h"

namespace kq {
namespace {

// Classification asks many "is there a descendant of this class with this identifier" questions.
// Each would be a walk over the whole tree, reading class names at a server round trip each; the
// descendants are instead read in one walk, into one bit per question, and the steps are then
// evaluated in their order on those bits. The walk reads an identifier only where a question still
// open names the class, and ends as soon as no descendant could change the answer. Every answer is
// the one the questions asked one by one would give.
enum TFact : unsigned {
  kFactSnakeList,     // "Snake List" 0
  kFactRichEditName,  // "RichEdit20W" 39
  kFactEditName,      // "Edit" 39
  kFactDUIView,       // "DUIViewWndClassName" 0
  kFactCommonPlaces,  // "CommonPlacesWrapperWndClass" 0
  kFactShellView,     // "SHELLDLL_DefView" lst2
  kFactListView,      // "SysListView32" 1
  kFactStaticStc1,
  kFactStaticStc2,
  kFactStaticStc3,
  kFactStaticStc4,
  kFactToolbarStc1,
  kFactToolbarCtl1,
  kFactToolbar1,  // the navigation toolbar
  kFactListBoxLst1,
  kFactComboBoxCmb1,
  kFactComboBoxCmb2,
  kFactComboBoxExCmb13,
  kFactComboBoxCmb13,
  kFactEditCmb13,
  kFactEditEdt1,
  kFactStatic14145,
  kFactStatic14146,
  kFactStatic14147,
  kFactTreeView14145,
  kFactNameSpace,  // "SHBrowseForFolder ShellNameSpace Control" 0
  kFactTreeView100,
  kFactButtonOk,
  kFactButtonCancel,
  kFactExplorerBrowser,   // "ExplorerBrowserControl" 0
  kFactBrowserShellView,  // "SHELLDLL_DefView" 0, the view of an Explorer browser
  kFactCount
};
static_assert(kFactCount <= 32, "the facts fit one 32-bit set");

using TFactSet = unsigned;
constexpr TFactSet Bit(TFact f) { return 1u << f; }

struct TFactDef {
  const char* ClassName;
  int Id;
};

// Indexed by TFact.
constexpr TFactDef kFacts[kFactCount] = {
    {kClassSnakeList, kIdUnnumbered},
    {kClassRichEdit20W, kIdOfficeFileName},
    {kClassEdit, kIdOfficeFileName},
    {kClassDUIView, kIdUnnumbered},
    {kClassCommonPlaces, kIdUnnumbered},
    {kClassShellView, lst2},
    {kClassListView, kIdShellListView},
    {kClassStatic, stc1},
    {kClassStatic, stc2},
    {kClassStatic, stc3},
    {kClassStatic, stc4},
    {kClassToolbar, stc1},
    {kClassToolbar, ctl1},
    {kClassToolbar, kIdNavToolbar},
    {kClassListBox, lst1},
    {kClassComboBox, cmb1},
    {kClassComboBox, cmb2},
    {kClassComboBoxEx, cmb13},
    {kClassComboBox, cmb13},
    {kClassEdit, cmb13},
    {kClassEdit, edt1},
    {kClassStatic, kIdBrowseTree},
    {kClassStatic, kIdBrowseTitle},
    {kClassStatic, kIdBrowseStatus},
    {kClassTreeView, kIdBrowseTree},
    {kClassNameSpaceControl, kIdUnnumbered},
    {kClassTreeView, kIdNameSpaceTree},
    {kClassButton, IDOK},
    {kClassButton, IDCANCEL},
    {kClassExplorerBrowser, kIdUnnumbered},
    {kClassShellView, kIdBrowserShellView},
};

// One distinct class name of the facts above, with its length (a cheap first test) and its facts.
struct TFactClass {
  const char* Name;
  int Length;
  TFactSet Facts;
};

constexpr TFactClass FactClass(const char* name) {
  TFactSet facts = 0;
  for (unsigned f = 0; f < kFactCount; ++f) {
    if (kFacts[f].ClassName == name) facts |= 1u << f;
  }
  return {name, static_cast<int>(std::char_traits<char>::length(name)), facts};
}

constexpr TFactClass kFactClasses[] = {
    FactClass(kClassSnakeList),       FactClass(kClassRichEdit20W),      FactClass(kClassEdit),
    FactClass(kClassDUIView),         FactClass(kClassCommonPlaces),     FactClass(kClassShellView),
    FactClass(kClassListView),        FactClass(kClassStatic),           FactClass(kClassToolbar),
    FactClass(kClassListBox),         FactClass(kClassComboBox),         FactClass(kClassComboBoxEx),
    FactClass(kClassTreeView),        FactClass(kClassNameSpaceControl), FactClass(kClassButton),
    FactClass(kClassExplorerBrowser),
};

constexpr bool EveryFactHasItsClass() {
  for (unsigned f = 0; f < kFactCount; ++f) {
    bool listed = false;
    for (const TFactClass& cls : kFactClasses) listed = listed || (cls.Facts & (1u << f)) != 0;
    if (!listed) return false;
  }
  return true;
}
static_assert(EveryFactHasItsClass(), "each fact's class name is in kFactClasses");

// The listed class a descendant's class name is, ignoring case; null for any other name. Names
// equal ignoring case to one listed name are equal ignoring case to exactly that one.
const TFactClass* FindFactClass(const char* name, int length) {
  for (const TFactClass& cls : kFactClasses) {
    if (cls.Length == length && SameClassName(name, cls.Name)) return &cls;
  }
  return nullptr;
}

// The steps that remain once the window's own class has been looked at: rows in testing order,
// each a set of facts that, all present, make the window one kind. The first complete row
// answers; when none is complete, the window is no known kind.
class TRows {
 public:
  void Add(TFactSet facts, TWindowKind kind) { rows_[count_++] = {facts, kind}; }
  // The answer for wnd, from one walk over its descendants that lasts only as long as a fact not
  // yet found could still change the answer.
  TWindowKind Answer(HWND wnd);
  // The facts that, found in addition to found, could still change the answer: those missing from
  // the rows before the first complete row (from all rows while none is), leaving out the rows
  // just before it that answer its kind. None once the answer is settled. As facts are found the
  // first complete row only moves up, so a fact not wanted now is never wanted later: a
  // descendant that could only show such facts need not be looked at.
  TFactSet Wanted(TFactSet found) const;

 private:
  struct TRow {
    TFactSet Facts;
    TWindowKind Kind;
  };
  // The Word 11 row, the two Office rows and the eight common-dialog rows.
  static constexpr unsigned kMaxRows = 11;
  TRow rows_[kMaxRows];
  unsigned count_ = 0;
};

// One walk over a window's descendants.
struct TWalk {
  const TRows& Rows;
  TFactSet Found;
  TFactSet Wanted;
};

// Called by the system for every descendant until the answer is settled: reads its class name
// once and, only for a class some still wanted fact names, its identifier once.
BOOL CALLBACK NoteDescendant(HWND wnd, LPARAM param) noexcept {
  auto& walk = *reinterpret_cast<TWalk*>(param);
  char name[kClassNameBufferChars];
  const int length = ReadWndClassName(wnd, name);
  const TFactClass* cls = FindFactClass(name, length);
  if (!cls || (cls->Facts & walk.Wanted) == 0) return TRUE;
  const int id = sys::GetDlgCtrlID(wnd);
  TFactSet found = walk.Found;
  for (TFactSet facts = cls->Facts; facts != 0; facts &= facts - 1) {
    const unsigned f = std::countr_zero(facts);
    if (kFacts[f].Id == id) found |= 1u << f;
  }
  if (found != walk.Found) {
    walk.Found = found;
    walk.Wanted = walk.Rows.Wanted(found);
  }
  return walk.Wanted != 0;
}

TFactSet TRows::Wanted(TFactSet found) const {
  unsigned complete = 0;
  while (complete < count_ && (rows_[complete].Facts & ~found) != 0) ++complete;
  const TWindowKind answer = complete < count_ ? rows_[complete].Kind : wkNone;
  // The rows just before it that answer the same kind cannot change the answer either.
  unsigned asked = complete;
  while (asked > 0 && rows_[asked - 1].Kind == answer) --asked;
  TFactSet wanted = 0;
  for (unsigned i = 0; i < asked; ++i) wanted |= rows_[i].Facts & ~found;
  return wanted;
}

TWindowKind TRows::Answer(HWND wnd) {
  TWalk walk{*this, 0, Wanted(0)};
  if (walk.Wanted != 0) sys::EnumChildWindows(wnd, NoteDescendant, reinterpret_cast<LPARAM>(&walk));
  for (unsigned i = 0; i < count_; ++i) {
    if ((rows_[i].Facts & ~walk.Found) == 0) return rows_[i].Kind;
  }
  return wkNone;
}

bool HasDirectSnakeList(HWND wnd) { return sys::FindWindowExA(wnd, nullptr, kClassSnakeList, nullptr) != nullptr; }

// name without leading and trailing characters at or below the blank, into trimmed.
void Trim(const char* name, char (&trimmed)[kClassNameBufferChars]) {
  const char* begin = name;
  const char* end = name + strnlen(name, kClassNameBufferChars - 1);
  while (begin < end && static_cast<unsigned char>(*begin) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(end[-1]) <= ' ') --end;
  std::memcpy(trimmed, begin, end - begin);
  trimmed[end - begin] = '\0';
}

// The Office rows: a "Snake List" anywhere with the file-name field of the generation.
constexpr TFactSet kRichEditRow = Bit(kFactSnakeList) | Bit(kFactRichEditName);
constexpr TFactSet kEditRow = Bit(kFactSnakeList) | Bit(kFactEditName);

TWindowKind RichEditGenerationKind(const char* name) {
  if (SameClassName(name, kClassOfficeXL8)) return wkOfficeXL8;
  if (SameClassName(name, kClassOfficeWord8)) return wkOfficeWord8;
  if (SameClassName(name, kClassOfficeMso96)) return wkOfficeMso96Rich;
  return wkNone;
}

TWindowKind EditGenerationKind(const char* name) {
  if (SameClassName(name, kClassOfficeXL)) return wkOfficeXL;
  if (SameClassName(name, kClassOfficeWord95)) return wkOfficeWord95;
  if (SameClassName(name, kClassOfficePowerPoint)) return wkOfficePowerPoint;
  if (SameClassName(name, kClassOfficeAccess)) return wkOfficeAccess;
  return wkNone;
}

// The common-dialog rows, each a list of descendant questions in testing order.
constexpr TFactSet kItemDialogRow =
    Bit(kFactDUIView) | Bit(kFactCommonPlaces) | Bit(kFactShellView) | Bit(kFactListView);
// The item dialog as Wine draws it: the view of an Explorer browser, the file-name edit and label,
// the two buttons.
constexpr TFactSet kItemDialogBrowserControlRow = Bit(kFactExplorerBrowser) | Bit(kFactBrowserShellView) |
                                                  Bit(kFactListView) | Bit(kFactEditEdt1) | Bit(kFactStaticStc3) |
                                                  Bit(kFactButtonOk) | Bit(kFactButtonCancel);
// Combo layout: before and after the toolbar question (stc1, or failing that ctl1, or failing that
// kIdNavToolbar: a program that passes the older, shorter file-name structure gets a dialog without
// a places bar, whose only toolbar is the navigation toolbar).
constexpr TFactSet kOpenSaveComboHead = Bit(kFactStaticStc4) | Bit(kFactComboBoxCmb2) | Bit(kFactStaticStc1);
constexpr TFactSet kOpenSaveComboTail = Bit(kFactListBoxLst1) | Bit(kFactShellView) | Bit(kFactListView) |
                                        Bit(kFactStaticStc3) | Bit(kFactComboBoxExCmb13) | Bit(kFactComboBoxCmb13) |
                                        Bit(kFactEditCmb13) | Bit(kFactStaticStc2) | Bit(kFactComboBoxCmb1);
constexpr TFactSet kOpenSaveEditRow =
    Bit(kFactStaticStc4) | Bit(kFactComboBoxCmb2) | Bit(kFactStaticStc1) | Bit(kFactListBoxLst1) | Bit(kFactShellView) |
    Bit(kFactListView) | Bit(kFactStaticStc3) | Bit(kFactEditEdt1) | Bit(kFactStaticStc2) | Bit(kFactComboBoxCmb1);
constexpr TFactSet kBrowseTreeRow = Bit(kFactStatic14146) | Bit(kFactStatic14147) | Bit(kFactTreeView14145);
constexpr TFactSet kBrowseNewRow = Bit(kFactStatic14146) | Bit(kFactStatic14145) | Bit(kFactNameSpace) |
                                   Bit(kFactTreeView100) | Bit(kFactButtonOk) | Bit(kFactButtonCancel);

void AddCommonDialogRows(TRows& rows) {
  rows.Add(kItemDialogRow, wkItemDialog);
  rows.Add(kItemDialogBrowserControlRow, wkItemDialogBrowserControl);
  // The toolbar question is one row per toolbar, all of the same kind.
  for (TFact toolbar : {kFactToolbarStc1, kFactToolbarCtl1, kFactToolbar1}) {
    rows.Add(kOpenSaveComboHead | Bit(toolbar) | kOpenSaveComboTail, wkOpenSaveCombo);
  }
  rows.Add(kOpenSaveEditRow, wkOpenSaveEdit);
  rows.Add(kBrowseTreeRow, wkBrowseTree);
  rows.Add(kBrowseNewRow, wkBrowseNew);
}

TWindowKind Classify(HWND wnd) {
  char name[kClassNameBufferChars];
  ReadWndClassName(wnd, name);
  char trimmed[kClassNameBufferChars];
  Trim(name, trimmed);
  if (SameClassName(trimmed, kClassCabinet) || SameClassName(trimmed, kClassExplore) ||
      SameClassName(trimmed, kClassExplorerW))
    return wkExplorer;
  if (SameClassName(trimmed, kClassTfFileDlg)) return wkTfFileDlg;

  // Everything below is a modal-frame dialog; nothing else is walked.
  if ((sys::GetWindowLongA(wnd, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME) == 0) return wkNone;

  TRows rows;
  if (SameClassName(name, kClassOfficeWord11) || SameClassName(name, kClassOfficeWord12))
    rows.Add(Bit(kFactSnakeList), wkOfficeWord11);
  // The steps that ask for a direct "Snake List" name classes other than Word 11's and 12's, so
  // they may answer before that row's walk.
  if (SameClassName(name, kClassOfficeWord10) && HasDirectSnakeList(wnd)) return wkOfficeWord10;
  if (SameClassName(name, kClassOfficeXL9) && HasDirectSnakeList(wnd)) return wkOfficeXL9;
  if (SameClassName(name, kClassOfficeMso96) && HasDirectSnakeList(wnd)) return wkOfficeMso96;
  if (SameClassName(name, kClassOfficeWord9) && HasDirectSnakeList(wnd)) return wkOfficeWord9;

  rows.Add(kRichEditRow, RichEditGenerationKind(name));
  rows.Add(kEditRow, EditGenerationKind(name));
  if (std::strstr(name, kClassDialog)) AddCommonDialogRows(rows);
  return rows.Answer(wnd);
}

}  // namespace

TWindowKind ClassifyWindow(HWND wnd) noexcept {
  return Guarded(wkNone, [&] { return Classify(wnd); });
}

bool IsKnownWindow(HWND wnd) noexcept { return IsRecognisedKind(ClassifyWindow(wnd)); }

bool IsVersion9Process(HWND wnd) noexcept {
  return Guarded(false, [&] {
    const std::string version = GetFileVersionText(GetWindowProcessFile(wnd));
    return version.compare(0, 2, "9.") == 0;
  });
}

}  // namespace kq
