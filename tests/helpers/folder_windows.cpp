// Test-built windows of the kinds the library moves to folders, in a process of their own, each
// writing what happens to it into a log so that a test in another process can tell what the
// library did inside this one.
//
//   folder_windows.exe MODE --log FILE [options]
//
//   office CLASS [--field ID:CLASS]... [--bar]   an Office file dialog of class CLASS with a direct
//                                                "Snake List" child and the given fields ("Edit"
//                                                fields are real edits); --bar adds a direct
//                                                "MsoCommandBar" child
//   tffile [--text TEXT]                         a "TfFileDlg" with its file-name edit 1001
//   probe [--item PATH]... [--select N]...       a "bosa_sdm_XL9" dialog with an "OpenListView"
//                                                list of the items; item N selected. The list's
//                                                context menu writes ProbedFolder as the shell
//                                                extension does, then opens a popup menu
//   browsetree --path PATH                       a folder-browse dialog whose tree items carry
//                                                one-item identifier lists, PATH selected
//   comboex                                      an Open dialog's tree with a real ComboBoxEx32
//                                                and no shell browser
//   openedit [--reject] [--clears-name]          an Open dialog of the older layout (file name in
//                                                edit 1152) whose shell browser takes every
//                                                folder (with --reject: none); with --clears-name
//                                                the field starts with the name --text gives and
//                                                the browser empties it at every move
//   controls [--browser]                         the older Open dialog's tree, owned by a hidden
//                                                window, with a status bar, a trackbar, a rebar and
//                                                a progress bar, and no shell browser; with
//                                                --browser a last child of a class of its own hosts
//                                                a shell view and answers message 1031 with a
//                                                shell browser that takes every folder
//   itemdialog [--text TEXT]                     an item dialog of the layout with
//                                                "DUIViewWndClassName" whose shell view has no
//                                                browser, file name in edit 1148
//   explorer --dir PATH [--reject]               a "CabinetWClass" window hosting an
//                                                ExplorerBrowser, with a "ShellTabWindowClass"
//                                                child that answers message 1031; with --reject
//                                                the window itself answers with a shell browser
//                                                that refuses every folder; with --silent-tab the
//                                                tab answers 0 (the browser's own windows below
//                                                still answer)
//
// Log lines: "version major=N" (what the system tells this program) at the start;
// "ready hwnd=0x.." once the window is shown; "settext id=N text=T", "click id=N",
// "key id=N vk=V text=T" for the fields; "contextmenu probe=0|1 selected=N", "menu ms=N left=0|1";
// "setselection path=P"; "browseobject refused" or "browseobject path=P flags=N"; "folder=P" whenever the Explorer
// window's folder changes; "fault code=0x.." for every access violation; "asked class=C" when a common control or the
// owner of "controls" receives message 1031; "exit" at the end.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "hostlink/KQVHostLink.h"
#include "shellwindows/KQShlBrowserUtils.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr UINT_PTR kWatchTimer = 1;
constexpr UINT kWatchIntervalMs = 100;
constexpr DWORD kDialogExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;  // 0x10101
constexpr DWORD kTopStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr char kStandInClass[] = "FolderWindowsStandIn";

std::string g_LogPath;
HWND g_Top = nullptr;

void Log(const std::string& line) {
  HANDLE file = ::CreateFileA(g_LogPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\n";
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::CloseHandle(file);
}

std::string Hex(const void* p) {
  char text[32];
  std::snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
  return text;
}

std::string WindowText(HWND wnd) {
  char text[1024] = {};
  ::GetWindowTextA(wnd, text, sizeof(text));
  return text;
}

LONG CALLBACK NoteFault(EXCEPTION_POINTERS* info) {
  if (info->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION) {
    char text[64];
    std::snprintf(text, sizeof(text), "fault code=0x%lx", info->ExceptionRecord->ExceptionCode);
    Log(text);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

// ---- Top-level window procedures -------------------------------------------------------------

LRESULT CALLBACK TopProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CLOSE) {
    ::DestroyWindow(wnd);
    return 0;
  }
  if (msg == WM_DESTROY && wnd == g_Top) ::PostQuitMessage(0);
  return ::DefWindowProcA(wnd, msg, wParam, lParam);
}

void RegisterClassOf(const char* name, WNDPROC proc) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = proc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name;
  ::RegisterClassA(&wc);
}

HWND CreateTop(const char* className, DWORD exStyle, int width = 520, int height = 380) {
  return ::CreateWindowExA(exStyle, className, "Folder window", kTopStyle, 80, 60, width, height, nullptr, nullptr,
                           ::GetModuleHandleA(nullptr), nullptr);
}

HWND CreateChild(HWND parent, const char* className, int id, DWORD style = 0, int y = 0, const char* text = "") {
  return ::CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, 10, 10 + y, 300, 22, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleA(nullptr), nullptr);
}

// ---- Fields that tell what they were given -------------------------------------------------------

WNDPROC g_EditProc = nullptr;

LRESULT CALLBACK FieldProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  const std::string id = std::to_string(::GetDlgCtrlID(wnd));
  if (msg == WM_SETTEXT) {
    Log("settext id=" + id + " text=" + (lParam ? reinterpret_cast<const char*>(lParam) : ""));
  } else if (msg == WM_LBUTTONDOWN) {
    Log("click id=" + id);
  } else if (msg == WM_KEYDOWN) {
    Log("key id=" + id + " vk=" + std::to_string(wParam) + " text=" + WindowText(wnd));
  }
  return ::CallWindowProcA(g_EditProc, wnd, msg, wParam, lParam);
}

HWND CreateField(HWND parent, const std::string& className, int id, int y, const char* text = "") {
  if (className == "Edit") {
    HWND edit = CreateChild(parent, "Edit", id, WS_BORDER | ES_AUTOHSCROLL, y, text);
    g_EditProc =
        reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FieldProc)));
    return edit;
  }
  RegisterClassOf(className.c_str(), ::DefWindowProcA);
  return CreateChild(parent, className.c_str(), id, 0, y);
}

// ---- The Office and "TfFileDlg" dialogs ----------------------------------------------------------

struct Options {
  std::string mode;
  std::string className;
  std::vector<std::pair<int, std::string>> fields;
  bool bar = false;
  bool browser = false;
  std::string text = "report.txt";
  std::vector<std::string> items;
  std::vector<int> selected;
  std::string path;
};

HWND BuildOffice(const Options& options) {
  RegisterClassOf(options.className.c_str(), TopProc);
  HWND top = CreateTop(options.className.c_str(), kDialogExStyle);
  RegisterClassOf("Snake List", ::DefWindowProcA);
  CreateChild(top, "Snake List", 0, 0, 200);
  if (options.bar) {
    RegisterClassOf("MsoCommandBar", ::DefWindowProcA);
    CreateChild(top, "MsoCommandBar", 0, 0, 230);
  }
  int y = 0;
  for (const auto& field : options.fields) {
    CreateField(top, field.second, field.first, y);
    y += 30;
  }
  return top;
}

HWND BuildTfFile(const Options& options) {
  RegisterClassOf("TfFileDlg", TopProc);
  HWND top = CreateTop("TfFileDlg", 0);
  CreateField(top, "Edit", 1001, 0, options.text.c_str());
  return top;
}

// ---- The probe's list: what the shell view and the library's extension do -------------------------

WNDPROC g_ListProc = nullptr;

std::string ItemText(HWND list, int index) {
  char text[MAX_PATH] = {};
  LVITEMA item = {};
  item.iSubItem = 0;
  item.pszText = text;
  item.cchTextMax = MAX_PATH;
  ::SendMessageA(list, LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
  return text;
}

void OpenContextMenu(HWND list) {
  const int selected = static_cast<int>(::SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0));
  const bool probe = kq::IsProbeActive();
  Log("contextmenu probe=" + std::to_string(probe) + " selected=" + std::to_string(selected));
  // The extension, initialised with the selection, names the single selected item, or nothing
  // when several are selected; without a selection or a host it writes nothing.
  if (probe && selected > 0 && kq::GetHostWindow()) {
    const int first = static_cast<int>(::SendMessageA(list, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
    kq::WriteProbedFolder(selected == 1 ? ItemText(list, first) : std::string());
  }
  HMENU menu = ::CreatePopupMenu();
  ::AppendMenuA(menu, MF_STRING, 1, "Open");
  ::AppendMenuA(menu, MF_STRING, 2, "Properties");
  RECT r = {};
  ::GetWindowRect(list, &r);
  const DWORD start = ::GetTickCount();
  ::TrackPopupMenu(menu, TPM_RETURNCMD, r.left + 20, r.top + 20, 0, ::GetParent(list), nullptr);
  const DWORD elapsed = ::GetTickCount() - start;
  ::DestroyMenu(menu);
  Log("menu ms=" + std::to_string(elapsed) + " left=" + std::to_string(::FindWindowA("#32768", nullptr) != nullptr));
}

LRESULT CALLBACK OpenListProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CONTEXTMENU) {
    OpenContextMenu(wnd);
    return 0;
  }
  return ::CallWindowProcA(g_ListProc, wnd, msg, wParam, lParam);
}

HWND BuildProbe(const Options& options) {
  RegisterClassOf("bosa_sdm_XL9", TopProc);
  HWND top = CreateTop("bosa_sdm_XL9", kDialogExStyle);
  RegisterClassOf("Snake List", ::DefWindowProcA);
  CreateChild(top, "Snake List", 0, 0, 300);
  // "OpenListView": a list view of another name, as the Office dialogs have.
  WNDCLASSA listClass = {};
  ::GetClassInfoA(nullptr, WC_LISTVIEWA, &listClass);
  g_ListProc = listClass.lpfnWndProc;
  listClass.lpfnWndProc = OpenListProc;
  listClass.hInstance = ::GetModuleHandleA(nullptr);
  listClass.lpszClassName = "OpenListView";
  ::RegisterClassA(&listClass);
  HWND list = ::CreateWindowExA(0, "OpenListView", "", WS_CHILD | WS_VISIBLE | LVS_LIST, 10, 10, 480, 260, top, nullptr,
                                ::GetModuleHandleA(nullptr), nullptr);
  for (size_t i = 0; i < options.items.size(); ++i) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(i);
    item.pszText = const_cast<char*>(options.items[i].c_str());
    ::SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  }
  for (int index : options.selected) {
    LVITEMA state = {};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    ::SendMessageA(list, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&state));
  }
  return top;
}

// ---- A folder-browse dialog whose tree carries one-item lists ----------------------------------

WNDPROC g_DialogProc = nullptr;
IShellBrowser* g_DialogBrowser = nullptr;  // what the test-built dialog answers to message 1031

std::string PathOf(LPCITEMIDLIST list) {
  char path[MAX_PATH] = {};
  if (!list || !::SHGetPathFromIDListA(list, path)) return {};
  return path;
}

LRESULT CALLBACK BrowseProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kq::kGetShellBrowserMsg && g_DialogBrowser) return reinterpret_cast<LRESULT>(g_DialogBrowser);
  if (msg == BFFM_SETSELECTIONA) {
    Log("setselection wparam=" + std::to_string(wParam) + " path=" +
        (wParam ? std::string(reinterpret_cast<const char*>(lParam))
                : PathOf(reinterpret_cast<LPCITEMIDLIST>(lParam))));
    return 0;
  }
  if (msg == WM_CLOSE) {
    ::DestroyWindow(wnd);
    return 0;
  }
  if (msg == WM_DESTROY) ::PostQuitMessage(0);
  return ::CallWindowProcA(g_DialogProc, wnd, msg, wParam, lParam);
}

HWND CreateDialogTop() {
  HWND top = CreateTop("#32770", kDialogExStyle);
  g_DialogProc =
      reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(top, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BrowseProc)));
  return top;
}

// The one-item list of each item of an absolute list, in order (owned by the tree for the
// process's life).
std::vector<LPITEMIDLIST> SplitIDList(LPCITEMIDLIST list) {
  std::vector<LPITEMIDLIST> items;
  for (const BYTE* p = reinterpret_cast<const BYTE*>(list); p && *reinterpret_cast<const USHORT*>(p);) {
    const USHORT cb = *reinterpret_cast<const USHORT*>(p);
    auto* one = static_cast<BYTE*>(::CoTaskMemAlloc(cb + 2));
    std::memcpy(one, p, cb);
    one[cb] = one[cb + 1] = 0;
    items.push_back(reinterpret_cast<LPITEMIDLIST>(one));
    p += cb;
  }
  return items;
}

HWND BuildBrowseTree(const Options& options) {
  HWND top = CreateDialogTop();
  CreateChild(top, "Static", 14146, 0, 0, "Choose a folder");
  CreateChild(top, "Static", 14147, 0, 30);
  HWND tree =
      ::CreateWindowExA(0, WC_TREEVIEWA, "", WS_CHILD | WS_VISIBLE | TVS_HASLINES, 10, 70, 480, 240, top,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(14145)), ::GetModuleHandleA(nullptr), nullptr);
  LPITEMIDLIST absolute = ::ILCreateFromPathA(options.path.c_str());
  HTREEITEM parent = TVI_ROOT, last = nullptr;
  for (LPITEMIDLIST one : SplitIDList(absolute)) {
    TVINSERTSTRUCTA insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM;
    insert.item.pszText = const_cast<char*>("item");
    insert.item.lParam = reinterpret_cast<LPARAM>(one);
    last = reinterpret_cast<HTREEITEM>(::SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    // A sibling without data before the next level, as a real tree has other folders.
    insert.item.lParam = 0;
    insert.item.pszText = const_cast<char*>("other");
    ::SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert));
    parent = last;
  }
  ::ILFree(absolute);
  if (last) ::SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(last));
  return top;
}

// ---- An Open dialog's tree with a real ComboBoxEx32 and no shell browser -------------------------

HWND BuildComboEx() {
  HWND top = CreateDialogTop();
  RegisterClassOf("SHELLDLL_DefView", ::DefWindowProcA);
  CreateChild(top, "Static", stc4, 0, 0);
  CreateChild(top, "ComboBox", cmb2, CBS_DROPDOWNLIST, 0);
  HWND view = CreateChild(top, "SHELLDLL_DefView", lst2, 0, 30);
  CreateChild(view, WC_LISTVIEWA, 1, LVS_LIST, 0);
  CreateChild(top, "Static", stc1, 0, 60);
  CreateChild(top, TOOLBARCLASSNAMEA, ctl1, CCS_NORESIZE | CCS_NOPARENTALIGN, 60);
  CreateChild(top, "ListBox", lst1, 0, 90);
  CreateChild(top, "Static", stc3, 0, 120);
  HWND comboEx =
      ::CreateWindowExA(0, WC_COMBOBOXEXA, "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWN, 10, 150, 300, 200, top,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(cmb13)), ::GetModuleHandleA(nullptr), nullptr);
  Log("comboex edit=" + Hex(reinterpret_cast<void*>(::SendMessageA(comboEx, CBEM_GETEDITCONTROL, 0, 0))));
  // The file-name box of a real dialog also has a ComboBox and an Edit of its identifier.
  CreateChild(top, "ComboBox", cmb13, CBS_DROPDOWN, 180);
  CreateChild(top, "Edit", cmb13, 0, 210);
  CreateChild(top, "Static", stc2, 0, 240);
  CreateChild(top, "ComboBox", cmb1, CBS_DROPDOWNLIST, 240);
  CreateChild(top, "Button", IDOK, BS_PUSHBUTTON, 270, "OK");
  CreateChild(top, "Button", IDCANCEL, BS_PUSHBUTTON, 300, "Cancel");
  return top;
}

// ---- An Explorer window ---------------------------------------------------------------------

// A shell browser that goes anywhere, or (g_Refuse) refuses to go anywhere, as a browser of a
// folder that vanished would.
bool g_Refuse = false;
bool g_ClearsName = false;

class TestBrowser : public IShellBrowser {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IOleWindow || riid == IID_IShellBrowser) {
      *out = static_cast<IShellBrowser*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetWindow(HWND* wnd) override {
    *wnd = g_Top;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP InsertMenusSB(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenuSB(HMENU, HOLEMENU, HWND) override { return E_NOTIMPL; }
  STDMETHODIMP RemoveMenusSB(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusTextSB(LPCWSTR) override { return E_NOTIMPL; }
  STDMETHODIMP EnableModelessSB(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAcceleratorSB(MSG*, WORD) override { return E_NOTIMPL; }
  STDMETHODIMP BrowseObject(PCUIDLIST_RELATIVE list, UINT flags) override {
    if (g_Refuse) {
      Log("browseobject refused");
      return E_FAIL;
    }
    Log("browseobject path=" + PathOf(list) + " flags=" + std::to_string(flags));
    if (g_ClearsName) ::SetDlgItemTextA(g_Top, edt1, "");
    return S_OK;
  }
  STDMETHODIMP GetViewStateStream(DWORD, IStream**) override { return E_NOTIMPL; }
  STDMETHODIMP GetControlWindow(UINT, HWND*) override { return E_NOTIMPL; }
  STDMETHODIMP SendControlMsg(UINT, UINT, WPARAM, LPARAM, LRESULT*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryActiveShellView(IShellView** view) override {
    *view = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP OnViewWindowActive(IShellView*) override { return E_NOTIMPL; }
  STDMETHODIMP SetToolbarItems(LPTBBUTTONSB, UINT, UINT) override { return E_NOTIMPL; }
};

TestBrowser g_TestBrowser;

// ---- An Open dialog of the older layout --------------------------------------------------------

// The controls of the older Open layout, file-name field edt1 among them.
void AddOlderOpenLayout(HWND top, const char* name = "") {
  RegisterClassOf("SHELLDLL_DefView", ::DefWindowProcA);
  CreateChild(top, "Static", stc4, 0, 0);
  CreateChild(top, "ComboBox", cmb2, CBS_DROPDOWNLIST, 0);
  CreateChild(top, "Static", stc1, 0, 30);
  CreateChild(top, "ListBox", lst1, 0, 60);
  HWND view = CreateChild(top, "SHELLDLL_DefView", lst2, 0, 90);
  CreateChild(view, WC_LISTVIEWA, 1, LVS_LIST, 0);
  CreateChild(top, "Static", stc3, 0, 120);
  CreateField(top, "Edit", edt1, 150, name);
  CreateChild(top, "Static", stc2, 0, 180);
  CreateChild(top, "ComboBox", cmb1, CBS_DROPDOWNLIST, 180);
}

HWND BuildOpenEdit(const Options& options) {
  HWND top = CreateDialogTop();
  AddOlderOpenLayout(top, g_ClearsName ? options.text.c_str() : "");
  g_DialogBrowser = &g_TestBrowser;
  return top;
}

// ---- An item dialog whose shell view has no browser ----------------------------------------------

HWND BuildItemDialog(const Options& options) {
  HWND top = CreateDialogTop();
  for (const char* name : {"DUIViewWndClassName", "CommonPlacesWrapperWndClass", "SHELLDLL_DefView"})
    RegisterClassOf(name, ::DefWindowProcA);
  CreateChild(top, "DUIViewWndClassName", 0, 0, 0);
  CreateChild(top, "CommonPlacesWrapperWndClass", 0, 0, 30);
  HWND view = CreateChild(top, "SHELLDLL_DefView", lst2, 0, 60);
  CreateChild(view, WC_LISTVIEWA, 1, LVS_LIST, 0);
  CreateField(top, "Edit", cmb13, 90, options.text.c_str());
  return top;
}

// ---- An Open dialog with common controls, to which message 1031 is a command of their own ------

// The owner and the controls log message 1031 and drop it: passed on, the status bar's
// SB_GETBORDERS would write through the null lParam.
LRESULT CALLBACK AskedProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  const auto original = reinterpret_cast<WNDPROC>(::GetPropA(wnd, "FolderWindowsProc"));
  if (msg == kq::kGetShellBrowserMsg) {
    char name[80] = {};
    ::GetClassNameA(wnd, name, sizeof(name));
    Log(std::string("asked class=") + name);
    return 0;
  }
  return ::CallWindowProcA(original, wnd, msg, wParam, lParam);
}

HWND Watched(HWND wnd) {
  ::SetPropA(wnd, "FolderWindowsProc", reinterpret_cast<HANDLE>(::GetWindowLongPtrA(wnd, GWLP_WNDPROC)));
  ::SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AskedProc));
  return wnd;
}

LRESULT CALLBACK BrowserHostProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kq::kGetShellBrowserMsg) return reinterpret_cast<LRESULT>(static_cast<IShellBrowser*>(&g_TestBrowser));
  return ::DefWindowProcA(wnd, msg, wParam, lParam);
}

HWND BuildControls(bool withBrowser) {
  RegisterClassOf("FolderWindowsOwner", ::DefWindowProcA);
  HWND owner = Watched(::CreateWindowExA(0, "FolderWindowsOwner", "Owner", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                         nullptr, ::GetModuleHandleA(nullptr), nullptr));
  HWND top = ::CreateWindowExA(kDialogExStyle, "#32770", "Folder window", kTopStyle, 80, 60, 520, 480, owner, nullptr,
                               ::GetModuleHandleA(nullptr), nullptr);
  g_DialogProc =
      reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(top, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BrowseProc)));
  AddOlderOpenLayout(top);
  Watched(CreateChild(top, STATUSCLASSNAMEA, 0, CCS_NOPARENTALIGN | CCS_NORESIZE, 210));
  Watched(CreateChild(top, TRACKBAR_CLASSA, 0, 0, 240));
  Watched(CreateChild(top, REBARCLASSNAMEA, 0, CCS_NOPARENTALIGN | CCS_NORESIZE, 270));
  Watched(CreateChild(top, PROGRESS_CLASSA, 0, 0, 300));
  if (withBrowser) {
    RegisterClassOf("FolderWindowsBrowserHost", BrowserHostProc);
    HWND host = CreateChild(top, "FolderWindowsBrowserHost", 0, 0, 330);
    CreateChild(host, "SHELLDLL_DefView", 0, 0, 0);
  }
  return top;
}

bool g_SilentTab = false;

ComPtr<IExplorerBrowser> g_Browser;
ComPtr<IShellBrowser> g_ShellBrowser;
std::string g_LastFolder;

std::string BrowserFolder() {
  if (!g_Browser) return {};
  ComPtr<IFolderView> view;
  if (FAILED(g_Browser->GetCurrentView(IID_PPV_ARGS(&view)))) return {};
  ComPtr<IPersistFolder2> folder;
  if (FAILED(view->GetFolder(IID_PPV_ARGS(&folder)))) return {};
  LPITEMIDLIST list = nullptr;
  if (FAILED(folder->GetCurFolder(&list))) return {};
  std::string path = PathOf(list);
  ::CoTaskMemFree(list);
  return path;
}

void CALLBACK WatchFolder(HWND, UINT, UINT_PTR, DWORD) {
  const std::string folder = BrowserFolder();
  if (folder == g_LastFolder) return;
  g_LastFolder = folder;
  Log("folder=" + folder);
}

LRESULT CALLBACK ShellTabProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kq::kGetShellBrowserMsg) return g_SilentTab ? 0 : reinterpret_cast<LRESULT>(g_ShellBrowser.Get());
  return ::DefWindowProcA(wnd, msg, wParam, lParam);
}

LRESULT CALLBACK CabinetProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // The window's own answer comes before any below it.
  if (msg == kq::kGetShellBrowserMsg && g_Refuse)
    return reinterpret_cast<LRESULT>(static_cast<IShellBrowser*>(&g_TestBrowser));
  if (msg == WM_CLOSE) {
    ::DestroyWindow(wnd);
    return 0;
  }
  if (msg == WM_DESTROY) {
    ::KillTimer(nullptr, kWatchTimer);
    if (g_Browser) g_Browser->Destroy();
    g_ShellBrowser.Reset();
    g_Browser.Reset();
    ::PostQuitMessage(0);
  }
  return ::DefWindowProcA(wnd, msg, wParam, lParam);
}

HWND BuildExplorer(const Options& options) {
  RegisterClassOf("CabinetWClass", CabinetProc);
  RegisterClassOf("ShellTabWindowClass", ShellTabProc);
  HWND top = ::CreateWindowExA(0, "CabinetWClass", "Folder window", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 80, 60, 640,
                               480, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
  RECT client = {};
  ::GetClientRect(top, &client);
  HWND tab = ::CreateWindowExA(0, "ShellTabWindowClass", "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                               client.right, client.bottom, top, nullptr, ::GetModuleHandleA(nullptr), nullptr);
  if (FAILED(::CoCreateInstance(CLSID_ExplorerBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&g_Browser)))) {
    Log("error explorerbrowser");
    return top;
  }
  FOLDERSETTINGS settings = {FVM_DETAILS, 0};
  g_Browser->Initialize(tab, &client, &settings);
  g_Browser.As(&g_ShellBrowser);
  LPITEMIDLIST start = ::ILCreateFromPathA(options.path.c_str());
  if (start) g_Browser->BrowseToIDList(start, SBSP_ABSOLUTE);
  ::ILFree(start);
  ::SetTimer(nullptr, kWatchTimer, kWatchIntervalMs, WatchFolder);
  return top;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  if (argc < 2) return false;
  options->mode = argv[1];
  int i = 2;
  if (options->mode == "office") {
    if (argc < 3) return false;
    options->className = argv[2];
    i = 3;
  }
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--log" && hasValue) {
      g_LogPath = argv[++i];
    } else if (arg == "--field" && hasValue) {
      const std::string spec = argv[++i];
      const size_t colon = spec.find(':');
      if (colon == std::string::npos) return false;
      options->fields.push_back({std::atoi(spec.substr(0, colon).c_str()), spec.substr(colon + 1)});
    } else if (arg == "--silent-tab") {
      g_SilentTab = true;
    } else if (arg == "--reject") {
      g_Refuse = true;
    } else if (arg == "--clears-name") {
      g_ClearsName = true;
    } else if (arg == "--browser") {
      options->browser = true;
    } else if (arg == "--bar") {
      options->bar = true;
    } else if (arg == "--text" && hasValue) {
      options->text = argv[++i];
    } else if (arg == "--item" && hasValue) {
      options->items.push_back(argv[++i]);
    } else if (arg == "--select" && hasValue) {
      options->selected.push_back(std::atoi(argv[++i]));
    } else if ((arg == "--path" || arg == "--dir") && hasValue) {
      options->path = argv[++i];
    } else {
      return false;
    }
  }
  return !g_LogPath.empty();
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr, "folder_windows: bad arguments\n");
    return 3;
  }
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_USEREX_CLASSES | ICC_COOL_CLASSES};
  ::InitCommonControlsEx(&controls);
  ::AddVectoredExceptionHandler(1, NoteFault);
  OSVERSIONINFOA version = {sizeof(version)};
  ::GetVersionExA(&version);
  Log("version major=" + std::to_string(version.dwMajorVersion));

  HWND top = nullptr;
  if (options.mode == "office")
    top = BuildOffice(options);
  else if (options.mode == "tffile")
    top = BuildTfFile(options);
  else if (options.mode == "probe")
    top = BuildProbe(options);
  else if (options.mode == "browsetree")
    top = BuildBrowseTree(options);
  else if (options.mode == "comboex")
    top = BuildComboEx();
  else if (options.mode == "openedit")
    top = BuildOpenEdit(options);
  else if (options.mode == "controls")
    top = BuildControls(options.browser);
  else if (options.mode == "explorer")
    top = BuildExplorer(options);
  else if (options.mode == "itemdialog")
    top = BuildItemDialog(options);
  if (!top) {
    Log("error mode");
    return 2;
  }
  g_Top = top;
  // Shown only now that its children exist: the activation is when the library recognises it.
  ::ShowWindow(top, SW_SHOW);
  ::SetForegroundWindow(top);
  ::UpdateWindow(top);
  Log("ready hwnd=" + Hex(top));

  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  Log("exit");
  ::CoUninitialize();
  return 0;
}
