#include "common/KQWorker.h"

#include <windows.h>

#include <memory>
#include <new>
#include <utility>

#include "common/KQGuard.h"
#include "common/KQScoped.h"
#include "common/KQUtils.h"

namespace kq {
namespace {

struct TWork {
  std::function<void()> work;
  HMODULE module = nullptr;  // the worker's reference on the library's module
};

// Does the work, frees it, and lets go of the module in the same call that ends the thread.
DWORD WINAPI RunWork(void* parameter) {
  auto* work = static_cast<TWork*>(parameter);
  const HMODULE module = work->module;
  Guard([&] { work->work(); });
  Guard([&] { delete work; });
  ::FreeLibraryAndExitThread(module, 0);
  return 0;
}

}  // namespace

bool RunOnWorker(std::function<void()> work) noexcept {
  return Guarded(false, [&] {
    std::unique_ptr<TWork> owned(new (std::nothrow) TWork);
    if (!owned) return false;
    owned->work = std::move(work);
    // In a program that links the library, the module is the program.
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(LibraryModule()),
                              &owned->module))
      return false;
    const HMODULE module = owned->module;
    ScopedHandle worker(::CreateThread(nullptr, 0, RunWork, owned.get(), 0, nullptr));
    if (!worker) {
      ::FreeLibrary(module);
      return false;
    }
    (void)owned.release();  // the worker's now
    return true;
  });
}

}  // namespace kq
