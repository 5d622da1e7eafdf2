// Counting the GDI objects a process holds where the system's own count says nothing.
#pragma once

#include <windows.h>

namespace kq::test {

// The GDI objects process holds, counted in the process's own GDI handle table (the system's
// GetGuiResources counts nothing under Wine); -1 when the table cannot be read.
int GdiObjectsOf(HANDLE process);

// The same count, with the display device contexts and the regions among them apart. The system
// keeps a cache of window device contexts per process: a window painted while every cached one is
// taken or still bound to another live window gets a new one, kept (each with its visible region
// while bound) up to the system's bound, so these grow with how many painted windows a process had
// at once, not with how often it painted. total is -1 when the table cannot be read.
struct GdiObjectCounts {
  int total = -1;
  int displayDeviceContexts = 0;  // not memory or metafile DCs
  int regions = 0;
};
GdiObjectCounts GdiObjectCountsOf(HANDLE process);

}  // namespace kq::test
