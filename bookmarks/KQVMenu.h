// The user's bookmark tree and folder history, as the host stores them in the registry, loaded
// into a node tree and turned into a native popup menu: folders become submenus, separators
// separator items, bookmarks and history entries command items with a small icon in the
// check-mark area.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "bookmarks/KQTreeUtl.h"
#include "common/KQRegistry.h"
#include "common/KQScoped.h"

namespace kq {

// The stored tree and history, below the host's key (kCompanyKey joined with kProductName).
constexpr char kTreeKeyName[] = "KQVTree";
constexpr char kHistoryKeyName[] = "LNTRHistory";
std::string TreeKeyPath();     // \Software\Quillonworks\Lanterna\KQVTree
std::string HistoryKeyPath();  // \Software\Quillonworks\Lanterna\LNTRHistory

// The caption of the folder that holds the history.
constexpr char kHistoryCaption[] = "History";

// Node types as stored in "NodeType"; any other value is shown like a bookmark.
constexpr std::uint8_t kNodeBookmark = 0;
constexpr std::uint8_t kNodeFolder = 1;
constexpr std::uint8_t kNodeSeparator = 2;

// The loader does not descend further: keys below this many levels under the tree key are not
// loaded, so that a tree written by another program cannot exhaust the stack.
constexpr int kMaxTreeDepth = 32;

// The payload of one bookmark node. Its texts are UTF-8.
class TKQVBmkInfo : public TNodeData {
 public:
  TKQVBmkInfo(std::string fileName, std::uint8_t nodeType) : FileName(std::move(fileName)), NodeType(nodeType) {}

  int MenuIndex = -1;  // the command index the last menu build gave the item
  std::string FileName;
  std::string DisplayName;
  std::uint8_t NodeType;
  // The item's check-mark bitmap, or none; shared with the menu object once a menu shows it.
  std::shared_ptr<ScopedBitmap> Bitmap;
  std::string IconFileName;
  int IconIndex = 0;
};

// A bookmark node. It owns the TKQVBmkInfo given as its Data. The accessors tolerate a node
// without payload: reads give an empty text, 0 or none, writes do nothing.
class TKQVNode : public TCustomNode {
 public:
  explicit TKQVNode(TCustomNodes* owner) noexcept : TCustomNode(owner) {}
  // The payload is freed (and Data cleared) before the node's subtree.
  ~TKQVNode() override;

  // Takes P over when it is a TKQVBmkInfo; a payload held before is freed.
  void SetData(TNodeData* p) noexcept override;
  TKQVBmkInfo* Info() const noexcept { return payload_.get(); }

  std::string FileName() const;
  void SetFileName(const std::string& value);  // rebuilds the bitmap (UpdateBitmap)
  std::string DisplayName() const;
  void SetDisplayName(const std::string& value);
  std::uint8_t NodeType() const noexcept;
  void SetNodeType(std::uint8_t value) noexcept;
  std::string IconFileName() const;
  void SetIconFileName(const std::string& value);  // rebuilds the bitmap when the value changes
  int IconIndex() const noexcept;
  void SetIconIndex(int value);  // rebuilds the bitmap when the value changes
  int MenuIndex() const noexcept;
  void SetMenuIndex(int value) noexcept;
  HBITMAP Bitmap() const noexcept;

 private:
  std::unique_ptr<TKQVBmkInfo> payload_;
};

// Milliseconds LoadTree may spend on icons that ask the file system; nodes after that get the
// generic icon of their kind. Only local fixed drives are asked, so this is a bound for a disk that
// hangs, far above what a tree of a thousand local bookmarks takes (the shell's first icon lookup
// in a process alone can take a tenth of it on a busy machine).
constexpr DWORD kIconBudgetMs = 2000;

class TKQVMenu : public TCustomNodes {
 public:
  TKQVMenu() = default;
  ~TKQVMenu() override = default;

  // When true, setting a node's FileName, IconFileName or IconIndex rebuilds its bitmap.
  bool ShowIcons() const noexcept { return showIcons_; }
  void SetShowIcons(bool value) noexcept { showIcons_ = value; }

  // Every node of the menu is a TKQVNode.
  std::unique_ptr<TCustomNode> CreateNode() final;

  // Replaces the content by the tree stored under Path (an absolute key). An error of any kind
  // (a value that is not a string, a "NodeType" or "IconIndex" that is not a decimal integer)
  // ends the loading silently; the nodes loaded so far stay, the one being filled included.
  // Keys more than kMaxTreeDepth levels below Path are not loaded. With FirstRootOnly, the roots
  // after the first (which no menu shows) are not loaded either.
  void LoadTree(TKQRegIniFile* reg, const std::string& path, bool firstRootOnly = false);
  // Appends the history stored as the values of Path: a separator and a folder "History" as the
  // last children of the first node (as roots when the menu is empty), the entries below the
  // folder in enumeration order. Nothing when Reg is none or the key is missing or empty.
  // A history value that is not a string throws TKQRegDataTypeError to the caller, who must not
  // let it escape; the nodes appended up to then stay, and ShowIcons is on again.
  void LoadHistory(TKQRegIniFile* reg, const std::string& path);

  // Rebuilds Node's check-mark bitmap from its icon file, or from the shell's icon of its
  // (expanded) FileName; no bitmap when no icon can be had. Never throws. Only files on local
  // fixed drives are looked at: a node naming anything else (a network or removable drive, a UNC
  // or device path, a relative one), and every node once LoadTree has spent kIconBudgetMs on
  // icons, gets the shell's generic icon of its kind, found without asking the file system.
  void UpdateBitmap(TKQVNode* node) noexcept;
  // The check-mark bitmap UpdateBitmap would give a node with Info, asking the file system only
  // when MayAskFiles (otherwise the generic icon of the node's kind); none when no icon can be had.
  // Bitmaps showing one of the shell's icons are shared with the nodes showing the same. May throw.
  std::shared_ptr<ScopedBitmap> IconBitmap(const TKQVBmkInfo& info, bool mayAskFiles);
  // A new popup menu holding the level below ParentNode (the roots for none), or null when that
  // level is empty. Bookmarks take the command id Id and the MenuIndex Index, both advanced in
  // pre-order over the bookmarks; folders and separators take neither. When a bookmark would need
  // an id beyond LastId, it and everything after it are left out (and a folder left with nothing).
  // The caller owns the menu. The check-mark bitmaps it shows stay valid as long as this object,
  // also after a reload or a new icon has replaced their nodes' own.
  HMENU BuildMenu(TCustomNode* parentNode, UINT& id, int& index, UINT lastId = UINT_MAX);
  // The first node in pre-order whose MenuIndex is Index (never one that is negative), or none:
  // the bookmark a command of the last built menu stands for.
  TKQVNode* FindByIndex(int index) const noexcept;
  // Sends window to the folder of the bookmark FindByIndex(index) finds, with sendTo (the caller's
  // set-folder operation); false when no bookmark has that index or sendTo answers false.
  using TSendWindowTo = bool (*)(HWND window, const std::string& folder);
  bool ExecuteCommand(HWND window, int index, TSendWindowTo sendTo) const;

 private:
  void LoadLevel(TKQRegIniFile& reg, const std::string& keyPath, TKQVNode* parent, int depth);
  TKQVNode* AddInfoChild(TCustomNode* parent, std::unique_ptr<TKQVBmkInfo> info);
  // One level of BuildMenu; Exhausted turns true when a bookmark found no id left.
  HMENU BuildLevel(TCustomNode* parentNode, UINT& id, int& index, UINT lastId, bool& exhausted);
  // Gives the item at position of menu the node's bitmap, which this object keeps from then on.
  void SetItemBitmap(HMENU menu, UINT position, const TKQVNode& node);

  // The bitmap nodes showing one icon share, made once and kept by this object under Name: the
  // name of a generic kind (GenericShellName), whose icon the shell finds by attributes, or one
  // naming the shell's icon number, drawn from Icon.
  std::shared_ptr<ScopedBitmap> SharedBitmap(const std::string& name, HICON icon);
  // True while the icons of the tree being loaded may still ask the file system.
  bool WithinIconBudget() const noexcept;

  bool showIcons_ = true;
  bool firstRootOnly_ = false;  // while LoadTree runs
  // While LoadTree runs: the tick count at which its icons stop asking the file system.
  bool iconBudgetOn_ = false;
  DWORD iconBudgetEnd_ = 0;
  // The bitmaps SharedBitmap made, by name; shared by the nodes showing them.
  std::map<std::string, std::shared_ptr<ScopedBitmap>> sharedBitmaps_;
  // Every bitmap a built menu shows, each once: a menu does not own its items' bitmaps, and the
  // menus built here may outlive the nodes (the shell keeps its menu while the handler reloads
  // the tree).
  std::set<std::shared_ptr<ScopedBitmap>> shownBitmaps_;
};

// The "History" folder's bitmap, loaded at start-up from the RCDATA resource "HISTORY" (16 by 16
// pixels, 32 bits); null when missing. Owned by this unit.
HBITMAP HistoryBitmap() noexcept;

// Start-up and shut-down of this unit: the history bitmap.
void StartupVMenu();
void ShutdownVMenu();

}  // namespace kq
