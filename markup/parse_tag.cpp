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

// names hold only ASCII name bytes, so lower-casing them one by one is the whole job
char name_byte(char byte, name_case names) {
    return names == name_case::lowered && byte >= 'A' && byte <= 'Z'
               ? static_cast<char>(byte - 'A' + 'a')
               : byte;
}

// Where the quote opened at `at` closes, or the end of the text.
size_t closing_quote(std::string_view text, size_t at) {
    const size_t close = text.find(text[at], at + 1);
    return close == std::string_view::npos ? text.size() : close;
}

// Reads the element name into `name`; returns where the white space after it stands, or the
// end of the text. A quote inside the name is skipped whole, '=' and other bytes are dropped.
size_t read_name(std::string_view text, name_case names, byte_string& name) {
    bool in_name = false;
    for (size_t i = 0; i < text.size(); ++i) {
        switch (class_of(text[i])) {
            case tag_blank:
                if (in_name) return i;
                break;
            case tag_quote:
                i = closing_quote(text, i);
                break;
            case tag_name_start:
                in_name = true;
                name.push(name_byte(text[i], names));
                break;
            case tag_name_inside:
                if (in_name) name.push(name_byte(text[i], names));
                break;
            default:
                break;
        }
    }
    return text.size();
}

// The attributes after the element name, one byte class at a time. Working texts are kept from
// tag to tag, so that reading a tag allocates only what it stores.
class attribute_reader {
  public:
    void start(std::string_view text, name_case names, sorted_map& attributes) {
        text_ = text;
        names_ = names;
        attributes_ = &attributes;
        attribute_.clear();
        value_.clear();
        in_name_ = false;
        name_waiting_ = false;
        expect_value_ = false;
    }

    void read_from(size_t at) {
        for (size_t i = at; i < text_.size(); ++i) {
            const char byte = text_[i];
            switch (class_of(byte)) {
                case tag_blank:
                    end_word();
                    break;
                case tag_quote:
                    i = read_quoted(i);
                    break;
                case tag_name_start:
                    if (!in_name_ && !expect_value_) start_name();
                    add_name_byte(byte);
                    break;
                case tag_name_inside:
                    add_name_byte(byte);
                    break;
                case tag_equals:
                    i = start_value(i);
                    break;
                case tag_other:
                    if (expect_value_) value_.push(byte);
                    break;
            }
        }
        if (in_name_ || name_waiting_ || expect_value_) store();
    }

  private:
    void store() {
        attributes_->insert(attribute_.view(), template_value(value_));
        attribute_.clear();
        value_.clear();
    }

    // White space ends an attribute name, which may still get its '=', or an unquoted value.
    void end_word() {
        if (in_name_) {
            in_name_ = false;
            name_waiting_ = true;
        } else if (expect_value_) {
            store();
            expect_value_ = false;
        }
    }

    void start_name() {
        in_name_ = true;
        // "<td nowrap class=x>": nowrap has no value
        if (name_waiting_) store();
        name_waiting_ = false;
    }

    void add_name_byte(char byte) {
        if (in_name_) {
            attribute_.push(name_byte(byte, names_));
        } else if (expect_value_) {
            value_.push(byte);
        }
    }

    // A quoted value, or quoted bytes outside one that are skipped; returns the closing quote.
    size_t read_quoted(size_t at) {
        const size_t close = closing_quote(text_, at);
        if (expect_value_) {
            value_.clear();
            value_.append(text_.data() + at + 1, static_cast<int32_t>(close - at - 1));
            store();
            expect_value_ = false;
        }
        return close;
    }

    // White space after '=' belongs to no value; returns the last byte of it.
    size_t start_value(size_t at) {
        in_name_ = false;
        name_waiting_ = false;
        while (at + 1 < text_.size() && class_of(text_[at + 1]) == tag_blank)
            ++at;
        expect_value_ = true;
        return at;
    }

    std::string_view text_;
    name_case names_ = name_case::as_written;
    sorted_map* attributes_ = nullptr;
    byte_string attribute_;
    byte_string value_;
    bool in_name_ = false;
    bool name_waiting_ = false;  // an attribute name ended by white space, its '=' not yet seen
    bool expect_value_ = false;
};

// The element name, kept from tag to tag like the attribute reader's texts.
byte_string& scratch_name() {
    thread_local byte_string name;
    name.clear();
    return name;
}

}  // namespace

void parse_tag(std::string_view text, name_case names, byte_string& name, sorted_map& attributes) {
    thread_local attribute_reader reader;
    byte_string& element_name = scratch_name();
    const size_t end = read_name(text, names, element_name);
    if (end < text.size()) {
        reader.start(text, names, attributes);
        reader.read_from(end + 1);
    }
    name.assign(element_name);
}

void parse_tag_name(std::string_view text, name_case names, byte_string& name) {
    byte_string& element_name = scratch_name();
    read_name(text, names, element_name);
    name.assign(element_name);
}
