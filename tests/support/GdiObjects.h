// Counting the GDI objects a process holds where the system's own count says nothing.
#pragma once

#include <windows.h>

namespace kq::test {

// The GDI objects process holds, counted in the process's own GDI handle table (the system's
// GetGuiResources counts nothing under Wine); -1 when the table cannot be read.
int GdiObjectsOf(HANDLE process);

// The same count, with the device contexts and the regions among them apart: the system keeps a
// cache of window device contexts per process (each with its visible region), filled as windows
// are painted and kept, so a growth of these alone is the cache's, not a leak. total is -1 when
// the table cannot be read.
struct GdiObjectCounts {
  int total = -1;
  int deviceContexts = 0;
  int regions = 0;
};
GdiObjectCounts GdiObjectCountsOf(HANDLE process);

}  // namespace kq::test
