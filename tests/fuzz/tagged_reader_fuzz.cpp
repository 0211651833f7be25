// Strict reader: the first input byte picks the name case and the chunk size, the rest is the
// document. A read must end the same whatever the chunks, leave no start tag open when it
// finishes, and report any failure as a well-formed "Line: ..., column: ..." text.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tagged_reader.h"

namespace {

struct outcome {
    scan_status result = scan_status::needs_input;
    std::string tree;
    int64_t line = 0;
    int64_t column = 0;
};

void dump_tree(const node_tree& tree, bool lower_case, std::string& out) {
    for (const tree_node* link = tree.first(); link; link = tree_next(link)) {
        const xml_node* node = as_xml(link);
        out += std::to_string(static_cast<int>(node->kind));
        out += node->closed ? '+' : '-';
        out += std::to_string(tree_child_count(*link));
        out += tagged_name(*node, lower_case).view();
        out += '\x01';
        out += node->raw.view();
        out += '\x01';
        out += tagged_text(*node).view();
        out += '\x02';
    }
}

outcome read(std::string_view document, size_t chunk_size, bool lower_case) {
    node_tree tree;
    tagged_reader reader(tree, lower_case);
    outcome out;
    out.result = reader.feed_all(document, chunk_size);
    dump_tree(tree, lower_case, out.tree);
    out.line = reader.line();
    out.column = reader.column();
    if (out.result == scan_status::finished) {
        for (const tree_node* link = tree.first(); link; link = tree_next(link)) {
            const xml_node* node = as_xml(link);
            if (node->kind == construct_kind::start_tag && !node->closed) std::abort();
        }
        return out;
    }
    const result read = reader.read_result(out.result);
    const std::string expected_head = "Line: " + std::to_string(out.line) +
                                      ", column: " + std::to_string(out.column) + "\r\nError: ";
    const std::string_view text = read.message().view();
    if (!text.starts_with(expected_head)) std::abort();
    const std::string_view reason = text.substr(expected_head.size());
    if (reason != "size exceeded.\r\n" && reason != "misplaced end tag.\r\n" &&
        reason != "unclosed tag.\r\n") {
        std::abort();
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool lower_case = data[0] & 1;
    const size_t chunk_size = (data[0] >> 1) + 1;
    const std::string_view document(reinterpret_cast<const char*>(data + 1), size - 1);
    const outcome chunked = read(document, chunk_size, lower_case);
    const outcome whole = read(document, document.size() + 1, lower_case);
    if (chunked.result != whole.result || chunked.tree != whole.tree ||
        chunked.line != whole.line || chunked.column != whole.column) {
        std::abort();
    }
    return 0;
}
