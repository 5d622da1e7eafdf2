#include "bookmarks/KQTreeUtl.h"

#include <utility>

namespace kq {
namespace {

// The position of Node in List, or -1.
int IndexIn(const TCustomNode::NodeList* list, const TCustomNode* node) noexcept {
  if (!list) return -1;
  for (size_t i = 0; i < list->size(); ++i) {
    if ((*list)[i].get() == node) return static_cast<int>(i);
  }
  return -1;
}

// Frees the last entry of List, after taking it out, until List is empty.
void FreeLastFirst(TCustomNode::NodeList& list) noexcept {
  while (!list.empty()) {
    std::unique_ptr<TCustomNode> last = std::move(list.back());
    list.pop_back();
    last.reset();
  }
}

}  // namespace

// ---- TCustomNode -------------------------------------------------------------------------------

TCustomNode::~TCustomNode() {
  DeleteChildren();
  // A node is normally taken out of its list before it is freed; a node freed while still listed
  // gives up the list's ownership here so that the list does not free it a second time.
  if (owner_) {
    std::unique_ptr<TCustomNode> self = Unlink();
    (void)self.release();
  }
  children_.reset();
}

const TCustomNode::NodeList* TCustomNode::SiblingList() const noexcept {
  if (parent_) return parent_->children_.get();
  return owner_ ? &owner_->roots_ : nullptr;
}

TCustomNode::NodeList* TCustomNode::SiblingList() noexcept {
  if (parent_) return parent_->children_.get();
  return owner_ ? &owner_->roots_ : nullptr;
}

int TCustomNode::ChildCount() const noexcept { return children_ ? static_cast<int>(children_->size()) : 0; }

TCustomNode* TCustomNode::GetFirstChild() const noexcept {
  return children_ && !children_->empty() ? children_->front().get() : nullptr;
}

TCustomNode* TCustomNode::GetNextSibling() const noexcept {
  const NodeList* list = SiblingList();
  const int index = IndexIn(list, this);
  if (index < 0 || static_cast<size_t>(index) + 1 >= list->size()) return nullptr;
  return (*list)[index + 1].get();
}

int TCustomNode::GetIndex() const noexcept { return IndexIn(SiblingList(), this); }

TCustomNode* TCustomNode::GetNext() const noexcept {
  if (TCustomNode* child = GetFirstChild()) return child;
  const TCustomNode* current = this;
  while (current->parent_) {
    if (TCustomNode* sibling = current->GetNextSibling()) return sibling;
    current = current->parent_;
  }
  return current->GetNextSibling();  // a root: the next root, or none after the last
}

std::unique_ptr<TCustomNode> TCustomNode::Unlink(int* position) noexcept {
  NodeList* list = SiblingList();
  const int index = IndexIn(list, this);
  if (position) *position = index;
  if (index < 0) return nullptr;
  std::unique_ptr<TCustomNode> self = std::move((*list)[index]);
  list->erase(list->begin() + index);
  parent_ = nullptr;
  return self;
}

void TCustomNode::DeleteChildren() noexcept {
  if (!children_) return;
  FreeLastFirst(*children_);
  children_.reset();
}

// ---- TCustomNodes ------------------------------------------------------------------------------

TCustomNodes::~TCustomNodes() { Clear(); }

std::unique_ptr<TCustomNode> TCustomNodes::CreateNode() { return std::make_unique<TCustomNode>(this); }

TCustomNode* TCustomNodes::AddNode(TCustomNode* reference, TNodeData* data, TNodeAddMode mode) {
  std::unique_ptr<TCustomNode> node = CreateNode();

  const bool asChild = mode == TNodeAddMode::naAddChild || mode == TNodeAddMode::naAddChildFirst;
  TCustomNode* parent = asChild ? reference : (reference ? reference->parent_ : nullptr);
  TCustomNode::NodeList* list = &roots_;
  if (parent) {
    if (!parent->children_) parent->children_ = std::make_unique<TCustomNode::NodeList>();
    list = parent->children_.get();
  }

  TCustomNode* added = node.get();
  const bool atFront = mode == TNodeAddMode::naAddFirst || mode == TNodeAddMode::naAddChildFirst;
  list->insert(atFront ? list->begin() : list->end(), std::move(node));
  added->parent_ = parent;
  // Linked: from here on nothing can fail, so a node that owns its payload may take it over.
  added->SetData(data);
  return added;
}

void TCustomNodes::DeleteNode(TCustomNode* node) noexcept {
  if (!node || node->owner_ != this) return;
  std::unique_ptr<TCustomNode> owned = node->Unlink();
  owned.reset();
}

TCustomNode* TCustomNodes::GetFirstNode() const noexcept { return roots_.empty() ? nullptr : roots_.front().get(); }

TCustomNode* TCustomNodes::AddChild(TCustomNode* parent, TNodeData* data) {
  return AddNode(parent, data, TNodeAddMode::naAddChild);
}

void TCustomNodes::Clear() noexcept { FreeLastFirst(roots_); }

}  // namespace kq
