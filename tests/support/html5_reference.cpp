#include "html5_reference.h"

#include <gumbo.h>

#include <memory>

namespace {

using parse_output = std::unique_ptr<GumboOutput, void (*)(GumboOutput*)>;

parse_output parse(std::string_view page) {
    GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
    return {output, [](GumboOutput* done) { gumbo_destroy_output(&kGumboDefaultOptions, done); }};
}

const GumboVector* children_of(const GumboNode& node) {
    if (node.type == GUMBO_NODE_ELEMENT || node.type == GUMBO_NODE_TEMPLATE)
        return &node.v.element.children;
    if (node.type == GUMBO_NODE_DOCUMENT) return &node.v.document.children;
    return nullptr;
}

bool is_html(const GumboNode& node, GumboTag tag) {
    return (node.type == GUMBO_NODE_ELEMENT || node.type == GUMBO_NODE_TEMPLATE) &&
           node.v.element.tag == tag && node.v.element.tag_namespace == GUMBO_NAMESPACE_HTML;
}

bool hides_content(const GumboNode& node) {
    return node.type == GUMBO_NODE_TEMPLATE || is_html(node, GUMBO_TAG_SCRIPT) ||
           is_html(node, GUMBO_TAG_STYLE) || is_html(node, GUMBO_TAG_TEXTAREA);
}

int heading_level(const GumboNode& node) {
    static constexpr GumboTag levels[] = {GUMBO_TAG_H1, GUMBO_TAG_H2, GUMBO_TAG_H3,
                                          GUMBO_TAG_H4, GUMBO_TAG_H5, GUMBO_TAG_H6};
    for (int level = 1; level <= 6; ++level)
        if (is_html(node, levels[level - 1])) return level;
    return 0;
}

void append_text(const GumboNode& node, std::string& text) {
    if (node.type == GUMBO_NODE_TEXT || node.type == GUMBO_NODE_WHITESPACE ||
        node.type == GUMBO_NODE_CDATA) {
        text += node.v.text.text;
        return;
    }
    const GumboVector* children = children_of(node);
    if (children == nullptr || hides_content(node)) return;
    for (unsigned i = 0; i < children->length; ++i)
        append_text(*static_cast<const GumboNode*>(children->data[i]), text);
}

void collect_headings(const GumboNode& node, std::vector<reference_heading>& found) {
    if (hides_content(node)) return;
    if (int level = heading_level(node); level != 0) {
        found.push_back({level, {}});
        append_text(node, found.back().text);
    }
    if (const GumboVector* children = children_of(node))
        for (unsigned i = 0; i < children->length; ++i)
            collect_headings(*static_cast<const GumboNode*>(children->data[i]), found);
}

bool is_link(const GumboNode& node) {
    return is_html(node, GUMBO_TAG_A);
}

bool has_prefixed_anchor(const GumboNode& link, std::string_view prefix) {
    for (const char* attribute : {"name", "id"})
        if (const GumboAttribute* found =
                gumbo_get_attribute(&link.v.element.attributes, attribute))
            if (std::string_view(found->value).starts_with(prefix)) return true;
    return false;
}

bool holds_link(const GumboNode& node) {
    const GumboVector* children = children_of(node);
    for (unsigned i = 0; children != nullptr && i < children->length; ++i) {
        const auto& child = *static_cast<const GumboNode*>(children->data[i]);
        if (is_link(child) || holds_link(child)) return true;
    }
    return false;
}

bool was_rebuilt(const GumboNode& link) {
    constexpr unsigned rebuilt =
        GUMBO_INSERTION_IMPLICIT_END_TAG | GUMBO_INSERTION_ADOPTION_AGENCY_CLONED |
        GUMBO_INSERTION_ADOPTION_AGENCY_MOVED | GUMBO_INSERTION_RECONSTRUCTED_FORMATTING_ELEMENT;
    return (link.parse_flags & rebuilt) != 0;
}

size_t count_broken(const GumboNode& node, std::string_view prefix, bool inside_link) {
    size_t broken = 0;
    if (is_link(node) && has_prefixed_anchor(node, prefix) &&
        (inside_link || holds_link(node) || was_rebuilt(node)))
        ++broken;
    if (const GumboVector* children = children_of(node))
        for (unsigned i = 0; i < children->length; ++i)
            broken += count_broken(*static_cast<const GumboNode*>(children->data[i]), prefix,
                                   inside_link || is_link(node));
    return broken;
}

void collect_targets(const GumboNode& node, std::vector<std::string>& found) {
    if (node.type == GUMBO_NODE_ELEMENT || node.type == GUMBO_NODE_TEMPLATE) {
        const GumboVector* attributes = &node.v.element.attributes;
        if (const GumboAttribute* id = gumbo_get_attribute(attributes, "id"))
            found.push_back(std::string("id=") + id->value);
        if (const GumboAttribute* name = gumbo_get_attribute(attributes, "name");
            name && is_link(node))
            found.push_back(std::string("name=") + name->value);
    }
    if (const GumboVector* children = children_of(node))
        for (unsigned i = 0; i < children->length; ++i)
            collect_targets(*static_cast<const GumboNode*>(children->data[i]), found);
}

}  // namespace

std::vector<std::string> html5_link_targets(std::string_view page) {
    parse_output output = parse(page);
    std::vector<std::string> found;
    collect_targets(*output->document, found);
    return found;
}

std::vector<reference_heading> html5_headings(std::string_view page) {
    parse_output output = parse(page);
    std::vector<reference_heading> found;
    collect_headings(*output->document, found);
    return found;
}

size_t broken_links(std::string_view page, std::string_view anchor_prefix) {
    parse_output output = parse(page);
    return count_broken(*output->document, anchor_prefix, false);
}
