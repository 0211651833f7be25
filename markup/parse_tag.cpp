#include "parse_tag.h"

#include <array>

namespace {

// Byte classes of a tag's text.
enum tag_class : unsigned char {
    tag_other,
    tag_blank,        // tab, LF, CR, space
    tag_quote,        // " '
    tag_name_inside,  // - . 0-9: continue a name, never start one
    tag_name_start,   // : _ A-Z a-z
    tag_equals,       // =
};

constexpr auto tag_classes = [] {
    std::array<tag_class, 256> table{};
    for (unsigned char c : {'\t', '\n', '\r', ' '})
        table[c] = tag_blank;
    table['"'] = tag_quote;
    table['\''] = tag_quote;
    table['-'] = tag_name_inside;
    table['.'] = tag_name_inside;
    for (int c = '0'; c <= '9'; ++c)
        table[c] = tag_name_inside;
    table[':'] = tag_name_start;
    table['_'] = tag_name_start;
    for (int c = 'a'; c <= 'z'; ++c) {
        table[c] = tag_name_start;
        table[c - 'a' + 'A'] = tag_name_start;
    }
    table['='] = tag_equals;
    return table;
}();

tag_class class_of(char byte) {
    return tag_classes[static_cast<unsigned char>(byte)];
}

// Working texts kept from tag to tag, so that reading a tag allocates only what it stores.
struct tag_scratch {
    byte_string name;
    byte_string attribute;
    byte_string value;
};

tag_scratch& scratch() {
    thread_local tag_scratch texts;
    return texts;
}

}  // namespace

void parse_tag(std::string_view text, byte_string& name, sorted_map* attributes, bool lower_case,
               bool name_only) {
    tag_scratch& texts = scratch();
    byte_string& element_name = texts.name;
    byte_string& attribute = texts.attribute;
    byte_string& value = texts.value;
    element_name.clear();
    attribute.clear();
    value.clear();
    bool in_ident = false;
    bool after_name = false;
    bool name_waiting = false;  // an attribute name ended by white space, its '=' not yet seen
    bool expect_value = false;

    const auto store = [&] {
        if (attributes) {
            attributes->insert(attribute.view(), template_value(value));
        }
        attribute.clear();
        value.clear();
    };
    const auto identifier = [&]() -> byte_string& { return after_name ? attribute : element_name; };
    // names hold only ASCII name bytes, so lower-casing them one by one is the whole job
    const auto name_byte = [lower_case](char byte) {
        return lower_case && byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte - 'A' + 'a')
                                                        : byte;
    };

    const size_t size = text.size();
    for (size_t i = 0; i < size; ++i) {
        const char byte = text[i];
        switch (class_of(byte)) {
            case tag_blank:
                if (in_ident) {
                    in_ident = false;
                    if (after_name) {
                        name_waiting = true;
                    } else if (name_only) {
                        i = size;
                    } else {
                        after_name = true;
                    }
                } else if (expect_value) {
                    store();
                    expect_value = false;
                }
                break;
            case tag_quote: {
                size_t close = text.find(byte, i + 1);
                if (close == std::string_view::npos) close = size;
                if (expect_value) {
                    value.clear();
                    value.append(text.data() + i + 1, static_cast<int32_t>(close - i - 1));
                    store();
                    expect_value = false;
                }
                i = close;
                break;
            }
            case tag_name_inside:
                if (in_ident) {
                    identifier().push(name_byte(byte));
                } else if (expect_value) {
                    value.push(byte);
                }
                break;
            case tag_name_start:
                if (in_ident) {
                    identifier().push(name_byte(byte));
                } else if (expect_value) {
                    value.push(byte);
                } else {
                    in_ident = true;
                    if (name_waiting) {
                        // "<td nowrap class=x>": nowrap has no value
                        store();
                        name_waiting = false;
                    }
                    identifier().push(name_byte(byte));
                }
                break;
            case tag_equals:
                if (after_name) {
                    in_ident = false;
                    name_waiting = false;
                    while (i + 1 < size && class_of(text[i + 1]) == tag_blank)
                        ++i;
                    expect_value = true;
                }
                break;
            case tag_other:
                if (expect_value) value.push(byte);
                break;
        }
    }
    if (after_name && (in_ident || name_waiting || expect_value)) store();
    name.assign(element_name);
}
