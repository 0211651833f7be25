#pragma once

#include <string_view>
#include <vector>

#include "foundation/qvchar.h"
#include "foundation/qvval.h"

// The settings of one TOC job, stored in a `.toc` project file, plus the error text of the last
// failed load, save, build or clear (never cleared when an operation starts).
class TocProject {
  public:
    TocProject() { reset(); }

    // Every field to its default, normalised, error text cleared.
    void reset();
    // Single mode: no titles and at least one source entry; multi mode: no leading empty entry.
    void normalize();
    // A non-empty attribute text starts with one blank.
    void normalizeAnchorAttributes();
    // 0 on success; 1 with error_text set, the other fields untouched.
    [[nodiscard]] int load(std::string_view path);
    // 0 on success; 1 with error_text "Can't write to file: " + path. The old file stays on
    // failure.
    [[nodiscard]] int save(std::string_view path);

    bool single() const { return is_single.to_integer() != 0; }

    qvval is_single;
    qvval is_dest_as_source;
    std::vector<qvchar> source;
    qvval destination;
    qvval range_from;
    qvval range_to;
    qvval named_anchor_attributes;
    qvval process_title;
    qvval process_numbering;
    qvval template_file;
    qvval indent;
    qvval insert_local_toc;
    qvchar error_text;
};
