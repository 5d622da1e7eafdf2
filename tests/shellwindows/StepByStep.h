// The window classification written out literally, one full descendant search per question, in
// the order of its steps and rows. The library answers from one walk over the tree; the tests
// check every window against both, so the two must agree on every kind and near miss.
#pragma once

#include <windows.h>

#include "shellwindows/KQWindowKind.h"

namespace kq::test {

TWindowKind ClassifyStepByStep(HWND wnd);

}  // namespace kq::test
