// library_user.exe, a program that loads LNTRHlp.dll from its own folder as any program the host's
// hooks reach would, and uses it once; what it saw is its exit code.
#pragma once

#include <windows.h>

namespace kq::test {

constexpr char kLibraryUserExe[] = "library_user.exe";

// "modules": with the system modules the library imports loaded first, whether the load brings in
// psapi (which start-up would load where kernel32 lacks its entries) or makes any GDI object, and
// whether the first use (a class-object request) starts the library, which makes its history
// bitmap. Exit code 0 when the program has no psapi, the load adds neither, and the first use adds
// GDI objects; otherwise the bits say what differed.
constexpr char kLibraryUserModules[] = "modules";
constexpr DWORD kPsapiBeforeLoad = 1;
constexpr DWORD kLoadDidWork = 2;
constexpr DWORD kFirstUseDidNotStart = 4;

// "fault": the first use is a class-object request whose class identifier lies in unreadable
// memory, a fault in the library's guarded step. Exit code 0 when the library answered E_UNEXPECTED.
constexpr char kLibraryUserFault[] = "fault";
constexpr DWORD kFaultNotContained = 1;

// Both: the library could not be loaded or has no DllGetClassObject.
constexpr DWORD kLibraryUserNoLibrary = 64;

}  // namespace kq::test
