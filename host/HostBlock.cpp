#include "host/HostBlock.h"

namespace lntrhost {

bool HostBlock::Create(DWORD size, std::string* error) {
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
  if (size >= kq::kSharedBlockSize) block_ = static_cast<kq::SharedBlock*>(view_.get());
  return true;
}

void HostBlock::SetHostWindow(HWND wnd) {
  if (block_) block_->HostWindow = kq::WindowToBlockValue(wnd);
}

void HostBlock::SetDoubleClickMenu(bool value) {
  if (block_) block_->DoubleClickMenu = value ? 1 : 0;
}

void HostBlock::WriteHostFolder(const std::string& folder) {
  if (!block_) return;
  kq::PutFieldText(block_->HostFolder, kq::kBlockTextField, folder);
}

std::string HostBlock::ReadProbedFolder() const {
  return block_ ? kq::FieldText(block_->ProbedFolder, kq::kBlockTextField) : std::string();
}

}  // namespace lntrhost
