// LNTRHlp.dll: the entry point and the COM exports.
#include <windows.h>

#include "common/KQStartOnce.h"
#include "lib/KQComServer.h"
#include "lib/LNTRStartup.h"

extern "C" {

// Runs inside the loader's lock: it only names the start-up for the first use and turns the
// thread notifications off.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      ::DisableThreadLibraryCalls(instance);
      kq::DeferLibraryStartup();
      break;
    case DLL_PROCESS_DETACH:
      // At process exit the windows die with the process and other threads are already gone:
      // only an unload (FreeLibrary) gives the windows their procedures back.
      if (!reserved) kq::LibraryShutdown();
      break;
  }
  return TRUE;
}

// The COM exports: the class-object table and the registration live in the server frame. Each
// request but DllCanUnloadNow, which needs nothing of it, may be the library's first use.
HRESULT WINAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** object) {
  kq::EnsureStarted();
  return kq::ComGetClassObject(rclsid, riid, object);
}
HRESULT WINAPI DllCanUnloadNow() { return kq::ComCanUnloadNow(); }
HRESULT WINAPI DllRegisterServer() {
  kq::EnsureStarted();
  return kq::ComRegisterServer();
}
HRESULT WINAPI DllUnregisterServer() {
  kq::EnsureStarted();
  return kq::ComUnregisterServer();
}

}  // extern "C"
