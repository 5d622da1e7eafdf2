#include "bookmarks/KQVMenu.h"

#include <stdexcept>
#include <utility>
#include <vector>

#include "bookmarks/KQShellIcons.h"
#include "common/KQGuard.h"
#include "common/KQProcessStatic.h"
#include "common/KQSysCalls.h"
#include "common/KQText.h"
#include "common/KQUtils.h"

namespace kq {
namespace {

// Values of a node key, with the texts that stand for a missing value.
constexpr char kFileNameValue[] = "FileName";
constexpr char kDisplayNameValue[] = "DisplayName";
constexpr char kNodeTypeValue[] = "NodeType";
constexpr char kIconFileNameValue[] = "IconFileName";
constexpr char kIconIndexValue[] = "IconIndex";
constexpr char kDefaultNumber[] = "0";

// Marks the name of a bitmap shared by the number of the shell's icon; no generic kind begins so.
constexpr char kSystemIconMark[] = "#";
constexpr char kHistoryBitmapResource[] = "HISTORY";

ProcessStatic<ScopedBitmap> g_HistoryBitmap;

// A stored decimal integer; anything else ends the loading.
int StoredInteger(const std::string& text) {
  int value = 0;
  if (!TryParseInteger(text, value)) throw std::invalid_argument("not a decimal integer: " + text);
  return value;
}

// The icon Node shows: the icon number IconIndex of an existing IconFileName, or the shell's small
// icon of Target, the expanded FileName. An icon file whose index is out of range gives no icon; only a
// failure of the extraction falls back to the shell's icon. Only paths on local fixed drives are
// looked at. ShareAs gets the name of the bitmap nodes showing the same icon share
// (TKQVMenu::SharedBitmap), or stays empty for an icon of the node's own; for the generic icon of
// the node's kind, which stands in for the others, the answer is null and ShareAs names the kind.
HICON NodeIcon(const TKQVBmkInfo& info, const std::string& target, bool mayAskFiles, std::string& shareAs) {
  shareAs.clear();
  // An empty name is no file of the shell's (though some shells answer with the desktop's icon).
  auto shellIcon = [&]() -> HICON {
    if (target.empty()) return nullptr;
    if (!mayAskFiles || !IsLocalFixedPath(target)) {
      shareAs = GenericShellName(target);
      return nullptr;
    }
    int systemIndex = -1;
    HICON icon = GetShellIcon(target, false, false, &systemIndex);
    if (icon && systemIndex >= 0) shareAs = kSystemIconMark + std::to_string(systemIndex);
    return icon;
  };
  if (!mayAskFiles || !IsLocalFixedPath(info.IconFileName) || !FileExists(info.IconFileName)) return shellIcon();
  HICON icon = nullptr;
  if (!Guard([&] { icon = ExtractSmallFileIcon(info.IconFileName, info.IconIndex); })) return shellIcon();
  return icon;
}

// Icon drawn on the menu's colour into a new bitmap of the check-mark size.
HBITMAP DrawCheckBitmap(HICON icon) {
  const int width = ::GetSystemMetrics(SM_CXMENUCHECK);
  const int height = ::GetSystemMetrics(SM_CYMENUCHECK);
  ScopedWindowDC screen(nullptr, ::GetDC(nullptr));
  if (!screen) return nullptr;
  ScopedBitmap bitmap(::CreateCompatibleBitmap(screen.get(), width, height));
  ScopedMemoryDC dc(::CreateCompatibleDC(screen.get()));
  if (!bitmap || !dc) return nullptr;
  {
    ScopedSelectObject selected(dc.get(), bitmap.get());
    RECT all = {0, 0, width, height};
    ::FillRect(dc.get(), &all, ::GetSysColorBrush(COLOR_MENU));
    ::DrawIconEx(dc.get(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
  }
  return bitmap.release();
}

void ForgetMenuIndexes(const TCustomNode::NodeList* level) {
  if (!level) return;
  for (const std::unique_ptr<TCustomNode>& node : *level) {
    static_cast<TKQVNode&>(*node).SetMenuIndex(-1);
    ForgetMenuIndexes(node->Children());
  }
}

std::shared_ptr<ScopedBitmap> KeptBitmap(HBITMAP bitmap) {
  ScopedBitmap owned(bitmap);
  if (!owned) return nullptr;
  return std::make_shared<ScopedBitmap>(std::move(owned));
}

}  // namespace

std::string TreeKeyPath() { return JoinPath(ProductKeyPath(), kTreeKeyName); }
std::string HistoryKeyPath() { return JoinPath(ProductKeyPath(), kHistoryKeyName); }

// ---- TKQVNode ----------------------------------------------------------------------------------

TKQVNode::~TKQVNode() {
  TCustomNode::SetData(nullptr);
  payload_.reset();
}

void TKQVNode::SetData(TNodeData* p) noexcept {
  if (p == Data()) return;
  std::unique_ptr<TKQVBmkInfo> previous = std::move(payload_);
  payload_.reset(dynamic_cast<TKQVBmkInfo*>(p));
  TCustomNode::SetData(p);
}

std::string TKQVNode::FileName() const { return payload_ ? payload_->FileName : std::string(); }

void TKQVNode::SetFileName(const std::string& value) {
  if (!payload_) return;
  payload_->FileName = value;
  if (auto* menu = dynamic_cast<TKQVMenu*>(Owner())) menu->UpdateBitmap(this);
}

std::string TKQVNode::DisplayName() const { return payload_ ? payload_->DisplayName : std::string(); }

void TKQVNode::SetDisplayName(const std::string& value) {
  if (payload_) payload_->DisplayName = value;
}

std::uint8_t TKQVNode::NodeType() const noexcept { return payload_ ? payload_->NodeType : 0; }

void TKQVNode::SetNodeType(std::uint8_t value) noexcept {
  if (payload_) payload_->NodeType = value;
}

std::string TKQVNode::IconFileName() const { return payload_ ? payload_->IconFileName : std::string(); }

void TKQVNode::SetIconFileName(const std::string& value) {
  if (!payload_ || payload_->IconFileName == value) return;
  payload_->IconFileName = value;
  if (auto* menu = dynamic_cast<TKQVMenu*>(Owner())) menu->UpdateBitmap(this);
}

int TKQVNode::IconIndex() const noexcept { return payload_ ? payload_->IconIndex : 0; }

void TKQVNode::SetIconIndex(int value) {
  if (!payload_ || payload_->IconIndex == value) return;
  payload_->IconIndex = value;
  if (auto* menu = dynamic_cast<TKQVMenu*>(Owner())) menu->UpdateBitmap(this);
}

int TKQVNode::MenuIndex() const noexcept { return payload_ ? payload_->MenuIndex : 0; }

void TKQVNode::SetMenuIndex(int value) noexcept {
  if (payload_) payload_->MenuIndex = value;
}

HBITMAP TKQVNode::Bitmap() const noexcept { return payload_ && payload_->Bitmap ? payload_->Bitmap->get() : nullptr; }

// ---- TKQVMenu ----------------------------------------------------------------------------------

std::unique_ptr<TCustomNode> TKQVMenu::CreateNode() { return std::make_unique<TKQVNode>(this); }

TKQVNode* TKQVMenu::AddInfoChild(TCustomNode* parent, std::unique_ptr<TKQVBmkInfo> info) {
  // CreateNode is final here: every node is a TKQVNode, which has taken the payload over once
  // AddChild returns.
  auto* node = static_cast<TKQVNode*>(AddChild(parent, info.get()));
  (void)info.release();
  return node;
}

void TKQVMenu::LoadTree(TKQRegIniFile* reg, const std::string& path, bool firstRootOnly) {
  Clear();
  firstRootOnly_ = firstRootOnly;
  if (!reg) return;
  // The shell's icon numbers are asked again: its icon list may have been rebuilt since.
  std::erase_if(sharedBitmaps_, [](const auto& entry) { return entry.first.rfind(kSystemIconMark, 0) == 0; });
  iconBudgetOn_ = true;
  iconBudgetEnd_ = ::GetTickCount() + kIconBudgetMs;
  Guard([&] { LoadLevel(*reg, path, nullptr, 0); });
  iconBudgetOn_ = false;
  reg->CloseKey();  // also when the loading ended half-way
}

bool TKQVMenu::WithinIconBudget() const noexcept {
  return !iconBudgetOn_ || static_cast<LONG>(::GetTickCount() - iconBudgetEnd_) < 0;
}

std::shared_ptr<ScopedBitmap> TKQVMenu::SharedBitmap(const std::string& name, HICON icon) {
  auto found = sharedBitmaps_.find(name);
  if (found != sharedBitmaps_.end()) return found->second;
  // A generic kind's name is a path of that kind to the shell's look-up by attributes.
  ScopedIcon generic(icon ? nullptr : GetGenericShellIcon(name));
  const HICON drawn = icon ? icon : generic.get();
  std::shared_ptr<ScopedBitmap> bitmap = drawn ? KeptBitmap(DrawCheckBitmap(drawn)) : nullptr;
  sharedBitmaps_.emplace(name, bitmap);
  return bitmap;
}

void TKQVMenu::LoadLevel(TKQRegIniFile& reg, const std::string& keyPath, TKQVNode* parent, int depth) {
  // Each key is opened once: the node's values are read from it and its subkeys listed before
  // it is closed again and the children are loaded.
  const bool opened = reg.OpenKey(keyPath, false);
  if (parent) {
    // A node whose key cannot be opened stays, with what a missing value stands for.
    auto read = [&](const char* ident, const char* defaultValue) {
      return opened ? reg.ReadString("", ident, defaultValue) : std::string(defaultValue);
    };
    parent->SetFileName(read(kFileNameValue, ""));
    parent->SetDisplayName(read(kDisplayNameValue, ""));
    parent->SetNodeType(static_cast<std::uint8_t>(StoredInteger(read(kNodeTypeValue, kDefaultNumber))));
    parent->SetIconFileName(read(kIconFileNameValue, ""));
    parent->SetIconIndex(StoredInteger(read(kIconIndexValue, kDefaultNumber)));
  }
  if (!opened || depth >= kMaxTreeDepth) {
    reg.CloseKey();
    return;
  }
  std::vector<std::string> names;
  reg.GetKeyNames(names);
  reg.CloseKey();

  for (const std::string& name : names) {
    // A key name is never empty; a name that were would lead back to this same key.
    if (name.empty()) continue;
    TKQVNode* node = AddInfoChild(parent, std::make_unique<TKQVBmkInfo>(std::string(), kNodeBookmark));
    LoadLevel(reg, JoinPath(keyPath, name), node, depth + 1);
    if (!parent && firstRootOnly_) break;
  }
}

void TKQVMenu::LoadHistory(TKQRegIniFile* reg, const std::string& path) {
  if (!reg || !reg->OpenKey(path, false)) return;
  std::vector<std::string> names;
  reg->GetValueNames(names);
  if (names.empty()) return;

  AddInfoChild(GetFirstNode(), std::make_unique<TKQVBmkInfo>(std::string(), kNodeSeparator));
  auto folderInfo = std::make_unique<TKQVBmkInfo>(std::string(), kNodeFolder);
  folderInfo->DisplayName = kHistoryCaption;
  if (HBITMAP history = HistoryBitmap())
    folderInfo->Bitmap =
        KeptBitmap(static_cast<HBITMAP>(::CopyImage(history, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  TKQVNode* folder = AddInfoChild(GetFirstNode(), std::move(folderInfo));

  // History entries carry no bitmap. Icons are on again afterwards, whatever happens.
  struct TIconsOffWhileLoading {
    TKQVMenu& Menu;
    ~TIconsOffWhileLoading() { Menu.showIcons_ = true; }
  } iconsOff{*this};
  showIcons_ = false;

  for (const std::string& name : names) {
    TKQVNode* entry = AddInfoChild(folder, std::make_unique<TKQVBmkInfo>(std::string(), kNodeBookmark));
    const std::string folderPath = reg->ReadString("", name, "");  // from the open key
    entry->SetFileName(folderPath);
    entry->SetDisplayName(folderPath);
    entry->SetNodeType(kNodeBookmark);
  }
}

void TKQVMenu::UpdateBitmap(TKQVNode* node) noexcept {
  if (!node || !node->Info() || !showIcons_) return;
  TKQVBmkInfo& info = *node->Info();
  Guard([&] { info.Bitmap = IconBitmap(info, WithinIconBudget()); });
}

std::shared_ptr<ScopedBitmap> TKQVMenu::IconBitmap(const TKQVBmkInfo& info, bool mayAskFiles) {
  std::string shareAs;
  const std::string target = ExpandPath(info.FileName);
  ScopedIcon icon(NodeIcon(info, target, mayAskFiles, shareAs));
  if (!shareAs.empty()) return SharedBitmap(shareAs, icon.get());
  return icon ? KeptBitmap(DrawCheckBitmap(icon.get())) : nullptr;
}

HMENU TKQVMenu::BuildMenu(TCustomNode* parentNode, UINT& id, int& index, UINT lastId) {
  // Indexes of an earlier build must not stay on items this build leaves out.
  ForgetMenuIndexes(parentNode ? parentNode->Children() : &Roots());
  bool exhausted = false;
  return BuildLevel(parentNode, id, index, lastId, exhausted);
}

HMENU TKQVMenu::BuildLevel(TCustomNode* parentNode, UINT& id, int& index, UINT lastId, bool& exhausted) {
  const TCustomNode::NodeList* level = parentNode ? parentNode->Children() : &Roots();
  if (!level || level->empty()) return nullptr;
  ScopedMenu menu(sys::CreatePopupMenu());
  if (!menu) return nullptr;

  UINT position = 0;
  for (const std::unique_ptr<TCustomNode>& entry : *level) {
    auto& node = static_cast<TKQVNode&>(*entry);
    // Once a bookmark found no id left, nothing more is added.
    if (exhausted) break;
    switch (node.NodeType()) {
      case kNodeSeparator:
        sys::InsertMenuW(menu.get(), position, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
        break;
      case kNodeFolder: {
        const std::wstring caption = ToWide(ExpandPath(node.DisplayName()));
        ScopedMenu submenu(BuildLevel(&node, id, index, lastId, exhausted));
        if (submenu) {
          if (sys::InsertMenuW(menu.get(), position, MF_BYPOSITION | MF_POPUP | MF_STRING,
                               reinterpret_cast<UINT_PTR>(submenu.get()), caption.c_str()))
            (void)submenu.release();  // the menu owns it now
        } else if (exhausted) {
          continue;  // the folder's entries found no ids: the folder is left out with them
        } else {
          // A folder without entries shows as a greyed item that cannot be chosen.
          sys::InsertMenuW(menu.get(), position, MF_BYPOSITION | MF_STRING | MF_GRAYED, 0, caption.c_str());
        }
        SetItemBitmap(menu.get(), position, node);
        break;
      }
      default:
        // The ids granted are used up: this item and the ones after it are left out.
        if (id > lastId) {
          exhausted = true;
          continue;
        }
        sys::InsertMenuW(menu.get(), position, MF_BYPOSITION | MF_STRING, id, ToWide(node.DisplayName()).c_str());
        SetItemBitmap(menu.get(), position, node);
        node.SetMenuIndex(index);
        ++id;
        ++index;
        break;
    }
    ++position;
  }
  if (position == 0) return nullptr;  // every item of the level was left out
  return menu.release();
}

void TKQVMenu::SetItemBitmap(HMENU menu, UINT position, const TKQVNode& node) {
  const TKQVBmkInfo* info = node.Info();
  if (!info || !info->Bitmap || !*info->Bitmap) return;
  // Kept before it is handed out.
  shownBitmaps_.insert(info->Bitmap);
  const HBITMAP bitmap = info->Bitmap->get();
  sys::SetMenuItemBitmaps(menu, position, MF_BYPOSITION, bitmap, bitmap);
}

TKQVNode* TKQVMenu::FindByIndex(int index) const noexcept {
  if (index < 0) return nullptr;
  for (TCustomNode* node = GetFirstNode(); node; node = node->GetNext()) {
    auto* kqvNode = static_cast<TKQVNode*>(node);
    if (kqvNode->Info() && kqvNode->MenuIndex() == index) return kqvNode;
  }
  return nullptr;
}

bool TKQVMenu::ExecuteCommand(HWND window, int index, TSendWindowTo sendTo) const {
  const TKQVNode* node = FindByIndex(index);
  return node && sendTo && sendTo(window, node->FileName());
}

HBITMAP HistoryBitmap() noexcept { return g_HistoryBitmap->get(); }

void StartupVMenu() { g_HistoryBitmap->reset(LoadResourceBitmap(kHistoryBitmapResource)); }

void ShutdownVMenu() { g_HistoryBitmap->reset(); }

}  // namespace kq
