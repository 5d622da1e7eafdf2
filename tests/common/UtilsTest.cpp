// The small system services: paths, environment expansion, version tests (in this process and,
// with the prefix's reported version changed, in a probe process), transparency, keyboard state,
// resource bitmaps, rectangles and the title-bar information.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/KQText.h"
#include "common/KQUtils.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RegistryValue.h"
#include "tests/support/SystemVersion.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestWindows.h"

namespace kq {
namespace {

using test::ExpectRect;
using test::R;

// An existing directory, asked as the library's FileExists asks for a file.
bool DirectoryExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(ToWide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

TEST(Paths, DirectoryExistsOnlyForDirectories) {
  test::ScratchDirectory dir;
  EXPECT_TRUE(DirectoryExists(dir.Path()));
  EXPECT_TRUE(DirectoryExists(dir.Path() + "\\"));
  const std::string file = dir.WriteFile("a.txt", "x");
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(DirectoryExists(dir.Path() + "\\missing"));
  EXPECT_FALSE(FileExists(dir.Path() + "\\missing"));
  EXPECT_FALSE(FileExists(dir.Path()));
  EXPECT_FALSE(DirectoryExists(""));
}

TEST(Paths, JoinPathPutsOneBackslashBetween) {
  EXPECT_EQ(JoinPath("C:\\", "x"), "C:\\x");
  EXPECT_EQ(JoinPath("C:\\a", "x"), "C:\\a\\x");
  EXPECT_EQ(JoinPath("Software\\Quillonworks\\", "Lanterna"), "Software\\Quillonworks\\Lanterna");
  EXPECT_EQ(JoinPath("a/", "b"), "a/\\b");  // only the backslash counts
  EXPECT_EQ(JoinPath("", "x"), "x");        // nothing to join to
}

class ExpandPathTest : public testing::Test {
 protected:
  void TearDown() override { ::SetEnvironmentVariableA("LNTR_TEST_LONG", nullptr); }
  void SetLong(size_t length) { ::SetEnvironmentVariableA("LNTR_TEST_LONG", std::string(length, 'p').c_str()); }
};

TEST_F(ExpandPathTest, ExpandsReferences) {
  char windir[MAX_PATH] = {};
  ::GetEnvironmentVariableA("SystemRoot", windir, MAX_PATH);
  ASSERT_NE(windir[0], '\0');
  EXPECT_EQ(ExpandPath("%SystemRoot%\\system32"), std::string(windir) + "\\system32");
  EXPECT_EQ(ExpandPath("C:\\plain"), "C:\\plain");
  EXPECT_EQ(ExpandPath("%LNTR_NO_SUCH_VARIABLE%\\x"), "%LNTR_NO_SUCH_VARIABLE%\\x");
  EXPECT_EQ(ExpandPath(""), "");
}

TEST_F(ExpandPathTest, RefusesExpansionsThatDoNotFitTheBuffer) {
  SetLong(250);
  EXPECT_EQ(ExpandPath("C:\\%LNTR_TEST_LONG%"), "C:\\" + std::string(250, 'p'));
  SetLong(255);  // 258 characters: the longest that fits with its terminator
  EXPECT_EQ(ExpandPath("C:\\%LNTR_TEST_LONG%"), "C:\\" + std::string(255, 'p'));
  SetLong(256);
  EXPECT_EQ(ExpandPath("C:\\%LNTR_TEST_LONG%"), "");
  SetLong(400);
  EXPECT_EQ(ExpandPath("C:\\%LNTR_TEST_LONG%"), "");
  EXPECT_EQ(ExpandPath(std::string(300, 'a')), "");
  // Beyond what the system's expansion takes (a stored bookmark may hold anything).
  EXPECT_EQ(ExpandPath("%SystemRoot%" + std::string(70000, '%')), "");
}

// The version tests as this process sees them: a program without a compatibility manifest is
// told 6.x by Wine's default system (6.1 in Wine 8, 6.2 in Wine 10).
TEST(Versions, DefaultPrefixIsNT6) {
  EXPECT_TRUE(IsWinNT());
  EXPECT_FALSE(test::IsWinXP());
  EXPECT_TRUE(IsWinNT6());
}

// What os_version_probe.exe reports (its exit code, see its source).
struct ProbeReport {
  bool ok = false;
  bool winNT = false, winXP = false, winNT6 = false;
  bool answeredKept = false, asked = false, plainKept = false, zeroed = false;
  int major = 0, minor = 0;
};

ProbeReport RunProbe() {
  ProbeReport report;
  test::ChildProcess probe;
  if (!probe.Start(test::HelperPath("os_version_probe.exe"))) return report;
  auto code = probe.WaitForExit(20000);
  if (!code) return report;
  const DWORD c = *code;
  report.ok = true;
  report.winNT = c & 1;
  report.winXP = c & 2;
  report.winNT6 = c & 4;
  report.answeredKept = c & 8;
  report.asked = c & 16;
  report.plainKept = c & 32;
  report.zeroed = c & 64;
  report.major = (c >> 8) & 0xFF;
  report.minor = (c >> 16) & 0xFF;
  return report;
}

constexpr char kWineKey[] = "Software\\Wine";

TEST(Versions, SystemReportingTenIsNotNT6) {
  test::ScopedRegistryString version(HKEY_CURRENT_USER, kWineKey, "Version", "win10");
  ASSERT_TRUE(version.Set());
  ProbeReport report = RunProbe();
  ASSERT_TRUE(report.ok);
  EXPECT_EQ(report.major, 10);
  EXPECT_TRUE(report.winNT);
  EXPECT_FALSE(report.winNT6);
  EXPECT_FALSE(report.winXP);
  // Not major version 6: the window is not asked and the record says "no information".
  EXPECT_FALSE(report.asked);
  EXPECT_FALSE(report.answeredKept);
  EXPECT_TRUE(report.zeroed);
}

TEST(Versions, WindowsXP) {
  test::ScopedRegistryString version(HKEY_CURRENT_USER, kWineKey, "Version", "winxp");
  ASSERT_TRUE(version.Set());
  ProbeReport report = RunProbe();
  ASSERT_TRUE(report.ok);
  EXPECT_EQ(report.major, 5);
  EXPECT_GE(report.minor, 1);
  EXPECT_TRUE(report.winNT);
  EXPECT_TRUE(report.winXP);
  EXPECT_FALSE(report.winNT6);
  EXPECT_FALSE(report.asked);
  EXPECT_FALSE(report.answeredKept);
  EXPECT_FALSE(report.plainKept);
  EXPECT_TRUE(report.zeroed);
}

TEST(Versions, Windows7IsNT6AndTheSettingGoesAgain) {
  ProbeReport report;
  {
    test::ScopedRegistryString version(HKEY_CURRENT_USER, kWineKey, "Version", "win7");
    ASSERT_TRUE(version.Set());
    report = RunProbe();
  }
  EXPECT_FALSE(test::ReadRegistryString(HKEY_CURRENT_USER, kWineKey, "Version").has_value());
  ASSERT_TRUE(report.ok);
  EXPECT_EQ(report.major, 6);
  EXPECT_TRUE(report.winNT6);
  EXPECT_TRUE(report.asked);
  EXPECT_TRUE(report.answeredKept);
  EXPECT_FALSE(report.plainKept);  // Wine does not answer WM_GETTITLEBARINFOEX
  EXPECT_TRUE(report.zeroed);
}

// A window that answers WM_GETTITLEBARINFOEX with a title-bar rectangle of its own.
LRESULT CALLBACK TitleBarAnswer(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_GETTITLEBARINFOEX) {
    auto* info = reinterpret_cast<TITLEBARINFOEX*>(lParam);
    if (info->cbSize != sizeof(TITLEBARINFOEX)) return 0;
    ::SetRect(&info->rcTitleBar, 11, 12, 13, 14);
    return 1;
  }
  return ::DefWindowProcA(wnd, msg, wParam, lParam);
}

TEST(TitleBarInfo, AnswerKeptAndSilenceMarkedEmpty) {
  ASSERT_TRUE(IsWinNT6());
  test::ProcWindow window("LntrTitleBarAnswer", TitleBarAnswer);
  HWND answering = window.Wnd();
  ASSERT_NE(answering, nullptr);
  TITLEBARINFOEX info;
  QueryTitleBarInfoEx(answering, info);
  EXPECT_EQ(info.cbSize, sizeof(TITLEBARINFOEX));
  EXPECT_EQ(info.rcTitleBar.left, 11);
  EXPECT_EQ(info.rcTitleBar.bottom, 14);

  test::TestWindowTree plain(test::WindowSpec{"LntrPlainCaption", 0, {}, false}, 0);
  std::memset(&info, 0xCC, sizeof(info));
  QueryTitleBarInfoEx(plain.Root(), info);
  EXPECT_EQ(info.cbSize, 0u);
  EXPECT_EQ(info.rcTitleBar.left, 0);
  EXPECT_EQ(info.rgstate[5], 0u);
  EXPECT_EQ(info.rgrect[5].bottom, 0);
}

class TransparencyTest : public testing::Test {
 protected:
  void SetUp() override {
    tree_ = std::make_unique<test::TestWindowTree>(test::WindowSpec{"LntrLayered", 0, {}, false}, 0, true);
    wnd_ = tree_->Root();
    ASSERT_NE(wnd_, nullptr);
  }
  LONG ExStyle() const { return ::GetWindowLongA(wnd_, GWL_EXSTYLE); }
  std::unique_ptr<test::TestWindowTree> tree_;
  HWND wnd_ = nullptr;
};

TEST_F(TransparencyTest, AlphaMakesTheWindowLayered) {
  ASSERT_EQ(ExStyle() & WS_EX_LAYERED, 0);
  SetWindowTransparency(wnd_, true, 128, RGB(1, 2, 3), false);
  EXPECT_NE(ExStyle() & WS_EX_LAYERED, 0);
  BYTE alpha = 0;
  COLORREF key = 0;
  DWORD flags = 0;
  ASSERT_TRUE(::GetLayeredWindowAttributes(wnd_, &key, &alpha, &flags));
  EXPECT_EQ(alpha, 128);
  EXPECT_EQ(flags, static_cast<DWORD>(LWA_ALPHA));
}

TEST_F(TransparencyTest, ColourKeyAndBoth) {
  SetWindowTransparency(wnd_, false, 0, RGB(10, 20, 30), true);
  BYTE alpha = 0;
  COLORREF key = 0;
  DWORD flags = 0;
  ASSERT_TRUE(::GetLayeredWindowAttributes(wnd_, &key, &alpha, &flags));
  EXPECT_EQ(flags, static_cast<DWORD>(LWA_COLORKEY));
  EXPECT_EQ(key, RGB(10, 20, 30));
  SetWindowTransparency(wnd_, true, 200, RGB(4, 5, 6), true);
  ASSERT_TRUE(::GetLayeredWindowAttributes(wnd_, &key, &alpha, &flags));
  EXPECT_EQ(flags, static_cast<DWORD>(LWA_ALPHA | LWA_COLORKEY));
  EXPECT_EQ(alpha, 200);
  EXPECT_EQ(key, RGB(4, 5, 6));
}

TEST_F(TransparencyTest, NeitherRemovesTheLayeredStyleAndRedraws) {
  SetWindowTransparency(wnd_, true, 100, 0, false);
  ASSERT_NE(ExStyle() & WS_EX_LAYERED, 0);
  ::ValidateRect(wnd_, nullptr);
  SetWindowTransparency(wnd_, false, 100, 0, false);
  EXPECT_EQ(ExStyle() & WS_EX_LAYERED, 0);
  EXPECT_TRUE(::GetUpdateRect(wnd_, nullptr, FALSE));

  // Also on a window that never was layered.
  ::ValidateRect(wnd_, nullptr);
  SetWindowTransparency(wnd_, false, 0, 0, false);
  EXPECT_EQ(ExStyle() & WS_EX_LAYERED, 0);
  EXPECT_TRUE(::GetUpdateRect(wnd_, nullptr, FALSE));
}

TEST_F(TransparencyTest, NothingWithoutTheSystemEntry) {
  ShutdownUtils();
  SetWindowTransparency(wnd_, true, 100, 0, false);
  const LONG exStyle = ExStyle();
  StartupUtils();
  EXPECT_EQ(exStyle & WS_EX_LAYERED, 0);
}

// Sets the thread's keyboard state for the keys given, restoring it afterwards.
class KeyState {
 public:
  KeyState(bool ctrl, bool alt, bool shift) {
    ::GetKeyboardState(saved_);
    BYTE state[256];
    std::memcpy(state, saved_, sizeof(state));
    state[VK_CONTROL] = ctrl ? 0x80 : 0;
    state[VK_MENU] = alt ? 0x80 : 0;
    state[VK_SHIFT] = shift ? 0x80 : 0;
    ::SetKeyboardState(state);
  }
  ~KeyState() { ::SetKeyboardState(saved_); }

 private:
  BYTE saved_[256];
};

TEST(Keyboard, CtrlOnly) {
  {
    KeyState keys(true, false, false);
    EXPECT_TRUE(IsCtrlOnlyDown());
  }
  {
    KeyState keys(true, false, true);
    EXPECT_FALSE(IsCtrlOnlyDown());
  }
  {
    KeyState keys(true, true, false);
    EXPECT_FALSE(IsCtrlOnlyDown());
  }
  {
    KeyState keys(false, false, false);
    EXPECT_FALSE(IsCtrlOnlyDown());
  }
}

TEST(ResourceBitmaps, MissingNameGivesNull) { EXPECT_EQ(LoadResourceBitmap("LNTR_NO_SUCH_BITMAP"), nullptr); }

// bitmap_probe.exe loads bitmap files of its own resources (tests/helpers/bitmaps) through the
// library and reports what it got.
std::map<std::string, std::string> ProbeBitmaps(const std::vector<std::string>& names) {
  std::map<std::string, std::string> lines;
  test::ScratchDirectory dir;
  const std::string out = dir.Path() + "\\bitmaps.txt";
  std::vector<std::string> args = {out};
  args.insert(args.end(), names.begin(), names.end());
  test::ChildProcess probe;
  if (!probe.Start(test::HelperPath("bitmap_probe.exe"), args)) return lines;
  auto code = probe.WaitForExit(20000);
  if (!code || *code != 0) return lines;
  std::ifstream in(out);
  for (std::string line; std::getline(in, line);) {
    size_t blank = line.find(' ');
    if (blank != std::string::npos) lines[line.substr(0, blank)] = line.substr(blank + 1);
  }
  return lines;
}

TEST(ResourceBitmaps, LoadsBitmapFilesAndRefusesBrokenOnes) {
  auto got = ProbeBitmaps({"LNTR_TEST_BOTTOMUP24", "LNTR_TEST_TOPDOWN32", "LNTR_TEST_PALETTE8", "LNTR_TEST_TRUNCATED",
                           "LNTR_TEST_PALETTE_OVERRUN", "LNTR_TEST_NOT_A_BITMAP", "LNTR_NO_SUCH_BITMAP"});
  ASSERT_EQ(got.size(), 7u);
  // width, height, bits per pixel, top-left and bottom-right pixel as RRGGBB
  EXPECT_EQ(got["LNTR_TEST_BOTTOMUP24"], "3 2 24 ff0000 0a141e");
  EXPECT_EQ(got["LNTR_TEST_TOPDOWN32"], "2 2 32 010203 c86432");
  EXPECT_EQ(got["LNTR_TEST_PALETTE8"], "2 1 8 0080ff ffff00");
  EXPECT_EQ(got["LNTR_TEST_TRUNCATED"], "null");
  EXPECT_EQ(got["LNTR_TEST_PALETTE_OVERRUN"], "null");
  EXPECT_EQ(got["LNTR_TEST_NOT_A_BITMAP"], "null");
  EXPECT_EQ(got["LNTR_NO_SUCH_BITMAP"], "null");
}

TEST(Rectangles, FitRectIntoKeepsProportionsAndCentres) {
  // 16 x 16 into 32 x 20: 20 x 20, 6 in from the left.
  ExpectRect(FitRectInto(R(0, 0, 32, 20), R(0, 0, 16, 16)), R(6, 0, 26, 20));
  ExpectRect(FitRectInto(R(100, 50, 132, 70), R(3, 4, 19, 20)), R(106, 50, 126, 70));
  // Taller bounds: the width decides.
  ExpectRect(FitRectInto(R(0, 0, 20, 32), R(0, 0, 16, 16)), R(0, 6, 20, 26));
  // Scaled up as well as down.
  ExpectRect(FitRectInto(R(0, 0, 100, 100), R(0, 0, 2, 1)), R(0, 25, 100, 75));
  ExpectRect(FitRectInto(R(0, 0, 10, 10), R(0, 0, 40, 20)), R(0, 2, 10, 7));
}

TEST(Rectangles, FitRectIntoRoundsHalvesToEven) {
  // 13 x 1/2 = 6.5 -> 6; 5 x 3/2 = 7.5 -> 8.
  ExpectRect(FitRectInto(R(0, 0, 100, 13), R(0, 0, 1, 2)), R(47, 0, 53, 13));
  ExpectRect(FitRectInto(R(0, 0, 10, 5), R(0, 0, 3, 2)), R(1, 0, 9, 5));
  // 3 x 5/2 = 7.5 -> 8 vertically.
  ExpectRect(FitRectInto(R(0, 0, 3, 100), R(0, 0, 2, 5)), R(0, 46, 3, 54));
}

TEST(Rectangles, FitRectIntoLeavesEmptySourcesAlone) {
  ExpectRect(FitRectInto(R(0, 0, 32, 20), R(5, 5, 5, 9)), R(5, 5, 5, 9));
  ExpectRect(FitRectInto(R(0, 0, 32, 20), R(5, 5, 9, 5)), R(5, 5, 9, 5));
}

TEST(Rectangles, CenterRectIn) {
  ExpectRect(CenterRectIn(R(0, 0, 100, 50), R(7, 7, 27, 17)), R(40, 20, 60, 30));
  ExpectRect(CenterRectIn(R(0, 0, 101, 51), R(0, 0, 20, 10)), R(40, 20, 60, 30));  // halves truncated
  // Larger than the bounds: aligned with the left and top edges, sticking out.
  ExpectRect(CenterRectIn(R(10, 20, 30, 40), R(0, 0, 50, 60)), R(10, 20, 60, 80));
  ExpectRect(CenterRectIn(R(10, 20, 30, 40), R(0, 0, 21, 5)), R(10, 27, 31, 32));
}

TEST(LParams, MakeLParamPacksSixteenBitHalves) {
  EXPECT_EQ(static_cast<DWORD>(MakeLParam(-1, -1)), 0xFFFFFFFFu);
  EXPECT_EQ(static_cast<DWORD>(MakeLParam(0x12345, 2)), 0x00022345u);
  EXPECT_EQ(static_cast<DWORD>(MakeLParam(-2, 3)), 0x0003FFFEu);
  EXPECT_EQ(static_cast<DWORD>(MakeLParam(0, -1)), 0xFFFF0000u);
  // As a mouse position: the coordinates come back signed.
  const LPARAM position = MakeLParam(-5, -7);
  EXPECT_EQ(static_cast<short>(LOWORD(position)), -5);
  EXPECT_EQ(static_cast<short>(HIWORD(position)), -7);
}

}  // namespace
}  // namespace kq
