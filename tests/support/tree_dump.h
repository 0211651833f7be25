#pragma once

#include <string>

#include "node_tree.h"
#include "xml_node.h"

// The element name of an HTML reader's tag node in lower case: its table name when it has one
// (an added end tag has no bytes), else its written name.
std::string html_name(const xml_node& node);

// One-line dump of a document tree, placeholder nodes left out. Words, separated by blanks:
//   p(...)    a start tag with its children in parentheses; p? when still open
//   <br/>     an empty tag
//   </b>      a written end tag, </b>? when it matched nothing
//   /p        an end tag the reader added for an implicitly closed element
//   T"x"      a text node; K5"<!--x-->" any other construct with its kind number
std::string tree_dump(const node_tree& tree);
// The raw texts of all nodes in document order: what writing the document back gives.
std::string tree_raw(const node_tree& tree);

// Landmarks of the folding checks: headings and titles with their content, body and x:y
// elements, and every comment.
node_role fold_test_role(const xml_node& node, const void* unused = nullptr);
// Per landmark of fold_test_role, in document order: its offset in the written bytes, the raw
// texts of its ancestors and its own, and for a landmark with content every node inside it
// (of its own end tag only the tag: a folding reader's run may go on there).
std::string fold_landmarks(const node_tree& tree);
