// Where the host keeps the user's settings, and the names and defaults of the values the library
// reads there. Every value is a string holding a decimal integer; a Boolean is 0 (false) or not.
#pragma once

#include <cstdint>
#include <string>

namespace kq {

class TKQRegIniFile;

// The settings live in ProductKeyPath() (common/KQRegistry.h), below HKEY_CURRENT_USER.

// The dialog set's values.
constexpr char kShiftCaptionButton[] = "ShiftCaptionButton";
constexpr char kCaptionButtonSkinType[] = "CaptionButtonSkinType";
constexpr char kDlgTranspaency[] = "DlgTranspaency";
constexpr char kDlgResize[] = "DlgResize";
constexpr char kDlgWidth[] = "DlgWidth";
constexpr char kDlgHeight[] = "DlgHeight";
constexpr char kViewStyle[] = "ViewStyle";
constexpr char kArrangeIconsBy[] = "ArrangeIconsBy";
constexpr char kHideFavoritesButton[] = "HideFavoritesButton";
constexpr char kHideHistoryButton[] = "HideHistoryButton";
constexpr char kDisableTrickForGettingFolder[] = "DisableTrickForGettingFolder";

constexpr int32_t kDefaultShift = 0;
constexpr int32_t kDefaultSkinType = 0;
constexpr int32_t kDefaultTransparency = 255;
constexpr bool kDefaultResize = false;
constexpr int32_t kDefaultDialogWidth = 428;
constexpr int32_t kDefaultDialogHeight = 294;
constexpr int32_t kDefaultViewStyle = 0;
constexpr int32_t kDefaultArrangeIconsBy = 0;
constexpr bool kDefaultHideButton = false;
constexpr bool kDefaultDisableTrick = true;

// Every value is read with TKQRegIniFile::ReadInteger or ReadBool: the default when the value is
// missing or not a decimal integer; a value of another registry type is a read failure (the
// reader throws).

}  // namespace kq
