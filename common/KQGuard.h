// The one way code that runs inside another program performs a step: whatever goes wrong in the
// step (a C++ exception or a hardware fault) ends that step only, and the caller's fallback stands.
#pragma once

#include <type_traits>
#include <utility>

namespace kq {

// Runs step(context); false when the step failed. Never lets anything escape. A failure leaves a
// line in the trace (common/KQTrace.h) when tracing is on.
bool RunGuardedStep(void (*step)(void*), void* context) noexcept;

// Marks, for as long as it lives, a call out of a guarded step into code of the program (a window
// procedure the library passes a message on to): what that code raises is the program's own and
// travels past every guard around the call up to whoever the program set to handle it, as if the
// library were not there. Steps the program's code calls back into are guarded again.
class TForeignCodeScope {
 public:
  TForeignCodeScope() noexcept;
  ~TForeignCodeScope();
  TForeignCodeScope(const TForeignCodeScope&) = delete;
  TForeignCodeScope& operator=(const TForeignCodeScope&) = delete;
};

// Runs step(); on failure nothing more happens. Answers whether the step completed.
template <typename Step>
bool Guard(Step&& step) noexcept {
  using StepType = std::remove_reference_t<Step>;
  return RunGuardedStep([](void* p) { (*static_cast<StepType*>(p))(); },
                        const_cast<void*>(static_cast<const void*>(&step)));
}

// Runs step() and answers its result, or fallback when the step failed.
template <typename Result, typename Step>
Result Guarded(Result fallback, Step&& step) noexcept {
  Result result = fallback;
  if (!Guard([&] { result = step(); })) return fallback;
  return result;
}

}  // namespace kq
