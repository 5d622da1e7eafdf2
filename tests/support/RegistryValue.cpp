#include "tests/support/RegistryValue.h"

#include "common/KQScoped.h"

namespace kq::test {

ScopedRegistryString::ScopedRegistryString(HKEY root, const std::string& subKey, const std::string& name,
                                           const std::string& value)
    : root_(root), subKey_(subKey), name_(name) {
  Replace(REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(value.size() + 1));
}

ScopedRegistryString::ScopedRegistryString(HKEY root, const std::string& subKey, const std::string& name, DWORD value)
    : root_(root), subKey_(subKey), name_(name) {
  Replace(REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

void ScopedRegistryString::Replace(DWORD type, const BYTE* data, DWORD size) {
  ScopedKey key;
  if (::RegCreateKeyExA(root_, subKey_.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
    return;
  DWORD oldSize = 0;
  if (::RegQueryValueExA(key.get(), name_.c_str(), nullptr, &oldType_, nullptr, &oldSize) == ERROR_SUCCESS) {
    oldData_.resize(oldSize);
    hadValue_ =
        ::RegQueryValueExA(key.get(), name_.c_str(), nullptr, &oldType_, oldData_.data(), &oldSize) == ERROR_SUCCESS;
    oldData_.resize(oldSize);
  }
  set_ = ::RegSetValueExA(key.get(), name_.c_str(), 0, type, data, size) == ERROR_SUCCESS;
}

ScopedRegistryString::~ScopedRegistryString() {
  if (!set_) return;
  ScopedKey key;
  if (::RegOpenKeyExA(root_, subKey_.c_str(), 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
  if (hadValue_) {
    ::RegSetValueExA(key.get(), name_.c_str(), 0, oldType_, oldData_.data(), static_cast<DWORD>(oldData_.size()));
  } else {
    ::RegDeleteValueA(key.get(), name_.c_str());
  }
}

std::optional<std::string> ReadRegistryString(HKEY root, const std::string& subKey, const std::string& name) {
  ScopedKey key;
  if (::RegOpenKeyExA(root, subKey.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return std::nullopt;
  DWORD type = 0, size = 0;
  if (::RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return std::nullopt;
  std::string value(size, '\0');
  if (::RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  value.resize(size);
  while (!value.empty() && value.back() == '\0') value.pop_back();
  return value;
}

}  // namespace kq::test
