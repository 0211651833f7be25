#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "foundation/output_file.h"
#include "foundation/progress.h"
#include "foundation/qvchar.h"
#include "foundation/qve_tree.h"
#include "foundation/qvhash.h"
#include "toc/heading_scan.h"
#include "toc/toc_project.h"
#include "toc/toc_tree.h"

constexpr int template_missing = 800;

// The web address named in the comment that follows the start marker of every TOC.
constexpr std::string_view maker_address = "https://tocvane.example.org/";

// Renders the items from `start` on through the template between the marker comments, appending
// the pieces to `out`. 800 when the template can't be opened; nothing is added then.
[[nodiscard]] int renderToc(TocTree& tree, toc_node* start, std::string_view template_path,
                            std::vector<qvchar>& out);

// A template file read once for the many renderings of a multi-file build.
struct loaded_template {
    bool opens = false;     // the file opened for reading
    bool readable = false;  // and every byte of it was read into `text`
    qvchar text;
    // which file was read (see FileInfo), to tell when a build has replaced it
    uint64_t device = 0;
    uint64_t inode = 0;
};
// Reads the template at `path` into `layout`, replacing what it held.
void load_template(std::string_view path, loaded_template& layout);
// renderToc with a template read before: the same pieces as renderToc with its path gives while
// the file stays as it was read.
[[nodiscard]] int renderToc(TocTree& tree, toc_node* start, const loaded_template& layout,
                            std::vector<qvchar>& out);
// The template data of a rendering from `start`: the lists item, text, link, open, numbering,
// level, indentation, children and parent_list, one value per row. Sets the render index of
// every item listed.
void fill_toc_data(TocTree& tree, toc_node* start, qvhash_array& data);
// Writes the document's raw texts, dropping an old TOC between both markers and putting `toc`
// (when given) at the insertion place.
void writeDocument(const qve_tree& document, const located_nodes& located,
                   const std::vector<qvchar>* toc, output_file& out);

// Reads `source`, anchors and numbers its headings into `tree` after `last`, and writes it to
// `output`, with a TOC of this file's items when `insert` is set and the template opens. On
// return `last` is the item appended last and `first` this file's first item (or null).
// 0, or 1 with `error_text` set; `output` is untouched on failure.
[[nodiscard]] int processFile(std::string_view source, std::string_view output, bool insert,
                              const TocProject& project, TocTree& tree, toc_node*& last,
                              toc_node*& first, qvchar& error_text, progress_callback callback,
                              void* data);
// Reads `source`, removes its TOC, the program's anchors and (with numbering on) the heading
// numbers, and writes it to `output`. 0, or 1 with the project's error text set.
[[nodiscard]] int clearFile(std::string_view source, std::string_view output, TocProject& project,
                            progress_callback callback, void* data);

// Builds the project's TOC: 0 success, 1 failed check or file, 2 a source failed in multi mode.
// The error text is set on failure only.
[[nodiscard]] int buildToc(TocProject& project, progress_callback callback, void* data);
// Removes the TOC, the program's anchors and (with numbering on) the heading numbers: 0, or 1
// with the error text set. In multi mode every file is tried; the first failure is reported.
[[nodiscard]] int clearToc(TocProject& project, progress_callback callback, void* data);
