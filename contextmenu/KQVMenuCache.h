// The bookmark tree and folder history a right-click shows, read off the shell's thread and kept
// for the process while the registry reports no change to them. The two are read and watched
// apart: the host writes its history at every dialog, and a new history must not make the tree be
// read again. Reading a large tree takes far longer than a menu may make the shell's thread wait;
// a right-click takes the readings as they stand and waits for them only when a submenu needs
// what they read.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "bookmarks/KQVMenu.h"
#include "common/KQLock.h"
#include "common/KQScoped.h"

namespace kq {

// The stored tree as one reading found it, without icons. Only the icons change once it is read:
// each is got when first asked for and kept with the tree.
class TBookmarkTree {
 public:
  // Where a node of the shown part of the tree stands in the menu order: its number among all
  // nodes in pre-order, and among the bookmarks (-1 for folders and separators).
  struct TPlace {
    int Seq = -1;
    int Rank = -1;
  };

  // Reads the tree as the registry holds it now (errors end the reading as LoadTree says).
  void Read();

  // The node whose children "Bookmarks..." shows: the first root, or none.
  const TCustomNode* Top() const noexcept { return menu_.GetFirstNode(); }
  TPlace PlaceOf(const TCustomNode* node) const noexcept;
  // Nodes and bookmarks below Top.
  int NodeCount() const noexcept { return static_cast<int>(places_.size()); }
  int BookmarkCount() const noexcept { return static_cast<int>(bookmarks_.size()); }
  // The bookmark of rank Rank, or none.
  const TKQVNode* BookmarkAt(int rank) const noexcept;

  // The check-mark bitmap of Node, got at the first call and kept; the file system is asked only
  // when MayAskFiles (the generic icon of the node's kind stands in otherwise, and is not kept).
  std::shared_ptr<ScopedBitmap> Icon(const TKQVNode& node, bool mayAskFiles) noexcept;

 private:
  void Number(const TCustomNode* level);

  TKQVMenu menu_;
  std::unordered_map<const TCustomNode*, TPlace> places_;
  std::vector<const TKQVNode*> bookmarks_;
  TLock iconLock_;  // guards icons_ and menu_'s shared bitmaps
  std::unordered_map<const TCustomNode*, std::shared_ptr<ScopedBitmap>> icons_;
};

// The stored history as one reading found it.
struct TBookmarkHistory {
  // The key holds values: a separator and the "History" folder follow the tree.
  bool Present = false;
  // The folders, in the order the registry enumerates them, up to a value that is not a string.
  std::vector<std::string> Entries;
  // The "History" folder's bitmap, a copy of the module's.
  std::shared_ptr<ScopedBitmap> FolderBitmap;

  void Read();
};

// One reading of a part, done on a worker thread (on the caller's when none can start).
template <typename Part>
class TReading {
 public:
  TReading() : done_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  // The part as read, waiting at most Ms for it; null when the reading has not ended in time.
  std::shared_ptr<Part> Wait(DWORD ms) const noexcept {
    if (!done_ || ::WaitForSingleObject(done_.get(), ms) != WAIT_OBJECT_0) return nullptr;
    return part_;
  }
  // The reader's: hands the part over.
  void Finish(std::shared_ptr<Part> part) noexcept {
    part_ = std::move(part);
    if (done_) ::SetEvent(done_.get());
  }
  bool Valid() const noexcept { return done_.get() != nullptr; }

 private:
  ScopedHandle done_;
  std::shared_ptr<Part> part_;  // written once, before done_ is set
};

using TTreeReading = TReading<TBookmarkTree>;
using THistoryReading = TReading<TBookmarkHistory>;

// The reading that holds the tree (or history) as the registry holds it now: the kept one while
// nothing has changed since it began, a new one otherwise. Never waits for the reading itself;
// null only when none could be made.
std::shared_ptr<TTreeReading> TakeTreeReading() noexcept;
std::shared_ptr<THistoryReading> TakeHistoryReading() noexcept;

// Read at once, for a right-click whose readings have not ended: whether the stored tree has
// nodes for "Bookmarks..." to show (its first root has children), and how many values the stored
// history holds.
bool StoredTreeShowsNodes() noexcept;
DWORD StoredHistoryValues() noexcept;

// The bookmarks the last tree reading found, or -1 before the first.
int LastTreeBookmarkCount() noexcept;

// Shut-down of this unit: the kept readings and their watches are given up.
void ShutdownMenuCache();

}  // namespace kq
