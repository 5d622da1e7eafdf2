#include "common/KQRegistry.h"

#include <shlwapi.h>

#include <climits>
#include <cstring>

#include "common/KQSysCalls.h"
#include "common/KQUtils.h"

namespace kq {
namespace {

// Names are at most 255 characters for keys and 16,383 for values; in a double-byte code page
// each character may take two bytes.
constexpr DWORD kKeyNameBytes = 2 * 255 + 1;
constexpr DWORD kValueNameBytes = 2 * 16383 + 1;
// The bytes a value is first read into.
constexpr DWORD kFirstReadBytes = 520;
// A value that keeps growing between the size query and the read is given up after this many
// attempts.
constexpr int kMaxReadAttempts = 8;

bool IsStringType(DWORD type) noexcept { return type == REG_SZ || type == REG_EXPAND_SZ; }

// Reads the string value Ident of Key. Missing: false. Another data type: TKQRegDataTypeError.
bool QueryString(HKEY key, const std::string& ident, std::string& result) {
  // Most values (paths, names, numbers) fit the first buffer and take one call; a longer one is
  // read again at the size that first call gave.
  char first[kFirstReadBytes + 1];  // room for a terminator the data lacks
  DWORD type = 0, size = kFirstReadBytes;
  LONG rc = sys::RegQueryValueExA(key, ident.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(first), &size);
  if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) return false;
  if (!IsStringType(type)) throw TKQRegDataTypeError("registry value is not a string: " + ident);
  if (rc == ERROR_SUCCESS) {
    result.assign(first, strnlen(first, size <= kFirstReadBytes ? size : kFirstReadBytes));
    return true;
  }

  std::vector<char> buffer;
  for (int attempt = 0; attempt < kMaxReadAttempts; ++attempt) {
    buffer.assign(static_cast<size_t>(size) + 1, '\0');  // room for a terminator the data lacks
    DWORD got = size;
    rc = sys::RegQueryValueExA(key, ident.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got);
    if (rc == ERROR_MORE_DATA) {
      size = got > size ? got : size * 2 + 64;  // the value grew since the size was asked
      continue;
    }
    if (rc != ERROR_SUCCESS) return false;  // removed in between
    if (!IsStringType(type)) throw TKQRegDataTypeError("registry value is not a string: " + ident);
    const size_t length = got <= size ? got : size;
    result.assign(buffer.data(), strnlen(buffer.data(), length));
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
  LONG rc = canCreate ? sys::RegCreateKeyExA(base, relative.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access_,
                                             nullptr, result.owned.put(), nullptr)
                      : sys::RegOpenKeyExA(base, relative.c_str(), 0, access_, result.owned.put());
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
  ListNames(list, kKeyNameBytes, [](HKEY key, DWORD index, char* name, DWORD* length) {
    return sys::RegEnumKeyExA(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
  });
}

void TKQRegIniFile::GetValueNames(std::vector<std::string>& list) const {
  ListNames(list, kValueNameBytes, [](HKEY key, DWORD index, char* name, DWORD* length) {
    return sys::RegEnumValueA(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
  });
}

void TKQRegIniFile::ListNames(std::vector<std::string>& list, DWORD nameBytes, EnumNameProc enumName) const {
  list.clear();
  HKEY key = current_ ? current_ : root_;
  std::vector<char> name(nameBytes);
  for (DWORD index = 0;; ++index) {
    DWORD length = nameBytes;
    LONG rc = enumName(key, index, name.data(), &length);
    if (rc == ERROR_MORE_DATA) continue;  // longer than any legal name: not one we can open
    if (rc != ERROR_SUCCESS) break;       // ERROR_NO_MORE_ITEMS, or the key went away
    list.emplace_back(name.data(), length < nameBytes ? length : nameBytes - 1);
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
  LONG rc = sys::RegSetValueExA(key.key, ident.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>(value.size() + 1));
  if (rc != ERROR_SUCCESS) throw TKQRegError("registry value could not be written: " + ident);
}

bool TKQRegIniFile::DeleteKey(const std::string& key) {
  std::string relative;
  HKEY base = BaseFor(key, relative);
  if (relative.empty()) return false;  // never the root or the open key itself
  return ::SHDeleteKeyA(base, relative.c_str()) == ERROR_SUCCESS;
}

// ---- TKQRegWatch -------------------------------------------------------------------------------

bool TKQRegWatch::Arm(HKEY root, const std::string& path) noexcept {
  Disarm();
  if (!changed_) changed_.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!changed_) return false;
  ::ResetEvent(changed_.get());
  // Opened afresh each time: the key watched before may have been deleted and made again.
  const std::string relative = TrimPath(path, !path.empty() && path[0] == '\\' ? 1 : 0);
  if (sys::RegOpenKeyExA(root, relative.c_str(), 0, KEY_NOTIFY | KEY_QUERY_VALUE, key_.put()) != ERROR_SUCCESS) {
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
  return ::RegQueryInfoKeyA(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS;
}

void TKQRegWatch::Disarm() noexcept { key_.reset(); }

}  // namespace kq
