#pragma once

#include <cstdint>
#include <string_view>

#include "sorted_map.h"
#include "template_value.h"
#include "value_list.h"

// Pattern matching over the POSIX regular-expression interface, byte-wise and the same in every
// process locale. A subject is read as a C string: it ends at its first NUL byte, if any.

// Compile flags of regex_match; the program's own values, not the platform's.
enum regex_flags : int32_t {
    regex_extended = 1,     // always added by regex_match
    regex_ignore_case = 2,  // ASCII letters only
    regex_no_sub = 4,       // added by regex_match when no out list is given
};

// Makes the pattern library usable; true when it is. The library is linked in, so this always
// succeeds, and unloading does nothing.
[[nodiscard]] bool regex_load();
void regex_unload();

// 0 when the subject matches the pattern, else non-zero: the library's error code when the
// pattern does not compile, its no-match code otherwise. A given `out` is emptied first and,
// on a match, receives one text per match element: the whole match, then each parenthesised
// sub-expression (an empty text for one that took no part or matched nothing).
[[nodiscard]] int regex_match(std::string_view pattern, int32_t flags, std::string_view subject,
                              value_list* out);

// Replaces every "&#N;" and "&#xH;" by its byte: at most 255 gives that byte, a larger value or
// a reference of 7 bytes or more gives '!'. The upper-case form "&#X41;" is left alone. Without
// a reference the value is not touched at all; otherwise it becomes a text.
void decode_numeric_entities(template_value& value);
// Replaces every "&name;" by the table's text for the name (looked up lower-cased with
// `lower_case`), or by '!' when the table lacks it. Replacements are never decoded again, so
// "&amp;lt;" gives "&lt;". Untouched without a reference, like decode_numeric_entities.
void decode_named_entities(template_value& value, bool lower_case, const sorted_map& table);

// True when a comment's text holds "<!--", blanks, "toc" in any case, blanks and "-->".
[[nodiscard]] bool is_toc_placeholder(std::string_view comment_raw);
