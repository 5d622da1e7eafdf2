#include "common/KQSysCalls.h"

#ifdef LNTR_COUNT_SYSCALLS
namespace kq::sys {

long long g_Counts[kCounterCount] = {};
NextHookEntry g_NextHook = ::CallNextHookEx;
PathObserver g_OnPath = nullptr;

}  // namespace kq::sys
#endif
