#include "tests/shellwindows/StepByStep.h"

#include <cstring>
#include <string>
#include <vector>

#include "shellwindows/KQTaskWnd.h"
#include "tests/support/TestWindows.h"

namespace kq::test {
namespace {

// The names are spelled out here rather than taken from the library, so that a misspelt
// constant there shows as a disagreement.
bool Equals(const std::string& a, const char* b) { return ::lstrcmpiA(a.c_str(), b) == 0; }

std::string Trim(const std::string& s) {
  size_t begin = 0, end = s.size();
  while (begin < end && static_cast<unsigned char>(s[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(s[end - 1]) <= ' ') --end;
  return s.substr(begin, end - begin);
}

struct Question {
  const char* className;
  int id;
};

bool AllExist(HWND wnd, const std::vector<Question>& questions) {
  for (const Question& q : questions) {
    if (!ChildWindowExists(wnd, q.className, q.id)) return false;
  }
  return true;
}

}  // namespace

TWindowKind ClassifyStepByStep(HWND wnd) {
  const std::string c = GetWndClassName(wnd);
  const std::string t = Trim(c);
  auto exists = [&](const char* className, int id) { return ChildWindowExists(wnd, className, id); };
  auto direct = [&](const char* className) { return ::FindWindowExA(wnd, nullptr, className, nullptr) != nullptr; };

  // 1, 2
  if (Equals(t, "CabinetWClass") || Equals(t, "ExploreWClass") || Equals(t, "ExplorerWClass")) return wkExplorer;
  if (Equals(t, "TfFileDlg")) return wkTfFileDlg;
  // 3
  if ((::GetWindowLongA(wnd, GWL_EXSTYLE) & 1) == 0) return wkNone;
  // 4 .. 8
  if ((Equals(c, "bosa_sdm_Microsoft Office Word 11.0") || Equals(c, "bosa_sdm_Microsoft Office Word 12.0")) &&
      exists("Snake List", 0))
    return wkOfficeWord11;
  if (Equals(c, "bosa_sdm_Microsoft Word 10.0") && direct("Snake List")) return wkOfficeWord10;
  if (Equals(c, "bosa_sdm_XL9") && direct("Snake List")) return wkOfficeXL9;
  if (Equals(c, "bosa_sdm_Mso96") && direct("Snake List")) return wkOfficeMso96;
  if (Equals(c, "bosa_sdm_Microsoft Word 9.0") && direct("Snake List")) return wkOfficeWord9;
  // 9
  if (exists("Snake List", 0) && exists("RichEdit20W", 39)) {
    if (Equals(c, "bosa_sdm_XL8")) return wkOfficeXL8;
    if (Equals(c, "bosa_sdm_Microsoft Word 8.0")) return wkOfficeWord8;
    if (Equals(c, "bosa_sdm_Mso96")) return wkOfficeMso96Rich;
    return wkNone;
  }
  // 10
  if (exists("Snake List", 0) && exists("Edit", 39)) {
    if (Equals(c, "bosa_sdm_XL")) return wkOfficeXL;
    if (Equals(c, "bosa_sdm_Microsoft Word for Windows 95")) return wkOfficeWord95;
    if (Equals(c, "bosa_sdm_Microsoft PowerPoint")) return wkOfficePowerPoint;
    if (Equals(c, "bosa_sdm_Microsoft Access")) return wkOfficeAccess;
    return wkNone;
  }
  // 11
  if (std::strstr(c.c_str(), "#32770")) {
    if (AllExist(wnd, {{"DUIViewWndClassName", 0},
                       {"CommonPlacesWrapperWndClass", 0},
                       {"SHELLDLL_DefView", lst2},
                       {"SysListView32", 1}}))
      return wkItemDialog;
    if (AllExist(wnd, {{"ExplorerBrowserControl", 0},
                       {"SHELLDLL_DefView", 0},
                       {"SysListView32", 1},
                       {"Edit", edt1},
                       {"Static", stc3},
                       {"Button", IDOK},
                       {"Button", IDCANCEL}}))
      return wkItemDialogBrowserControl;
    if (AllExist(wnd, {{"Static", stc4}, {"ComboBox", cmb2}, {"Static", stc1}}) &&
        (exists("ToolbarWindow32", stc1) || exists("ToolbarWindow32", ctl1) || exists("ToolbarWindow32", 1)) &&
        AllExist(wnd, {{"ListBox", lst1},
                       {"SHELLDLL_DefView", lst2},
                       {"SysListView32", 1},
                       {"Static", stc3},
                       {"ComboBoxEx32", cmb13},
                       {"ComboBox", cmb13},
                       {"Edit", cmb13},
                       {"Static", stc2},
                       {"ComboBox", cmb1}}))
      return wkOpenSaveCombo;
    if (AllExist(wnd, {{"Static", stc4},
                       {"ComboBox", cmb2},
                       {"Static", stc1},
                       {"ListBox", lst1},
                       {"SHELLDLL_DefView", lst2},
                       {"SysListView32", 1},
                       {"Static", stc3},
                       {"Edit", edt1},
                       {"Static", stc2},
                       {"ComboBox", cmb1}}))
      return wkOpenSaveEdit;
    if (AllExist(wnd, {{"Static", 14146}, {"Static", 14147}, {"SysTreeView32", 14145}})) return wkBrowseTree;
    if (AllExist(wnd, {{"Static", 14146},
                       {"Static", 14145},
                       {"SHBrowseForFolder ShellNameSpace Control", 0},
                       {"SysTreeView32", 100},
                       {"Button", IDOK},
                       {"Button", IDCANCEL}}))
      return wkBrowseNew;
    return wkNone;
  }
  // 12
  return wkNone;
}

}  // namespace kq::test
