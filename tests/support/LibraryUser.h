// library_user.exe, a program that loads LNTRHlp.dll from its own folder as any program the host's
// hooks reach would, and uses it once; what it saw is its exit code.
#pragma once

#include <windows.h>

namespace kq::test {

constexpr char kLibraryUserExe[] = "library_user.exe";

// "modules": whether the load and the first use (a class-object request) bring in psapi, which
// start-up loads. Exit code 0 when neither the program nor the load has it and the first use does;
// otherwise the bits say what differed.
constexpr char kLibraryUserModules[] = "modules";
constexpr DWORD kPsapiBeforeLoad = 1;
constexpr DWORD kPsapiAfterLoad = 2;
constexpr DWORD kNoPsapiAfterFirstUse = 4;

// "fault": the first use is a class-object request whose class identifier lies in unreadable
// memory, a fault in the library's guarded step. Exit code 0 when the library answered E_UNEXPECTED.
constexpr char kLibraryUserFault[] = "fault";
constexpr DWORD kFaultNotContained = 1;

// Both: the library could not be loaded or has no DllGetClassObject.
constexpr DWORD kLibraryUserNoLibrary = 64;

}  // namespace kq::test
