#include "common/KQGuard.h"

#include <windows.h>

namespace kq {

bool RunGuardedStep(void (*step)(void*), void* context) noexcept {
  try {
    step(context);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace kq
