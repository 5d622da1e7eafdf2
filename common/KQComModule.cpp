#include "common/KQComModule.h"

#include "common/KQGuard.h"

namespace kq {
namespace {

// The shell calls in on one apartment thread per object, but objects of several apartments may
// live at once: the counts are changed with interlocked operations.
LONG g_objects = 0;      // live objects of every class
LONG g_factoryRefs = 0;  // references to class objects held outside the module
LONG g_locks = 0;        // IClassFactory::LockServer

}  // namespace

std::string GuidText(REFGUID guid) {
  wchar_t wide[40] = {};
  if (::StringFromGUID2(guid, wide, 40) == 0) return {};
  char text[40] = {};
  ::WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text), nullptr, nullptr);
  return text;
}

std::string ClassKeyPath(REFCLSID clsid) { return std::string(kClsidKey) + "\\" + GuidText(clsid); }

std::string ServerKeyPath(REFCLSID clsid) { return ClassKeyPath(clsid) + "\\" + kInprocServerKey; }

TKQComObject::TKQComObject() noexcept { ::InterlockedIncrement(&g_objects); }

TKQComObject::~TKQComObject() { ::InterlockedDecrement(&g_objects); }

ULONG TKQComObject::AddRefObject() noexcept { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }

ULONG TKQComObject::ReleaseObject() noexcept {
  const LONG refs = ::InterlockedDecrement(&refs_);
  if (refs == 0) Guard([this] { delete this; });
  return static_cast<ULONG>(refs);
}

ULONG AddRefClassObject() noexcept { return static_cast<ULONG>(::InterlockedIncrement(&g_factoryRefs)); }

ULONG ReleaseClassObject() noexcept { return static_cast<ULONG>(::InterlockedDecrement(&g_factoryRefs)); }

void LockModule(bool lock) noexcept {
  if (lock) {
    ::InterlockedIncrement(&g_locks);
  } else {
    ::InterlockedDecrement(&g_locks);
  }
}

bool ModuleCanUnload() noexcept { return g_objects == 0 && g_factoryRefs == 0 && g_locks == 0; }

}  // namespace kq
