// The one way code that runs inside another program performs a step: whatever goes wrong in the
// step (a C++ exception or a hardware fault) ends that step only, and the caller's fallback stands.
#pragma once

#include <type_traits>
#include <utility>

namespace kq {

// Runs step(context); false when the step failed. Never lets anything escape.
bool RunGuardedStep(void (*step)(void*), void* context) noexcept;

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
