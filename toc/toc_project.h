#pragma once

#include <string_view>
#include <vector>

#include "byte_string.h"
#include "template_value.h"

// The settings of one TOC job, stored in a `.toc` project file, plus the error text of the last
// failed load, save, build or clear (never cleared when an operation starts).
class toc_project {
  public:
    toc_project() { reset(); }

    // Every field to its default, normalised, error text cleared.
    void reset();
    // Single mode: no titles and at least one source entry; multi mode: no leading empty entry.
    void normalize();
    // A non-empty attribute text starts with one blank.
    void normalize_anchor_attributes();
    // 0 on success; 1 with error_text set, the other fields untouched.
    [[nodiscard]] int load(std::string_view path);
    // 0 on success; 1 with error_text "Can't write to file: " + path. The old file stays on
    // failure.
    [[nodiscard]] int save(std::string_view path);

    bool single() const { return is_single.to_integer() != 0; }

    template_value is_single;
    template_value is_dest_as_source;
    std::vector<byte_string> source;
    template_value destination;
    template_value range_from;
    template_value range_to;
    template_value named_anchor_attributes;
    template_value process_title;
    template_value process_numbering;
    template_value template_file;
    template_value indent;
    template_value insert_local_toc;
    byte_string error_text;
};
