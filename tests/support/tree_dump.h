#pragma once

#include <string>

#include "foundation/qve_tree.h"

// One-line dump of a document tree, placeholder nodes left out. Words, separated by blanks:
//   p(...)    a start tag with its children in parentheses; p? when still open
//   <br/>     an empty tag
//   </b>      a written end tag, </b>? when it matched nothing
//   /p        an end tag the reader added for an implicitly closed element
//   T"x"      a text node; K5"<!--x-->" any other construct with its kind number
std::string tree_dump(const qve_tree& tree);
// The raw texts of all nodes in document order: what writing the document back gives.
std::string tree_raw(const qve_tree& tree);
