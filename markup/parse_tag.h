#pragma once

#include <string_view>

#include "byte_string.h"
#include "sorted_map.h"

// Splits the text of a tag, the construct without its '<' and its final '>', into the element
// name and its attributes. Names are made of letters, digits, ':', '_', '-' and '.'; other bytes
// outside values are dropped (the '/' of "br/" or "/p" too). A value runs to the next white
// space, or is quoted with " or '; an attribute without '=' gets the empty value and a repeated
// name keeps its last value. Nothing is decoded and values keep their case; with `lower_case`
// the element and attribute names are lower-cased (ASCII). With `name_only` reading stops at
// the white space after the element name and `attributes` may be null.
//
// `name` is replaced; the attributes are added to `attributes` when it is given.
void parse_tag(std::string_view text, byte_string& name, sorted_map* attributes, bool lower_case,
               bool name_only);
