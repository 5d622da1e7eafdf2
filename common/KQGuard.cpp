#include "common/KQGuard.h"

#include <windows.h>

#include <cstdio>
#include <exception>

#include "common/KQTrace.h"
#include "common/KQUtils.h"

// A guarded step runs inside a frame of our own that catches hardware faults (access violations,
// stack overflow, division by zero, ...) as well as C++ exceptions. The frame is written in
// assembly because neither compiler target lets C++ code register a structured exception handler:
// - x86-64: the frame's unwind information names our handler; on a fault the handler unwinds to
//   the frame with RtlUnwindEx and the step answers 0.
// - i686: a registration record on the stack, linked into fs:[0] for the step's duration; on a
//   fault the handler unwinds the records above it with RtlUnwind and then goes on at the frame's
//   epilogue itself, with the stack and the callee-saved registers the frame stored, as a
//   compiler's own __except does. It never hands the fault back to the system to resume: an
//   exception raised as non-continuable cannot be resumed, and the system would raise another.
//   Before the epilogue runs, what the calling convention promises is restored: the direction
//   flag clear and the x87 stack empty, with the control word the step began with.
// The C++ frames between the fault and the guard are left without their destructors (the i686
// DWARF frames are abandoned; on x86-64 the compiler puts no cleanups around calls it knows cannot
// throw), so a guarded step keeps no lock across a call that may fault.
// Only errors (severity bits 11) are caught; informational and warning exceptions such as the one
// OutputDebugString raises pass on to whoever expects them. C++ exceptions are caught by an
// ordinary catch inside the frame. What the program's own code raises while a step has called
// out into it (TForeignCodeScope) is not the step's: the frame lets it pass, and when the program's
// handler unwinds past the frame, the count of such calls goes back to what it was at the frame.

extern "C" {
// Calls fn(arg) inside the frame; answers fn's result, or 0 after a contained fault.
int kq_guard_call(int (*fn)(void*), void* arg);
// The frame's epilogue.
void kq_guard_resume();
}

namespace kq {
namespace {

// The severity bits of an exception code: the headers name their values (ERROR_SEVERITY_*), not
// the field.
constexpr DWORD kSeverityMask = 0xC0000000u;
constexpr DWORD kUnwindFlags = EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND;
// "fault 0x" and eight hexadecimal digits, with room to spare.
constexpr size_t kFaultTextChars = 24;

// How many calls into the program's code the current thread is inside, kept in a thread-local
// slot taken at first use (TlsGetValue takes no lock and allocates nothing).
LONG g_ForeignSlot = static_cast<LONG>(TLS_OUT_OF_INDEXES);

DWORD ForeignSlot() noexcept {
  const LONG slot = g_ForeignSlot;
  if (slot != static_cast<LONG>(TLS_OUT_OF_INDEXES)) return static_cast<DWORD>(slot);
  const DWORD mine = ::TlsAlloc();
  if (mine == TLS_OUT_OF_INDEXES) return TLS_OUT_OF_INDEXES;
  const LONG before =
      ::InterlockedCompareExchange(&g_ForeignSlot, static_cast<LONG>(mine), static_cast<LONG>(TLS_OUT_OF_INDEXES));
  if (before == static_cast<LONG>(TLS_OUT_OF_INDEXES)) return mine;
  ::TlsFree(mine);
  return static_cast<DWORD>(before);
}

UINT_PTR ForeignDepth() noexcept {
  const DWORD slot = ForeignSlot();
  return slot == TLS_OUT_OF_INDEXES ? 0 : reinterpret_cast<UINT_PTR>(::TlsGetValue(slot));
}

void SetForeignDepth(UINT_PTR depth) noexcept {
  const DWORD slot = ForeignSlot();
  if (slot != TLS_OUT_OF_INDEXES) ::TlsSetValue(slot, reinterpret_cast<void*>(depth));
}

// What the frame passes to its step; the handler finds it through the frame.
struct TGuardedCall {
  void (*Step)(void*);
  void* Context;
  UINT_PTR ForeignDepthAtStart;
  const void* CallSite;  // where the step was guarded from, for the trace
  DWORD FaultCode;       // the fault the frame took, 0 for none
};

// Whether the frame of call takes record: an error of its own step, not of the program's code.
// On the way out of an unwind through the frame the count of foreign calls is put back.
bool TakesException(const EXCEPTION_RECORD& record, TGuardedCall& call) {
  if (record.ExceptionFlags & kUnwindFlags) {
    SetForeignDepth(call.ForeignDepthAtStart);
    return false;
  }
  if ((record.ExceptionCode & kSeverityMask) != ERROR_SEVERITY_ERROR) return false;
  if (ForeignDepth() > call.ForeignDepthAtStart) return false;
  call.FaultCode = record.ExceptionCode;
  return true;
}

// The trace's line for a failed step: what failed, where the step was guarded from (an offset
// into the module, which a map of the same build names) and the class of the window served.
void TraceFailedStep(const TGuardedCall& call, const char* failure) noexcept {
  char windowClass[kTracedClassChars];
  ServedWindowClass(windowClass);
  const auto offset = reinterpret_cast<const char*>(call.CallSite) - reinterpret_cast<const char*>(LibraryModule());
  TraceLine("%s in the step guarded at +0x%llx%s%s%s", failure, static_cast<unsigned long long>(offset),
            windowClass[0] ? ", serving a window of class \"" : "", windowClass, windowClass[0] ? "\"" : "");
}

void TraceException(const TGuardedCall& call, const char* message) noexcept {
  char failure[kMaxTraceLine];
  std::snprintf(failure, sizeof(failure), "C++ exception \"%s\"", message);
  TraceFailedStep(call, failure);
}

int CatchingCall(void* p) {
  auto* call = static_cast<TGuardedCall*>(p);
  try {
    call->Step(call->Context);
    return 1;
  } catch (const std::exception& e) {
    if (Tracing()) TraceException(*call, e.what());
    return 0;
  } catch (...) {
    if (Tracing()) TraceException(*call, "(not a std::exception)");
    return 0;
  }
}

}  // namespace
}  // namespace kq

#if defined(__x86_64__)

// The frame keeps its argument (the TGuardedCall) just above the callee's home space, and the x87
// control word of the step's start beside it. The unwind restores the registers of the fault's
// context: kq_guard_landed clears the direction flag and the x87 stack before the epilogue.
constexpr size_t kFrameCallOffset = 32;
extern "C" void kq_guard_landed();

extern "C" EXCEPTION_DISPOSITION kq_guard_handler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                                  DISPATCHER_CONTEXT* dispatcher) {
  auto* call = *reinterpret_cast<kq::TGuardedCall* const*>(static_cast<char*>(frame) + kFrameCallOffset);
  if (!kq::TakesException(*record, *call)) return ExceptionContinueSearch;
  // Does not return: the frame goes on at kq_guard_landed, which answers 0.
  RtlUnwindEx(frame, reinterpret_cast<void*>(&kq_guard_landed), record, nullptr, context, dispatcher->HistoryTable);
  return ExceptionContinueSearch;
}

asm(R"(
  .text
  .globl kq_guard_call
  .globl kq_guard_resume
  .def kq_guard_call; .scl 2; .type 32; .endef
  .seh_proc kq_guard_call
kq_guard_call:
  pushq %rbp
  .seh_pushreg %rbp
  subq $48, %rsp
  .seh_stackalloc 48
  .seh_endprologue
  .seh_handler kq_guard_handler, @except, @unwind
  movq %rdx, 32(%rsp)
  fnstcw 40(%rsp)
  movq %rcx, %rax
  movq %rdx, %rcx
  callq *%rax
  nop
kq_guard_resume:
  addq $48, %rsp
  popq %rbp
  ret
  .seh_endproc
  .globl kq_guard_landed
  .def kq_guard_landed; .scl 2; .type 32; .endef
kq_guard_landed:
  cld
  fninit
  fldcw 40(%rsp)
  xorl %eax, %eax
  jmp kq_guard_resume
)");

#elif defined(__i386__)

extern "C" void kq_guard_unwind(void* frame, EXCEPTION_RECORD* record);
extern "C" [[noreturn]] void kq_guard_land(void* frame);

namespace {
// The registration record kq_guard_call pushes: the two fields the system reads, then ours. The
// frame's own ebp points at the saved ebp of its caller; its argument follows the return address.
struct TGuardRecord {
  TGuardRecord* Previous;
  void* Handler;
  DWORD SavedEbp;
  DWORD FpuControl;  // the x87 control word when the step began (low 16 bits)
};
// kq_guard_call's second argument, above its saved ebp, the return address and the first argument.
constexpr DWORD kFrameArgumentOffset = 12;

kq::TGuardedCall& CallOf(const TGuardRecord& guard) {
  return **reinterpret_cast<kq::TGuardedCall* const*>(guard.SavedEbp + kFrameArgumentOffset);
}
}  // namespace

extern "C" EXCEPTION_DISPOSITION __cdecl kq_guard_handler(EXCEPTION_RECORD* record, void* frame, CONTEXT* /*context*/,
                                                          void* /*dispatcher*/) {
  if (!kq::TakesException(*record, CallOf(*static_cast<TGuardRecord*>(frame)))) return ExceptionContinueSearch;
  kq_guard_unwind(frame, record);  // fs:[0] is our record again
  kq_guard_land(frame);            // goes on at the frame's epilogue with eax = 0
}

// RtlUnwind is called from a stub that keeps every callee-saved register itself and names the
// instruction after the call as the target, so it does not matter whether the system returns or
// continues there. kq_guard_land leaves the system's dispatch for good: it takes the frame's stack
// and registers back and runs the epilogue.
asm(R"(
  .text
  .globl _kq_guard_call
  .globl _kq_guard_resume
  .globl _kq_guard_unwind
  .globl _kq_guard_land
_kq_guard_call:
  pushl %ebp
  movl %esp, %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  subl $4, %esp
  fnstcw (%esp)
  pushl %ebp
  pushl $_kq_guard_handler
  pushl %fs:0
  movl %esp, %fs:0
  pushl 12(%ebp)
  calll *8(%ebp)
  addl $4, %esp
_kq_guard_resume:
  popl %ecx
  movl %ecx, %fs:0
  addl $12, %esp
  popl %edi
  popl %esi
  popl %ebx
  popl %ebp
  ret
_kq_guard_land:
  movl 4(%esp), %esp
  movl 8(%esp), %ebp
  cld
  fninit
  fldcw 12(%esp)
  xorl %eax, %eax
  jmp _kq_guard_resume
_kq_guard_unwind:
  pushl %ebp
  movl %esp, %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  pushl $0
  pushl 12(%ebp)
  pushl $1f
  pushl 8(%ebp)
  calll _RtlUnwind@16
1:
  popl %edi
  popl %esi
  popl %ebx
  popl %ebp
  ret
)");

#else
#error "the guard frame is written for x86 and x86-64"
#endif

namespace kq {

bool RunGuardedStep(void (*step)(void*), void* context) noexcept {
  TGuardedCall call{step, context, ForeignDepth(), __builtin_return_address(0), 0};
  if (kq_guard_call(&CatchingCall, &call) != 0) return true;
  if (call.FaultCode != 0 && Tracing()) {
    char failure[kFaultTextChars];
    std::snprintf(failure, sizeof(failure), "fault 0x%08lX", static_cast<unsigned long>(call.FaultCode));
    TraceFailedStep(call, failure);
  }
  return false;
}

TForeignCodeScope::TForeignCodeScope() noexcept { SetForeignDepth(ForeignDepth() + 1); }

TForeignCodeScope::~TForeignCodeScope() {
  const UINT_PTR depth = ForeignDepth();
  if (depth > 0) SetForeignDepth(depth - 1);
}

}  // namespace kq
