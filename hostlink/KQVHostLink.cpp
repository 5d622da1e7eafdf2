#include "hostlink/KQVHostLink.h"

#include "common/KQGuard.h"
#include "common/KQScoped.h"
#include "common/KQUtils.h"
#include "common/KQModuleEntry.h"

namespace kq {

UINT ManageMsg = 0;
UINT InitButtonsMsg = 0;
UINT AppIsDisabledMsg = 0;
UINT GetDlgFolderMsg = 0;
UINT ObjectSelMsg = 0;

namespace {

// The size a section was created with, from ntdll (resolved at run time: the library imports no
// ntdll entry). A view covers whole pages, so only the section knows how much of it is the
// object; Wine answers the page-rounded size for sections without a file.
struct SectionBasicInformation {
  PVOID BaseAddress;
  ULONG Attributes;
  LARGE_INTEGER Size;
};
constexpr int kSectionBasicInformation = 0;
using NtQuerySectionProc = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);

NtQuerySectionProc g_QuerySection = nullptr;  // resolved at start-up
using GetDpiForWindowProc = UINT(WINAPI*)(HWND);
GetDpiForWindowProc g_GetDpiForWindow = nullptr;  // resolved at start-up

// Whether the section behind mapping holds fewer than size bytes. Unknown sizes are not smaller:
// the view's own extent still bounds every access.
bool SectionSmallerThan(HANDLE mapping, size_t size) {
  NtQuerySectionProc query = g_QuerySection;
  if (!query) return false;
  SectionBasicInformation info = {};
  if (query(mapping, kSectionBasicInformation, &info, sizeof(info), nullptr) != 0) return false;
  return info.Size.QuadPart >= 0 && static_cast<ULONGLONG>(info.Size.QuadPart) < size;
}

// The bytes from the start of view that can be used with the given access without a fault: its
// first region, if that is committed and not guarded.
SIZE_T UsableViewBytes(const void* view, DWORD access) {
  MEMORY_BASIC_INFORMATION info = {};
  if (::VirtualQuery(view, &info, sizeof(info)) != sizeof(info)) return 0;
  if (info.State != MEM_COMMIT) return 0;
  if (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)) return 0;
  if (access == FILE_MAP_WRITE) {
    constexpr DWORD kWritable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    if (!(info.Protect & kWritable)) return 0;
  }
  const char* start = static_cast<const char*>(view);
  const char* regionStart = static_cast<const char*>(info.BaseAddress);
  if (start < regionStart || start >= regionStart + info.RegionSize) return 0;
  return info.RegionSize - static_cast<SIZE_T>(start - regionStart);
}

// One access to the shared block: opened and mapped whole on construction, unmapped and closed
// on destruction. Empty when the block is absent, cannot be mapped or is too small to hold the
// fields: the mapping may have been created by any program, with any size.
class SharedBlockView {
 public:
  explicit SharedBlockView(DWORD access) {
    // The query right lets the section tell its size; a block created without it is still used.
    mapping_.reset(::OpenFileMappingA(access | SECTION_QUERY, FALSE, kSharedBlockName));
    if (!mapping_ && ::GetLastError() == ERROR_ACCESS_DENIED)
      mapping_.reset(::OpenFileMappingA(access, FALSE, kSharedBlockName));
    if (!mapping_) return;
    view_.reset(::MapViewOfFile(mapping_.get(), access, 0, 0, 0));
    if (!view_) return;
    if (UsableViewBytes(view_.get(), access) < kSharedBlockSize) return;
    if (SectionSmallerThan(mapping_.get(), kSharedBlockSize)) return;
    block_ = static_cast<SharedBlock*>(view_.get());
  }

  SharedBlock* get() const { return block_; }
  SharedBlock* operator->() const { return block_; }
  explicit operator bool() const { return block_ != nullptr; }

 private:
  // Declared in this order so that the view is unmapped before the mapping is closed.
  ScopedHandle mapping_;
  ScopedMappedView view_;
  SharedBlock* block_ = nullptr;
};

bool ReadFlag(uint8_t SharedBlock::*field) {
  return Guarded(false, [&] {
    SharedBlockView block(FILE_MAP_READ);
    return block && block.get()->*field != 0;
  });
}

std::string ReadText(char (SharedBlock::*field)[kBlockTextField]) {
  return Guarded(std::string(), [&] {
    SharedBlockView block(FILE_MAP_READ);
    return block ? FieldText(block.get()->*field, kBlockTextField) : std::string();
  });
}

}  // namespace

void SetProbeActive(bool value) {
  Guard([&] {
    SharedBlockView block(FILE_MAP_WRITE);
    if (block) block->ProbeActive = value ? 1 : 0;
  });
}

bool IsProbeActive() { return ReadFlag(&SharedBlock::ProbeActive); }

bool IsDoubleClickMenuEnabled() { return ReadFlag(&SharedBlock::DoubleClickMenu); }

void WriteProbedFolder(const std::string& path) {
  Guard([&] {
    SharedBlockView block(FILE_MAP_WRITE);
    if (block) PutFieldText(block->ProbedFolder, kBlockTextField, path);
  });
}

std::string ReadProbedFolder() { return ReadText(&SharedBlock::ProbedFolder); }

std::string ReadHostFolder() { return ReadText(&SharedBlock::HostFolder); }

bool IsSharedBlockWritable() {
  return Guarded(false, [] { return static_cast<bool>(SharedBlockView(FILE_MAP_WRITE)); });
}

HWND GetHostWindow() {
  HWND stored = Guarded(HWND(nullptr), [] {
    SharedBlockView block(FILE_MAP_READ);
    return block ? BlockValueToWindow(block->HostWindow) : HWND(nullptr);
  });
  if (stored && ::IsWindow(stored)) return stored;
  return ::FindWindowA(kHostWindowClass, nullptr);
}

POINT ToHostPoint(HWND from, HWND host, POINT point) {
  if (!g_GetDpiForWindow || !from || !host) return point;
  const int fromDpi = static_cast<int>(g_GetDpiForWindow(from));
  const int hostDpi = static_cast<int>(g_GetDpiForWindow(host));
  if (fromDpi <= 0 || hostDpi <= 0 || fromDpi == hostDpi) return point;
  return {::MulDiv(point.x, hostDpi, fromDpi), ::MulDiv(point.y, hostDpi, fromDpi)};
}

LPARAM HostPointLParam(HWND from, POINT point) {
  const POINT host = ToHostPoint(from, GetHostWindow(), point);
  return MakeLParam(host.x, host.y);
}

bool IsAppDisabled(HWND wnd) {
  return Guarded(false, [&] {
    DWORD_PTR answer = 0;
    return SendToHost(AppIsDisabledMsg, reinterpret_cast<WPARAM>(wnd), 0, &answer) && answer == 1;
  });
}

bool SendToHost(UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR* answer) {
  if (msg == 0) return false;  // not registered: nothing the host would understand
  HWND host = GetHostWindow();
  if (!host) return false;
  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutA(host, msg, wParam, lParam, kHostSendFlags, kHostAnswerTimeoutMs, &result)) return false;
  if (answer) *answer = result;
  return true;
}

bool SendCopyDataToHost(ULONG_PTR kind, WPARAM wParam, const void* data, DWORD size) {
  COPYDATASTRUCT record = {};
  record.dwData = kind;
  record.cbData = size;
  record.lpData = const_cast<void*>(data);
  return SendToHost(WM_COPYDATA, wParam, reinterpret_cast<LPARAM>(&record));
}

DialogFolderRecord MakeDialogFolderRecord(HWND dialog, const std::string& path) {
  DialogFolderRecord record = {};
  record.Wnd = WindowToBlockValue(dialog);
  PutFieldText(record.Path, kDialogFolderPathField, path);
  return record;
}

void StartupHostLink() {
  ObjectSelMsg = ::RegisterWindowMessageA(kObjectSelMsgName);
  g_QuerySection = ModuleEntry<NtQuerySectionProc>(::GetModuleHandleA("ntdll.dll"), "NtQuerySection");
  g_GetDpiForWindow = ModuleEntry<GetDpiForWindowProc>(::GetModuleHandleA("user32.dll"), "GetDpiForWindow");
}

void RegisterManageMsg() { ManageMsg = ::RegisterWindowMessageA(kManageMsgName); }

void RegisterHookMessages() {
  InitButtonsMsg = ::RegisterWindowMessageA(kInitButtonsMsgName);
  AppIsDisabledMsg = ::RegisterWindowMessageA(kAppIsDisabledMsgName);
  GetDlgFolderMsg = ::RegisterWindowMessageA(kGetDlgFolderMsgName);
}

}  // namespace kq
