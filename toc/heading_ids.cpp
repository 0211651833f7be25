#include "heading_ids.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <functional>

#include "heading_scan.h"
#include "html_elements.h"
#include "markup_scanner.h"
#include "out_of_memory.h"

namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

char lower_ascii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool names_match(std::string_view written, std::string_view lower) {
    if (written.size() != lower.size()) return false;
    for (size_t i = 0; i < written.size(); ++i)
        if (lower_ascii(written[i]) != lower[i]) return false;
    return true;
}

bool is_start_tag(const xml_node& node) {
    return (node.kind == construct_kind::start_tag || node.kind == construct_kind::empty_tag) &&
           node.raw.starts_with("<");
}

// Reads the attributes of a tag one by one, as a browser splits them.
class attribute_reader {
  public:
    explicit attribute_reader(std::string_view tag) : tag_(tag), i_(1) {
        while (i_ < tag_.size() && !is_space(tag_[i_]) && tag_[i_] != '/' && tag_[i_] != '>')
            ++i_;
    }

    // Where the reader stands: past the tag's name before the first call of next.
    size_t at() const { return i_; }

    // The next attribute and its name; false at the tag's end.
    bool next(tag_attribute& found, std::string_view& name) {
        while (i_ < tag_.size() && (is_space(tag_[i_]) || tag_[i_] == '/'))
            ++i_;
        if (i_ >= tag_.size() || tag_[i_] == '>') return false;
        found = {i_, 0, {}};
        // a name may start with '='
        ++i_;
        while (i_ < tag_.size() && !is_space(tag_[i_]) && tag_[i_] != '/' && tag_[i_] != '>' &&
               tag_[i_] != '=')
            ++i_;
        name = tag_.substr(found.at, i_ - found.at);
        found.length = i_ - found.at;
        size_t j = i_;
        while (j < tag_.size() && is_space(tag_[j]))
            ++j;
        if (j < tag_.size() && tag_[j] == '=') read_value(j + 1, found);
        return true;
    }

  private:
    void read_value(size_t j, tag_attribute& found) {
        while (j < tag_.size() && is_space(tag_[j]))
            ++j;
        const char quote = j < tag_.size() ? tag_[j] : '\0';
        size_t from = j;
        if (quote == '"' || quote == '\'') {
            from = ++j;
            while (j < tag_.size() && tag_[j] != quote)
                ++j;
            found.value = tag_.substr(from, j - from);
            if (j < tag_.size()) ++j;
        } else {
            while (j < tag_.size() && !is_space(tag_[j]) && tag_[j] != '>')
                ++j;
            found.value = tag_.substr(from, j - from);
        }
        i_ = j;
        found.length = j - found.at;
    }

    std::string_view tag_;
    size_t i_;
};

void append_utf8(byte_string& out, int32_t c) {
    const auto byte = [](int32_t b) { return static_cast<char>(b); };
    if (c < 0x80) {
        out.push(byte(c));
    } else if (c < 0x800) {
        out.push(byte(0xC0 | (c >> 6)));
        out.push(byte(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push(byte(0xE0 | (c >> 12)));
        out.push(byte(0x80 | ((c >> 6) & 0x3F)));
        out.push(byte(0x80 | (c & 0x3F)));
    } else {
        out.push(byte(0xF0 | (c >> 18)));
        out.push(byte(0x80 | ((c >> 12) & 0x3F)));
        out.push(byte(0x80 | ((c >> 6) & 0x3F)));
        out.push(byte(0x80 | (c & 0x3F)));
    }
}

// The character of valid UTF-8 at the text's start and its byte count; -1 and one byte for
// anything else, so a page in a legacy 8-bit encoding gives separators, not stray bytes.
int32_t read_utf8(std::string_view text, size_t& length) {
    const auto b = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    length = 1;
    const unsigned char lead = b(0);
    if (lead < 0x80) return lead;
    size_t more = lead >= 0xF0 && lead <= 0xF4 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : 0;
    if (more == 0 || lead > 0xF4 || text.size() <= more) return -1;
    int32_t c = lead & (0x3F >> more);
    for (size_t i = 1; i <= more; ++i) {
        if ((b(i) & 0xC0) != 0x80) return -1;
        c = (c << 6) | (b(i) & 0x3F);
    }
    constexpr std::array<int32_t, 4> smallest = {0, 0x80, 0x800, 0x10000};
    if (c < smallest[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
    length = more + 1;
    return c;
}

// Latin-1 letters by entity name, from U+00C0 on; "times" and "divide" are no letters.
constexpr std::array<std::string_view, 64> latin1_entities = {
    "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig", "Ccedil",
    "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc", "Iuml",
    "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",  "",
    "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN", "szlig",
    "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig", "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc", "iuml",
    "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",  "",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn", "yuml",
};

int32_t named_character(std::string_view name) {
    const int ascii = entity_char(name);
    if (ascii >= 0) return ascii;
    for (size_t i = 0; i < latin1_entities.size(); ++i)
        if (!latin1_entities[i].empty() && latin1_entities[i] == name)
            return static_cast<int32_t>(0xC0 + i);
    return -1;  // &nbsp; and the rest read as separators
}

int32_t numeric_character(std::string_view digits) {
    const bool hex = !digits.empty() && (digits[0] == 'x' || digits[0] == 'X');
    if (hex) digits.remove_prefix(1);
    if (digits.empty() || digits.size() > 7) return -1;
    int32_t c = 0;
    for (char d : digits) {
        int32_t v = d >= '0' && d <= '9' ? d - '0' : -1;
        if (hex && d >= 'a' && d <= 'f') v = d - 'a' + 10;
        if (hex && d >= 'A' && d <= 'F') v = d - 'A' + 10;
        if (v < 0) return -1;
        c = c * (hex ? 16 : 10) + v;
    }
    if (c == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
    return c;
}

// The character of an entity at the text's start ("&amp;" gives '&'), -1 for one not known,
// with its length; length 0 when the text holds no entity there.
int32_t read_entity(std::string_view text, size_t& length) {
    length = 0;
    const size_t end = text.substr(0, 34).find(';');
    if (end == std::string_view::npos || end < 2) return -1;
    length = end + 1;
    const std::string_view name = text.substr(1, end - 1);
    for (size_t i = name[0] == '#' ? 1 : 0; i < name.size(); ++i) {
        const char c = name[i];
        // "Fish & chips; more" holds no entity
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) {
            length = 0;
            return -1;
        }
    }
    return name[0] == '#' ? numeric_character(name.substr(1)) : named_character(name);
}

// Punctuation, symbols, spaces and marks outside ASCII, by range of characters.
bool is_separator(int32_t c) {
    struct span {
        int32_t from, to;
    };
    static constexpr span separators[] = {
        {0x80, 0xBF},     {0xD7, 0xD7},     {0xF7, 0xF7},     {0x2000, 0x206F}, {0x20A0, 0x20CF},
        {0x2100, 0x214F}, {0x2190, 0x2BFF}, {0x3000, 0x303F}, {0xFE00, 0xFE6F}, {0xFEFF, 0xFEFF},
        {0xFF00, 0xFF0F}, {0xFF1A, 0xFF20}, {0xFF3B, 0xFF40}, {0xFF5B, 0xFF65}, {0x1F000, 0x1FAFF},
    };
    for (const span& s : separators)
        if (c >= s.from && c <= s.to) return true;
    return false;
}

bool is_word_character(int32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    return !is_separator(c);
}

int32_t lower_case(int32_t c) {
    const bool upper = (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
                       (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) || (c >= 0x410 && c <= 0x42F);
    if (upper) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    return c;
}

constexpr int32_t longest_slug = 64;

}  // namespace

bool find_attribute(std::string_view tag, std::string_view name, tag_attribute& found) {
    attribute_reader reader(tag);
    std::string_view written;
    while (reader.next(found, written))
        if (names_match(written, name)) return true;
    return false;
}

void remove_attribute(byte_string& tag, const tag_attribute& found) {
    const std::string_view raw = tag.view();
    const size_t from = found.at > 0 && is_space(raw[found.at - 1]) ? found.at - 1 : found.at;
    byte_string kept(raw.substr(0, from));
    kept.append(raw.substr(found.at + found.length));
    tag.move_from(kept);
}

bool link_target(const xml_node& element, std::string_view& target) {
    if (!is_start_tag(element)) return false;
    tag_attribute found;
    const std::string_view tag = element.raw.view();
    if ((find_attribute(tag, "id", found) && !found.value.empty()) ||
        (is_name(element.written_name(), "a") && find_attribute(tag, "name", found) &&
         !found.value.empty())) {
        target = found.value;
        return true;
    }
    return false;
}

bool has_build_id(const xml_node& heading) {
    tag_attribute found;
    return is_start_tag(heading) && find_attribute(heading.raw.view(), build_id_marker, found) &&
           find_attribute(heading.raw.view(), "id", found);
}

bool remove_build_id(xml_node& heading) {
    tag_attribute found;
    if (!is_start_tag(heading) || !find_attribute(heading.raw.view(), build_id_marker, found))
        return false;
    remove_attribute(heading.raw, found);
    if (find_attribute(heading.raw.view(), "id", found)) remove_attribute(heading.raw, found);
    return true;
}

void append_build_id(std::string_view tag, size_t place, std::string_view id, byte_string& out) {
    const bool at_end = place + 1 == tag.size();
    if (!at_end) {
        out.push(' ');
        out.append(build_id_marker);
    }
    out.append(" id=\"");
    out.append(id);
    out.push('"');
    if (at_end) {
        out.push(' ');
        out.append(build_id_marker);
    }
}

size_t build_id_place(std::string_view tag) {
    attribute_reader reader(tag);
    const size_t name_end = reader.at();
    tag_attribute found;
    std::string_view name;
    bool waits = false;
    while (reader.next(found, name))
        waits = found.value.empty() && found.length > name.size() &&
                tag[found.at + found.length - 1] != '"' && tag[found.at + found.length - 1] != '\'';
    return waits ? name_end : tag.size() - 1;
}

void append_given_id(std::string_view slug, uint32_t number, byte_string& out) {
    out.append(slug.empty() ? std::string_view("section") : slug);
    if (number == 0) return;
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    out.push('-');
    out.append(digits, static_cast<int32_t>(end - digits));
}

byte_string heading_slug(std::string_view entry_text) {
    byte_string slug;
    bool gap = false;
    for (size_t i = 0; i < entry_text.size() && slug.length() < longest_slug;) {
        size_t length = 0;
        int32_t c = entry_text[i] == '&' ? read_entity(entry_text.substr(i), length) : -1;
        if (length == 0) c = read_utf8(entry_text.substr(i), length);
        i += length;
        if (!is_word_character(c)) {
            gap = true;
            continue;
        }
        if (gap && !slug.is_empty()) slug.push('-');
        gap = false;
        append_utf8(slug, lower_case(c));
    }
    return slug;
}

void append_fragment(byte_string& link, std::string_view id) {
    static constexpr char hex[] = "0123456789ABCDEF";
    static constexpr std::string_view safe = "-._~!$&()*+,;=:@/?";
    for (char c : id) {
        const auto b = static_cast<unsigned char>(c);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            safe.find(c) != std::string_view::npos) {
            link.push(c);
        } else {
            link.push('%');
            link.push(hex[b >> 4]);
            link.push(hex[b & 15]);
        }
    }
}

void page_ids::collect(const node_tree& document, const xml_node* skip_from,
                       const xml_node* skip_to) {
    size_t headings = 0;
    for (const tree_node* n = document.first(); n; n = tree_next(n)) {
        if (n == skip_from && skip_to) {
            n = skip_to;
            continue;
        }
        const xml_node& element = *as_xml(n);
        if (!is_start_tag(element)) continue;
        const std::string_view tag = element.raw.view();
        const bool heading = heading_level(element) > 0;
        headings += heading ? 1 : 0;
        tag_attribute found;
        if (find_attribute(tag, "id", found) && !found.value.empty()) {
            uint8_t& uses = uses_of(found.value);
            // a heading's id that a build added is the build's, not an author's
            if (!heading || !has_build_id(element)) uses |= by_author;
        }
        if (is_name(element.written_name(), "a") && find_attribute(tag, "name", found) &&
            !found.value.empty())
            uses_of(found.value) |= by_author;
    }
    // every heading may take a new id: the table then grows no more
    make_room(count_ + headings);
}

bool page_ids::reuse(std::string_view id) {
    uint8_t& uses = uses_of(id);
    if (uses != 0) return false;
    uses = given;
    return true;
}

uint32_t page_ids::give_out(const byte_string& slug) {
    byte_string id;
    append_given_id(slug.view(), 0, id);
    uint32_t number = 0;
    if (!is_free(id.view())) {
        int32_t& next = next_number_.try_emplace(std::string(id.view()), 2).first->second;
        do {
            number = static_cast<uint32_t>(next++);
            id.clear();
            append_given_id(slug.view(), number, id);
        } while (!is_free(id.view()));
    }
    uses_of(id.view()) = given;
    return number;
}

bool page_ids::is_free(std::string_view id) const {
    return slots_.empty() || slots_[slot_of(id)] == 0;
}

std::string_view page_ids::id_at(uint32_t entry) const {
    size_t at = entry + 1;  // past the uses
    size_t length = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(entries_[at++]);
        length |= static_cast<size_t>(byte & 0x7F) << shift;
        if (byte < 0x80) break;
    }
    return std::string_view(entries_).substr(at, length);
}

size_t page_ids::slot_of(std::string_view id) const {
    const size_t mask = slots_.size() - 1;
    const size_t hash = std::hash<std::string_view>{}(id);
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const uint32_t held = slots_[slot];
        if (held == 0 || id_at(held - 1) == id) return slot;
    }
}

void page_ids::make_room(size_t ids) {
    if (2 * ids <= slots_.size()) return;
    size_t size = 16;
    while (size < 2 * ids)
        size *= 2;
    std::vector<uint32_t> old(size, 0);
    old.swap(slots_);
    for (const uint32_t held : old) {
        if (held != 0) slots_[slot_of(id_at(held - 1))] = held;
    }
}

uint8_t& page_ids::uses_of(std::string_view id) {
    make_room(count_ + 1);
    const size_t slot = slot_of(id);
    if (slots_[slot] == 0) {
        // offsets are 32 bits: a page with more ids than that ends as out of memory
        if (entries_.size() + id.size() + 6 > UINT32_MAX) out_of_memory();
        slots_[slot] = static_cast<uint32_t>(entries_.size()) + 1;
        entries_.push_back('\0');
        for (size_t length = id.size();; length >>= 7) {
            const auto low = static_cast<char>(length & 0x7F);
            if (length < 0x80) {
                entries_.push_back(low);
                break;
            }
            entries_.push_back(static_cast<char>(low | 0x80));
        }
        entries_.append(id);
        ++count_;
    }
    return reinterpret_cast<uint8_t&>(entries_[slots_[slot] - 1]);
}
