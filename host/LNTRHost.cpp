// LNTRHost.exe: a stand-in for the Lanterna application, providing what the library needs from its
// host (the shared block, the "TLanternaMain" window, the answers to the library's questions) and
// logging what the library reports, for tests and the demo. Options and commands:
// host/HostOptions.h and host/HostProtocol.h.
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/KQModuleEntry.h"
#include "common/KQScoped.h"
#include "host/HostContext.h"
#include "host/HostProtocol.h"
#include "host/HostWindow.h"

namespace lntrhost {
namespace {

using HookProc = void(WINAPI*)();

std::string DefaultLibraryPath() {
  char path[MAX_PATH] = {};
  DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string self(path, length < MAX_PATH ? length : 0);
  size_t slash = self.find_last_of("\\/");
  return (slash == std::string::npos ? std::string() : self.substr(0, slash + 1)) + "LNTRHlp.dll";
}

int RunHost(int argc, char** argv) {
  HostContext context;
  std::string error;
  if (!ParseHostOptions(argc, argv, &context.options, &error)) {
    std::fprintf(stderr, "LNTRHost: %s\n", error.c_str());
    return kExitBadOptions;
  }
  const HostOptions& options = context.options;
  if (!context.log.Open(options.logPath)) {
    std::fprintf(stderr, "LNTRHost: cannot write %s\n", options.logPath.c_str());
    return kExitBadOptions;
  }

  // The block before anything else: the library looks for it as soon as it meets the host.
  DWORD mappingSize = options.mappingSize ? options.mappingSize : static_cast<DWORD>(kq::kSharedBlockSize);
  if (!context.block.Create(mappingSize, options.utf8, &error)) {
    context.log.Line("error mapping " + error);
    return kExitNoMapping;
  }
  context.block.SetDoubleClickMenu(options.doubleClickMenu);

  context.manageMsg = ::RegisterWindowMessageA(kq::kManageMsgName);
  context.appIsDisabledMsg = ::RegisterWindowMessageA(kq::kAppIsDisabledMsgName);
  context.getDlgFolderMsg = ::RegisterWindowMessageA(kq::kGetDlgFolderMsgName);

  context.window = CreateHostWindow(context);
  if (!context.window) {
    context.log.Line("error window " + std::to_string(::GetLastError()));
    return kExitNoWindow;
  }
  context.block.SetHostWindow(context.window);
  if (options.show) ::ShowWindow(context.window, SW_SHOWNOACTIVATE);

  kq::ScopedModule library;
  HookProc hookOff = nullptr;
  if (options.hook) {
    std::string path = options.dllPath.empty() ? DefaultLibraryPath() : options.dllPath;
    library.reset(::LoadLibraryA(path.c_str()));
    HookProc hookOn = kq::ModuleEntry<HookProc>(library.get(), "HookOn");
    hookOff = kq::ModuleEntry<HookProc>(library.get(), "HookOff");
    if (!hookOn || !hookOff) {
      context.log.Line("error library " + path + " " + std::to_string(::GetLastError()));
      return kExitNoLibrary;
    }
    hookOn();
    context.log.Line("hook on");
  } else {
    context.log.Line("hook none");
  }

  context.log.Line("ready hwnd=" + Hex(context.window) + " pid=" + std::to_string(::GetCurrentProcessId()) +
                   " mapping=" + std::to_string(mappingSize));
  if (options.hangAfterStart) {
    context.log.Line("hanging");
    for (;;) ::Sleep(INFINITE);
  }

  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  if (hookOff) {
    hookOff();
    context.log.Line("hook off");
  }
  context.log.Line("exit");
  return kExitOk;
}

}  // namespace
}  // namespace lntrhost

int main(int argc, char** argv) { return lntrhost::RunHost(argc, argv); }
