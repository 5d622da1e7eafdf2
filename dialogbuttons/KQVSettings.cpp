#include "dialogbuttons/KQVSettings.h"

#include <windows.h>

#include "common/KQGuard.h"
#include "common/KQRegistry.h"
#include "common/KQUtils.h"
#include "dialogbuttons/KQVCaptionButton.h"

namespace kq {

int32_t ParseDecimal(const std::string& text, int32_t fallback) {
  int value = 0;
  return TryParseInteger(text, value) ? value : fallback;
}

int32_t ReadIntegerSetting(TKQRegIniFile& reg, const std::string& section, const char* ident, int32_t fallback) {
  const std::string missing;  // an absent value reads as "", which is no number
  return ParseDecimal(reg.ReadString(section, ident, missing), fallback);
}

bool ReadBoolSetting(TKQRegIniFile& reg, const std::string& section, const char* ident, bool fallback) {
  return ReadIntegerSetting(reg, section, ident, fallback ? 1 : 0) != 0;
}

void TKQVCaptionButtons::ReadSettings() {
  TKQRegIniFile reg(KEY_ALL_ACCESS);
  const std::string key = ProductKeyPath();

  // The first group shares one guard: a failure ends it and skips the second group.
  const bool firstGroupRead = Guard([&] {
    SetRightOffset(ReadIntegerSetting(reg, key, kShiftCaptionButton, kDefaultShift));
    SetSkin(static_cast<uint8_t>(ReadIntegerSetting(reg, key, kCaptionButtonSkinType, kDefaultSkinType)));
    SetTransparency(ReadIntegerSetting(reg, key, kDlgTranspaency, kDefaultTransparency));
    ResizeDialog = ReadBoolSetting(reg, key, kDlgResize, kDefaultResize);
    DialogWidth = ReadIntegerSetting(reg, key, kDlgWidth, kDefaultDialogWidth);
    DialogHeight = ReadIntegerSetting(reg, key, kDlgHeight, kDefaultDialogHeight);
  });

  const bool shownBefore = HasVisibleButtons();
  if (firstGroupRead) {
    Guard([&] { SetViewStyle(static_cast<uint8_t>(ReadIntegerSetting(reg, key, kViewStyle, kDefaultViewStyle))); });
    Guard([&] {
      SetArrangeIconsBy(static_cast<uint8_t>(ReadIntegerSetting(reg, key, kArrangeIconsBy, kDefaultArrangeIconsBy)));
    });
    Guard([&] {
      HideFavoritesButton = ReadBoolSetting(reg, key, kHideFavoritesButton, kDefaultHideButton);
      if (TKQCaptionButton* button = Button(0)) button->Visible = !HideFavoritesButton;
    });
    Guard([&] {
      HideHistoryButton = ReadBoolSetting(reg, key, kHideHistoryButton, kDefaultHideButton);
      if (TKQCaptionButton* button = Button(1)) button->Visible = !HideHistoryButton;
    });
    Guard([&] {
      DisableTrickForGettingFolder = ReadBoolSetting(reg, key, kDisableTrickForGettingFolder, kDefaultDisableTrick);
    });
  }
  // The frames take a skin only while a button is visible: buttons this reading shows again get
  // the skin in force now, not the frames of an older one (or none, for a set made hidden).
  if (!shownBefore && HasVisibleButtons()) Guard([&] { SetSkin(SkinType); });

  Guard([&] { Refresh(); });
  Guard([&] { ApplyDialogSize(); });
}

}  // namespace kq
