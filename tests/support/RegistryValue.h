// Registry values a test sets under HKEY_CURRENT_USER of its prefix and puts back afterwards.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace kq::test {

// The host's key below HKEY_CURRENT_USER, where its settings live, and its bookmark tree and
// folder history below it.
inline constexpr char kHostKey[] = "Software\\Quillonworks\\Lanterna";
inline constexpr char kTreeKey[] = "Software\\Quillonworks\\Lanterna\\KQVTree";
inline constexpr char kHistoryKey[] = "Software\\Quillonworks\\Lanterna\\LNTRHistory";
// The same keys as the library is given them (absolute, from the root key).
inline constexpr char kTreePath[] = "\\Software\\Quillonworks\\Lanterna\\KQVTree";
inline constexpr char kHistoryPath[] = "\\Software\\Quillonworks\\Lanterna\\LNTRHistory";
// A key of the tests' own beside the host's, removed with the host's tree.
inline constexpr char kScratchKey[] = "Software\\Quillonworks\\LanternaTest";

// Sets the string (or DWORD) value name of key subKey (created if missing) for the owner's
// lifetime; the previous value (of whatever type), or its absence, is restored at the end.
class ScopedRegistryString {
 public:
  ScopedRegistryString(HKEY root, const std::string& subKey, const std::string& name, const std::string& value);
  ScopedRegistryString(HKEY root, const std::string& subKey, const std::string& name, DWORD value);
  ~ScopedRegistryString();
  ScopedRegistryString(const ScopedRegistryString&) = delete;
  ScopedRegistryString& operator=(const ScopedRegistryString&) = delete;
  bool Set() const { return set_; }

 private:
  void Replace(DWORD type, const BYTE* data, DWORD size);
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
