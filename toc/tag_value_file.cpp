#include "tag_value_file.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "files.h"
#include "node_tree.h"
#include "output_file.h"
#include "tagged_reader.h"
#include "xml_node.h"

namespace {

// Tagged-value files are read in chunks of this size.
constexpr int32_t chunk_size = 8092;
constexpr std::string_view too_large_message = "File is too large: ";
constexpr std::string_view open_message = "Can't open file ";
constexpr int32_t flush_size = 1 << 20;
constexpr size_t largest_escaped_value = largest_readable_file / 6;

struct key_value {
    byte_string key;
    // the value's text node; none for an empty value
    const xml_node* text;
};

// The pairs of a parsed document in document order, pointing into the tree.
void collect_pairs(const node_tree& tree, std::vector<key_value>& pairs) {
    for (const tree_node* link = tree.first(); link; link = tree_next(link)) {
        const xml_node* node = as_xml(link);
        if (node->kind == construct_kind::start_tag) {
            const xml_node* first = as_xml(node->first_child());
            if (first && first->kind == construct_kind::text)
                pairs.push_back({tagged_name(*node, true), first});
            else if (first && first->kind == construct_kind::placeholder)
                pairs.push_back({tagged_name(*node, true), nullptr});
        } else if (node->kind == construct_kind::empty_tag && node->raw.ends_with("/>")) {
            // "<key></key>" is an empty_tag too, yet yields nothing
            pairs.push_back({tagged_name(*node, true), nullptr});
        }
    }
}

result failure(std::string_view message, std::string_view path) {
    byte_string text(message);
    text.append(path);
    return {status_code::failed, std::move(text)};
}

}  // namespace

result tag_value_file::read(std::string_view path) {
    const file_descriptor file = file_open(path);
    if (file == invalid_handle) return failure(open_message, path);
    const uint64_t size = file_descriptor_size(file);
    if (size != unknown_file_size && size > largest_readable_file) {
        file_close(file);
        return failure(too_large_message, path);
    }
    node_tree tree;
    tagged_reader reader(tree, true);
    byte_string chunk;
    uint64_t total = 0;
    scan_status status = scan_status::needs_input;
    for (;;) {
        const int32_t n = file_read(chunk, chunk_size, file).is_ok() ? chunk.length() : -1;
        total += n > 0 ? static_cast<uint64_t>(n) : 0;
        if (total > largest_readable_file) {
            // a pipe tells no size up front
            file_close(file);
            return failure(too_large_message, path);
        }
        if (n < 0) {
            // a file read in part must not pass for the whole one
            file_close(file);
            return failure(open_message, path);
        }
        if (n == 0) {
            status = reader.feed_end();
            break;
        }
        status = reader.feed(chunk.view());
        if (status != scan_status::needs_input) break;
    }
    file_close(file);
    const result read = reader.read_result(status);
    if (!read.is_ok()) return read;
    std::vector<key_value> pairs;
    collect_pairs(tree, pairs);
    for (const key_value& pair : pairs) {
        values.add_value(pair.key.view(), pair.text ? template_value(tagged_text(*pair.text))
                                                    : template_value(std::string_view()));
    }
    return result::success();
}

result tag_value_file::write(std::string_view path) const {
    constexpr std::string_view write_message = "Can't write to file: ";
    output_file out;
    if (!out.open(path).is_ok()) return failure(write_message, path);
    byte_string lines;
    byte_string text;
    for (const auto& [key, list] : values.entries()) {
        lines.clear();
        for (const template_value& value : *list) {
            const std::string_view plain = value.view();
            // escaping grows a byte to at most 6: refuse what no text could hold
            if (plain.size() + key.length() > largest_escaped_value) {
                out.discard();
                return failure(write_message, path);
            }
            text.assign(plain.data(), static_cast<int32_t>(plain.size()));
            text.html_escape();
            // the reader turns a raw carriage return into a line feed
            text.replace_char('\r', "&#13;");
            lines.append("<");
            lines.append(key);
            lines.append(">");
            lines.append(text);
            lines.append("</");
            lines.append(key);
            lines.append(">\r\n");
            // the same bytes in several writes, so that no buffer outgrows its 32-bit length
            if (lines.length() >= flush_size) {
                out.write(lines.view());
                lines.clear();
            }
        }
        out.write(lines.view());
    }
    if (!out.commit().is_ok()) return failure(write_message, path);
    return result::success();
}
