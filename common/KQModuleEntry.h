// Entries resolved at run time: of system modules the library calls only where the system has them
// (or that it must not import), and the host's entries of the library. Each is resolved once, by
// the start-up of the unit that calls it, and is null where the module or the entry is missing;
// callers test it before each call.
#pragma once

#include <windows.h>

namespace kq {

// The entry name of module (an ordinal through MAKEINTRESOURCEA) as a Proc; null when module is
// null or has no such entry.
template <typename Proc>
Proc ModuleEntry(HMODULE module, const char* name) noexcept {
  if (!module) return nullptr;
  return reinterpret_cast<Proc>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace kq
