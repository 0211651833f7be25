#pragma once

#include <string_view>

#include "foundation/qvchar.h"
#include "foundation/qvhash.h"

// Splits the text of a tag, without its '<' and its final '>', into the element name and the
// attributes. The name is replaced; attributes are added to the map (a repeated name keeps its
// last value), or dropped when the map is null. Names are made of letters, digits, '-', '.',
// ':' and '_'; other bytes outside values are ignored, so the '/' of "br/" vanishes. Values
// are kept as written, entities included. With `lower_case`, ASCII letters of the element name
// and the attribute names are lower-cased; with `name_only`, parsing stops after the name.
void parse_tag(std::string_view text, qvchar& name, qvhash* attributes, bool lower_case,
               bool name_only);
