#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "byte_string.h"

class tree_node;

// Deletes one node as the type it was made as; its children are gone by then.
using node_deleter = void (*)(tree_node* node);

// Links every tree node starts with; payload types derive from it. The links change only
// through the tree_* functions below, which keep the last child and the tree's last top-level
// node at hand so that appending and unlinking are constant time.
//
// A node carries no type of its own, which would cost every node of a large document a pointer:
// each payload type's destructor destroys the node's subtree (tree_destroy_children), and a tree
// is told how to delete its nodes. Delete only unlinked nodes, as their own type; linked ones
// belong to their tree.
class tree_node {
  public:
    tree_node(const tree_node&) = delete;
    tree_node& operator=(const tree_node&) = delete;

    tree_node* parent() const { return parent_; }
    tree_node* next() const { return next_; }
    tree_node* prev() const { return parent_ && parent_->first_child_ == this ? nullptr : prev_; }
    tree_node* first_child() const { return first_child_; }
    tree_node* last_child() const { return first_child_ ? first_child_->prev_ : nullptr; }

  protected:
    tree_node() = default;
    ~tree_node() = default;

  private:
    friend struct tree_links;

    tree_node* parent_ = nullptr;
    tree_node* next_ = nullptr;
    tree_node* first_child_ = nullptr;
    // The previous sibling; a first child's is the last child, which so costs no link of its
    // own in every node. The first top-level node has none.
    tree_node* prev_ = nullptr;
};

// Deletes a document node (an xml_node), what most trees hold.
void delete_document_node(tree_node* node);

// Ordered tree of nodes. The tree owns every node linked into it, and frees them all with
// `destroy` when cleared or destroyed; `tree_unlink` hands a node (with its subtree) back to the
// caller. Every node of one tree is of one type.
class node_tree {
  public:
    explicit node_tree(node_deleter destroy = delete_document_node) : destroy_(destroy) {}
    node_tree(const node_tree&) = delete;
    node_tree& operator=(const node_tree&) = delete;
    node_tree(node_tree&& other) noexcept;
    node_tree& operator=(node_tree&& other) noexcept;
    ~node_tree();

    tree_node* first() const { return first_; }
    tree_node* last_top() const { return last_top_; }
    // The top-level nodes, counted one by one.
    int32_t top_count() const;
    bool is_empty() const { return first_ == nullptr; }

    // Holds bytes that texts of its nodes view (byte_string::view_of), such as the source a
    // document was read from, until the nodes are destroyed with the tree or by tree_clear. A node
    // taken out of the tree must not outlive it. Gives the bytes kept, which stay where they are.
    std::string_view keep(byte_string&& bytes) {
        kept_.push_back(std::move(bytes));
        return kept_.back().view();
    }
    // The bytes kept first, empty when none.
    std::string_view first_kept() const {
        return kept_.empty() ? std::string_view() : kept_.front().view();
    }

  private:
    friend struct tree_links;

    node_deleter destroy_;
    std::vector<byte_string> kept_;
    tree_node* first_ = nullptr;
    tree_node* last_top_ = nullptr;
};

// Where an unlinked node stood: pass both to `tree_insert` to put it back, or resume a walk.
struct tree_place {
    tree_node* parent = nullptr;
    tree_node* next = nullptr;
};

// The nodes handed to the linking functions must be unlinked (fresh or returned by
// `tree_unlink`); linking makes the tree their owner.

// The node's children, counted one by one.
int32_t tree_child_count(const tree_node& node);
// Next node in document order: first child, else next sibling, else the next sibling of the
// nearest ancestor that has one; null at the end or for null.
tree_node* tree_next(const tree_node* node);
// The same without entering the node's children.
tree_node* tree_next_skip(const tree_node* node);
// Makes node the first top-level node.
void tree_prepend_top(node_tree& tree, tree_node* node);
// Link node just before or after other, under other's parent; other must be linked in tree.
void tree_insert_before(node_tree& tree, tree_node* node, tree_node* other);
void tree_insert_after(node_tree& tree, tree_node* node, tree_node* other);
// Make node the first or the last child of parent.
void tree_prepend_child(node_tree& tree, tree_node* node, tree_node* parent);
void tree_append_child(node_tree& tree, tree_node* node, tree_node* parent);
// Links node after the last sibling of member, under member's parent. Nothing happens (the
// node stays the caller's) when member is null or an unlinked top node.
void tree_append_sibling(node_tree& tree, tree_node* node, tree_node* member);
// Before `before` if given, else as the last child of `parent` if given, else as the last
// top-level node.
void tree_insert(node_tree& tree, tree_node* node, tree_node* parent, tree_node* before);
// Takes node and its subtree out of the tree without destroying it; the caller owns it
// afterwards. Returns its former parent and next sibling. A node not linked in the tree is
// left alone and gives an empty place.
tree_place tree_unlink(node_tree& tree, tree_node* node);
// Destroys every node.
void tree_clear(node_tree& tree);
// Destroys the children of an unlinked node, and theirs, with `destroy`, without recursion, so
// any depth is safe. Payload destructors call it.
void tree_destroy_children(tree_node* node, node_deleter destroy);
