// What the shell-extension tests share: the built LNTRHlp.dll loaded as the system loads an
// in-process server, regsvr32 of the test prefix run on it, snapshots of the registry parts the
// registration touches, real shell data objects, and reading a popup menu back item by item.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <map>
#include <string>
#include <vector>

#include "common/KQScoped.h"
#include "tests/support/MenuItems.h"

namespace kq::test {

using Microsoft::WRL::ComPtr;

inline constexpr char kClsidText[] = "{5E1B7C3A-92D4-4F6E-8A1C-3D7F0B9E2C64}";
inline constexpr char kLibIdText[] = "{C2A94E17-6B3F-4D85-9E02-7A1F5C8B3D90}";
inline constexpr char kApprovedKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

// The x86-64 build of the library, next to the test program.
std::string LibraryPath();

// The DLL loaded with LoadLibrary, and its four COM exports.
class ServerDll {
 public:
  explicit ServerDll(const std::string& path = LibraryPath());
  bool Loaded() const { return module_.get() != nullptr; }
  HMODULE Module() const { return module_.get(); }

  HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const;
  HRESULT CanUnloadNow() const;
  HRESULT RegisterServer() const;
  HRESULT UnregisterServer() const;

 private:
  template <typename Proc>
  Proc Entry(const char* name) const {
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(::GetProcAddress(module_.get(), name)));
  }
  ScopedModule module_;
};

// How long regsvr32 and reg are given to end.
inline constexpr DWORD kRegsvr32TimeoutMs = 30000;

// Runs the system program name (a file of the system folder: "reg.exe", "regsvr32.exe") with
// args, in a process of its own, and answers its exit code, or -1 when it did not start or end in
// time. The system folder of this program's kind unless another is named.
int RunSystemProgram(const std::string& name, const std::vector<std::string>& args,
                     const std::string& systemFolder = {});

// Runs the prefix's regsvr32 on dll (silently; "/u" first to unregister) and answers its exit
// code, or -1 when it did not start or end in time. The regsvr32 of this program's kind unless the
// system folder of another is named (the 32-bit one, for example).
int RunRegsvr32(const std::string& dll, bool unregister, const std::string& systemFolder = {});

// The registry entries below the given keys: "key" for every key, "key|name" = "type:data" for
// every value (names and keys in upper case, so that spelling does not count).
using RegistrySnapshot = std::map<std::string, std::string>;
RegistrySnapshot SnapshotRegistry();
// Entries of after that are new or changed against before, and entries of before that are gone.
std::vector<std::string> AddedEntries(const RegistrySnapshot& before, const RegistrySnapshot& after);
std::vector<std::string> RemovedEntries(const RegistrySnapshot& before, const RegistrySnapshot& after);
// The snapshot's spelling of a key of HKEY_CLASSES_ROOT, or of a value there.
std::string ClassesEntry(const std::string& key);
std::string ClassesValue(const std::string& key, const std::string& name, const std::string& data);
std::string ApprovedEntry();
std::string ApprovedValue(const std::string& data);

// The shell's data object for the given names, all in folder.
ComPtr<IDataObject> ShellDataObject(const std::string& folder, const std::vector<std::string>& names);
// An absolute identifier list for path (freed with the task allocator).
LPITEMIDLIST AbsoluteIDList(const std::string& path);

// The menu as one line of text: items separated by "|", "-" for a separator, "text=id" for a
// command, "text>(...)" for a submenu, "text[grey]" for a disabled item without submenu.
std::string MenuOutline(HMENU menu);

}  // namespace kq::test
