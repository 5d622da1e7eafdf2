// The stand-in host's command line, and the part of it that commands may change while it runs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace lntrhost {

struct HostOptions {
  std::string logPath;                    // --log FILE; no log without it
  DWORD mappingSize = 0;                  // --mapping-size N; 0 = the library's block size
  std::string startFolder;                // --start-folder PATH
  bool doubleClickMenu = false;           // --double-click-menu
  std::vector<std::string> disabledExes;  // --disable EXE (repeatable), compared case-insensitively
  LRESULT otherAnswer = 0;                // --disabled-answer N: the answer for all other windows
  bool askFolderBeforeDisabling = false;  // --ask-folder-before-disabling: see HostProtocol.h
  std::string dllPath;                    // --dll PATH; default LNTRHlp.dll next to the host
  bool hook = true;                       // --no-hook turns it off
  bool hangAfterStart = false;            // --hang-after-start
  bool show = false;                      // --show: make the window visible
  bool menu = false;                      // --menu: codes 1 and 2 show the folder menu
  bool utf8 = false;                      // --utf8: the host reads and writes UTF-8 (HostProtocol.h)
  std::vector<std::string> menuFolders;   // --menu-folder PATH (repeatable); default kDefaultMenuFolders
};

// Reads argv; false with a message in *error for an unknown option or a missing value.
bool ParseHostOptions(int argc, char** argv, HostOptions* options, std::string* error);

// A decimal or 0x-hexadecimal number, possibly negative; false when text is not one.
bool ParseNumber(const std::string& text, long long* value);

}  // namespace lntrhost
