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

// FreeLibrary of kernel32, which stays loaded for as long as the process runs.
const BYTE* FreeLibraryAddress() {
  HMODULE kernel32 = ::GetModuleHandleA("kernel32.dll");
  if (!kernel32) return nullptr;
  return reinterpret_cast<const BYTE*>(::GetProcAddress(kernel32, "FreeLibrary"));
}

// Frames of entries on the stacks of all threads. While there is one, this module holds a
// reference to itself, so whoever unloads it meanwhile (the program with FreeLibrary, the system
// dropping a hook module from a thread that waits in a modal loop entered below one of our
// frames) only drops their own reference. The reference is taken when the count leaves 0 and
// given back when it returns to 0, by the block stub after the method has returned: the
// FreeLibrary that may unmap this module is called from the pool, which outlives the module,
// and returns there, so no code of this module runs after it.
//
// GetModuleHandleExW takes the loader lock, once per outermost window-procedure call of the
// process (nested calls and calls on other threads meanwhile find the count above 0). A thread
// that holds the loader lock and sends to one of our windows on another thread would wait for
// it; a program that does so already deadlocks with every procedure that loads a module.
//
// A frame left by an exception (the program's procedure raised past us) never counts down: the
// module then stays loaded, which is the safe side.
LONG volatile g_Frames = 0;
LONG volatile g_References = 0;  // references taken and not yet handed to a stub for release
HMODULE g_Module = nullptr;

void EnterFrame() {
  if (::InterlockedIncrement(&g_Frames) != 1) return;
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&EnterFrame), &module))
    return;
  g_Module = module;  // always the same handle
  ::InterlockedIncrement(&g_References);
}

// The module to release when this was the last frame and a reference is held, else null.
HMODULE LeaveFrame() {
  if (::InterlockedDecrement(&g_Frames) != 0) return nullptr;
  // A frame that entered meanwhile took a reference of its own: one is given back either way.
  for (LONG held = g_References; held > 0; held = g_References)
    if (::InterlockedCompareExchange(&g_References, held - 1, held) == held) return g_Module;
  return nullptr;
}

// The call every entry arrives at, with the address of its method reference. Answers in
// *release the module the caller must free once this module's code is off the stack.
LRESULT CallMethod(const BYTE* methodBytes, HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, HMODULE* release) {
  TWndMethod method;
  memcpy(&method, methodBytes, sizeof(method));
  EnterFrame();
  const LRESULT result = method.Code(method.Object, wnd, msg, wParam, lParam);
  *release = LeaveFrame();
  return result;
}

}  // namespace
}  // namespace kq

#if defined(__i386__)

namespace kq {
namespace {

static_assert(sizeof(TWndMethod) == 8, "an i686 method reference is 8 bytes");
static_assert(kWndProcThunksPerBlock == 311, "311 entries fit a block");
static_assert(kWndProcThunkFirstOffset + 310 * kWndProcThunkEntrySize + kWndProcThunkEntrySize <= 4092,
              "the last entry ends within the first 4092 bytes");

constexpr size_t kBlockStubOffset = sizeof(void*);

// The block stub has popped the address of the method reference (pushed by the entry's call)
// into ECX, copied the window procedure's four arguments below the caller's return address and
// called here. As a fastcall function this takes ECX (the method), EDX (unused) and the four
// copied arguments, and pops those 16 bytes itself. The 64-bit result comes back in EDX:EAX:
// EAX the window procedure's result, EDX the module the stub must free, or 0.
__attribute__((fastcall, force_align_arg_pointer)) uint64_t CommonEntry(const BYTE* method, void* unused, HWND wnd,
                                                                        UINT msg, WPARAM wParam, LPARAM lParam) {
  HMODULE release = nullptr;
  const LRESULT result = CallMethod(method, wnd, msg, wParam, lParam, &release);
  return (uint64_t{static_cast<uint32_t>(reinterpret_cast<uintptr_t>(release))} << 32) | static_cast<uint32_t>(result);
}

// The block stub: calls CommonEntry, frees the module when told to (with the result saved on the
// stack) and returns to the window procedure's caller, popping its four arguments.
constexpr BYTE kBlockStub[] = {
    0x59,                                // pop ecx                  the method reference
    0xFF, 0x74, 0x24, 0x10,              // push dword [esp+16]      lParam
    0xFF, 0x74, 0x24, 0x10,              // push dword [esp+16]      wParam
    0xFF, 0x74, 0x24, 0x10,              // push dword [esp+16]      msg
    0xFF, 0x74, 0x24, 0x10,              // push dword [esp+16]      wnd
    0xE8, 0x00, 0x00, 0x00, 0x00,        // call CommonEntry
    0x85, 0xD2,                          // test edx, edx
    0x74, 0x09,                          // jz done
    0x50,                                // push eax                 the result
    0x52,                                // push edx                 the module
    0xFF, 0x15, 0x00, 0x00, 0x00, 0x00,  // call [FreeLibrary]
    0x58,                                // pop eax
    0xC2, 0x10, 0x00,                    // done: ret 16
};
constexpr size_t kBlockStubCallOffset = 18;         // the rel32 of "call CommonEntry"
constexpr size_t kBlockStubFreeLibraryOffset = 30;  // the address of "call [FreeLibrary]"
constexpr size_t kFreeLibrarySlotOffset = 44;       // FreeLibrary's address, read by the stub
static_assert(kBlockStubOffset + sizeof(kBlockStub) <= kFreeLibrarySlotOffset, "stub and slot do not overlap");
static_assert(kFreeLibrarySlotOffset + sizeof(void*) <= kWndProcThunkFirstOffset, "entries follow the slot");

void WriteBlockStub(BYTE* block) {
  BYTE* stub = block + kBlockStubOffset;
  memcpy(stub, kBlockStub, sizeof(kBlockStub));
  WriteRel32(stub + kBlockStubCallOffset, reinterpret_cast<const BYTE*>(&CommonEntry));
  const BYTE* freeLibrary = FreeLibraryAddress();
  memcpy(block + kFreeLibrarySlotOffset, &freeLibrary, sizeof(freeLibrary));
  const uint32_t slot = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block + kFreeLibrarySlotOffset));
  memcpy(stub + kBlockStubFreeLibraryOffset, &slot, sizeof(slot));
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

// What the block stub calls: the window procedure's arguments, the method reference (r10 of the
// entry) and where to put the module the stub must free once this call has returned, or null.
extern "C" __attribute__((used)) LRESULT kqWndProcThunkDispatch(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                                                const BYTE* method, HMODULE* release) {
  return kq::CallMethod(method, wnd, msg, wParam, lParam, release);
}

namespace kq {
namespace {

static_assert(sizeof(TWndMethod) == 16, "an x86-64 method reference is 16 bytes");
static_assert(kWndProcThunkMethodOffset % 8 == 0 && kWndProcThunkFirstOffset % 8 == 0,
              "method references are pointer-aligned");

constexpr BYTE kLeaR10Rip[] = {0x4C, 0x8D, 0x15};  // lea r10, [rip+rel32]
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
static_assert(kForwardFunctionOffset >= kForwardStubOffset + sizeof(kForwardStub), "stub and table do not overlap");
static_assert(kForwardUnwindOffset >= kForwardFunctionOffset + sizeof(RUNTIME_FUNCTION), "table and info apart");

// The addresses the block stub calls through: kqWndProcThunkDispatch and FreeLibrary.
constexpr size_t kDispatchSlotOffset = 8;
constexpr size_t kFreeLibrarySlotOffset = 16;
static_assert(kFreeLibrarySlotOffset + sizeof(void*) <= kForwardStubOffset, "slots precede the forwarding stub");

// The block stub every entry jumps to, r10 holding the address of the method reference. It
// calls kqWndProcThunkDispatch with the window procedure's arguments, the method and a slot of
// its frame for the module to free; when one is named it frees it with the result saved in the
// frame, and returns the result.
constexpr size_t kBlockStubOffset = 80;
constexpr BYTE kBlockStub[] = {
    0x48, 0x83, 0xEC, 0x38,                                // sub rsp, 56
    0x4C, 0x89, 0x54, 0x24, 0x20,                          // mov [rsp+32], r10        the method
    0x48, 0xC7, 0x44, 0x24, 0x30, 0x00, 0x00, 0x00, 0x00,  // mov qword [rsp+48], 0    the module slot
    0x48, 0x8D, 0x44, 0x24, 0x30,                          // lea rax, [rsp+48]
    0x48, 0x89, 0x44, 0x24, 0x28,                          // mov [rsp+40], rax
    0xFF, 0x15, 0x00, 0x00, 0x00, 0x00,                    // call [dispatch]
    0x48, 0x8B, 0x4C, 0x24, 0x30,                          // mov rcx, [rsp+48]
    0x48, 0x85, 0xC9,                                      // test rcx, rcx
    0x74, 0x10,                                            // jz done
    0x48, 0x89, 0x44, 0x24, 0x28,                          // mov [rsp+40], rax        the result
    0xFF, 0x15, 0x00, 0x00, 0x00, 0x00,                    // call [FreeLibrary]
    0x48, 0x8B, 0x44, 0x24, 0x28,                          // mov rax, [rsp+40]
    0x48, 0x83, 0xC4, 0x38,                                // done: add rsp, 56
    0xC3,                                                  // ret
};
constexpr size_t kBlockStubDispatchRel = 30;     // rel32 of "call [dispatch]"
constexpr size_t kBlockStubFreeLibraryRel = 51;  // rel32 of "call [FreeLibrary]"
constexpr BYTE kBlockStubPrologSize = 4;
constexpr BYTE kBlockStubFrameSize = 56;
constexpr size_t kBlockFunctionOffset = 148;
constexpr size_t kBlockUnwindOffset = 160;
static_assert(kBlockStubOffset >= kForwardUnwindOffset + 8, "the block stub follows the forwarder's unwind info");
static_assert(kBlockFunctionOffset >= kBlockStubOffset + sizeof(kBlockStub), "stub and table do not overlap");
static_assert(kBlockUnwindOffset >= kBlockFunctionOffset + sizeof(RUNTIME_FUNCTION), "table and info apart");
static_assert(kWndProcThunkFirstOffset >= kBlockUnwindOffset + 8, "entries follow the unwind info");

// One RUNTIME_FUNCTION and its UNWIND_INFO (version 1, one UWOP_ALLOC_SMALL code) for a stub of
// the block whose prologue is "sub rsp, frame".
void WriteUnwind(BYTE* block, size_t stubOffset, size_t stubSize, size_t functionOffset, size_t unwindOffset,
                 BYTE prologSize, BYTE frameSize) {
  const BYTE unwind[8] = {kUnwindVersion1,
                          prologSize,
                          1,
                          0,
                          prologSize,
                          static_cast<BYTE>(kUwopAllocSmall | (((frameSize - 8) / 8) << 4)),
                          0,
                          0};
  memcpy(block + unwindOffset, unwind, sizeof(unwind));
  RUNTIME_FUNCTION function;
  function.BeginAddress = static_cast<DWORD>(stubOffset);
  function.EndAddress = static_cast<DWORD>(stubOffset + stubSize);
  function.UnwindData = static_cast<DWORD>(unwindOffset);
  memcpy(block + functionOffset, &function, sizeof(function));
}

void WriteBlockStub(BYTE* block) {
  const void* dispatch = reinterpret_cast<const void*>(&kqWndProcThunkDispatch);
  memcpy(block + kDispatchSlotOffset, &dispatch, sizeof(dispatch));
  const BYTE* freeLibrary = FreeLibraryAddress();
  memcpy(block + kFreeLibrarySlotOffset, &freeLibrary, sizeof(freeLibrary));
  BYTE* stub = block + kBlockStubOffset;
  memcpy(stub, kBlockStub, sizeof(kBlockStub));
  WriteRel32(stub + kBlockStubDispatchRel, block + kDispatchSlotOffset);
  WriteRel32(stub + kBlockStubFreeLibraryRel, block + kFreeLibrarySlotOffset);

  memcpy(block + kForwardStubOffset, kForwardStub, sizeof(kForwardStub));
  WriteUnwind(block, kForwardStubOffset, sizeof(kForwardStub), kForwardFunctionOffset, kForwardUnwindOffset,
              kForwardStubPrologSize, kForwardStubFrameSize);
  WriteUnwind(block, kBlockStubOffset, sizeof(kBlockStub), kBlockFunctionOffset, kBlockUnwindOffset,
              kBlockStubPrologSize, kBlockStubFrameSize);
  ::RtlAddFunctionTable(reinterpret_cast<PRUNTIME_FUNCTION>(block + kForwardFunctionOffset), 1,
                        reinterpret_cast<DWORD64>(block));
  ::RtlAddFunctionTable(reinterpret_cast<PRUNTIME_FUNCTION>(block + kBlockFunctionOffset), 1,
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
