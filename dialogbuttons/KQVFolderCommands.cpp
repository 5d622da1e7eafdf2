// The host's folder commands carried out by a dialog button set: go to a folder, tell the
// folder, open in the host's start folder, and report the last folder at close.
#include <windows.h>

#include <algorithm>
#include <optional>

#include "common/KQLock.h"
#include "common/KQPathCheck.h"
#include "common/KQProcessStatic.h"
#include "common/KQTrace.h"
#include "common/KQUtils.h"
#include "dialogbuttons/KQVCaptionButton.h"
#include "hostlink/KQVHostLink.h"
#include "shellwindows/KQDialogFolder.h"
#include "shellwindows/KQWindowKind.h"

namespace kq {
namespace {

// The lParam values of "WM_OBJECTSEL" after which a version-9 Office dialog's folder is kept.
constexpr LPARAM kObjectSelFolderEvents[] = {29, 31, 36};

// The folder read at the last qualifying "WM_OBJECTSEL" of any set of this process.
ProcessStatic<TLock> g_LastObjectSelLock;
ProcessStatic<std::string> g_LastObjectSelFolder;

std::string LastObjectSelFolder() {
  TLockGuard lock(*g_LastObjectSelLock);
  return *g_LastObjectSelFolder;
}

}  // namespace

LRESULT TKQVCaptionButtons::SetFolderCommand(const COPYDATASTRUCT& record) {
  const std::optional<std::string> folder = SetFolderRecordPath(record);
  if (!folder) return 0;
  if (SetDialogFolder(Wnd(), *folder)) return 1;
  if (Tracing())
    TraceLine("host record 0x%llX refused: the window did not go to \"%s\"",
              static_cast<unsigned long long>(record.dwData), folder->c_str());
  return 0;
}

std::string TKQVCaptionButtons::GetWindowFolder() {
  return kq::GetWindowFolder(Wnd(), Kind, DisableTrickForGettingFolder);
}

void TKQVCaptionButtons::RememberObjectSelFolder(LPARAM lParam) {
  if (IsProbeActive()) return;
  if (!IsSnakeListOfficeKind(Kind)) return;
  if (!IsVersion9Process(Wnd())) return;
  if (std::find(std::begin(kObjectSelFolderEvents), std::end(kObjectSelFolderEvents), lParam) ==
      std::end(kObjectSelFolderEvents))
    return;
  std::string folder = GetWindowFolder();
  TLockGuard lock(*g_LastObjectSelLock);
  *g_LastObjectSelFolder = std::move(folder);
}

namespace {
// The kinds whose last folder is asked of the window itself when it closes.
bool AsksWindowForLastFolder(TWindowKind kind) { return !IsOlderOfficeKind(kind) && kind != wkOfficeMso96; }
}  // namespace

void TKQVCaptionButtons::RememberClosingFolder() {
  if (!GetHostWindow() || !AsksWindowForLastFolder(Kind)) return;
  if (IsSnakeListOfficeKind(Kind) && IsVersion9Process(Wnd())) return;
  ClosingFolder = GetWindowFolder();
  ClosingFolderTaken = true;
}

void TKQVCaptionButtons::ReportLastFolder() {
  HWND wnd = Wnd();
  if (!GetHostWindow()) return;  // the report would be lost: ask the window nothing
  if (IsSnakeListOfficeKind(Kind) && IsVersion9Process(wnd)) {
    ReportFolder(wnd, LastObjectSelFolder());
  } else if (AsksWindowForLastFolder(Kind)) {
    // A dialog closes through OK or Cancel, so the folder taken then is its last one; an OK that
    // only opened a typed folder is followed by another command that takes it again.
    ReportFolder(wnd, ClosingFolderTaken ? ClosingFolder : GetWindowFolder());
  }
}

void TKQVCaptionButtons::ReportFolder(HWND wnd, const std::string& path) {
  std::string folder = path;
  // A folder that does not answer is not reported: the closing dialog does not wait for it.
  // The path is asked once; only a file's folder is asked again.
  const PathAnswer answer = PathAttributesWithin(folder);
  if (IsFileAnswer(answer)) {
    folder = ParentFolderOfItem(folder);
    if (folder.empty() || !DirectoryAnswers(folder)) return;
  } else if (folder.empty() || !IsDirectoryAnswer(answer)) {
    return;
  }
  ReportDialogFolder(wnd, folder);  // a path the host's record cannot name exactly is not sent
}

void TKQVCaptionButtons::ApplyInitialFolder() {
  if (InitialFolderApplied) return;
  InitialFolderApplied = true;  // asked once, whatever the answer
  HWND wnd = Wnd();
  // No answer in time means no start folder: HostFolder then holds nothing written for us.
  if (!SendToHost(ManageMsg, kManageAskStartFolder, reinterpret_cast<LPARAM>(wnd))) return;
  const std::string path = ReadHostFolder();
  if (!path.empty() && DirectoryAnswers(path)) SetDialogFolder(wnd, path);
}

void ShutdownFolderCommands() {
  TLockGuard lock(*g_LastObjectSelLock);
  g_LastObjectSelFolder->clear();
  g_LastObjectSelFolder->shrink_to_fit();
}

}  // namespace kq
