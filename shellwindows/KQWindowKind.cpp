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
enum TFact : unsigned {
  kFactSnakeList,     // "Snake List" 0
  kFactRichEditName,  // "RichEdit20W" 39
  kFactEditName,      // "Edit" 39
  kFactDUIView,       // "DUIViewWndClassName" 0
  kFactCommonPlaces,  // "CommonPlacesWrapperWndClass" 0
  kFactShellView,     // "SHELLDLL_DefView" 1121
  kFactListView,      // "SysListView32" 1
  kFactStatic1088,
  kFactStatic1089,
  kFactStatic1090,
  kFactStatic1091,
  kFactToolbar1088,
  kFactToolbar1184,
  kFactToolbar1,  // the navigation toolbar
  kFactListBox1120,
  kFactComboBox1136,
  kFactComboBox1137,
  kFactComboBoxEx1148,
  kFactComboBox1148,
  kFactEdit1148,
  kFactEdit1152,
  kFactStatic14145,
  kFactStatic14146,
  kFactStatic14147,
  kFactTreeView14145,
  kFactNameSpace,  // "SHBrowseForFolder ShellNameSpace Control" 0
  kFactTreeView100,
  kFactButton1,
  kFactButton2,
  kFactCount
};
static_assert(kFactCount <= 32, "the facts fit one 32-bit set");

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

using TFactSet = unsigned;
constexpr TFactSet Bit(TFact f) { return 1u << f; }

struct TWalk {
  TFactSet Facts = 0;
};

// Called by the system for every descendant: reads its class name once and, only for a class
// some question names, its identifier once.

BOOL CALLBACK NoteDescendant(HWND wnd, LPARAM param) noexcept {
  auto* walk = reinterpret_cast<TWalk*>(param);
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
    if (kFacts[f].ClassName == matchedClass && kFacts[f].Id == id) walk->Facts |= 1u << f;
  }
  return TRUE;
}

// The descendants of one window, read on the first question and then answered from memory.
class TDescendants {
 public:
  explicit TDescendants(HWND wnd) : wnd_(wnd) {}
  bool Has(TFact f) { return (Facts() & Bit(f)) != 0; }
  bool HasAll(TFactSet set) { return (Facts() & set) == set; }

 private:
  TFactSet Facts() {
    if (!read_) {
      TWalk walk;
      sys::EnumChildWindows(wnd_, NoteDescendant, reinterpret_cast<LPARAM>(&walk));
      facts_ = walk.Facts;
      read_ = true;
    }
    return facts_;
  }

  HWND wnd_;
  bool read_ = false;
  TFactSet facts_ = 0;
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
constexpr TFactSet kItemDialogRow =
    Bit(kFactDUIView) | Bit(kFactCommonPlaces) | Bit(kFactShellView) | Bit(kFactListView);
// Combo layout: before and after the toolbar question (1088, or failing that 1184, or failing that
// 1: a program that passes the older, shorter file-name structure gets a dialog without a places
// bar, whose only toolbar is the navigation toolbar).
constexpr TFactSet kOpenSaveComboHead = Bit(kFactStatic1091) | Bit(kFactComboBox1137) | Bit(kFactStatic1088);
constexpr TFactSet kOpenSaveComboTail = Bit(kFactListBox1120) | Bit(kFactShellView) | Bit(kFactListView) |
                                        Bit(kFactStatic1090) | Bit(kFactComboBoxEx1148) | Bit(kFactComboBox1148) |
                                        Bit(kFactEdit1148) | Bit(kFactStatic1089) | Bit(kFactComboBox1136);
constexpr TFactSet kOpenSaveEditRow =
    Bit(kFactStatic1091) | Bit(kFactComboBox1137) | Bit(kFactStatic1088) | Bit(kFactListBox1120) | Bit(kFactShellView) |
    Bit(kFactListView) | Bit(kFactStatic1090) | Bit(kFactEdit1152) | Bit(kFactStatic1089) | Bit(kFactComboBox1136);
constexpr TFactSet kBrowseTreeRow = Bit(kFactStatic14146) | Bit(kFactStatic14147) | Bit(kFactTreeView14145);
constexpr TFactSet kBrowseNewRow = Bit(kFactStatic14146) | Bit(kFactStatic14145) | Bit(kFactNameSpace) |
                                   Bit(kFactTreeView100) | Bit(kFactButton1) | Bit(kFactButton2);

TWindowKind ClassifyCommonDialog(TDescendants& below) {
  if (below.HasAll(kItemDialogRow)) return wkItemDialog;
  if (below.HasAll(kOpenSaveComboHead) &&
      (below.Has(kFactToolbar1088) || below.Has(kFactToolbar1184) || below.Has(kFactToolbar1)) &&
      below.HasAll(kOpenSaveComboTail))
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

  TDescendants below(wnd);
  if ((SameClassName(name, kClassOfficeWord11) || SameClassName(name, kClassOfficeWord12)) && below.Has(kFactSnakeList))
    return wkOfficeWord11;
  if (SameClassName(name, kClassOfficeWord10) && HasDirectSnakeList(wnd)) return wkOfficeWord10;
  if (SameClassName(name, kClassOfficeXL9) && HasDirectSnakeList(wnd)) return wkOfficeXL9;
  if (SameClassName(name, kClassOfficeMso96) && HasDirectSnakeList(wnd)) return wkOfficeMso96;
  if (SameClassName(name, kClassOfficeWord9) && HasDirectSnakeList(wnd)) return wkOfficeWord9;

  if (below.Has(kFactSnakeList) && below.Has(kFactRichEditName)) {
    if (SameClassName(name, kClassOfficeXL8)) return wkOfficeXL8;
    if (SameClassName(name, kClassOfficeWord8)) return wkOfficeWord8;
    if (SameClassName(name, kClassOfficeMso96)) return wkOfficeMso96Rich;
    return wkNone;
  }
  if (below.Has(kFactSnakeList) && below.Has(kFactEditName)) {
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
