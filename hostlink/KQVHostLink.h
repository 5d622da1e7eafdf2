// The border between the library and the Lanterna host application: the shared block
// "LNTRMapping", the registered window messages, the WM_COPYDATA records, and how the library
// finds the host's window and asks it questions.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace kq {

// ---- The shared block ---------------------------------------------------------------------------

// Created by the host; the library only opens it by name and holds it only for one access.
constexpr char kSharedBlockName[] = "LNTRMapping";
constexpr char kHostWindowClass[] = "TLanternaMain";

// A text field of the block: at most kBlockTextMaxWrite characters and a zero are written; a
// reader takes the bytes up to the first zero, never more than the field holds.
constexpr size_t kBlockTextField = 263;
constexpr size_t kBlockTextMaxWrite = kBlockTextField - 1;

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

// The accessors. Each opens the block, maps it, reads or writes one field, unmaps and closes it.
// When there is no block, it cannot be mapped or it is smaller than kSharedBlockSize: writers do
// nothing, flag readers answer false, text readers answer "".
void SetProbeActive(bool value);
bool IsProbeActive();
bool IsDoubleClickMenuEnabled();
void WriteProbedFolder(const std::string& path);  // at most kBlockTextMaxWrite characters
std::string ReadProbedFolder();
std::string ReadHostFolder();
// Whether the block is there to be written: what the host reads after its questions.
bool IsSharedBlockWritable();

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

constexpr size_t kDialogFolderPathField = 264;

#pragma pack(push, 1)
struct DialogFolderRecord {
  uint32_t Wnd;                       // the dialog, as wParam of the message
  char Path[kDialogFolderPathField];  // zero-terminated, at most kDialogFolderPathField - 1 characters
};
#pragma pack(pop)
static_assert(sizeof(DialogFolderRecord) == 268, "the dialog folder record is 268 bytes");
static_assert(offsetof(DialogFolderRecord, Wnd) == 0, "Wnd at 0");
static_assert(offsetof(DialogFolderRecord, Path) == 4, "Path at 4");

// The record for dialog and path; a longer path is cut to what the field holds.
DialogFolderRecord MakeDialogFolderRecord(HWND dialog, const std::string& path);

// The text of a fixed field: the bytes up to the first zero, never more than size.
inline std::string FieldText(const char* field, size_t size) {
  const void* zero = std::memchr(field, '\0', size);
  return std::string(field, zero ? static_cast<size_t>(static_cast<const char*>(zero) - field) : size);
}
// Text and a terminating zero into a fixed field; at most size - 1 characters of it.
inline void PutFieldText(char* field, size_t size, const std::string& text) {
  size_t length = std::min(text.size(), size - 1);
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

}  // namespace kq
