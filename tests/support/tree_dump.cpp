#include "tests/support/tree_dump.h"

#include "foundation/xml_node.h"
#include "tests/support/markup_dump.h"

namespace {

void dump_chain(const tree_node* node, std::string& out) {
    for (; node; node = node->next()) {
        const xml_node& x = *as_xml(node);
        if (x.kind == NodeKind::placeholder) continue;
        if (!out.empty() && out.back() != '(') out += ' ';
        const std::string name(x.name.view());
        switch (x.kind) {
            case NodeKind::start_tag:
                out += name;
                if (!x.closed) out += '?';
                break;
            case NodeKind::empty_tag:
                out += "<" + name + "/>";
                break;
            case NodeKind::end_tag:
                out += x.raw.is_empty() ? "/" + name : "</" + name + ">";
                if (!x.closed) out += '?';
                break;
            case NodeKind::text:
                out += "T" + quote_bytes(x.raw.view());
                break;
            default:
                out += "K" + std::to_string(static_cast<int>(x.kind)) + quote_bytes(x.raw.view());
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

std::string tree_dump(const qve_tree& tree) {
    std::string out;
    dump_chain(tree.first(), out);
    return out;
}

std::string tree_raw(const qve_tree& tree) {
    std::string out;
    for (const tree_node* node = tree.first(); node; node = tree_next(node))
        out += as_xml(node)->raw.view();
    return out;
}
