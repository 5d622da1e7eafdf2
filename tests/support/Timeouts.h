// How long tests wait for what other processes, the host and the system do. Generous bounds: a
// test waits them out only when something is wrong; on a slow machine (LNTR_TIME_SCALE) they are
// longer. The fixed waits (settle, silence) are not: a test sits them out every time.
#pragma once

#include <windows.h>

#include "host/HostProtocol.h"

namespace kq::test {

// A bound of ms on a machine of usual speed.
inline DWORD Scaled(DWORD ms) { return ms * lntrhost::TimeScale(); }

inline const DWORD kDialogWaitMs = Scaled(30000);    // a helper's dialog shows
inline const DWORD kCloseWaitMs = Scaled(15000);     // a cancelled dialog's process ends
inline constexpr DWORD kSettleMs = 1500;             // a shown dialog fills in its controls and gets its set
inline const DWORD kReportWaitMs = Scaled(4000);     // what a dialog's set reports reaches the host's log
inline constexpr DWORD kSilenceMs = 2500;            // how long what must not be reported is watched for
inline const DWORD kAnswerTimeoutMs = Scaled(5000);  // a window of another thread or process answers

}  // namespace kq::test
