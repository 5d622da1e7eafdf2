#include "host/HostLog.h"

#include <cstdio>

namespace lntrhost {

bool HostLog::Open(const std::string& path) {
  if (path.empty()) return true;
  file_.reset(::CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(file_);
}

void HostLog::Line(const std::string& text) {
  if (!file_) return;
  std::string line = text + "\n";
  DWORD written = 0;
  ::WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

std::string Hex(uintptr_t value) {
  char text[24];
  std::snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

}  // namespace lntrhost
