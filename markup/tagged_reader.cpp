#include "tagged_reader.h"

#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "parse_tag.h"
#include "sorted_map.h"
#include "text_patterns.h"

namespace {

constexpr std::string_view cdata_open = "<![CDATA[";
constexpr std::string_view cdata_close = "]]>";

// The scanner's entities as the named-reference decoder wants them.
const sorted_map& entity_table() {
    static const sorted_map table = [] {
        sorted_map entities;
        for (const named_entity& entity : named_entities())
            entities.insert(entity.name, template_value(entity.value));
        return entities;
    }();
    return table;
}

// Numeric references first, so "&#38;lt;" ends as "<"; entity names are case-sensitive.
void decode(template_value& value) {
    decode_numeric_entities(value);
    decode_named_entities(value, false, entity_table());
}

void decode_into(std::string_view raw, byte_string& out) {
    if (raw.find('&') == std::string_view::npos) {
        out.assign(raw.data(), static_cast<int32_t>(raw.size()));
        return;
    }
    template_value value(raw);
    decode(value);
    const std::string_view decoded = value.view();
    out.assign(decoded.data(), static_cast<int32_t>(decoded.size()));
}

// The text between a tag's '<' and its final '>'.
std::string_view inside_of(const xml_node& node) {
    const std::string_view raw = node.raw.view();
    return raw.size() >= 2 ? raw.substr(1, raw.size() - 2) : std::string_view();
}

name_case case_of(bool lower_case) {
    return lower_case ? name_case::lowered : name_case::as_written;
}

bool is_open_start_tag(const xml_node* node) {
    return node->kind == construct_kind::start_tag && !node->closed;
}

}  // namespace

tagged_reader::tagged_reader(node_tree& tree, bool lower_case)
    : tree_(tree), names_(lower_case ? name_case::lowered : name_case::as_written) {
    configure_for_tagged_values(*this);
}

void tagged_reader::push_chunk(std::string_view text) {
    if (text.empty()) return;
    // an LF opening this chunk closes the CR that ended the previous one
    if (ended_with_cr_ && text.front() == '\n') text.remove_prefix(1);
    ended_with_cr_ = text.ends_with('\r');
    if (text.empty()) return;
    if (!std::memchr(text.data(), '\r', text.size())) {
        chunk_queue::push_chunk(text);
        return;
    }
    byte_string chunk;
    chunk.reset(static_cast<int32_t>(text.size()));
    int32_t length = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char byte = text[i];
        if (byte == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            byte = '\n';
        }
        chunk[length++] = byte;
    }
    chunk.set_length(length);
    queue_chunk(std::move(chunk));
}

bool tagged_reader::on_construct() {
    auto node = std::make_unique<xml_node>();
    construct_kind kind = this->kind();
    const std::string_view construct = token_view();
    if (kind == construct_kind::start_tag && construct.size() >= 3 &&
        construct[construct.size() - 2] == '/')
        kind = construct_kind::empty_tag;
    // tagged_text gives a section's content
    if (kind == construct_kind::cdata) kind = construct_kind::text;
    node->kind = kind;
    node->closed = kind != construct_kind::start_tag && kind != construct_kind::end_tag;
    node->raw.move_from(token());
    if (kind == construct_kind::end_tag && last_) return end_tag(node.release());
    xml_node* inserted = node.release();
    insert(inserted);
    insert_mode_ = kind == construct_kind::start_tag ? 1 : 3;
    last_ = inserted;
    return true;
}

// An end tag closes last_ itself or an open ancestor of it; it is kept when it closes an
// ancestor, as the last child there.
bool tagged_reader::end_tag(xml_node* node) {
    std::unique_ptr<xml_node> owned(node);
    const bool lower_case = names_ == name_case::lowered;
    const byte_string name = tagged_name(*node, lower_case);
    if (is_open_start_tag(last_) && tagged_name(*last_, lower_case) == name) {
        // "<key></key>": nothing between the tags
        last_->closed = true;
        last_->kind = construct_kind::empty_tag;
        insert_mode_ = 3;
        return true;
    }
    auto* parent = as_xml(last_->parent());
    if (parent && !parent->closed && tagged_name(*parent, lower_case) == name) {
        parent->closed = true;
        node->closed = true;
        insert(owned.release());
        insert_mode_ = 2;
        last_ = node;
        return true;
    }
    if (parent && parent->closed) {
        // "<w><k>v</k></w>": after </k> the last node sits inside the closed k
        auto* open = as_xml(parent->parent());
        while (open && open->closed)
            open = as_xml(open->parent());
        if (open && tagged_name(*open, lower_case) == name) {
            open->closed = true;
            node->closed = true;
            tree_append_child(tree_, owned.release(), open);
            insert_mode_ = 2;
            last_ = node;
            return true;
        }
    }
    error_ = structure_error::misplaced_end_tag;
    return false;
}

void tagged_reader::insert(xml_node* node) {
    if (!last_) {
        tree_insert(tree_, node, nullptr, nullptr);
        return;
    }
    switch (insert_mode_) {
        case 1:
            tree_append_child(tree_, node, last_);
            break;
        case 2:
            if (last_->parent()) {
                tree_append_sibling(tree_, node, last_->parent());
            } else {
                tree_insert(tree_, node, nullptr, nullptr);
            }
            break;
        default:
            tree_append_sibling(tree_, node, last_);
            break;
    }
}

bool tagged_reader::on_text() {
    if (token().is_empty()) return true;
    auto node = std::make_unique<xml_node>();
    node->kind = construct_kind::text;
    node->closed = true;
    node->raw.move_from(token());
    xml_node* inserted = node.release();
    insert(inserted);
    insert_mode_ = 3;
    last_ = inserted;
    return true;
}

scan_status tagged_reader::on_end() {
    const scan_status status = markup_scanner::on_end();
    if (status != scan_status::finished) return status;
    for (const tree_node* node = tree_.first(); node; node = tree_next(node)) {
        if (is_open_start_tag(as_xml(node))) {
            error_ = structure_error::unclosed_tag;
            return scan_status::stopped;
        }
    }
    return status;
}

result tagged_reader::read_result(scan_status last) const {
    if (last == scan_status::finished) return result::success();
    byte_string out("Line: ");
    out.append(std::to_string(line()));
    out.append(", column: ");
    out.append(std::to_string(column()));
    out.append("\r\nError: ");
    if (last == scan_status::size_exceeded) {
        out.append("size exceeded.\r\n");
    } else if (last == scan_status::stopped && error_ == structure_error::misplaced_end_tag) {
        out.append("misplaced end tag.\r\n");
    } else if (last == scan_status::stopped && error_ == structure_error::unclosed_tag) {
        out.append("unclosed tag.\r\n");
    }
    return {status_code::failed, std::move(out)};
}

byte_string tagged_text(const xml_node& node) {
    const std::string_view raw = node.raw.view();
    byte_string text;
    // a whole section: a text starting so is one left unfinished at the end
    if (raw.starts_with(cdata_open) && raw.ends_with(cdata_close)) {
        text.assign(raw.data() + cdata_open.size(),
                    static_cast<int32_t>(raw.size() - cdata_open.size() - cdata_close.size()));
        return text;
    }
    decode_into(raw, text);
    return text;
}

byte_string tagged_name(const xml_node& node, bool lower_case) {
    byte_string name;
    if (node.kind == construct_kind::start_tag || node.kind == construct_kind::empty_tag ||
        node.kind == construct_kind::end_tag)
        parse_tag_name(inside_of(node), case_of(lower_case), name);
    return name;
}

sorted_map tagged_attributes(const xml_node& node, bool lower_case) {
    sorted_map attributes;
    if (node.kind != construct_kind::start_tag && node.kind != construct_kind::empty_tag)
        return attributes;
    byte_string name;
    parse_tag(inside_of(node), case_of(lower_case), name, attributes);
    for (const auto& entry : attributes.entries()) {
        if (entry.second.view().find('&') == std::string_view::npos) continue;
        decode(*attributes.find_ref(entry.first.view()));
    }
    return attributes;
}
