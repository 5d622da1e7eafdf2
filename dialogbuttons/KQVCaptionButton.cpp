#include "dialogbuttons/KQVCaptionButton.h"

#include "common/KQGuard.h"
#include "common/KQUtils.h"
#include "hostlink/KQVHostLink.h"
#include "shellwindows/KQWindowKind.h"

namespace kq {

void StartupDialogButtons() { RegisterManageMsg(); }

void ShutdownDialogButtons() { ShutdownFolderCommands(); }

TKQVCaptionButtons::TKQVCaptionButtons(HWND wnd) : TKQCaptionButtons(wnd) {
  Kind = ClassifyWindow(wnd);
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
    const RECT r = GetButtonRect(Wnd(), index, false);
    const LPARAM point = HostPointLParam(Wnd(), {r.left, r.bottom});
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
  if (!HandleDialogMessage(message)) TKQCaptionButtons::WndProc(message);
}

bool TKQVCaptionButtons::HandleDialogMessage(TMessage& message) {
  switch (message.Msg) {
    case WM_COPYDATA:
      return OnCopyData(message);
    case WM_COMMAND:
      return OnCommand(message);
    case WM_DESTROY:
      return OnDestroy(message);
  }
  // Registered messages have no fixed numbers: they are told apart in this order.
  if (message.Msg == UpdateButtonMsg) return OnUpdateButton(message);
  if (message.Msg == GetDlgFolderMsg) return OnGetDlgFolder(message);
  if (message.Msg == ObjectSelMsg) return OnObjectSel(message);
  if (message.Msg == ManageMsg) return OnManage(message);
  return false;
}

bool TKQVCaptionButtons::OnCopyData(TMessage& message) {
  const auto* record = reinterpret_cast<const COPYDATASTRUCT*>(message.LParam);
  const bool isSetFolder =
      Guarded(false, [&] { return ::IsWindow(Wnd()) && record && IsSetFolderRecord(record->dwData); });
  if (!isSetFolder) return false;
  message.Result = Guarded<LRESULT>(0, [&] { return SetFolderCommand(*record); });
  return true;
}

bool TKQVCaptionButtons::OnCommand(TMessage& message) {
  const WORD command = LOWORD(message.WParam);
  if (command == IDOK || command == IDCANCEL) Guard([&] { RememberClosingFolder(); });
  return false;
}

bool TKQVCaptionButtons::OnDestroy(TMessage& message) {
  Guard([&] { ReportLastFolder(); });
  return false;
}

bool TKQVCaptionButtons::OnUpdateButton(TMessage& message) {
  Guard([&] { ReadSettings(); });
  message.Result = 0;
  return true;
}

bool TKQVCaptionButtons::OnGetDlgFolder(TMessage& message) {
  // 1 tells the host that ProbedFolder holds the answer; without a usable block there is none.
  message.Result = Guarded<LRESULT>(0, [&] {
    GetWindowFolder();
    return IsSharedBlockWritable() ? 1 : 0;
  });
  return true;
}

bool TKQVCaptionButtons::OnObjectSel(TMessage& message) {
  Guard([&] { RememberObjectSelFolder(message.LParam); });
  return false;
}

bool TKQVCaptionButtons::OnManage(TMessage& message) {
  message.Result = 0;
  if (message.WParam == kManageGoToStartFolder) {
    Guard([&] { ApplyInitialFolder(); });
  } else if (message.WParam == kManageRemoveButtons) {
    // Destroys this set: nothing of it may be touched afterwards.
    if (TKQCaptionButtonsLst* owner = Owner()) owner->Remove(Wnd());
  }
  return true;
}

std::unique_ptr<TKQCaptionButtons> TKQVCaptionButtonsLst::CreateButtons(HWND wnd) {
  return std::make_unique<TKQVCaptionButtons>(wnd);
}

}  // namespace kq
