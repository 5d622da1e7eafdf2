#include "tests/dialogbuttons/SettingsFixtures.h"

#include <gtest/gtest.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>

#include "captionbuttons/KQCaptionButton.h"
#include "common/KQScoped.h"
#include "dialogbuttons/KQVCaptionButton.h"
#include "dialogbuttons/KQVSettings.h"
#include "tests/support/TestPaths.h"

namespace kq::test {
namespace {

constexpr DWORD kDialogWaitMs = 30000;
constexpr DWORD kCloseWaitMs = 15000;
constexpr DWORD kSettleMs = 1500;  // the dialog fills in its controls and gets its set
constexpr DWORD kSendTimeoutMs = 10000;

constexpr const char* kDialogSetValues[] = {
    kShiftCaptionButton,
    kCaptionButtonSkinType,
    kDlgTranspaency,
    kDlgResize,
    kDlgWidth,
    kDlgHeight,
    kViewStyle,
    kArrangeIconsBy,
    kHideFavoritesButton,
    kHideHistoryButton,
    kDisableTrickForGettingFolder,
};

ScopedKey OpenSettings() {
  ScopedKey key;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    ADD_FAILURE_AT(__FILE__, __LINE__) << "settings key not created";
  return key;
}

}  // namespace

SettingsKey::SettingsKey() { RemoveAll(); }
SettingsKey::~SettingsKey() { RemoveAll(); }

void SettingsKey::Set(const char* name, const std::string& text) const {
  ScopedKey key = OpenSettings();
  ASSERT_EQ(::RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
            ERROR_SUCCESS)
      << name;
}

void SettingsKey::SetDword(const char* name, DWORD value) const {
  ScopedKey key = OpenSettings();
  ASSERT_EQ(::RegSetValueExA(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)),
            ERROR_SUCCESS)
      << name;
}

void SettingsKey::Remove(const char* name) const {
  ScopedKey key;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
    ::RegDeleteValueA(key.get(), name);
}

void SettingsKey::RemoveAll() {
  ScopedKey key;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
  for (const char* name : kDialogSetValues) ::RegDeleteValueA(key.get(), name);
}

OpenedDialog::OpenedDialog(const std::string& mode, const std::string& title, const std::vector<std::string>& extra) {
  std::vector<std::string> args = {mode, "--title", title};
  args.insert(args.end(), extra.begin(), extra.end());
  if (!process_.Start(HelperPath("dialog_opener.exe"), args)) return;
  dialog_ = process_.WaitForWindowOfClass("#32770", kDialogWaitMs);
  if (dialog_) PumpMessagesFor(kSettleMs);
}

OpenedDialog::~OpenedDialog() {
  if (dialog_ && ::IsWindow(dialog_)) ::PostMessageA(dialog_, WM_COMMAND, IDCANCEL, 0);
  if (process_.Running() && !process_.WaitForExit(kCloseWaitMs)) process_.Terminate();
}

ScreenPixels::ScreenPixels(const RECT& area) {
  const int width = area.right - area.left, height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return;
  ScopedWindowDC screen(nullptr, ::GetDC(nullptr));
  ScopedMemoryDC memory(::CreateCompatibleDC(screen.get()));
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  ScopedBitmap bitmap(::CreateDIBSection(memory.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || !bits) return;
  {
    ScopedSelectObject select(memory.get(), bitmap.get());
    if (!::BitBlt(memory.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY)) return;
  }
  ::GdiFlush();
  const auto* source = static_cast<const uint32_t*>(bits);
  pixels_.assign(source, source + static_cast<size_t>(width) * height);
  for (uint32_t& p : pixels_) p &= 0xFFFFFF;
  width_ = width;
  height_ = height;
}

int ScreenPixels::CountDifferent(const ScreenPixels& other, int tolerance) const {
  if (other.width_ != width_ || other.height_ != height_) return width_ * height_;
  int count = 0;
  for (size_t i = 0; i < pixels_.size(); ++i) {
    const uint32_t a = pixels_[i], b = other.pixels_[i];
    if (std::abs(Red(a) - Red(b)) > tolerance || std::abs(Green(a) - Green(b)) > tolerance ||
        std::abs(Blue(a) - Blue(b)) > tolerance)
      ++count;
  }
  return count;
}

void ScreenPixels::Save(const std::string& name) const {
  if (Empty()) return;
  const std::string path = ArtifactsDirectory() + name + ".bmp";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof(header);
  header.biWidth = width_;
  header.biHeight = -height_;
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  const DWORD pixelBytes = static_cast<DWORD>(pixels_.size() * sizeof(uint32_t));
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = file.bfOffBits + pixelBytes;
  std::fwrite(&file, sizeof(file), 1, f);
  std::fwrite(&header, sizeof(header), 1, f);
  std::fwrite(pixels_.data(), 1, pixelBytes, f);
  std::fclose(f);
}

RECT CaptionButtonRect(HWND wnd, int index, int rightOffset) {
  TKQCaptionButtons layout(nullptr);
  layout.AddButton(nullptr, kFavoritesTag, kButtonSpacing, nullptr, false);
  layout.AddButton(nullptr, kHistoryTag, kButtonSpacing, nullptr, false);
  layout.SetRightOffset(rightOffset);
  return layout.GetButtonRect(wnd, index, false);
}

bool SendRegistered(HWND wnd, const char* name, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutA(wnd, ::RegisterWindowMessageA(name), wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                               &result) != 0;
}

}  // namespace kq::test
