// Faults met inside a dialog's own process end the step that met them: the library (the DLL, as
// the host's HookOn loads it everywhere) serves a real Open dialog in a thread of this program,
// and the test hands it data that cannot be read.
#include <gtest/gtest.h>
#include <windows.h>
#include <commdlg.h>

#include <cstring>
#include <string>
#include <thread>

#include "common/KQScoped.h"
#include "hook/KQVHostLink.h"
#include "tests/support/ChildProcess.h"
#include "tests/reliability/ServedDialog.h"
#include "tests/support/TestPaths.h"

namespace kq {
namespace {

constexpr DWORD kAnswerTimeoutMs = 5000;
constexpr char kDialogTitle[] = "Faults in process";

LRESULT SendBounded(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, bool* answered) {
  DWORD_PTR result = 0;
  *answered = ::SendMessageTimeoutA(wnd, msg, wParam, lParam, SMTO_BLOCK, kAnswerTimeoutMs, &result) != 0;
  return static_cast<LRESULT>(result);
}

class InProcessFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library_.Ready());
    ASSERT_NE(nullptr, dialog_.Dialog());
    ASSERT_TRUE(dialog_.WaitForButtonSet());
    folderBefore_ = dialog_.FolderPath();
    ASSERT_NE("<no answer>", folderBefore_);
  }

  test::LoadedLibrary library_;
  test::DialogThread dialog_{kDialogTitle};
  std::string folderBefore_;
};

// The system's own message dispatch may swallow a fault in a window procedure (64-bit Windows
// and Wine do for sent messages; 32-bit Windows does not), so the set's procedure is also called
// straight, as a subclasser above it would call it: a fault must not unwind into the caller.
TEST_F(InProcessFaults, SetFolderWithUnreadableTextAnswersZeroAndTheDialogWorksOn) {
  void* reserved = ::VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS);
  ASSERT_NE(nullptr, reserved);
  // A text that runs into unreadable memory before cbData ends, without a terminating zero.
  char* partly = static_cast<char*>(::VirtualAlloc(nullptr, 8192, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(nullptr, ::VirtualAlloc(partly, 4096, MEM_COMMIT, PAGE_READWRITE));
  std::memset(partly, 'a', 4096);
  const auto proc = reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(dialog_.Dialog(), GWLP_WNDPROC));

  for (void* data : {reserved, static_cast<void*>(partly)}) {
    COPYDATASTRUCT record = {CopyDataSetFolder, 8192, data};
    bool answered = false;
    EXPECT_EQ(0, SendBounded(dialog_.Dialog(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record), &answered));
    EXPECT_TRUE(answered);
    EXPECT_EQ(0, ::CallWindowProcA(proc, dialog_.Dialog(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record)));
  }

  EXPECT_TRUE(::IsWindow(dialog_.Dialog()));
  EXPECT_EQ(folderBefore_, dialog_.FolderPath());
  ::VirtualFree(partly, 0, MEM_RELEASE);
  ::VirtualFree(reserved, 0, MEM_RELEASE);
}

TEST_F(InProcessFaults, FolderQueryWithATooSmallSharedBlockAnswersZero) {
  // A one-byte "LNTRMapping" made by someone else (file-backed, as in-memory sections are
  // rounded up to a page).
  test::ScratchDirectory scratch;
  const std::string blockFile = scratch.WriteFile("block.bin", "x");
  ScopedFileHandle file(
      ::CreateFileA(blockFile.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file);
  ScopedHandle block(::CreateFileMappingA(file.get(), nullptr, PAGE_READWRITE, 0, 1, kSharedBlockName));
  ASSERT_TRUE(block);

  const UINT getFolder = ::RegisterWindowMessageA(kGetDlgFolderMsgName);
  bool answered = false;
  EXPECT_EQ(0, SendBounded(dialog_.Dialog(), getFolder, 0, 0, &answered));
  EXPECT_TRUE(answered);
  EXPECT_TRUE(::IsWindow(dialog_.Dialog()));
  EXPECT_EQ(folderBefore_, dialog_.FolderPath());
}

}  // namespace
}  // namespace kq
