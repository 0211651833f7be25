#pragma once

#include <string_view>

#include "byte_string.h"
#include "markup_scanner.h"
#include "node_tree.h"
#include "parse_tag.h"
#include "result.h"
#include "sorted_map.h"
#include "xml_node.h"

// Reads a document whose elements nest exactly (the tagged-value files) into a tree of
// xml_nodes; tagged_name, tagged_attributes and tagged_text read what a node says. The first
// structural error stops the scan; line() and column() then tell where.
//
//     node_tree tree;
//     tagged_reader reader(tree, true);
//     const result read = reader.read_result(reader.feed_all(bytes, 16384));
class tagged_reader : public markup_scanner {
  public:
    // `tree` is the caller's and should start empty; the reader only appends to it, and the
    // nodes stay the caller's whatever the result. `lower_case` lower-cases tag and attribute
    // names.
    explicit tagged_reader(node_tree& tree, bool lower_case = false);

    // Queues the chunk with every CR LF and every lone CR turned into one LF, so that lines
    // count line feeds only; a CR ending one chunk and an LF opening the next are one line end.
    void push_chunk(std::string_view text) override;

    // What the read came to when the last scan step gave `last`: success when it finished,
    // else "Line: N, column: M\r\nError: " at the scanner's position and the reason
    // ("misplaced end tag.\r\n", "unclosed tag.\r\n" or "size exceeded.\r\n"; nothing
    // while input is still awaited).
    result read_result(scan_status last) const;

  protected:
    bool on_construct() override;
    bool on_text() override;
    // finished when every start tag was closed, else stopped.
    scan_status on_end() override;

  private:
    enum class structure_error : uint8_t { none, misplaced_end_tag, unclosed_tag };

    // Where the node goes, next to last_ by insert_mode_.
    void insert(xml_node* node);
    bool end_tag(xml_node* node);

    node_tree& tree_;
    name_case names_;
    // 1: into last_; 2: after last_'s parent; 3: after last_.
    int insert_mode_ = 3;
    xml_node* last_ = nullptr;
    bool ended_with_cr_ = false;
    structure_error error_ = structure_error::none;
};

// The element name of a tag node of a tagged_reader as parse_tag_name reads it, lower-cased when
// `lower_case` (as the reader was told); empty for other kinds.
byte_string tagged_name(const xml_node& node, bool lower_case);
// The attributes of a start or empty tag node as parse_tag reads them, the character references
// of their values decoded; none for other kinds.
sorted_map tagged_attributes(const xml_node& node, bool lower_case);

// The characters a text node of a tagged_reader stands for: a CDATA section's content, else its
// `raw` with the character references decoded.
byte_string tagged_text(const xml_node& node);
