// Registry access with ini-file style operations. A section is a key path: one that begins with
// "\" is taken from the root key, any other from the open key (from the root key when none is
// open). An ident is a value name; the empty ident is the key's default value. Values read and
// written are strings. Paths, names and values are UTF-8 here and Unicode in the registry.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "common/KQScoped.h"

namespace kq {

// A registry operation that could not be carried out (a key not created, a value not written or
// not read).
class TKQRegError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A value that exists but holds data of another type than a string.
class TKQRegDataTypeError : public TKQRegError {
 public:
  using TKQRegError::TKQRegError;
};

// The longest key name the registry allows, in characters (value names may have 16,383); the
// system headers name neither limit.
constexpr DWORD kMaxKeyNameChars = 255;

// The host's key below HKEY_CURRENT_USER, holding the user's settings, the bookmark tree and the
// folder history: kCompanyKey joined with kProductName (\Software\Quillonworks\Lanterna).
constexpr char kCompanyKey[] = "\\Software\\Quillonworks\\";
constexpr char kProductName[] = "Lanterna";
std::string ProductKeyPath();

// The decimal integer Text holds (an optional sign, then digits, within 32 bits); false for
// anything else, an empty text included.
bool TryParseInteger(const std::string& text, int& value) noexcept;

class TKQRegIniFile {
 public:
  // Root key HKEY_CURRENT_USER; every key is opened or created with Access.
  explicit TKQRegIniFile(REGSAM access) noexcept : access_(access) {}

  TKQRegIniFile(const TKQRegIniFile&) = delete;
  TKQRegIniFile& operator=(const TKQRegIniFile&) = delete;

  HKEY RootKey() const noexcept { return root_; }
  // Closes the open key and takes Root (a predefined key such as HKEY_CLASSES_ROOT) as the root.
  void SetRootKey(HKEY root) noexcept;
  // The open key, or null when none is open.
  HKEY CurrentKey() const noexcept { return current_; }

  // Makes Path the open key, creating it when CanCreate; false when it cannot be opened (the key
  // open before then stays open).
  bool OpenKey(const std::string& path, bool canCreate);
  void CloseKey() noexcept;

  // The subkey names and the value names of the open key (of the root key when none is open),
  // in enumeration order. List is replaced.
  void GetKeyNames(std::vector<std::string>& list) const;
  void GetValueNames(std::vector<std::string>& list) const;

  // Default when the section or the value is missing; the whole string otherwise (REG_SZ, or
  // REG_EXPAND_SZ as stored, unexpanded). Throws TKQRegDataTypeError for data of another type.
  std::string ReadString(const std::string& section, const std::string& ident, const std::string& defaultValue) const;
  // The value read as a string and taken as a decimal integer; Default when missing or not a
  // number. Throws TKQRegDataTypeError as ReadString does.
  int ReadInteger(const std::string& section, const std::string& ident, int defaultValue) const;
  // ReadInteger, true when not 0.
  bool ReadBool(const std::string& section, const std::string& ident, bool defaultValue) const;
  // Creates Section when missing and writes Value as REG_SZ. Throws TKQRegError on failure.
  void WriteString(const std::string& section, const std::string& ident, const std::string& value);
  // Deletes Key with all its subkeys; false when it could not be deleted (or did not exist).
  bool DeleteKey(const std::string& key);

 private:
  // A key a section names: either a key opened for this use, or the root or open key itself.
  struct SectionKey {
    ScopedKey owned;
    HKEY key = nullptr;
  };

  // Lists the names enumName gives for the open key (the root key when none is open), each at
  // most maxNameChars characters long (without its terminator).
  using EnumNameProc = LONG (*)(HKEY key, DWORD index, wchar_t* name, DWORD* length);
  void ListNames(std::vector<std::string>& list, DWORD maxNameChars, EnumNameProc enumName) const;
  // The key a section is taken from, and the section's path relative to it.
  HKEY BaseFor(const std::string& section, std::string& relative) const;
  // Opens Section: a null key when missing (or when it cannot be opened with Access).
  SectionKey OpenSection(const std::string& section, bool canCreate) const;

  HKEY root_ = HKEY_CURRENT_USER;
  REGSAM access_;
  ScopedKey openOwned_;     // the open key when this object opened it
  HKEY current_ = nullptr;  // the open key (openOwned_, or the root key itself)
};

// Tells whether anything below a key has changed since the watch was armed: a value set or
// deleted, a subkey created or deleted at any depth, the key itself deleted. The system signals
// the change (the registry's change notification); asking costs no reading of what lies below.
class TKQRegWatch {
 public:
  TKQRegWatch() = default;
  TKQRegWatch(const TKQRegWatch&) = delete;
  TKQRegWatch& operator=(const TKQRegWatch&) = delete;

  // Watches Path (an absolute path below Root) from now on; false, and nothing watched, when the
  // key is missing or cannot be watched. A watch armed before is given up.
  bool Arm(HKEY root, const std::string& path) noexcept;
  // True while armed and nothing has changed since.
  bool Unchanged() const noexcept;
  void Disarm() noexcept;

 private:
  ScopedKey key_;
  ScopedHandle changed_;  // the event the system signals, made once
};

}  // namespace kq
