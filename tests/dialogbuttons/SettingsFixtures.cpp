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
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, kHostKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) !=
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
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kHostKey, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
    ::RegDeleteValueA(key.get(), name);
}

void SettingsKey::RemoveAll() {
  ScopedKey key;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kHostKey, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
  for (const char* name : kDialogSetValues) ::RegDeleteValueA(key.get(), name);
}

bool SendRegistered(HWND wnd, const char* name, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutA(wnd, ::RegisterWindowMessageA(name), wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                               &result) != 0;
}

}  // namespace kq::test
