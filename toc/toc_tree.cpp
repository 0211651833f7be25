#include "toc_tree.h"

#include <string>
#include <vector>

#include "small_heap.h"

void* toc_node::operator new(size_t size) {
    return small_heap::allocate_object(size);
}

toc_node::~toc_node() {
    tree_destroy_children(this, delete_toc_node);
}

void delete_toc_node(tree_node* node) {
    delete static_cast<toc_node*>(node);
}

void toc_node::operator delete(void* item) noexcept {
    // the class is final: every item is this long
    small_heap::release_object(item, sizeof(toc_node));
}

toc_node* toc_tree::append(std::unique_ptr<toc_node> item, toc_node* current) {
    toc_node* node = item.release();
    for (toc_node* c = current; c; c = as_toc(c->parent())) {
        if (c->level < node->level) {
            tree_append_child(items_, node, c);
            return node;
        }
        if (c->level == node->level) {
            tree_append_sibling(items_, node, c);
            return node;
        }
    }
    tree_insert(items_, node, nullptr, nullptr);
    return node;
}

toc_node* toc_tree::next(const toc_node* item) {
    return as_toc(tree_next(item));
}

void toc_tree::set_numbering(toc_node& item) const {
    // Appending always happens on the rightmost path, so every item on the way up is its
    // parent's last child and its position is the parent's child count.
    std::vector<int32_t> positions;
    for (const tree_node* n = &item; n; n = n->parent())
        positions.push_back(n->parent() ? n->parent()->child_count() : items_.top_count());
    item.numbering.clear();
    for (auto it = positions.rbegin(); it != positions.rend(); ++it) {
        item.numbering.append(std::to_string(*it));
        item.numbering.push('.');
    }
    item.numbering.push(' ');
}

int32_t toc_tree::depth(const toc_node& item) {
    int32_t depth = 0;
    for (const tree_node* n = item.parent(); n; n = n->parent())
        ++depth;
    return depth;
}
