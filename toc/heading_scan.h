#pragma once

#include <cstdint>
#include <string_view>

#include "foundation/qvchar.h"
#include "foundation/qve_tree.h"
#include "foundation/xml_node.h"
#include "toc/toc_tree.h"

constexpr std::string_view toc_start_marker = "<!--QORV_HTML_TOC_START-->";
constexpr std::string_view toc_end_marker = "<!--QORV_HTML_TOC_END-->";
constexpr std::string_view anchor_prefix = "qorv_link_";

// Level 1 to 9 of an element named h<digit> (either case of h), else 0.
int32_t heading_level(const xml_node& element);
// A heading counts only with a child other than its own end tag: `<h2></h2>` is empty.
bool has_content(const xml_node& element);

// Removal of an old number ("1.4.2. ") from the text nodes of one heading, in document order.
class strip_state {
  public:
    // Looks at the heading's whole text first: only a leading number of the program's own shape
    // (digit groups each ending in '.', then white space or the end) is stripped.
    void start(const xml_node& heading);
    // Rebuilds one text node's raw text in place.
    void strip(qvchar& raw);

  private:
    bool numbered_ = false;
    bool digits_seen_ = false;
    bool prefix_done_ = false;
    int last_kind_ = 0;  // 0 none, 1 blank, 2 other
};

// The nodes that place the TOC in one document.
struct located_nodes {
    xml_node* start_marker = nullptr;
    xml_node* end_marker = nullptr;
    xml_node* insertion = nullptr;
    xml_node* first_heading = nullptr;
    xml_node* body = nullptr;
};

// One pass over one document: finds the TOC place and old markers, anchors and numbers the
// headings in range and appends their items to the TocTree.
class HeadingScan {
  public:
    // Fills `located`: placeholder comment, else body, else just before the first heading.
    void locate(qve_tree& document);
    // 0 on success, 3 when an item can't be made. Continues the tree after `current`.
    [[nodiscard]] int run(qve_tree& document, TocTree& tree);

    int32_t range_from = 1;
    int32_t range_to = 6;
    bool numbering = false;
    bool titles = false;
    qvchar anchor_attributes;  // normalised: empty or starting with a blank
    located_nodes located;
    toc_node* current = nullptr;  // the item appended last, carried from file to file
};
