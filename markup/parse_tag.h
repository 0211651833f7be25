#pragma once

#include <cstdint>
#include <string_view>

#include "byte_string.h"
#include "sorted_map.h"

// Whether element and attribute names keep their case or are lower-cased (ASCII).
enum class name_case : uint8_t { as_written, lowered };

// Splits the text of a tag, the construct without its '<' and its final '>', into the element
// name and its attributes. Names are made of letters, digits, ':', '_', '-' and '.'; other bytes
// outside values are dropped (the '/' of "br/" or "/p" too). A value runs to the next white
// space, or is quoted with " or '; an attribute without '=' gets the empty value and a repeated
// name keeps its last value. Nothing is decoded and values keep their case.
//
// `name` is replaced; the attributes are added to `attributes`.
void parse_tag(std::string_view text, name_case names, byte_string& name, sorted_map& attributes);
// The element name alone, as parse_tag reads it: reading stops at the white space after it.
void parse_tag_name(std::string_view text, name_case names, byte_string& name);
