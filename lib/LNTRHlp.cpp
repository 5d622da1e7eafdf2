// LNTRHlp.dll: the entry point and the COM exports.
#include <windows.h>

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

// The COM server is not built yet: no class is served, nothing is registered.
HRESULT WINAPI DllGetClassObject(REFCLSID, REFIID, void** object) {
  if (object) *object = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}
HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }
HRESULT WINAPI DllRegisterServer() { return E_NOTIMPL; }
HRESULT WINAPI DllUnregisterServer() { return E_NOTIMPL; }

}  // extern "C"
