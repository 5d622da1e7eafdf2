// The module's COM counts and the base of its COM objects. The counts decide DllCanUnloadNow: the
// live objects of every class, the references to the class objects held outside the module, and
// the server locks. They live here, below every COM class, so that the classes and the server's
// class table (lib/) share them without a class reaching up into the server.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <string>

namespace kq {

// A GUID in registry form, braces included.
std::string GuidText(REFGUID guid);

// Registry names of a class's entries under HKEY_CLASSES_ROOT.
constexpr char kClsidKey[] = "CLSID";
constexpr char kInprocServerKey[] = "InprocServer32";
constexpr char kThreadingModelValue[] = "ThreadingModel";

// "CLSID\{...}" and its "InprocServer32" key.
std::string ClassKeyPath(REFCLSID clsid);
std::string ServerKeyPath(REFCLSID clsid);

// The base of every COM object the module hands out: counts the object as alive from its
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

// References to a class object held outside the module (the class objects themselves live as long
// as the module); the new count.
ULONG AddRefClassObject() noexcept;
ULONG ReleaseClassObject() noexcept;
// IClassFactory::LockServer.
void LockModule(bool lock) noexcept;
// True when no object is alive and no class-object reference or lock is held.
bool ModuleCanUnload() noexcept;

}  // namespace kq
