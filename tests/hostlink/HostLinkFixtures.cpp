#include "tests/hostlink/HostLinkFixtures.h"

#include <cstring>
#include <vector>

#include "hostlink/KQVHostLink.h"

namespace kq {

bool RawBlock::Open(size_t size) {
  mapping_.reset(::OpenFileMappingA(FILE_MAP_WRITE, FALSE, kSharedBlockName));
  if (!mapping_) return false;
  view_.reset(::MapViewOfFile(mapping_.get(), FILE_MAP_WRITE, 0, 0, size));
  return static_cast<bool>(view_);
}

bool RawBlock::CreateInMemory(DWORD size, DWORD flags) {
  mapping_.reset(
      ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | flags, 0, size, kSharedBlockName));
  return mapping_ && ::GetLastError() != ERROR_ALREADY_EXISTS;
}

bool RawBlock::CreateOnFile(DWORD size) {
  char folder[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, folder);
  char name[MAX_PATH] = {};
  if (!::GetTempFileNameA(folder, "blk", 0, name)) return false;
  filePath_ = name;
  file_.reset(::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_) return false;
  std::vector<char> zeros(size, 0);
  DWORD written = 0;
  if (!::WriteFile(file_.get(), zeros.data(), size, &written, nullptr) || written != size) return false;
  mapping_.reset(::CreateFileMappingA(file_.get(), nullptr, PAGE_READWRITE, 0, 0, kSharedBlockName));
  return mapping_ && ::GetLastError() != ERROR_ALREADY_EXISTS;
}

bool RawBlock::MapPage() {
  view_.reset(::MapViewOfFile(mapping_.get(), FILE_MAP_WRITE, 0, 0, 0));
  return static_cast<bool>(view_);
}

RawBlock::~RawBlock() {
  view_.reset();
  mapping_.reset();
  file_.reset();
  if (!filePath_.empty()) ::DeleteFileA(filePath_.c_str());
}

uint32_t RawBlock::U32(size_t offset) const {
  uint32_t value;
  std::memcpy(&value, Bytes() + offset, sizeof(value));
  return value;
}

void RawBlock::SetU32(size_t offset, uint32_t value) const { std::memcpy(Bytes() + offset, &value, sizeof(value)); }

std::string RawBlock::Text(size_t offset) const { return reinterpret_cast<const char*>(Bytes() + offset); }

void RawBlock::Fill(size_t offset, size_t count, char value) const { std::memset(Bytes() + offset, value, count); }

TestWindow::TestWindow(Handler handler, const char* className) : handler_(std::move(handler)) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WndProc;
  windowClass.hInstance = ::GetModuleHandleA(nullptr);
  windowClass.lpszClassName = className;
  ::RegisterClassA(&windowClass);  // fails harmlessly when the class exists
  wnd_ = ::CreateWindowExA(0, className, "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                           windowClass.hInstance, this);
}

TestWindow::~TestWindow() { Destroy(); }

void TestWindow::Destroy() {
  if (wnd_) ::DestroyWindow(wnd_);
  wnd_ = nullptr;
}

LRESULT CALLBACK TestWindow::WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    ::SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TestWindow*>(::GetWindowLongPtrA(wnd, GWLP_USERDATA));
  LRESULT result = 0;
  if (self && self->handler_ && self->handler_(msg, wParam, lParam, &result)) return result;
  return ::DefWindowProcA(wnd, msg, wParam, lParam);
}

std::string ProgramExeName() {
  char path[MAX_PATH] = {};
  DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string self(path, length < MAX_PATH ? length : 0);
  return self.substr(self.find_last_of('\\') + 1);
}

}  // namespace kq
