// library_user.exe modules|fault (tests/support/LibraryUser.h).
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/KQScoped.h"
#include "tests/support/GdiObjects.h"
#include "tests/support/LibraryUser.h"
#include "tests/support/TestPaths.h"

namespace {

using namespace kq;
using namespace kq::test;

// DllGetClassObject, its references as the pointers they are passed as.
using GetClassObjectProc = HRESULT(WINAPI*)(const CLSID*, const IID*, void**);
constexpr char kPsapi[] = "psapi.dll";
// Usage: no mode, or one of neither name.
constexpr int kUsage = 2;

bool PsapiLoaded() { return ::GetModuleHandleA(kPsapi) != nullptr; }

GetClassObjectProc LoadLibraryEntry(ScopedModule& library) {
  library.reset(::LoadLibraryA(HelperPath("LNTRHlp.dll").c_str()));
  return reinterpret_cast<GetClassObjectProc>(
      reinterpret_cast<void*>(::GetProcAddress(library.get(), "DllGetClassObject")));
}

// Loads the system modules the library imports, as the loader would while loading it, so that what
// their own start-up makes is not taken for the library's. The import table is read from the file
// mapped as an image (no import resolved, no entry point run).
void LoadImports(const std::string& path) {
  HMODULE image = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!image) return;
  const auto* base = reinterpret_cast<const BYTE*>(reinterpret_cast<uintptr_t>(image) & ~uintptr_t{3});
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  std::vector<std::string> names;
  if (imports.VirtualAddress) {
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name;
         ++entry)
      names.push_back(reinterpret_cast<const char*>(base + entry->Name));
  }
  ::FreeLibrary(image);
  for (const std::string& name : names) ::LoadLibraryA(name.c_str());  // kept to the program's end
}

DWORD Modules() {
  DWORD seen = PsapiLoaded() ? kPsapiBeforeLoad : 0;
  LoadImports(HelperPath("LNTRHlp.dll"));
  const int gdiBefore = GdiObjectsOf(::GetCurrentProcess());
  ScopedModule library;
  GetClassObjectProc getClassObject = LoadLibraryEntry(library);
  if (!getClassObject) return kLibraryUserNoLibrary;
  const int gdiLoaded = GdiObjectsOf(::GetCurrentProcess());
  if (PsapiLoaded() || gdiLoaded != gdiBefore) seen |= kLoadDidWork;
  void* object = nullptr;
  getClassObject(&CLSID_NULL, &IID_IUnknown, &object);
  if (GdiObjectsOf(::GetCurrentProcess()) <= gdiLoaded) seen |= kFirstUseDidNotStart;
  return seen;
}

DWORD Fault() {
  ScopedModule library;
  GetClassObjectProc getClassObject = LoadLibraryEntry(library);
  if (!getClassObject) return kLibraryUserNoLibrary;
  constexpr SIZE_T kPage = 4096;
  void* unreadable = ::VirtualAlloc(nullptr, kPage, MEM_RESERVE, PAGE_NOACCESS);
  void* object = nullptr;
  const HRESULT hr = getClassObject(static_cast<const CLSID*>(unreadable), &IID_IUnknown, &object);
  return unreadable && hr == E_UNEXPECTED ? 0 : kFaultNotContained;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return kUsage;
  if (std::strcmp(argv[1], kLibraryUserModules) == 0) return static_cast<int>(Modules());
  if (std::strcmp(argv[1], kLibraryUserFault) == 0) return static_cast<int>(Fault());
  return kUsage;
}
