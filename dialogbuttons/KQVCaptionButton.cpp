#include "dialogbuttons/KQVCaptionButton.h"

#include "common/KQGuard.h"
#include "common/KQUtils.h"
#include "hostlink/KQVHostLink.h"
#include "shellwindows/KQWindowKind.h"

namespace kq {

void StartupDialogButtons() { RegisterManageMsg(); }

void ShutdownDialogButtons() { ShutdownFolderCommands(); }

TKQVCaptionButtons::TKQVCaptionButtons(HWND wnd) : TKQCaptionButtons(wnd) {
  Kind = static_cast<uint8_t>(ClassifyWindow(wnd));
  ViewStyle = 0;
  ArrangeIconsBy = 0;
  InitialFolderApplied = false;
  ReadSettings();
}

void TKQVCaptionButtons::ButtonsAdded() {
  // The skin was read before the set had buttons, when the frames could not take it.
  Guard([&] { SetSkin(SkinType); });
}

void TKQVCaptionButtons::ButtonDown(int index, bool rightButton) {
  Guard([&] {
    const TKQCaptionButton* button = Button(index);
    if (!button) return;
    RECT r = GetButtonRect(Wnd(), index, false);
    LPARAM point = MakeLParam(r.left, r.bottom);
    WPARAM code;
    if (rightButton) {
      code = kManageRightButtonDown;
    } else if (button->Tag == kFavoritesTag) {
      code = kManageFavoritesMenu;
    } else if (button->Tag == kHistoryTag) {
      code = kManageHistoryMenu;
    } else {
      return;
    }
    ::PostMessageA(GetHostWindow(), ManageMsg, code, point);
  });
}

void TKQVCaptionButtons::WndProc(TMessage& message) {
  const UINT msg = message.Msg;
  HWND wnd = Wnd();

  if (msg == WM_COPYDATA) {
    const auto* record = reinterpret_cast<const COPYDATASTRUCT*>(message.LParam);
    bool isSetFolder = Guarded(false, [&] { return ::IsWindow(wnd) && record && record->dwData == CopyDataSetFolder; });
    if (isSetFolder) {
      message.Result = Guarded<LRESULT>(0, [&] { return SetFolderCommand(*record); });
      return;
    }
  } else if (msg == UpdateButtonMsg) {
    Guard([&] { ReadSettings(); });
    message.Result = 0;
    return;
  } else if (msg == WM_COMMAND && (LOWORD(message.WParam) == IDOK || LOWORD(message.WParam) == IDCANCEL)) {
    Guard([&] { RememberClosingFolder(); });
  } else if (msg == WM_DESTROY) {
    Guard([&] { ReportLastFolder(); });
  } else if (msg == GetDlgFolderMsg) {
    // 1 tells the host that ProbedFolder holds the answer; without a usable block there is none.
    message.Result = Guarded<LRESULT>(0, [&] {
      GetWindowFolder();
      return IsSharedBlockWritable() ? 1 : 0;
    });
    return;
  } else if (msg == ObjectSelMsg) {
    Guard([&] { RememberObjectSelFolder(message.LParam); });
  } else if (msg == ManageMsg) {
    message.Result = 0;
    if (message.WParam == kManageGoToStartFolder) {
      Guard([&] { ApplyInitialFolder(); });
    } else if (message.WParam == kManageRemoveButtons) {
      // Destroys this set: nothing of it may be touched afterwards.
      if (TKQCaptionButtonsLst* owner = Owner()) owner->Remove(wnd);
    }
    return;
  }
  TKQCaptionButtons::WndProc(message);
}

std::unique_ptr<TKQCaptionButtons> TKQVCaptionButtonsLst::CreateButtons(HWND wnd) {
  return std::make_unique<TKQVCaptionButtons>(wnd);
}

}  // namespace kq
