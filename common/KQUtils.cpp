#include "common/KQUtils.h"

#include <objidl.h>
#include <ocidl.h>
#include <olectl.h>

#include <tlhelp32.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/KQProcessStatic.h"
#include "common/KQScoped.h"
#include "common/KQSysCalls.h"
#include "common/KQText.h"
#include "common/KQModuleEntry.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace kq {
namespace {

// The optional system entries, resolved at start-up.
using SetLayeredWindowAttributesProc = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
SetLayeredWindowAttributesProc g_SetLayeredWindowAttributes = nullptr;
using IsWow64ProcessProc = BOOL(WINAPI*)(HANDLE, PBOOL);
IsWow64ProcessProc g_IsWow64Process = nullptr;

// The process-status functions: kernel32's own where it has them (Windows 7 on, and Wine), else
// psapi's, which start-up then loads (off the loader's lock, at the library's first use).
using EnumProcessModulesProc = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, LPDWORD);
using GetModuleFileNameExWProc = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);
struct ProcessStatus {
  EnumProcessModulesProc enumModules = nullptr;
  GetModuleFileNameExWProc moduleFileName = nullptr;
};
ProcessStatic<ScopedModule> g_Psapi;
ProcessStatus g_ProcessStatus;

constexpr DWORD kProcessQueryAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
constexpr DWORD kLayeredRedrawFlags = RDW_ERASE | RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN;
// A bitmap file begins with "BM" (a signature the system headers do not name).
constexpr WORD kBitmapFileSignature = 0x4D42;

bool ReadVersion(OSVERSIONINFOA& info) {
  ZeroMemory(&info, sizeof(info));
  info.dwOSVersionInfoSize = sizeof(info);
  static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is 148 bytes");
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return ::GetVersionExA(&info) != FALSE;
#pragma GCC diagnostic pop
}

std::string ProcessFileOnNT(DWORD pid) {
  const ProcessStatus& ps = g_ProcessStatus;
  if (!ps.enumModules || !ps.moduleFileName) return {};
  ScopedHandle process(::OpenProcess(kProcessQueryAccess, FALSE, pid));
  if (!process) return {};
  DWORD needed = 0;
  if (!ps.enumModules(process.get(), nullptr, 0, &needed) || needed < sizeof(HMODULE)) return {};
  std::vector<HMODULE> modules(needed / sizeof(HMODULE));
  if (!ps.enumModules(process.get(), modules.data(), static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed))
    return {};
  wchar_t path[MAX_PATH] = {};
  DWORD length = ps.moduleFileName(process.get(), modules[0], path, MAX_PATH);
  if (length == 0 || length >= static_cast<DWORD>(MAX_PATH)) return {};
  return ToUtf8(std::wstring_view(path, length));
}

}  // namespace

bool FileExists(const std::string& path) {
  DWORD attributes = sys::GetFileAttributesW(ToWide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsLocalFixedPath(const std::string& path) {
  // "X:\" and more: UNC names, the "\\?\" and "\\.\" forms, drive-relative and relative paths
  // and unexpanded references all fail here before any drive is asked.
  if (path.size() < 3 || path[1] != ':' || (path[2] != '\\' && path[2] != '/')) return false;
  const char letter = path[0];
  if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z'))) return false;
  const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
  return sys::GetDriveTypeW(root) == DRIVE_FIXED;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  // UTF-8: a backslash byte is always the character itself.
  if (dir.back() == '\\') return dir + name;
  return dir + "\\" + name;
}

std::string ExpandPath(const std::string& path) {
  const std::wstring source = ToWide(path);
  if (source.size() > kMaxExpandSourceChars) return {};
  wchar_t buffer[kExpandBufferChars + 1] = {};
  const DWORD needed = ::ExpandEnvironmentStringsW(source.c_str(), buffer, kExpandBufferChars + 1);
  if (needed == 0 || needed > kExpandBufferChars + 1) return {};
  const size_t length = ::wcsnlen(buffer, kExpandBufferChars + 1);
  if (length >= static_cast<size_t>(kExpandBufferChars)) return {};
  return ToUtf8(std::wstring_view(buffer, length));
}

bool IsWinNT() {
  OSVERSIONINFOA info;
  return ReadVersion(info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

bool IsWinNT6() {
  OSVERSIONINFOA info;
  return ReadVersion(info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT &&
         info.dwMajorVersion == HIBYTE(_WIN32_WINNT_VISTA);
}

std::string GetWindowProcessFile(HWND wnd) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(wnd, &pid);
  if (pid == 0) return {};
  if (IsWinNT()) return ProcessFileOnNT(pid);

  ScopedFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return {};
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == pid)
      return ToUtf8(std::wstring_view(entry.szExeFile, wcsnlen(entry.szExeFile, MAX_PATH)));
  }
  return {};
}

std::string GetFileVersionText(const std::string& fileName) {
  DWORD handle = 0;
  const std::wstring name = ToWide(fileName);
  DWORD size = ::GetFileVersionInfoSizeW(name.c_str(), &handle);
  if (size == 0) return {};
  std::vector<char> block(size);
  if (!::GetFileVersionInfoW(name.c_str(), 0, size, block.data())) return {};
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
      length < sizeof(VS_FIXEDFILEINFO))
    return {};
  char text[64];
  std::snprintf(text, sizeof(text), "%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
  return text;
}

void SetWindowTransparency(HWND wnd, bool useAlpha, BYTE alpha, COLORREF colorKey, bool useColorKey) {
  if (!g_SetLayeredWindowAttributes) return;
  LONG exStyle = ::GetWindowLongA(wnd, GWL_EXSTYLE);
  if (useAlpha || useColorKey) {
    if ((exStyle & WS_EX_LAYERED) == 0) ::SetWindowLongA(wnd, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
    DWORD flags = (useAlpha ? LWA_ALPHA : 0) | (useColorKey ? LWA_COLORKEY : 0);
    g_SetLayeredWindowAttributes(wnd, colorKey, alpha, flags);
  } else {
    ::SetWindowLongA(wnd, GWL_EXSTYLE, exStyle & ~WS_EX_LAYERED);
    ::RedrawWindow(wnd, nullptr, nullptr, kLayeredRedrawFlags);
  }
}

bool IsCtrlOnlyDown() {
  auto down = [](int key) { return ::GetKeyState(key) < 0; };
  return down(VK_CONTROL) && !down(VK_MENU) && !down(VK_SHIFT);
}

HBITMAP LoadResourceBitmap(const char* name) {
  HMODULE module = LibraryModule();
  HRSRC resource = ::FindResourceA(module, name, RT_RCDATA);
  if (!resource) return nullptr;
  const DWORD size = ::SizeofResource(module, resource);
  HGLOBAL loaded = ::LoadResource(module, resource);
  const auto* bytes = static_cast<const BYTE*>(loaded ? ::LockResource(loaded) : nullptr);
  if (!bytes || size < sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)) return nullptr;

  // The file is our own resource, but it is checked as any file would be: every part the system
  // reads (header, colour table, pixels) must lie inside the resource.
  BITMAPFILEHEADER file;
  memcpy(&file, bytes, sizeof(file));
  if (file.bfType != kBitmapFileSignature || file.bfOffBits >= size) return nullptr;
  const auto* info = reinterpret_cast<const BITMAPINFO*>(bytes + sizeof(BITMAPFILEHEADER));
  const BITMAPINFOHEADER& header = info->bmiHeader;
  const WORD bits = header.biBitCount;
  if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biWidth <= 0 || header.biHeight == 0 || header.biPlanes != 1 ||
      (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32))
    return nullptr;
  if (header.biCompression != BI_RGB && !(header.biCompression == BI_BITFIELDS && (bits == 16 || bits == 32)))
    return nullptr;
  unsigned long long colours = header.biClrUsed ? header.biClrUsed : (bits <= 8 ? 1ull << bits : 0);
  if (header.biCompression == BI_BITFIELDS && header.biSize == sizeof(BITMAPINFOHEADER)) colours = 3;  // masks
  const unsigned long long tableEnd = sizeof(BITMAPFILEHEADER) + header.biSize + colours * sizeof(RGBQUAD);
  if (tableEnd > file.bfOffBits) return nullptr;
  const unsigned long long height = header.biHeight < 0 ? -static_cast<long long>(header.biHeight) : header.biHeight;
  const unsigned long long stride = ((static_cast<unsigned long long>(header.biWidth) * bits + 31) / 32) * 4;
  const unsigned long long pixelBytes = stride * height;
  if (pixelBytes > size - file.bfOffBits) return nullptr;

  // A device-independent section keeps the stored colours (and the alpha of 32-bit images).
  void* pixels = nullptr;
  ScopedBitmap bitmap(::CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &pixels, nullptr, 0));
  if (!bitmap || !pixels) return nullptr;
  memcpy(pixels, bytes + file.bfOffBits, static_cast<size_t>(pixelBytes));
  ::GdiFlush();
  return bitmap.release();
}

RECT FitRectInto(const RECT& bounds, const RECT& source) {
  RECT r = source;
  const int sw = RectWidth(source), sh = RectHeight(source);
  if (sw == 0 || sh == 0) return r;
  const double bw = RectWidth(bounds), bh = RectHeight(bounds);
  if (bw / sw > bh / sh) {
    r.bottom = source.top + RectHeight(bounds);
    r.right = r.left + static_cast<LONG>(std::nearbyint(static_cast<double>(RectHeight(r)) * sw / sh));
  } else {
    r.right = source.left + RectWidth(bounds);
    r.bottom = r.top + static_cast<LONG>(std::nearbyint(static_cast<double>(RectWidth(r)) * sh / sw));
  }
  return CenterRectIn(bounds, r);
}

RECT CenterRectIn(const RECT& bounds, const RECT& r) {
  RECT result;
  const int dx = (RectWidth(bounds) - RectWidth(r)) / 2;  // truncates towards zero
  result.left = bounds.left + (dx > 0 ? dx : 0);
  result.right = result.left + RectWidth(r);
  const int dy = (RectHeight(bounds) - RectHeight(r)) / 2;
  result.top = bounds.top + (dy > 0 ? dy : 0);
  result.bottom = result.top + RectHeight(r);
  return result;
}

void QueryTitleBarInfoEx(HWND wnd, TITLEBARINFOEX& info) {
  ZeroMemory(&info, sizeof(info));
  info.cbSize = sizeof(info);
  LRESULT answered = 0;
  if (IsWinNT6()) answered = ::SendMessageA(wnd, WM_GETTITLEBARINFOEX, 0, reinterpret_cast<LPARAM>(&info));
  if (answered == 0) info.cbSize = 0;
}

HMODULE LibraryModule() { return reinterpret_cast<HMODULE>(&__ImageBase); }

bool IsWow64(HANDLE process) {
  BOOL wow64 = FALSE;
  return g_IsWow64Process && g_IsWow64Process(process, &wow64) && wow64;
}

void StartupUtils() {
  g_IsWow64Process = ModuleEntry<IsWow64ProcessProc>(::GetModuleHandleA("kernel32.dll"), "IsWow64Process");
  g_SetLayeredWindowAttributes =
      ModuleEntry<SetLayeredWindowAttributesProc>(::GetModuleHandleA("User32.dll"), "SetLayeredWindowAttributes");
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  ProcessStatus status{ModuleEntry<EnumProcessModulesProc>(kernel, "K32EnumProcessModules"),
                       ModuleEntry<GetModuleFileNameExWProc>(kernel, "K32GetModuleFileNameExW")};
  if (!status.enumModules || !status.moduleFileName) {
    g_Psapi->reset(::LoadLibraryA("psapi.dll"));
    status = {ModuleEntry<EnumProcessModulesProc>(g_Psapi->get(), "EnumProcessModules"),
              ModuleEntry<GetModuleFileNameExWProc>(g_Psapi->get(), "GetModuleFileNameExW")};
  }
  g_ProcessStatus = status;
}

void ShutdownUtils() {
  g_IsWow64Process = nullptr;
  g_SetLayeredWindowAttributes = nullptr;
  g_ProcessStatus = {};
  g_Psapi->reset();
}

}  // namespace kq
