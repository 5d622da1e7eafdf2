// Work done off the caller's thread: a thread of its own that holds a reference on the library's
// module until it has ended, so that no code of the library runs after the library is unloaded.
#pragma once

#include <functional>

namespace kq {

// Runs work on a new thread; what goes wrong in it ends the work only. False, and work not run,
// when no thread could start.
bool RunOnWorker(std::function<void()> work) noexcept;

}  // namespace kq
