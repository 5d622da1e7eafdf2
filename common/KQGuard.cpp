#include "common/KQGuard.h"

#include <windows.h>

// A guarded step runs inside a frame of our own that catches hardware faults (access violations,
// stack overflow, division by zero, ...) as well as C++ exceptions. The frame is written in
// assembly because neither compiler target lets C++ code register a structured exception handler:
// - x86-64: the frame's unwind information names our handler; on a fault the handler unwinds to
//   the frame with RtlUnwindEx and the step answers 0.
// - i686: a registration record on the stack, linked into fs:[0] for the step's duration; on a
//   fault the handler unwinds the records above it with RtlUnwind and resumes the frame's epilogue
//   with the callee-saved registers it stored.
// The C++ frames between the fault and the guard are left without their destructors (the i686
// DWARF frames are abandoned; on x86-64 the compiler puts no cleanups around calls it knows cannot
// throw), so a guarded step keeps no lock across a call that may fault.
// Only errors (severity bits 11) are caught; informational and warning exceptions such as the one
// OutputDebugString raises pass on to whoever expects them. C++ exceptions are caught by an
// ordinary catch inside the frame.

extern "C" {
// Calls fn(arg) inside the frame; answers fn's result, or 0 after a contained fault.
int kq_guard_call(int (*fn)(void*), void* arg);
// The frame's epilogue, where a contained fault resumes.
void kq_guard_resume();
}

namespace kq {
namespace {

constexpr DWORD kSeverityMask = 0xC0000000u;
constexpr DWORD kSeverityError = 0xC0000000u;
constexpr DWORD kUnwindFlags = EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND;

bool IsContainedFault(const EXCEPTION_RECORD& record) {
  return (record.ExceptionFlags & kUnwindFlags) == 0 && (record.ExceptionCode & kSeverityMask) == kSeverityError;
}

struct GuardedCall {
  void (*step)(void*);
  void* context;
};

int CatchingCall(void* p) {
  auto* call = static_cast<GuardedCall*>(p);
  try {
    call->step(call->context);
    return 1;
  } catch (...) {
    return 0;
  }
}

}  // namespace
}  // namespace kq

#if defined(__x86_64__)

extern "C" EXCEPTION_DISPOSITION kq_guard_handler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                                  DISPATCHER_CONTEXT* dispatcher) {
  if (!kq::IsContainedFault(*record)) return ExceptionContinueSearch;
  // Does not return: the frame resumes at kq_guard_resume with rax = 0.
  RtlUnwindEx(frame, reinterpret_cast<void*>(&kq_guard_resume), record, nullptr, context, dispatcher->HistoryTable);
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
  subq $32, %rsp
  .seh_stackalloc 32
  .seh_endprologue
  .seh_handler kq_guard_handler, @except
  movq %rcx, %rax
  movq %rdx, %rcx
  callq *%rax
  nop
kq_guard_resume:
  addq $32, %rsp
  popq %rbp
  ret
  .seh_endproc
)");

#elif defined(__i386__)

extern "C" void kq_guard_unwind(void* frame, EXCEPTION_RECORD* record);

namespace {
// The registration record kq_guard_call pushes: the two fields the system reads, then ours.
struct GuardRecord {
  GuardRecord* previous;
  void* handler;
  DWORD savedEbp;
};
}  // namespace

extern "C" EXCEPTION_DISPOSITION __cdecl kq_guard_handler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                                          void* /*dispatcher*/) {
  if (!kq::IsContainedFault(*record)) return ExceptionContinueSearch;
  kq_guard_unwind(frame, record);  // fs:[0] is our record again
  auto* guard = static_cast<GuardRecord*>(frame);
  context->Esp = reinterpret_cast<DWORD>(guard);
  context->Ebp = guard->savedEbp;
  context->Eip = reinterpret_cast<DWORD>(&kq_guard_resume);
  context->Eax = 0;
  return ExceptionContinueExecution;
}

// RtlUnwind is called from a stub that keeps every callee-saved register itself and names the
// instruction after the call as the target, so it does not matter whether the system returns or
// continues there.
asm(R"(
  .text
  .globl _kq_guard_call
  .globl _kq_guard_resume
  .globl _kq_guard_unwind
_kq_guard_call:
  pushl %ebp
  movl %esp, %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
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
  addl $8, %esp
  popl %edi
  popl %esi
  popl %ebx
  popl %ebp
  ret
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
  GuardedCall call{step, context};
  return kq_guard_call(&CatchingCall, &call) != 0;
}

}  // namespace kq
