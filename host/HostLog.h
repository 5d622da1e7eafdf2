// The stand-in host's log: one line per event, written through to the file at once so that a test
// in another process reads it while the host runs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/KQScoped.h"

namespace lntrhost {

class HostLog {
 public:
  // Creates (or empties) the file; without a path the log writes nothing.
  bool Open(const std::string& path);
  void Line(const std::string& text);

 private:
  kq::ScopedFileHandle file_;
};

// "0x" and lowercase hexadecimal digits.
std::string Hex(uintptr_t value);
inline std::string Hex(HWND wnd) { return Hex(reinterpret_cast<uintptr_t>(wnd)); }

}  // namespace lntrhost
