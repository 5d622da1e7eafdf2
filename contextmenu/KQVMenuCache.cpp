#include "contextmenu/KQVMenuCache.h"

#include <memory>

#include "common/KQGuard.h"
#include "common/KQLock.h"
#include "common/KQProcessStatic.h"
#include "common/KQRegistry.h"

namespace kq {
namespace {

struct TMenuCache {
  TLock lock;
  TKQRegWatch watch;               // the host's key, subkeys included
  std::unique_ptr<TKQVMenu> menu;  // what was read when the watch was armed, or none
  bool favorites = false;
  bool history = false;
  unsigned generation = 0;  // counts the readings started, so that only the last one is kept
};

ProcessStatic<TMenuCache> g_Cache;

// Where LoadHistory appends: a separator and the "History" folder after the children the first
// node has, or, in an empty menu, a separator as the first node with the folder as its only child.
struct THistoryPlace {
  TCustomNode* First = nullptr;
  size_t Children = 0;
};

THistoryPlace PlaceOfHistory(const TKQVMenu& menu) noexcept {
  THistoryPlace place;
  place.First = menu.GetFirstNode();
  if (place.First && place.First->Children()) place.Children = place.First->Children()->size();
  return place;
}

// A history value that is not a string ends the loading with its entry appended but not filled
// in: the last entry of the folder the loading appended. It leads nowhere and is taken out again.
// Unless the loading got as far as appending its folder, nothing is taken: every other node is
// the user's.
void DropUnreadHistoryEntry(TKQVMenu& menu, const THistoryPlace& before) noexcept {
  TCustomNode* first = menu.GetFirstNode();
  if (!first || (before.First && first != before.First)) return;
  const TCustomNode::NodeList* children = first->Children();
  const size_t appended = before.First ? before.Children + 2 : 1;
  if (!children || children->size() != appended) return;
  const TCustomNode::NodeList* entries = children->back()->Children();
  if (!entries || entries->empty()) return;
  auto* entry = static_cast<TKQVNode*>(entries->back().get());
  if (entry->FileName().empty() && entry->DisplayName().empty()) menu.DeleteNode(entry);
}

// The tree and then the history, each through a reader of its own.
void LoadMenus(TKQVMenu& menu, bool favorites, bool history) {
  if (favorites) {
    Guard([&] {
      TKQRegIniFile reg(KEY_READ);
      menu.LoadTree(&reg, TreeKeyPath());
    });
  } else {
    // The tree's reload starts afresh; without it, an earlier history would be shown twice.
    menu.Clear();
  }
  if (history) {
    const THistoryPlace place = PlaceOfHistory(menu);
    const bool loaded = Guard([&] {
      TKQRegIniFile reg(KEY_READ);
      menu.LoadHistory(&reg, HistoryKeyPath());
    });
    if (!loaded) DropUnreadHistoryEntry(menu, place);
  }
}

}  // namespace

void CopyBookmarkMenus(TKQVMenu& menu, bool favorites, bool history) {
  TMenuCache& cache = *g_Cache;
  bool watched = false;
  unsigned generation = 0;
  {
    TLockGuard hold(cache.lock);
    if (cache.menu && cache.favorites == favorites && cache.history == history && cache.watch.Unchanged()) {
      menu.Assign(*cache.menu);
      return;
    }
    cache.menu.reset();
    // Armed before the reading: a change made while it reads is seen at the next right-click.
    watched = cache.watch.Arm(HKEY_CURRENT_USER, ProductKeyPath());
    generation = ++cache.generation;
  }
  // Read without the lock: the shell's icons may take their time, and another thread's
  // right-click must not wait for them.
  LoadMenus(menu, favorites, history);
  if (!watched) return;  // nothing to watch (no host's key): read at every right-click
  auto kept = std::make_unique<TKQVMenu>();
  kept->Assign(menu);
  TLockGuard hold(cache.lock);
  if (cache.generation != generation) return;  // a later reading has armed the watch again
  cache.menu = std::move(kept);
  cache.favorites = favorites;
  cache.history = history;
}

void ShutdownMenuCache() {
  TMenuCache& cache = *g_Cache;
  TLockGuard hold(cache.lock);
  cache.menu.reset();
  cache.watch.Disarm();
}

}  // namespace kq
