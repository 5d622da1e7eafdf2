// Writing the bookmark tree and the folder history the way the host does, with the plain registry
// functions, under HKEY_CURRENT_USER of the test prefix; each case starts and ends without them.
// Key names, value names and texts are given in UTF-8 and written through the wide functions, so
// that any name is stored exactly.
#pragma once

#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "common/KQText.h"
#include "tests/support/RegistryValue.h"

namespace kq::test {

class HostRegistry : public testing::Test {
 protected:
  void SetUp() override { Remove(); }
  void TearDown() override { Remove(); }

 public:
  static void Remove() {
    ::SHDeleteKeyA(HKEY_CURRENT_USER, kTreeKey);
    ::SHDeleteKeyA(HKEY_CURRENT_USER, kHistoryKey);
    ::SHDeleteKeyA(HKEY_CURRENT_USER, kScratchKey);
  }

  // Creates the key Path below HKEY_CURRENT_USER and writes the string values.
  static void WriteKey(const std::string& path, const std::vector<std::pair<std::string, std::string>>& values = {}) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, ToWide(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                nullptr),
              ERROR_SUCCESS)
        << path;
    for (const auto& [name, data] : values) {
      const std::wstring text = ToWide(data);
      EXPECT_EQ(::RegSetValueExW(key, ToWide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
                ERROR_SUCCESS)
          << name;
    }
    ::RegCloseKey(key);
  }

  // A node key below KQVTree ("Root\\A"), with string values.
  static void WriteNode(const std::string& relative,
                        const std::vector<std::pair<std::string, std::string>>& values = {}) {
    WriteKey(std::string(kTreeKey) + "\\" + relative, values);
  }

  static void WriteDword(const std::string& path, const std::string& name, DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(::RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
  }

  // The value names of Path in the order the registry enumerates them.
  static std::vector<std::string> EnumeratedValues(const std::string& path) {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    std::vector<char> name(32768);
    for (DWORD i = 0;; ++i) {
      DWORD length = static_cast<DWORD>(name.size());
      if (::RegEnumValueA(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      names.emplace_back(name.data(), length);
    }
    ::RegCloseKey(key);
    return names;
  }
};

}  // namespace kq::test
