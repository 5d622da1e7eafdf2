// Registry values a test sets under HKEY_CURRENT_USER of its prefix and puts back afterwards.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace kq::test {

// Sets the string value name of key subKey (created if missing) for the owner's lifetime; the
// previous value (of whatever type), or its absence, is restored at the end.
class ScopedRegistryString {
 public:
  ScopedRegistryString(HKEY root, const std::string& subKey, const std::string& name, const std::string& value);
  ~ScopedRegistryString();
  ScopedRegistryString(const ScopedRegistryString&) = delete;
  ScopedRegistryString& operator=(const ScopedRegistryString&) = delete;
  bool Set() const { return set_; }

 private:
  HKEY root_;
  std::string subKey_;
  std::string name_;
  bool set_ = false;
  bool hadValue_ = false;
  DWORD oldType_ = 0;
  std::vector<BYTE> oldData_;
};

// The string value name of root\subKey, or nothing when it is missing or not a string.
std::optional<std::string> ReadRegistryString(HKEY root, const std::string& subKey, const std::string& name);

}  // namespace kq::test
