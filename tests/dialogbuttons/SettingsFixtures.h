// Fixtures of the settings tests: the host's settings key written as the host writes it, a real
// file dialog in a process of its own, screen pixels, and the GDI objects a process holds.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/GdiObjects.h"

namespace kq::test {

// The host's key below HKEY_CURRENT_USER, where the settings live.
inline constexpr char kSettingsKey[] = "Software\\Quillonworks\\Lanterna";

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

// A dialog_opener process showing one dialog, cancelled at the end.
class OpenedDialog {
 public:
  // mode and extra arguments as dialog_opener takes them.
  OpenedDialog(const std::string& mode, const std::string& title, const std::vector<std::string>& extra = {});
  ~OpenedDialog();
  OpenedDialog(const OpenedDialog&) = delete;
  OpenedDialog& operator=(const OpenedDialog&) = delete;
  HWND Dialog() const { return dialog_; }
  DWORD Pid() const { return process_.Pid(); }
  HANDLE Process() const { return process_.Handle(); }

 private:
  ChildProcess process_;
  HWND dialog_ = nullptr;
};

// Pixels of a part of the screen, read with BitBlt from the screen's DC.
class ScreenPixels {
 public:
  explicit ScreenPixels(const RECT& area);
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return pixels_.empty(); }
  // 0x00RRGGBB of the pixel at (x, y), relative to the area's top-left corner.
  uint32_t At(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
  // How many pixels differ from those of other (same size) by more than tolerance in a channel.
  int CountDifferent(const ScreenPixels& other, int tolerance = 8) const;
  // Writes the pixels as a .bmp file into the artifacts folder (for a look after a failure).
  void Save(const std::string& name) const;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<uint32_t> pixels_;
};

inline int Red(uint32_t c) { return (c >> 16) & 0xFF; }
inline int Green(uint32_t c) { return (c >> 8) & 0xFF; }
inline int Blue(uint32_t c) { return c & 0xFF; }

// Where button index of a dialog set sits on wnd, in screen coordinates, with the given extra
// space to the window's own caption buttons: the set's layout, computed here.
RECT CaptionButtonRect(HWND wnd, int index, int rightOffset = 0);

// Sends the registered message name to wnd from this process and waits for its answer.
bool SendRegistered(HWND wnd, const char* name, WPARAM wParam = 0, LPARAM lParam = 0);

}  // namespace kq::test
