// What the host and tests know of LNTRHook64.exe: its file name, beside the x86-64 LNTRHlp.dll,
// the class of its hidden window (WM_CLOSE to it ends the companion), and its exit codes.
#pragma once

namespace lntrhook64 {

constexpr char kCompanionExe[] = "LNTRHook64.exe";
constexpr char kCompanionClass[] = "LNTRHook64";

// 0 after HookOff, or when another companion already serves the host or no host is there.
constexpr int kExitDone = 0;
constexpr int kExitNoLibrary = 1;  // LNTRHlp.dll beside it, or its HookOn/HookOff, could not be loaded
constexpr int kExitNoWindow = 2;   // its window or timer could not be made

}  // namespace lntrhook64
