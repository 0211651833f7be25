#pragma once

#include <string_view>

#include "byte_string.h"
#include "sorted_map.h"

// A tagged-value file: the one syntax of project, format-options and settings files and of the
// template catalogue. Each value is one line "<key>escaped text</key>" CR LF; keys come in
// ascending byte order, the values of one key in list order. Reading goes through the strict
// reader, so blanks, comments and unknown keys between the lines do no harm.
class tag_value_file {
  public:
    // Adds every value of the file to `values` in file order; true on success. On failure
    // error_text holds "Can't open file " + path, "File is too large: " + path (past
    // largest_readable_file) or the strict reader's "Line: ..." report, and
    // `values` is left as it was. An element with nothing between its tags gives no value, a
    // self-closing "<key/>" the empty text.
    [[nodiscard]] bool read(std::string_view path);
    // Replaces the file with the lines of `values`, or leaves it as it was and returns false (also
    // for a value too long to escape within 32-bit lengths); error_text is not touched.
    [[nodiscard]] bool write(std::string_view path) const;

    named_lists values;
    byte_string error_text;
};
