// The Favourites and History button set attached to every recognised dialog and Explorer window:
// presses are reported to the host, the host's folder commands are carried out, and the user's
// settings are applied to the window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "captionbuttons/KQCaptionButton.h"
#include "shellwindows/KQWindowKind.h"

namespace kq {

// The buttons' tags, in the order the hook adds them: button 0 sits next to the window's own
// caption buttons.
constexpr int kFavoritesTag = 0;
constexpr int kHistoryTag = 1;
constexpr int kButtonSpacing = 1;

void StartupDialogButtons();
void ShutdownDialogButtons();
void ShutdownFolderCommands();

class TKQVCaptionButtons : public TKQCaptionButtons {
 public:
  explicit TKQVCaptionButtons(HWND wnd);
  ~TKQVCaptionButtons() override = default;

  void WndProc(TMessage& message) override;
  void ButtonDown(int index, bool rightButton) override;

  // Called by the hook once both buttons are added, so a new set shows its settings at once.
  void ButtonsAdded();

  // User settings: read from the registry and applied to the window.
  void ReadSettings();

  // Dialog enhancements.
  void SetSkin(uint8_t type);
  void SetTransparency(int32_t value);
  void ApplyDialogSize();
  void SetViewStyle(uint8_t value);
  void SetArrangeIconsBy(uint8_t value);

  // Folder commands.
  std::string GetWindowFolder();
  void ApplyInitialFolder();
  void RememberClosingFolder();
  void ReportLastFolder();
  static void ReportFolder(HWND wnd, const std::string& path);

  uint8_t SkinType = 0;
  int32_t Transparency = 0;
  bool ResizeDialog = false;
  int32_t DialogWidth = 0;
  int32_t DialogHeight = 0;
  TWindowKind Kind = wkNone;
  uint8_t ViewStyle = 0;
  uint8_t ArrangeIconsBy = 0;
  bool InitialFolderApplied = false;
  // The folder the window showed when it was last told to close (OK or Cancel), taken before the
  // dialog's own handling: some file dialogs let go of their folder on that command, before
  // WM_DESTROY.
  bool ClosingFolderTaken = false;
  std::string ClosingFolder;
  bool HideFavoritesButton = false;
  bool HideHistoryButton = false;
  bool DisableTrickForGettingFolder = false;

 private:
  // The dialog set's messages, before the framework's: true when the message stops here (its
  // Result written), false when it goes on to the framework and the window.
  bool HandleDialogMessage(TMessage& message);
  bool OnCopyData(TMessage& message);
  bool OnCommand(TMessage& message);
  bool OnDestroy(TMessage& message);
  bool OnUpdateButton(TMessage& message);
  bool OnGetDlgFolder(TMessage& message);
  bool OnObjectSel(TMessage& message);
  bool OnManage(TMessage& message);

  LRESULT SetFolderCommand(const COPYDATASTRUCT& record);
  void RememberObjectSelFolder(LPARAM lParam);
};

class TKQVCaptionButtonsLst : public TKQCaptionButtonsLst {
 public:
  std::unique_ptr<TKQCaptionButtons> CreateButtons(HWND wnd) override;
};

}  // namespace kq
