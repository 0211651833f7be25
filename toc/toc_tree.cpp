#include "toc_tree.h"

#include <array>
#include <charconv>

#include "heading_ids.h"
#include "small_heap.h"

void* toc_node::operator new(size_t size) {
    return small_heap::allocate_object(size);
}

toc_node::~toc_node() {
    tree_destroy_children(this, delete_toc_node);
}

void append_anchor_name(uint32_t number, int64_t stamp, byte_string& out) {
    char digits[24];
    out.append(anchor_prefix);
    auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    out.append(digits, static_cast<int32_t>(end - digits));
    out.push('_');
    end = std::to_chars(digits, digits + sizeof digits, stamp).ptr;
    out.append(digits, static_cast<int32_t>(end - digits));
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

void toc_tree::set_numbering(toc_node& item) {
    // Appending always happens on the rightmost path, so the item is its parent's last child,
    // one place after its previous sibling, numbered just before it.
    const tree_node* before = item.prev();
    item.position = before ? as_toc(before)->position + 1 : 1;
}

void toc_tree::append_numbering(const toc_node& item, byte_string& out) {
    if (item.position == 0) return;
    // levels grow down the path, and they go from 0 (titles) to 9 (`h9`)
    std::array<int32_t, 10> places{};
    size_t count = 0;
    for (const tree_node* n = &item; n && count < places.size(); n = n->parent())
        places[count++] = as_toc(n)->position;
    char digits[16];
    while (count > 0) {
        const auto end = std::to_chars(digits, digits + sizeof digits, places[--count]).ptr;
        out.append(digits, static_cast<int32_t>(end - digits));
        out.push('.');
    }
    out.push(' ');
}

void toc_tree::append_link(const toc_node& item, byte_string& out) const {
    if (item.made_id) {
        byte_string id;
        append_made_id(item, id);
        out.push('#');
        append_fragment(out, id.view());
        return;
    }
    if (!item.made_anchor) {
        out.append(item.link);
        return;
    }
    out.push('#');
    append_anchor_name(item.anchor_number, anchor_stamp, out);
}

void toc_tree::append_made_id(const toc_node& item, byte_string& out) {
    append_given_id(heading_slug(item.text.view()).view(), item.anchor_number, out);
}

int32_t toc_tree::depth(const toc_node& item) {
    int32_t depth = 0;
    for (const tree_node* n = item.parent(); n; n = n->parent())
        ++depth;
    return depth;
}
