#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "byte_string.h"
#include "result.h"

// How a build links its TOC to the headings: classic `<a name="qorv_link_...">` anchors around
// the heading text, or HTML5 `id` attributes on the headings themselves.
enum class anchor_kind : uint8_t { name, id };

// The settings of one TOC job, stored in a `.toc` project file.
class toc_project {
  public:
    toc_project() { normalize(); }

    // Every field to its default, normalised.
    void reset();
    // Single mode: no titles and at least one source entry; multi mode: no leading empty entry.
    void normalize();
    // A non-empty attribute text starts with one blank.
    void normalize_anchor_attributes();
    // Fails with the reader's message, the fields untouched. A flag stored as a number counts as
    // set when it is not 0. A relative source, destination or template path is taken against
    // the folder of `path` (the text up to its last '/'), so a bare `path` leaves it as written;
    // a source naming the same file as an earlier one is dropped.
    [[nodiscard]] result load(std::string_view path);
    // Fails with "Can't write to file: " + path; the old file stays then. An absolute path of a
    // file inside the folder of `path` is written relative to that folder; any other path as
    // it is.
    [[nodiscard]] result save(std::string_view path) const;
    // Makes every source, destination and template path absolute against the current
    // directory, with "." and ".." folded.
    void make_paths_absolute();

    bool single() const { return is_single; }
    bool operator==(const toc_project& other) const = default;

    bool is_single = true;
    bool is_dest_as_source = true;
    std::vector<byte_string> source;
    byte_string destination;
    int32_t range_from = 1;
    int32_t range_to = 6;
    byte_string named_anchor_attributes;
    // stored as the key `anchor_style`, written only for `id`
    anchor_kind anchor_style = anchor_kind::name;
    bool process_title = false;
    bool process_numbering = true;
    byte_string template_file;
    byte_string indent;
    bool insert_local_toc = false;
    // The project file itself, which no build or clear may write over; set by load, never
    // stored, empty for a project that has no file.
    byte_string file_path;
};
