#pragma once

#include <string_view>

#include "byte_string.h"
#include "markup_scanner.h"
#include "node_tree.h"
#include "xml_node.h"

// Result codes of the strict reader beyond the scanner's 0 (needs input), 1 (size exceeded)
// and 2 (finished).
constexpr int parse_allocation_failed = 3;
constexpr int parse_misplaced_end_tag = 10000;
constexpr int parse_unclosed_tag = 10001;

// Reads a document whose elements nest exactly (the tagged-value files) into a tree of
// xml_nodes, decoding the character references of texts and attribute values. The first
// structural error stops the read with its code; line() and column() then tell where.
//
//     node_tree tree;
//     tagged_reader reader(tree, true);
//     reader.push_chunk(bytes);            // and scan_step(), for every chunk
//     reader.set_end_of_input(true);
//     if (reader.scan_step() != 2) ...     // format_parse_error
class tagged_reader : public markup_scanner {
  public:
    // `tree` is the caller's and should start empty; the reader only appends to it, and the
    // nodes stay the caller's whatever the result. `lower_case` lower-cases tag and attribute
    // names.
    explicit tagged_reader(node_tree& tree, bool lower_case = false);

    // Queues the chunk with every CR LF and every lone CR turned into one LF, so that lines
    // count line feeds only; a CR ending one chunk and an LF opening the next are one line end.
    void push_chunk(std::string_view text) override;

  protected:
    int on_construct() override;
    int on_text() override;
    // 2 when every start tag was closed, else 10001 (or the error of the pending text).
    int on_end() override;

  private:
    // Where the node goes, next to last_ by insert_mode_.
    void insert(xml_node* node);
    int end_tag(xml_node* node);

    node_tree& tree_;
    bool lower_case_;
    // 1: into last_; 2: after last_'s parent; 3: after last_.
    int insert_mode_ = 3;
    xml_node* last_ = nullptr;
    bool ended_with_cr_ = false;
};

// "Line: N, column: M\r\nError: " and the reason of `code` ("misplaced end tag.\r\n" and so on;
// nothing for a code without one), at the scanner's position. `out` is replaced.
void format_parse_error(const position_tracker& scanner, int code, byte_string& out);
