#include "contextmenu/KQVMenuCache.h"

#include <utility>

#include "common/KQGuard.h"
#include "common/KQProcessStatic.h"
#include "common/KQRegistry.h"
#include "common/KQSysCalls.h"
#include "common/KQText.h"
#include "common/KQWorker.h"

namespace kq {
namespace {

bool IsCommand(const TKQVNode& node) noexcept {
  return node.NodeType() != kNodeFolder && node.NodeType() != kNodeSeparator;
}

// One part: its watch and the reading that holds it as the registry has it since the watch was armed.
template <typename Part>
struct TKeptPart {
  TKQRegWatch watch;
  bool watched = false;
  std::shared_ptr<TReading<Part>> latest;
};

struct TMenuCache {
  TLock lock;
  TKeptPart<TBookmarkTree> tree;
  TKeptPart<TBookmarkHistory> history;
  int lastTreeBookmarks = -1;
};

ProcessStatic<TMenuCache> g_Cache;

// The reading Kept holds while nothing has changed, or a new one, started with its watch armed
// before it reads: a change made while it reads is seen at the next right-click. The reading runs
// on a worker (the caller's thread when none can start), AfterRead after it.
template <typename Part, typename AfterRead>
std::shared_ptr<TReading<Part>> Take(TKeptPart<Part>& kept, const std::string& path, AfterRead afterRead) {
  auto reading = std::make_shared<TReading<Part>>();
  {
    TLockGuard hold(g_Cache->lock);
    if (kept.latest && kept.watched && kept.watch.Unchanged()) return kept.latest;
    if (!reading->Valid()) return nullptr;
    // Without a key to watch (none yet), every right-click reads: it finds nothing at once.
    kept.watched = kept.watch.Arm(HKEY_CURRENT_USER, path);
    kept.latest = reading;
  }
  auto read = [reading, afterRead] {
    std::shared_ptr<Part> part;
    Guard([&] {
      part = std::make_shared<Part>();
      part->Read();
      afterRead(*part);
    });
    reading->Finish(part);
  };
  if (!RunOnWorker(read)) read();
  return reading;
}

// The count a right-click reserves offsets by while a later reading is under way.
void NoteBookmarkCount(const TBookmarkTree& tree) {
  TLockGuard hold(g_Cache->lock);
  g_Cache->lastTreeBookmarks = tree.BookmarkCount();
}

}  // namespace

// ---- TBookmarkTree -----------------------------------------------------------------------------

void TBookmarkTree::Read() {
  menu_.SetShowIcons(false);
  TKQRegIniFile reg(KEY_READ);
  // Only the first root's nodes are shown.
  menu_.LoadTree(&reg, TreeKeyPath(), true);
  Number(Top());
}

void TBookmarkTree::Number(const TCustomNode* parent) {
  if (!parent || !parent->Children()) return;
  for (const auto& child : *parent->Children()) {
    const auto& node = static_cast<const TKQVNode&>(*child);
    TPlace place;
    place.Seq = static_cast<int>(places_.size());
    if (IsCommand(node)) {
      place.Rank = static_cast<int>(bookmarks_.size());
      bookmarks_.push_back(&node);
    }
    places_[&node] = place;
    // Only folders open: what lies below a bookmark or a separator is never shown.
    if (node.NodeType() == kNodeFolder) Number(&node);
  }
}

TBookmarkTree::TPlace TBookmarkTree::PlaceOf(const TCustomNode* node) const noexcept {
  const auto found = places_.find(node);
  return found == places_.end() ? TPlace{} : found->second;
}

const TKQVNode* TBookmarkTree::BookmarkAt(int rank) const noexcept {
  return rank >= 0 && rank < BookmarkCount() ? bookmarks_[static_cast<size_t>(rank)] : nullptr;
}

std::shared_ptr<ScopedBitmap> TBookmarkTree::Icon(const TKQVNode& node, bool mayAskFiles) noexcept {
  if (!node.Info()) return nullptr;
  return Guarded(std::shared_ptr<ScopedBitmap>(), [&] {
    TLockGuard hold(iconLock_);
    const auto found = icons_.find(&node);
    if (found != icons_.end()) return found->second;
    std::shared_ptr<ScopedBitmap> bitmap = menu_.IconBitmap(*node.Info(), mayAskFiles);
    if (mayAskFiles) icons_.emplace(&node, bitmap);
    return bitmap;
  });
}

// ---- TBookmarkHistory --------------------------------------------------------------------------

void TBookmarkHistory::Read() {
  TKQRegIniFile reg(KEY_READ);
  if (!reg.OpenKey(HistoryKeyPath(), false)) return;
  std::vector<std::string> names;
  reg.GetValueNames(names);
  if (names.empty()) return;
  Present = true;
  if (HBITMAP history = HistoryBitmap()) {
    ScopedBitmap copy(static_cast<HBITMAP>(::CopyImage(history, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (copy) FolderBitmap = std::make_shared<ScopedBitmap>(std::move(copy));
  }
  // A value that is not a string ends the history there.
  for (const std::string& name : names) {
    std::string folder;
    if (!Guard([&] { folder = reg.ReadString("", name, ""); })) break;
    Entries.push_back(std::move(folder));
  }
}

// ---- The kept readings -------------------------------------------------------------------------

std::shared_ptr<TTreeReading> TakeTreeReading() noexcept {
  return Guarded(std::shared_ptr<TTreeReading>(), [] { return Take(g_Cache->tree, TreeKeyPath(), NoteBookmarkCount); });
}

std::shared_ptr<THistoryReading> TakeHistoryReading() noexcept {
  return Guarded(std::shared_ptr<THistoryReading>(),
                 [] { return Take(g_Cache->history, HistoryKeyPath(), [](const TBookmarkHistory&) {}); });
}

namespace {

// The key at the absolute Path below HKEY_CURRENT_USER, opened for reading; empty when missing.
ScopedKey OpenStored(const std::string& path) noexcept {
  ScopedKey key;
  const std::wstring relative = ToWide(path.substr(path.rfind('\\', 0) == 0 ? 1 : 0));
  if (sys::RegOpenKeyExW(HKEY_CURRENT_USER, relative.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    (void)key.release();  // the failed call may have left anything in the handle
  return key;
}

}  // namespace

bool StoredTreeShowsNodes() noexcept {
  return Guarded(false, [] {
    ScopedKey tree = OpenStored(TreeKeyPath());
    if (!tree) return false;
    wchar_t name[kMaxKeyNameChars + 1];
    DWORD length = kMaxKeyNameChars + 1;
    if (sys::RegEnumKeyExW(tree.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      return false;
    ScopedKey first;
    if (sys::RegOpenKeyExW(tree.get(), name, 0, KEY_READ, first.put()) != ERROR_SUCCESS) {
      (void)first.release();
      return false;
    }
    DWORD subkeys = 0;
    return ::RegQueryInfoKeyW(first.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys > 0;
  });
}

DWORD StoredHistoryValues() noexcept {
  return Guarded(DWORD{0}, [] {
    ScopedKey history = OpenStored(HistoryKeyPath());
    DWORD values = 0;
    if (!history || ::RegQueryInfoKeyW(history.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      return DWORD{0};
    return values;
  });
}

int LastTreeBookmarkCount() noexcept {
  TLockGuard hold(g_Cache->lock);
  return g_Cache->lastTreeBookmarks;
}

void ShutdownMenuCache() {
  TMenuCache& cache = *g_Cache;
  TLockGuard hold(cache.lock);
  cache.tree.latest.reset();
  cache.tree.watch.Disarm();
  cache.history.latest.reset();
  cache.history.watch.Disarm();
}

}  // namespace kq
