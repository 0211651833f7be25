#pragma once

#include <string_view>

#include "byte_string.h"
#include "result.h"
#include "sorted_map.h"

// A tagged-value file: the one syntax of project, format-options and settings files and of the
// template catalogue. Each value is one line "<key>escaped text</key>" CR LF; keys come in
// ascending byte order, the values of one key in list order. Reading goes through the strict
// reader, so blanks, comments and unknown keys between the lines do no harm.
class tag_value_file {
  public:
    // Adds every value of the file to `values` in file order. Fails with "Can't open file " +
    // path, "File is too large: " + path (past largest_readable_file) or the strict reader's
    // "Line: ..." report, `values` left as it was. An element with nothing between its tags
    // gives no value, a self-closing "<key/>" the empty text.
    [[nodiscard]] result read(std::string_view path);
    // Replaces the file with the lines of `values`, or fails with "Can't write to file: " + path
    // and leaves it as it was (also for a value too long to escape within 32-bit lengths).
    [[nodiscard]] result write(std::string_view path) const;

    named_lists values;
};
