// Faults met inside a dialog's own process end the step that met them: the library (the DLL, as
// the host's HookOn loads it everywhere) serves a real Open dialog in a thread of this program,
// and the test hands it data that cannot be read.
#include <gtest/gtest.h>
#include <windows.h>
#include <commdlg.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <thread>

#include "common/KQScoped.h"
#include "hostlink/KQVHostLink.h"
#include "tests/support/ChildProcess.h"
#include "tests/lib/ServedDialog.h"
#include "tests/support/TestPaths.h"
#include "tests/support/Timeouts.h"

namespace kq {
namespace {

using test::kAnswerTimeoutMs;
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
// and Wine 8 do for sent messages; 32-bit Windows does not), and Wine 10 copies the record on the
// sender's side, so that the send fails there and the dialog never sees it. The set's procedure is
// therefore also called straight, as a subclasser above it would call it: a fault must not unwind
// into the caller.
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
    const LRESULT sent = SendBounded(dialog_.Dialog(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record), &answered);
    EXPECT_TRUE(!answered || sent == 0);
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

// A full-size block another program made read-only: the writers must not fault on it, and the
// answer says truly whether the folder could be written (systems differ on whether a writable
// view of a read-only section is granted to the program that made it).
TEST_F(InProcessFaults, FolderQueryWithAReadOnlyBlockAnswersWhatItWrote) {
  ScopedHandle block(
      ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, kSharedBlockSize, kSharedBlockName));
  ASSERT_TRUE(block);
  const UINT getFolder = ::RegisterWindowMessageA(kGetDlgFolderMsgName);
  bool answered = false;
  const LRESULT answer = SendBounded(dialog_.Dialog(), getFolder, 0, 0, &answered);
  EXPECT_TRUE(answered);
  ScopedMappedView view(::MapViewOfFile(block.get(), FILE_MAP_READ, 0, 0, kSharedBlockSize));
  ASSERT_TRUE(view);
  const auto* shared = static_cast<const SharedBlock*>(view.get());
  EXPECT_EQ(answer == 1 ? folderBefore_ : std::string(), FieldText(shared->ProbedFolder, kBlockTextField));
  EXPECT_EQ(folderBefore_, dialog_.FolderPath());
}

// A block whose every byte is text, no terminating zero anywhere: the answer is written with its
// zero inside its own field and nothing beyond the field changes.
TEST_F(InProcessFaults, FolderQueryIntoABlockWithoutZerosStaysInItsField) {
  ScopedHandle block(
      ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kSharedBlockSize, kSharedBlockName));
  ASSERT_TRUE(block);
  ScopedMappedView view(::MapViewOfFile(block.get(), FILE_MAP_WRITE, 0, 0, kSharedBlockSize));
  ASSERT_TRUE(view);
  auto* bytes = static_cast<char*>(view.get());
  std::memset(bytes, 'x', kSharedBlockSize);
  bytes[0] = bytes[1] = bytes[2] = bytes[3] = 0;  // no stored host window: the question needs none
  const UINT getFolder = ::RegisterWindowMessageA(kGetDlgFolderMsgName);
  bool answered = false;
  EXPECT_EQ(1, SendBounded(dialog_.Dialog(), getFolder, 0, 0, &answered));
  EXPECT_TRUE(answered);
  const auto* shared = static_cast<const SharedBlock*>(view.get());
  EXPECT_EQ(folderBefore_, FieldText(shared->ProbedFolder, kBlockTextField));
  for (size_t i = offsetof(SharedBlock, HostFolder); i < kSharedBlockSize; ++i) ASSERT_EQ('x', bytes[i]) << i;
}

}  // namespace
}  // namespace kq
