// The ordered node tree: where each add mode puts a node, the pre-order walk, and who frees what.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bookmarks/KQTreeUtl.h"

namespace kq {
namespace {

// A payload that names its node.
struct Name : TNodeData {
  explicit Name(std::string t) : text(std::move(t)) {}
  std::string text;
};

// Nodes that write their name into a shared log when they are destroyed.
class LoggedNode : public TCustomNode {
 public:
  LoggedNode(TCustomNodes* owner, std::vector<std::string>* log) : TCustomNode(owner), log_(log) {}
  ~LoggedNode() override {
    auto* name = static_cast<Name*>(Data());
    log_->push_back(name ? name->text : "?");
  }

 private:
  std::vector<std::string>* log_;
};

class LoggedNodes : public TCustomNodes {
 public:
  explicit LoggedNodes(std::vector<std::string>* log) : log_(log) {}
  ~LoggedNodes() override { Clear(); }  // while the log is still known to the nodes
  std::unique_ptr<TCustomNode> CreateNode() override { return std::make_unique<LoggedNode>(this, log_); }

 private:
  std::vector<std::string>* log_;
};

// Payloads stay alive for the whole case (the base node does not own them).
class TreeTest : public testing::Test {
 protected:
  TNodeData* N(const std::string& text) {
    names_.push_back(std::make_unique<Name>(text));
    return names_.back().get();
  }
  static std::string NameOf(const TCustomNode* node) { return node ? static_cast<Name*>(node->Data())->text : "-"; }

  // "R(A,B(C)),S": the shape of a whole container, checking each node's parent on the way.
  static std::string Shape(const TCustomNode::NodeList& list, const TCustomNode* parent) {
    std::string out;
    for (const auto& node : list) {
      if (!out.empty()) out += ",";
      out += NameOf(node.get());
      EXPECT_EQ(node->Parent(), parent) << NameOf(node.get());
      if (node->Children() && !node->Children()->empty()) {
        out += '(';
        out += Shape(*node->Children(), node.get());
        out += ')';
      }
    }
    return out;
  }
  static std::string Walk(const TCustomNodes& nodes) {
    std::string out;
    for (TCustomNode* n = nodes.GetFirstNode(); n; n = n->GetNext()) {
      if (!out.empty()) out += ' ';
      out += NameOf(n);
    }
    return out;
  }

  std::vector<std::unique_ptr<Name>> names_;
};

TEST_F(TreeTest, AddModesPlaceTheNodeRelativeToTheReference) {
  TCustomNodes nodes;
  TCustomNode* r = nodes.AddChild(nullptr, N("R"));
  TCustomNode* a = nodes.AddChild(r, N("A"));
  nodes.AddChild(r, N("B"));
  EXPECT_EQ(Shape(nodes.Roots(), nullptr), "R(A,B)");

  nodes.AddNode(a, N("after"), TNodeAddMode::naAdd);  // after the last sibling of A, not after A
  nodes.AddNode(a, N("before"), TNodeAddMode::naAddFirst);
  nodes.AddNode(a, N("a2"), TNodeAddMode::naAddChild);
  nodes.AddNode(a, N("a1"), TNodeAddMode::naAddChildFirst);
  EXPECT_EQ(Shape(nodes.Roots(), nullptr), "R(before,A(a1,a2),B,after)");

  // No reference: roots, at the end or the front.
  nodes.AddNode(nullptr, N("n0"), TNodeAddMode::naAdd);
  nodes.AddNode(nullptr, N("n1"), TNodeAddMode::naAddFirst);
  nodes.AddNode(nullptr, N("n2"), TNodeAddMode::naAddChild);
  nodes.AddNode(nullptr, N("n3"), TNodeAddMode::naAddChildFirst);
  EXPECT_EQ(Shape(nodes.Roots(), nullptr), "n3,n1,R(before,A(a1,a2),B,after),n0,n2");

  // A root as reference of modes 0 and 1: its siblings are the roots.
  nodes.AddNode(r, N("last"), TNodeAddMode::naAdd);
  nodes.AddNode(r, N("first"), TNodeAddMode::naAddFirst);
  EXPECT_EQ(Shape(nodes.Roots(), nullptr), "first,n3,n1,R(before,A(a1,a2),B,after),n0,n2,last");
  EXPECT_EQ(r->ChildCount(), 4);
  EXPECT_EQ(a->GetIndex(), 1);
  EXPECT_EQ(r->GetIndex(), 3);
  EXPECT_EQ(a->Owner(), &nodes);
}

TEST_F(TreeTest, NodeThatNeverHadChildren) {
  TCustomNodes nodes;
  TCustomNode* leaf = nodes.AddChild(nullptr, N("leaf"));
  EXPECT_EQ(leaf->ChildCount(), 0);
  EXPECT_EQ(leaf->GetFirstChild(), nullptr);
  EXPECT_EQ(leaf->Children(), nullptr);
  leaf->DeleteChildren();
  EXPECT_EQ(leaf->Children(), nullptr);
  EXPECT_EQ(nodes.Roots().size(), 1u);

  nodes.AddChild(leaf, N("x"));
  nodes.AddChild(leaf, N("y"));
  ASSERT_NE(leaf->Children(), nullptr);
  leaf->DeleteChildren();  // drops the list as well
  EXPECT_EQ(leaf->Children(), nullptr);
  EXPECT_EQ(leaf->ChildCount(), 0);
}

TEST_F(TreeTest, GetNextWalksPreOrderAcrossRoots) {
  TCustomNodes nodes;
  EXPECT_EQ(nodes.GetFirstNode(), nullptr);
  TCustomNode* r1 = nodes.AddChild(nullptr, N("R1"));
  TCustomNode* a = nodes.AddChild(r1, N("A"));
  nodes.AddChild(a, N("A1"));
  TCustomNode* a2 = nodes.AddChild(a, N("A2"));
  TCustomNode* b = nodes.AddChild(r1, N("B"));
  TCustomNode* r2 = nodes.AddChild(nullptr, N("R2"));
  TCustomNode* c = nodes.AddChild(r2, N("C"));
  TCustomNode* c1 = nodes.AddChild(c, N("C1"));
  TCustomNode* r3 = nodes.AddChild(nullptr, N("R3"));
  TCustomNode* d = nodes.AddChild(r3, N("D"));

  EXPECT_EQ(Walk(nodes), "R1 A A1 A2 B R2 C C1 R3 D");
  EXPECT_EQ(a2->GetNext(), b);       // last child of A: the next sibling of its parent
  EXPECT_EQ(b->GetNext(), r2);       // last node below R1: the next root
  EXPECT_EQ(c1->GetNext(), r3);      // two levels up, then the next root
  EXPECT_EQ(d->GetNext(), nullptr);  // last node of the last root's subtree
  EXPECT_EQ(r3->GetNextSibling(), nullptr);
  EXPECT_EQ(r1->GetNextSibling(), r2);
  EXPECT_EQ(a2->GetNextSibling(), nullptr);
  nodes.DeleteNode(d);
  EXPECT_EQ(r3->GetNext(), nullptr);  // a last root without children
}

TEST_F(TreeTest, FreeingAMiddleNodeFreesItsSubtreeAndKeepsTheSiblings) {
  std::vector<std::string> log;
  {
    LoggedNodes nodes(&log);
    TCustomNode* r = nodes.AddChild(nullptr, N("R"));
    nodes.AddChild(r, N("A"));
    TCustomNode* b = nodes.AddChild(r, N("B"));
    TCustomNode* b1 = nodes.AddChild(b, N("B1"));
    nodes.AddChild(b1, N("B11"));
    nodes.AddChild(b, N("B2"));
    TCustomNode* c = nodes.AddChild(r, N("C"));
    nodes.AddChild(r, N("D"));

    nodes.DeleteNode(b);
    EXPECT_EQ(log, (std::vector<std::string>{"B", "B2", "B1", "B11"}));  // children last first
    EXPECT_EQ(Shape(nodes.Roots(), nullptr), "R(A,C,D)");
    EXPECT_EQ(c->GetIndex(), 1);
    EXPECT_EQ(Walk(nodes), "R A C D");
    log.clear();
  }
  // The container frees the rest: roots last first, each node's children last first.
  EXPECT_EQ(log, (std::vector<std::string>{"R", "D", "C", "A"}));
}

TEST_F(TreeTest, DeleteNodeFreesOnlyLinkedNodesOfItsOwnContainer) {
  std::vector<std::string> log;
  LoggedNodes nodes(&log), other(&log);
  TCustomNode* mine = nodes.AddChild(nullptr, N("mine"));
  TCustomNode* foreign = other.AddChild(nullptr, N("foreign"));

  nodes.DeleteNode(foreign);
  nodes.DeleteNode(nullptr);
  std::unique_ptr<TCustomNode> loose = nodes.CreateNode();  // owned by the caller, in no list
  loose->SetData(N("loose"));
  nodes.DeleteNode(loose.get());
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(other.Roots().size(), 1u);
  EXPECT_EQ(nodes.Roots().size(), 1u);

  loose.reset();
  nodes.DeleteNode(mine);
  EXPECT_EQ(log, (std::vector<std::string>{"loose", "mine"}));
  EXPECT_EQ(nodes.GetFirstNode(), nullptr);
}

TEST_F(TreeTest, ClearFreesEveryNodeAndTheContainerStaysUsable) {
  std::vector<std::string> log;
  LoggedNodes nodes(&log);
  TCustomNode* r1 = nodes.AddChild(nullptr, N("R1"));
  nodes.AddChild(r1, N("A"));
  nodes.AddChild(nullptr, N("R2"));
  nodes.Clear();
  EXPECT_EQ(log, (std::vector<std::string>{"R2", "R1", "A"}));
  EXPECT_EQ(nodes.GetFirstNode(), nullptr);
  nodes.AddChild(nullptr, N("again"));
  EXPECT_EQ(Walk(nodes), "again");
}

TEST_F(TreeTest, UnlinkHandsOverTheNodeAndItsFormerPosition) {
  TCustomNodes nodes;
  TCustomNode* r = nodes.AddChild(nullptr, N("R"));
  nodes.AddChild(r, N("A"));
  TCustomNode* b = nodes.AddChild(r, N("B"));
  nodes.AddChild(b, N("B1"));
  nodes.AddChild(r, N("C"));

  int position = -2;
  std::unique_ptr<TCustomNode> taken = b->Unlink(&position);
  EXPECT_EQ(position, 1);
  EXPECT_EQ(taken.get(), b);
  EXPECT_EQ(b->Parent(), nullptr);
  EXPECT_EQ(b->GetIndex(), -1);
  EXPECT_EQ(b->ChildCount(), 1);  // the subtree goes with it
  EXPECT_EQ(Shape(nodes.Roots(), nullptr), "R(A,C)");

  std::unique_ptr<TCustomNode> again = b->Unlink(&position);
  EXPECT_EQ(again, nullptr);
  EXPECT_EQ(position, -1);
}

}  // namespace
}  // namespace kq
