// What the host-link tests build around the library: their own view of the shared block, blocks
// of odd sizes made without a host, and plain windows of this process that answer what a dialog
// would.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "common/KQScoped.h"

namespace kq {

// A view of "LNTRMapping" held by the test, to check and plant bytes at their offsets.
class RawBlock {
 public:
  // Opens the block someone else created and maps its first size bytes.
  bool Open(size_t size = 544);
  // Creates the block without a host: backed by memory (flags as for CreateFileMapping, e.g.
  // SEC_RESERVE) or by a file of exactly size bytes, which the system reports with its exact size.
  bool CreateInMemory(DWORD size, DWORD flags = 0);
  bool CreateOnFile(DWORD size);
  // Maps bytes of the block's first page (which may lie beyond a small object's end).
  bool MapPage();

  uint8_t* Bytes() const { return static_cast<uint8_t*>(view_.get()); }
  uint8_t& operator[](size_t offset) const { return Bytes()[offset]; }
  uint32_t U32(size_t offset) const;
  void SetU32(size_t offset, uint32_t value) const;
  std::string Text(size_t offset) const;  // up to the first zero
  void Fill(size_t offset, size_t count, char value) const;

  ~RawBlock();

 private:
  ScopedFileHandle file_;
  ScopedHandle mapping_;
  ScopedMappedView view_;
  std::string filePath_;
};

// A hidden top-level window of this thread whose messages go to handler first (return true when
// handled, with the result in *result).
class TestWindow {
 public:
  using Handler = std::function<bool(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result)>;
  explicit TestWindow(Handler handler = nullptr, const char* className = kDefaultClass);
  ~TestWindow();
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  HWND get() const { return wnd_; }
  void Destroy();

  static constexpr char kDefaultClass[] = "KQHostLinkTestWindow";

 private:
  static LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  Handler handler_;
  HWND wnd_ = nullptr;
};

// The file name of this test program.
std::string ProgramExeName();

}  // namespace kq
