#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "byte_string.h"
#include "html_elements.h"
#include "markup_scanner.h"

struct file_info;
#include "node_tree.h"
#include "progress.h"
#include "result.h"
#include "small_heap.h"
#include "xml_node.h"

// Bytes of an HTML source read per step.
inline constexpr int32_t html_chunk_size = 16384;

// Lenient HTML reader: builds a document tree from markup of any quality and never reports a
// markup error. Every input byte ends up in the `raw` text of exactly one node, in document
// order; the end-tag nodes it adds for implicitly closed elements have an empty `raw`. A tag's
// node knows its element by index in the table, any case of the name read alike; entities stay
// as written.
//
// Feed it chunk by chunk, then feed_end once.
class html_reader : public markup_scanner {
  public:
    // Nodes are added after the tree's existing top-level nodes. The tree must outlive the
    // reader and must not be changed by anyone else while it reads.
    explicit html_reader(node_tree& tree);
    ~html_reader() override;

    // markup_scanner::feed for a chunk whose storage the reader takes over. Gives needs_input,
    // or size_exceeded with the tree holding what was read before. At feed_end an unfinished
    // construct or text becomes a text node.
    using markup_scanner::feed;
    [[nodiscard]] scan_status feed(byte_string&& chunk);

    // Folds what the caller will only write back, to keep the tree of a large document small.
    // Once an element is known to hold a landmark (the top level counts as one), every finished
    // run of its children without landmarks becomes a single text node whose `raw` is the
    // run's bytes; nothing inside a landmark with content is folded. A run goes on over the end
    // tag of such an element and what follows it, so its node may stand inside an element that
    // ended before the run did. An end tag kept as a node, a landmark's own included, may take
    // what follows it in the same way. The tree still writes back the input byte for byte, and
    // every landmark keeps its ancestors, its content and its place in document order: no node
    // ever stands between a run and the bytes it took. Set before the first chunk.
    void fold_with(node_classifier classify) { classify_ = classify; }
    // The chunks fed are `source` piece by piece from its first byte, and `source` lives as long
    // as the tree (node_tree::keep): nodes then view its bytes instead of holding copies. Set
    // before the first chunk. A long run of text may then become several text nodes.
    void read_from(std::string_view source);

  protected:
    bool on_text() override;
    bool on_construct() override;
    scan_status on_end() override;

  private:
    // One element of the open path, with the path position of the next outer open element of
    // the same name, or -1.
    struct open_element {
        xml_node* node;
        int32_t outer_same;
        // Where its start tag begins in the folded region, for a region element.
        size_t region_at;
    };

    // The token's bytes: in the source when read from one, else the scanner's copy.
    std::string_view token_bytes() const;
    // Gives `text` the bytes, as a view when they lie in the source.
    void set_bytes(byte_string& text, std::string_view bytes) const;
    // Adds bytes to a run; a run viewing the source bytes right before them only widens.
    void append_to_run(byte_string& run, std::string_view bytes) const;
    bool in_source(std::string_view bytes) const {
        const std::less_equal<const char*> before;
        return !bytes.empty() && before(source_.data(), bytes.data()) &&
               before(bytes.data() + bytes.size(), source_.data() + source_.size());
    }
    bool on_start_tag(xml_node* node);
    // Inside a template: counts the templates a construct opens or closes and reads raw text
    // elements as such; true when the construct closes the outermost template.
    bool closes_template(construct_kind scanned);
    // Has the scanner read the content of a raw text element as text.
    void start_raw_text(std::string_view element);
    // Closes the open element at `depth` with an end-tag node of its own, which has no bytes.
    void close_implied(size_t depth);
    // Links a new node under the innermost open element; an opening one joins the path.
    void place(xml_node* node, bool opens);
    void insert(xml_node* node);
    void push_open(xml_node* node);
    // Closes the open element at `depth`: its end-tag node becomes its last child, and it and
    // every element opened inside it leave the path.
    void close_at(size_t depth, xml_node* end_tag);
    void pop_to(size_t depth);
    // Deepest open element a start tag of `element` stops at or closes; -1 for none.
    int32_t implied_stop(int32_t element) const;
    int32_t innermost_open(const xml_node& end_tag) const;

    // Folding. An element at path position `index` (or a node about to be placed at that depth)
    // folds once finished when its parent holds a landmark and no landmark with content holds
    // it.
    bool folds_at(size_t index) const { return index <= keep_depth_ && index <= shield_; }
    // The open elements from `keep_depth_` on hold no landmark yet: they are out of the tree,
    // and all that was read since the first one's start tag is in the run before them.
    bool in_region() const { return region_run_ != nullptr; }
    // Makes the run the region writes into: the run ending the tree, else a new last child.
    void start_region();
    void push_open_in_region(xml_node* node);
    void make_run(xml_node& node);
    // A landmark arrived: the region's elements go into the tree with runs of what they hold.
    void unfold_region();

    node_tree& tree_;
    std::string_view source_;
    // The open elements around the insertion point, outermost first. Elements closed or
    // passed by leave it, so every lookup below is constant time whatever the nesting.
    std::vector<open_element, large_allocator<open_element>> path_;
    // Path position of the innermost open element of each known element, or -1.
    std::array<int32_t, element_count> innermost_known_;
    // The same for names outside the table, any case alike; the key views the written name of
    // an open node.
    std::unordered_map<std::string_view, int32_t, written_name_hash, written_name_equal>
        innermost_unknown_;
    // Open templates: what they hold is text, so no heading or marker is found there.
    int32_t template_depth_ = 0;

    node_classifier classify_;
    // The outermost `keep_depth_` open elements hold a landmark (always a prefix of the path).
    size_t keep_depth_ = 0;
    // Path position of the outermost open landmark with content; no_shield without one.
    static constexpr size_t no_shield = SIZE_MAX;
    size_t shield_ = no_shield;
    // The run that ends the tree so far, if any: a finished node that folds joins it, and so
    // does the end tag of an element that folds its children. The run may then lie inside
    // elements closed since; an end tag node ending the tree serves as one too. The tree still
    // writes back the same bytes.
    xml_node* run_ = nullptr;
    // The run the open region writes into, and its length when the region started.
    xml_node* region_run_ = nullptr;
    size_t region_base_ = 0;
};

// Reads an HTML file into `tree`, after its existing top-level nodes (the document reader's
// callers put one placeholder node there first). Fails with "Can't open source file: <path>"
// (or "Can't read source file: <path>" when a read fails half way, or "Source file is too
// large: <path>" past largest_readable_file, refused before anything is read when its size is
// known), or with "Memory error occurred" when the scanner's size limit is reached.
// `progress`, when given, receives the percent of the file read, once per chunk, and 100 at the
// end. After a failure the tree holds what was read. `fold`, when
// given, folds the tree as html_reader::fold_with describes. `opened`, when given, receives what
// the open file was, whichever file the path reaches afterwards (no path).
result parse_html_file(std::string_view path, node_tree& tree,
                       const progress_function& progress = {}, node_classifier fold = {},
                       file_info* opened = nullptr);
// The same for a text in memory, fed in chunks of `chunk_size` bytes (1 to 1048576).
result parse_html_text(std::string_view text, node_tree& tree,
                       const progress_function& progress = {}, int32_t chunk_size = html_chunk_size,
                       node_classifier fold = {});
