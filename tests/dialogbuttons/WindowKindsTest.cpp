// The settings applied to test-built windows of every kind, each with a dialog set made in this
// process (no hooks): which kinds are made transparent, resized and sent view commands, the
// command of every value, the defaults of an empty key, and what a value of the wrong registry
// type skips. The settings are written as the host writes them.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "captionbuttons/KQCaptionButton.h"
#include "common/KQScoped.h"
#include "dialogbuttons/KQVCaptionButton.h"
#include "dialogbuttons/KQVSettings.h"
#include "shellwindows/KQWindowKind.h"
#include "tests/dialogbuttons/SettingsFixtures.h"
#include "tests/support/TestWindows.h"

namespace kq::test {
namespace {

// WM_COMMAND identifiers that reached a "SHELLDLL_DefView" of a test-built window.
std::vector<WORD> g_viewCommands;

LRESULT CALLBACK RecordingViewProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND) {
    EXPECT_EQ(HIWORD(wParam), 0);
    EXPECT_EQ(lParam, 0);
    g_viewCommands.push_back(LOWORD(wParam));
  }
  return ::DefWindowProcA(wnd, msg, wParam, lParam);
}

WindowSpec ShellView() { return Child("SHELLDLL_DefView", lst2, {Child("SysListView32", 1)}); }

// Each kind with a shell view of the dialogs' kind somewhere inside, so a command sent to it would
// be seen.
struct KindCase {
  const char* name;
  WindowSpec spec;
  DWORD exStyle;
  TWindowKind kind;
};

std::vector<KindCase> AllKinds() {
  const DWORD modal = WS_EX_DLGMODALFRAME;
  return {
      {"Explorer", Top("CabinetWClass", {ShellView()}), 0, wkExplorer},
      {"Open/Save with edit", Top("#32770", OpenSaveEditChildren()), modal, wkOpenSaveEdit},
      {"Open/Save with combo", Top("#32770", OpenSaveComboChildren()), modal, wkOpenSaveCombo},
      {"item dialog", Top("#32770", ItemDialogChildren()), modal, wkItemDialog},
      {"folder browse, tree",
       Top("#32770", {Child("Static", 14146), Child("Static", 14147), Child("SysTreeView32", 14145), ShellView()}),
       modal, wkBrowseTree},
      {"folder browse, new",
       Top("#32770", {Child("Static", 14146), Child("Static", 14145),
                      Child("SHBrowseForFolder ShellNameSpace Control", 0, {Child("SysTreeView32", 100)}),
                      Child("Button", IDOK), Child("Button", IDCANCEL), ShellView()}),
       modal, wkBrowseNew},
      {"Office XL", Top("bosa_sdm_XL", {Child("Snake List", 0), Child("Panel", 2, {Child("Edit", 39)}), ShellView()}),
       modal, wkOfficeXL},
      {"Office XL8", Top("bosa_sdm_XL8", {Child("Snake List", 0), Child("RichEdit20W", 39), ShellView()}), modal,
       wkOfficeXL8},
      {"Office XL9", Top("bosa_sdm_XL9", {Child("Snake List", 0), ShellView()}), modal, wkOfficeXL9},
      {"Office Word 11",
       Top("bosa_sdm_Microsoft Office Word 11.0", {Child("Panel", 3, {Child("Snake List", 0)}), ShellView()}), modal,
       wkOfficeWord11},
      {"TfFileDlg", Top("TfFileDlg", {ShellView()}), 0, wkTfFileDlg},
  };
}

constexpr RECT kStart = {100, 100, 400, 300};  // 300 x 200

// A test-built window at kStart with a set of its own; the set goes before the window.
class SetOnWindow {
 public:
  SetOnWindow(const WindowSpec& spec, DWORD exStyle, bool thickFrame = true) : tree_(spec, exStyle) {
    HWND wnd = tree_.Root();
    if (!wnd) return;
    if (thickFrame) ::SetWindowLongA(wnd, GWL_STYLE, ::GetWindowLongA(wnd, GWL_STYLE) | WS_THICKFRAME);
    ::SetWindowPos(wnd, nullptr, kStart.left, kStart.top, kStart.right - kStart.left, kStart.bottom - kStart.top,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    for (HWND child : tree_.Descendants()) {
      char name[64] = {};
      ::GetClassNameA(child, name, sizeof(name));
      if (lstrcmpA(name, "SHELLDLL_DefView") == 0)
        ::SetWindowLongPtrA(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordingViewProc));
    }
    g_viewCommands.clear();
  }
  ~SetOnWindow() {
    set_.reset();
    if (tree_.Root()) ::ShowWindow(tree_.Root(), SW_HIDE);
  }

  // Makes the set: it reads the settings now. With buttons, as the hook adds them.
  TKQVCaptionButtons& Attach(bool withButtons = false) {
    set_ = std::make_unique<TKQVCaptionButtons>(Wnd());
    if (withButtons) {
      set_->AddButton(Wnd(), kFavoritesTag, kButtonSpacing, nullptr, !set_->HideFavoritesButton);
      set_->AddButton(Wnd(), kHistoryTag, kButtonSpacing, nullptr, !set_->HideHistoryButton);
      set_->ButtonsAdded();
    }
    return *set_;
  }
  // "Lanterna_UpdateButton" as the host sends it.
  void Update() const { ::SendMessageA(Wnd(), UpdateButtonMsg, 0, 0); }

  HWND Wnd() const { return tree_.Root(); }
  TKQVCaptionButtons& Set() const { return *set_; }
  RECT Rect() const {
    RECT r = {};
    ::GetWindowRect(Wnd(), &r);
    return r;
  }
  bool Layered() const { return IsLayered(Wnd()); }
  int Alpha() const { return LayeredAlpha(Wnd()); }

 private:
  TestWindowTree tree_;
  std::unique_ptr<TKQVCaptionButtons> set_;
};

bool SameRect(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }

std::string Text(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " - " + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

TEST(SettingsByKind, OnlyFileDialogsGetViewCommandsExplorersAreNeverTransparentOrResized) {
  SettingsKey settings;
  settings.Set(kDlgTranspaency, "200");
  settings.Set(kDlgResize, "1");
  settings.Set(kDlgWidth, "500");
  settings.Set(kDlgHeight, "350");
  settings.Set(kViewStyle, "5");
  settings.Set(kArrangeIconsBy, "2");
  for (const KindCase& c : AllKinds()) {
    SCOPED_TRACE(c.name);
    SetOnWindow window(c.spec, c.exStyle);
    ASSERT_NE(window.Wnd(), nullptr);
    ASSERT_EQ(ClassifyWindow(window.Wnd()), c.kind);
    window.Attach();
    window.Update();  // and again at an update

    const bool fileDialog = c.kind == wkOpenSaveEdit || c.kind == wkOpenSaveCombo;
    if (fileDialog) {
      EXPECT_EQ(g_viewCommands, (std::vector<WORD>{0x702C, 0x7603, 0x702C, 0x7603}));
    } else {
      EXPECT_TRUE(g_viewCommands.empty()) << g_viewCommands.size() << " commands, the first " << g_viewCommands[0];
    }
    if (c.kind == wkExplorer) {
      EXPECT_FALSE(window.Layered());
      EXPECT_TRUE(SameRect(window.Rect(), kStart)) << Text(window.Rect());
    } else {
      EXPECT_EQ(window.Alpha(), 200);
      EXPECT_EQ(window.Rect().right - window.Rect().left, 500);
      EXPECT_EQ(window.Rect().bottom - window.Rect().top, 350);
    }
  }
}

TEST(SettingsByKind, WindowsWithoutAThickFrameAndWindowsOfNoKindAreNeverResized) {
  SettingsKey settings;
  settings.Set(kDlgTranspaency, "200");
  settings.Set(kDlgResize, "1");
  {
    SetOnWindow window(Top("#32770", OpenSaveComboChildren()), WS_EX_DLGMODALFRAME, false);
    ASSERT_EQ(ClassifyWindow(window.Wnd()), wkOpenSaveCombo);
    window.Attach();
    window.Update();
    EXPECT_EQ(window.Alpha(), 200) << "the settings were applied";
    EXPECT_TRUE(SameRect(window.Rect(), kStart)) << Text(window.Rect());
  }
  {
    SetOnWindow window(Top("KQSettingsPlainWindow", OpenSaveComboChildren()), WS_EX_DLGMODALFRAME);
    ASSERT_EQ(ClassifyWindow(window.Wnd()), wkNone);
    window.Attach();
    window.Update();
    EXPECT_TRUE(SameRect(window.Rect(), kStart)) << Text(window.Rect());
  }
}

TEST(SettingsCommands, EveryValueSendsItsCommandAndOnlyTheLowEightBitsCount) {
  SettingsKey settings;
  SetOnWindow window(Top("#32770", OpenSaveComboChildren()), WS_EX_DLGMODALFRAME);
  window.Attach();
  const std::pair<const char*, std::vector<WORD>> views[] = {
      {"0", {}},         {"1", {0x702D}}, {"2", {0x702E}}, {"3", {0x702A}},   {"4", {0x702B}},
      {"5", {0x702C}},   {"6", {}},       {"255", {}},     {"257", {0x702D}}, {"-255", {0x702D}},
      {"261", {0x702C}}, {"x", {}},       {"", {}},
  };
  for (const auto& [text, expected] : views) {
    settings.Set(kViewStyle, text);
    g_viewCommands.clear();
    window.Update();
    EXPECT_EQ(g_viewCommands, expected) << "ViewStyle \"" << text << "\"";
  }
  settings.Remove(kViewStyle);
  const std::pair<const char*, std::vector<WORD>> orders[] = {
      {"0", {}}, {"1", {0x7602}}, {"2", {0x7603}}, {"3", {0x7604}}, {"4", {0x7605}}, {"5", {}}, {"260", {0x7605}},
  };
  for (const auto& [text, expected] : orders) {
    settings.Set(kArrangeIconsBy, text);
    g_viewCommands.clear();
    window.Update();
    EXPECT_EQ(g_viewCommands, expected) << "ArrangeIconsBy \"" << text << "\"";
  }
  // The view mode goes first.
  settings.Set(kViewStyle, "3");
  settings.Set(kArrangeIconsBy, "1");
  g_viewCommands.clear();
  window.Update();
  EXPECT_EQ(g_viewCommands, (std::vector<WORD>{0x702A, 0x7602}));
}

TEST(SettingsDefaults, AnEmptyKeyGivesTheDefaultsAndAnOpaqueWindow) {
  SettingsKey settings;
  SetOnWindow window(Top("#32770", OpenSaveComboChildren()), WS_EX_DLGMODALFRAME | WS_EX_LAYERED);
  ::SetLayeredWindowAttributes(window.Wnd(), 0, 100, LWA_ALPHA);
  const TKQVCaptionButtons& set = window.Attach(true);
  EXPECT_FALSE(window.Layered()) << "the first reading makes the window opaque";
  EXPECT_TRUE(SameRect(window.Rect(), kStart)) << Text(window.Rect());
  EXPECT_TRUE(g_viewCommands.empty());
  EXPECT_EQ(set.RightOffset(), 0);
  EXPECT_EQ(set.SkinType, 0);
  EXPECT_TRUE(set.UseSystemLook);
  EXPECT_EQ(set.Transparency, 255);
  EXPECT_FALSE(set.ResizeDialog);
  EXPECT_EQ(set.DialogWidth, 428);
  EXPECT_EQ(set.DialogHeight, 294);
  EXPECT_EQ(set.ViewStyle, 0);
  EXPECT_EQ(set.ArrangeIconsBy, 0);
  EXPECT_FALSE(set.HideFavoritesButton);
  EXPECT_FALSE(set.HideHistoryButton);
  EXPECT_TRUE(set.Button(0)->Visible);
  EXPECT_TRUE(set.Button(1)->Visible);
  EXPECT_TRUE(set.DisableTrickForGettingFolder);

  // Text that is no decimal integer is the default as well.
  for (const char* text : {"abc", "12px", " 5", "0x10", "2147483648", "1.5"}) {
    settings.Set(kDlgWidth, text);
    settings.Set(kDisableTrickForGettingFolder, text);
    window.Update();
    EXPECT_EQ(set.DialogWidth, 428) << text;
    EXPECT_TRUE(set.DisableTrickForGettingFolder) << text;
  }
  // Booleans: 0 is false, any other integer true.
  settings.Set(kHideFavoritesButton, "-1");
  settings.Set(kDisableTrickForGettingFolder, "0");
  window.Update();
  EXPECT_TRUE(set.HideFavoritesButton);
  EXPECT_FALSE(set.Button(0)->Visible);
  EXPECT_FALSE(set.DisableTrickForGettingFolder);
  settings.Set(kCaptionButtonSkinType, "258");  // low 8 bits: 2
  window.Update();
  EXPECT_EQ(set.SkinType, 2);
  EXPECT_FALSE(set.UseSystemLook);
}

// A DWORD where the transparency string belongs: the values before it are applied, the rest of the
// first group and the whole second group keep what they had (for a new set: the cleared state),
// and the size is still applied with the values in force.
TEST(SettingsWrongType, ADwordTransparencySkipsTheRestAndTheSizeIsStillApplied) {
  SettingsKey settings;
  settings.Set(kShiftCaptionButton, "12");
  settings.Set(kCaptionButtonSkinType, "3");
  settings.SetDword(kDlgTranspaency, 200);
  settings.Set(kDlgResize, "1");
  settings.Set(kViewStyle, "5");
  settings.Set(kHideFavoritesButton, "1");
  settings.Set(kDisableTrickForGettingFolder, "1");
  {
    SetOnWindow window(Top("#32770", OpenSaveComboChildren()), WS_EX_DLGMODALFRAME);
    const TKQVCaptionButtons& set = window.Attach();
    EXPECT_EQ(set.RightOffset(), 12);
    EXPECT_EQ(set.SkinType, 3);
    EXPECT_EQ(set.Transparency, 0);
    EXPECT_FALSE(window.Layered());
    EXPECT_FALSE(set.ResizeDialog);
    EXPECT_TRUE(SameRect(window.Rect(), kStart));
    EXPECT_EQ(set.ViewStyle, 0);
    EXPECT_TRUE(g_viewCommands.empty());
    EXPECT_FALSE(set.HideFavoritesButton);
    EXPECT_FALSE(set.DisableTrickForGettingFolder) << "the cleared state, not the default";
  }
  {
    // A set that read everything once keeps those values when the DWORD comes later.
    settings.Set(kDlgTranspaency, "180");
    settings.Set(kDlgWidth, "500");
    settings.Set(kDlgHeight, "350");
    SetOnWindow window(Top("#32770", OpenSaveComboChildren()), WS_EX_DLGMODALFRAME);
    const TKQVCaptionButtons& set = window.Attach();
    ASSERT_TRUE(set.ResizeDialog);
    ASSERT_EQ(window.Alpha(), 180);
    settings.SetDword(kDlgTranspaency, 90);
    settings.Set(kDlgResize, "0");
    settings.Set(kHideFavoritesButton, "0");
    settings.Set(kShiftCaptionButton, "20");
    ::SetWindowPos(window.Wnd(), nullptr, 10, 10, 700, 600, SWP_NOZORDER | SWP_NOACTIVATE);
    g_viewCommands.clear();
    window.Update();
    EXPECT_EQ(set.RightOffset(), 20);
    EXPECT_EQ(window.Alpha(), 180);
    EXPECT_TRUE(set.ResizeDialog);
    EXPECT_TRUE(set.HideFavoritesButton);
    EXPECT_TRUE(g_viewCommands.empty());
    EXPECT_EQ(window.Rect().right - window.Rect().left, 500) << "the size step runs in every case";
  }
}

TEST(SettingsWrongType, ADwordInTheSecondGroupSkipsThatValueOnly) {
  SettingsKey settings;
  settings.SetDword(kViewStyle, 5);
  settings.Set(kArrangeIconsBy, "3");
  settings.SetDword(kHideFavoritesButton, 1);
  settings.Set(kHideHistoryButton, "1");
  settings.Set(kDisableTrickForGettingFolder, "0");
  SetOnWindow window(Top("#32770", OpenSaveComboChildren()), WS_EX_DLGMODALFRAME);
  const TKQVCaptionButtons& set = window.Attach();
  EXPECT_EQ(g_viewCommands, (std::vector<WORD>{0x7604}));
  EXPECT_EQ(set.ViewStyle, 0);
  EXPECT_FALSE(set.HideFavoritesButton);
  EXPECT_TRUE(set.HideHistoryButton);
  EXPECT_FALSE(set.DisableTrickForGettingFolder);
}

TEST(SettingsSize, ADialogKeepsItsCentreAndIsCutToTheScreen) {
  SettingsKey settings;
  settings.Set(kDlgResize, "1");
  SetOnWindow window(Top("#32770", OpenSaveComboChildren()), WS_EX_DLGMODALFRAME);
  window.Attach();
  EXPECT_TRUE(SameRect(window.Rect(), {36, 53, 36 + 428, 53 + 294})) << Text(window.Rect());

  const int cx = ::GetSystemMetrics(SM_CXSCREEN);
  settings.Set(kDlgWidth, std::to_string(cx + 100));
  window.Update();
  EXPECT_EQ(window.Rect().left, 0);
  EXPECT_EQ(window.Rect().right, cx);

  // Odd sizes: the centre is kept with divisions that truncate.
  settings.Set(kDlgWidth, "301");
  settings.Set(kDlgHeight, "201");
  ::SetWindowPos(window.Wnd(), nullptr, 100, 100, 300, 200, SWP_NOZORDER | SWP_NOACTIVATE);
  window.Update();
  EXPECT_TRUE(SameRect(window.Rect(), {100, 100, 401, 301})) << Text(window.Rect());
}

// A size of zero or less would shrink the dialog to nothing: such a size leaves it as it is.
TEST(SettingsSize, ASizeOfZeroOrLessLeavesTheDialogAlone) {
  SettingsKey settings;
  settings.Set(kDlgResize, "1");
  SetOnWindow window(Top("#32770", OpenSaveComboChildren()), WS_EX_DLGMODALFRAME);
  window.Attach();
  const RECT resized = window.Rect();
  ASSERT_EQ(resized.right - resized.left, 428);
  const std::pair<const char*, const char*> sizes[] = {{"-100", "300"}, {"400", "0"}, {"-2147483648", "-1"}};
  for (const auto& [width, height] : sizes) {
    settings.Set(kDlgWidth, width);
    settings.Set(kDlgHeight, height);
    window.Update();
    EXPECT_TRUE(SameRect(window.Rect(), resized)) << width << " x " << height << ": " << Text(window.Rect());
  }
}

TEST(SettingsTransparency, TheSameValueAgainLeavesTheWindowAlone) {
  SettingsKey settings;
  settings.Set(kDlgTranspaency, "200");
  SetOnWindow window(Top("#32770", OpenSaveComboChildren()), WS_EX_DLGMODALFRAME);
  window.Attach();
  ASSERT_EQ(window.Alpha(), 200);
  ASSERT_TRUE(::SetLayeredWindowAttributes(window.Wnd(), 0, 100, LWA_ALPHA));
  window.Update();
  EXPECT_EQ(window.Alpha(), 100);
  settings.Set(kDlgTranspaency, "150");
  window.Update();
  EXPECT_EQ(window.Alpha(), 150);
}

// The dialog set opens the key with full access: a key the user may only read behaves as if it
// held no values at all.
class ReadOnlySettingsKey {
 public:
  ReadOnlySettingsKey() {
    ScopedKey key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kHostKey, 0, READ_CONTROL | WRITE_DAC, key.put()) != ERROR_SUCCESS) return;
    DWORD size = 0;
    ::RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
    old_.resize(size);
    if (::RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, old_.data(), &size) != ERROR_SUCCESS) return;
    // Everyone may read, nobody may write.
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (!::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) return;
    std::vector<BYTE> aclBytes(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(everyone));
    auto* acl = reinterpret_cast<ACL*>(aclBytes.data());
    SECURITY_DESCRIPTOR sd;
    const bool built = ::InitializeAcl(acl, static_cast<DWORD>(aclBytes.size()), ACL_REVISION) &&
                       ::AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ, everyone) &&
                       ::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
                       ::SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
    ::FreeSid(everyone);
    applied_ = built && ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
  }
  ~ReadOnlySettingsKey() {
    if (!applied_) return;
    ScopedKey key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kHostKey, 0, WRITE_DAC, key.put()) == ERROR_SUCCESS)
      ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, old_.data());
  }
  bool Applied() const { return applied_; }

 private:
  std::vector<BYTE> old_;
  bool applied_ = false;
};

TEST(SettingsAccess, AKeyThatCannotBeOpenedWithFullAccessGivesTheDefaults) {
  SettingsKey settings;
  settings.Set(kDlgTranspaency, "200");
  settings.Set(kViewStyle, "5");
  settings.Set(kDisableTrickForGettingFolder, "0");
  {
    ReadOnlySettingsKey readOnly;
    ASSERT_TRUE(readOnly.Applied());
    ScopedKey probe;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, kHostKey, 0, KEY_READ, probe.put()), ERROR_SUCCESS);
    ScopedKey full;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kHostKey, 0, KEY_ALL_ACCESS, full.put()) == ERROR_SUCCESS)
      GTEST_SKIP() << "this system grants full access to a read-only key";

    SetOnWindow window(Top("#32770", OpenSaveComboChildren()), WS_EX_DLGMODALFRAME);
    const TKQVCaptionButtons& set = window.Attach();
    EXPECT_FALSE(window.Layered());
    EXPECT_EQ(set.Transparency, 255);
    EXPECT_TRUE(g_viewCommands.empty());
    EXPECT_TRUE(set.DisableTrickForGettingFolder);
  }
  // With full access again the values are read.
  SetOnWindow window(Top("#32770", OpenSaveComboChildren()), WS_EX_DLGMODALFRAME);
  const TKQVCaptionButtons& set = window.Attach();
  EXPECT_EQ(window.Alpha(), 200);
  EXPECT_EQ(g_viewCommands, (std::vector<WORD>{0x702C}));
  EXPECT_FALSE(set.DisableTrickForGettingFolder);
}

}  // namespace
}  // namespace kq::test
