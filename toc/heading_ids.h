#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "byte_string.h"
#include "node_tree.h"
#include "xml_node.h"

// The attribute a build writes after each `id` it adds to a heading's start tag, so that later
// builds and clears know that id for the build's own. An author's id never carries it.
constexpr std::string_view build_id_marker = "data-qorv-id";

// Where an attribute stands in the raw text of a tag: `at` is the offset of its name, `length`
// runs to the end of its value. `value` views the value without its quotes, entities as written.
struct tag_attribute {
    size_t at = 0;
    size_t length = 0;
    std::string_view value;
};

// Finds the first attribute called `name` (lower case; the tag's names are compared ignoring
// ASCII case) in a start tag's raw text, as a browser reads the tag: the first of a
// repeated name counts.
bool find_attribute(std::string_view tag, std::string_view name, tag_attribute& found);
// Removes an attribute found by find_attribute together with the one white-space byte before
// it, which is how a build writes it.
void remove_attribute(byte_string& tag, const tag_attribute& found);

// The id and anchor name an element offers as a link target: its `id`, else the `name` of an
// `a`. False for a tag without either and for anything but a start tag.
bool link_target(const xml_node& element, std::string_view& target);
// Whether a heading's start tag holds an id that a build added.
bool has_build_id(const xml_node& heading);
// Removes the id a build added, with its marker, from a heading's start tag; false when there
// was none. A lone marker goes too.
bool remove_build_id(xml_node& heading);
// Where a build's id goes into a heading's start tag, which ends in '>': before the '>', or
// right after the tag's name when the last attribute waits for its value (`<h2 a=>`), which the
// id would become.
size_t build_id_place(std::string_view tag);
// Appends the attributes of the id a build gives a heading, for `place` in `tag` (see
// build_id_place): ` id="<id>" data-qorv-id` before the '>'; after the name the quoted id comes
// last, so that an attribute after it that starts with '=' (`<h2 =a=>`) stays one of its own.
void append_build_id(std::string_view tag, size_t place, std::string_view id, byte_string& out);
// Appends the id page_ids::give_out gave for `slug` with `number`: the slug ("section" for an
// empty one), then "-" and the number unless it is 0.
void append_given_id(std::string_view slug, uint32_t number, byte_string& out);

// A readable id made of a TOC entry's text (entities as written, `&lt;` for `<`): entities
// decoded, letters and digits kept (ASCII, Latin-1, Greek and Cyrillic letters lower-cased, other
// letters of valid UTF-8 as they are), every other run turned into one '-', no '-' at either end,
// at most about 64 bytes. Empty for a text without letters or digits.
byte_string heading_slug(std::string_view entry_text);
// Appends an id to a link's fragment, percent-encoding the bytes that are not safe there: every
// byte from 128 on, controls, blanks, quotes, '%', '#', '<', '>' and the like.
void append_fragment(byte_string& link, std::string_view id);

// The ids of one page: those the page holds and those the build gives out, so that no heading
// gets an id or anchor name that is already there.
class page_ids {
  public:
    // Takes every id and every name of an `a` in the document, outside [skip_from, skip_to],
    // the old TOC that is dropped on writing (both null for none). Linear in the document.
    void collect(const node_tree& document, const xml_node* skip_from, const xml_node* skip_to);
    // Keeps a build's id for its heading when no other element and no earlier heading has it.
    bool reuse(std::string_view id);
    // A new id from a slug, unique in the page: the slug, else slug-2, slug-3 and so on;
    // "section" for an empty slug. Returns its number, 0 for the slug alone (see
    // append_given_id). Constant time on average, whatever the repeats.
    uint32_t give_out(const byte_string& slug);

  private:
    // How the page uses an id, as bits: held by an author's element (not only by a heading
    // carrying a build's id), given out by this build.
    static constexpr uint8_t by_author = 1;
    static constexpr uint8_t given = 2;

    // The uses of `id`, none when it is new to the page; valid until the next id is added.
    uint8_t& uses_of(std::string_view id);
    bool is_free(std::string_view id) const;
    // The slot of `id`, or the free one it would take.
    size_t slot_of(std::string_view id) const;
    std::string_view id_at(uint32_t entry) const;
    void make_room(size_t ids);

    // Every id and anchor name found or given out, one after another: its uses, its length
    // (7 bits a byte, low first, the high bit set while more follow) and its bytes. A page's
    // million ids cost about their bytes and the slots that find them.
    std::string entries_;
    // An open-addressed table, at most half full: the offset of an entry plus one, 0 when free.
    std::vector<uint32_t> slots_;
    size_t count_ = 0;
    // The next number to try after each slug that was taken.
    std::unordered_map<std::string, int32_t> next_number_;
};
