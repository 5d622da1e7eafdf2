#include "host/HostBlock.h"

namespace lntrhost {

namespace {

std::string Convert(UINT from, UINT to, std::string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int chars = ::MultiByteToWideChar(from, 0, text.data(), length, nullptr, 0);
  if (chars <= 0) return {};
  std::wstring wide(static_cast<size_t>(chars), L'\0');
  ::MultiByteToWideChar(from, 0, text.data(), length, wide.data(), chars);
  const int bytes = ::WideCharToMultiByte(to, 0, wide.data(), chars, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string result(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(to, 0, wide.data(), chars, result.data(), bytes, nullptr, nullptr);
  return result;
}

}  // namespace

std::string AnsiToUtf8(std::string_view text) { return Convert(CP_ACP, CP_UTF8, text); }
std::string Utf8ToAnsi(std::string_view text) { return Convert(CP_UTF8, CP_ACP, text); }

bool HostBlock::Create(DWORD size, bool utf8, std::string* error) {
  if (utf8 && size < kq::kSharedBlockUtf8Size) size = static_cast<DWORD>(kq::kSharedBlockUtf8Size);
  mapping_.reset(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, kq::kSharedBlockName));
  if (!mapping_) {
    *error = "cannot create the block, error " + std::to_string(::GetLastError());
    return false;
  }
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    mapping_.reset();
    *error = "another program created the block first";
    return false;
  }
  view_.reset(::MapViewOfFile(mapping_.get(), FILE_MAP_WRITE, 0, 0, 0));
  if (!view_) {
    *error = "cannot map the block, error " + std::to_string(::GetLastError());
    return false;
  }
  size_ = size;
  if (size >= kq::kSharedBlockSize) block_ = static_cast<kq::SharedBlock*>(view_.get());
  SetReadsUtf8(utf8);
  return true;
}

bool HostBlock::SetReadsUtf8(bool value) {
  if (!view_ || size_ < kq::kSharedBlockUtf8Size) return !value;
  auto* part = reinterpret_cast<kq::SharedBlockUtf8*>(static_cast<char*>(view_.get()) + kq::kSharedBlockSize);
  part->Marker = value ? kq::kUtf8HostMarker : 0;
  utf8_ = value ? part : nullptr;
  return true;
}

void HostBlock::SetHostWindow(HWND wnd) {
  if (block_) block_->HostWindow = kq::WindowToBlockValue(wnd);
}

void HostBlock::SetDoubleClickMenu(bool value) {
  if (block_) block_->DoubleClickMenu = value ? 1 : 0;
}

void HostBlock::WriteHostFolder(const std::string& folder) {
  if (utf8_) {
    kq::PutFieldText(utf8_->HostFolder, kq::kUtf8TextField, folder);
  } else if (block_) {
    kq::PutFieldText(block_->HostFolder, kq::kBlockTextField, Utf8ToAnsi(folder));
  }
}

std::string HostBlock::ReadProbedFolder() const {
  if (utf8_) return kq::FieldText(utf8_->ProbedFolder, kq::kUtf8TextField);
  return block_ ? AnsiToUtf8(kq::FieldText(block_->ProbedFolder, kq::kBlockTextField)) : std::string();
}

}  // namespace lntrhost
