// The window-procedure entry pool: blocks, the free list, reuse, the form of the entries, the
// forwarders, and the pool and a list used from several GUI threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "captionbuttons/KQCaptionButton.h"
#include "captionbuttons/KQWndProcThunk.h"
#include "dialogbuttons/KQVCaptionButton.h"
#include "hook/KQVHook.h"
#include "hostlink/KQVHostLink.h"
#include "tests/captionbuttons/CaptionFixtures.h"
#include "tests/support/ChildProcess.h"

namespace kq::test {
namespace {

struct Call {
  void* object;
  HWND wnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};
thread_local Call g_LastCall;

LRESULT Record(void* object, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  g_LastCall = {object, wnd, msg, wParam, lParam};
  return reinterpret_cast<LRESULT>(object) + static_cast<LRESULT>(msg);
}

void* Tag(size_t i) { return reinterpret_cast<void*>(0x10000 + i * 16); }

BYTE* Bytes(WNDPROC thunk) { return reinterpret_cast<BYTE*>(thunk); }
BYTE* PageOf(const void* p) { return reinterpret_cast<BYTE*>(reinterpret_cast<uintptr_t>(p) & ~uintptr_t{4095}); }

const BYTE* Rel32Target(const BYTE* at) {
  int32_t d;
  std::memcpy(&d, at, 4);
  return at + 4 + d;
}

bool InsideThisProgram(const void* p) {
  HMODULE module = nullptr;
  return ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCSTR>(p), &module) &&
         module == ::GetModuleHandleA(nullptr);
}

TEST(ThunkPool, EntriesComeFromExecutableBlocksAndReachTheirMethod) {
  const TWndProcThunkStats start = GetWndProcThunkStats();
  const size_t wanted = start.FreeEntries + kWndProcThunksPerBlock + 5;
  std::vector<WNDPROC> entries;
  for (size_t i = 0; i < wanted; ++i) {
    WNDPROC e = AllocWndProcThunk({&Record, Tag(i)});
    ASSERT_NE(e, nullptr);
    entries.push_back(e);
  }
  const TWndProcThunkStats full = GetWndProcThunkStats();
  // Exactly the blocks needed: the free entries first, then one new block per block's worth.
  EXPECT_EQ(full.Blocks, start.Blocks + 2);
  EXPECT_EQ(full.FreeEntries, 2 * kWndProcThunksPerBlock - (kWndProcThunksPerBlock + 5));
  EXPECT_EQ(std::set<WNDPROC>(entries.begin(), entries.end()).size(), entries.size());

  for (size_t i = 0; i < entries.size(); ++i) {
    BYTE* entry = Bytes(entries[i]);
    const size_t offset = entry - PageOf(entry);
    EXPECT_EQ((offset - kWndProcThunkFirstOffset) % kWndProcThunkEntrySize, 0u);
    EXPECT_LE(offset + kWndProcThunkEntrySize, kWndProcThunkBlockUsable);
    MEMORY_BASIC_INFORMATION info = {};
    ASSERT_TRUE(::VirtualQuery(entry, &info, sizeof(info)));
    EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_EXECUTE_READWRITE));
    // Called as the window procedure it is, the entry reaches its method with its object.
    HWND fake = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1230 + i));
    const LRESULT result = entries[i](fake, WM_USER + 5, 77, -3);
    EXPECT_EQ(result, reinterpret_cast<LRESULT>(Tag(i)) + WM_USER + 5);
    EXPECT_EQ(g_LastCall.object, Tag(i));
    EXPECT_EQ(g_LastCall.wnd, fake);
    EXPECT_EQ(g_LastCall.wParam, 77u);
    EXPECT_EQ(g_LastCall.lParam, -3);
    EXPECT_EQ(WndProcThunkMethod(entries[i]).Object, Tag(i));
  }

  // The blocks are chained: each new block starts with the address of the one before.
  BYTE* newest = PageOf(Bytes(entries.back()));
  BYTE* previous = nullptr;
  std::memcpy(&previous, newest, sizeof(previous));
  EXPECT_EQ(previous, PageOf(Bytes(entries[entries.size() - 6])));

  for (WNDPROC e : entries) FreeWndProcThunk(e);
  const TWndProcThunkStats freed = GetWndProcThunkStats();
  EXPECT_EQ(freed.FreeEntries, start.FreeEntries + 2 * kWndProcThunksPerBlock);
  EXPECT_EQ(freed.Blocks, full.Blocks);
}

TEST(ThunkPool, AFreedEntryIsTheNextOneHandedOut) {
  WNDPROC a = AllocWndProcThunk({&Record, Tag(1)});
  WNDPROC b = AllocWndProcThunk({&Record, Tag(2)});
  ASSERT_NE(a, b);
  const size_t blocks = GetWndProcThunkStats().Blocks;
  FreeWndProcThunk(a);
  WNDPROC c = AllocWndProcThunk({&Record, Tag(3)});
  EXPECT_EQ(c, a);
  EXPECT_EQ(c(nullptr, 1, 0, 0), reinterpret_cast<LRESULT>(Tag(3)) + 1);
  EXPECT_EQ(GetWndProcThunkStats().Blocks, blocks);
  FreeWndProcThunk(b);
  FreeWndProcThunk(c);
}

TEST(ThunkPool, EntriesHaveTheFormOfThisProcessor) {
  WNDPROC thunk = AllocWndProcThunk({&Record, Tag(9)});
  ASSERT_NE(thunk, nullptr);
  BYTE* entry = Bytes(thunk);
  BYTE* block = PageOf(entry);
#if defined(__x86_64__)
  // lea r10, [method reference]; jmp rel32 to the block's stub; int3 padding; the reference.
  EXPECT_EQ(entry[0], 0x4C);
  EXPECT_EQ(entry[1], 0x8D);
  EXPECT_EQ(entry[2], 0x15);
  EXPECT_EQ(Rel32Target(entry + 3), entry + kWndProcThunkMethodOffset);
  EXPECT_EQ(entry[7], 0xE9);
  EXPECT_EQ(Rel32Target(entry + 8), block + 144);
  for (size_t i = 12; i < kWndProcThunkMethodOffset; ++i) EXPECT_EQ(entry[i], 0xCC);
  // The stub opens its frame (sub rsp, 72) and reads the common entry's address, which lies in
  // this program, from the block's second slot.
  EXPECT_EQ(block[144], 0x48);
  EXPECT_EQ(block[145], 0x83);
  EXPECT_EQ(block[146], 0xEC);
  EXPECT_EQ(block[147], 0x48);
  TWndMethod stored;
  std::memcpy(&stored, entry + kWndProcThunkMethodOffset, sizeof(stored));
  EXPECT_EQ(stored.Object, Tag(9));
  EXPECT_EQ(stored.Code, &Record);
#elif defined(__i386__)
  // call rel32 to the block's stub (after eleven slots, "push ebx"), then the 8-byte reference;
  // the common entry's address, in this program, in the block's second slot.
  EXPECT_EQ(entry[0], 0xE8);
  EXPECT_EQ(Rel32Target(entry + 1), block + 44);
  EXPECT_EQ(block[44], 0x53);
  void* common = nullptr;
  std::memcpy(&common, block + sizeof(void*), sizeof(common));
  EXPECT_TRUE(InsideThisProgram(common));
  TWndMethod stored;
  std::memcpy(&stored, entry + 5, sizeof(stored));
  EXPECT_EQ(stored.Object, Tag(9));
#endif
  FreeWndProcThunk(thunk);
}

TEST(ThunkPool, AForwarderReachesTheOldProcedureWithoutThisProgramsCode) {
  for (const bool unicode : {false, true}) {
    TestFrame frame(TestFrame::kSizable, 0, unicode);
    WNDPROC thunk = AllocWndProcThunk({&Record, Tag(4)});
    ASSERT_NE(thunk, nullptr);
    const TWndProcThunkStats before = GetWndProcThunkStats();
    WNDPROC own = TestFrame::OwnProc(unicode);
    ASSERT_TRUE(ForwardWndProcThunk(thunk, own, unicode));
    EXPECT_EQ(GetWndProcThunkStats().Forwarders, before.Forwarders + 1);
    WNDPROC target = nullptr;
    EXPECT_TRUE(IsForwardingWndProcThunk(thunk, &target));
    EXPECT_EQ(target, own);

    frame.Log().messages.clear();
    g_LastCall = {};
    EXPECT_EQ(thunk(frame.Wnd(), WM_NULL, 0, 0), 0);
    EXPECT_TRUE(frame.Saw(WM_NULL));
    EXPECT_EQ(g_LastCall.object, nullptr) << "the old method was called";
    const wchar_t* wide = L"w\u263A";
    if (unicode) {
      thunk(frame.Wnd(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide));
      EXPECT_EQ(frame.Log().lastTextW, wide);
    } else {
      thunk(frame.Wnd(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("narrow"));
      EXPECT_EQ(frame.Log().lastTextA, "narrow");
    }

    // Everything on the forwarder's way lies in its block or in user32.
    BYTE* entry = Bytes(thunk);
    const BYTE* callWindowProc = reinterpret_cast<const BYTE*>(
        ::GetProcAddress(::GetModuleHandleA("user32.dll"), unicode ? "CallWindowProcW" : "CallWindowProcA"));
#if defined(__x86_64__)
    const BYTE* stub = Rel32Target(entry + 8);
    EXPECT_EQ(PageOf(stub), PageOf(entry));
    EXPECT_FALSE(InsideThisProgram(stub));
    const void* reference[2] = {};
    std::memcpy(reference, entry + kWndProcThunkMethodOffset, sizeof(reference));
    EXPECT_EQ(reference[0], reinterpret_cast<const void*>(own));
    EXPECT_EQ(reference[1], callWindowProc);
    // The stub's frame is described to the unwinder.
    DWORD64 base = 0;
    EXPECT_NE(::RtlLookupFunctionEntry(reinterpret_cast<DWORD64>(stub) + 5, &base, nullptr), nullptr);
    EXPECT_EQ(base, reinterpret_cast<DWORD64>(PageOf(entry)));
#elif defined(__i386__)
    EXPECT_EQ(Rel32Target(entry + 8), callWindowProc);
#endif
  }
}

// A call that reaches an entry after its module has gone (here: the block names an address in no
// module) goes to the window's present procedure in the window's own character set, or to
// DefWindowProc when that is still the entry itself.
TEST(ThunkPool, ACallThatFindsTheModuleGoneReachesTheWindowsOwnProcedure) {
  for (const bool unicode : {false, true}) {
    TestFrame frame(TestFrame::kSizable, 0, unicode);
    HWND wnd = frame.Wnd();
    WNDPROC thunk = AllocWndProcThunk({&Record, Tag(5)});
    ASSERT_NE(thunk, nullptr);
    BYTE* common = PageOf(Bytes(thunk)) + sizeof(void*);
    void* saved = nullptr;
    std::memcpy(&saved, common, sizeof(saved));
    void* nowhere = PageOf(Bytes(thunk));
    std::memcpy(common, &nowhere, sizeof(nowhere));

    g_LastCall = {};
    frame.Log().messages.clear();
    if (unicode) {
      thunk(wnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"w\u263A"));
      EXPECT_EQ(frame.Log().lastTextW, L"w\u263A");
    } else {
      thunk(wnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("narrow"));
      EXPECT_EQ(frame.Log().lastTextA, "narrow");
    }
    EXPECT_EQ(g_LastCall.object, nullptr) << "the method ran without its module";

    const LONG_PTR own = ::SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(thunk));
    ::CallWindowProcA(thunk, wnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("by default"));
    char text[32] = {};
    ::GetWindowTextA(wnd, text, sizeof(text));
    EXPECT_STREQ(text, "by default");
    ::SetWindowLongPtrA(wnd, GWLP_WNDPROC, own);

    std::memcpy(common, &saved, sizeof(saved));
    FreeWndProcThunk(thunk);
  }
}

// Several GUI threads at once, each with windows of its own, share one list and the pool.
TEST(ThunkPool, AListAndThePoolServeSeveralThreadsAtOnce) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 40;
  TKQCaptionButtonsLst list;
  { TestFrame warmUp(TestFrame::kSizable, 0); }  // the window classes, registered once
  const TWndProcThunkStats start = GetWndProcThunkStats();
  std::atomic<int> ready{0}, failures{0}, served{0};
  auto work = [&](int thread) {
    ready.fetch_add(1);
    while (ready.load() < kThreads) ::Sleep(0);
    for (int round = 0; round < kRounds; ++round) {
      TestFrame frame(TestFrame::kSizable, 0, (round + thread) % 2 == 1);
      HWND wnd = frame.Wnd();
      TKQCaptionButtons* set = list.Add(wnd);
      if (!set || !list.HasWindow(wnd)) {
        failures.fetch_add(1);
        continue;
      }
      set->AddButton(wnd, 0, 1, nullptr, true);
      // Entries of the pool taken and given back beside the sets.
      WNDPROC extra = AllocWndProcThunk({&Record, Tag(thread)});
      if (!extra || extra(nullptr, 2, 0, 0) != reinterpret_cast<LRESULT>(Tag(thread)) + 2) failures.fetch_add(1);
      FreeWndProcThunk(extra);
      frame.Log().messages.clear();
      ::SendMessageA(wnd, WM_NULL, 0, 0);
      if (frame.Saw(WM_NULL)) served.fetch_add(1);
      if (round % 2 == 0) {
        if (!list.Remove(wnd)) failures.fetch_add(1);
      } else {
        frame.Destroy();  // the set leaves the list at WM_NCDESTROY
        if (list.HasWindow(wnd)) failures.fetch_add(1);
      }
      PumpMessagesFor(0);
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(work, t);
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(served.load(), kThreads * kRounds);
  EXPECT_EQ(list.Count(), 0u);
  const TWndProcThunkStats end = GetWndProcThunkStats();
  // Every entry is back: what the pool holds now is what it held plus the new blocks' entries.
  EXPECT_EQ(end.FreeEntries, start.FreeEntries + (end.Blocks - start.Blocks) * kWndProcThunksPerBlock);
  EXPECT_EQ(end.Forwarders, start.Forwarders);
}

// The hook's own list from several GUI threads: sets attached as the hook attaches them, taken away
// by the host's remove code or by the end of their windows.
TEST(ThunkPool, ButtonSetsServeSeveralThreadsAtOnce) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 15;
  ASSERT_NE(ButtonSets(), nullptr);
  const size_t setsBefore = ButtonSets()->Count();
  { TestFrame warmUp(TestFrame::kSizable, 0); }
  const TWndProcThunkStats start = GetWndProcThunkStats();
  std::atomic<int> ready{0}, failures{0};
  auto work = [&](int thread) {
    ready.fetch_add(1);
    while (ready.load() < kThreads) ::Sleep(0);
    for (int round = 0; round < kRounds; ++round) {
      TestFrame frame(TestFrame::kSizable, 0, round % 2 == 0);
      HWND wnd = frame.Wnd();
      if (!AttachButtons(wnd) || !ButtonSets()->HasWindow(wnd)) {
        failures.fetch_add(1);
        continue;
      }
      if (round % 3 == 0) {
        ::SendMessageA(wnd, ManageMsg, kManageRemoveButtons, 0);
        if (ButtonSets()->HasWindow(wnd)) failures.fetch_add(1);
      } else {
        frame.Destroy();
        if (ButtonSets()->HasWindow(wnd)) failures.fetch_add(1);
      }
      PumpMessagesFor(0);
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(work, t);
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(ButtonSets()->Count(), setsBefore);
  const TWndProcThunkStats end = GetWndProcThunkStats();
  EXPECT_EQ(end.FreeEntries, start.FreeEntries + (end.Blocks - start.Blocks) * kWndProcThunksPerBlock);
}

}  // namespace
}  // namespace kq::test
