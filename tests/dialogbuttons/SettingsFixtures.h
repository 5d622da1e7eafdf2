// Fixtures of the settings tests: the host's settings key written as the host writes it, a real
// file dialog in a process of its own, screen pixels, and the GDI objects a process holds.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/GdiObjects.h"
#include "tests/support/OpenedDialog.h"
#include "tests/support/MouseInput.h"
#include "tests/support/RegistryValue.h"
#include "tests/support/ScreenPixels.h"
#include "tests/support/TestWindows.h"

namespace kq::test {

// The dialog-set values of the settings key: none at construction, none again at the end.
class SettingsKey {
 public:
  SettingsKey();
  ~SettingsKey();
  SettingsKey(const SettingsKey&) = delete;
  SettingsKey& operator=(const SettingsKey&) = delete;

  void Set(const char* name, const std::string& text) const;  // REG_SZ, as the host writes
  void SetDword(const char* name, DWORD value) const;         // a value of the wrong type
  void Remove(const char* name) const;
  static void RemoveAll();
};

// Sends the registered message name to wnd from this process and waits for its answer.
bool SendRegistered(HWND wnd, const char* name, WPARAM wParam = 0, LPARAM lParam = 0);

}  // namespace kq::test
