#include "lib/KQComServer.h"

#include <oleauto.h>
#include <shlwapi.h>

#include <iterator>

#include <wrl/client.h>

#include "common/KQComModule.h"
#include "common/KQGuard.h"
#include "common/KQText.h"
#include "common/KQRegistry.h"
#include "common/KQUtils.h"
#include "contextmenu/KQVContextMenu.h"

namespace kq {
namespace {

using Microsoft::WRL::ComPtr;

// One class of the server: its identifier, the function that makes a new object of it answering
// riid, the description and threading model written with its class entries, and the entries of
// its own (none when null), written after the class entries and removed before them.
struct TKQComClass {
  const CLSID* ClassId;
  HRESULT (*CreateInstance)(REFIID riid, void** ppv);
  const char* Description;
  const char* ThreadingModel;
  void (*UpdateRegistry)(bool doRegister);
};

// The server's classes.
constexpr TKQComClass kComClasses[] = {
    {&kContextMenuClassId, TKQVContextMenu::Create, kContextMenuDescription, kThreadingApartment,
     TKQVContextMenu::UpdateRegistry},
};

// The class object of one class of the table: a new object for every request; no aggregation. It
// has no state of its own (its references are counted for the module), so the class objects are
// made by the compiler: nothing is allocated for them when the module loads and nothing runs for
// them when it goes, and every request for a class is answered with the same object.
class TKQComObjectFactory final : public IClassFactory {
 public:
  constexpr explicit TKQComObjectFactory(const TKQComClass& comClass) noexcept : class_(comClass) {}

  // IUnknown
  IFACEMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  IFACEMETHODIMP_(ULONG) AddRef() override;
  IFACEMETHODIMP_(ULONG) Release() override;
  // IClassFactory
  IFACEMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
  IFACEMETHODIMP LockServer(BOOL lock) override;

  REFCLSID ClassId() const noexcept { return *class_.ClassId; }

  // Writes (true) or removes (false) the class's entries under HKEY_CLASSES_ROOT: the CLSID key
  // with the description, its InprocServer32 key with the module's name and threading model, and
  // the class's own. No ProgID is written. Throws TKQRegError when an entry cannot be written.
  void UpdateRegistry(bool doRegister) const;

 private:
  const TKQComClass& class_;
};

// One class object per class of the table, in its order.
constinit TKQComObjectFactory g_ClassObjects[] = {TKQComObjectFactory(kComClasses[0])};
static_assert(std::size(g_ClassObjects) == std::size(kComClasses), "one class object per class");

bool g_RegistrationReady = false;

// The type library embedded in the module (resource "TYPELIB" 1 of the file), loaded without
// registering it.
HRESULT LoadModuleTypeLib(ComPtr<ITypeLib>& typeLib) {
  const std::wstring file = ToWide(ModuleFileName());
  if (file.empty()) return E_FAIL;
  return ::LoadTypeLibEx(file.c_str(), REGKIND_NONE, typeLib.ReleaseAndGetAddressOf());
}

HRESULT RegisterModuleTypeLib() {
  ComPtr<ITypeLib> typeLib;
  HRESULT hr = LoadModuleTypeLib(typeLib);
  if (SUCCEEDED(hr)) {
    std::wstring file = ToWide(ModuleFileName());
    hr = ::RegisterTypeLib(typeLib.Get(), file.data(), nullptr);
  }
  return hr;
}

// Removes the registration of the embedded library; a library that is not registered is left
// as it is (unregistering twice is no error).
HRESULT UnregisterModuleTypeLib() {
  ComPtr<ITypeLib> typeLib;
  HRESULT hr = LoadModuleTypeLib(typeLib);
  if (FAILED(hr)) return hr;
  TLIBATTR* attr = nullptr;
  hr = typeLib->GetLibAttr(&attr);
  if (FAILED(hr)) return hr;
  const TLIBATTR lib = *attr;
  typeLib->ReleaseTLibAttr(attr);
  BSTR registered = nullptr;
  if (FAILED(::QueryPathOfRegTypeLib(lib.guid, lib.wMajorVerNum, lib.wMinorVerNum, lib.lcid, &registered))) return S_OK;
  ::SysFreeString(registered);
  return ::UnRegisterTypeLib(lib.guid, lib.wMajorVerNum, lib.wMinorVerNum, lib.lcid, lib.syskind);
}

}  // namespace

std::string ModuleFileName() {
  wchar_t name[MAX_PATH + 1] = {};
  const DWORD n = ::GetModuleFileNameW(LibraryModule(), name, MAX_PATH + 1);
  // A name the buffer could not hold is no name.
  if (n == 0 || n > static_cast<DWORD>(MAX_PATH)) return {};
  return ToUtf8(std::wstring_view(name, n));
}

std::string RegisteredModuleName() {
  const std::string name = ModuleFileName();
  if (name.find(' ') == std::string::npos) return name;
  wchar_t shortName[MAX_PATH + 1] = {};
  const DWORD n = ::GetShortPathNameW(ToWide(name).c_str(), shortName, MAX_PATH + 1);
  if (n == 0 || n > static_cast<DWORD>(MAX_PATH)) return name;
  return ToUtf8(std::wstring_view(shortName, n));
}

// ---- TKQComObjectFactory -----------------------------------------------------------------------

IFACEMETHODIMP TKQComObjectFactory::QueryInterface(REFIID riid, void** ppv) {
  return Guarded(E_UNEXPECTED, [&]() -> HRESULT {
    static const QITAB kInterfaces[] = {
        {&IID_IClassFactory, 0},
        {nullptr, 0},
    };
    return ::QISearch(this, kInterfaces, riid, ppv);
  });
}

IFACEMETHODIMP_(ULONG) TKQComObjectFactory::AddRef() { return AddRefClassObject(); }

// The object lives as long as the module; only the count of outside references falls.
IFACEMETHODIMP_(ULONG) TKQComObjectFactory::Release() { return ReleaseClassObject(); }

IFACEMETHODIMP TKQComObjectFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  return Guarded(E_UNEXPECTED, [&]() -> HRESULT {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return class_.CreateInstance(riid, ppv);
  });
}

IFACEMETHODIMP TKQComObjectFactory::LockServer(BOOL lock) {
  LockModule(lock != FALSE);
  return S_OK;
}

void TKQComObjectFactory::UpdateRegistry(bool doRegister) const {
  const std::string classKey = ClassKeyPath(ClassId());
  const std::string serverKey = ServerKeyPath(ClassId());
  if (doRegister) {
    {
      TKQRegIniFile reg(KEY_WRITE);
      reg.SetRootKey(HKEY_CLASSES_ROOT);
      reg.WriteString(classKey, "", class_.Description);
      reg.WriteString(serverKey, "", RegisteredModuleName());
      reg.WriteString(serverKey, kThreadingModelValue, class_.ThreadingModel);
    }
    if (class_.UpdateRegistry) class_.UpdateRegistry(true);
  } else {
    if (class_.UpdateRegistry) class_.UpdateRegistry(false);
    TKQRegIniFile reg(KEY_WRITE);
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    reg.DeleteKey(serverKey);
    reg.DeleteKey(classKey);
  }
}

// ---- The exports --------------------------------------------------------------------------------

bool RegistrationReady() noexcept { return g_RegistrationReady; }

void SetRegistrationReady(bool ready) noexcept { g_RegistrationReady = ready; }

HRESULT ComGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept {
  return Guarded(E_UNEXPECTED, [&]() -> HRESULT {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    // A module whose start-up did not complete serves nothing, as it hooks and registers nothing.
    if (!RegistrationReady()) return CLASS_E_CLASSNOTAVAILABLE;
    for (TKQComObjectFactory& factory : g_ClassObjects) {
      if (::IsEqualCLSID(factory.ClassId(), rclsid)) return factory.QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
  });
}

HRESULT ComCanUnloadNow() noexcept { return ModuleCanUnload() ? S_OK : S_FALSE; }

namespace {

// Writes (or removes) the type library's and every class's entries.
HRESULT UpdateServerRegistry(bool doRegister) noexcept {
  return Guarded(E_FAIL, [doRegister]() -> HRESULT {
    if (!RegistrationReady()) return S_OK;
    if (FAILED(doRegister ? RegisterModuleTypeLib() : UnregisterModuleTypeLib())) return E_FAIL;
    for (const TKQComObjectFactory& factory : g_ClassObjects) factory.UpdateRegistry(doRegister);
    return S_OK;
  });
}

}  // namespace

HRESULT ComRegisterServer() noexcept { return UpdateServerRegistry(true); }

HRESULT ComUnregisterServer() noexcept { return UpdateServerRegistry(false); }

}  // namespace kq
