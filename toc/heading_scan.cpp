#include "heading_scan.h"

#include <memory>
#include <string>
#include <vector>

#include "files.h"
#include "html_elements.h"
#include "text_patterns.h"

namespace {

bool is_element(const xml_node& node) {
    return node.kind == construct_kind::start_tag || node.kind == construct_kind::empty_tag;
}

bool is_text(const xml_node& node) {
    return node.kind == construct_kind::text || node.kind == construct_kind::placeholder;
}

bool is_comment(const xml_node& node) {
    return node.kind == construct_kind::comment || node.kind == construct_kind::directive_comment;
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The element's own end tag, which the reader stores as its last child.
bool is_own_end_tag(const xml_node& node) {
    return node.kind == construct_kind::end_tag && node.closed && !node.next();
}

xml_node* deepest_last(tree_node* node) {
    while (node->last_child())
        node = node->last_child();
    return as_xml(node);
}

// The node written just before `node`: its parent's start tag, or the end of the previous
// sibling's subtree.
xml_node* node_before(tree_node* node) {
    if (node->prev()) return deepest_last(node->prev());
    return as_xml(node->parent());
}

// Document order of two distinct nodes of one tree; linear in the tree's size at worst.
bool comes_before(const tree_node* a, const tree_node* b) {
    std::vector<const tree_node*> path_a;
    std::vector<const tree_node*> path_b;
    for (const tree_node* n = a; n; n = n->parent())
        path_a.push_back(n);
    for (const tree_node* n = b; n; n = n->parent())
        path_b.push_back(n);
    auto ia = path_a.rbegin();
    auto ib = path_b.rbegin();
    while (ia != path_a.rend() && ib != path_b.rend() && *ia == *ib) {
        ++ia;
        ++ib;
    }
    if (ia == path_a.rend()) return true;  // a is an ancestor of b
    if (ib == path_b.rend()) return false;
    for (const tree_node* n = *ia; n; n = n->next())
        if (n == *ib) return true;
    return false;
}

// A heading's descendants in document order; `end` is the node after its subtree.
struct descendants {
    const tree_node* node;
    const tree_node* end;
    explicit descendants(const xml_node& heading)
        : node(heading.first_child()), end(tree_next_skip(&heading)) {}
    bool done() const { return !node || node == end; }
    void advance() { node = tree_next(node); }
};

// Where a look at a heading's leading number stands: blanks before it, in a digit group, or
// right after a group's dot.
enum class number_phase { lead, digits, dot };

// A node found by the pass of locate, with its position in document order, so that places can
// be compared with the old TOC's stretch after the one pass.
struct found {
    xml_node* node = nullptr;
    int64_t at = 0;
    void set(xml_node* n, int64_t position) {
        if (node) return;
        node = n;
        at = position;
    }
};

// The first node of each kind that places the TOC.
struct landmarks {
    found placeholder, body, start, end_after_start, lone_end;
    // The first heading before the start marker, inside the old TOC, and after it.
    found heading_before, heading_inside, heading_after;

    void take_heading(xml_node* node, int64_t at) {
        if (!start.node)
            heading_before.set(node, at);
        else if (!end_after_start.node)
            heading_inside.set(node, at);
        else
            heading_after.set(node, at);
    }

    void take_comment(xml_node* node, int64_t at) {
        if (!placeholder.node && is_toc_placeholder(node->raw.view())) {
            placeholder.set(node, at);
        } else if (!start.node && node->raw == toc_start_marker) {
            start.set(node, at);
        } else if (node->raw == toc_end_marker) {
            if (start.node)
                end_after_start.set(node, at);
            else
                lone_end.set(node, at);
        }
    }
};

// The last node before the heading, or before its outermost ancestor that starts at the same
// place; none when that opens the document.
found before_heading(const found& heading) {
    tree_node* top = heading.node;
    int64_t top_at = heading.at;
    // Up through first children: the ancestor starts where the heading starts.
    while (top && !top->prev()) {
        top = top->parent();
        --top_at;
    }
    if (!top) return {};
    return {deepest_last(top->prev()), top_at - 1};
}

located_nodes place_toc(const landmarks& marks, node_tree& document) {
    located_nodes located;
    const bool old_toc = marks.start.node && marks.end_after_start.node;
    located.start_marker = marks.start.node;
    located.end_marker = marks.start.node ? marks.end_after_start.node : marks.lone_end.node;
    found heading = marks.heading_before;
    if (!heading.node) heading = old_toc ? marks.heading_after : marks.heading_inside;
    located.first_heading = heading.node;
    located.body = marks.body.node;

    found insertion = marks.placeholder.node ? marks.placeholder : marks.body;
    if (!insertion.node && heading.node) insertion = before_heading(heading);
    if (!insertion.node && !heading.node && document.first())
        insertion = {as_xml(document.first()), 0};
    if (insertion.node && old_toc && insertion.at >= marks.start.at &&
        insertion.at <= marks.end_after_start.at)
        insertion.node = node_before(marks.start.node);
    located.insertion = insertion.node;
    return located;
}

}  // namespace

int32_t heading_level(const xml_node& element) {
    if (!is_element(element)) return 0;
    // a node of the HTML reader knows its element: no look at the name's bytes
    if (element.element >= 0) {
        const int32_t level = element.element - element_h1 + 1;
        return level >= 1 && level <= 6 ? level : 0;
    }
    if (element.name.length() != 2) return 0;
    char h = element.name[0];
    char digit = element.name[1];
    if ((h != 'h' && h != 'H') || !is_digit(digit)) return 0;
    return digit - '0';
}

node_role scan_role(const xml_node& node) {
    if (is_element(node)) {
        if (heading_level(node) > 0 || node.name == "title")
            return node_role::landmark_with_content;
        return node.name == "body" ? node_role::landmark : node_role::ordinary;
    }
    if (is_comment(node) && (node.raw == toc_start_marker || node.raw == toc_end_marker ||
                             is_toc_placeholder(node.raw.view())))
        return node_role::landmark;
    return node_role::ordinary;
}

bool has_content(const xml_node& element) {
    const tree_node* first = element.first_child();
    return first && !is_own_end_tag(*as_xml(first));
}

void strip_state::start(const xml_node& heading) {
    numbered_ = false;
    digits_seen_ = false;
    prefix_done_ = false;
    last_kind_ = byte_kind::none;
    // Decides over the text as a whole, since a number may span nodes (`<b>1.</b> Intro`).
    number_phase at = number_phase::lead;
    for (descendants d(heading); !d.done(); d.advance()) {
        const xml_node& node = *as_xml(d.node);
        if (!is_text(node)) continue;
        for (char c : node.raw.view()) {
            if (at == number_phase::lead) {
                if (is_blank(c)) continue;
                if (!is_digit(c)) return;
                at = number_phase::digits;
            } else if (at == number_phase::digits) {
                if (c == '.')
                    at = number_phase::dot;
                else if (!is_digit(c))
                    return;
            } else {
                if (is_blank(c)) {
                    numbered_ = true;
                    return;
                }
                if (!is_digit(c)) return;
                at = number_phase::digits;
            }
        }
    }
    numbered_ = at == number_phase::dot;
}

void strip_state::strip(byte_string& raw) {
    if (prefix_done_) return;
    constexpr byte_kind blank = byte_kind::blank;
    constexpr byte_kind other = byte_kind::other;
    int32_t kept = 0;
    for (int32_t i = 0; i < raw.length(); ++i) {
        char c = raw[i];
        bool copy = true;
        if (is_blank(c)) {
            if (!prefix_done_) {
                if (digits_seen_) {
                    prefix_done_ = true;
                    last_kind_ = blank;
                } else {
                    copy = false;
                }
            } else if (kept == 0) {
                last_kind_ = blank;
            } else {
                copy = last_kind_ == other;
            }
        } else if (numbered_ && (is_digit(c) || c == '.')) {
            if (!prefix_done_) {
                digits_seen_ = true;
                copy = false;
            } else {
                last_kind_ = other;
            }
        } else {
            prefix_done_ = true;
            last_kind_ = other;
        }
        if (copy) raw[kept++] = c;
    }
    raw.set_length(kept);
}

bool heading_scan::is_listed(const xml_node& node) const {
    int32_t level = heading_level(node);
    return level > 0 && level >= range_from && level <= range_to && has_content(node);
}

void heading_scan::locate(node_tree& document) {
    landmarks marks;
    int64_t at = 0;
    for (tree_node* n = document.first(); n; n = tree_next(n), ++at) {
        xml_node* node = as_xml(n);
        if (is_element(*node)) {
            if (is_listed(*node))
                marks.take_heading(node, at);
            else if (node->name == "body")
                marks.body.set(node, at);
        } else if (is_comment(*node)) {
            marks.take_comment(node, at);
        }
    }
    located = place_toc(marks, document);
}

void heading_scan::run(node_tree& document, toc_tree& tree) {
    anchor_counter_ = 0;
    time_stamp_ = unix_time_now();
    locate(document);
    bool old_toc = located.start_marker && located.end_marker;
    bool title_wanted = titles;
    tree_node* node = located.insertion;
    bool jump_pending = false;
    if (titles) {
        node = document.first();
        jump_pending = node != located.insertion;
    }
    while (node) {
        xml_node& element = *as_xml(node);
        if (old_toc && node == located.start_marker) {
            node = tree_next(located.end_marker);
            continue;
        }
        if (is_listed(element)) {
            add_heading(document, tree, element);
            // A heading nested in this one is part of its text, not an item of its own.
            node = tree_next_skip(node);
            continue;
        }
        if (title_wanted && is_element(element) && element.name == "title") {
            add_title(tree, element);
            title_wanted = false;
            if (jump_pending) {
                jump_pending = false;
                // An insertion node before the title has been visited already; going back
                // would anchor and list those headings twice.
                if (!located.insertion) return;
                if (!comes_before(located.insertion, node)) {
                    node = located.insertion;
                    continue;
                }
            }
        }
        node = tree_next(node);
    }
}

void heading_scan::add_heading(node_tree& document, toc_tree& tree, xml_node& heading) {
    ++anchor_counter_;
    auto made = std::make_unique<toc_node>();
    made->level = heading_level(heading);
    toc_node* item = tree.append(std::move(made), current);
    current = item;
    if (numbering) {
        tree.set_numbering(*item);
        strip_.start(heading);
    }

    std::string_view anchor;
    tree_node* end = tree_next_skip(&heading);
    for (tree_node* n = heading.first_child(); n && n != end; n = tree_next(n)) {
        xml_node& node = *as_xml(n);
        if (anchor.empty() && is_element(node) && node.name == "a") {
            if (const template_value* name = node.attributes.find_ref("name"))
                anchor = name->view();
        } else if (is_text(node)) {
            if (numbering) strip_.strip(node.raw);
            item->text.append(node.raw);
        }
    }

    item->link.push('#');
    if (anchor.empty()) {
        item->link.append(anchor_prefix);
        item->link.append(std::to_string(anchor_counter_));
        item->link.push('_');
        item->link.append(std::to_string(time_stamp_));
        add_anchor(document, heading, *item);
    } else {
        item->link.append(anchor);
    }
    if (numbering)
        tree_prepend_child(document, new xml_node(construct_kind::text, item->numbering.view()),
                           &heading);
}

void heading_scan::add_anchor(node_tree& document, xml_node& heading, const toc_node& item) const {
    auto* open = new xml_node(construct_kind::text, "<a name=\"");
    open->raw.append(item.link.view().substr(1));
    open->raw.push('"');
    open->raw.append(anchor_attributes);
    open->raw.push('>');
    tree_prepend_child(document, open, &heading);
    auto* close = new xml_node(construct_kind::text, "</a>");
    tree_node* last = heading.last_child();
    if (is_own_end_tag(*as_xml(last)))
        tree_insert_before(document, close, last);
    else
        tree_insert_after(document, close, last);
}

void heading_scan::add_title(toc_tree& tree, const xml_node& title) {
    ++anchor_counter_;
    // a title's item has level 0
    toc_node* item = tree.append(std::make_unique<toc_node>(), current);
    current = item;
    if (numbering) tree.set_numbering(*item);
    const tree_node* first = title.first_child();
    if (first && is_text(*as_xml(first))) item->text.assign(as_xml(first)->raw);
}
