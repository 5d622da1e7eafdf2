// The library's in-process COM server: the class-object table, the counts of live objects,
// class-object references and locks that decide DllCanUnloadNow, the class entries every class
// writes under HKEY_CLASSES_ROOT, and the type library embedded as resource "TYPELIB" 1.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <memory>
#include <string>

namespace kq {

constexpr char kThreadingApartment[] = "Apartment";

// Registry names of the class entries.
constexpr char kClsidKey[] = "CLSID";
constexpr char kInprocServerKey[] = "InprocServer32";
constexpr char kThreadingModelValue[] = "ThreadingModel";

// A GUID in registry form, braces included.
std::string GuidText(REFGUID guid);
// The module's full file name; its short (8.3) form when the name contains a blank.
std::string ModuleFileName();
std::string RegisteredModuleName();

// The base of every COM object the server hands out: counts the object as alive from its
// construction to its destruction, and holds its reference count. Objects start with one
// reference, which the creator hands on or releases.
class TKQComObject {
 public:
  TKQComObject() noexcept;
  virtual ~TKQComObject();
  TKQComObject(const TKQComObject&) = delete;
  TKQComObject& operator=(const TKQComObject&) = delete;

 protected:
  ULONG AddRefObject() noexcept;
  // Frees the object with its last reference.
  ULONG ReleaseObject() noexcept;

 private:
  LONG refs_ = 1;
};

// A class object of the table. It lives as long as the table; its references count only for
// DllCanUnloadNow.
class TKQComObjectFactory : public IClassFactory {
 public:
  TKQComObjectFactory(REFCLSID clsid, std::string description, const char* threadingModel);
  virtual ~TKQComObjectFactory() = default;
  TKQComObjectFactory(const TKQComObjectFactory&) = delete;
  TKQComObjectFactory& operator=(const TKQComObjectFactory&) = delete;

  // IUnknown
  IFACEMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  IFACEMETHODIMP_(ULONG) AddRef() override;
  IFACEMETHODIMP_(ULONG) Release() override;
  // IClassFactory: a new object for every request; no aggregation.
  IFACEMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
  IFACEMETHODIMP LockServer(BOOL lock) override;

  REFCLSID ClassId() const noexcept { return clsid_; }

  // Writes (true) or removes (false) the class entries under HKEY_CLASSES_ROOT: the CLSID key
  // with the description, its InprocServer32 key with the module's name and threading model. No
  // ProgID is written. Throws TKQRegError when an entry cannot be written.
  virtual void UpdateRegistry(bool doRegister);

 protected:
  // A new object of the class answering riid in *ppv.
  virtual HRESULT CreateComObject(REFIID riid, void** ppv) = 0;

 private:
  const CLSID clsid_;
  const std::string description_;
  const char* const threadingModel_;
};

// The class-object table. A unit adds its class object at start-up; the table owns it.
void AddComClass(std::unique_ptr<TKQComObjectFactory> factory);
void ClearComClasses() noexcept;

// False until the module's start-up has completed; registration does nothing while it is false.
bool RegistrationReady() noexcept;
void SetRegistrationReady(bool ready) noexcept;

// The four exports' work. None of them lets anything escape.
HRESULT ComGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept;
HRESULT ComCanUnloadNow() noexcept;
HRESULT ComRegisterServer() noexcept;
HRESULT ComUnregisterServer() noexcept;

}  // namespace kq
