// How long tests wait for what other processes, the host and the system do. Generous bounds: a
// test waits them out only when something is wrong.
#pragma once

#include <windows.h>

namespace kq::test {

inline constexpr DWORD kDialogWaitMs = 30000;    // a helper's dialog shows
inline constexpr DWORD kCloseWaitMs = 15000;     // a cancelled dialog's process ends
inline constexpr DWORD kSettleMs = 1500;         // a shown dialog fills in its controls and gets its set
inline constexpr DWORD kReportWaitMs = 4000;     // what a dialog's set reports reaches the host's log
inline constexpr DWORD kSilenceMs = 2500;        // how long what must not be reported is watched for
inline constexpr DWORD kAnswerTimeoutMs = 5000;  // a window of another thread or process answers

}  // namespace kq::test
