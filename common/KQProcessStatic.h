// Objects of the library that live as long as it is loaded and whose destructors must not run at
// process exit. The static runtime of a DLL runs the destructors of namespace-scope objects at
// every process detach, also when the process is ending: then other threads are already gone
// (perhaps inside one of our locks) and the windows die with the process, so the library runs
// nothing. Such objects are held here instead; the shut-down of an unload (FreeLibrary) empties
// them explicitly.
#pragma once

#include <new>
#include <utility>

namespace kq {

template <typename T>
class ProcessStatic {
 public:
  template <typename... Args>
  explicit ProcessStatic(Args&&... args) {
    ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
  }
  ProcessStatic(const ProcessStatic&) = delete;
  ProcessStatic& operator=(const ProcessStatic&) = delete;

  T& get() noexcept { return *std::launder(reinterpret_cast<T*>(storage_)); }
  T& operator*() noexcept { return get(); }
  T* operator->() noexcept { return &get(); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace kq
