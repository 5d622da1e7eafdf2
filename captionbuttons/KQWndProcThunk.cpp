#include "captionbuttons/KQWndProcThunk.h"

#include <cstdint>
#include <cstring>

namespace kq {
namespace {

constexpr BYTE kPopEcx = 0x59;
constexpr BYTE kJmpRel32 = 0xE9;
constexpr BYTE kCallRel32 = 0xE8;
constexpr BYTE kInt3 = 0xCC;
constexpr size_t kRel32Size = 4;

// Every variable below is guarded by g_PoolLock. The lock is held only for list and block work,
// never while an entry runs. Like the pool, it lives as long as the process: sets destroyed late
// in shut-down still give their entries back.
class TPoolLock {
 public:
  TPoolLock() { ::InitializeCriticalSection(&section_); }
  TPoolLock(const TPoolLock&) = delete;
  TPoolLock& operator=(const TPoolLock&) = delete;
  void Enter() { ::EnterCriticalSection(&section_); }
  void Leave() { ::LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

TPoolLock g_PoolLock;
BYTE* g_LastBlock = nullptr;  // chained through the first pointer of each block
BYTE* g_FreeHead = nullptr;   // an entry; the next one is in the first pointer of its method
size_t g_BlockCount = 0;
size_t g_FreeCount = 0;

class TPoolGuard {
 public:
  TPoolGuard() { g_PoolLock.Enter(); }
  ~TPoolGuard() { g_PoolLock.Leave(); }
  TPoolGuard(const TPoolGuard&) = delete;
  TPoolGuard& operator=(const TPoolGuard&) = delete;
};

BYTE* MethodOf(BYTE* entry) { return entry + kWndProcThunkMethodOffset; }

void WriteMethod(BYTE* entry, const TWndMethod& method) { memcpy(MethodOf(entry), &method, sizeof(method)); }

BYTE* NextFree(BYTE* entry) {
  BYTE* next;
  memcpy(&next, MethodOf(entry), sizeof(next));
  return next;
}

void SetNextFree(BYTE* entry, BYTE* next) { memcpy(MethodOf(entry), &next, sizeof(next)); }

void WriteRel32(BYTE* at, const BYTE* target) {
  const int32_t displacement = static_cast<int32_t>(target - (at + kRel32Size));
  memcpy(at, &displacement, kRel32Size);
}

// The call every entry arrives at, with the address of its method reference.
LRESULT CallMethod(const BYTE* methodBytes, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TWndMethod method;
  memcpy(&method, methodBytes, sizeof(method));
  return method.Code(method.Object, wnd, msg, wParam, lParam);
}

}  // namespace
}  // namespace kq

#if defined(__i386__)

namespace kq {
namespace {

static_assert(sizeof(TWndMethod) == 8, "an i686 method reference is 8 bytes");
static_assert(kWndProcThunksPerBlock == 314, "314 entries fit a block");
static_assert(kWndProcThunkFirstOffset + 313 * kWndProcThunkEntrySize + kWndProcThunkEntrySize <= 4092,
              "the last entry ends within the first 4092 bytes");

constexpr size_t kBlockStubOffset = sizeof(void*);

// The block stub has popped the address of the method reference (pushed by the entry's call)
// into ECX and jumped here; the stack is exactly what a window procedure receives. As a fastcall
// function this takes ECX (the method), EDX (unused) and the four stack arguments, and pops
// those 16 bytes itself, as the stdcall caller expects.
__attribute__((fastcall, force_align_arg_pointer)) LRESULT CommonEntry(const BYTE* method, void* unused, HWND wnd,
                                                                       UINT msg, WPARAM wParam, LPARAM lParam) {
  return CallMethod(method, wnd, msg, wParam, lParam);
}

void WriteBlockStub(BYTE* block) {
  BYTE* stub = block + kBlockStubOffset;
  stub[0] = kPopEcx;
  stub[1] = kJmpRel32;
  WriteRel32(stub + 2, reinterpret_cast<const BYTE*>(&CommonEntry));
}

void WriteEntry(BYTE* block, BYTE* entry) {
  entry[0] = kCallRel32;
  WriteRel32(entry + 1, block + kBlockStubOffset);
}

}  // namespace
}  // namespace kq

#elif defined(__x86_64__)

// The common entry: r10 holds the address of the method reference, rcx/rdx/r8/r9 the window
// procedure's arguments. It gives the method to the C++ side as a fifth argument. Its frame is
// described to the unwinder, so a stack walk through it is well defined.
extern "C" LRESULT kqWndProcThunkEntry(HWND, UINT, WPARAM, LPARAM);

extern "C" __attribute__((used)) LRESULT kqWndProcThunkDispatch(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                                                 const BYTE* method) {
  return kq::CallMethod(method, wnd, msg, wParam, lParam);
}

asm(R"(
    .text
    .p2align 4
    .def kqWndProcThunkEntry; .scl 2; .type 32; .endef
    .globl kqWndProcThunkEntry
kqWndProcThunkEntry:
    .seh_proc kqWndProcThunkEntry
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    movq %r10, 32(%rsp)
    call kqWndProcThunkDispatch
    addq $40, %rsp
    ret
    .seh_endproc
)");

namespace kq {
namespace {

static_assert(sizeof(TWndMethod) == 16, "an x86-64 method reference is 16 bytes");
static_assert(kWndProcThunkMethodOffset % 8 == 0 && kWndProcThunkFirstOffset % 8 == 0,
              "method references are pointer-aligned");

constexpr size_t kBlockStubOffset = sizeof(void*);
constexpr BYTE kJmpIndirect[] = {0xFF, 0x25, 0x00, 0x00, 0x00, 0x00};  // jmp [rip+0]
constexpr BYTE kLeaR10Rip[] = {0x4C, 0x8D, 0x15};                     // lea r10, [rip+rel32]

void WriteBlockStub(BYTE* block) {
  BYTE* stub = block + kBlockStubOffset;
  memcpy(stub, kJmpIndirect, sizeof(kJmpIndirect));
  const void* target = reinterpret_cast<const void*>(&kqWndProcThunkEntry);
  memcpy(stub + sizeof(kJmpIndirect), &target, sizeof(target));
}

void WriteEntry(BYTE* block, BYTE* entry) {
  BYTE* at = entry;
  memcpy(at, kLeaR10Rip, sizeof(kLeaR10Rip));
  at += sizeof(kLeaR10Rip);
  WriteRel32(at, MethodOf(entry));
  at += kRel32Size;
  *at++ = kJmpRel32;
  WriteRel32(at, block + kBlockStubOffset);
  at += kRel32Size;
  memset(at, kInt3, MethodOf(entry) - at);
}

}  // namespace
}  // namespace kq

#endif

namespace kq {
namespace {

// Gets a new block, writes its code and puts all its entries on the free list. Called with the
// lock held. False when the system has no memory to give.
bool AddBlock() {
  auto* block = static_cast<BYTE*>(
      ::VirtualAlloc(nullptr, kWndProcThunkBlockSize, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
  if (!block) return false;
  memcpy(block, &g_LastBlock, sizeof(g_LastBlock));
  g_LastBlock = block;
  ++g_BlockCount;
  WriteBlockStub(block);
  // Linked from the last entry down, so entries are handed out in address order.
  for (size_t i = kWndProcThunksPerBlock; i-- > 0;) {
    BYTE* entry = block + kWndProcThunkFirstOffset + i * kWndProcThunkEntrySize;
    WriteEntry(block, entry);
    SetNextFree(entry, g_FreeHead);
    g_FreeHead = entry;
    ++g_FreeCount;
  }
  ::FlushInstructionCache(::GetCurrentProcess(), block, kWndProcThunkBlockSize);
  return true;
}

BYTE* EntryOf(WNDPROC thunk) { return reinterpret_cast<BYTE*>(thunk); }

}  // namespace

WNDPROC AllocWndProcThunk(const TWndMethod& method) {
  BYTE* entry = nullptr;
  {
    TPoolGuard guard;
    if (!g_FreeHead && !AddBlock()) return nullptr;
    entry = g_FreeHead;
    g_FreeHead = NextFree(entry);
    --g_FreeCount;
    WriteMethod(entry, method);
  }
  return reinterpret_cast<WNDPROC>(entry);
}

void FreeWndProcThunk(WNDPROC thunk) {
  if (!thunk) return;
  TPoolGuard guard;
  BYTE* entry = EntryOf(thunk);
  SetNextFree(entry, g_FreeHead);
  g_FreeHead = entry;
  ++g_FreeCount;
}

void RetargetWndProcThunk(WNDPROC thunk, const TWndMethod& method) {
  if (thunk) WriteMethod(EntryOf(thunk), method);
}

TWndMethod WndProcThunkMethod(WNDPROC thunk) {
  TWndMethod method = {};
  if (thunk) memcpy(&method, MethodOf(EntryOf(thunk)), sizeof(method));
  return method;
}

TWndProcThunkStats GetWndProcThunkStats() {
  TPoolGuard guard;
  return {g_BlockCount, g_FreeCount};
}

}  // namespace kq
