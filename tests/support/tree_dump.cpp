#include "tree_dump.h"

#include "html_elements.h"
#include "markup_dump.h"
#include "xml_node.h"

std::string html_name(const xml_node& node) {
    if (node.element >= 0) return std::string(element_name(node.element));
    std::string name(node.written_name());
    for (char& c : name)
        c = lower_ascii(c);
    return name;
}

namespace {

void dump_chain(const tree_node* node, std::string& out) {
    for (; node; node = node->next()) {
        const xml_node& x = *as_xml(node);
        if (x.kind == construct_kind::placeholder) continue;
        if (!out.empty() && out.back() != '(') out += ' ';
        const std::string name = html_name(x);
        switch (x.kind) {
            case construct_kind::start_tag:
                out += name;
                if (!x.closed) out += '?';
                break;
            case construct_kind::empty_tag:
                out += "<" + name + "/>";
                break;
            case construct_kind::end_tag:
                out += x.raw.is_empty() ? "/" + name : "</" + name + ">";
                if (!x.closed) out += '?';
                break;
            case construct_kind::text:
                out += 'T';
                out += quote_bytes(x.raw.view());
                break;
            default:
                out += 'K';
                out += std::to_string(static_cast<int>(x.kind));
                out += quote_bytes(x.raw.view());
                break;
        }
        if (node->first_child()) {
            out += '(';
            dump_chain(node->first_child(), out);
            out += ')';
        }
    }
}

}  // namespace

std::string tree_dump(const node_tree& tree) {
    std::string out;
    dump_chain(tree.first(), out);
    return out;
}

std::string tree_raw(const node_tree& tree) {
    std::string out;
    for (const tree_node* node = tree.first(); node; node = tree_next(node))
        out += as_xml(node)->raw.view();
    return out;
}

node_role fold_test_role(const xml_node& node, const void* /*unused*/) {
    const bool element =
        node.kind == construct_kind::start_tag || node.kind == construct_kind::empty_tag;
    const std::string name = element ? html_name(node) : std::string();
    if (name == "h1" || name == "title") return node_role::landmark_with_content;
    if (name == "body" || name == "x:y" || node.kind == construct_kind::comment)
        return node_role::landmark;
    return node_role::ordinary;
}

std::string fold_landmarks(const node_tree& tree) {
    std::string out;
    size_t offset = 0;
    for (const tree_node* n = tree.first(); n; n = tree_next(n)) {
        const xml_node& node = *as_xml(n);
        const node_role role = fold_test_role(node);
        if (role != node_role::ordinary) {
            out += std::to_string(offset);
            for (const tree_node* up = n->parent(); up; up = up->parent())
                out.append(" ^").append(as_xml(up)->raw.view());
            out.append(" ").append(node.raw.view());
            if (role == node_role::landmark_with_content) {
                const tree_node* end = tree_next_skip(n);
                for (const tree_node* in = n->first_child(); in && in != end; in = tree_next(in)) {
                    std::string_view raw = as_xml(in)->raw.view();
                    if (in == n->last_child() && as_xml(in)->kind == construct_kind::end_tag)
                        raw = raw.substr(0, raw.find('>') + 1);
                    out += " |" + std::to_string(static_cast<int>(as_xml(in)->kind)) +
                           std::string(raw);
                }
            }
            out += "\n";
        }
        offset += node.raw.view().size();
    }
    return out;
}
