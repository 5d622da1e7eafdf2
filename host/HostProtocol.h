// How tests and the demo drive the stand-in host while it runs, and what it writes to its log.
//
// Commands: a WM_COPYDATA record of kind kHostCommand sent to the host's window, whose payload is
// one line of text (cbData bytes, a terminating zero optional). The result of the message is the
// command's answer (0 for an unknown or malformed command). Window handles are hexadecimal, with
// or without "0x".
//
//   setfolder <hwnd> <path>      send CopyDataSetFolder with the path; answer = the window's result
//   setfoldernull <hwnd>         the same record with a null payload
//   setfoldercb <hwnd> <n> <path>  the record with cbData = n (the payload is the path and its zero)
//   getfolder <hwnd>             send GetDlgFolderMsg, then log ProbedFolder; answer 1 when sent
//   rect <hwnd>                  log the window's rectangle as the host sees it; answer 1 when known
//   send <hwnd> <name> <w> <l>   send the registered message <name> (w, l decimal or 0x-hex)
//   post <hwnd> <name> <w> <l>   post it
//   startfolder [<path>]         the folder written into HostFolder on ManageMsg code 3
//   hostfolder [<text>]          write HostFolder now
//   probedfolder                 log ProbedFolder
//   doubleclick 0|1              write DoubleClickMenu
//   disable <exe>                answer 1 to AppIsDisabledMsg for windows of that program
//   enable <exe>                 forget an earlier disable
//   disabledanswer <n>           the answer for every other window (default 0)
//   hang <ms>                    answer this command, then stop answering anything for <ms>
//   menu on|off                  whether codes 1 and 2 show the folder menu (--menu at start)
//   utf8 0|1                     read and write UTF-8 from now on, or ANSI (see Texts below); answer
//                                0 when the block is too small for UTF-8 (--mapping-size 2596 or more)
//   echo <text>                  log the text
//   quit                         close the window and end
//
// Log: one line per event, written through at once, fields separated by blanks:
//   ready hwnd=<hex> pid=<n> mapping=<size>      start-up done (the window exists, hooks are on)
//   hook on | hook off | hook none               HookOn/HookOff called, or --no-hook
//   manage code=<0..2> x=<n> y=<n>               ManageMsg codes 0-2, the point's signed halves
//   manage code=3 hwnd=<hex> folder=<text>       code 3 and the folder written into HostFolder
//   manage code=<n> wparam=<hex> lparam=<hex>    any other code
//   copydata kind=1 wparam=<hex> path=<text>
//   copydata kind=3 wparam=<hex> hwnd=<hex> path=<text>
//   copydata kind=<n> wparam=<hex> size=<n>      any other kind
//   appdisabled hwnd=<hex> exe=<name> answer=<n> ms=<n>   answered after <n> ms; with
//                                                --ask-folder-before-disabling an answer of 1 is
//                                                preceded by "getfolder" of that window (bounded)
//   menu code=<1|2> x=<n> y=<n> hwnd=<hex> items=<n>   (--menu) the folder menu is shown at the
//                                                point, for the top-level window under it
//   menu item=<i> left=<n> top=<n> right=<n> bottom=<n>  where item i of the shown menu is on the
//                                                screen (logged once, when the menu is first idle)
//   menu chose=<index> hwnd=<hex> answer=<n> path=<text>  the folder chosen and sent to it
//   menu none                                    the menu was closed without a choice
//   rect hwnd=<hex> left=<n> top=<n> right=<n> bottom=<n>   the rect command
//   <command> ... answer=<n>                     each command, with what it did
//   error <text>                                 something the host could not do
// Texts (paths, folders) are the rest of the line.
//
// Texts: commands and the log are UTF-8. By default the host is an ANSI host, as every host before
// it: it converts what it sends and writes (set-folder records kind 0x1185EE0, HostFolder) to its
// code page and what it reads (records kinds 1 and 3, ProbedFolder) from it. With --utf8 it reads
// and writes UTF-8: its block is at least kq::kSharedBlockUtf8Size bytes with kq::kUtf8HostMarker at
// byte 544, HostFolder and ProbedFolder are the UTF-8 fields behind it, its set-folder records are
// kind 0x1185EE1 and the library reports to it in kinds 0x101 and 0x103 (logged as "copydata
// kind=257" and "kind=259").
#pragma once

#include <windows.h>

#include <cstdlib>

namespace lntrhost {

// dwData of a command record: "LNHC".
constexpr ULONG_PTR kHostCommand = 0x4C4E4843;

// Exit codes of LNTRHost.exe.
constexpr int kExitOk = 0;
constexpr int kExitBadOptions = 2;
constexpr int kExitNoMapping = 3;  // the block could not be created, or another program holds it
constexpr int kExitNoWindow = 4;
constexpr int kExitNoLibrary = 5;  // LNTRHlp.dll or its HookOn/HookOff could not be loaded

// LNTR_TIME_SCALE: on a machine that runs Wine's programs several times slower than usual (the
// emulated one), how many times; the host's and the tests' bounds are that many times longer. A
// whole number from 1 to 20; 1 when unset or anything else.
inline DWORD TimeScale() {
  constexpr long kMaxTimeScale = 20;
  static const DWORD scale = [] {
    const char* text = std::getenv("LNTR_TIME_SCALE");
    const long value = text ? std::strtol(text, nullptr, 10) : 1;
    return value >= 1 && value <= kMaxTimeScale ? static_cast<DWORD>(value) : DWORD{1};
  }();
  return scale;
}

}  // namespace lntrhost
