// The bookmark tree and folder history a right-click shows, kept for the process from one
// right-click to the next while the registry reports no change below the host's key. Reading a
// large tree and its icons takes far longer than a menu may make the shell's thread wait; the
// registry's change notification says, without reading, whether what was read is still what it
// holds.
#pragma once

#include "bookmarks/KQVMenu.h"

namespace kq {

// Fills Menu with the tree (when Favorites) followed by the history (when History), as the
// registry holds them now: from the kept copy when nothing has changed since it was read, read
// afresh otherwise. A history value that is not a string ends only the history's loading.
void CopyBookmarkMenus(TKQVMenu& menu, bool favorites, bool history);

// Shut-down of this unit: the kept copy and its watch are given up.
void ShutdownMenuCache();

}  // namespace kq
