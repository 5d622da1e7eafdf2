#include "tests/contextmenu/ServerFixtures.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <algorithm>
#include <cctype>

#include "tests/support/ChildProcess.h"
#include "tests/support/TestPaths.h"

namespace kq::test {
namespace {

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

std::string ValueText(DWORD type, const std::vector<BYTE>& data, DWORD size) {
  std::string text = std::to_string(type);
  text += ':';
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::string s(reinterpret_cast<const char*>(data.data()), size);
    while (!s.empty() && s.back() == '\0') s.pop_back();
    return text + s;
  }
  static const char kHex[] = "0123456789abcdef";
  for (DWORD i = 0; i < size; ++i) {
    text += kHex[data[i] >> 4];
    text += kHex[data[i] & 15];
  }
  return text;
}

void SnapshotKey(HKEY root, const std::string& rootName, const std::string& path, bool recursive,
                 RegistrySnapshot& out) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  std::string name = rootName;
  if (!path.empty()) {
    name += '\\';
    name += path;
  }
  name = Upper(name);
  out[name] = "";
  std::vector<char> valueName(16384);
  std::vector<BYTE> data(65536);
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = static_cast<DWORD>(valueName.size()), type = 0, size = static_cast<DWORD>(data.size());
    if (::RegEnumValueA(key, i, valueName.data(), &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
      break;
    std::string entry = name;
    entry += '|';
    entry += Upper(std::string(valueName.data(), nameLength));
    out[entry] = ValueText(type, data, size);
  }
  std::vector<std::string> children;
  for (DWORD i = 0;; ++i) {
    char child[256] = {};
    DWORD length = sizeof(child);
    if (::RegEnumKeyExA(key, i, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    children.emplace_back(child, length);
  }
  ::RegCloseKey(key);
  for (const std::string& child : children) {
    const std::string childPath = path.empty() ? child : path + "\\" + child;
    if (recursive) {
      SnapshotKey(root, rootName, childPath, true, out);
    } else {
      out[Upper(rootName + "\\" + childPath)] = "";
    }
  }
}

}  // namespace

std::string LibraryPath() { return HelperPath("LNTRHlp.dll"); }

ServerDll::ServerDll(const std::string& path) : module_(::LoadLibraryA(path.c_str())) {}

HRESULT ServerDll::GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const {
  auto entry = Entry<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>("DllGetClassObject");
  return entry ? entry(clsid, riid, ppv) : E_NOTIMPL;
}
HRESULT ServerDll::CanUnloadNow() const {
  auto entry = Entry<HRESULT(WINAPI*)()>("DllCanUnloadNow");
  return entry ? entry() : E_NOTIMPL;
}
HRESULT ServerDll::RegisterServer() const {
  auto entry = Entry<HRESULT(WINAPI*)()>("DllRegisterServer");
  return entry ? entry() : E_NOTIMPL;
}
HRESULT ServerDll::UnregisterServer() const {
  auto entry = Entry<HRESULT(WINAPI*)()>("DllUnregisterServer");
  return entry ? entry() : E_NOTIMPL;
}

int RunSystemProgram(const std::string& name, const std::vector<std::string>& args, const std::string& systemFolder) {
  char system[MAX_PATH] = {};
  ::GetSystemDirectoryA(system, MAX_PATH);
  ChildProcess program;
  if (!program.Start((systemFolder.empty() ? std::string(system) : systemFolder) + "\\" + name, args)) return -1;
  std::optional<DWORD> code = program.WaitForExit(kRegsvr32TimeoutMs);
  return code ? static_cast<int>(*code) : -1;
}

int RunRegsvr32(const std::string& dll, bool unregister, const std::string& systemFolder) {
  std::vector<std::string> args = {"/s"};
  if (unregister) args.push_back("/u");
  args.push_back(dll);
  return RunSystemProgram("regsvr32.exe", args, systemFolder);
}

RegistrySnapshot SnapshotRegistry() {
  RegistrySnapshot snapshot;
  // The top level of the classes (a ProgID would show there), and the parts registration writes.
  SnapshotKey(HKEY_CLASSES_ROOT, "HKCR", "", false, snapshot);
  for (const char* part : {"CLSID", "TypeLib", "Interface", "*", "Folder", "Drive", "Directory"})
    SnapshotKey(HKEY_CLASSES_ROOT, "HKCR", part, true, snapshot);
  SnapshotKey(HKEY_LOCAL_MACHINE, "HKLM", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions", true,
              snapshot);
  return snapshot;
}

std::vector<std::string> AddedEntries(const RegistrySnapshot& before, const RegistrySnapshot& after) {
  std::vector<std::string> added;
  for (const auto& [entry, data] : after) {
    auto it = before.find(entry);
    if (it == before.end() || it->second != data) added.push_back(data.empty() ? entry : entry + "=" + data);
  }
  return added;
}

std::vector<std::string> RemovedEntries(const RegistrySnapshot& before, const RegistrySnapshot& after) {
  std::vector<std::string> removed;
  for (const auto& [entry, data] : before) {
    if (!after.count(entry)) removed.push_back(data.empty() ? entry : entry + "=" + data);
  }
  return removed;
}

std::string ClassesEntry(const std::string& key) { return Upper("HKCR\\" + key); }
std::string ClassesValue(const std::string& key, const std::string& name, const std::string& data) {
  return Upper("HKCR\\" + key) + "|" + Upper(name) + "=1:" + data;
}
std::string ApprovedEntry() { return Upper(std::string("HKLM\\") + kApprovedKeyPath); }
std::string ApprovedValue(const std::string& data) { return ApprovedEntry() + "|" + Upper(kClsidText) + "=1:" + data; }

LPITEMIDLIST AbsoluteIDList(const std::string& path) {
  std::wstring wide(path.begin(), path.end());
  LPITEMIDLIST list = nullptr;
  if (FAILED(::SHParseDisplayName(wide.c_str(), nullptr, &list, 0, nullptr))) return nullptr;
  return list;
}

ComPtr<IDataObject> ShellDataObject(const std::string& folder, const std::vector<std::string>& names) {
  ComPtr<IDataObject> data;
  ComPtr<IShellFolder> desktop;
  if (FAILED(::SHGetDesktopFolder(&desktop))) return data;
  LPITEMIDLIST folderList = AbsoluteIDList(folder);
  if (!folderList) return data;
  ComPtr<IShellFolder> shellFolder;
  HRESULT hr = desktop->BindToObject(folderList, nullptr, IID_PPV_ARGS(&shellFolder));
  ::CoTaskMemFree(folderList);
  if (FAILED(hr)) return data;
  std::vector<LPITEMIDLIST> items;
  for (const std::string& name : names) {
    std::wstring wide(name.begin(), name.end());
    LPITEMIDLIST item = nullptr;
    if (SUCCEEDED(shellFolder->ParseDisplayName(nullptr, nullptr, wide.data(), nullptr, &item, nullptr)))
      items.push_back(item);
  }
  if (items.size() == names.size()) {
    shellFolder->GetUIObjectOf(nullptr, static_cast<UINT>(items.size()), const_cast<LPCITEMIDLIST*>(items.data()),
                               IID_IDataObject, nullptr, reinterpret_cast<void**>(data.GetAddressOf()));
  }
  for (LPITEMIDLIST item : items) ::CoTaskMemFree(item);
  return data;
}

std::string MenuOutline(HMENU menu) {
  std::string outline;
  const int count = ::GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    if (i > 0) outline += "|";
    MenuItem item = ItemAt(menu, static_cast<UINT>(i));
    if (item.Separator()) {
      outline += "-";
      continue;
    }
    outline += item.text;
    if (item.submenu) {
      outline += ">(";
      outline += MenuOutline(item.submenu);
      outline += ')';
    } else if (item.state & MFS_GRAYED) {
      outline += "[grey]";
    } else {
      outline += '=';
      outline += std::to_string(item.id);
    }
  }
  return outline;
}

}  // namespace kq::test
