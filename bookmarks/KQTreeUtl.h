// A small general-purpose ordered tree: a container owns its root nodes, every node owns its
// ordered child nodes and carries one payload object. The tree knows nothing of what the payload
// means; it creates, links, walks and frees nodes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace kq {

class TCustomNodes;

// The base of every payload a node can carry. A plain node does not own its payload; a derived
// node class may (see SetData).
class TNodeData {
 public:
  virtual ~TNodeData() = default;
};

// Where AddNode puts a new node relative to its reference node.
enum class TNodeAddMode : std::uint8_t {
  naAdd = 0,            // after the last sibling of Reference (the last root for none or a root)
  naAddFirst = 1,       // before the first sibling of Reference (the first root for none or a root)
  naAddChild = 2,       // the last child of Reference (the last root for none)
  naAddChildFirst = 3,  // the first child of Reference (the first root for none)
};

class TCustomNode {
 public:
  using NodeList = std::vector<std::unique_ptr<TCustomNode>>;

  explicit TCustomNode(TCustomNodes* owner) noexcept : owner_(owner) {}
  // Frees the subtree (children last first), then leaves the sibling list if still in one.
  virtual ~TCustomNode();

  TCustomNode(const TCustomNode&) = delete;
  TCustomNode& operator=(const TCustomNode&) = delete;

  TCustomNodes* Owner() const noexcept { return owner_; }
  TCustomNode* Parent() const noexcept { return parent_; }
  TNodeData* Data() const noexcept { return data_; }
  // The child list; null while the node never had children (or after DeleteChildren).
  const NodeList* Children() const noexcept { return children_.get(); }

  int ChildCount() const noexcept;
  TCustomNode* GetFirstChild() const noexcept;
  TCustomNode* GetNextSibling() const noexcept;
  int GetIndex() const noexcept;          // position among the siblings, -1 when in no list
  TCustomNode* GetNext() const noexcept;  // pre-order successor over the whole container

  // Stores P as the payload. A node class that owns its payload takes P over here; it is called
  // only once the node is linked into the tree, and must not throw.
  virtual void SetData(TNodeData* p) noexcept { data_ = p; }

  // Takes the node out of its sibling list. The caller receives the ownership the list held
  // (empty when the node was in no list); Position, when given, gets the former position or -1.
  [[nodiscard]] std::unique_ptr<TCustomNode> Unlink(int* position = nullptr) noexcept;

  // Frees all children, last first, then drops the child list.
  void DeleteChildren() noexcept;

 private:
  friend class TCustomNodes;

  const NodeList* SiblingList() const noexcept;
  NodeList* SiblingList() noexcept;

  TCustomNodes* const owner_;
  TCustomNode* parent_ = nullptr;
  TNodeData* data_ = nullptr;
  std::unique_ptr<NodeList> children_;
};

class TCustomNodes {
 public:
  TCustomNodes() = default;
  // Frees every node (Clear).
  virtual ~TCustomNodes();

  TCustomNodes(const TCustomNodes&) = delete;
  TCustomNodes& operator=(const TCustomNodes&) = delete;

  // A new node owned by this container, not yet linked. Derived containers make derived nodes.
  virtual std::unique_ptr<TCustomNode> CreateNode();
  // Creates a node, links it where Mode says (relative to Reference, which may be none) and gives
  // it Data. When this throws (out of memory), nothing was linked and Data was not taken over.
  virtual TCustomNode* AddNode(TCustomNode* reference, TNodeData* data, TNodeAddMode mode);
  // Frees Node with its subtree when it is a linked node of this container; otherwise nothing.
  virtual void DeleteNode(TCustomNode* node) noexcept;

  const TCustomNode::NodeList& Roots() const noexcept { return roots_; }
  TCustomNode* GetFirstNode() const noexcept;
  // AddNode(Parent, Data, naAddChild): the last child of Parent, or the last root for none.
  TCustomNode* AddChild(TCustomNode* parent, TNodeData* data);
  // Frees all roots, last first.
  void Clear() noexcept;

 private:
  friend class TCustomNode;
  TCustomNode::NodeList roots_;
};

}  // namespace kq
