// Classification of test-built windows: every kind, and the near misses its order implies. Each
// window is checked against the library and against the literal step-by-step definition.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shellwindows/KQWindowKind.h"
#include "tests/support/TestWindows.h"
#include "tests/shellwindows/StepByStep.h"

namespace kq {
namespace {

using test::Child;
using test::ItemDialogChildren;
using test::OpenSaveComboChildren;
using test::OpenSaveEditChildren;
using test::TestWindowTree;
using test::Top;
using test::WindowSpec;

constexpr DWORD kModalFrame = WS_EX_DLGMODALFRAME;

// Classifies a window built from spec both ways; both must give expected.
void ExpectKind(const WindowSpec& spec, DWORD exStyle, TWindowKind expected) {
  TestWindowTree tree(spec, exStyle);
  ASSERT_NE(tree.Root(), nullptr);
  SCOPED_TRACE("class \"" + spec.className + "\"");
  EXPECT_EQ(static_cast<int>(ClassifyWindow(tree.Root())), static_cast<int>(expected));
  EXPECT_EQ(static_cast<int>(test::ClassifyStepByStep(tree.Root())), static_cast<int>(expected));
  EXPECT_EQ(IsKnownWindow(tree.Root()), expected != wkNone);
}

std::vector<WindowSpec> BrowseTreeChildren() {
  return {Child("Static", 14146), Child("Static", 14147), Child("SysTreeView32", 14145), Child("Button", IDOK),
          Child("Button", IDCANCEL)};
}

std::vector<WindowSpec> BrowseNewChildren() {
  return {Child("Static", 14146), Child("Static", 14145),
          Child("SHBrowseForFolder ShellNameSpace Control", 0, {Child("SysTreeView32", 100)}), Child("Button", IDOK),
          Child("Button", IDCANCEL)};
}

// children without the element at index (and so without its subtree).
std::vector<WindowSpec> Without(std::vector<WindowSpec> children, size_t index) {
  children.erase(children.begin() + static_cast<long>(index));
  return children;
}

std::vector<WindowSpec> Plus(std::vector<WindowSpec> a, const std::vector<WindowSpec>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(ClassifyExplorer, NamesIgnoreCaseAndSurroundingBlanks) {
  ExpectKind(Top("CabinetWClass"), 0, wkExplorer);
  ExpectKind(Top("ExploreWClass"), 0, wkExplorer);
  ExpectKind(Top(" CabinetWClass "), 0, wkExplorer);
  ExpectKind(Top("cabinetwclass"), 0, wkExplorer);
  ExpectKind(Top("\t EXPLOREWCLASS\t"), kModalFrame, wkExplorer);
  ExpectKind(Top("ExplorerWClass"), 0, wkExplorer);  // Wine's file browser
}

TEST(ClassifyExplorer, OtherNamesAreNotExplorers) {
  ExpectKind(Top("CabinetWClassX"), 0, wkNone);
  ExpectKind(Top("Cabinet WClass"), 0, wkNone);
  ExpectKind(Top("ExplorerWClassX"), 0, wkNone);
}

TEST(ClassifyTfFileDlg, NeedsNoDialogFrame) {
  ExpectKind(Top("TfFileDlg"), 0, wkTfFileDlg);
  ExpectKind(Top(" tffiledlg "), 0, wkTfFileDlg);
  ExpectKind(Top("TfFileDlg2"), kModalFrame, wkNone);
}

TEST(ClassifyModalFrame, DialogsWithoutTheModalFrameAreNothing) {
  TestWindowTree dialog(Top("#32770", OpenSaveComboChildren()), 0);
  ASSERT_NE(dialog.Root(), nullptr);
  ASSERT_EQ(::GetWindowLongA(dialog.Root(), GWL_EXSTYLE) & WS_EX_DLGMODALFRAME, 0);
  EXPECT_EQ(ClassifyWindow(dialog.Root()), wkNone);
  EXPECT_EQ(test::ClassifyStepByStep(dialog.Root()), wkNone);

  ExpectKind(Top("bosa_sdm_XL9", {Child("Snake List", 0)}), 0, wkNone);
  ExpectKind(Top("bosa_sdm_XL8", {Child("Snake List", 0), Child("RichEdit20W", 39)}), WS_EX_TOOLWINDOW, wkNone);
}

TEST(ClassifyOffice, Word11And12FindTheirSnakeListAtAnyDepthButOnlyWithIdentifierZero) {
  const std::vector<WindowSpec> deep = {Child("Panel", 3, {Child("Inner", 4, {Child("Snake List", 0)})})};
  ExpectKind(Top("bosa_sdm_Microsoft Office Word 11.0", deep), kModalFrame, wkOfficeWord11);
  ExpectKind(Top("bosa_sdm_Microsoft Office Word 12.0", deep), kModalFrame, wkOfficeWord11);
  ExpectKind(Top("bosa_sdm_Microsoft Office Word 11.0", {Child("Snake List", 0)}), kModalFrame, wkOfficeWord11);
  ExpectKind(Top("BOSA_SDM_MICROSOFT OFFICE WORD 12.0", {Child("Panel", 3, {Child("SNAKE LIST", 0)})}), kModalFrame,
             wkOfficeWord11);
  // A direct child with another identifier does not count.
  ExpectKind(Top("bosa_sdm_Microsoft Office Word 11.0", {Child("Snake List", 5)}), kModalFrame, wkNone);
  ExpectKind(Top("bosa_sdm_Microsoft Office Word 13.0", {Child("Snake List", 0)}), kModalFrame, wkNone);
}

TEST(ClassifyOffice, SnakeListGenerationNeedsADirectChildOfAnyIdentifier) {
  ExpectKind(Top("bosa_sdm_Microsoft Word 10.0", {Child("Snake List", 7)}), kModalFrame, wkOfficeWord10);
  ExpectKind(Top("bosa_sdm_XL9", {Child("Snake List", 0)}), kModalFrame, wkOfficeXL9);
  ExpectKind(Top("bosa_sdm_Mso96", {Child("Snake List", 123)}), kModalFrame, wkOfficeMso96);
  ExpectKind(Top("bosa_sdm_Microsoft Word 9.0", {Child("Snake List", 0)}), kModalFrame, wkOfficeWord9);
  ExpectKind(Top("BOSA_SDM_xl9", {Child("snake list", 2)}), kModalFrame, wkOfficeXL9);

  // The same names with the list only deeper down.
  const std::vector<WindowSpec> deep = {Child("Panel", 3, {Child("Snake List", 0)})};
  ExpectKind(Top("bosa_sdm_Microsoft Word 10.0", deep), kModalFrame, wkNone);
  ExpectKind(Top("bosa_sdm_XL9", deep), kModalFrame, wkNone);
  ExpectKind(Top("bosa_sdm_Microsoft Word 9.0", deep), kModalFrame, wkNone);
  // Blanks are not trimmed from Office names.
  ExpectKind(Top(" bosa_sdm_XL9", {Child("Snake List", 0)}), kModalFrame, wkNone);
  ExpectKind(Top("bosa_sdm_XL9 ", {Child("Snake List", 0)}), kModalFrame, wkNone);
}

TEST(ClassifyOffice, Mso96IsDirectListFirstThenRichEditAnywhere) {
  ExpectKind(Top("bosa_sdm_Mso96", {Child("Snake List", 9), Child("RichEdit20W", 39)}), kModalFrame, wkOfficeMso96);
  ExpectKind(Top("bosa_sdm_Mso96", {Child("Panel", 1, {Child("Snake List", 0), Child("RichEdit20W", 39)})}),
             kModalFrame, wkOfficeMso96Rich);
  ExpectKind(Top("bosa_sdm_Mso96", {Child("Panel", 1, {Child("Snake List", 0)})}), kModalFrame, wkNone);
  ExpectKind(Top("bosa_sdm_Mso96", {Child("Panel", 1, {Child("Snake List", 5), Child("RichEdit20W", 39)})}),
             kModalFrame, wkNone);
  ExpectKind(Top("bosa_sdm_Mso96", {Child("Panel", 1, {Child("Snake List", 0), Child("RichEdit20W", 40)})}),
             kModalFrame, wkNone);
  // The Edit row does not name Mso96.
  ExpectKind(Top("bosa_sdm_Mso96", {Child("Panel", 1, {Child("Snake List", 0), Child("Edit", 39)})}), kModalFrame,
             wkNone);
}

TEST(ClassifyOffice, RichEditGeneration) {
  const std::vector<WindowSpec> rich = {Child("Panel", 1, {Child("Snake List", 0)}), Child("RichEdit20W", 39)};
  ExpectKind(Top("bosa_sdm_XL8", rich), kModalFrame, wkOfficeXL8);
  ExpectKind(Top("bosa_sdm_Microsoft Word 8.0", rich), kModalFrame, wkOfficeWord8);
  ExpectKind(Top("BOSA_SDM_xl8", {Child("snake list", 0), Child("richedit20w", 39)}), kModalFrame, wkOfficeXL8);
  ExpectKind(Top("bosa_sdm_XL8", {Child("Snake List", 0), Child("Edit", 39)}), kModalFrame, wkNone);
  ExpectKind(Top("bosa_sdm_XL8", {Child("Snake List", 1), Child("RichEdit20W", 39)}), kModalFrame, wkNone);
}

TEST(ClassifyOffice, EditGeneration) {
  const std::vector<WindowSpec> edit = {Child("Snake List", 0), Child("Panel", 2, {Child("Edit", 39)})};
  ExpectKind(Top("bosa_sdm_XL", edit), kModalFrame, wkOfficeXL);
  ExpectKind(Top("bosa_sdm_Microsoft Word for Windows 95", edit), kModalFrame, wkOfficeWord95);
  ExpectKind(Top("bosa_sdm_Microsoft PowerPoint", edit), kModalFrame, wkOfficePowerPoint);
  ExpectKind(Top("bosa_sdm_Microsoft Access", edit), kModalFrame, wkOfficeAccess);
  ExpectKind(Top("bosa_sdm_Microsoft Excel", edit), kModalFrame, wkNone);
  // The rich-edit row is asked first and ends classification for names it does not know.
  ExpectKind(Top("bosa_sdm_XL", Plus(edit, {Child("RichEdit20W", 39)})), kModalFrame, wkNone);
}

// A first row that is complete settles the answer; what follows it changes nothing.
TEST(ClassifyOffice, ControlsAfterASettledAnswerChangeNothing) {
  ExpectKind(Top("bosa_sdm_Microsoft Office Word 11.0",
                 {Child("Snake List", 0), Child("RichEdit20W", 39), Child("Edit", 39), Child("Snake List", 4)}),
             kModalFrame, wkOfficeWord11);
  ExpectKind(Top("bosa_sdm_Mso96", Plus({Child("Panel", 1, {Child("Snake List", 0), Child("RichEdit20W", 39)})},
                                        Plus({Child("Edit", 39)}, OpenSaveComboChildren()))),
             kModalFrame, wkOfficeMso96Rich);
  ExpectKind(Top("bosa_sdm_XL8", Plus({Child("RichEdit20W", 39), Child("Edit", 39)}, {Child("Snake List", 0)})),
             kModalFrame, wkOfficeXL8);
}

TEST(ClassifyOffice, SnakeListDialogsOfOtherClassesAreNothingEvenAsCommonDialogs) {
  const std::vector<WindowSpec> rich = {Child("Snake List", 0), Child("RichEdit20W", 39)};
  ExpectKind(Top("#32770", Plus(rich, OpenSaveComboChildren())), kModalFrame, wkNone);
  ExpectKind(Top("My#32770Dlg", Plus(rich, OpenSaveComboChildren())), kModalFrame, wkNone);
  ExpectKind(Top("#32770", Plus({Child("Snake List", 0), Child("Edit", 39)}, BrowseTreeChildren())), kModalFrame,
             wkNone);
  // A Snake List with another identifier stops nothing.
  ExpectKind(Top("#32770", Plus({Child("Snake List", 3), Child("RichEdit20W", 39)}, OpenSaveComboChildren())),
             kModalFrame, wkOpenSaveCombo);
}

// The places bar (ctl1, or stc1) and the navigation toolbar (1) each stand for the toolbar.
TEST(ClassifyCommonDialog, OpenSaveComboWithAnyOfItsToolbars) {
  ExpectKind(Top("#32770", OpenSaveComboChildren()), kModalFrame, wkOpenSaveCombo);
  auto children = Without(OpenSaveComboChildren(), 14);
  children[4] = Child("ToolbarWindow32", stc1);
  ExpectKind(Top("#32770", children), kModalFrame, wkOpenSaveCombo);
  ExpectKind(Top("#32770", Without(OpenSaveComboChildren(), 14)), kModalFrame, wkOpenSaveCombo);
  ExpectKind(Top("#32770", Without(OpenSaveComboChildren(), 4)), kModalFrame, wkOpenSaveCombo);
}

TEST(ClassifyCommonDialog, OpenSaveComboLackingAnyControlIsNotCombo) {
  const auto full = OpenSaveComboChildren();
  // The buttons are not asked about; each toolbar stands in for the other (see above).
  const std::vector<size_t> asked = {0, 1, 2, 3, 5, 6, 7, 8, 9};
  for (size_t index : asked) {
    SCOPED_TRACE("without child " + std::to_string(index) + " (" + full[index].className + ")");
    ExpectKind(Top("#32770", Without(full, index)), kModalFrame, wkNone);
  }
  for (size_t index : {size_t{4}, size_t{10}, size_t{11}, size_t{12}, size_t{13}, size_t{14}}) {
    ExpectKind(Top("#32770", Without(full, index)), kModalFrame, wkOpenSaveCombo);
  }
  // The controls inside the file-name box, one at a time.
  auto noInnerEdit = full;
  noInnerEdit[7] = Child("ComboBoxEx32", cmb13, {Child("ComboBox", cmb13)});
  ExpectKind(Top("#32770", noInnerEdit), kModalFrame, wkNone);
  auto noInnerCombo = full;
  noInnerCombo[7] = Child("ComboBoxEx32", cmb13, {Child("Edit", cmb13)});
  ExpectKind(Top("#32770", noInnerCombo), kModalFrame, wkNone);
  auto noListView = full;
  noListView[2] = Child("SHELLDLL_DefView", lst2);
  ExpectKind(Top("#32770", noListView), kModalFrame, wkNone);
  auto wrongShellViewId = full;
  wrongShellViewId[2] = Child("SHELLDLL_DefView", 0, {Child("SysListView32", 1)});
  ExpectKind(Top("#32770", wrongShellViewId), kModalFrame, wkNone);
}

TEST(ClassifyCommonDialog, WithoutBothToolbarsTheEditLayoutIsTriedNext) {
  // Neither the places bar (ctl1; there is no stc1 toolbar) nor the navigation toolbar (1).
  auto noToolbars = Without(Without(OpenSaveComboChildren(), 14), 4);
  ExpectKind(Top("#32770", noToolbars), kModalFrame, wkNone);
  ExpectKind(Top("#32770", Plus(noToolbars, {Child("Edit", edt1)})), kModalFrame, wkOpenSaveEdit);
  // A toolbar with yet another identifier is no toolbar to the combo row.
  ExpectKind(Top("#32770", Plus(noToolbars, {Child("ToolbarWindow32", ctl1 + 1), Child("Edit", edt1)})), kModalFrame,
             wkOpenSaveEdit);
}

TEST(ClassifyCommonDialog, OpenSaveEdit) {
  ExpectKind(Top("#32770", OpenSaveEditChildren()), kModalFrame, wkOpenSaveEdit);
  // With a toolbar but without the file-name box the combo row fails and the edit row holds.
  ExpectKind(Top("#32770", Plus(OpenSaveEditChildren(), {Child("ToolbarWindow32", ctl1)})), kModalFrame,
             wkOpenSaveEdit);
  const auto full = OpenSaveEditChildren();
  for (size_t index = 0; index < 9; ++index) {
    SCOPED_TRACE("without child " + std::to_string(index) + " (" + full[index].className + ")");
    ExpectKind(Top("#32770", Without(full, index)), kModalFrame, wkNone);
  }
  auto wrongId = full;
  wrongId[6] = Child("Edit", 1153);
  ExpectKind(Top("#32770", wrongId), kModalFrame, wkNone);
}

// The item dialog as Wine draws it: an Explorer browser's view, the file-name edit and label, the
// two buttons; each of them missing, it is nothing.
TEST(ClassifyCommonDialog, ItemDialogAroundAnExplorerBrowser) {
  const std::vector<WindowSpec> full = {
      Child("ExplorerBrowserControl", 0, {Child("SHELLDLL_DefView", 0, {Child("SysListView32", 1)})}),
      Child("Static", stc3), Child("Edit", edt1), Child("Button", IDOK), Child("Button", IDCANCEL)};
  ExpectKind(Top("#32770", full), kModalFrame, wkItemDialogBrowserControl);
  ExpectKind(Top("#32770", full), 0, wkNone);
  for (size_t index = 0; index < full.size(); ++index) {
    SCOPED_TRACE("without child " + std::to_string(index) + " (" + full[index].className + ")");
    ExpectKind(Top("#32770", Without(full, index)), kModalFrame, wkNone);
  }
  auto wrongView = full;
  wrongView[0] = Child("ExplorerBrowserControl", 0, {Child("SHELLDLL_DefView", lst2, {Child("SysListView32", 1)})});
  ExpectKind(Top("#32770", wrongView), kModalFrame, wkNone);
}

TEST(ClassifyCommonDialog, ItemDialogIsAskedFirst) {
  ExpectKind(Top("#32770", ItemDialogChildren()), kModalFrame, wkItemDialog);
  ExpectKind(Top("#32770", Plus(ItemDialogChildren(), OpenSaveComboChildren())), kModalFrame, wkItemDialog);
  ExpectKind(Top("#32770", Without(ItemDialogChildren(), 1)), kModalFrame, wkNone);
  ExpectKind(Top("#32770", {Child("DUIViewWndClassName", 0), Child("CommonPlacesWrapperWndClass", 0),
                            Child("SHELLDLL_DefView", lst2)}),
             kModalFrame, wkNone);
  ExpectKind(Top("#32770", {Child("DUIViewWndClassName", 1), Child("CommonPlacesWrapperWndClass", 0),
                            Child("SHELLDLL_DefView", lst2, {Child("SysListView32", 1)})}),
             kModalFrame, wkNone);
}

TEST(ClassifyCommonDialog, FolderBrowseStyles) {
  ExpectKind(Top("#32770", BrowseTreeChildren()), kModalFrame, wkBrowseTree);
  ExpectKind(Top("#32770", BrowseNewChildren()), kModalFrame, wkBrowseNew);
  for (size_t index = 0; index < 3; ++index) {
    ExpectKind(Top("#32770", Without(BrowseTreeChildren(), index)), kModalFrame, wkNone);
  }
  for (size_t index = 0; index < 5; ++index) {
    ExpectKind(Top("#32770", Without(BrowseNewChildren(), index)), kModalFrame, wkNone);
  }
  auto wrongTree = BrowseNewChildren();
  wrongTree[2] = Child("SHBrowseForFolder ShellNameSpace Control", 0, {Child("SysTreeView32", 101)});
  ExpectKind(Top("#32770", wrongTree), kModalFrame, wkNone);
  // The tree style is asked before the new style.
  ExpectKind(Top("#32770", Plus(BrowseNewChildren(), {Child("Static", 14147), Child("SysTreeView32", 14145)})),
             kModalFrame, wkBrowseTree);
}

// The descendants are looked at only until none could change the answer: controls after a complete
// row still count while a row before it could answer another kind.
TEST(ClassifyCommonDialog, ControlsAfterACompleteRowStillCount) {
  ExpectKind(Top("#32770", Plus(OpenSaveComboChildren(), {Child("Snake List", 0), Child("Edit", 39)})), kModalFrame,
             wkNone);
  ExpectKind(Top("#32770", Plus(Plus({Child("Snake List", 0)}, OpenSaveComboChildren()), {Child("RichEdit20W", 39)})),
             kModalFrame, wkNone);
  ExpectKind(Top("#32770", Plus(OpenSaveComboChildren(), ItemDialogChildren())), kModalFrame, wkItemDialog);
  ExpectKind(Top("#32770", Plus(BrowseTreeChildren(), OpenSaveEditChildren())), kModalFrame, wkOpenSaveEdit);
  // The edit layout complete, then the combo layout's toolbar and file-name box.
  const std::vector<WindowSpec> comboRest = {
      Child("ToolbarWindow32", 1), Child("ComboBoxEx32", cmb13, {Child("ComboBox", cmb13, {Child("Edit", cmb13)})})};
  ExpectKind(Top("#32770", Plus(OpenSaveEditChildren(), comboRest)), kModalFrame, wkOpenSaveCombo);
}

TEST(ClassifyCommonDialog, AnyClassContainingTheDialogNameIsTried) {
  ExpectKind(Top("My#32770Dlg", OpenSaveComboChildren()), kModalFrame, wkOpenSaveCombo);
  ExpectKind(Top(" #32770 ", BrowseTreeChildren()), kModalFrame, wkBrowseTree);
  ExpectKind(Top("#3277", OpenSaveComboChildren()), kModalFrame, wkNone);
  ExpectKind(Top("# 32770", BrowseTreeChildren()), kModalFrame, wkNone);
  ExpectKind(Top("Dialog32770", BrowseTreeChildren()), kModalFrame, wkNone);
}

TEST(ClassifyCommonDialog, ChildClassesIgnoreCaseButNotBlanks) {
  std::vector<WindowSpec> lower = {Child("static", 14146), Child("STATIC", 14147), Child("systreeview32", 14145)};
  ExpectKind(Top("#32770", lower), kModalFrame, wkBrowseTree);
  std::vector<WindowSpec> blanks = {Child("Static ", 14146), Child("Static", 14147), Child("SysTreeView32", 14145)};
  ExpectKind(Top("#32770", blanks), kModalFrame, wkNone);
}

TEST(ClassifyWindowHandles, NonWindowsAndPlainWindowsAreNothing) {
  EXPECT_EQ(ClassifyWindow(nullptr), wkNone);
  EXPECT_EQ(ClassifyWindow(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7ffff0))), wkNone);
  EXPECT_FALSE(IsKnownWindow(nullptr));
  EXPECT_EQ(ClassifyWindow(::GetDesktopWindow()), wkNone);
  ExpectKind(Top("PlainTestWindow", {Child("Snake List", 0)}), kModalFrame, wkNone);
  ExpectKind(Top("#32770"), kModalFrame, wkNone);
}

}  // namespace
}  // namespace kq
