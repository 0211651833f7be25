#pragma once

#include <cstdint>
#include <initializer_list>

// Kind of construct the markup scanner reports and a document node holds.
enum class construct_kind : int8_t {
    placeholder = -1,             // fresh node
    start_tag = 1,                // <name ...>
    end_tag = 2,                  // </name>
    empty_tag = 3,                // <name .../>, or an element that never has an end tag
    declaration = 4,              // any other <!...>
    comment = 5,                  // <!-- ... -->
    cdata = 6,                    // <![CDATA[ ... ]]>
    doctype = 7,                  // <!DOCTYPE ...>
    element_decl = 8,             // <!ELEMENT ...>
    attlist_decl = 9,             // <!ATTLIST ...>
    entity_decl = 10,             // <!ENTITY ...>
    processing_instruction = 11,  // <? ... ?>
    server_script = 12,           // <% ... %>
    hash_block = 13,              // <# ... #>
    directive_comment = 14,       // <!--# ... -->
    unknown_markup = 15,          // < followed by nothing the above start with
    text = 18,                    // character data
};

// A set of construct kinds; the placeholder is never a member.
class construct_set {
  public:
    constexpr construct_set() = default;
    constexpr construct_set(std::initializer_list<construct_kind> kinds) {
        for (construct_kind kind : kinds)
            add(kind);
    }

    constexpr void add(construct_kind kind) { bits_ |= bit(kind); }
    constexpr bool contains(construct_kind kind) const { return (bits_ & bit(kind)) != 0; }

  private:
    static constexpr uint32_t bit(construct_kind kind) {
        const auto index = static_cast<int32_t>(kind);
        return index >= 0 && index < 32 ? uint32_t{1} << index : 0;
    }

    uint32_t bits_ = 0;
};
