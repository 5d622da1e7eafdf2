#include "hostlink/KQVHostLink.h"

#include <vector>

#include "common/KQGuard.h"
#include "common/KQScoped.h"
#include "common/KQUtils.h"
#include "common/KQModuleEntry.h"
#include "common/KQText.h"
#include "common/KQTrace.h"

namespace kq {

UINT ManageMsg = 0;
UINT InitButtonsMsg = 0;
UINT AppIsDisabledMsg = 0;
UINT GetDlgFolderMsg = 0;
UINT ObjectSelMsg = 0;

namespace {

// The size a section was created with, from ntdll (resolved at run time: the library imports no
// ntdll entry). A view covers whole pages, so only the section knows how much of it is the
// object; Wine answers the page-rounded size for sections without a file. The system headers
// declare neither the query, its record nor its class number.
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
    const SIZE_T usable = UsableViewBytes(view_.get(), access);
    if (usable < kSharedBlockSize) return;
    if (SectionSmallerThan(mapping_.get(), kSharedBlockSize)) return;
    block_ = static_cast<SharedBlock*>(view_.get());
    if (usable < kSharedBlockUtf8Size || SectionSmallerThan(mapping_.get(), kSharedBlockUtf8Size)) return;
    auto* utf8 = reinterpret_cast<SharedBlockUtf8*>(static_cast<char*>(view_.get()) + kSharedBlockSize);
    if (utf8->Marker == kUtf8HostMarker) utf8_ = utf8;
  }

  SharedBlock* get() const { return block_; }
  // The UTF-8 part, when the host reads UTF-8; null otherwise.
  SharedBlockUtf8* utf8() const { return utf8_; }
  SharedBlock* operator->() const { return block_; }
  explicit operator bool() const { return block_ != nullptr; }

 private:
  // Declared in this order so that the view is unmapped before the mapping is closed.
  ScopedHandle mapping_;
  ScopedMappedView view_;
  SharedBlock* block_ = nullptr;
  SharedBlockUtf8* utf8_ = nullptr;
};

bool ReadFlag(uint8_t SharedBlock::*field) {
  return Guarded(false, [&] {
    SharedBlockView block(FILE_MAP_READ);
    return block && block.get()->*field != 0;
  });
}

// A text field of the block in UTF-8: the UTF-8 field for a host that reads UTF-8, else the ANSI
// one converted.
std::string ReadText(char (SharedBlock::*field)[kBlockTextField], char (SharedBlockUtf8::*utf8Field)[kUtf8TextField]) {
  return Guarded(std::string(), [&] {
    SharedBlockView block(FILE_MAP_READ);
    if (!block) return std::string();
    if (block.utf8()) return FieldText(block.utf8()->*utf8Field, kUtf8TextField);
    return FromHostAnsi(FieldText(block.get()->*field, kBlockTextField));
  });
}

// Whether text converts from UTF-16 to the code page without a replacement or a look-alike, and
// back to the very same text.
std::optional<std::string> ExactAnsi(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int length = static_cast<int>(wide.size());
  BOOL usedDefault = FALSE;
  const int bytes =
      ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0, nullptr, &usedDefault);
  if (bytes <= 0 || usedDefault) return std::nullopt;
  std::string ansi(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, ansi.data(), bytes, nullptr, &usedDefault);
  if (usedDefault) return std::nullopt;
  const int chars = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), bytes, nullptr, 0);
  if (chars != length) return std::nullopt;
  std::wstring back(static_cast<size_t>(chars), L'\0');
  ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), bytes, back.data(), chars);
  if (back != wide) return std::nullopt;
  return ansi;
}

// The short name of path, when the volume gives one; empty otherwise.
std::wstring ShortPath(const std::wstring& path) {
  const DWORD needed = ::GetShortPathNameW(path.c_str(), nullptr, 0);
  if (needed == 0) return {};
  std::vector<wchar_t> buffer(needed + 1, L'\0');
  const DWORD length = ::GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return {};
  return std::wstring(buffer.data(), length);
}

}  // namespace

std::optional<std::string> HostAnsiText(const std::string& path) {
  return Guarded(std::optional<std::string>(), [&]() -> std::optional<std::string> {
    const std::wstring wide = ToWide(path);
    if (std::optional<std::string> exact = ExactAnsi(wide)) return exact;
    const std::wstring shortPath = ShortPath(wide);
    if (shortPath.empty() || shortPath == wide) return std::nullopt;
    return ExactAnsi(shortPath);
  });
}

std::string FromHostAnsi(std::string_view text) {
  if (text.empty()) return {};
  const int bytes = static_cast<int>(std::min<size_t>(text.size(), kMaxHostTextBytes));
  const int chars = ::MultiByteToWideChar(CP_ACP, 0, text.data(), bytes, nullptr, 0);
  if (chars <= 0) return {};
  std::wstring wide(static_cast<size_t>(chars), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), bytes, wide.data(), chars);
  return ToUtf8(wide);
}

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
    if (!block) return;  // no host: nothing to convert
    PutFieldText(block->ProbedFolder, kBlockTextField, HostAnsiText(path).value_or(std::string()));
    if (block.utf8()) PutFieldText(block.utf8()->ProbedFolder, kUtf8TextField, path);
  });
}

std::string ReadProbedFolder() { return ReadText(&SharedBlock::ProbedFolder, &SharedBlockUtf8::ProbedFolder); }

std::string ReadHostFolder() { return ReadText(&SharedBlock::HostFolder, &SharedBlockUtf8::HostFolder); }

bool HostReadsUtf8() {
  return Guarded(false, [] {
    SharedBlockView block(FILE_MAP_READ);
    return block.utf8() != nullptr;
  });
}

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

bool ReportDialogFolder(HWND dialog, const std::string& path) {
  return Guarded(false, [&] {
    const WPARAM wParam = reinterpret_cast<WPARAM>(dialog);
    if (HostReadsUtf8()) {
      DialogFolderRecordUtf8 record = {};
      record.Wnd = WindowToBlockValue(dialog);
      if (path.empty() || !PutFieldText(record.Path, kUtf8TextField, path)) return false;
      return SendCopyDataToHost(CopyDataDialogFolderUtf8, wParam, &record, sizeof(record));
    }
    const std::optional<std::string> ansi = HostAnsiText(path);
    DialogFolderRecord record = {};
    record.Wnd = WindowToBlockValue(dialog);
    if (!ansi || ansi->empty() || !PutFieldText(record.Path, kDialogFolderPathField, *ansi)) return false;
    return SendCopyDataToHost(CopyDataDialogFolder, wParam, &record, sizeof(record));
  });
}

bool ReportAddBookmark(const std::string& path) {
  return Guarded(false, [&] {
    if (path.empty()) return false;
    if (HostReadsUtf8()) {
      return SendCopyDataToHost(CopyDataAddBookmarkUtf8, 0, path.c_str(), static_cast<DWORD>(path.size() + 1));
    }
    const std::optional<std::string> ansi = HostAnsiText(path);
    if (!ansi || ansi->empty()) return false;
    return SendCopyDataToHost(CopyDataAddBookmark, 0, ansi->c_str(), static_cast<DWORD>(ansi->size() + 1));
  });
}

namespace {
void TraceRefusedRecord(const COPYDATASTRUCT& record, const char* reason) {
  if (Tracing())
    TraceLine("host record 0x%llX of %lu bytes refused: %s", static_cast<unsigned long long>(record.dwData),
              static_cast<unsigned long>(record.cbData), reason);
}
}  // namespace

std::optional<std::string> SetFolderRecordPath(const COPYDATASTRUCT& record) {
  if (!IsSetFolderRecord(record.dwData)) return std::nullopt;
  if (!record.lpData) {
    TraceRefusedRecord(record, "no data");
    return std::nullopt;
  }
  // The folder ends at its terminating zero, and never past what the record carries.
  const char* text = static_cast<const char*>(record.lpData);
  const std::string_view payload(text, strnlen(text, std::min<size_t>(record.cbData, kMaxHostTextBytes)));
  if (record.dwData == CopyDataSetFolder) return FromHostAnsi(payload);
  if (payload.empty()) return std::string();
  if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, payload.data(), static_cast<int>(payload.size()), nullptr,
                            0) <= 0) {
    TraceRefusedRecord(record, "not UTF-8");
    return std::nullopt;
  }
  return std::string(payload);
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
