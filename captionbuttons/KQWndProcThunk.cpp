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
size_t g_ForwarderCount = 0;

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

[[maybe_unused]] const BYTE* Rel32Target(const BYTE* at) {
  int32_t displacement;
  memcpy(&displacement, at, kRel32Size);
  return at + kRel32Size + displacement;
}

// Blocks come from VirtualAlloc, so they start on a page boundary and an entry's block is its page.
[[maybe_unused]] BYTE* BlockOf(BYTE* entry) {
  return reinterpret_cast<BYTE*>(reinterpret_cast<uintptr_t>(entry) & ~(uintptr_t{kWndProcThunkBlockSize} - 1));
}

// CallWindowProcW or CallWindowProcA of user32, which stays loaded for as long as the process has
// windows.
const BYTE* CallWindowProcAddress(bool unicode) {
  HMODULE user32 = ::GetModuleHandleA("user32.dll");
  if (!user32) return nullptr;
  return reinterpret_cast<const BYTE*>(::GetProcAddress(user32, unicode ? "CallWindowProcW" : "CallWindowProcA"));
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

// A forwarding entry: "pop eax; push oldProc; push eax; jmp CallWindowProc": the old procedure
// becomes CallWindowProc's first argument under the caller's return address.
constexpr BYTE kPopEax = 0x58;
constexpr BYTE kPushImm32 = 0x68;
constexpr BYTE kPushEax = 0x50;
constexpr size_t kForwardOldProcOffset = 2;
constexpr size_t kForwardJmpOffset = 7;
static_assert(kForwardJmpOffset + 1 + kRel32Size + 1 == kWndProcThunkEntrySize, "a forwarder fills one entry");

bool WriteForwarder(BYTE* entry, WNDPROC oldProc, const BYTE* callWindowProc) {
  BYTE code[kWndProcThunkEntrySize];
  code[0] = kPopEax;
  code[1] = kPushImm32;
  const uint32_t old = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(oldProc));
  memcpy(code + kForwardOldProcOffset, &old, sizeof(old));
  code[6] = kPushEax;
  code[kForwardJmpOffset] = kJmpRel32;
  const int32_t displacement = static_cast<int32_t>(callWindowProc - (entry + kForwardJmpOffset + 1 + kRel32Size));
  memcpy(code + kForwardJmpOffset + 1, &displacement, kRel32Size);
  code[kWndProcThunkEntrySize - 1] = kInt3;
  memcpy(entry, code, sizeof(code));
  return true;
}

bool ReadForwarder(BYTE* entry, WNDPROC* oldProc) {
  if (entry[0] != kPopEax || entry[1] != kPushImm32 || entry[6] != kPushEax || entry[kForwardJmpOffset] != kJmpRel32)
    return false;
  uint32_t old;
  memcpy(&old, entry + kForwardOldProcOffset, sizeof(old));
  if (oldProc) *oldProc = reinterpret_cast<WNDPROC>(static_cast<uintptr_t>(old));
  return true;
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
constexpr BYTE kLeaR10Rip[] = {0x4C, 0x8D, 0x15};                      // lea r10, [rip+rel32]
constexpr size_t kEntryJmpOffset = sizeof(kLeaR10Rip) + kRel32Size;

// The forwarding stub of a block. r10 holds the address of a forwarder's method reference, which
// holds the old procedure and CallWindowProc's address: the window procedure's arguments move
// up one place, the old procedure becomes the first, and CallWindowProc is called.
constexpr size_t kForwardStubOffset = 24;
constexpr BYTE kForwardStub[] = {
    0x48, 0x83, 0xEC, 0x28,        // sub rsp, 40
    0x4C, 0x89, 0x4C, 0x24, 0x20,  // mov [rsp+32], r9
    0x4D, 0x89, 0xC1,              // mov r9, r8
    0x49, 0x89, 0xD0,              // mov r8, rdx
    0x48, 0x89, 0xCA,              // mov rdx, rcx
    0x49, 0x8B, 0x0A,              // mov rcx, [r10]
    0x41, 0xFF, 0x52, 0x08,        // call [r10+8]
    0x48, 0x83, 0xC4, 0x28,        // add rsp, 40
    0xC3,                          // ret
};
constexpr BYTE kForwardStubPrologSize = 4;
constexpr BYTE kForwardStubFrameSize = 40;
// Its unwind description, so that a stack walk through a forwarder stays on track: one
// RUNTIME_FUNCTION and its UNWIND_INFO (version 1, one UWOP_ALLOC_SMALL code).
constexpr size_t kForwardFunctionOffset = 56;
constexpr size_t kForwardUnwindOffset = 68;
constexpr BYTE kUnwindVersion1 = 0x01;
constexpr BYTE kUwopAllocSmall = 2;
static_assert(kForwardStubOffset >= kBlockStubOffset + sizeof(kJmpIndirect) + sizeof(void*), "stubs do not overlap");
static_assert(kForwardFunctionOffset >= kForwardStubOffset + sizeof(kForwardStub), "stub and table do not overlap");
static_assert(kForwardUnwindOffset >= kForwardFunctionOffset + sizeof(RUNTIME_FUNCTION), "table and info apart");
static_assert(kWndProcThunkFirstOffset >= kForwardUnwindOffset + 8, "entries follow the unwind info");

void WriteBlockStub(BYTE* block) {
  BYTE* stub = block + kBlockStubOffset;
  memcpy(stub, kJmpIndirect, sizeof(kJmpIndirect));
  const void* target = reinterpret_cast<const void*>(&kqWndProcThunkEntry);
  memcpy(stub + sizeof(kJmpIndirect), &target, sizeof(target));

  memcpy(block + kForwardStubOffset, kForwardStub, sizeof(kForwardStub));
  const BYTE unwind[8] = {kUnwindVersion1,
                          kForwardStubPrologSize,
                          1,
                          0,
                          kForwardStubPrologSize,
                          static_cast<BYTE>(kUwopAllocSmall | (((kForwardStubFrameSize - 8) / 8) << 4)),
                          0,
                          0};
  memcpy(block + kForwardUnwindOffset, unwind, sizeof(unwind));
  RUNTIME_FUNCTION function;
  function.BeginAddress = kForwardStubOffset;
  function.EndAddress = kForwardStubOffset + sizeof(kForwardStub);
  function.UnwindData = kForwardUnwindOffset;
  memcpy(block + kForwardFunctionOffset, &function, sizeof(function));
  ::RtlAddFunctionTable(reinterpret_cast<PRUNTIME_FUNCTION>(block + kForwardFunctionOffset), 1,
                        reinterpret_cast<DWORD64>(block));
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

bool WriteForwarder(BYTE* entry, WNDPROC oldProc, const BYTE* callWindowProc) {
  const void* reference[2] = {reinterpret_cast<const void*>(oldProc), callWindowProc};
  memcpy(MethodOf(entry), reference, sizeof(reference));
  WriteRel32(entry + kEntryJmpOffset + 1, BlockOf(entry) + kForwardStubOffset);
  return true;
}

bool ReadForwarder(BYTE* entry, WNDPROC* oldProc) {
  if (entry[kEntryJmpOffset] != kJmpRel32 ||
      Rel32Target(entry + kEntryJmpOffset + 1) != BlockOf(entry) + kForwardStubOffset)
    return false;
  if (oldProc) memcpy(oldProc, MethodOf(entry), sizeof(*oldProc));
  return true;
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

bool ForwardWndProcThunk(WNDPROC thunk, WNDPROC oldProc, bool unicode) {
  if (!thunk) return false;
  const BYTE* callWindowProc = CallWindowProcAddress(unicode);
  if (!callWindowProc) return false;
  TPoolGuard guard;
  BYTE* entry = EntryOf(thunk);
  WriteForwarder(entry, oldProc, callWindowProc);
  ::FlushInstructionCache(::GetCurrentProcess(), entry, kWndProcThunkEntrySize);
  ++g_ForwarderCount;
  return true;
}

bool IsForwardingWndProcThunk(WNDPROC thunk, WNDPROC* oldProc) {
  if (!thunk) return false;
  return ReadForwarder(EntryOf(thunk), oldProc);
}

TWndMethod WndProcThunkMethod(WNDPROC thunk) {
  TWndMethod method = {};
  if (thunk) memcpy(&method, MethodOf(EntryOf(thunk)), sizeof(method));
  return method;
}

TWndProcThunkStats GetWndProcThunkStats() {
  TPoolGuard guard;
  return {g_BlockCount, g_FreeCount, g_ForwarderCount};
}

}  // namespace kq
