// The executable and the file version behind a window of another process.
#include <gtest/gtest.h>

#include <string>

#include "common/KQUtils.h"
#include "shellwindows/KQWindowKind.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestWindows.h"

namespace kq {
namespace {

constexpr DWORD kWindowWaitMs = 20000;

// One of the versioned programs, showing its "bosa_sdm_XL9" dialog.
class VersionedApp {
 public:
  explicit VersionedApp(const std::string& exeName) : path_(test::HelperPath(exeName)) {
    if (process_.Start(path_)) window_ = process_.WaitForWindowOfClass("bosa_sdm_XL9", kWindowWaitMs);
  }
  ~VersionedApp() {
    if (window_) ::PostMessageA(window_, WM_CLOSE, 0, 0);
    if (!process_.WaitForExit(5000)) process_.Terminate();
  }
  HWND Window() const { return window_; }
  const std::string& Path() const { return path_; }
  test::ChildProcess& Process() { return process_; }

 private:
  std::string path_;
  test::ChildProcess process_;
  HWND window_ = nullptr;
};

bool SamePath(const std::string& a, const std::string& b) { return ::lstrcmpiA(a.c_str(), b.c_str()) == 0; }

TEST(ProcessFile, NamesTheExecutableOfAnotherProcess) {
  VersionedApp v9("app_v9.exe");
  ASSERT_NE(v9.Window(), nullptr);
  const std::string file = GetWindowProcessFile(v9.Window());
  EXPECT_TRUE(SamePath(file, v9.Path())) << file << " vs " << v9.Path();
  // Its child window belongs to the same process.
  HWND child = ::FindWindowExA(v9.Window(), nullptr, "Snake List", nullptr);
  ASSERT_NE(child, nullptr);
  EXPECT_TRUE(SamePath(GetWindowProcessFile(child), v9.Path()));
}

TEST(ProcessFile, OwnWindowNamesThisProgram) {
  test::TestWindowTree own(test::WindowSpec{"LntrOwnWindow", 0, {}, false}, 0);
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  EXPECT_TRUE(SamePath(GetWindowProcessFile(own.Root()), self));
}

TEST(ProcessFile, NoWindowNoFile) {
  EXPECT_EQ(GetWindowProcessFile(nullptr), "");
  EXPECT_EQ(GetWindowProcessFile(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7ffff0))), "");
  HWND stale = nullptr;
  {
    VersionedApp v19("app_v19.exe");
    ASSERT_NE(v19.Window(), nullptr);
    stale = v19.Window();
  }
  EXPECT_FALSE(::IsWindow(stale));
  EXPECT_EQ(GetWindowProcessFile(stale), "");
  EXPECT_FALSE(IsVersion9Process(stale));
}

TEST(FileVersion, ReadsTheFixedFileVersion) {
  EXPECT_EQ(GetFileVersionText(test::HelperPath("app_v9.exe")), "9.0.2720.0");
  EXPECT_EQ(GetFileVersionText(test::HelperPath("app_v19.exe")), "19.0.0.0");
}

TEST(FileVersion, FilesWithoutVersionGiveNothing) {
  test::ScratchDirectory dir;
  EXPECT_EQ(GetFileVersionText(dir.WriteFile("plain.txt", "no resources here")), "");
  EXPECT_EQ(GetFileVersionText(dir.Path() + "\\missing.exe"), "");
  EXPECT_EQ(GetFileVersionText(""), "");
  EXPECT_EQ(GetFileVersionText(dir.Path()), "");
}

TEST(Version9Process, OnlyAVersionBeginningWithNineDot) {
  VersionedApp v9("app_v9.exe");
  VersionedApp v19("app_v19.exe");
  ASSERT_NE(v9.Window(), nullptr);
  ASSERT_NE(v19.Window(), nullptr);
  EXPECT_TRUE(IsVersion9Process(v9.Window()));
  EXPECT_FALSE(IsVersion9Process(v19.Window()));
  // Both are dialogs of the Office generation that is told apart by its version.
  EXPECT_EQ(ClassifyWindow(v9.Window()), wkOfficeXL9);
  EXPECT_EQ(ClassifyWindow(v19.Window()), wkOfficeXL9);
}

}  // namespace
}  // namespace kq
