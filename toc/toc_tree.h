#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "byte_string.h"
#include "node_tree.h"

constexpr std::string_view anchor_prefix = "qorv_link_";

// One TOC entry: a heading (level 1 to 6) or a page title (level 0).
class toc_node final : public tree_node {
  public:
    // From the small-object heap, as document nodes: a TOC has one per heading. Never null.
    static void* operator new(size_t size);
    static void operator delete(void* item) noexcept;
    toc_node() = default;
    // Destroys the item's subtree too.
    ~toc_node();

    int8_t level = 0;  // 0 to 6: a byte, so that the flags after it share a word with it
    // Whether the heading got an anchor the build made, named from `anchor_number` and the tree's
    // anchor stamp (toc_tree::append_link): a TOC of a million entries holds no copy of their
    // names, and the heading's start tag gets it only when written (see heading_openings).
    bool made_anchor = false;
    bool empty_anchor = false;  // that anchor is empty, before the heading's content
    // Whether the heading takes an id the build gave out, made of the slug of `text` and
    // `anchor_number` (toc_tree::append_made_id): it goes into the heading's start tag when that
    // is written (see heading_openings), and the link is made of it while `text` holds the
    // heading's, as for made_anchor.
    bool made_id = false;
    uint32_t anchor_number = 0;
    // The heading's raw text, entities as written in the file; it may view the heading in the
    // document while the file is built.
    byte_string text;
    // "#" + anchor name, unless made_anchor or made_id; with the path before it once the build of
    // a set of files has made the file's TOC; a title's link stays empty until then
    byte_string link;
    uint32_t render_index = 0;  // row of the item in the latest rendering, 0 before
    // Place among its siblings (or the top-level items) from 1, which its number is made of; 0
    // with numbering off.
    int32_t position = 0;
};

// Appends the name of the anchor a build makes: anchor_prefix + number + "_" + stamp.
void append_anchor_name(uint32_t number, int64_t stamp, byte_string& out);

// Deletes a TOC item; node_tree's deleter for the items.
void delete_toc_node(tree_node* node);

inline toc_node* as_toc(tree_node* node) {
    return static_cast<toc_node*>(node);
}
inline const toc_node* as_toc(const tree_node* node) {
    return static_cast<const toc_node*>(node);
}

// The items of one build, shared by all its files, with the indent text for the template.
class toc_tree {
  public:
    toc_node* first() const { return as_toc(items_.first()); }
    bool is_empty() const { return items_.is_empty(); }

    // Links `item` by level after `current` (the item appended last, or none): under the nearest
    // item on current's path with a lower level, beside one with the same level, else at the top.
    // The tree owns the item; the result is the item, which becomes the new current item.
    toc_node* append(std::unique_ptr<toc_node> item, toc_node* current);
    // Next item in document order; none after the last.
    static toc_node* next(const toc_node* item);
    // Numbers the item, right after append: its number is then "4.2. " for the second child of
    // the fourth top-level item.
    static void set_numbering(toc_node& item);
    // Appends the item's number, "1.4.2. "; nothing for an item never numbered.
    static void append_numbering(const toc_node& item, byte_string& out);
    // Appends the item's link: "#" + the name of the anchor or the id the build made, or as set.
    void append_link(const toc_node& item, byte_string& out) const;
    // Appends the id the build gave the heading of a made_id item.
    static void append_made_id(const toc_node& item, byte_string& out);
    // Depth of the item: the number of its ancestors.
    static int32_t depth(const toc_node& item);

    byte_string indent;
    // The time stamp in the names of the anchors made in the file being built, whose items'
    // links are made from it (see toc_node::made_anchor).
    int64_t anchor_stamp = 0;

  private:
    node_tree items_{delete_toc_node};
};
