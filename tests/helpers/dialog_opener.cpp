// Opens one real common dialog and stays until it is closed, then exits.
//
//   dialog_opener.exe open|save|openw|savew|browse|itemopen|itemsave|itempick
//                     [--dir PATH] [--file NAME] [--title TEXT]
//                     [--new] [--out FILE] [--watch FILE] [--short] [--owner a|w]
//                     [--foreign-subclass] [--read-folder] [--dpi-aware] [--repeat N]
//
// open/save: GetOpenFileNameA/GetSaveFileNameA (Explorer style); openw/savew: the W variants;
// browse: SHBrowseForFolderA (--new adds BIF_NEWDIALOGSTYLE); itemopen/itemsave/itempick: the
// common item dialog (IFileOpenDialog, IFileSaveDialog, IFileOpenDialog with FOS_PICKFOLDERS),
// whose watch lines come from the dialog object (GetFolder, GetFileName). --dir is the initial folder (the
// initial selection of browse), --file the initial file name, --title the dialog's caption.
// --out FILE receives the chosen path when the dialog is closed with OK. --watch FILE gets a line
// "folder=F name=N" whenever the file dialog's folder (CDM_GETFOLDERPATH) or the text of its
// file-name box (CDM_GETSPEC) changes, and "selected=P" at each selection change of browse.
// --short passes the older, shorter file-name structure (OPENFILENAME_SIZE_VERSION_400: no places
// bar). --owner opens the file dialog from a window of the program, of the ANSI (a) or Unicode (w)
// character set; without it the dialog has no owner. With --watch: --foreign-subclass subclasses
// the file dialog, once it shows, through the other character set's SetWindowLongPtr (as an
// add-on of the other set would), which turns over the dialog's own IsWindowUnicode, and writes
// "subclassed unicode=N"; --read-folder adds a line "read=F" whenever the library's own reading
// of the dialog's folder (GetDialogFolder, in this thread) changes. --dpi-aware makes the program
// aware of the display's dots per inch (the system's), so it sees the screen in physical pixels.
// --repeat N opens the dialog N times in the same process: each after the first when the thread
// is posted kNextDialogMsg (WM_APP), and after the last the program ends when posted it, so that a
// driver can look at the program between dialogs and after the last.
// Exit code (of the last dialog): 1 closed with OK, 0 cancelled, 2 the dialog failed, 3 bad arguments.
#include <windows.h>

#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shellwindows/KQDialogFolder.h"

namespace {

constexpr int kExitOk = 1;
constexpr int kExitCancelled = 0;
constexpr int kExitFailed = 2;
constexpr int kExitUsage = 3;

struct Options {
  std::string mode;
  std::string watch;
  std::string dir;
  std::string file;
  std::string title;
  std::string out;
  bool newStyle = false;
  bool shortStructure = false;
  std::string owner;  // "a", "w" or empty
  bool foreignSubclass = false;
  bool readFolder = false;
  long repeat = 1;
};

// Posted to the main thread by whoever drives a --repeat run: open the next dialog.
constexpr UINT kNextDialogMsg = WM_APP;

// Runs the thread's messages until the next dialog is asked for; false when the thread is to end.
bool WaitForNextDialog() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!msg.hwnd && msg.message == kNextDialogMsg) return true;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return false;
}

HWND g_Owner = nullptr;

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring result(n, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, result.data(), n);
  result.resize(n - 1);
  return result;
}

std::string Narrow(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string result(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, result.data(), n, nullptr, nullptr);
  result.resize(n > 0 ? n - 1 : 0);
  return result;
}

void WriteResult(const Options& options, const std::string& result) {
  if (options.out.empty()) return;
  if (FILE* f = std::fopen(options.out.c_str(), "wb")) {
    std::fwrite(result.data(), 1, result.size(), f);
    std::fclose(f);
  }
}

void WatchLine(const std::string& watch, const std::string& line) {
  if (watch.empty()) return;
  if (FILE* f = std::fopen(watch.c_str(), "ab")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

// What the dialog itself says about its folder, asked inside its own process.
constexpr UINT_PTR kWatchTimer = 1;
constexpr UINT kWatchIntervalMs = 100;
const Options* g_Watched = nullptr;
std::string g_LastWatchLine;
std::string g_LastReadLine;
WNDPROC g_DialogProcedure = nullptr;
bool g_Subclassed = false;

LRESULT CALLBACK ForeignSubclassA(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcA(g_DialogProcedure, wnd, msg, wParam, lParam);
}

LRESULT CALLBACK ForeignSubclassW(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcW(g_DialogProcedure, wnd, msg, wParam, lParam);
}

// Subclasses dialog through the function of the character set it is not of.
void SubclassThroughOtherSet(HWND dialog) {
  if (IsWindowUnicode(dialog))
    g_DialogProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ForeignSubclassA)));
  else
    g_DialogProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ForeignSubclassW)));
}

BOOL CALLBACK FindDialog(HWND wnd, LPARAM param) {
  char name[16] = {};
  GetClassNameA(wnd, name, sizeof(name));
  if (std::strcmp(name, "#32770") != 0 || !IsWindowVisible(wnd)) return TRUE;
  *reinterpret_cast<HWND*>(param) = wnd;
  return FALSE;
}

// Asked in the character set this program opened the dialog with, in which the dialog answers
// (its own IsWindowUnicode changes with --foreign-subclass).
std::string DialogText(HWND dialog, UINT msg) {
  if (g_Watched->mode.back() == 'w') {
    wchar_t text[1024] = {};
    if (SendMessageW(dialog, msg, 1023, reinterpret_cast<LPARAM>(text)) <= 0) return {};
    return Narrow(text);
  }
  char text[1024] = {};
  if (SendMessageA(dialog, msg, 1023, reinterpret_cast<LPARAM>(text)) <= 0) return {};
  return text;
}

// The item dialog being shown, whose object tells its folder and file name.
IFileDialog* g_ItemDialog = nullptr;

std::string ItemDialogLine() {
  std::string folder, name;
  Microsoft::WRL::ComPtr<IShellItem> item;
  if (SUCCEEDED(g_ItemDialog->GetFolder(&item)) && item) {
    wchar_t* path = nullptr;
    if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path)) && path) {
      folder = Narrow(path);
      CoTaskMemFree(path);
    }
  }
  wchar_t* text = nullptr;
  if (SUCCEEDED(g_ItemDialog->GetFileName(&text)) && text) {
    name = Narrow(text);
    CoTaskMemFree(text);
  }
  return "folder=" + folder + " name=" + name;
}

void CALLBACK WatchDialog(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&dialog));
  if (!dialog) return;
  if (g_Watched->foreignSubclass && !g_Subclassed) {
    g_Subclassed = true;
    SubclassThroughOtherSet(dialog);
    WatchLine(g_Watched->watch, "subclassed unicode=" + std::to_string(IsWindowUnicode(dialog) ? 1 : 0));
  }
  if (g_Watched->readFolder) {
    const std::string read = "read=" + kq::GetDialogFolder(dialog);
    if (read != g_LastReadLine) {
      g_LastReadLine = read;
      WatchLine(g_Watched->watch, read);
    }
  }
  const std::string line =
      g_ItemDialog ? ItemDialogLine()
                   : "folder=" + DialogText(dialog, CDM_GETFOLDERPATH) + " name=" + DialogText(dialog, CDM_GETSPEC);
  if (line == g_LastWatchLine) return;
  g_LastWatchLine = line;
  WatchLine(g_Watched->watch, line);
}

constexpr char kFilterA[] = "All files (*.*)\0*.*\0Text files (*.txt)\0*.txt\0";
constexpr wchar_t kFilterW[] = L"All files (*.*)\0*.*\0Text files (*.txt)\0*.txt\0";

int RunFileDialogA(const Options& options, bool save) {
  char file[MAX_PATH] = {};
  lstrcpynA(file, options.file.c_str(), MAX_PATH);
  OPENFILENAMEA ofn = {};
  ofn.lStructSize = options.shortStructure ? OPENFILENAME_SIZE_VERSION_400A : sizeof(ofn);
  ofn.hwndOwner = g_Owner;
  ofn.lpstrFilter = kFilterA;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrInitialDir = options.dir.empty() ? nullptr : options.dir.c_str();
  ofn.lpstrTitle = options.title.empty() ? nullptr : options.title.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
  BOOL ok = save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
  if (!ok) return CommDlgExtendedError() == 0 ? kExitCancelled : kExitFailed;
  WriteResult(options, file);
  return kExitOk;
}

int RunFileDialogW(const Options& options, bool save) {
  wchar_t file[MAX_PATH] = {};
  lstrcpynW(file, Wide(options.file).c_str(), MAX_PATH);
  const std::wstring dir = Wide(options.dir), title = Wide(options.title);
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = options.shortStructure ? OPENFILENAME_SIZE_VERSION_400W : sizeof(ofn);
  ofn.hwndOwner = g_Owner;
  ofn.lpstrFilter = kFilterW;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrInitialDir = dir.empty() ? nullptr : dir.c_str();
  ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
  BOOL ok = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
  if (!ok) return CommDlgExtendedError() == 0 ? kExitCancelled : kExitFailed;
  WriteResult(options, Narrow(file));
  return kExitOk;
}

constexpr COMDLG_FILTERSPEC kItemFilter[] = {{L"All files (*.*)", L"*.*"}, {L"Text files (*.txt)", L"*.txt"}};

int RunItemDialog(const Options& options) {
  using Microsoft::WRL::ComPtr;
  const bool save = options.mode == "itemsave", pick = options.mode == "itempick";
  ComPtr<IFileDialog> dialog;
  if (FAILED(CoCreateInstance(save ? CLSID_FileSaveDialog : CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&dialog))))
    return kExitFailed;
  FILEOPENDIALOGOPTIONS flags = 0;
  dialog->GetOptions(&flags);
  dialog->SetOptions(flags | FOS_FORCEFILESYSTEM | (pick ? static_cast<FILEOPENDIALOGOPTIONS>(FOS_PICKFOLDERS) : 0u));
  if (!pick) dialog->SetFileTypes(2, kItemFilter);
  if (!options.title.empty()) dialog->SetTitle(Wide(options.title).c_str());
  if (!options.file.empty()) dialog->SetFileName(Wide(options.file).c_str());
  if (!options.dir.empty()) {
    ComPtr<IShellItem> folder;
    if (SUCCEEDED(SHCreateItemFromParsingName(Wide(options.dir).c_str(), nullptr, IID_PPV_ARGS(&folder))))
      dialog->SetFolder(folder.Get());
  }
  g_ItemDialog = dialog.Get();
  const HRESULT shown = dialog->Show(g_Owner);
  g_ItemDialog = nullptr;
  if (shown == HRESULT_FROM_WIN32(ERROR_CANCELLED)) return kExitCancelled;
  if (FAILED(shown)) return kExitFailed;
  ComPtr<IShellItem> result;
  wchar_t* path = nullptr;
  if (SUCCEEDED(dialog->GetResult(&result)) && SUCCEEDED(result->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
    WriteResult(options, Narrow(path));
    CoTaskMemFree(path);
  }
  return kExitOk;
}

int CALLBACK BrowseCallback(HWND wnd, UINT msg, LPARAM lParam, LPARAM data) {
  const auto* options = reinterpret_cast<const Options*>(data);
  if (msg == BFFM_SELCHANGED) {
    char path[MAX_PATH] = {};
    SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(lParam), path);
    WatchLine(options->watch, std::string("selected=") + path);
  }
  if (msg == BFFM_INITIALIZED) {
    if (!options->title.empty()) SetWindowTextA(wnd, options->title.c_str());
    if (!options->dir.empty())
      SendMessageA(wnd, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(options->dir.c_str()));
  }
  return 0;
}

int RunBrowse(const Options& options) {
  char display[MAX_PATH] = {};
  BROWSEINFOA info = {};
  info.pszDisplayName = display;
  info.lpszTitle = "Choose a folder";
  info.ulFlags = BIF_RETURNONLYFSDIRS | (options.newStyle ? BIF_NEWDIALOGSTYLE : 0);
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(&options);
  LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
  if (!chosen) return kExitCancelled;
  char path[MAX_PATH] = {};
  SHGetPathFromIDListA(chosen, path);
  CoTaskMemFree(chosen);
  WriteResult(options, path);
  return kExitOk;
}

// A window of the program to own its file dialog, of the character set asked for.
HWND CreateOwner(const std::string& set) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  if (set == "a") {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "DialogOpenerOwnerA";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, windowClass.lpszClassName, "Dialog owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                           nullptr, instance, nullptr);
  }
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = L"DialogOpenerOwnerW";
  RegisterClassW(&windowClass);
  return CreateWindowExW(0, windowClass.lpszClassName, L"Dialog owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                         nullptr, instance, nullptr);
}

int RunDialog(const Options& options) {
  int code = kExitUsage;
  if (options.mode == "open")
    code = RunFileDialogA(options, false);
  else if (options.mode == "save")
    code = RunFileDialogA(options, true);
  else if (options.mode == "openw")
    code = RunFileDialogW(options, false);
  else if (options.mode == "savew")
    code = RunFileDialogW(options, true);
  else if (options.mode == "browse")
    code = RunBrowse(options);
  else if (options.mode.rfind("item", 0) == 0)
    code = RunItemDialog(options);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (argc < 2) {
    std::fprintf(stderr, "usage: dialog_opener open|save|openw|savew|browse|itemopen|itemsave|itempick [--dir PATH]\n");
    return kExitUsage;
  }
  options.mode = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--dir" && hasValue)
      options.dir = argv[++i];
    else if (arg == "--file" && hasValue)
      options.file = argv[++i];
    else if (arg == "--title" && hasValue)
      options.title = argv[++i];
    else if (arg == "--out" && hasValue)
      options.out = argv[++i];
    else if (arg == "--watch" && hasValue)
      options.watch = argv[++i];
    else if (arg == "--new")
      options.newStyle = true;
    else if (arg == "--short")
      options.shortStructure = true;
    else if (arg == "--owner" && hasValue && (std::strcmp(argv[i + 1], "a") == 0 || std::strcmp(argv[i + 1], "w") == 0))
      options.owner = argv[++i];
    else if (arg == "--foreign-subclass")
      options.foreignSubclass = true;
    else if (arg == "--read-folder")
      options.readFolder = true;
    else if (arg == "--repeat" && hasValue && std::atol(argv[i + 1]) > 0)
      options.repeat = std::atol(argv[++i]);
    else if (arg == "--dpi-aware")
      SetProcessDPIAware();  // before any window: the program sees the screen in physical pixels
    else {
      std::fprintf(stderr, "dialog_opener: unknown argument %s\n", arg.c_str());
      return kExitUsage;
    }
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int code = kExitUsage;
  g_Watched = &options;
  if (!options.owner.empty()) {
    g_Owner = CreateOwner(options.owner);
    if (!g_Owner) return kExitFailed;
  }
  if (!options.watch.empty() && options.mode != "browse") SetTimer(nullptr, kWatchTimer, kWatchIntervalMs, WatchDialog);
  for (long n = 0; n < options.repeat; ++n) {
    if (n > 0 && !WaitForNextDialog()) break;
    code = RunDialog(options);
  }
  if (options.repeat > 1) WaitForNextDialog();
  if (g_Owner) DestroyWindow(g_Owner);
  CoUninitialize();
  return code;
}
