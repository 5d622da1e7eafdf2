#include "captionbuttons/KQWndProcThunk.h"

#include <cstdint>
#include <cstring>

#include "common/KQLock.h"
#include "common/KQProcessStatic.h"
#include "common/KQModuleEntry.h"

namespace kq {
namespace {

constexpr BYTE kJmpRel32 = 0xE9;
constexpr BYTE kCallRel32 = 0xE8;
constexpr BYTE kInt3 = 0xCC;
constexpr size_t kRel32Size = 4;

// Every variable below is guarded by g_PoolLock. The lock is held only for list and block work,
// never while an entry runs. Like the pool, it lives as long as the process: sets destroyed late
// in shut-down still give their entries back.
ProcessStatic<TLock> g_PoolLock;
BYTE* g_LastBlock = nullptr;  // chained through the first pointer of each block
BYTE* g_FreeHead = nullptr;   // an entry; the next one is in the first pointer of its method
size_t g_BlockCount = 0;
size_t g_FreeCount = 0;
size_t g_ForwarderCount = 0;

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

// The system functions a block calls, from modules that stay loaded for as long as the process
// has windows.
const BYTE* SystemProc(const char* module, const char* name) {
  return ModuleEntry<const BYTE*>(::GetModuleHandleA(module), name);
}

const BYTE* CallWindowProcAddress(bool unicode) {
  return SystemProc("user32.dll", unicode ? "CallWindowProcW" : "CallWindowProcA");
}

// A block begins with pointer-sized slots the block stub reads relative to the block's start:
// the chain to the previous block, the common entry (which also names this module), and the
// system functions it calls. Each A/W pair lies side by side, so the stub picks the wide one of
// every pair by adding one pointer.
enum TBlockSlot : size_t {
  kSlotPrevious,
  kSlotDispatch,
  kSlotGetModuleHandleEx,
  kSlotFreeLibrary,
  kSlotIsWindowUnicode,
  kSlotGetWindowProcA,
  kSlotGetWindowProcW,
  kSlotCallWindowProcA,
  kSlotCallWindowProcW,
  kSlotDefWindowProcA,
  kSlotDefWindowProcW,
  kSlotCount
};
constexpr size_t SlotOffset(TBlockSlot slot) { return slot * sizeof(void*); }
constexpr size_t kSlotsSize = SlotOffset(kSlotCount);

// Every call through an entry holds a reference to this module for as long as it runs, taken by
// the block stub with GetModuleHandleExW before the common entry and given back with FreeLibrary
// after it, both from the pool, which outlives the module. So whoever unloads the module while
// calls are in progress (the program with FreeLibrary, the system dropping a hook module while a
// thread waits in a modal loop entered below one of our frames) only drops their own reference:
// the module goes when the last call has returned, from the pool, and no code of it runs
// afterwards. A call that reaches the stub after the module has gone (its window's procedure was
// read just before the set gave it back) finds no module to reference and is handed to the
// window's present procedure, or to DefWindowProc should that still be the entry itself.
//
// Both functions take the loader lock for a moment. A thread that holds the loader lock and
// sends to one of our windows on another thread would wait for it; a program that does so
// already deadlocks with every window procedure that loads a module.
bool WriteSystemSlots(BYTE* block, const void* dispatch) {
  const BYTE* procs[kSlotCount] = {};
  procs[kSlotGetModuleHandleEx] = SystemProc("kernel32.dll", "GetModuleHandleExW");
  procs[kSlotFreeLibrary] = SystemProc("kernel32.dll", "FreeLibrary");
  procs[kSlotIsWindowUnicode] = SystemProc("user32.dll", "IsWindowUnicode");
#if defined(__x86_64__)
  procs[kSlotGetWindowProcA] = SystemProc("user32.dll", "GetWindowLongPtrA");
  procs[kSlotGetWindowProcW] = SystemProc("user32.dll", "GetWindowLongPtrW");
#else
  procs[kSlotGetWindowProcA] = SystemProc("user32.dll", "GetWindowLongA");
  procs[kSlotGetWindowProcW] = SystemProc("user32.dll", "GetWindowLongW");
#endif
  procs[kSlotCallWindowProcA] = CallWindowProcAddress(false);
  procs[kSlotCallWindowProcW] = CallWindowProcAddress(true);
  procs[kSlotDefWindowProcA] = SystemProc("user32.dll", "DefWindowProcA");
  procs[kSlotDefWindowProcW] = SystemProc("user32.dll", "DefWindowProcW");
  for (size_t slot = kSlotGetModuleHandleEx; slot < kSlotCount; ++slot)
    if (!procs[slot]) return false;
  memcpy(block + SlotOffset(kSlotDispatch), &dispatch, sizeof(dispatch));
  for (size_t slot = kSlotGetModuleHandleEx; slot < kSlotCount; ++slot)
    memcpy(block + SlotOffset(static_cast<TBlockSlot>(slot)), &procs[slot], sizeof(void*));
  return true;
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
static_assert(kWndProcThunksPerBlock == 301, "301 entries fit a block");
static_assert(kWndProcThunkFirstOffset + 300 * kWndProcThunkEntrySize + kWndProcThunkEntrySize <= 4092,
              "the last entry ends within the first 4092 bytes");

// The common entry, as a fastcall function: ECX the method reference, EDX unused, then the
// window procedure's four arguments, which it pops itself.
__attribute__((fastcall, force_align_arg_pointer)) LRESULT CommonEntry(const BYTE* method, void* /*unused*/, HWND wnd,
                                                                       UINT msg, WPARAM wParam, LPARAM lParam) {
  return CallMethod(method, wnd, msg, wParam, lParam);
}

// The block stub, reached by an entry's "call", so the method reference's address lies on the
// stack above the caller's return address. Slots are read relative to the block's start, the
// method's address rounded down to the page.
constexpr size_t kBlockStubOffset = kSlotsSize;
constexpr BYTE kBlockStub[] = {
    0x53,                                // push ebx
    0x8B, 0x5C, 0x24, 0x04,              // mov ebx, [esp+4]           the method reference
    0x81, 0xE3, 0x00, 0xF0, 0xFF, 0xFF,  // and ebx, -4096             its block
    0x6A, 0x00,                          // push 0                     the module
    0x54,                                // push esp                   &module
    0xFF, 0x73, 0x04,                    // push [ebx+dispatch]        an address in this module
    0x6A, 0x04,                          // push FROM_ADDRESS
    0xFF, 0x53, 0x08,                    // call [ebx+GetModuleHandleExW]
    0x85, 0xC0,                          // test eax, eax
    0x74, 0x23,                          // jz bypass
    0x8B, 0x4C, 0x24, 0x08,              // mov ecx, [esp+8]           the method reference
    0xFF, 0x74, 0x24, 0x1C,              // push [esp+28]              lParam
    0xFF, 0x74, 0x24, 0x1C,              // push [esp+28]              wParam
    0xFF, 0x74, 0x24, 0x1C,              // push [esp+28]              msg
    0xFF, 0x74, 0x24, 0x1C,              // push [esp+28]              wnd
    0xFF, 0x53, 0x04,                    // call [ebx+dispatch]
    0x89, 0x44, 0x24, 0x08,              // mov [esp+8], eax           the result
    0xFF, 0x53, 0x0C,                    // call [ebx+FreeLibrary]     pops the module
    0x5B,                                // pop ebx
    0x58,                                // pop eax
    0xC2, 0x10, 0x00,                    // ret 16
    // bypass: the module has gone
    0xFF, 0x74, 0x24, 0x10,  // push [esp+16]              wnd
    0xFF, 0x53, 0x10,        // call [ebx+IsWindowUnicode]
    0xF7, 0xD8,              // neg eax
    0x19, 0xC0,              // sbb eax, eax
    0x83, 0xE0, 0x04,        // and eax, 4
    0x01, 0xC3,              // add ebx, eax               the A or the W of each pair
    0x89, 0x1C, 0x24,        // mov [esp], ebx
    0x6A, 0xFC,              // push GWL_WNDPROC
    0xFF, 0x74, 0x24, 0x14,  // push [esp+20]              wnd
    0xFF, 0x53, 0x14,        // call [ebx+GetWindowLong]
    0x8B, 0x0C, 0x24,        // mov ecx, [esp]
    0x8B, 0x54, 0x24, 0x08,  // mov edx, [esp+8]
    0x83, 0xEA, 0x05,        // sub edx, 5                 the entry itself
    0x39, 0xD0,              // cmp eax, edx
    0x75, 0x03,              // jne 1f
    0x8B, 0x41, 0x24,        // mov eax, [ecx+DefWindowProc]
    0x8B, 0x5C, 0x24, 0x04,  // 1: mov ebx, [esp+4]
    0x8B, 0x54, 0x24, 0x0C,  // mov edx, [esp+12]          the caller's return address
    0x89, 0x44, 0x24, 0x0C,  // mov [esp+12], eax          the procedure, CallWindowProc's first argument
    0x89, 0x54, 0x24, 0x08,  // mov [esp+8], edx
    0x83, 0xC4, 0x08,        // add esp, 8
    0xFF, 0x61, 0x1C,        // jmp [ecx+CallWindowProc]
};
static_assert(SlotOffset(kSlotDispatch) == 0x04 && SlotOffset(kSlotGetModuleHandleEx) == 0x08 &&
                  SlotOffset(kSlotFreeLibrary) == 0x0C && SlotOffset(kSlotIsWindowUnicode) == 0x10 &&
                  SlotOffset(kSlotGetWindowProcA) == 0x14 && SlotOffset(kSlotCallWindowProcA) == 0x1C &&
                  SlotOffset(kSlotDefWindowProcA) == 0x24 && SlotOffset(kSlotGetWindowProcW) == 0x14 + 4,
              "the stub's slot offsets");
static_assert(kWndProcThunkMethodOffset == 5, "the stub finds the entry 5 bytes before its method");
static_assert(kBlockStubOffset + sizeof(kBlockStub) <= kWndProcThunkFirstOffset, "entries follow the stub");

bool WriteBlockStub(BYTE* block) {
  if (!WriteSystemSlots(block, reinterpret_cast<const void*>(&CommonEntry))) return false;
  memcpy(block + kBlockStubOffset, kBlockStub, sizeof(kBlockStub));
  return true;
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

// What the block stub calls: the window procedure's arguments and the method reference (r10 of
// the entry).
extern "C" __attribute__((used)) LRESULT kqWndProcThunkDispatch(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                                                const BYTE* method) {
  return kq::CallMethod(method, wnd, msg, wParam, lParam);
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
constexpr size_t kForwardStubOffset = 88;
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
constexpr size_t kForwardFunctionOffset = 120;
constexpr size_t kForwardUnwindOffset = 132;
constexpr BYTE kUnwindVersion1 = 0x01;
constexpr BYTE kUwopAllocSmall = 2;
static_assert(kForwardStubOffset >= kSlotsSize, "the forwarding stub follows the slots");
static_assert(kForwardFunctionOffset >= kForwardStubOffset + sizeof(kForwardStub), "stub and table do not overlap");
static_assert(kForwardUnwindOffset >= kForwardFunctionOffset + sizeof(RUNTIME_FUNCTION), "table and info apart");

// The block stub every entry jumps to, r10 holding the address of the method reference. Slots
// are read relative to the block's start, the method's address rounded down to the page, kept
// in the frame with the arguments (in the caller's home area), the method, the module and the
// result.
constexpr size_t kBlockStubOffset = 144;
constexpr BYTE kBlockStub[] = {
    0x48, 0x83, 0xEC, 0x48,                                // sub rsp, 72
    0x48, 0x89, 0x4C, 0x24, 0x50,                          // mov [rsp+80], rcx        wnd
    0x48, 0x89, 0x54, 0x24, 0x58,                          // mov [rsp+88], rdx        msg
    0x4C, 0x89, 0x44, 0x24, 0x60,                          // mov [rsp+96], r8         wParam
    0x4C, 0x89, 0x4C, 0x24, 0x68,                          // mov [rsp+104], r9        lParam
    0x4C, 0x89, 0x54, 0x24, 0x38,                          // mov [rsp+56], r10        the method
    0x4C, 0x89, 0xD0,                                      // mov rax, r10
    0x48, 0x25, 0x00, 0xF0, 0xFF, 0xFF,                    // and rax, -4096           its block
    0x48, 0x89, 0x44, 0x24, 0x28,                          // mov [rsp+40], rax
    0x48, 0xC7, 0x44, 0x24, 0x30, 0x00, 0x00, 0x00, 0x00,  // mov qword [rsp+48], 0    the module
    0xB9, 0x04, 0x00, 0x00, 0x00,                          // mov ecx, FROM_ADDRESS
    0x48, 0x8B, 0x50, 0x08,                                // mov rdx, [rax+dispatch]  an address in this module
    0x4C, 0x8D, 0x44, 0x24, 0x30,                          // lea r8, [rsp+48]
    0xFF, 0x50, 0x10,                                      // call [rax+GetModuleHandleExW]
    0x85, 0xC0,                                            // test eax, eax
    0x74, 0x42,                                            // jz bypass
    0x48, 0x8B, 0x4C, 0x24, 0x50,                          // mov rcx, [rsp+80]
    0x48, 0x8B, 0x54, 0x24, 0x58,                          // mov rdx, [rsp+88]
    0x4C, 0x8B, 0x44, 0x24, 0x60,                          // mov r8, [rsp+96]
    0x4C, 0x8B, 0x4C, 0x24, 0x68,                          // mov r9, [rsp+104]
    0x48, 0x8B, 0x44, 0x24, 0x38,                          // mov rax, [rsp+56]
    0x48, 0x89, 0x44, 0x24, 0x20,                          // mov [rsp+32], rax        the method, fifth
    0x48, 0x8B, 0x44, 0x24, 0x28,                          // mov rax, [rsp+40]
    0xFF, 0x50, 0x08,                                      // call [rax+dispatch]
    0x48, 0x89, 0x44, 0x24, 0x40,                          // mov [rsp+64], rax        the result
    0x48, 0x8B, 0x4C, 0x24, 0x30,                          // mov rcx, [rsp+48]
    0x48, 0x8B, 0x44, 0x24, 0x28,                          // mov rax, [rsp+40]
    0xFF, 0x50, 0x18,                                      // call [rax+FreeLibrary]
    0x48, 0x8B, 0x44, 0x24, 0x40,                          // mov rax, [rsp+64]
    0x48, 0x83, 0xC4, 0x48,                                // add rsp, 72
    0xC3,                                                  // ret
    // bypass: the module has gone
    0x48, 0x8B, 0x4C, 0x24, 0x50,              // mov rcx, [rsp+80]
    0x48, 0x8B, 0x44, 0x24, 0x28,              // mov rax, [rsp+40]
    0xFF, 0x50, 0x20,                          // call [rax+IsWindowUnicode]
    0xF7, 0xD8,                                // neg eax
    0x19, 0xC0,                                // sbb eax, eax
    0x83, 0xE0, 0x08,                          // and eax, 8
    0x48, 0x03, 0x44, 0x24, 0x28,              // add rax, [rsp+40]        the A or the W of each pair
    0x48, 0x89, 0x44, 0x24, 0x28,              // mov [rsp+40], rax
    0x48, 0x8B, 0x4C, 0x24, 0x50,              // mov rcx, [rsp+80]
    0x48, 0xC7, 0xC2, 0xFC, 0xFF, 0xFF, 0xFF,  // mov rdx, GWLP_WNDPROC
    0xFF, 0x50, 0x28,                          // call [rax+GetWindowLongPtr]
    0x48, 0x8B, 0x4C, 0x24, 0x38,              // mov rcx, [rsp+56]
    0x48, 0x83, 0xE9, 0x10,                    // sub rcx, 16              the entry itself
    0x48, 0x39, 0xC8,                          // cmp rax, rcx
    0x75, 0x09,                                // jne 1f
    0x48, 0x8B, 0x44, 0x24, 0x28,              // mov rax, [rsp+40]
    0x48, 0x8B, 0x40, 0x48,                    // mov rax, [rax+DefWindowProc]
    0x48, 0x89, 0xC1,                          // 1: mov rcx, rax          the procedure
    0x48, 0x8B, 0x54, 0x24, 0x50,              // mov rdx, [rsp+80]
    0x4C, 0x8B, 0x44, 0x24, 0x58,              // mov r8, [rsp+88]
    0x4C, 0x8B, 0x4C, 0x24, 0x60,              // mov r9, [rsp+96]
    0x48, 0x8B, 0x44, 0x24, 0x68,              // mov rax, [rsp+104]
    0x48, 0x89, 0x44, 0x24, 0x20,              // mov [rsp+32], rax
    0x48, 0x8B, 0x44, 0x24, 0x28,              // mov rax, [rsp+40]
    0xFF, 0x50, 0x38,                          // call [rax+CallWindowProc]
    0x48, 0x83, 0xC4, 0x48,                    // add rsp, 72
    0xC3,                                      // ret
};
static_assert(SlotOffset(kSlotDispatch) == 0x08 && SlotOffset(kSlotGetModuleHandleEx) == 0x10 &&
                  SlotOffset(kSlotFreeLibrary) == 0x18 && SlotOffset(kSlotIsWindowUnicode) == 0x20 &&
                  SlotOffset(kSlotGetWindowProcA) == 0x28 && SlotOffset(kSlotCallWindowProcA) == 0x38 &&
                  SlotOffset(kSlotDefWindowProcA) == 0x48 && SlotOffset(kSlotGetWindowProcW) == 0x28 + 8,
              "the stub's slot offsets");
static_assert(kWndProcThunkMethodOffset == 16, "the stub finds the entry 16 bytes before its method");
constexpr BYTE kBlockStubPrologSize = 4;
constexpr BYTE kBlockStubFrameSize = 72;
constexpr size_t kBlockFunctionOffset = 392;
constexpr size_t kBlockUnwindOffset = 404;
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

bool WriteBlockStub(BYTE* block) {
  if (!WriteSystemSlots(block, reinterpret_cast<const void*>(&kqWndProcThunkDispatch))) return false;
  memcpy(block + kBlockStubOffset, kBlockStub, sizeof(kBlockStub));

  memcpy(block + kForwardStubOffset, kForwardStub, sizeof(kForwardStub));
  WriteUnwind(block, kForwardStubOffset, sizeof(kForwardStub), kForwardFunctionOffset, kForwardUnwindOffset,
              kForwardStubPrologSize, kForwardStubFrameSize);
  WriteUnwind(block, kBlockStubOffset, sizeof(kBlockStub), kBlockFunctionOffset, kBlockUnwindOffset,
              kBlockStubPrologSize, kBlockStubFrameSize);
  ::RtlAddFunctionTable(reinterpret_cast<PRUNTIME_FUNCTION>(block + kForwardFunctionOffset), 1,
                        reinterpret_cast<DWORD64>(block));
  ::RtlAddFunctionTable(reinterpret_cast<PRUNTIME_FUNCTION>(block + kBlockFunctionOffset), 1,
                        reinterpret_cast<DWORD64>(block));
  return true;
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
  if (!WriteBlockStub(block)) {
    ::VirtualFree(block, 0, MEM_RELEASE);
    return false;
  }
  memcpy(block + SlotOffset(kSlotPrevious), &g_LastBlock, sizeof(g_LastBlock));
  g_LastBlock = block;
  ++g_BlockCount;
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
    TLockGuard guard(*g_PoolLock);
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
  TLockGuard guard(*g_PoolLock);
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
  TLockGuard guard(*g_PoolLock);
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
  TLockGuard guard(*g_PoolLock);
  return {g_BlockCount, g_FreeCount, g_ForwarderCount};
}

}  // namespace kq
