// The library's in-process COM server: the constant table of its classes and their class objects,
// the class entries every class writes under HKEY_CLASSES_ROOT, the type library embedded as
// resource "TYPELIB" 1, and the work of the four COM exports. The counts that decide
// DllCanUnloadNow live below the classes, in common/KQComModule.h.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <string>

namespace kq {

constexpr char kThreadingApartment[] = "Apartment";

// The module's full file name; its short (8.3) form when the name contains a blank.
std::string ModuleFileName();
std::string RegisteredModuleName();

// False until the module's start-up has completed; registration does nothing while it is false.
bool RegistrationReady() noexcept;
void SetRegistrationReady(bool ready) noexcept;

// The four exports' work. None of them lets anything escape.
HRESULT ComGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept;
HRESULT ComCanUnloadNow() noexcept;
HRESULT ComRegisterServer() noexcept;
HRESULT ComUnregisterServer() noexcept;

}  // namespace kq
