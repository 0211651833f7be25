#pragma once

#include <cstdint>
#include <deque>
#include <string_view>

#include "byte_string.h"
#include "heading_ids.h"
#include "node_tree.h"
#include "small_heap.h"
#include "toc_project.h"
#include "toc_tree.h"
#include "xml_node.h"

constexpr std::string_view toc_start_marker = "<!--QORV_HTML_TOC_START-->";
constexpr std::string_view toc_end_marker = "<!--QORV_HTML_TOC_END-->";

// Level 1 to 9 of an element named h<digit> (either case of h), else 0.
int32_t heading_level(const xml_node& element);
// An `a` element whose name starts with anchor_prefix: an anchor a build inserted, emptied by
// remove_program_anchor or not.
bool is_program_anchor(const xml_node& node);
// A heading counts only with a child other than its own end tag: `<h2></h2>` is empty.
bool has_content(const xml_node& element);

// The heading levels a scan lists, `from` to `to`.
struct listed_levels {
    int32_t from = 1;
    int32_t to = 6;
};

// What `heading_scan` and the clearing of a document look at: the headings of the levels listed
// (`levels`, a listed_levels) and titles with their content, `body`, the TOC markers and the
// placeholder comment. A reader may fold all else.
node_role scan_role(const xml_node& node, const void* levels);
// scan_role for a build with `id` anchors, which must see every id and anchor name of the page:
// an element holding one stays a node too.
node_role id_scan_role(const xml_node& node, const void* levels);

// Empties the start and end tag of the first anchor a build inserted into the heading; its
// content stays.
void remove_program_anchor(xml_node& heading);

// Removal of an old number ("1.4.2. ") from the text nodes of one heading, in document order.
class strip_state {
  public:
    // Looks at the heading's whole text first: only a leading number of the program's own shape
    // (digit groups each ending in '.', then white space or the end) is stripped, together with
    // the one blank after it, so a number written by a build goes whole. Any other leading run
    // of digits and dots ("1984", "3D", "2.0 Release") is kept, and so is white space before
    // the number.
    void start(const xml_node& heading);
    // Rebuilds one text node's raw text in place. Hand over every text node of the heading
    // (kinds `text` and `placeholder`), in document order, after `start`.
    void strip(xml_node& text);

  private:
    bool numbered_ = false;
    bool digits_seen_ = false;
    bool prefix_done_ = false;
};

// The nodes that place the TOC in one document.
//
// The old TOC is the stretch from `start_marker` to `end_marker`, both included; it is dropped on
// writing only when both are set. `end_marker` is the first end-marker comment after a start
// marker, and `start_marker` the last start-marker comment before it: the one a build wrote with
// it. A start marker without an end marker after it is an ordinary comment and stays, and so is
// every marker after the old TOC. Without an old TOC, `start_marker` is null and `end_marker` the
// first end-marker comment (a lone end marker, which a build drops).
//
// The new TOC is written right after the insertion node's own raw text, before its children:
// - a placeholder comment `<!-- toc -->`: right after it;
// - else the first `body` element: right after its `<body ...>` start tag;
// - else, before the first heading: take the heading, or its outermost ancestor that starts at
//   the same place (each one on the way up a first child); the insertion node is the last node
//   in document order before it, which is the deepest last descendant of its previous sibling
//   and has no children, so the TOC follows that sibling's whole subtree
//   (`<script>x</script><h1>` gives the `</script>` end tag node);
// - else (no heading, no body) the first top-level node.
// When that place lies inside the old TOC (the insertion would be the end marker or a node
// between the markers), the insertion node is instead the node just before the start marker in
// document order, so the new TOC takes the old one's place. The insertion node is thus never a
// node dropped on writing. It is null only in a tree without the leading empty node whose first
// heading or old TOC opens the document; such a document gets no TOC.
struct located_nodes {
    xml_node* start_marker = nullptr;
    xml_node* end_marker = nullptr;
    xml_node* insertion = nullptr;
    // The first in-range heading with content outside the old TOC.
    xml_node* first_heading = nullptr;
    xml_node* body = nullptr;
};

// A heading that a scan gave an anchor of the build's own, with its item.
struct anchored_heading {
    const xml_node* heading = nullptr;
    const toc_node* item = nullptr;
};

// What goes at the end of the start tags of the headings a scan numbered, anchored or gave an id
// when the document is written: a new id in place of the tag's `>` (` id="` + the id +
// `" data-qorv-id>`), the item's number, then for an anchor the build made its start tag,
// `<a name="` + the anchor's name + `"` + the attributes + `>`, and `</a>` too for an empty one.
struct heading_openings {
    // in document order; one per heading of a large page, kept with the document's nodes
    std::deque<anchored_heading, small_allocator<anchored_heading>> headings;
    byte_string attributes;  // normalised: empty or starting with a blank
    int64_t stamp = 0;       // in the anchors' names

    // Appends what goes after the start tag of the heading of `item`; a made id goes into the
    // tag (see build_id_place).
    void append(const toc_node& item, byte_string& out) const;
};

// One pass over one document: finds the TOC place and old markers, anchors and numbers the
// headings in range and appends their items to the toc_tree.
class heading_scan {
  public:
    // Fills `located` (see located_nodes), with the heading range of this scan.
    void locate(node_tree& document);
    // Continues the tree after `current`. Lists the headings from the insertion node on; with
    // titles on, from the document's start to its first `title`, then from the insertion node on
    // unless that lies before the title. Headings inside the old TOC are neither listed nor
    // anchored: that text is dropped on writing. The texts of the items may view the document,
    // which then must outlive every read of them.
    void run(node_tree& document, toc_tree& tree);

    int32_t range_from = 1;
    int32_t range_to = 6;
    bool numbering = false;
    bool titles = false;
    byte_string anchor_attributes;  // normalised: empty or starting with a blank
    // With `id`, each heading is linked by its own id, by the id or name its content starts
    // with, by the id an earlier build added, or gets a new one made of its text. Either way a
    // heading loses what a build of the other kind added to it.
    anchor_kind anchors = anchor_kind::name;
    located_nodes located;
    heading_openings openings;
    toc_node* current = nullptr;  // the item appended last, carried from file to file

  private:
    bool is_listed(const xml_node& node) const;
    // The loop of run over the document, `old_toc` telling whether its markers are skipped.
    void list_headings(node_tree& document, toc_tree& tree, bool old_toc);
    void add_heading(node_tree& document, toc_tree& tree, xml_node& heading);
    void add_title(toc_tree& tree, const xml_node& title);
    // Appends the heading's id to the item's link, adding one to the heading when it needs it.
    void link_by_id(xml_node& heading, toc_node& item);
    // Puts a new anchor, named from the counter and the time stamp, around the heading's content,
    // or, when the heading holds a link, as an empty element before the content. The item's
    // number goes right before the anchor. Both are written after the heading's start tag (see
    // openings), and the anchor's end goes into the text of the content's last text or end tag,
    // else into a node of its own.
    void add_anchor(node_tree& document, xml_node& heading, toc_node& item, bool empty_form);

    uint32_t anchor_counter_ = 0;
    int64_t time_stamp_ = 0;
    strip_state strip_;
    page_ids ids_;
};
