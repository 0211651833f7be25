#include "heading_scan.h"

#include <algorithm>
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

// Whether the page ends inside the heading with the bytes of a construct it never finished
// (`<h2>x<a title="y`), or inside an element whose content is text to its end tag
// (`<h2>x<title>y`): an end tag put after them would be read as part of it.
bool ends_unfinished(tree_node& heading) {
    const xml_node& last = *deepest_last(&heading);
    if (tree_next(&last)) return false;
    if (last.kind == construct_kind::text && last.raw.find_char('<') >= 0) return true;
    for (const tree_node* p = last.parent(); p && p != &heading; p = p->parent()) {
        const xml_node& element = *as_xml(p);
        if (element.kind != construct_kind::start_tag || element.closed) continue;
        const std::string_view written = element.written_name();
        for (std::string_view name : {"script", "style", "title", "textarea", "xmp", "iframe",
                                      "noembed", "noframes", "plaintext", "template"})
            if (is_name(written, name)) return true;
    }
    return false;
}

bool is_block(const xml_node& element) {
    const std::string_view written = element.written_name();
    for (std::string_view name :
         {"address", "applet",   "article",    "aside",   "blockquote", "button",  "caption",
          "center",  "colgroup", "dd",         "details", "dir",        "div",     "dl",
          "dt",      "fieldset", "figcaption", "figure",  "footer",     "form",    "h1",
          "h2",      "h3",       "h4",         "h5",      "h6",         "header",  "hgroup",
          "li",      "listing",  "main",       "marquee", "menu",       "nav",     "object",
          "ol",      "p",        "pre",        "section", "select",     "summary", "table",
          "tbody",   "td",       "tfoot",      "th",      "thead",      "tr",      "ul"})
        if (is_name(written, name)) return true;
    return false;
}

// Whether the heading holds a block left open to its end (`<h2>x<p>y</h2>`): a browser
// meeting the anchor's end tag inside it would split the anchor in two around the block. A
// block the reader closed only where the next heading starts (`<h2><p>y<h2>`), with nothing
// written after, is still open where the anchor ends, and so is one written as empty (`<p/>`),
// which a browser opens all the same.
bool holds_open_block(tree_node& heading) {
    const tree_node* end = tree_next_skip(&heading);
    const tree_node* last = heading.last_child();
    const tree_node* own_end = last && is_own_end_tag(*as_xml(last)) ? last : nullptr;
    bool closed_past_end = false;
    for (const tree_node* n = heading.first_child(); n && n != end && n != own_end;
         n = tree_next(n)) {
        const xml_node& node = *as_xml(n);
        if (node.kind == construct_kind::end_tag && node.raw.is_empty()) {
            closed_past_end = closed_past_end || is_block(*as_xml(n->parent()));
            continue;
        }
        if (!node.raw.is_empty()) closed_past_end = false;
        if (((node.kind == construct_kind::start_tag && !node.closed) ||
             node.kind == construct_kind::empty_tag) &&
            is_block(node))
            return true;
    }
    return closed_past_end;
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

bool is_inside(const tree_node& node, const tree_node& ancestor) {
    for (const tree_node* p = node.parent(); p; p = p->parent())
        if (p == &ancestor) return true;
    return false;
}

// The index of an element of the table, found while compiling.
consteval int32_t table_element(std::string_view name) {
    return element_index(name);
}

// Whether a start or empty tag is of the element (see table_element).
bool is_named(const xml_node& node, int32_t element) {
    if (!is_element(node)) return false;
    // a node of the HTML reader knows its element: no look at the name's bytes
    if (node.element >= 0) return node.element == element;
    return node.element != no_heading_outside_table &&
           is_name(node.written_name(), element_name(element));
}

// Text that a TOC entry never shows: scripts and style sheets.
bool is_hidden_text(const xml_node& text, const xml_node& heading) {
    for (const tree_node* p = text.parent(); p && p != &heading; p = p->parent()) {
        const xml_node& element = *as_xml(p);
        if (is_named(element, table_element("script")) || is_named(element, table_element("style")))
            return true;
    }
    return false;
}

// Appends text to a TOC entry with every `<` that could open markup there written as "&lt;":
// markup left open in the TOC (a comment, or `<a title="x` cut off by the end of the page)
// swallows its end marker, and the next build adds a TOC instead of replacing it. `literal`
// text (a textarea's or a title's, shown as it is) has every `<` written so.
void append_escaped(byte_string& entry, std::string_view raw, bool literal) {
    const auto opens_markup = [&raw](size_t i) {
        if (i + 1 == raw.size()) return true;
        const char c = raw[i + 1];
        return c == '!' || c == '/' || c == '?' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    };
    size_t from = 0;
    for (size_t i = raw.find('<'); i != std::string_view::npos; i = raw.find('<', from)) {
        if (!literal && !opens_markup(i)) {
            from = i + 1;
            continue;
        }
        entry.append(raw.substr(0, i));
        entry.append("&lt;");
        raw.remove_prefix(i + 1);
        from = 0;
    }
    entry.append(raw);
}

// Appends a heading's text node to its TOC entry.
void append_entry_text(byte_string& entry, const xml_node& text, const xml_node& heading) {
    if (is_hidden_text(text, heading)) return;
    const xml_node* parent = as_xml(text.parent());
    append_escaped(entry, text.raw.view(),
                   parent && parent != &heading && is_named(*parent, table_element("textarea")));
}

void trim_leading_blanks(byte_string& text) {
    int32_t blanks = 0;
    while (blanks < text.length() && is_blank(text[blanks]))
        ++blanks;
    if (blanks > 0) text.assign(byte_string(text.view().substr(static_cast<size_t>(blanks))));
}

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
    found placeholder, body;
    // The old TOC: an end marker and the nearest start marker before it, which is the one a
    // build wrote with it. A start marker that no end marker follows is an ordinary comment.
    found start, end;
    found open_start, lone_end;
    // The first heading, and the first after the old TOC.
    found heading_first, heading_after;

    void take_heading(xml_node* node, int64_t at) {
        heading_first.set(node, at);
        if (end.node) heading_after.set(node, at);
    }

    void take_comment(xml_node* node, int64_t at) {
        if (!placeholder.node && is_toc_placeholder(node->raw.view())) {
            placeholder.set(node, at);
        } else if (end.node) {
            return;
        } else if (node->raw == toc_start_marker) {
            open_start = {node, at};
        } else if (node->raw == toc_end_marker) {
            if (open_start.node) {
                start = open_start;
                end.set(node, at);
            } else {
                lone_end.set(node, at);
            }
        }
    }
};

// The last node before the heading, or before its outermost ancestor that starts at the same
// place; none when that opens the document.
found before_heading(const found& heading) {
    tree_node* top = heading.node;
    int64_t top_at = heading.at;
    for (;;) {
        // Up through first children: the ancestor starts where the heading starts.
        while (top && !top->prev()) {
            top = top->parent();
            --top_at;
        }
        if (!top) return {};
        // A heading that this one's start tag closed (`<h1><h1>A`) has no end tag to write the
        // TOC after: written there, the TOC would be read inside it. It goes before it instead.
        tree_node* before = top->prev();
        const tree_node* end = before->last_child();
        if (heading_level(*as_xml(before)) == 0 || !end ||
            as_xml(end)->kind != construct_kind::end_tag || !as_xml(end)->raw.is_empty())
            break;
        for (const tree_node* n = before; n != top; n = tree_next(n))
            --top_at;
        top = before;
    }
    return {deepest_last(top->prev()), top_at - 1};
}

located_nodes place_toc(const landmarks& marks, node_tree& document) {
    located_nodes located;
    const bool old_toc = marks.end.node != nullptr;
    located.start_marker = marks.start.node;
    located.end_marker = old_toc ? marks.end.node : marks.lone_end.node;
    found heading = marks.heading_first;
    if (old_toc && heading.node && heading.at > marks.start.at) heading = marks.heading_after;
    located.first_heading = heading.node;
    located.body = marks.body.node;

    found insertion = marks.placeholder.node ? marks.placeholder : marks.body;
    if (!insertion.node && heading.node) insertion = before_heading(heading);
    if (!insertion.node && !heading.node && document.first())
        insertion = {as_xml(document.first()), 0};
    if (insertion.node && old_toc && insertion.at >= marks.start.at && insertion.at <= marks.end.at)
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
    if (element.element == no_heading_outside_table) return 0;
    return std::max(0, written_heading_digit(element.written_name()));
}

bool is_program_anchor(const xml_node& node) {
    if (!is_named(node, table_element("a"))) return false;
    // one that remove_program_anchor emptied still counts: the reader makes no tag without bytes
    if (node.raw.is_empty()) return true;
    tag_attribute name;
    return find_attribute(node.raw.view(), "name", name) && name.value.starts_with(anchor_prefix);
}

node_role scan_role(const xml_node& node, const void* levels) {
    if (is_element(node)) {
        const auto& listed = *static_cast<const listed_levels*>(levels);
        const int32_t level = heading_level(node);
        if ((level >= listed.from && level <= listed.to && level > 0) ||
            is_named(node, table_element("title")))
            return node_role::landmark_with_content;
        return is_named(node, table_element("body")) ? node_role::landmark : node_role::ordinary;
    }
    if (is_comment(node) && (node.raw == toc_start_marker || node.raw == toc_end_marker ||
                             is_toc_placeholder(node.raw.view())))
        return node_role::landmark;
    return node_role::ordinary;
}

node_role id_scan_role(const xml_node& node, const void* levels) {
    const node_role role = scan_role(node, levels);
    std::string_view target;
    if (role == node_role::ordinary && link_target(node, target)) return node_role::landmark;
    return role;
}

void remove_program_anchor(xml_node& heading) {
    const xml_node* anchor = nullptr;
    const tree_node* after = tree_next_skip(&heading);
    for (tree_node* n = heading.first_child(); n && n != after; n = tree_next(n)) {
        xml_node& node = *as_xml(n);
        if (!anchor && is_program_anchor(node)) {
            anchor = &node;
            node.raw.clear();
        } else if (anchor && node.parent() == anchor && node.kind == construct_kind::end_tag &&
                   is_name(node.written_name(), "a") && is_own_end_tag(node)) {
            node.raw.clear();
            return;
        }
    }
}

// The id or anchor name of the first element in the heading that no visible text comes before
// (`<h2><a id="x"></a>Title</h2>`), which a link to the heading may use as well.
bool leading_target(const xml_node& heading, std::string_view& target) {
    for (descendants d(heading); !d.done(); d.advance()) {
        const xml_node& node = *as_xml(d.node);
        if (is_text(node)) {
            for (char c : node.raw.view())
                if (!is_blank(c)) return false;
        } else if (is_element(node) && link_target(node, target)) {
            return true;
        }
    }
    return false;
}

bool has_content(const xml_node& element) {
    const tree_node* first = element.first_child();
    return first && !is_own_end_tag(*as_xml(first));
}

void strip_state::start(const xml_node& heading) {
    numbered_ = false;
    digits_seen_ = false;
    prefix_done_ = false;
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

void strip_state::strip(xml_node& text) {
    if (!numbered_ || prefix_done_) return;
    // Blanks between a number and the program's anchor are all a build's: earlier builds left
    // two there.
    const tree_node* after = text.next();
    const bool before_anchor = after && is_program_anchor(*as_xml(after));
    byte_string& raw = text.raw;
    int32_t kept = 0;
    for (int32_t i = 0; i < raw.length(); ++i) {
        const char c = raw[i];
        if (prefix_done_ || (!digits_seen_ && is_blank(c))) {
            raw[kept++] = c;
        } else if (is_digit(c) || c == '.') {
            digits_seen_ = true;
        } else if (!before_anchor || !is_blank(c)) {
            // the one blank a build writes after its number goes with it
            prefix_done_ = true;
            if (!is_blank(c)) raw[kept++] = c;
        }
    }
    raw.set_length(kept);
    if (before_anchor && digits_seen_) prefix_done_ = true;
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
            else if (is_named(*node, table_element("body")))
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
    tree.anchor_stamp = time_stamp_;
    openings.headings.clear();
    openings.stamp = time_stamp_;
    openings.attributes = anchor_attributes;
    locate(document);
    bool old_toc = located.start_marker && located.end_marker;
    ids_ = page_ids();
    if (anchors == anchor_kind::id)
        ids_.collect(document, old_toc ? located.start_marker : nullptr, located.end_marker);
    list_headings(document, tree, old_toc);
    // the ids are asked only while headings are linked: a page's million would outlast its writing
    ids_ = page_ids();
}

void heading_scan::list_headings(node_tree& document, toc_tree& tree, bool old_toc) {
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
        if (title_wanted && is_named(element, table_element("title"))) {
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
    made->level = static_cast<int8_t>(heading_level(heading));
    toc_node* item = tree.append(std::move(made), current);
    current = item;
    if (numbering) {
        tree.set_numbering(*item);
        strip_.start(heading);
    }

    if (anchors == anchor_kind::id)
        remove_program_anchor(heading);
    else
        (void)remove_build_id(heading);
    std::string_view anchor;
    bool holds_link = false;
    int32_t text_nodes = 0;  // that gave the entry text
    const xml_node* sole_text = nullptr;
    bool holds_toc = false;  // the TOC goes into the heading
    tree_node* end = tree_next_skip(&heading);
    // an old TOC inside the heading (`<h2>x<body>`) is dropped on writing: its text is no
    // part of the heading's
    const bool holds_old_toc = located.start_marker && located.end_marker &&
                               is_inside(*located.start_marker, heading) &&
                               is_inside(*located.end_marker, heading);
    for (tree_node* n = heading.first_child(); n && n != end; n = tree_next(n)) {
        if (holds_old_toc && n == located.start_marker) n = located.end_marker;
        if (n == located.insertion) holds_toc = true;
        xml_node& node = *as_xml(n);
        if (is_named(node, table_element("a"))) {
            holds_link = true;
            tag_attribute name;
            if (anchor.empty() && find_attribute(node.raw.view(), "name", name))
                anchor = name.value;
        } else if (is_text(node)) {
            if (numbering) strip_.strip(node);
            const int32_t before = item->text.length();
            append_entry_text(item->text, node, heading);
            if (item->text.length() > before) {
                ++text_nodes;
                sole_text = &node;
            }
        }
    }
    if (numbering) trim_leading_blanks(item->text);
    // An entry made of one text as it lies in the page views those bytes, which stay where they
    // are while the document lives, whatever the build does to the node later.
    if (text_nodes == 1 && sole_text->raw.is_view() &&
        sole_text->raw.view().ends_with(item->text.view())) {
        const std::string_view bytes = sole_text->raw.view();
        item->text.view_of(bytes.substr(bytes.size() - static_cast<size_t>(item->text.length())));
    }

    if (anchor.empty() && anchors != anchor_kind::id) {
        // The number goes in with the anchor. A heading the TOC goes into (listed from the
        // page's start when titles are on, `<h2>x<body>`) gets an empty one: wrapped around the
        // TOC, it would hold the TOC's links.
        add_anchor(
            document, heading, *item,
            holds_link || holds_toc || ends_unfinished(heading) || holds_open_block(heading));
        return;
    }
    if (anchors == anchor_kind::id) {
        link_by_id(heading, *item);
    } else {
        item->link.push('#');
        item->link.append(anchor);
    }
    // the number and a new id go in when the start tag is written, as an anchor the build made
    // does: kept, they would cost every heading a node or a copy of its tag
    if (numbering || item->made_id) openings.headings.push_back({&heading, item});
}

void heading_scan::add_anchor(node_tree& document, xml_node& heading, toc_node& item,
                              bool empty_form) {
    // the number and the anchor's start are made when the heading's start tag is written: kept,
    // they would cost every heading a text
    item.made_anchor = true;
    item.empty_anchor = empty_form;
    item.anchor_number = anchor_counter_;
    openings.headings.push_back({&heading, &item});
    if (empty_form) return;
    constexpr std::string_view anchor_end = "</a>";
    xml_node* end_tag = as_xml(heading.last_child());
    if (end_tag && !is_own_end_tag(*end_tag)) end_tag = nullptr;
    // The content's last text or end tag writes the anchor's end after it: one node less a
    // heading. The heading's own end tag is left as read, as a folding reader may have run on
    // past it.
    if (xml_node* last = end_tag && end_tag->prev() ? deepest_last(end_tag->prev()) : nullptr;
        last && (last->kind == construct_kind::text || last->kind == construct_kind::end_tag)) {
        last->raw.reserve(last->raw.length() + static_cast<int32_t>(anchor_end.size()));
        last->raw.append(anchor_end);
        return;
    }
    // after other content, and in an unfinished heading ("<h2>x" at the end of the page)
    auto* close = new xml_node(construct_kind::text, {});
    close->raw.view_of(anchor_end);
    if (end_tag)
        tree_insert_before(document, close, end_tag);
    else
        tree_append_child(document, close, &heading);
}

void heading_openings::append(const toc_node& item, byte_string& out) const {
    toc_tree::append_numbering(item, out);
    if (!item.made_anchor) return;
    out.append("<a name=\"");
    append_anchor_name(item.anchor_number, stamp, out);
    out.push('"');
    out.append(attributes);
    out.push('>');
    // wrapped around a link, the anchor would nest one `a` in another
    if (item.empty_anchor) out.append("</a>");
}

void heading_scan::link_by_id(xml_node& heading, toc_node& item) {
    const auto link_to = [&item](std::string_view id) {
        item.link.push('#');
        append_fragment(item.link, id);
    };
    tag_attribute own;
    if (has_build_id(heading)) {
        (void)find_attribute(heading.raw.view(), "id", own);
        if (ids_.reuse(own.value)) {
            link_to(own.value);
            return;
        }
    }
    // a build's id held elsewhere too, or a marker without its id
    (void)remove_build_id(heading);
    std::string_view target;
    if (find_attribute(heading.raw.view(), "id", own)) {
        link_to(own.value);
    } else if (leading_target(heading, target)) {
        link_to(target);
    } else {
        const byte_string slug = heading_slug(item.text.view());
        const uint32_t number = ids_.give_out(slug);
        // the id goes in when the start tag is written; a tag cut off at the page's end gets none
        item.made_id = heading.raw.view().ends_with('>');
        if (item.made_id) {
            // the link is made when asked: a million headings keep no copy of their ids
            item.anchor_number = number;
            return;
        }
        byte_string id;
        append_given_id(slug.view(), number, id);
        link_to(id.view());
    }
}

void heading_scan::add_title(toc_tree& tree, const xml_node& title) {
    ++anchor_counter_;
    // a title's item has level 0
    toc_node* item = tree.append(std::make_unique<toc_node>(), current);
    current = item;
    if (numbering) tree.set_numbering(*item);
    const tree_node* first = title.first_child();
    // a title's text is all text, whatever it looks like
    if (first && is_text(*as_xml(first)))
        append_escaped(item->text, as_xml(first)->raw.view(), true);
}
