#include "dialogbuttons/KQVSettings.h"

#include <windows.h>

#include "common/KQGuard.h"
#include "common/KQRegistry.h"
#include "common/KQUtils.h"
#include "dialogbuttons/KQVCaptionButton.h"

namespace kq {

void TKQVCaptionButtons::ReadSettings() {
  // Full access, though only read: a key that grants reading but not full access reads as if
  // every value were missing.
  TKQRegIniFile reg(KEY_ALL_ACCESS);
  const std::string key = ProductKeyPath();

  // The first group shares one guard: a failure ends it and skips the second group.
  const bool firstGroupRead = Guard([&] {
    SetRightOffset(reg.ReadInteger(key, kShiftCaptionButton, kDefaultShift));
    SetSkin(static_cast<uint8_t>(reg.ReadInteger(key, kCaptionButtonSkinType, kDefaultSkinType)));
    SetTransparency(reg.ReadInteger(key, kDlgTranspaency, kDefaultTransparency));
    ResizeDialog = reg.ReadBool(key, kDlgResize, kDefaultResize);
    DialogWidth = reg.ReadInteger(key, kDlgWidth, kDefaultDialogWidth);
    DialogHeight = reg.ReadInteger(key, kDlgHeight, kDefaultDialogHeight);
  });

  const bool shownBefore = HasVisibleButtons();
  if (firstGroupRead) {
    Guard([&] { SetViewStyle(static_cast<uint8_t>(reg.ReadInteger(key, kViewStyle, kDefaultViewStyle))); });
    Guard([&] {
      SetArrangeIconsBy(static_cast<uint8_t>(reg.ReadInteger(key, kArrangeIconsBy, kDefaultArrangeIconsBy)));
    });
    Guard([&] {
      HideFavoritesButton = reg.ReadBool(key, kHideFavoritesButton, kDefaultHideButton);
      if (TKQCaptionButton* button = Button(0)) button->Visible = !HideFavoritesButton;
    });
    Guard([&] {
      HideHistoryButton = reg.ReadBool(key, kHideHistoryButton, kDefaultHideButton);
      if (TKQCaptionButton* button = Button(1)) button->Visible = !HideHistoryButton;
    });
    Guard(
        [&] { DisableTrickForGettingFolder = reg.ReadBool(key, kDisableTrickForGettingFolder, kDefaultDisableTrick); });
  }
  // The frames take a skin only while a button is visible: buttons this reading shows again get
  // the skin in force now, not the frames of an older one (or none, for a set made hidden).
  if (!shownBefore && HasVisibleButtons()) Guard([&] { SetSkin(SkinType); });

  Guard([&] { Refresh(); });
  Guard([&] { ApplyDialogSize(); });
}

}  // namespace kq
