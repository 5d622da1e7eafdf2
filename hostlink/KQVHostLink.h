// The border between the library and the Lanterna host application: the shared block
// "LNTRMapping", the registered window messages, the WM_COPYDATA records, and how the library
// finds the host's window and asks it questions.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace kq {

// ---- The shared block ---------------------------------------------------------------------------

// Created by the host; the library only opens it by name and holds it only for one access.
constexpr char kSharedBlockName[] = "LNTRMapping";
constexpr char kHostWindowClass[] = "TLanternaMain";

// A text field of the block: a text of at most kBlockTextField - 1 characters and a zero are
// written (a longer one is not written at all); a reader takes the bytes up to the first zero,
// never more than the field holds.
constexpr size_t kBlockTextField = 263;

#pragma pack(push, 1)
struct SharedBlock {
  uint32_t HostWindow;       // the host's main window; window handles are 32-bit values on both builds
  uint8_t HostReserved[12];  // the host's own; the library never touches it
  uint8_t ProbeActive;       // 0 = false
  uint8_t DoubleClickMenu;   // 0 = false
  char ProbedFolder[kBlockTextField];
  char HostFolder[kBlockTextField];
};
#pragma pack(pop)

// The bytes of the block the library reads; a smaller object is taken for no block at all.
constexpr size_t kSharedBlockSize = 544;
static_assert(sizeof(SharedBlock) == kSharedBlockSize, "the shared block is 544 bytes");
static_assert(offsetof(SharedBlock, HostWindow) == 0, "HostWindow at 0");
static_assert(offsetof(SharedBlock, HostReserved) == 4, "the host's bytes at 4");
static_assert(offsetof(SharedBlock, ProbeActive) == 16, "ProbeActive at 16");
static_assert(offsetof(SharedBlock, DoubleClickMenu) == 17, "DoubleClickMenu at 17");
static_assert(offsetof(SharedBlock, ProbedFolder) == 18, "ProbedFolder at 18");
static_assert(offsetof(SharedBlock, HostFolder) == 281, "HostFolder at 281");

// Window handles cross the border as 32-bit values (64-bit Windows keeps them in 32 bits); they
// widen with sign extension, as the system does between 32-bit and 64-bit processes.
inline uint32_t WindowToBlockValue(HWND wnd) { return static_cast<uint32_t>(HandleToULong(wnd)); }
inline HWND BlockValueToWindow(uint32_t value) { return static_cast<HWND>(LongToHandle(static_cast<LONG>(value))); }

// ---- A host that reads UTF-8 ---------------------------------------------------------------------

// The host's texts are ANSI in the system's code page: the fields above and the records below. A
// host that reads and writes UTF-8 says so with kUtf8HostMarker right after the 544 bytes, in a
// block created at least kSharedBlockUtf8Size bytes long; it then gets its folders in the UTF-8
// fields there and in the UTF-8 records (CopyData...Utf8). A host without the marker never gets
// anything but what it got before.
constexpr uint32_t kUtf8HostMarker = 0x38554E4C;  // "LNU8"
// A UTF-8 text field: a path of the system's length (259 UTF-16 units) in at most 3 bytes a unit
// and a zero, rounded up.
constexpr size_t kUtf8TextField = 1024;
// The most of a host's text the library reads (a record's payload, for one): far more than any
// path the system takes.
constexpr size_t kMaxHostTextBytes = 32768;

#pragma pack(push, 1)
struct SharedBlockUtf8 {
  uint32_t Marker;                    // kUtf8HostMarker, written by the host
  char ProbedFolder[kUtf8TextField];  // as ProbedFolder, in UTF-8
  char HostFolder[kUtf8TextField];    // as HostFolder, in UTF-8, written by the host
};
#pragma pack(pop)
constexpr size_t kSharedBlockUtf8Size = kSharedBlockSize + sizeof(SharedBlockUtf8);
static_assert(sizeof(SharedBlockUtf8) == 4 + 2 * kUtf8TextField, "the UTF-8 part is 2052 bytes");
static_assert(kSharedBlockUtf8Size == 2596, "a UTF-8 host's block is at least 2596 bytes");

// The accessors. Each opens the block, maps it, reads or writes one field, unmaps and closes it.
// When there is no block, it cannot be mapped or it is smaller than kSharedBlockSize: writers do
// nothing, flag readers answer false, text readers answer "". Texts are UTF-8 on this side; the
// accessors convert them for the host (HostAnsiText).
void SetProbeActive(bool value);
bool IsProbeActive();
bool IsDoubleClickMenuEnabled();
// The path into ProbedFolder, and into the UTF-8 field for a host that reads it. A path a field
// cannot carry whole, or the code page cannot spell (HostAnsiText), leaves that field empty.
void WriteProbedFolder(const std::string& path);
std::string ReadProbedFolder();
std::string ReadHostFolder();
// Whether the block is there to be written: what the host reads after its questions.
bool IsSharedBlockWritable();
// Whether the host reads UTF-8 (kUtf8HostMarker in a block large enough).
bool HostReadsUtf8();

// The ANSI text (the system's code page) that names path exactly: the path itself when the code
// page spells every character of it (no look-alike of another), else its short name when the
// volume has one that the code page spells; nothing otherwise.
std::optional<std::string> HostAnsiText(const std::string& path);
// A text the host wrote in the system's code page, in UTF-8.
std::string FromHostAnsi(std::string_view text);

// HostWindow when it names an existing window, else the first top-level window of class
// "TLanternaMain"; null when there is none.
HWND GetHostWindow();

// A screen point of window from's program, as the host's window sees it: the programs may differ
// in their awareness of the display's dots per inch, and the system then shows each of them the
// screen in its own coordinates. Scaled by the two windows' DPI where the system can say (Windows
// 10 1607 and later, Wine); unchanged elsewhere, or when either window is gone.
POINT ToHostPoint(HWND from, HWND host, POINT point);
// The same packed as ManageMsg's lParam, for the host GetHostWindow finds.
LPARAM HostPointLParam(HWND from, POINT point);

// Asks the host whether wnd may get buttons: true exactly when the host answers 1. No host, or no
// answer within kHostAnswerTimeoutMs, means not disabled.
bool IsAppDisabled(HWND wnd);

// ---- Talking to the host ------------------------------------------------------------------------

// How long a program that runs the library waits for the host's answer before it goes on
// without one: a hung host must not hang every program with a dialog open. While it waits, the
// sending thread still answers messages sent to its windows: the host may ask the very window it
// is answering about (its folder, for example) before it answers, and a thread that served
// nothing would wait out the bound and lose the answer.
constexpr DWORD kHostAnswerTimeoutMs = 3000;
constexpr UINT kHostSendFlags = SMTO_ABORTIFHUNG | SMTO_NORMAL;

// Sends msg to GetHostWindow and waits at most kHostAnswerTimeoutMs. False when there is no host
// window or it did not answer in time; otherwise the host's result goes to *answer (if given).
bool SendToHost(UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR* answer = nullptr);
// The same for a WM_COPYDATA record of the given kind.
bool SendCopyDataToHost(ULONG_PTR kind, WPARAM wParam, const void* data, DWORD size);

// ---- Registered messages ------------------------------------------------------------------------

constexpr char kManageMsgName[] = "WM_LNTR_MANAGE";
constexpr char kInitButtonsMsgName[] = "WM_KQVINITCAPTIONBUTTONS";
constexpr char kAppIsDisabledMsgName[] = "LNTR_AppIsDisabled";
constexpr char kGetDlgFolderMsgName[] = "LNTR_GetDlgFolder";
constexpr char kObjectSelMsgName[] = "WM_OBJECTSEL";

// The ids in this process; 0 until start-up has registered them.
extern UINT ManageMsg;
extern UINT InitButtonsMsg;
extern UINT AppIsDisabledMsg;
extern UINT GetDlgFolderMsg;
extern UINT ObjectSelMsg;

// Registration, each called at start-up in the turn of the unit that owns the message.
void StartupHostLink();       // the library's own start, before everything else (also resolves
                              // the section-size query of ntdll)
void RegisterManageMsg();     // the dialog caption buttons
void RegisterHookMessages();  // the hooks: InitButtonsMsg, AppIsDisabledMsg, GetDlgFolderMsg

// ManageMsg codes (wParam).
constexpr WPARAM kManageRightButtonDown = 0;  // library to host, posted; lParam = screen point
constexpr WPARAM kManageFavoritesMenu = 1;    // library to host, posted; lParam = screen point
constexpr WPARAM kManageHistoryMenu = 2;      // library to host, posted; lParam = screen point
constexpr WPARAM kManageAskStartFolder = 3;   // library to host, sent; lParam = the dialog
constexpr WPARAM kManageGoToStartFolder = 4;  // hook to a dialog, posted
constexpr WPARAM kManageRemoveButtons = 5;    // host to a dialog, sent or posted

// ---- WM_COPYDATA records (dwData) ---------------------------------------------------------------

constexpr ULONG_PTR CopyDataAddBookmark = 1;        // library to host: the path, zero-terminated
constexpr ULONG_PTR CopyDataDialogFolder = 3;       // library to host: a DialogFolderRecord
constexpr ULONG_PTR CopyDataSetFolder = 0x1185EE0;  // host to a dialog: the folder, zero-terminated
// The same records in UTF-8: sent only to a host that reads UTF-8; taken from any host.
constexpr ULONG_PTR CopyDataAddBookmarkUtf8 = 0x101;    // the path in UTF-8, zero-terminated
constexpr ULONG_PTR CopyDataDialogFolderUtf8 = 0x103;   // a DialogFolderRecordUtf8
constexpr ULONG_PTR CopyDataSetFolderUtf8 = 0x1185EE1;  // the folder in UTF-8, within cbData

constexpr size_t kDialogFolderPathField = 264;

#pragma pack(push, 1)
struct DialogFolderRecord {
  uint32_t Wnd;                       // the dialog, as wParam of the message
  char Path[kDialogFolderPathField];  // zero-terminated, at most kDialogFolderPathField - 1 characters
};
struct DialogFolderRecordUtf8 {
  uint32_t Wnd;               // the dialog, as wParam of the message
  char Path[kUtf8TextField];  // UTF-8, zero-terminated
};
#pragma pack(pop)
static_assert(sizeof(DialogFolderRecord) == 268, "the dialog folder record is 268 bytes");
static_assert(offsetof(DialogFolderRecord, Wnd) == 0, "Wnd at 0");
static_assert(offsetof(DialogFolderRecord, Path) == 4, "Path at 4");
static_assert(sizeof(DialogFolderRecordUtf8) == 1028, "the UTF-8 dialog folder record is 1028 bytes");

// The records the library sends, in the host's text: a path the host's record cannot carry whole
// or its code page cannot name is not sent at all (false; so is a record no host answered).
bool ReportDialogFolder(HWND dialog, const std::string& path);
bool ReportAddBookmark(const std::string& path);
// The folder a set-folder record of either kind names, in UTF-8: the text up to its zero, never
// past cbData; nothing for another kind, a null payload or malformed UTF-8. A record refused for
// its payload leaves a line in the trace (common/KQTrace.h).
std::optional<std::string> SetFolderRecordPath(const COPYDATASTRUCT& record);
inline bool IsSetFolderRecord(ULONG_PTR kind) { return kind == CopyDataSetFolder || kind == CopyDataSetFolderUtf8; }

// The text of a fixed field: the bytes up to the first zero, never more than size.
inline std::string FieldText(const char* field, size_t size) {
  const void* zero = std::memchr(field, '\0', size);
  return std::string(field, zero ? static_cast<size_t>(static_cast<const char*>(zero) - field) : size);
}
// Text and a terminating zero into a fixed field; a text the field cannot hold whole leaves it
// empty (a cut path would name another folder). False then.
inline bool PutFieldText(char* field, size_t size, const std::string& text) {
  const bool fits = text.size() < size && text.find('\0') == std::string::npos;
  const size_t length = fits ? text.size() : 0;
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
  return fits;
}

}  // namespace kq
