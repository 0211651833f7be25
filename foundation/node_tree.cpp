#include "node_tree.h"

#include <cassert>

struct tree_links {
    static bool is_unlinked(const node_tree& tree, const tree_node* node) {
        return !node->parent_ && !node->next_ && !node->prev_ && tree.first_ != node;
    }

    // A parentless node with no previous sibling is in the tree only as its first node.
    static bool is_in_tree(const node_tree& tree, const tree_node* node) {
        return node->parent_ || node->prev_ || tree.first_ == node;
    }

    static bool is_first(const node_tree& tree, const tree_node* node) {
        return node->parent_ ? node->parent_->first_child_ == node : tree.first_ == node;
    }

    static void link_before(node_tree& tree, tree_node* node, tree_node* other) {
        assert(is_unlinked(tree, node) && is_in_tree(tree, other));
        tree_node* parent = other->parent_;
        node->parent_ = parent;
        node->next_ = other;
        node->prev_ = other->prev_;
        if (!is_first(tree, other))
            other->prev_->next_ = node;
        else if (parent)
            parent->first_child_ = node;
        else
            tree.first_ = node;
        other->prev_ = node;
    }

    static void link_after(node_tree& tree, tree_node* node, tree_node* other) {
        assert(is_unlinked(tree, node) && is_in_tree(tree, other));
        tree_node* parent = other->parent_;
        node->parent_ = parent;
        node->prev_ = other;
        node->next_ = other->next_;
        if (other->next_)
            other->next_->prev_ = node;
        else if (parent)
            parent->first_child_->prev_ = node;
        else
            tree.last_top_ = node;
        other->next_ = node;
    }

    static void link_only_child([[maybe_unused]] node_tree& tree, tree_node* node,
                                tree_node* parent) {
        assert(is_unlinked(tree, node));
        node->parent_ = parent;
        node->prev_ = node;
        parent->first_child_ = node;
    }

    static void link_only_top(node_tree& tree, tree_node* node) {
        assert(is_unlinked(tree, node));
        tree.first_ = tree.last_top_ = node;
    }

    static void prepend_child(node_tree& tree, tree_node* node, tree_node* parent) {
        assert(parent);
        if (parent->first_child_)
            link_before(tree, node, parent->first_child_);
        else
            link_only_child(tree, node, parent);
    }

    static void append_child(node_tree& tree, tree_node* node, tree_node* parent) {
        assert(parent);
        if (parent->first_child_)
            link_after(tree, node, parent->first_child_->prev_);
        else
            link_only_child(tree, node, parent);
    }

    static void append_top(node_tree& tree, tree_node* node) {
        if (tree.last_top_)
            link_after(tree, node, tree.last_top_);
        else
            link_only_top(tree, node);
    }

    static void append_sibling(node_tree& tree, tree_node* node, tree_node* member) {
        if (member->parent_)
            append_child(tree, node, member->parent_);
        else if (is_in_tree(tree, member))
            append_top(tree, node);
    }

    static tree_place unlink(node_tree& tree, tree_node* node) {
        if (!is_in_tree(tree, node)) return {};
        tree_node* parent = node->parent_;
        tree_node* next = node->next_;
        // the last child's or the last top node's new previous or end link
        tree_node* before = node->prev_;
        if (!is_first(tree, node))
            before->next_ = next;
        else if (parent)
            parent->first_child_ = next;
        else
            tree.first_ = next;
        if (next)
            next->prev_ = before;
        else if (!parent)
            tree.last_top_ = before;
        else if (parent->first_child_)
            parent->first_child_->prev_ = before;
        node->parent_ = node->next_ = node->prev_ = nullptr;
        return {parent, next};
    }

    // Deletes a sibling chain with all subtrees. Each node's children are spliced into the
    // pending chain before the node goes, so no destructor ever walks further: a document of
    // 200000 nested unclosed elements frees without deep recursion.
    static void destroy_chain(tree_node* pending, node_deleter destroy) {
        while (pending) {
            tree_node* node = pending;
            pending = node->next_;
            if (node->first_child_) {
                node->first_child_->prev_->next_ = pending;
                pending = node->first_child_;
                node->first_child_ = nullptr;
            }
            destroy(node);
        }
    }

    static void clear(node_tree& tree) {
        tree_node* first = tree.first_;
        tree.first_ = tree.last_top_ = nullptr;
        destroy_chain(first, tree.destroy_);
        // after the nodes that view them
        tree.kept_.clear();
    }

    static void take(node_tree& tree, node_tree& other) {
        tree.destroy_ = other.destroy_;
        tree.first_ = other.first_;
        tree.last_top_ = other.last_top_;
        tree.kept_ = std::move(other.kept_);
        other.first_ = other.last_top_ = nullptr;
    }

    static void destroy_children(tree_node* node, node_deleter destroy) {
        tree_node* first = node->first_child_;
        node->first_child_ = nullptr;
        destroy_chain(first, destroy);
    }
};

node_tree::node_tree(node_tree&& other) noexcept {
    tree_links::take(*this, other);
}

node_tree& node_tree::operator=(node_tree&& other) noexcept {
    if (this != &other) {
        tree_links::clear(*this);
        tree_links::take(*this, other);
    }
    return *this;
}

node_tree::~node_tree() {
    tree_links::clear(*this);
}

int32_t node_tree::top_count() const {
    int32_t count = 0;
    for (const tree_node* node = first_; node; node = node->next())
        ++count;
    return count;
}

int32_t tree_child_count(const tree_node& node) {
    int32_t count = 0;
    for (const tree_node* child = node.first_child(); child; child = child->next())
        ++count;
    return count;
}

tree_node* tree_next(const tree_node* node) {
    if (!node) return nullptr;
    if (node->first_child()) return node->first_child();
    return tree_next_skip(node);
}

tree_node* tree_next_skip(const tree_node* node) {
    for (; node; node = node->parent()) {
        if (node->next()) return node->next();
    }
    return nullptr;
}

void tree_prepend_top(node_tree& tree, tree_node* node) {
    if (tree.first())
        tree_links::link_before(tree, node, tree.first());
    else
        tree_links::link_only_top(tree, node);
}

void tree_insert_before(node_tree& tree, tree_node* node, tree_node* other) {
    tree_links::link_before(tree, node, other);
}

void tree_insert_after(node_tree& tree, tree_node* node, tree_node* other) {
    tree_links::link_after(tree, node, other);
}

void tree_prepend_child(node_tree& tree, tree_node* node, tree_node* parent) {
    tree_links::prepend_child(tree, node, parent);
}

void tree_append_child(node_tree& tree, tree_node* node, tree_node* parent) {
    tree_links::append_child(tree, node, parent);
}

void tree_append_sibling(node_tree& tree, tree_node* node, tree_node* member) {
    if (member) tree_links::append_sibling(tree, node, member);
}

void tree_insert(node_tree& tree, tree_node* node, tree_node* parent, tree_node* before) {
    if (before)
        tree_links::link_before(tree, node, before);
    else if (parent)
        tree_links::append_child(tree, node, parent);
    else
        tree_links::append_top(tree, node);
}

tree_place tree_unlink(node_tree& tree, tree_node* node) {
    return tree_links::unlink(tree, node);
}

void tree_clear(node_tree& tree) {
    tree_links::clear(tree);
}

void tree_destroy_children(tree_node* node, node_deleter destroy) {
    tree_links::destroy_children(node, destroy);
}
