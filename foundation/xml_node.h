#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>

#include "byte_string.h"
#include "construct_kind.h"
#include "node_tree.h"

// One construct of a document. Writing a document back concatenates the `raw` texts of its
// nodes in document order.
//
// A document holds one node per tag and text run, millions for a large file, so nodes come from
// the small-object heap and hold no more than every construct needs: a reader that wants a tag's
// name or attributes reads them from `raw`.
class xml_node final : public tree_node {
  public:
    xml_node() = default;
    // A start tag begins open; every other kind is complete.
    xml_node(construct_kind construct, std::string_view raw_text)
        : kind(construct), closed(construct != construct_kind::start_tag), raw(raw_text) {}
    // Destroys the node's subtree too.
    ~xml_node() { tree_destroy_children(this, delete_document_node); }

    // Never null: a node that can't be had ends the program through out_of_memory().
    static void* operator new(size_t size);
    static void operator delete(void* slot) noexcept;

    // Members are ordered so that the node packs into 56 bytes: the first three follow the
    // links, and the text comes last.
    construct_kind kind = construct_kind::placeholder;
    // False for a start tag whose end tag has not been seen and for an end tag that matched
    // no open element.
    bool closed = true;
    // Index in the element table, -1 when nobody looked the name up, or no_heading_outside_table.
    int16_t element = -1;
    // The construct exactly as it stood in the input, or the run of characters of a text.
    byte_string raw;

    // written_tag_name of the node.
    std::string_view written_name() const;
};

// The element of a tag whose name its reader found outside the element table and unlike any
// heading's ("h" and a digit): no name of the table, and no heading, needs a look at its bytes.
inline constexpr int16_t no_heading_outside_table = -2;

// The bytes that end a tag's name: white space, '/' and '>'.
inline constexpr std::array<bool, 256> tag_name_ends = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : {' ', '\t', '\n', '\r', '\f', '/', '>'})
        table[c] = true;
    return table;
}();
constexpr bool ends_tag_name(char c) {
    return tag_name_ends[static_cast<unsigned char>(c)];
}

// The element name of a start, empty or end tag of `kind` as written in `raw`: the bytes after
// "<" or "</" up to white space, '/' or '>'. Empty for other kinds and for a tag without bytes.
std::string_view written_tag_name(construct_kind kind, std::string_view raw);

// A large page holds millions of nodes, several per heading.
static_assert(sizeof(void*) != 8 || sizeof(xml_node) <= 56);

// What a node means to the caller of a reader that folds what the caller only writes back.
enum class node_role : uint8_t {
    ordinary,               // may end up in a run of folded content
    landmark,               // kept as a node, and so are its ancestors
    landmark_with_content,  // kept with its ancestors and every node inside it
};
// How the caller of such a reader tells the roles apart: `role` with what the caller gives it
// in `context`, which outlives the reading.
struct node_classifier {
    using role_function = node_role (*)(const xml_node& node, const void* context);

    node_classifier() = default;
    // NOLINTNEXTLINE(google-explicit-constructor): a function alone is a classifier
    node_classifier(role_function function, const void* given = nullptr)
        : role(function), context(given) {}

    explicit operator bool() const { return role != nullptr; }
    node_role operator()(const xml_node& node) const { return role(node, context); }

    role_function role = nullptr;
    const void* context = nullptr;
};

// The document node behind a tree link of a document tree; null for null.
inline xml_node* as_xml(tree_node* node) {
    return static_cast<xml_node*>(node);
}
inline const xml_node* as_xml(const tree_node* node) {
    return static_cast<const xml_node*>(node);
}
