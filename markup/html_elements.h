#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// The HTML elements the reader knows, by index. The names are lower case and sorted byte-wise;
// an element's index is its position here.
inline constexpr std::array<std::string_view, 89> element_names = {
    "a",        "acronym",  "address",    "applet",   "area",     "b",      "base",    "basefont",
    "bdo",      "big",      "blockquote", "body",     "br",       "button", "caption", "center",
    "cite",     "code",     "col",        "colgroup", "dd",       "del",    "dfn",     "dir",
    "div",      "dl",       "dt",         "em",       "fieldset", "font",   "form",    "frame",
    "frameset", "h1",       "h2",         "h3",       "h4",       "h5",     "h6",      "head",
    "hr",       "html",     "i",          "iframe",   "img",      "input",  "ins",     "isindex",
    "kbd",      "label",    "legend",     "li",       "link",     "map",    "menu",    "meta",
    "noframes", "noscript", "object",     "ol",       "option",   "p",      "param",   "pre",
    "q",        "s",        "samp",       "script",   "select",   "small",  "span",    "strike",
    "strong",   "style",    "sub",        "sup",      "table",    "tbody",  "td",      "textarea",
    "tfoot",    "th",       "thead",      "title",    "tr",       "tt",     "u",       "ul",
    "var",
};
inline constexpr int32_t element_count = static_cast<int32_t>(element_names.size());
// a document node keeps the index in 16 bits
static_assert(element_count <= INT16_MAX);

namespace element_lookup {

// Names longer than every element name are never hashed.
inline constexpr size_t longest_name = 10;
inline constexpr size_t slot_count = 256;

// The hash of a name, taken byte by byte from hash_start with hash_step, and hash_end last.
inline constexpr uint32_t hash_start = 2166136261u;
constexpr uint32_t hash_step(uint32_t h, char c) {
    return (h ^ static_cast<unsigned char>(c)) * 16777619u;
}
constexpr uint32_t hash_end(uint32_t h) {
    return h ^ (h >> 15);
}
constexpr uint32_t hash(std::string_view name) {
    uint32_t h = hash_start;
    for (char c : name)
        h = hash_step(h, c);
    return hash_end(h);
}

// Open addressing, linear probing: each slot holds an index into element_names, or -1.
inline constexpr std::array<int8_t, slot_count> slots = [] {
    std::array<int8_t, slot_count> table{};
    table.fill(-1);
    for (size_t i = 0; i < element_names.size(); ++i) {
        size_t slot = hash(element_names[i]) % slot_count;
        while (table[slot] >= 0)
            slot = (slot + 1) % slot_count;
        table[slot] = static_cast<int8_t>(i);
    }
    return table;
}();

}  // namespace element_lookup

// Index of an element name, compared byte-exactly (so callers lower-case first); -1 for any
// other name. One hash and mostly one comparison: it runs for every tag of a document.
constexpr int32_t element_index(std::string_view name) {
    if (name.empty() || name.size() > element_lookup::longest_name) return -1;
    for (size_t slot = element_lookup::hash(name) % element_lookup::slot_count;;
         slot = (slot + 1) % element_lookup::slot_count) {
        const int8_t element = element_lookup::slots[slot];
        if (element < 0) return -1;
        if (element_names[static_cast<size_t>(element)] == name) return element;
    }
}

// The name of an element index; empty outside the table.
constexpr std::string_view element_name(int32_t element) {
    return element >= 0 && element < element_count ? element_names[static_cast<size_t>(element)]
                                                   : std::string_view();
}

// Every byte as read in a tag name: ASCII letters lowered, the rest as they are.
inline constexpr std::array<char, 256> lowered_bytes = [] {
    std::array<char, 256> table{};
    for (size_t c = 0; c < table.size(); ++c)
        table[c] = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return table;
}();

constexpr char lower_ascii(char c) {
    return lowered_bytes[static_cast<unsigned char>(c)];
}

// Whether a tag name as written is `lower`, a lower-case name: a browser reads ASCII letters
// of either case alike.
constexpr bool is_name(std::string_view written, std::string_view lower) {
    if (written.size() != lower.size()) return false;
    for (size_t i = 0; i < written.size(); ++i)
        if (lower_ascii(written[i]) != lower[i]) return false;
    return true;
}

// element_index of a tag name as written, its ASCII letters read as lower case, given the hash
// of the lowered name (element_lookup::hash), which a reader takes as it reads the name.
constexpr int32_t written_element_of_hash(std::string_view written, uint32_t hashed) {
    if (written.empty() || written.size() > element_lookup::longest_name) return -1;
    for (size_t slot = hashed % element_lookup::slot_count;;
         slot = (slot + 1) % element_lookup::slot_count) {
        const int8_t element = element_lookup::slots[slot];
        if (element < 0) return -1;
        if (is_name(written, element_names[static_cast<size_t>(element)])) return element;
    }
}

// The digit of a tag name written "h" and a digit, either case of h; -1 for any other name.
constexpr int32_t written_heading_digit(std::string_view written) {
    if (written.size() != 2 || lower_ascii(written[0]) != 'h') return -1;
    return written[1] >= '0' && written[1] <= '9' ? written[1] - '0' : -1;
}

// Hash and equality of tag names as written, ASCII letters of either case alike.
struct written_name_hash {
    size_t operator()(std::string_view name) const {
        size_t h = 14695981039346656037u;
        for (char c : name)
            h = (h ^ static_cast<unsigned char>(lower_ascii(c))) * 1099511628211u;
        return h;
    }
};
struct written_name_equal {
    bool operator()(std::string_view a, std::string_view b) const {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (lower_ascii(a[i]) != lower_ascii(b[i])) return false;
        return true;
    }
};

// h1 to h6 follow each other in the table.
inline constexpr int32_t element_h1 = element_index("h1");
static_assert(element_index("h6") == element_h1 + 5);
constexpr bool is_heading(int32_t element) {
    return element >= element_h1 && element <= element_h1 + 5;
}

// Set of element indices: bit i of the 96 is element i.
struct element_set {
    std::array<uint32_t, 3> words{};

    // False for -1 and every index outside the table.
    constexpr bool contains(int32_t element) const {
        return element >= 0 && element < element_count &&
               (words[static_cast<size_t>(element) / 32] >> (element % 32)) & 1u;
    }
    constexpr void add(int32_t element) {
        words[static_cast<size_t>(element) / 32] |= 1u << (element % 32);
    }
    constexpr bool is_empty() const { return (words[0] | words[1] | words[2]) == 0; }
    constexpr element_set operator|(const element_set& other) const {
        return {{words[0] | other.words[0], words[1] | other.words[1], words[2] | other.words[2]}};
    }
};

// Elements that never take an end tag: a start tag of one is an empty tag.
const element_set& empty_elements();
// Headings, lists and the other block elements; a start tag of one closes an open `p`.
const element_set& block_elements();
// Start tags that close an open element implicitly; empty for elements without a row and -1.
const element_set& closed_by(int32_t open_element);
// The open elements a start tag of new_element may close: those whose closed_by holds it.
const element_set& closers_of(int32_t new_element);
// Open elements at which the search for an element to close stops; an empty set (elements
// without a row, and -1) means the start tag closes nothing.
const element_set& scope_of(int32_t new_element);
