#include "lib/KQComServer.h"

#include <oleauto.h>
#include <shlwapi.h>

#include <utility>
#include <vector>

#include <wrl/client.h>

#include "common/KQRegistry.h"
#include "common/KQProcessStatic.h"
#include "common/KQGuard.h"
#include "common/KQUtils.h"

namespace kq {
namespace {

using Microsoft::WRL::ComPtr;

// The module's counts. The shell calls in on one apartment thread per object, but objects of
// several apartments may live at once: the counts are changed with interlocked operations.
LONG g_objects = 0;      // live objects of every class
LONG g_factoryRefs = 0;  // references to class objects held outside the table
LONG g_locks = 0;        // IClassFactory::LockServer
bool g_registrationReady = false;

ProcessStatic<std::vector<std::unique_ptr<TKQComObjectFactory>>> g_ClassTable;

std::vector<std::unique_ptr<TKQComObjectFactory>>& ClassTable() { return *g_ClassTable; }

std::string ClassKeyPath(REFCLSID clsid) { return std::string(kClsidKey) + "\\" + GuidText(clsid); }

std::wstring WideText(const std::string& text) {
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
  wide.resize(static_cast<size_t>(n - 1));
  return wide;
}

// The type library embedded in the module (resource "TYPELIB" 1 of the file), loaded without
// registering it.
HRESULT LoadModuleTypeLib(ComPtr<ITypeLib>& typeLib) {
  const std::wstring file = WideText(ModuleFileName());
  if (file.empty()) return E_FAIL;
  return ::LoadTypeLibEx(file.c_str(), REGKIND_NONE, typeLib.ReleaseAndGetAddressOf());
}

HRESULT RegisterModuleTypeLib() {
  ComPtr<ITypeLib> typeLib;
  HRESULT hr = LoadModuleTypeLib(typeLib);
  if (SUCCEEDED(hr)) {
    std::wstring file = WideText(ModuleFileName());
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

std::string GuidText(REFGUID guid) {
  wchar_t wide[40] = {};
  if (::StringFromGUID2(guid, wide, 40) == 0) return {};
  char text[40] = {};
  ::WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text), nullptr, nullptr);
  return text;
}

std::string ModuleFileName() {
  char name[MAX_PATH + 1] = {};
  const DWORD n = ::GetModuleFileNameA(LibraryModule(), name, MAX_PATH + 1);
  // A name the buffer could not hold is no name.
  if (n == 0 || n > MAX_PATH) return {};
  return std::string(name, n);
}

std::string RegisteredModuleName() {
  const std::string name = ModuleFileName();
  if (name.find(' ') == std::string::npos) return name;
  char shortName[MAX_PATH + 1] = {};
  const DWORD n = ::GetShortPathNameA(name.c_str(), shortName, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return name;
  return std::string(shortName, n);
}

// ---- TKQComObject ------------------------------------------------------------------------------

TKQComObject::TKQComObject() noexcept { ::InterlockedIncrement(&g_objects); }

TKQComObject::~TKQComObject() { ::InterlockedDecrement(&g_objects); }

ULONG TKQComObject::AddRefObject() noexcept { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }

ULONG TKQComObject::ReleaseObject() noexcept {
  const LONG refs = ::InterlockedDecrement(&refs_);
  if (refs == 0) Guard([this] { delete this; });
  return static_cast<ULONG>(refs);
}

// ---- TKQComObjectFactory -----------------------------------------------------------------------

TKQComObjectFactory::TKQComObjectFactory(REFCLSID clsid, std::string description, const char* threadingModel)
    : clsid_(clsid), description_(std::move(description)), threadingModel_(threadingModel) {}

IFACEMETHODIMP TKQComObjectFactory::QueryInterface(REFIID riid, void** ppv) {
  return Guarded(E_UNEXPECTED, [&]() -> HRESULT {
    static const QITAB kInterfaces[] = {
        {&IID_IClassFactory, 0},
        {nullptr, 0},
    };
    return ::QISearch(this, kInterfaces, riid, ppv);
  });
}

IFACEMETHODIMP_(ULONG) TKQComObjectFactory::AddRef() {
  return static_cast<ULONG>(::InterlockedIncrement(&g_factoryRefs));
}

// The table keeps the object; only the count of outside references falls.
IFACEMETHODIMP_(ULONG) TKQComObjectFactory::Release() {
  return static_cast<ULONG>(::InterlockedDecrement(&g_factoryRefs));
}

IFACEMETHODIMP TKQComObjectFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  return Guarded(E_UNEXPECTED, [&]() -> HRESULT {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return CreateComObject(riid, ppv);
  });
}

IFACEMETHODIMP TKQComObjectFactory::LockServer(BOOL lock) {
  if (lock) {
    ::InterlockedIncrement(&g_locks);
  } else {
    ::InterlockedDecrement(&g_locks);
  }
  return S_OK;
}

void TKQComObjectFactory::UpdateRegistry(bool doRegister) {
  TKQRegIniFile reg(KEY_READ | KEY_WRITE);
  reg.SetRootKey(HKEY_CLASSES_ROOT);
  const std::string classKey = ClassKeyPath(clsid_);
  const std::string serverKey = classKey + "\\" + kInprocServerKey;
  if (doRegister) {
    reg.WriteString(classKey, "", description_);
    reg.WriteString(serverKey, "", RegisteredModuleName());
    reg.WriteString(serverKey, kThreadingModelValue, threadingModel_);
  } else {
    reg.DeleteKey(serverKey);
    reg.DeleteKey(classKey);
  }
}

// ---- The table and the exports -----------------------------------------------------------------

void AddComClass(std::unique_ptr<TKQComObjectFactory> factory) {
  if (factory) ClassTable().push_back(std::move(factory));
}

void ClearComClasses() noexcept { ClassTable().clear(); }

bool RegistrationReady() noexcept { return g_registrationReady; }

void SetRegistrationReady(bool ready) noexcept { g_registrationReady = ready; }

HRESULT ComGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept {
  return Guarded(E_UNEXPECTED, [&]() -> HRESULT {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const auto& factory : ClassTable()) {
      if (::IsEqualCLSID(factory->ClassId(), rclsid)) return factory->QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
  });
}

HRESULT ComCanUnloadNow() noexcept { return g_objects == 0 && g_factoryRefs == 0 && g_locks == 0 ? S_OK : S_FALSE; }

HRESULT ComRegisterServer() noexcept {
  return Guarded(E_FAIL, []() -> HRESULT {
    if (!RegistrationReady()) return S_OK;
    if (FAILED(RegisterModuleTypeLib())) return E_FAIL;
    for (const auto& factory : ClassTable()) factory->UpdateRegistry(true);
    return S_OK;
  });
}

HRESULT ComUnregisterServer() noexcept {
  return Guarded(E_FAIL, []() -> HRESULT {
    if (!RegistrationReady()) return S_OK;
    if (FAILED(UnregisterModuleTypeLib())) return E_FAIL;
    for (const auto& factory : ClassTable()) factory->UpdateRegistry(false);
    return S_OK;
  });
}

}  // namespace kq
