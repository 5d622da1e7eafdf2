// The library as an in-process server of the test prefix: what regsvr32 and the exports write
// into and remove from the registry, the type library's registration, the class object, and the
// server's unload answer while objects live.
#include <gtest/gtest.h>
#include <objbase.h>
#include <oleauto.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lib/KQComServer.h"
#include "tests/contextmenu/ServerFixtures.h"
#include "tests/support/RegistryValue.h"
#include "tests/support/TestPaths.h"

namespace kq::test {
namespace {

constexpr CLSID kClsid = {0x5E1B7C3A, 0x92D4, 0x4F6E, {0x8A, 0x1C, 0x3D, 0x7F, 0x0B, 0x9E, 0x2C, 0x64}};
constexpr GUID kLibId = {0xC2A94E17, 0x6B3F, 0x4D85, {0x9E, 0x02, 0x7A, 0x1F, 0x5C, 0x8B, 0x3D, 0x90}};
// The type library's locale (0x409).
constexpr LCID kLibLocale = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);
constexpr char kApprovedText[] = "Lanterna Context Menu Shell Extension";
constexpr const char* kHandlerParents[] = {
    "*\\shellex\\ContextMenuHandlers",
    "Folder\\shellex\\ContextMenuHandlers",
    "Drive\\shellex\\ContextMenuHandlers",
    "Directory\\shellex\\ContextMenuHandlers",
    "Directory\\Background\\shellex\\ContextMenuHandlers",
};

std::string ClassKey() { return std::string("CLSID\\") + kClsidText; }
std::string ServerKey() { return ClassKey() + "\\InprocServer32"; }
std::string TypeLibKey() { return std::string("TypeLib\\") + kLibIdText; }

// The kind of system the module's own type library is built for, as the system reads it; the
// registration files the library's path under that kind's key.
SYSKIND ModuleTypeLibKind() {
  const std::string library = LibraryPath();
  std::wstring path(library.size() + 1, L'\0');
  path.resize(::MultiByteToWideChar(CP_ACP, 0, library.c_str(), -1, path.data(), static_cast<int>(path.size())));
  ITypeLib* typeLib = nullptr;
  SYSKIND kind = SYS_WIN16;
  if (SUCCEEDED(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &typeLib))) {
    TLIBATTR* attr = nullptr;
    if (SUCCEEDED(typeLib->GetLibAttr(&attr))) {
      kind = attr->syskind;
      typeLib->ReleaseTLibAttr(attr);
    }
    typeLib->Release();
  }
  return kind;
}

std::string TypeLibPathKey() {
  return TypeLibKey() + "\\1.0\\409\\" + (ModuleTypeLibKind() == SYS_WIN64 ? "win64" : "win32");
}

bool Starts(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

bool TypeLibRegistered() {
  ITypeLib* typeLib = nullptr;
  const HRESULT hr = ::LoadRegTypeLib(kLibId, 1, 0, kLibLocale, &typeLib);
  if (typeLib) typeLib->Release();
  return SUCCEEDED(hr);
}

std::string ModulePath(HMODULE module) {
  char path[MAX_PATH] = {};
  return std::string(path, ::GetModuleFileNameA(module, path, MAX_PATH));
}

// Each case starts from a prefix where the library is not registered and the approval value is
// absent, and leaves it so.
class Registration : public testing::Test {
 protected:
  static void SetUpTestSuite() { ::CoInitialize(nullptr); }
  static void TearDownTestSuite() { ::CoUninitialize(); }
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }

  static void Clean() {
    RunRegsvr32(LibraryPath(), true);
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kApprovedKeyPath, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
      ::RegDeleteValueA(key, kClsidText);
      ::RegCloseKey(key);
    }
  }

  // What one registration of the module named `registered` adds, the type library aside.
  static std::vector<std::string> ExpectedEntries(const std::string& registered) {
    std::vector<std::string> expected = {
        ClassesEntry(ClassKey()),
        ClassesValue(ClassKey(), "", "KQ Vantor"),
        ClassesEntry(ServerKey()),
        ClassesValue(ServerKey(), "", registered),
        ClassesValue(ServerKey(), "ThreadingModel", "Apartment"),
        ApprovedValue(kApprovedText),
    };
    for (const char* parent : kHandlerParents) {
      const std::string key = std::string(parent) + "\\Lanterna";
      expected.push_back(ClassesEntry(key));
      expected.push_back(ClassesValue(key, "", kClsidText));
    }
    std::sort(expected.begin(), expected.end());
    return expected;
  }

  // The added entries, split into the type library's and the others; the handler parents that
  // registration had to create are left out of the others (they stay, as empty keys).
  static std::vector<std::string> OtherEntries(const std::vector<std::string>& added,
                                               std::vector<std::string>* typeLib = nullptr) {
    std::vector<std::string> others;
    for (const std::string& entry : added) {
      if (Starts(entry, ClassesEntry(TypeLibKey()))) {
        if (typeLib) typeLib->push_back(entry);
        continue;
      }
      bool parent = false;
      for (const char* p : kHandlerParents) {
        const std::string full = ClassesEntry(std::string(p) + "\\Lanterna");
        parent |= entry.find('|') == std::string::npos && Starts(full, entry) && full.size() > entry.size() &&
                  full[entry.size()] == '\\';
      }
      if (!parent) others.push_back(entry);
    }
    std::sort(others.begin(), others.end());
    return others;
  }
};

TEST_F(Registration, Regsvr32WritesExactlyTheClassTheHandlersTheApprovalAndTheTypeLibrary) {
  const RegistrySnapshot before = SnapshotRegistry();
  ASSERT_FALSE(TypeLibRegistered());
  ASSERT_EQ(RunRegsvr32(LibraryPath(), false), 0);
  const RegistrySnapshot once = SnapshotRegistry();

  std::vector<std::string> typeLib;
  EXPECT_EQ(OtherEntries(AddedEntries(before, once), &typeLib), ExpectedEntries(LibraryPath()));
  EXPECT_TRUE(RemovedEntries(before, once).empty());
  // The type library is registered under its identity, version and locale, with the full name.
  EXPECT_NE(std::find(typeLib.begin(), typeLib.end(), ClassesValue(TypeLibKey() + "\\1.0", "", "LNTRHlp Library")),
            typeLib.end());
  EXPECT_NE(std::find(typeLib.begin(), typeLib.end(), ClassesValue(TypeLibPathKey(), "", LibraryPath())),
            typeLib.end());
  EXPECT_TRUE(TypeLibRegistered());

  // Twice is once: the same entries with the same data, nothing more.
  ASSERT_EQ(RunRegsvr32(LibraryPath(), false), 0);
  const RegistrySnapshot twice = SnapshotRegistry();
  EXPECT_TRUE(AddedEntries(once, twice).empty());
  EXPECT_TRUE(RemovedEntries(once, twice).empty());

  // Unregistering removes all of it but the approval (and the handler parents it created).
  ASSERT_EQ(RunRegsvr32(LibraryPath(), true), 0);
  const RegistrySnapshot after = SnapshotRegistry();
  EXPECT_EQ(OtherEntries(AddedEntries(before, after)), std::vector<std::string>{ApprovedValue(kApprovedText)});
  EXPECT_TRUE(RemovedEntries(before, after).empty());
  EXPECT_FALSE(TypeLibRegistered());
  for (const char* parent : kHandlerParents) {
    HKEY key = nullptr;
    EXPECT_NE(::RegOpenKeyExA(HKEY_CLASSES_ROOT, (std::string(parent) + "\\Lanterna").c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS)
        << parent;
  }

  // Unregistering what is not registered is no error.
  EXPECT_EQ(RunRegsvr32(LibraryPath(), true), 0);
}

TEST_F(Registration, TheExportsRegisterInTheCallingProcessAsRegsvr32Does) {
  ServerDll dll;
  ASSERT_TRUE(dll.Loaded());
  const RegistrySnapshot before = SnapshotRegistry();
  ASSERT_EQ(dll.RegisterServer(), S_OK);
  EXPECT_EQ(OtherEntries(AddedEntries(before, SnapshotRegistry())), ExpectedEntries(ModulePath(dll.Module())));
  EXPECT_TRUE(TypeLibRegistered());

  // The registered library is the module's own: its identity, version and locale.
  ITypeLib* typeLib = nullptr;
  ASSERT_EQ(::LoadRegTypeLib(kLibId, 1, 0, kLibLocale, &typeLib), S_OK);
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(typeLib->GetLibAttr(&attr), S_OK);
  EXPECT_TRUE(::IsEqualGUID(attr->guid, kLibId));
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_EQ(attr->lcid, kLibLocale);
  EXPECT_EQ(attr->syskind, ModuleTypeLibKind());
  EXPECT_EQ(attr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  typeLib->ReleaseTLibAttr(attr);
  BSTR name = nullptr, doc = nullptr;
  ASSERT_EQ(typeLib->GetDocumentation(-1, &name, &doc, nullptr, nullptr), S_OK);
  EXPECT_STREQ(name, L"LNTRHlp");
  EXPECT_STREQ(doc, L"LNTRHlp Library");
  ::SysFreeString(name);
  ::SysFreeString(doc);
  EXPECT_EQ(typeLib->GetTypeInfoCount(), 0u);
  typeLib->Release();

  ASSERT_EQ(dll.UnregisterServer(), S_OK);
  EXPECT_FALSE(TypeLibRegistered());
  EXPECT_EQ(OtherEntries(AddedEntries(before, SnapshotRegistry())),
            std::vector<std::string>{ApprovedValue(kApprovedText)});
  EXPECT_EQ(dll.UnregisterServer(), S_OK);
}

TEST_F(Registration, AModuleInAFolderWithABlankIsRegisteredByItsShortName) {
  ScratchDirectory scratch;
  const std::string folder = scratch.Path() + "\\lntr shell extension";
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  const std::string copy = folder + "\\LNTRHlp.dll";
  ASSERT_TRUE(::CopyFileA(LibraryPath().c_str(), copy.c_str(), FALSE));
  char shortName[MAX_PATH] = {};
  ASSERT_GT(::GetShortPathNameA(copy.c_str(), shortName, MAX_PATH), 0u);
  ASSERT_EQ(std::string(shortName).find(' '), std::string::npos) << shortName;

  ASSERT_EQ(RunRegsvr32(copy, false), 0);
  EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, ServerKey(), ""), std::string(shortName));
  // The type library keeps the full name.
  EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, TypeLibPathKey(), ""), copy);
  ASSERT_EQ(RunRegsvr32(copy, true), 0);
  EXPECT_FALSE(ReadRegistryString(HKEY_CLASSES_ROOT, ServerKey(), "").has_value());
  ::DeleteFileA(copy.c_str());
  ::RemoveDirectoryA(folder.c_str());
}

TEST_F(Registration, AFailedStepAnswersEFailAndKeepsWhatWasWrittenBefore) {
  // The last handler parent is made unwritable: below a volatile key no lasting key can be made.
  // What the system keeps there (other handlers) is set aside and put back afterwards.
  const std::string parent = kHandlerParents[4];
  const std::string missing = parent;
  const char* const kSetAside = "Software\\LNTRTestSetAside";
  bool setAside = false;
  HKEY existing = nullptr;
  if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, parent.c_str(), 0, KEY_READ, &existing) == ERROR_SUCCESS) {
    HKEY aside = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kSetAside, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &aside, nullptr),
              ERROR_SUCCESS);
    const LSTATUS copied = ::SHCopyKeyA(existing, nullptr, aside, 0);
    ::RegCloseKey(aside);
    ::RegCloseKey(existing);
    ASSERT_EQ(copied, ERROR_SUCCESS);
    setAside = true;
    ASSERT_EQ(::SHDeleteKeyA(HKEY_CLASSES_ROOT, parent.c_str()), ERROR_SUCCESS);
  }
  // Only the last part is volatile: the keys above it, which other parents share, are lasting.
  HKEY above = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CLASSES_ROOT, parent.substr(0, parent.rfind('\\')).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &above, nullptr),
            ERROR_SUCCESS);
  ::RegCloseKey(above);
  HKEY volatileKey = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CLASSES_ROOT, missing.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &volatileKey, nullptr),
            ERROR_SUCCESS);
  ::RegCloseKey(volatileKey);

  {
    ServerDll dll;
    ASSERT_TRUE(dll.Loaded());
    EXPECT_EQ(dll.RegisterServer(), E_FAIL);
    EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, ClassKey(), ""), std::string("KQ Vantor"));
    EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, ServerKey(), ""), ModulePath(dll.Module()));
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(ReadRegistryString(HKEY_CLASSES_ROOT, std::string(kHandlerParents[i]) + "\\Lanterna", ""),
                std::string(kClsidText));
    EXPECT_FALSE(ReadRegistryString(HKEY_CLASSES_ROOT, parent + "\\Lanterna", "").has_value());
    EXPECT_FALSE(ReadRegistryString(HKEY_LOCAL_MACHINE, kApprovedKeyPath, kClsidText).has_value());
    EXPECT_TRUE(TypeLibRegistered());
  }
  ::SHDeleteKeyA(HKEY_CLASSES_ROOT, missing.c_str());
  HKEY lasting = nullptr;
  ::RegCreateKeyExA(HKEY_CLASSES_ROOT, parent.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &lasting, nullptr);
  if (lasting && setAside) {
    HKEY aside = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kSetAside, 0, KEY_READ, &aside) == ERROR_SUCCESS) {
      EXPECT_EQ(::SHCopyKeyA(aside, nullptr, lasting, 0), ERROR_SUCCESS);
      ::RegCloseKey(aside);
    }
    ::SHDeleteKeyA(HKEY_CURRENT_USER, kSetAside);
  }
  if (lasting) ::RegCloseKey(lasting);
}

TEST_F(Registration, BeforeStartUpHasCompletedRegistrationDoesNothing) {
  // This program's own copy of the server, held in the state of a module still starting.
  const RegistrySnapshot before = SnapshotRegistry();
  SetRegistrationReady(false);
  EXPECT_EQ(ComRegisterServer(), S_OK);
  EXPECT_EQ(ComUnregisterServer(), S_OK);
  SetRegistrationReady(true);
  const RegistrySnapshot after = SnapshotRegistry();
  EXPECT_TRUE(AddedEntries(before, after).empty());
  EXPECT_TRUE(RemovedEntries(before, after).empty());
}

TEST_F(Registration, OnA9xSystemTheApprovalIsNotWritten) {
  // Wine reports the Windows 98 platform to regsvr32, and so to the library inside it.
  ScopedRegistryString version(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\regsvr32.exe", "Version", "win98");
  ASSERT_TRUE(version.Set());
  const RegistrySnapshot before = SnapshotRegistry();
  ASSERT_EQ(RunRegsvr32(LibraryPath(), false), 0);
  std::vector<std::string> expected = ExpectedEntries(LibraryPath());
  expected.erase(std::find(expected.begin(), expected.end(), ApprovedValue(kApprovedText)));
  EXPECT_EQ(OtherEntries(AddedEntries(before, SnapshotRegistry())), expected);
}

TEST_F(Registration, CoCreateInstanceThroughTheRegistrationGivesTheHandler) {
  ASSERT_EQ(RunRegsvr32(LibraryPath(), false), 0);
  ComPtr<IShellExtInit> init;
  ASSERT_EQ(::CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&init)), S_OK);
  ComPtr<IContextMenu> menu;
  EXPECT_EQ(init.As(&menu), S_OK);
  ComPtr<IUnknown> unknown1, unknown2;
  EXPECT_EQ(init.As(&unknown1), S_OK);
  EXPECT_EQ(menu.As(&unknown2), S_OK);
  EXPECT_EQ(unknown1.Get(), unknown2.Get());  // one object, one identity
  ComPtr<IClassFactory> notThere;
  EXPECT_EQ(init.As(&notThere), E_NOINTERFACE);

  // The module COM loaded is the registered one; it stays while the object lives.
  HMODULE module = ::GetModuleHandleA(LibraryPath().c_str());
  ASSERT_NE(module, nullptr);
  auto canUnload =
      reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(::GetProcAddress(module, "DllCanUnloadNow")));
  ASSERT_NE(canUnload, nullptr);
  EXPECT_EQ(canUnload(), S_FALSE);
  unknown1.Reset();
  unknown2.Reset();
  menu.Reset();
  EXPECT_EQ(canUnload(), S_FALSE);
  init.Reset();
  EXPECT_EQ(canUnload(), S_OK);

  // Every request makes a new object.
  ComPtr<IContextMenu> a, b;
  ASSERT_EQ(::CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&a)), S_OK);
  ASSERT_EQ(::CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&b)), S_OK);
  EXPECT_NE(a.Get(), b.Get());
  a.Reset();
  EXPECT_EQ(canUnload(), S_FALSE);
  b.Reset();
  EXPECT_EQ(canUnload(), S_OK);
}

TEST(ClassObject, ServesItsClassOnlyAndCountsReferencesAndLocks) {
  ::CoInitialize(nullptr);
  {
    ServerDll dll;
    ASSERT_TRUE(dll.Loaded());
    EXPECT_EQ(dll.CanUnloadNow(), S_OK);

    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(dll.GetClassObject(CLSID_ShellLink, IID_IClassFactory, &other), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(other, nullptr);
    void* wrong = reinterpret_cast<void*>(1);
    EXPECT_EQ(dll.GetClassObject(kClsid, IID_IContextMenu, &wrong), E_NOINTERFACE);
    EXPECT_EQ(wrong, nullptr);

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(dll.GetClassObject(kClsid, IID_PPV_ARGS(&factory)), S_OK);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE);  // a reference to the class object is held
    ComPtr<IClassFactory> same;
    ASSERT_EQ(dll.GetClassObject(kClsid, IID_PPV_ARGS(&same)), S_OK);
    EXPECT_EQ(same.Get(), factory.Get());
    same.Reset();

    ComPtr<IUnknown> outer;
    ASSERT_EQ(factory.As(&outer), S_OK);
    ComPtr<IUnknown> aggregated;
    EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_PPV_ARGS(&aggregated)), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(aggregated.Get(), nullptr);
    outer.Reset();

    ComPtr<IContextMenu> menu;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&menu)), S_OK);
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE);  // the object and the lock
    menu.Reset();
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE);  // the lock
    ASSERT_EQ(dll.GetClassObject(kClsid, IID_PPV_ARGS(&factory)), S_OK);
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE);  // the reference
    factory.Reset();
    EXPECT_EQ(dll.CanUnloadNow(), S_OK);
  }
  ::CoUninitialize();
}

#if defined(_WIN64)
// The class's server in one registry view of the classes, or "" when that view has none.
std::string ServerInView(REGSAM view) {
  const std::string path = std::string("CLSID\\") + kClsidText + "\\InprocServer32";
  HKEY raw = nullptr;
  if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, &raw) != ERROR_SUCCESS) return {};
  ScopedKey key(raw);
  char value[MAX_PATH] = {};
  DWORD size = sizeof(value);
  if (::RegQueryValueExA(key.get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS)
    return {};
  return value;
}

// Whether "reg query" of the given view ("/reg:32", "/reg:64") finds the handler for all files.
bool HandlerInView(const char* view) {
  return RunSystemProgram("reg.exe", {"query", "HKCR\\*\\shellex\\ContextMenuHandlers\\Lanterna", view}) == 0;
}

// Beside the 32-bit build, each build registers into its own view with the regsvr32 of its kind;
// unregistering one leaves the other's class and the handler keys both views share.
TEST(RegistryViews, BothBuildsRegisterSideBySideAndEachUnregistersOnlyItself) {
  if (const std::string why = WhyNoThirtyTwoBitProcesses(); !why.empty()) GTEST_SKIP() << why;
  const std::string i686 = ThirtyTwoBitBuildDirectory();
  ASSERT_FALSE(i686.empty()) << "LNTR_I686_BIN names the 32-bit build";
  const std::string narrow = i686 + "LNTRHlp.dll", wide = LibraryPath();
  char wow64[MAX_PATH] = {};
  ASSERT_NE(0u, ::GetSystemWow64DirectoryA(wow64, MAX_PATH));
  auto same = [](const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) == 0; };

  ASSERT_EQ(0, RunRegsvr32(narrow, false, wow64));
  ASSERT_EQ(0, RunRegsvr32(wide, false));
  EXPECT_PRED2(same, narrow, ServerInView(KEY_WOW64_32KEY));
  EXPECT_PRED2(same, wide, ServerInView(KEY_WOW64_64KEY));
  EXPECT_TRUE(HandlerInView("/reg:32"));
  EXPECT_TRUE(HandlerInView("/reg:64"));

  ASSERT_EQ(0, RunRegsvr32(narrow, true, wow64));
  EXPECT_EQ("", ServerInView(KEY_WOW64_32KEY));
  EXPECT_PRED2(same, wide, ServerInView(KEY_WOW64_64KEY));
  EXPECT_TRUE(HandlerInView("/reg:64")) << "the 64-bit handler lost its key";

  ASSERT_EQ(0, RunRegsvr32(narrow, false, wow64));
  ASSERT_EQ(0, RunRegsvr32(wide, true));
  EXPECT_PRED2(same, narrow, ServerInView(KEY_WOW64_32KEY));
  EXPECT_EQ("", ServerInView(KEY_WOW64_64KEY));
  EXPECT_TRUE(HandlerInView("/reg:32")) << "the 32-bit handler lost its key";

  ASSERT_EQ(0, RunRegsvr32(narrow, true, wow64));
  EXPECT_FALSE(HandlerInView("/reg:32"));
  EXPECT_FALSE(HandlerInView("/reg:64"));
}
#endif

}  // namespace
}  // namespace kq::test
