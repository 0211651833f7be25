#pragma once

#include <cstdint>
#include <string_view>

#include "sorted_map.h"
#include "template_value.h"

// Pattern matching, byte-wise and the same in every process locale: character references through
// the POSIX regular-expression interface, the TOC placeholder by hand, as a build of a page
// checks its comments for one. A subject is read as a C string: it ends at its first NUL byte,
// if any.

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
