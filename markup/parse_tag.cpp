#include "markup/parse_tag.h"

#include <array>
#include <string>

namespace {

enum tag_byte : uint8_t {
    tag_other = 0,
    tag_white,        // tab, line feed, carriage return, space
    tag_quote,        // " '
    tag_ident_more,   // - . 0-9: continue a name or value, start nothing
    tag_ident_start,  // : _ A-Z a-z
    tag_equals,       // =
};

constexpr auto tag_bytes = [] {
    std::array<tag_byte, 256> table{};
    for (unsigned char c : {'\t', '\n', '\r', ' '})
        table[c] = tag_white;
    table['"'] = table['\''] = tag_quote;
    table['-'] = table['.'] = tag_ident_more;
    for (int c = '0'; c <= '9'; ++c)
        table[c] = tag_ident_more;
    table[':'] = table['_'] = tag_ident_start;
    for (int c = 'a'; c <= 'z'; ++c)
        table[c] = table[c - 'a' + 'A'] = tag_ident_start;
    table['='] = tag_equals;
    return table;
}();

void lower_ascii(std::string& text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
}

}  // namespace

void parse_tag(std::string_view text, qvchar& name, qvhash* attributes, bool lower_case,
               bool name_only) {
    std::string element;
    std::string attribute;
    std::string value;
    bool in_ident = false;
    bool after_name = false;    // the element name is complete
    bool name_waiting = false;  // an attribute name ended by white space, value not yet known
    bool expect_value = false;  // after '='
    const auto store = [&] {
        if (attributes) {
            if (lower_case) lower_ascii(attribute);
            attributes->insert(attribute, qvval(std::string_view(value)));
        }
        attribute.clear();
        value.clear();
    };

    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const char c = text[i];
        switch (tag_bytes[static_cast<unsigned char>(c)]) {
            case tag_white:
                ++i;
                if (in_ident) {
                    in_ident = false;
                    if (after_name) {
                        name_waiting = true;
                    } else if (name_only) {
                        i = n;
                    } else {
                        after_name = true;
                    }
                } else if (expect_value) {
                    store();
                    expect_value = false;
                }
                break;
            case tag_quote: {
                size_t close = text.find(c, i + 1);
                if (close == std::string_view::npos) close = n;
                if (expect_value) {
                    value.assign(text.substr(i + 1, close - i - 1));
                    store();
                    expect_value = false;
                }
                i = close + 1;
                break;
            }
            case tag_ident_more:
            case tag_ident_start:
                ++i;
                if (in_ident) {
                    (after_name ? attribute : element).push_back(c);
                } else if (expect_value) {
                    value.push_back(c);
                } else if (tag_bytes[static_cast<unsigned char>(c)] == tag_ident_start) {
                    in_ident = true;
                    if (name_waiting) {
                        store();
                        name_waiting = false;
                    }
                    (after_name ? attribute : element).push_back(c);
                }
                break;
            case tag_equals:
                ++i;
                if (after_name) {
                    in_ident = false;
                    name_waiting = false;
                    while (i < n && tag_bytes[static_cast<unsigned char>(text[i])] == tag_white)
                        ++i;
                    expect_value = true;
                }
                break;
            case tag_other:
                ++i;
                if (expect_value) value.push_back(c);
                break;
        }
    }
    if (after_name && (in_ident || name_waiting || expect_value)) store();
    if (lower_case) lower_ascii(element);
    name.assign(element.data(), static_cast<int32_t>(element.size()));
}
