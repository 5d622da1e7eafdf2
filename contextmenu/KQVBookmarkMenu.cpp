#include "contextmenu/KQVBookmarkMenu.h"

#include <algorithm>
#include <climits>

#include "common/KQGuard.h"
#include "common/KQScoped.h"
#include "common/KQSysCalls.h"
#include "common/KQText.h"
#include "common/KQUtils.h"

namespace kq {
namespace {

DWORD TicksLeft(DWORD end) noexcept {
  const LONG left = static_cast<LONG>(end - ::GetTickCount());
  return left > 0 ? static_cast<DWORD>(left) : 0;
}

}  // namespace

TKQVBookmarkMenu::TKQVBookmarkMenu(bool favorites, bool history, TShownBitmaps& shown)
    : favorites_(favorites), history_(history), shown_(shown) {
  if (favorites_) treeReading_ = TakeTreeReading();
  if (history_) historyReading_ = TakeHistoryReading();
  const DWORD end = ::GetTickCount() + kQueryWaitMs;
  if (treeReading_) tree_ = treeReading_->Wait(TicksLeft(end));
  if (historyReading_) historyPart_ = historyReading_->Wait(TicksLeft(end));

  // What a reading under way will find is guessed from what the registry says at once.
  bool treeShows = false, historyShows = false;
  UINT treeOffsets = 0, historyOffsets = 0;
  if (tree_) {
    treeShows = tree_->Top() && tree_->Top()->ChildCount() > 0;
    treeOffsets = static_cast<UINT>(tree_->BookmarkCount());
  } else if (treeReading_) {
    treeShows = StoredTreeShowsNodes();
    treeOffsets = std::max(kUnknownTreeOffsets, 2 * static_cast<UINT>(std::max(0, LastTreeBookmarkCount())));
  }
  if (historyPart_) {
    historyShows = historyPart_->Present;
    historyOffsets = static_cast<UINT>(historyPart_->Entries.size());
  } else if (historyReading_) {
    historyOffsets = StoredHistoryValues();
    historyShows = historyOffsets > 0;
  }
  hasItems_ = treeShows || historyShows;
  neededOffsets_ = treeOffsets + historyOffsets;
}

HMENU TKQVBookmarkMenu::MakeMenu(UINT idFirst, UINT firstOffset, UINT endOffset) {
  idFirst_ = idFirst;
  firstOffset_ = firstOffset;
  available_ = endOffset > firstOffset ? endOffset - firstOffset : 0;
  // Bookmarks to show, and not one offset for them: nothing could be chosen.
  if (!hasItems_ || (available_ == 0 && neededOffsets_ > 0)) return nullptr;
  return NewLevel(TLevel::Top, nullptr);
}

HMENU TKQVBookmarkMenu::NewLevel(TLevel level, const TCustomNode* node) {
  HMENU menu = sys::CreatePopupMenu();
  if (menu) levels_[menu] = TPending{level, node, false};
  return menu;
}

bool TKQVBookmarkMenu::Readings() {
  if (favorites_ && !tree_ && treeReading_) tree_ = treeReading_->Wait(kFillWaitMs);
  if (history_ && !historyPart_ && historyReading_) historyPart_ = historyReading_->Wait(kFillWaitMs);
  return (!favorites_ || tree_ || !treeReading_) && (!history_ || historyPart_ || !historyReading_);
}

int TKQVBookmarkMenu::TreeNodes() const noexcept { return tree_ ? tree_->NodeCount() : 0; }

int TKQVBookmarkMenu::TreeBookmarks() const noexcept { return tree_ ? tree_->BookmarkCount() : 0; }

int TKQVBookmarkMenu::ExhaustedAt() const noexcept {
  const int bookmarks = TreeBookmarks();
  const int nodes = TreeNodes();
  const int available = static_cast<int>(std::min<UINT>(available_, INT_MAX / 2));
  if (available < bookmarks) return tree_->PlaceOf(tree_->BookmarkAt(available)).Seq;
  const int entries = historyPart_ && history_ ? static_cast<int>(historyPart_->Entries.size()) : 0;
  // After the tree come a separator, the "History" folder and its entries.
  if (available - bookmarks < entries) return nodes + 2 + (available - bookmarks);
  return INT_MAX;
}

bool TKQVBookmarkMenu::Fill(HMENU menu) {
  const auto found = levels_.find(menu);
  if (found == levels_.end() || !::IsMenu(menu)) return false;
  if (found->second.Filled) return true;
  // A reading that has not ended leaves the level empty; it is filled when it opens again.
  if (!Readings()) return true;
  found->second.Filled = true;
  const int exhausted = ExhaustedAt();
  iconsUntil_ = ::GetTickCount() + kIconBudgetMs;
  UINT position = 0;
  switch (found->second.Level) {
    case TLevel::Top:
      if (favorites_ && tree_) FillTree(menu, tree_->Top(), position, exhausted);
      if (history_ && historyPart_ && historyPart_->Present) {
        // The history follows the first root's children after a separator; without a root it
        // stands alone.
        const int separator = TreeNodes();
        if (favorites_ && tree_ && tree_->Top() && separator < exhausted)
          sys::InsertMenuW(menu, position++, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
        FillHistoryFolder(menu, position, exhausted);
      }
      break;
    case TLevel::Folder:
      FillTree(menu, found->second.Node, position, exhausted);
      break;
    case TLevel::History:
      FillHistory(menu, exhausted);
      break;
  }
  return true;
}

void TKQVBookmarkMenu::FillTree(HMENU menu, const TCustomNode* parent, UINT& position, int exhausted) {
  if (!parent || !parent->Children()) return;
  for (const auto& child : *parent->Children()) {
    const auto& node = static_cast<const TKQVNode&>(*child);
    const TBookmarkTree::TPlace place = tree_->PlaceOf(&node);
    // What comes after the first bookmark without an offset is left out, in pre-order.
    if (place.Seq < 0 || place.Seq >= exhausted) return;
    const bool mayAskFiles = TicksLeft(iconsUntil_) > 0;
    switch (node.NodeType()) {
      case kNodeSeparator:
        sys::InsertMenuW(menu, position, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
        break;
      case kNodeFolder: {
        const std::wstring caption = ToWide(ExpandPath(node.DisplayName()));
        if (node.ChildCount() > 0) {
          // A folder whose first entry is left out is left out with it.
          if (place.Seq + 1 >= exhausted) return;
          ScopedMenu submenu(NewLevel(TLevel::Folder, &node));
          if (!submenu || !sys::InsertMenuW(menu, position, MF_BYPOSITION | MF_POPUP | MF_STRING,
                                            reinterpret_cast<UINT_PTR>(submenu.get()), caption.c_str()))
            continue;
          (void)submenu.release();  // the menu owns it now
        } else {
          // A folder without entries shows as a greyed item that cannot be chosen.
          sys::InsertMenuW(menu, position, MF_BYPOSITION | MF_STRING | MF_GRAYED, 0, caption.c_str());
        }
        ShowBitmap(menu, position, tree_->Icon(node, mayAskFiles));
        break;
      }
      default:
        sys::InsertMenuW(menu, position, MF_BYPOSITION | MF_STRING, idFirst_ + firstOffset_ + place.Rank,
                         ToWide(node.DisplayName()).c_str());
        ShowBitmap(menu, position, tree_->Icon(node, mayAskFiles));
        break;
    }
    ++position;
  }
}

void TKQVBookmarkMenu::FillHistoryFolder(HMENU menu, UINT& position, int exhausted) {
  const int folder = TreeNodes() + 1;
  const std::wstring caption = ToWide(kHistoryCaption);
  if (!historyPart_->Entries.empty()) {
    if (folder + 1 >= exhausted) return;
    ScopedMenu submenu(NewLevel(TLevel::History, nullptr));
    if (!submenu || !sys::InsertMenuW(menu, position, MF_BYPOSITION | MF_POPUP | MF_STRING,
                                      reinterpret_cast<UINT_PTR>(submenu.get()), caption.c_str()))
      return;
    (void)submenu.release();
  } else {
    // Its first value was no string: a folder without entries.
    if (folder >= exhausted) return;
    sys::InsertMenuW(menu, position, MF_BYPOSITION | MF_STRING | MF_GRAYED, 0, caption.c_str());
  }
  ShowBitmap(menu, position, historyPart_->FolderBitmap);
  ++position;
}

void TKQVBookmarkMenu::FillHistory(HMENU menu, int exhausted) {
  const int first = TreeNodes() + 2;
  const UINT firstId = idFirst_ + firstOffset_ + TreeBookmarks();
  UINT position = 0;
  for (const std::string& entry : historyPart_->Entries) {
    if (first + static_cast<int>(position) >= exhausted) return;
    // History entries carry no bitmap.
    sys::InsertMenuW(menu, position, MF_BYPOSITION | MF_STRING, firstId + position, ToWide(entry).c_str());
    ++position;
  }
}

void TKQVBookmarkMenu::ShowBitmap(HMENU menu, UINT position, const std::shared_ptr<ScopedBitmap>& bitmap) {
  if (!bitmap || !*bitmap) return;
  shown_.insert(bitmap);  // kept before it is handed out
  sys::SetMenuItemBitmaps(menu, position, MF_BYPOSITION, bitmap->get(), bitmap->get());
}

bool TKQVBookmarkMenu::FolderAt(UINT offset, std::string& folder) {
  if (offset < firstOffset_ || offset - firstOffset_ >= available_ || !Readings()) return false;
  UINT rank = offset - firstOffset_;
  const UINT bookmarks = static_cast<UINT>(TreeBookmarks());
  if (rank < bookmarks) {
    folder = tree_->BookmarkAt(static_cast<int>(rank))->FileName();
    return true;
  }
  rank -= bookmarks;
  if (!history_ || !historyPart_ || rank >= historyPart_->Entries.size()) return false;
  folder = historyPart_->Entries[rank];
  return true;
}

}  // namespace kq
