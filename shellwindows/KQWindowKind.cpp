#include "shellwindows/KQWindowKind.h"

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
// descendants are instead read once, into one bit per question, and the steps are then evaluated
// in their order on those bits. Every answer is the one the questions asked one by one would give.
enum Fact : unsigned {
  fSnakeList,     // "Snake List" 0
  fRichEditName,  // "RichEdit20W" 39
  fEditName,      // "Edit" 39
  fDUIView,       // "DUIViewWndClassName" 0
  fCommonPlaces,  // "CommonPlacesWrapperWndClass" 0
  fShellView,     // "SHELLDLL_DefView" 1121
  fListView,      // "SysListView32" 1
  fStatic1088,
  fStatic1089,
  fStatic1090,
  fStatic1091,
  fToolbar1088,
  fToolbar1184,
  fToolbar1,  // the navigation toolbar
  fListBox1120,
  fComboBox1136,
  fComboBox1137,
  fComboBoxEx1148,
  fComboBox1148,
  fEdit1148,
  fEdit1152,
  fStatic14145,
  fStatic14146,
  fStatic14147,
  fTreeView14145,
  fNameSpace,  // "SHBrowseForFolder ShellNameSpace Control" 0
  fTreeView100,
  fButton1,
  fButton2,
  kFactCount
};
static_assert(kFactCount <= 32, "the facts fit one 32-bit set");

struct FactDef {
  const char* className;
  int id;
};

// Indexed by Fact.
constexpr FactDef kFacts[kFactCount] = {
    {kClassSnakeList, kIdUnnumbered},
    {kClassRichEdit20W, kIdOfficeFileName},
    {kClassEdit, kIdOfficeFileName},
    {kClassDUIView, kIdUnnumbered},
    {kClassCommonPlaces, kIdUnnumbered},
    {kClassShellView, kIdShellView},
    {kClassListView, kIdShellListView},
    {kClassStatic, kIdStc1},
    {kClassStatic, kIdStc2},
    {kClassStatic, kIdStc3},
    {kClassStatic, kIdStc4},
    {kClassToolbar, kIdStc1},
    {kClassToolbar, kIdCtl1},
    {kClassToolbar, kIdNavToolbar},
    {kClassListBox, kIdLst1},
    {kClassComboBox, kIdCmb1},
    {kClassComboBox, kIdCmb2},
    {kClassComboBoxEx, kIdFileNameCombo},
    {kClassComboBox, kIdFileNameCombo},
    {kClassEdit, kIdFileNameCombo},
    {kClassEdit, kIdFileNameEdit},
    {kClassStatic, kIdBrowseTree},
    {kClassStatic, kIdBrowseTitle},
    {kClassStatic, kIdBrowseStatus},
    {kClassTreeView, kIdBrowseTree},
    {kClassNameSpaceControl, kIdUnnumbered},
    {kClassTreeView, kIdNameSpaceTree},
    {kClassButton, kIdOkButton},
    {kClassButton, kIdCancelButton},
};

// The distinct class names above, so that each descendant's name is compared with each once.
constexpr const char* kFactClasses[] = {
    kClassSnakeList, kClassRichEdit20W, kClassEdit,     kClassDUIView,          kClassCommonPlaces,
    kClassShellView, kClassListView,    kClassStatic,   kClassToolbar,          kClassListBox,
    kClassComboBox,  kClassComboBoxEx,  kClassTreeView, kClassNameSpaceControl, kClassButton,
};

using FactSet = unsigned;
constexpr FactSet Bit(Fact f) { return 1u << f; }

struct Walk {
  FactSet facts = 0;
};

// Called by the system for every descendant: reads its class name once and, only for a class
// some question names, its identifier once.

BOOL CALLBACK NoteDescendant(HWND wnd, LPARAM param) noexcept {
  auto* walk = reinterpret_cast<Walk*>(param);
  char name[kClassNameBufferChars];
  ReadWndClassName(wnd, name);
  const char* matchedClass = nullptr;
  for (const char* cls : kFactClasses) {
    if (SameClassName(name, cls)) {
      matchedClass = cls;
      break;
    }
  }
  if (!matchedClass) return TRUE;
  const int id = sys::GetDlgCtrlID(wnd);
  for (unsigned f = 0; f < kFactCount; ++f) {
    // Names equal ignoring case to one listed name are equal ignoring case to exactly that one.
    if (kFacts[f].className == matchedClass && kFacts[f].id == id) walk->facts |= 1u << f;
  }
  return TRUE;
}

// The descendants of one window, read on the first question and then answered from memory.
class Descendants {
 public:
  explicit Descendants(HWND wnd) : wnd_(wnd) {}
  bool Has(Fact f) { return (Facts() & Bit(f)) != 0; }
  bool HasAll(FactSet set) { return (Facts() & set) == set; }

 private:
  FactSet Facts() {
    if (!read_) {
      Walk walk;
      sys::EnumChildWindows(wnd_, NoteDescendant, reinterpret_cast<LPARAM>(&walk));
      facts_ = walk.facts;
      read_ = true;
    }
    return facts_;
  }

  HWND wnd_;
  bool read_ = false;
  FactSet facts_ = 0;
};

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

// The common-dialog rows, each a list of descendant questions in testing order.
constexpr FactSet kItemDialogRow = Bit(fDUIView) | Bit(fCommonPlaces) | Bit(fShellView) | Bit(fListView);
// Combo layout: before and after the toolbar question (1088, or failing that 1184, or failing that
// 1: a program that passes the older, shorter file-name structure gets a dialog without a places
// bar, whose only toolbar is the navigation toolbar).
constexpr FactSet kOpenSaveComboHead = Bit(fStatic1091) | Bit(fComboBox1137) | Bit(fStatic1088);
constexpr FactSet kOpenSaveComboTail = Bit(fListBox1120) | Bit(fShellView) | Bit(fListView) | Bit(fStatic1090) |
                                       Bit(fComboBoxEx1148) | Bit(fComboBox1148) | Bit(fEdit1148) | Bit(fStatic1089) |
                                       Bit(fComboBox1136);
constexpr FactSet kOpenSaveEditRow = Bit(fStatic1091) | Bit(fComboBox1137) | Bit(fStatic1088) | Bit(fListBox1120) |
                                     Bit(fShellView) | Bit(fListView) | Bit(fStatic1090) | Bit(fEdit1152) |
                                     Bit(fStatic1089) | Bit(fComboBox1136);
constexpr FactSet kBrowseTreeRow = Bit(fStatic14146) | Bit(fStatic14147) | Bit(fTreeView14145);
constexpr FactSet kBrowseNewRow =
    Bit(fStatic14146) | Bit(fStatic14145) | Bit(fNameSpace) | Bit(fTreeView100) | Bit(fButton1) | Bit(fButton2);

TWindowKind ClassifyCommonDialog(Descendants& below) {
  if (below.HasAll(kItemDialogRow)) return wkItemDialog;
  if (below.HasAll(kOpenSaveComboHead) &&
      (below.Has(fToolbar1088) || below.Has(fToolbar1184) || below.Has(fToolbar1)) && below.HasAll(kOpenSaveComboTail))
    return wkOpenSaveCombo;
  if (below.HasAll(kOpenSaveEditRow)) return wkOpenSaveEdit;
  if (below.HasAll(kBrowseTreeRow)) return wkBrowseTree;
  if (below.HasAll(kBrowseNewRow)) return wkBrowseNew;
  return wkNone;
}

TWindowKind Classify(HWND wnd) {
  char name[kClassNameBufferChars];
  ReadWndClassName(wnd, name);
  char trimmed[kClassNameBufferChars];
  Trim(name, trimmed);
  if (SameClassName(trimmed, kClassCabinet) || SameClassName(trimmed, kClassExplore)) return wkExplorer;
  if (SameClassName(trimmed, kClassTfFileDlg)) return wkTfFileDlg;

  // Everything below is a modal-frame dialog; nothing else is walked.
  if ((sys::GetWindowLongA(wnd, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME) == 0) return wkNone;

  Descendants below(wnd);
  if ((SameClassName(name, kClassOfficeWord11) || SameClassName(name, kClassOfficeWord12)) && below.Has(fSnakeList))
    return wkOfficeWord11;
  if (SameClassName(name, kClassOfficeWord10) && HasDirectSnakeList(wnd)) return wkOfficeWord10;
  if (SameClassName(name, kClassOfficeXL9) && HasDirectSnakeList(wnd)) return wkOfficeXL9;
  if (SameClassName(name, kClassOfficeMso96) && HasDirectSnakeList(wnd)) return wkOfficeMso96;
  if (SameClassName(name, kClassOfficeWord9) && HasDirectSnakeList(wnd)) return wkOfficeWord9;

  if (below.Has(fSnakeList) && below.Has(fRichEditName)) {
    if (SameClassName(name, kClassOfficeXL8)) return wkOfficeXL8;
    if (SameClassName(name, kClassOfficeWord8)) return wkOfficeWord8;
    if (SameClassName(name, kClassOfficeMso96)) return wkOfficeMso96Rich;
    return wkNone;
  }
  if (below.Has(fSnakeList) && below.Has(fEditName)) {
    if (SameClassName(name, kClassOfficeXL)) return wkOfficeXL;
    if (SameClassName(name, kClassOfficeWord95)) return wkOfficeWord95;
    if (SameClassName(name, kClassOfficePowerPoint)) return wkOfficePowerPoint;
    if (SameClassName(name, kClassOfficeAccess)) return wkOfficeAccess;
    return wkNone;
  }
  if (std::strstr(name, kClassDialog)) return ClassifyCommonDialog(below);
  return wkNone;
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
