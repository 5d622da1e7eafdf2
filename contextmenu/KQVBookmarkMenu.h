// The "Bookmarks..." submenu of one right-click. QueryContextMenu inserts it empty, with the
// command ids its items will take reserved; each of its levels (the top, a bookmark folder, the
// history) is filled when the shell reports that it opens, from the readings the right-click took.
// The items, their order, texts, icons and ids are those of a menu built all at once: bookmarks
// take their offsets in pre-order over the tree, the history entries after them.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <set>
#include <string>

#include "contextmenu/KQVMenuCache.h"

namespace kq {

// Bitmaps a menu shows: a menu does not own them, and they must stay valid as long as the menu
// may be on the screen.
using TShownBitmaps = std::set<std::shared_ptr<ScopedBitmap>>;

// How long a right-click waits for readings under way before it reserves ids without them.
constexpr DWORD kQueryWaitMs = 10;
// How long a submenu that opens (or a command chosen) waits for a reading that has not ended.
constexpr DWORD kFillWaitMs = 5000;
// The offsets reserved for a tree whose reading has not ended, at least (twice the last count
// when that is more).
constexpr UINT kUnknownTreeOffsets = 2048;

class TKQVBookmarkMenu {
 public:
  // Takes the readings of the parts shown (the tree when Favorites, the history when History)
  // and waits for them at most kQueryWaitMs in all. Shown keeps every bitmap the levels show; it
  // must outlive the menus (the handler's, which may be asked for a menu again while the first is
  // still on the screen).
  TKQVBookmarkMenu(bool favorites, bool history, TShownBitmaps& shown);
  TKQVBookmarkMenu(const TKQVBookmarkMenu&) = delete;
  TKQVBookmarkMenu& operator=(const TKQVBookmarkMenu&) = delete;

  // The offsets the bookmarks may need: exact once the readings have ended, more while they have
  // not.
  UINT NeededOffsets() const noexcept { return neededOffsets_; }

  // The empty submenu, whose bookmarks take the offsets from FirstOffset up to (not including)
  // EndOffset and the ids IdFirst + offset; null when nothing can be shown. The caller owns it.
  HMENU MakeMenu(UINT idFirst, UINT firstOffset, UINT endOffset);
  // Fills Menu when it is a level of this submenu that has not been filled (WM_INITMENUPOPUP).
  // False when Menu is none of its levels.
  bool Fill(HMENU menu);
  // The folder of the item at Offset; false when no item shown has it.
  bool FolderAt(UINT offset, std::string& folder);

 private:
  enum class TLevel { Top, Folder, History };
  struct TPending {
    TLevel Level;
    const TCustomNode* Node;  // the folder's node
    bool Filled;
  };

  // The readings, waited for at most kFillWaitMs; false when a part shown is not there.
  bool Readings();
  // The nodes and bookmarks of the tree shown (none without favourites: the tree is then not read).
  int TreeNodes() const noexcept;
  int TreeBookmarks() const noexcept;
  // The sequence number of the first item left out for want of offsets, or INT_MAX.
  int ExhaustedAt() const noexcept;
  void FillTree(HMENU menu, const TCustomNode* parent, UINT& position, int exhausted);
  void FillHistoryFolder(HMENU menu, UINT& position, int exhausted);
  void FillHistory(HMENU menu, int exhausted);
  HMENU NewLevel(TLevel level, const TCustomNode* node);
  void ShowBitmap(HMENU menu, UINT position, const std::shared_ptr<ScopedBitmap>& bitmap);

  const bool favorites_;
  const bool history_;
  std::shared_ptr<TTreeReading> treeReading_;
  std::shared_ptr<THistoryReading> historyReading_;
  std::shared_ptr<TBookmarkTree> tree_;
  std::shared_ptr<TBookmarkHistory> historyPart_;
  bool hasItems_ = false;
  UINT neededOffsets_ = 0;

  UINT idFirst_ = 0;
  UINT firstOffset_ = 0;
  UINT available_ = 0;  // offsets the bookmarks may take
  std::map<HMENU, TPending> levels_;
  DWORD iconsUntil_ = 0;  // while a level fills: the tick count at which icons stop asking files
  TShownBitmaps& shown_;
};

}  // namespace kq
