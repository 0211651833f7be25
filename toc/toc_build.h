#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "byte_string.h"
#include "heading_scan.h"
#include "node_tree.h"
#include "output_file.h"
#include "progress.h"
#include "sorted_map.h"
#include "toc_project.h"
#include "toc_tree.h"

constexpr int template_missing = 800;

// The web address named in the comment that follows the start marker of every TOC.
constexpr std::string_view maker_address = "https://tocvane.example.org/";

// Renders the items from `start` on through the template between the marker comments, appending
// the pieces to `out`. 800 when the template can't be opened; nothing is added then.
[[nodiscard]] int render_toc(toc_tree& tree, toc_node* start, std::string_view template_path,
                             std::vector<byte_string>& out);

// A template file read once for the many renderings of a multi-file build.
struct loaded_template {
    bool opens = false;     // the file opened for reading
    bool readable = false;  // and every byte of it was read into `text`
    byte_string text;
    // which file was read (see file_info), to tell when a build has replaced it
    uint64_t device = 0;
    uint64_t inode = 0;
};
// Reads the template at `path` into `layout`, replacing what it held.
void load_template(std::string_view path, loaded_template& layout);
// render_toc with a template read before: the same pieces as render_toc with its path gives while
// the file stays as it was read.
[[nodiscard]] int render_toc(toc_tree& tree, toc_node* start, const loaded_template& layout,
                             std::vector<byte_string>& out);
// The template data of a rendering from `start`: the lists item, text, link, open, numbering,
// level, indentation, children and parent_list, one value per row. Sets the render index of
// every item listed.
void fill_toc_data(toc_tree& tree, toc_node* start, named_lists& data);
// Writes the document's raw texts, dropping an old TOC between both markers and putting `toc`
// (when given) at the insertion place.
void write_document(const node_tree& document, const located_nodes& located,
                    const std::vector<byte_string>* toc, output_file& out);

// Reads `source`, anchors and numbers its headings into `tree` after `last`, and writes it to
// `output`, with a TOC of this file's items when `insert` is set and the template opens. On
// return `last` is the item appended last and `first` this file's first item (or null).
// 0, or 1 with `error_text` set; `output` is untouched on failure.
[[nodiscard]] int process_file(std::string_view source, std::string_view output, bool insert,
                               const toc_project& project, toc_tree& tree, toc_node*& last,
                               toc_node*& first, byte_string& error_text,
                               progress_callback callback, void* data);
// Reads `source`, removes its TOC, the program's anchors and (with numbering on) the heading
// numbers, and writes it to `output`. 0, or 1 with the project's error text set.
[[nodiscard]] int clear_file(std::string_view source, std::string_view output, toc_project& project,
                             progress_callback callback, void* data);

// Builds the project's TOC: 0 success, 1 failed check or file, 2 a source failed in multi mode.
// The error text is set on failure only.
[[nodiscard]] int build_toc(toc_project& project, progress_callback callback, void* data);
// Removes the TOC, the program's anchors and (with numbering on) the heading numbers: 0, or 1
// with the error text set. In multi mode every file is tried; the first failure is reported.
[[nodiscard]] int clear_toc(toc_project& project, progress_callback callback, void* data);
