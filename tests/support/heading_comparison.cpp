#include "heading_comparison.h"

#include <gumbo.h>

#include <initializer_list>
#include <vector>

#include "heading_scan.h"
#include "html5_reference.h"
#include "html_reader.h"
#include "tree_dump.h"

// Differences kept on purpose, where the reader stays with its own lenient reading:
// - inside select, svg and math an HTML5 parser drops or re-reads start tags (foreign content
//   has no raw text elements, select keeps no heading);
// - "<?", "<![CDATA[" and "</" followed by no letter are comments to it, text to the reader;
// - an end tag ends at its first '>', also inside quotes, where it reads attribute values;
// - an element written "<h1/>" that takes content is empty to the reader, open to it;
// - it drops a tag or comment cut off by the end of the page, the reader keeps it as text;
// - a table cell, row or section outside a table is an element to the reader, nothing to it;
//   text and other elements a table holds outside its cells stay in it for the reader, an HTML5
//   parser moves them out before the table;
// - a start tag of li, dd or dt closes the previous item for the reader, also where that
//   holds an open heading, in which an HTML5 parser nests the new item;
// - an end tag inside a table, cell, caption, object or applet closes the elements around it
//   for the reader (a heading too); an HTML5 parser ignores it there;
// - misnested formatting ("<b><h2>x</b>y") and other end tags of inline or unknown elements
//   close an open heading or block inside them for the reader; an HTML5 parser re-parents the nodes
//   or ignores the end tag and keeps the heading open; formatting elements left open when an end
//   tag closes what holds them are reopened later by an HTML5 parser, not by the reader;
// - a link start tag inside a link is nested by the reader; an HTML5 parser closes the first;
// - the scan lists a heading nested inside another one as part of that one's text, and an
//   entry's text keeps the content of a script, style or other raw text element in the
//   heading; the comparison leaves both out.
// Nor are the reference parser's own limits: it takes every element it does not know for one.
// Pages with a body or html start tag (one an HTML5 parser merges into the root when it comes
// late), a TOC placeholder or markers are skipped: the scan lists only the headings after the
// TOC's place.
// The page's own encoding is no matter here: pages with bytes outside printable ASCII and white
// space, or with references other than the few decoded below, are skipped.

namespace {

struct heading {
    int level = 0;
    std::string visible;  // without the content of scripts, styles, text areas and templates
    bool nested = false;
    bool unknown_reference = false;
};

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool is_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string collapsed(std::string_view text) {
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (is_blank(c)) {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

struct reference {
    std::string_view name;
    std::string_view text;
    bool needs_semicolon;
};
constexpr reference references[] = {
    {"amp", "&", false},   {"lt", "<", false},  {"gt", ">", false},
    {"quot", "\"", false}, {"apos", "'", true}, {"nbsp", "\xC2\xA0", false},
};

// The text with the references above decoded; false for a reference it does not know.
bool decode(std::string_view text, std::string& out) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&' || i + 1 == text.size() || !is_letter(text[i + 1])) {
            if (text[i] == '&' && i + 1 < text.size() && text[i + 1] == '#') return false;
            out += text[i];
            continue;
        }
        const std::string_view rest = text.substr(i + 1);
        bool known = false;
        for (const reference& r : references) {
            if (!rest.starts_with(r.name)) continue;
            const bool semicolon = rest.size() > r.name.size() && rest[r.name.size()] == ';';
            if (!semicolon && r.needs_semicolon) continue;
            out += r.text;
            i += r.name.size() + (semicolon ? 1 : 0);
            known = true;
            break;
        }
        if (!known) return false;
    }
    return true;
}

// Elements whose content the reference leaves out of a heading's text.
bool hides_content(std::string_view name) {
    for (std::string_view hiding : {"script", "style", "textarea", "template"})
        if (name == hiding) return true;
    return false;
}

bool is_raw_text_name(std::string_view name) {
    for (std::string_view raw : {"script", "style", "textarea", "title", "xmp", "iframe", "noembed",
                                 "noframes", "plaintext", "template"})
        if (name == raw) return true;
    return false;
}

std::string_view skip_reason(std::string_view page) {
    for (unsigned char c : page)
        if ((c < 0x20 && !is_blank(static_cast<char>(c))) || c >= 0x7F)
            return "bytes outside printable ASCII";
    std::string lower(page);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (std::string_view word : {"<select", "<svg", "<math", "<?", "<![cdata[", "<li", "<dd",
                                  "<dt", "<body", "<html", "toc"})
        if (lower.find(word) != std::string::npos) return word;
    for (size_t at = lower.find("</"); at != std::string::npos; at = lower.find("</", at + 1)) {
        if (at + 2 < lower.size() && !is_letter(lower[at + 2])) return "</ without a name";
        const std::string_view end_tag =
            std::string_view(lower).substr(at, lower.find('>', at) - at);
        if (end_tag.find_first_of("\"'") != std::string_view::npos) return "a quote in an end tag";
    }
    return {};
}

bool is_element(const xml_node& node) {
    return node.kind == construct_kind::start_tag || node.kind == construct_kind::empty_tag;
}

// Where a text node stands for the comparison.
enum class text_place { plain, literal, hidden };

// Every heading of the tree with content, nested ones too, with its text.
void collect(const tree_node* node, std::vector<heading>& all, std::vector<size_t>& outer,
             text_place place) {
    for (; node; node = node->next()) {
        const xml_node& x = *as_xml(node);
        const int32_t level = is_element(x) ? heading_level(x) : 0;
        const bool counts =
            level >= 1 && level <= 6 && has_content(x) && place != text_place::hidden;
        if (counts) {
            all.push_back({level, {}, !outer.empty()});
            outer.push_back(all.size() - 1);
        }
        for (size_t index : outer) {
            if (x.kind != construct_kind::text) continue;
            // raw text keeps its references as written
            if (place == text_place::literal) all[index].visible += x.raw.view();
            if (place == text_place::plain && !decode(x.raw.view(), all[index].visible)) {
                all[index].unknown_reference = true;
                all[index].visible += x.raw.view();
            }
        }
        text_place inner = place;
        if (is_element(x) && place != text_place::hidden) {
            if (hides_content(html_name(x))) {
                inner = text_place::hidden;
            } else if (is_raw_text_name(html_name(x)) && html_name(x) != "title") {
                inner = text_place::literal;
            }
        }
        collect(node->first_child(), all, outer, inner);
        if (counts) outer.pop_back();
    }
}

// A page ending inside a tag or comment leaves it as the last node, a text outside raw text.
bool is_cut_off(const node_tree& document) {
    const tree_node* last = document.first();
    for (const tree_node* n = document.first(); n; n = tree_next(n))
        last = n;
    const std::string_view tail = as_xml(last)->raw.view();
    if (as_xml(last)->kind != construct_kind::text || tail.size() < 2 || tail[0] != '<')
        return false;
    const tree_node* parent = last->parent();
    if (!parent || !is_raw_text_name(html_name(*as_xml(parent))))
        return is_letter(tail[1]) || tail[1] == '/' || tail[1] == '!';
    // raw text ends with a text node of its own only where its end tag was cut off
    std::string end_tag = "</" + html_name(*as_xml(parent));
    std::string start(tail.substr(0, end_tag.size()));
    for (char& c : start)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return start == end_tag && tail.size() > end_tag.size() && last->prev();
}

bool is_one_of(const xml_node& node, std::initializer_list<std::string_view> names) {
    for (std::string_view name : names)
        if (html_name(node) == name) return true;
    return false;
}

// Whether a table or a part of one holds text or elements outside its cells, which an HTML5
// parser moves out before the table.
bool fosters_out(const tree_node* table) {
    for (const tree_node* c = table->first_child(); c; c = c->next()) {
        const xml_node& inner = *as_xml(c);
        if (inner.kind == construct_kind::text &&
            inner.raw.view().find_first_not_of(" \t\n\r\f") != std::string_view::npos)
            return true;
        if (inner.kind == construct_kind::start_tag &&
            !is_one_of(inner, {"caption", "colgroup", "col", "thead", "tbody", "tfoot", "tr", "td",
                               "th", "script", "style", "template", "form", "input"}))
            return true;
    }
    return false;
}

// Whether an `a` element holds another, before whose start tag an HTML5 parser closes it.
bool holds_link(const tree_node* link) {
    const tree_node* end = tree_next_skip(link);
    for (const tree_node* d = link->first_child(); d && d != end; d = tree_next(d))
        if (as_xml(d)->kind == construct_kind::start_tag && is_one_of(*as_xml(d), {"a"}))
            return true;
    return false;
}

// An end tag that closed an element with another one left open inside where an HTML5 parser
// reads it otherwise: an end tag inside a table, cell, caption, object or applet that the
// element holds, or one of an inline or unknown element inside a heading it holds.
std::string_view closed_across(const node_tree& document) {
    for (const tree_node* n = document.first(); n; n = tree_next(n)) {
        const xml_node& x = *as_xml(n);
        if (x.kind == construct_kind::empty_tag &&
            !is_one_of(x, {"area", "base", "br", "col", "embed", "hr", "img", "input", "link",
                           "meta", "param", "source", "track", "wbr"}))
            return "<x/>";
        if (is_one_of(x, {"td", "th", "tr", "tbody", "thead", "tfoot", "caption", "colgroup"})) {
            const tree_node* table = n->parent();
            while (table && !is_one_of(*as_xml(table), {"table"}))
                table = table->parent();
            if (!table) return "a table part outside a table";
        }
        if (is_one_of(x, {"table", "tbody", "thead", "tfoot", "tr"}) && fosters_out(n))
            return "content outside the cells of a table";
        if (x.kind == construct_kind::start_tag && is_one_of(x, {"a"}) && holds_link(n))
            return "a link inside a link";
        if (x.kind != construct_kind::start_tag || !x.closed) continue;
        // an HTML5 parser closes these across a heading too; other end tags stop at it
        const auto is_block = [](const xml_node& node) {
            return is_one_of(
                node, {"div",      "blockquote", "center",  "ul",      "ol",   "dl",     "form",
                       "fieldset", "section",    "article", "aside",   "nav",  "header", "footer",
                       "main",     "address",    "figure",  "details", "menu", "dir",    "pre",
                       "body",     "html",       "p",       "li",      "dd",   "dt",     "table",
                       "caption",  "tbody",      "thead",   "tfoot",   "tr",   "td",     "th"});
        };
        const bool block = is_block(x);
        const bool formatting = is_one_of(x, {"a", "b", "big", "code", "em", "font", "i", "nobr",
                                              "s", "small", "strike", "strong", "tt", "u"});
        for (const tree_node* d = n->first_child(); d && d != tree_next_skip(n); d = tree_next(d)) {
            const xml_node& inner = *as_xml(d);
            if (inner.kind != construct_kind::start_tag || inner.closed) continue;
            if (formatting) return "misnested formatting";
            if (is_one_of(inner, {"table", "td", "th", "caption", "object", "applet", "marquee"}))
                return "an end tag inside a table";
            if (!block && heading_level(inner) > 0) return "an end tag across a heading";
            // which an HTML5 parser ignores, keeping the element open around what follows
            if (!block && is_block(inner)) return "an end tag across a block";
            if (is_one_of(inner, {"a", "b", "big", "code", "em", "font", "i", "nobr", "s", "small",
                                  "strike", "strong", "tt", "u"}))
                return "formatting reopened";
        }
    }
    return {};
}

bool is_unknown_to_reference(const xml_node& node) {
    return gumbo_tag_enum(html_name(node).c_str()) == GUMBO_TAG_UNKNOWN;
}

// The reference parser tells elements apart by kind, and all it does not know are of one
// kind: there "</x>" closes an open "<g>".
bool closes_unknown_by_kind(node_tree& document) {
    bool unknown_open = false;
    for (tree_node* n = document.first(); n; n = tree_next(n)) {
        xml_node& x = *as_xml(n);
        if (html_name(x).empty() || !is_unknown_to_reference(x)) continue;
        if (x.kind == construct_kind::start_tag) unknown_open = true;
        if (x.kind == construct_kind::end_tag && !x.closed && unknown_open) return true;
        if (x.kind != construct_kind::end_tag || !x.closed) continue;
        // the end tag closed its element across another unknown one
        const tree_node* element = n->parent();
        for (const tree_node* d = element->first_child(); d != n; d = tree_next(d)) {
            const xml_node& inner = *as_xml(d);
            if (inner.kind == construct_kind::start_tag && !inner.closed &&
                is_unknown_to_reference(inner))
                return true;
        }
    }
    return false;
}

std::string describe(const std::vector<heading>& ours,
                     const std::vector<reference_heading>& theirs) {
    std::string out = "reader:";
    for (const heading& h : ours)
        out += " h" + std::to_string(h.level) + "\"" + h.visible + "\"";
    out += "; html5:";
    for (const reference_heading& h : theirs)
        out += " h" + std::to_string(h.level) + "\"" + h.text + "\"";
    return out;
}

}  // namespace

std::string heading_differences(std::string_view page) {
    if (const std::string_view why = skip_reason(page); !why.empty())
        return "skipped: " + std::string(why);
    node_tree document;
    tree_insert(document, new xml_node(), nullptr, nullptr);
    if (!parse_html_text(page, document).is_ok()) return "the reader failed";
    if (is_cut_off(document)) return "skipped: cut off in a construct";
    if (closes_unknown_by_kind(document)) return "skipped: unknown elements by kind";
    if (const std::string_view why = closed_across(document); !why.empty())
        return "skipped: " + std::string(why);
    std::vector<heading> ours;
    std::vector<size_t> outer;
    collect(document.first(), ours, outer, text_place::plain);

    // the scan lists the outermost headings; their texts are compared as the tree holds them
    heading_scan scan;
    toc_tree items;
    scan.run(document, items);
    const toc_node* item = items.first();
    for (const heading& h : ours) {
        if (h.nested) continue;
        if (!item || item->level != h.level) return "the scan differs";
        item = toc_tree::next(item);
    }
    if (item) return "the scan differs";

    std::vector<reference_heading> theirs = html5_headings(page);
    std::erase_if(theirs, [](const reference_heading& h) { return collapsed(h.text).empty(); });
    for (const heading& h : ours)
        if (h.unknown_reference) return "skipped: an unknown reference";
    std::erase_if(ours, [](const heading& h) { return collapsed(h.visible).empty(); });
    if (ours.size() != theirs.size()) return describe(ours, theirs);
    for (size_t i = 0; i < ours.size(); ++i) {
        if (ours[i].level != theirs[i].level ||
            collapsed(ours[i].visible) != collapsed(theirs[i].text))
            return describe(ours, theirs);
    }
    return {};
}
