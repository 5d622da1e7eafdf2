#include "common/KQRegistry.h"

#include <shlwapi.h>

#include <climits>
#include <cwchar>

#include "common/KQSysCalls.h"
#include "common/KQText.h"
#include "common/KQUtils.h"

namespace kq {
namespace {

constexpr DWORD kMaxValueNameChars = 16383;
// The characters a value is first read into.
constexpr DWORD kFirstReadChars = 520;
// A value that keeps growing between the size query and the read is given up after this many
// attempts.
constexpr int kMaxReadAttempts = 8;

bool IsStringType(DWORD type) noexcept { return type == REG_SZ || type == REG_EXPAND_SZ; }

// The text of Bytes bytes of string data read into Chars: up to its first terminator, or whole
// when it has none; an odd last byte is no character.
std::string StoredText(const wchar_t* chars, DWORD bytes) {
  return ToUtf8(std::wstring_view(chars, wcsnlen(chars, bytes / sizeof(wchar_t))));
}

// Reads the string value Ident of Key. Missing: false. Another data type: TKQRegDataTypeError.
bool QueryString(HKEY key, const std::string& ident, std::string& result) {
  const std::wstring name = ToWide(ident);
  // Most values (paths, names, numbers) fit the first buffer and take one call; a longer one is
  // read again at the size that first call gave.
  wchar_t first[kFirstReadChars + 1];  // room for a terminator the data lacks
  constexpr DWORD kFirstReadBytes = kFirstReadChars * sizeof(wchar_t);
  DWORD type = 0, size = kFirstReadBytes;
  LONG rc = sys::RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(first), &size);
  if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) return false;
  if (!IsStringType(type)) throw TKQRegDataTypeError("registry value is not a string: " + ident);
  if (rc == ERROR_SUCCESS) {
    result = StoredText(first, size <= kFirstReadBytes ? size : kFirstReadBytes);
    return true;
  }

  std::vector<wchar_t> buffer;
  for (int attempt = 0; attempt < kMaxReadAttempts; ++attempt) {
    // Room for a terminator the data lacks.
    buffer.assign(static_cast<size_t>(size) / sizeof(wchar_t) + 1, L'\0');
    DWORD got = size;
    rc = sys::RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got);
    if (rc == ERROR_MORE_DATA) {
      size = got > size ? got : size * 2 + 64;  // the value grew since the size was asked
      continue;
    }
    if (rc != ERROR_SUCCESS) return false;  // removed in between
    if (!IsStringType(type)) throw TKQRegDataTypeError("registry value is not a string: " + ident);
    result = StoredText(buffer.data(), got <= size ? got : size);
    return true;
  }
  throw TKQRegError("registry value could not be read: " + ident);
}

// Strips the one leading backslash that marks a path as absolute, and trailing backslashes.
std::string TrimPath(const std::string& path, size_t from) {
  size_t end = path.size();
  while (end > from && path[end - 1] == '\\') --end;
  return path.substr(from, end - from);
}

}  // namespace

std::string ProductKeyPath() { return JoinPath(kCompanyKey, kProductName); }

bool TryParseInteger(const std::string& text, int& value) noexcept {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long long n = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    n = n * 10 + (text[i] - '0');
    if (n > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) n = -n;
  if (n > INT_MAX || n < INT_MIN) return false;
  value = static_cast<int>(n);
  return true;
}

void TKQRegIniFile::SetRootKey(HKEY root) noexcept {
  CloseKey();
  root_ = root;
}

HKEY TKQRegIniFile::BaseFor(const std::string& section, std::string& relative) const {
  if (!section.empty() && section[0] == '\\') {
    relative = TrimPath(section, 1);
    return root_;
  }
  relative = TrimPath(section, 0);
  return current_ ? current_ : root_;
}

TKQRegIniFile::SectionKey TKQRegIniFile::OpenSection(const std::string& section, bool canCreate) const {
  SectionKey result;
  std::string relative;
  HKEY base = BaseFor(section, relative);
  if (relative.empty()) {
    result.key = base;
    return result;
  }
  const std::wstring name = ToWide(relative);
  LONG rc = canCreate ? sys::RegCreateKeyExW(base, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access_, nullptr,
                                             result.owned.put(), nullptr)
                      : sys::RegOpenKeyExW(base, name.c_str(), 0, access_, result.owned.put());
  if (rc != ERROR_SUCCESS) {
    (void)result.owned.release();  // the failed call may have left anything in the handle
    return result;
  }
  result.key = result.owned.get();
  return result;
}

bool TKQRegIniFile::OpenKey(const std::string& path, bool canCreate) {
  SectionKey opened = OpenSection(path, canCreate);
  if (!opened.key) return false;
  if (!opened.owned && opened.key == current_) return true;  // the open key itself
  CloseKey();
  current_ = opened.key;
  openOwned_ = std::move(opened.owned);
  return true;
}

void TKQRegIniFile::CloseKey() noexcept {
  openOwned_.reset();
  current_ = nullptr;
}

void TKQRegIniFile::GetKeyNames(std::vector<std::string>& list) const {
  ListNames(list, kMaxKeyNameChars, [](HKEY key, DWORD index, wchar_t* name, DWORD* length) {
    return sys::RegEnumKeyExW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
  });
}

void TKQRegIniFile::GetValueNames(std::vector<std::string>& list) const {
  ListNames(list, kMaxValueNameChars, [](HKEY key, DWORD index, wchar_t* name, DWORD* length) {
    return sys::RegEnumValueW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
  });
}

void TKQRegIniFile::ListNames(std::vector<std::string>& list, DWORD maxNameChars, EnumNameProc enumName) const {
  list.clear();
  HKEY key = current_ ? current_ : root_;
  const DWORD bufferChars = maxNameChars + 1;  // with the terminator
  std::vector<wchar_t> name(bufferChars);
  for (DWORD index = 0;; ++index) {
    DWORD length = bufferChars;
    LONG rc = enumName(key, index, name.data(), &length);
    if (rc == ERROR_MORE_DATA) continue;  // longer than any legal name: not one we can open
    if (rc != ERROR_SUCCESS) break;       // ERROR_NO_MORE_ITEMS, or the key went away
    list.push_back(ToUtf8(std::wstring_view(name.data(), length <= maxNameChars ? length : maxNameChars)));
  }
}

std::string TKQRegIniFile::ReadString(const std::string& section, const std::string& ident,
                                      const std::string& defaultValue) const {
  SectionKey key = OpenSection(section, false);
  if (!key.key) return defaultValue;
  std::string value;
  return QueryString(key.key, ident, value) ? value : defaultValue;
}

int TKQRegIniFile::ReadInteger(const std::string& section, const std::string& ident, int defaultValue) const {
  SectionKey key = OpenSection(section, false);
  std::string text;
  int value = defaultValue;
  if (key.key && QueryString(key.key, ident, text) && TryParseInteger(text, value)) return value;
  return defaultValue;
}

bool TKQRegIniFile::ReadBool(const std::string& section, const std::string& ident, bool defaultValue) const {
  return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TKQRegIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value) {
  SectionKey key = OpenSection(section, true);
  if (!key.key) throw TKQRegError("registry key could not be created: " + section);
  const std::wstring name = ToWide(ident), data = ToWide(value);
  LONG rc = sys::RegSetValueExW(key.key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  if (rc != ERROR_SUCCESS) throw TKQRegError("registry value could not be written: " + ident);
}

bool TKQRegIniFile::DeleteKey(const std::string& key) {
  std::string relative;
  HKEY base = BaseFor(key, relative);
  if (relative.empty()) return false;  // never the root or the open key itself
  return ::SHDeleteKeyW(base, ToWide(relative).c_str()) == ERROR_SUCCESS;
}

// ---- TKQRegWatch -------------------------------------------------------------------------------

bool TKQRegWatch::Arm(HKEY root, const std::string& path) noexcept {
  Disarm();
  if (!changed_) changed_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!changed_) return false;
  ::ResetEvent(changed_.get());
  // Opened afresh each time: the key watched before may have been deleted and made again.
  const std::wstring relative = ToWide(TrimPath(path, !path.empty() && path[0] == '\\' ? 1 : 0));
  if (sys::RegOpenKeyExW(root, relative.c_str(), 0, KEY_NOTIFY | KEY_QUERY_VALUE, key_.put()) != ERROR_SUCCESS) {
    (void)key_.release();  // the failed call may have left anything in the handle
    return false;
  }
  constexpr DWORD kChanges = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
  // Without the thread-agnostic flag (systems before it) the watch ends with the thread that
  // armed it, and the system signals the event then: the next question reloads, nothing is missed.
  LONG rc = ::RegNotifyChangeKeyValue(key_.get(), TRUE, kChanges | REG_NOTIFY_THREAD_AGNOSTIC, changed_.get(), TRUE);
  if (rc == ERROR_INVALID_PARAMETER) rc = ::RegNotifyChangeKeyValue(key_.get(), TRUE, kChanges, changed_.get(), TRUE);
  if (rc != ERROR_SUCCESS) {
    Disarm();
    return false;
  }
  return true;
}

bool TKQRegWatch::Unchanged() const noexcept {
  if (!key_ || ::WaitForSingleObject(changed_.get(), 0) != WAIT_TIMEOUT) return false;
  // Whether deleting the watched key itself signals is nowhere promised; its handle then answers
  // no question, which tells all the same.
  return ::RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS;
}

void TKQRegWatch::Disarm() noexcept { key_.reset(); }

}  // namespace kq
