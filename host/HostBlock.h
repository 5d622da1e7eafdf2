// The host's side of the shared block "LNTRMapping": created before anything else, kept mapped
// for the host's whole life, and written in the fields the host owns.
#pragma once

#include <windows.h>

#include <string>

#include "common/KQScoped.h"
#include "hostlink/KQVHostLink.h"

namespace lntrhost {

class HostBlock {
 public:
  // Creates the block of size bytes. False (with the reason) when it cannot be created or mapped,
  // or when another program created a block of that name first: the host does not share a block
  // it does not own.
  bool Create(DWORD size, std::string* error);

  // The fields are written only when the block is large enough to hold them all.
  bool HasFields() const { return block_ != nullptr; }
  void SetHostWindow(HWND wnd);
  void SetDoubleClickMenu(bool value);
  void WriteHostFolder(const std::string& folder);
  std::string ReadProbedFolder() const;

 private:
  kq::ScopedHandle mapping_;
  kq::ScopedMappedView view_;
  kq::SharedBlock* block_ = nullptr;
};

}  // namespace lntrhost
