// Double-clicks on the file list of a real Open dialog in another process, with the stand-in
// host's hooks on: a double-click on empty list space reaches the host as a menu request at the
// cursor (Favourites, or History with Ctrl alone), one on an item does not, and none does while
// the host's DoubleClickMenu flag is clear.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>

#include "tests/support/MouseInput.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/HostProcess.h"
#include "tests/support/TestPaths.h"
#include "tests/support/OpenedDialog.h"

namespace kq {
namespace {

using test::kReportWaitMs;
using test::kSilenceMs;

// One message to a list view of another process whose answer is a record: the record lives in
// that process's memory for the call.
template <typename Record>
class RemoteRecord {
 public:
  RemoteRecord(HANDLE process, const Record& value) : process_(process) {
    remote_ = ::VirtualAllocEx(process_, nullptr, sizeof(Record), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (remote_) ::WriteProcessMemory(process_, remote_, &value, sizeof(Record), nullptr);
  }
  ~RemoteRecord() {
    if (remote_) ::VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
  }
  RemoteRecord(const RemoteRecord&) = delete;
  RemoteRecord& operator=(const RemoteRecord&) = delete;
  LPARAM Address() const { return reinterpret_cast<LPARAM>(remote_); }
  bool Read(Record* value) const {
    return remote_ && ::ReadProcessMemory(process_, remote_, value, sizeof(Record), nullptr);
  }

 private:
  HANDLE process_;
  void* remote_ = nullptr;
};

LRESULT SendWithin(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutA(wnd, msg, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result)) return -2;
  return static_cast<LRESULT>(result);
}

void Key(WORD vk, bool down) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  ::SendInput(1, &input, sizeof(input));
}

// Moves the pointer to p and double-clicks there with the given keys held; answers where the
// pointer really is (the screen position the report must carry).
POINT DoubleClickAt(HWND dialog, POINT p, bool ctrl = false, bool shift = false) {
  ::SetForegroundWindow(dialog);
  test::PumpMessagesFor(150);
  test::MoveMouseTo(p);
  test::PumpMessagesFor(150);
  POINT at = {};
  ::GetCursorPos(&at);
  if (ctrl) Key(VK_CONTROL, true);
  if (shift) Key(VK_SHIFT, true);
  test::PumpMessagesFor(100);
  test::DoubleClick();
  test::PumpMessagesFor(200);
  if (shift) Key(VK_SHIFT, false);
  if (ctrl) Key(VK_CONTROL, false);
  test::PumpMessagesFor(100);
  return at;
}

class DoubleClickReports : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(::CreateDirectoryA((folder_.Path() + "\\Alpha").c_str(), nullptr));
    folder_.WriteFile("notes.txt", "some text");
    ASSERT_TRUE(host_.Start());
    dialog_ = std::make_unique<test::OpenedDialog>("open", "Double-click here",
                                                   std::vector<std::string>{"--dir", folder_.Path()});
    dialogWnd_ = dialog_->Dialog();
    ASSERT_NE(dialogWnd_, nullptr);
    list_ = CurrentList();
    ASSERT_NE(list_, nullptr);
    ASSERT_EQ(SendWithin(list_, LVM_GETITEMCOUNT, 0, 0), 2);
  }

  HWND CurrentList() const {
    HWND view = ::FindWindowExA(dialogWnd_, nullptr, "SHELLDLL_DefView", nullptr);
    return view ? ::FindWindowExA(view, nullptr, "SysListView32", nullptr) : nullptr;
  }
  // Where the list view's hit test puts a screen point: the item index (or -1) and its flags.
  int HitTest(POINT screen, UINT* flags) {
    LVHITTESTINFO info = {};
    info.pt = screen;
    ::ScreenToClient(list_, &info.pt);
    RemoteRecord<LVHITTESTINFO> remote(dialog_->Process(), info);
    const LRESULT item = SendWithin(list_, LVM_HITTEST, 0, remote.Address());
    remote.Read(&info);
    *flags = info.flags;
    return static_cast<int>(item);
  }
  // The middle of the label of the item with the given text, in screen coordinates.
  POINT ItemLabelCentre(int index) {
    RECT r = {};
    r.left = LVIR_LABEL;
    RemoteRecord<RECT> remote(dialog_->Process(), r);
    EXPECT_EQ(SendWithin(list_, LVM_GETITEMRECT, index, remote.Address()), TRUE);
    remote.Read(&r);
    POINT p = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ::ClientToScreen(list_, &p);
    return p;
  }
  // A point of the list's client area well away from the two items.
  POINT EmptySpot() {
    RECT client = {};
    ::GetClientRect(list_, &client);
    POINT p = {client.right - 30, client.bottom - 30};
    ::ClientToScreen(list_, &p);
    return p;
  }
  std::string DoubleClickAndWait(POINT p, POINT* at, DWORD waitMs, bool ctrl = false, bool shift = false) {
    const size_t from = host_.LogLines().size();
    *at = DoubleClickAt(dialogWnd_, p, ctrl, shift);
    std::string line;
    if (!host_.WaitForLine("manage code=", &line, waitMs, from)) return {};
    return line;
  }
  bool SetFlag(bool on) { return host_.Command(on ? "doubleclick 1" : "doubleclick 0"); }

  test::ScratchDirectory folder_;
  HostProcess host_;
  std::unique_ptr<test::OpenedDialog> dialog_;
  HWND dialogWnd_ = nullptr;
  HWND list_ = nullptr;
};

TEST_F(DoubleClickReports, EmptySpaceIsReportedWithTheFlagAndNeverWithout) {
  const POINT empty = EmptySpot();
  UINT flags = 0;
  ASSERT_EQ(HitTest(empty, &flags), -1) << "the spot chosen as empty holds an item";
  POINT at = {};

  ASSERT_TRUE(SetFlag(false));
  EXPECT_EQ(DoubleClickAndWait(empty, &at, kSilenceMs), "");

  ASSERT_TRUE(SetFlag(true));
  EXPECT_EQ(DoubleClickAndWait(empty, &at, kReportWaitMs), ManageLine(1, at));
  EXPECT_EQ(DoubleClickAndWait(empty, &at, kReportWaitMs, true), ManageLine(2, at)) << "Ctrl alone";
  EXPECT_EQ(DoubleClickAndWait(empty, &at, kReportWaitMs, true, true), ManageLine(1, at)) << "Ctrl and Shift";
  EXPECT_EQ(DoubleClickAndWait(empty, &at, kReportWaitMs, false, true), ManageLine(1, at)) << "Shift alone";

  ASSERT_TRUE(SetFlag(false));
  EXPECT_EQ(DoubleClickAndWait(empty, &at, kSilenceMs, true), "");
  // The dialog is still there and showing the same folder: empty-space double-clicks did nothing to it.
  EXPECT_EQ(SendWithin(list_, LVM_GETITEMCOUNT, 0, 0), 2);
}

TEST_F(DoubleClickReports, AnItemIsNotReportedAndTheDoubleClickStillReachesTheList) {
  ASSERT_TRUE(SetFlag(true));
  // The folder "Alpha": find its index by its label's place, whichever order the view sorts.
  int alpha = -1;
  for (int i = 0; i < 2; ++i) {
    char text[64] = {};
    LVITEMA item = {};
    item.iSubItem = 0;
    item.cchTextMax = sizeof(text);
    RemoteRecord<char[64]> remoteText(dialog_->Process(), text);
    item.pszText = reinterpret_cast<char*>(remoteText.Address());
    RemoteRecord<LVITEMA> remoteItem(dialog_->Process(), item);
    SendWithin(list_, LVM_GETITEMTEXTA, i, remoteItem.Address());
    remoteText.Read(&text);
    if (std::string(text).rfind("Alpha", 0) == 0) alpha = i;
  }
  ASSERT_GE(alpha, 0);
  const POINT label = ItemLabelCentre(alpha);
  UINT flags = 0;
  ASSERT_EQ(HitTest(label, &flags), alpha);
  EXPECT_NE(flags & LVHT_ONITEMLABEL, 0u);
  POINT at = {};
  EXPECT_EQ(DoubleClickAndWait(label, &at, kSilenceMs), "");
  // The hook never swallows the double-click: the dialog opened the folder, which is empty (the
  // shell view and its list are made anew for it).
  LRESULT count = -1;
  for (DWORD waited = 0; waited < kReportWaitMs; waited += 100) {
    count = SendWithin(CurrentList(), LVM_GETITEMCOUNT, 0, 0);
    if (count == 0) break;
    test::PumpMessagesFor(100);
  }
  EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace kq
