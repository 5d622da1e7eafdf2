// LNTRHlp.dll: the entry point and the COM exports.
#include <windows.h>

#include "lib/KQComServer.h"
#include "lib/LNTRStartup.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      ::DisableThreadLibraryCalls(instance);
      kq::LibraryStartup();
      break;
    case DLL_PROCESS_DETACH:
      // At process exit the windows die with the process and other threads are already gone:
      // only an unload (FreeLibrary) gives the windows their procedures back.
      if (!reserved) kq::LibraryShutdown();
      break;
  }
  return TRUE;
}

// The COM exports: the class-object table and the registration live in the server frame.
HRESULT WINAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** object) {
  return kq::ComGetClassObject(rclsid, riid, object);
}
HRESULT WINAPI DllCanUnloadNow() { return kq::ComCanUnloadNow(); }
HRESULT WINAPI DllRegisterServer() { return kq::ComRegisterServer(); }
HRESULT WINAPI DllUnregisterServer() { return kq::ComUnregisterServer(); }

}  // extern "C"
