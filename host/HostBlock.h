// The host's side of the shared block "LNTRMapping": created before anything else, kept mapped
// for the host's whole life, and written in the fields the host owns.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "common/KQScoped.h"
#include "hostlink/KQVHostLink.h"

namespace lntrhost {

class HostBlock {
 public:
  // Creates the block of size bytes. False (with the reason) when it cannot be created or mapped,
  // or when another program created a block of that name first: the host does not share a block
  // it does not own.
  // A host that reads UTF-8 makes the block large enough for the UTF-8 part and marks it.
  bool Create(DWORD size, bool utf8, std::string* error);

  // The fields are written only when the block is large enough to hold them all. Texts are UTF-8
  // on this side: an ANSI host converts them to and from its code page, as any such host would.
  bool HasFields() const { return block_ != nullptr; }
  bool ReadsUtf8() const { return utf8_ != nullptr; }
  // Marks the block for UTF-8 or takes the mark back; false when the block is too small for it.
  bool SetReadsUtf8(bool value);
  void SetHostWindow(HWND wnd);
  void SetDoubleClickMenu(bool value);
  void WriteHostFolder(const std::string& folder);
  std::string ReadProbedFolder() const;

 private:
  kq::ScopedHandle mapping_;
  kq::ScopedMappedView view_;
  kq::SharedBlock* block_ = nullptr;
  kq::SharedBlockUtf8* utf8_ = nullptr;
  DWORD size_ = 0;
};

// The host's code page and UTF-8, both ways (the code page's own conversion: what an ANSI host has).
std::string AnsiToUtf8(std::string_view text);
std::string Utf8ToAnsi(std::string_view text);

}  // namespace lntrhost
