// The registry reader against the real registry of the test prefix, with keys and values written
// as the host writes them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/KQRegistry.h"
#include "common/KQText.h"
#include "tests/support/HostRegistry.h"

namespace kq {
namespace {

using test::kTreeKey;
using test::kTreePath;

class RegIniFileTest : public test::HostRegistry {};

TEST_F(RegIniFileTest, SectionsAreTakenFromTheRootOrFromTheOpenKey) {
  WriteNode("Root", {{"FileName", "root file"}});
  WriteNode("Root\\A", {{"FileName", "a file"}, {"", "default of A"}});
  TKQRegIniFile reg(KEY_READ);
  EXPECT_EQ(reg.RootKey(), HKEY_CURRENT_USER);
  EXPECT_EQ(reg.CurrentKey(), nullptr);

  EXPECT_EQ(reg.ReadString(std::string(kTreePath) + "\\Root", "FileName", "d"), "root file");
  EXPECT_EQ(reg.ReadString(std::string(kTreeKey) + "\\Root", "FileName", "d"), "root file");  // no key open: root

  ASSERT_TRUE(reg.OpenKey(std::string(kTreePath) + "\\Root", false));
  EXPECT_EQ(reg.ReadString("A", "FileName", "d"), "a file");
  EXPECT_EQ(reg.ReadString("A", "", "d"), "default of A");
  EXPECT_EQ(reg.ReadString("", "FileName", "d"), "root file");
  EXPECT_EQ(reg.ReadString(kTreeKey, "FileName", "d"), "d");  // relative to the open key: missing
  ASSERT_TRUE(reg.OpenKey("A", false));                       // relative to the key open before
  EXPECT_EQ(reg.ReadString("", "FileName", "d"), "a file");
  EXPECT_FALSE(reg.OpenKey("Missing", false));
  EXPECT_EQ(reg.ReadString("", "FileName", "d"), "a file");  // the open key stays
  reg.CloseKey();
  EXPECT_EQ(reg.CurrentKey(), nullptr);
}

TEST_F(RegIniFileTest, ReadStringGivesDefaultsWholeStringsAndRefusesOtherTypes) {
  const std::string key = std::string(kTreeKey) + "\\Root";
  WriteNode("Root", {{"Empty", ""}, {"Text", "C:\\Path"}});
  test::HostRegistry::WriteDword(key, "Number", 7);
  HKEY raw = nullptr;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_ALL_ACCESS, &raw), ERROR_SUCCESS);
  ::RegSetValueExA(raw, "Expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>("%WINDIR%\\x"), 11);
  ::RegSetValueExA(raw, "Unended", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3);  // no terminator
  ::RegSetValueExA(raw, "Binary", 0, REG_BINARY, reinterpret_cast<const BYTE*>("ab"), 2);
  ::RegCloseKey(raw);

  TKQRegIniFile reg(KEY_READ);
  const std::string section = std::string(kTreePath) + "\\Root";
  EXPECT_EQ(reg.ReadString(section, "Text", "d"), "C:\\Path");
  EXPECT_EQ(reg.ReadString(section, "Empty", "d"), "");
  EXPECT_EQ(reg.ReadString(section, "Missing", "d"), "d");
  EXPECT_EQ(reg.ReadString(section + "\\NoSuchKey", "Text", "d"), "d");
  EXPECT_EQ(reg.ReadString(section, "Expand", "d"), "%WINDIR%\\x");  // as stored
  EXPECT_EQ(reg.ReadString(section, "Unended", "d"), "abc");
  EXPECT_THROW(reg.ReadString(section, "Number", "d"), TKQRegDataTypeError);
  EXPECT_THROW(reg.ReadString(section, "Binary", "d"), TKQRegDataTypeError);
  EXPECT_THROW(reg.ReadBool(section, "Number", false), TKQRegDataTypeError);
}

// Texts of every length around the buffer a value is first read into, stored with and without a
// terminator, come back whole; a long value of another type is refused like a short one.
TEST_F(RegIniFileTest, TextsOfAnyLengthAroundTheFirstReadComeBackWhole) {
  const std::string key = std::string(kTreeKey) + "\\Root";
  test::HostRegistry::WriteKey(key);
  HKEY raw = nullptr;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_ALL_ACCESS, &raw), ERROR_SUCCESS);
  auto name = [](char kind, size_t length) {
    char text[16];
    std::snprintf(text, sizeof(text), "%c%zu", kind, length);
    return std::string(text);
  };
  std::vector<std::string> texts;
  for (size_t length = 500; length <= 540; ++length) {
    std::string text(length, 'a' + static_cast<char>(length % 26));
    texts.push_back(text);
    const std::string ended = name('E', length), unended = name('U', length);
    ::RegSetValueExA(raw, ended.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>(length + 1));
    ::RegSetValueExA(raw, unended.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>(length));
  }
  const std::vector<BYTE> binary(600, 'b');
  ::RegSetValueExA(raw, "LongBinary", 0, REG_BINARY, binary.data(), static_cast<DWORD>(binary.size()));
  ::RegCloseKey(raw);

  TKQRegIniFile reg(KEY_READ);
  const std::string section = std::string(kTreePath) + "\\Root";
  for (const std::string& text : texts) {
    EXPECT_EQ(reg.ReadString(section, name('E', text.size()), "d"), text) << text.size();
    EXPECT_EQ(reg.ReadString(section, name('U', text.size()), "d"), text) << text.size();
  }
  EXPECT_THROW(reg.ReadString(section, "LongBinary", "d"), TKQRegDataTypeError);
}

TEST_F(RegIniFileTest, ReadBoolAndReadIntegerTakeDecimalTexts) {
  WriteNode("Root", {{"One", "1"}, {"Zero", "0"}, {"Minus", "-12"}, {"Word", "yes"}, {"Big", "99999999999"}});
  TKQRegIniFile reg(KEY_READ);
  const std::string section = std::string(kTreePath) + "\\Root";
  EXPECT_TRUE(reg.ReadBool(section, "One", false));
  EXPECT_FALSE(reg.ReadBool(section, "Zero", true));
  EXPECT_TRUE(reg.ReadBool(section, "Minus", false));
  EXPECT_TRUE(reg.ReadBool(section, "Word", true));  // not a number: the default
  EXPECT_FALSE(reg.ReadBool(section, "Word", false));
  EXPECT_TRUE(reg.ReadBool(section, "Missing", true));
  EXPECT_EQ(reg.ReadInteger(section, "Minus", 5), -12);
  EXPECT_EQ(reg.ReadInteger(section, "Big", 5), 5);  // beyond 32 bits
}

TEST_F(RegIniFileTest, WriteStringCreatesTheSectionAndDeleteKeyRemovesTheSubtree) {
  const std::string base = std::string("\\") + test::kScratchKey;
  TKQRegIniFile reg(KEY_ALL_ACCESS);
  reg.WriteString(base + "\\A\\B", "Name", "value");
  reg.WriteString(base + "\\A", "", "default");
  TKQRegIniFile reader(KEY_READ);
  EXPECT_EQ(reader.ReadString(base + "\\A\\B", "Name", "d"), "value");
  EXPECT_EQ(reader.ReadString(base + "\\A", "", "d"), "default");

  ASSERT_TRUE(reader.OpenKey(base, false));
  std::vector<std::string> keys;
  reader.GetKeyNames(keys);
  EXPECT_EQ(keys, std::vector<std::string>{"A"});
  ASSERT_TRUE(reader.OpenKey("A", false));
  std::vector<std::string> values;
  reader.GetValueNames(values);
  EXPECT_EQ(values, std::vector<std::string>{""});
  reader.CloseKey();

  // Read access cannot write.
  EXPECT_THROW(reader.WriteString(base + "\\A", "Other", "x"), TKQRegError);

  EXPECT_TRUE(reg.DeleteKey(base + "\\A"));
  EXPECT_EQ(reader.ReadString(base + "\\A\\B", "Name", "gone"), "gone");
  EXPECT_FALSE(reg.DeleteKey(base + "\\A"));  // nothing left to delete
}

// Key names, value names and texts the ANSI code page cannot spell are written as the Unicode
// REG_SZ strings any other reader of the key finds, and read and listed back exactly.
TEST_F(RegIniFileTest, NamesAndTextsOutsideTheCodePageKeepEveryCharacter) {
  const std::string base = std::string("\\") + test::kScratchKey;
  const std::string key = "Проекты 資料", name = "Имя 名前", text = "C:\\Проекты\\資料";
  TKQRegIniFile reg(KEY_ALL_ACCESS);
  reg.WriteString(base + "\\" + key, name, text);

  wchar_t stored[64] = {};
  DWORD type = 0, bytes = sizeof(stored);
  ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, (ToWide(test::kScratchKey) + L"\\Проекты 資料").c_str(), L"Имя 名前",
                           RRF_RT_ANY, &type, stored, &bytes),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::wstring(stored), L"C:\\Проекты\\資料");
  EXPECT_EQ(bytes, sizeof(L"C:\\Проекты\\資料"));

  EXPECT_EQ(reg.ReadString(base + "\\" + key, name, "d"), text);
  ASSERT_TRUE(reg.OpenKey(base, false));
  std::vector<std::string> names;
  reg.GetKeyNames(names);
  EXPECT_EQ(names, std::vector<std::string>{key});
  ASSERT_TRUE(reg.OpenKey(key, false));
  reg.GetValueNames(names);
  EXPECT_EQ(names, std::vector<std::string>{name});
}

TEST_F(RegIniFileTest, SetRootKeyReadsFromAnotherRoot) {
  TKQRegIniFile reg(KEY_READ);
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  EXPECT_NE(reg.ReadString("\\Software\\Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion", ""), "");
  EXPECT_TRUE(reg.OpenKey("\\Software\\Microsoft", false));
  reg.SetRootKey(HKEY_CURRENT_USER);  // closes the open key
  EXPECT_EQ(reg.CurrentKey(), nullptr);
}

TEST(ParseInteger, AcceptsOnlyDecimalIntegers) {
  int v = 0;
  EXPECT_TRUE(TryParseInteger("258", v));
  EXPECT_EQ(v, 258);
  EXPECT_TRUE(TryParseInteger("-2147483648", v));
  EXPECT_EQ(v, -2147483647 - 1);
  EXPECT_FALSE(TryParseInteger("2147483648", v));
  for (const char* bad : {"", "-", "x", "1x", " 1", "0x10", "1.5"}) EXPECT_FALSE(TryParseInteger(bad, v)) << bad;
}

}  // namespace
}  // namespace kq
