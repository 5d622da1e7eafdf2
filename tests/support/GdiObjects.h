// Counting the GDI objects a process holds where the system's own count says nothing.
#pragma once

#include <windows.h>

namespace kq::test {

// The GDI objects process holds, counted in the process's own GDI handle table (the system's
// GetGuiResources counts nothing under Wine); -1 when the table cannot be read.
int GdiObjectsOf(HANDLE process);

}  // namespace kq::test
