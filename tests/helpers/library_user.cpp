// library_user.exe modules (tests/support/LibraryUser.h).
#include <windows.h>

#include <cstring>

#include "common/KQScoped.h"
#include "tests/support/LibraryUser.h"
#include "tests/support/TestPaths.h"

namespace {

using namespace kq;
using namespace kq::test;

// DllGetClassObject, its references as the pointers they are passed as.
using GetClassObjectProc = HRESULT(WINAPI*)(const CLSID*, const IID*, void**);
constexpr char kPsapi[] = "psapi.dll";

bool PsapiLoaded() { return ::GetModuleHandleA(kPsapi) != nullptr; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], kLibraryUserModules) != 0) return 2;
  DWORD seen = PsapiLoaded() ? kPsapiBeforeLoad : 0;
  ScopedModule library(::LoadLibraryA(HelperPath("LNTRHlp.dll").c_str()));
  auto getClassObject = reinterpret_cast<GetClassObjectProc>(
      reinterpret_cast<void*>(::GetProcAddress(library.get(), "DllGetClassObject")));
  if (!getClassObject) return kLibraryUserNoLibrary;
  void* object = nullptr;
  if (PsapiLoaded()) seen |= kPsapiAfterLoad;
  getClassObject(&CLSID_NULL, &IID_IUnknown, &object);
  if (!PsapiLoaded()) seen |= kNoPsapiAfterFirstUse;
  return static_cast<int>(seen);
}
