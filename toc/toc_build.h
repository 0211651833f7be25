#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "byte_string.h"
#include "heading_scan.h"
#include "node_tree.h"
#include "output_lock.h"
#include "progress.h"
#include "result.h"
#include "sorted_map.h"
#include "toc_project.h"
#include "toc_tree.h"

// The web address named in the comment that follows the start marker of every TOC.
constexpr std::string_view maker_address = "https://tocvane.example.org/";

// Receives the bytes of a document being written, in order.
using byte_sink = std::function<void(std::string_view bytes)>;

class prepared_template;
struct prepared_template_deleter {
    void operator()(prepared_template* prepared) const;
};

// A template file read once for the many renderings of a multi-file build.
struct loaded_template {
    bool opens = false;     // the file opened for reading
    bool readable = false;  // and every byte of it was read into `text`
    byte_string text;
    // which file was read (see file_info), to tell when a build has replaced it
    uint64_t device = 0;
    uint64_t inode = 0;
    // `text` read into its pieces by the first rendering, for the renderings after it; one
    // made from another text is made again
    mutable std::unique_ptr<prepared_template, prepared_template_deleter> prepared;
};
// Reads the template at `path` into `layout`, replacing what it held.
void load_template(std::string_view path, loaded_template& layout);
// Whether render_toc renders the items from `start` through `layout`: the template opened and,
// with items to list, was read whole.
[[nodiscard]] bool renders_toc(const loaded_template& layout, const toc_node* start);
// Renders the items from `start` on through the template between the marker comments, handing
// the bytes to `out` as they are made, so that a TOC of many entries is never held whole.
// `layout` must be one that renders_toc accepts.
void render_toc(toc_tree& tree, toc_node* start, const loaded_template& layout,
                const byte_sink& out);
// Writes a TOC at the insertion place of a document being written.
using toc_writer = std::function<void(const byte_sink& out)>;
// The template data of a rendering from `start`: the lists item, text, link, open, numbering,
// level, indentation, children and parent_list, one value per row. Sets the render index of
// every item listed. The texts, links and numbers in `data` view the items' own: use it only while
// the tree lives unchanged.
void fill_toc_data(toc_tree& tree, toc_node* start, named_lists& data);
// Writes the document's raw texts, dropping an old TOC between both markers and having `toc`
// (when given) write at the insertion place. What `openings` (when given) holds goes at the end of
// the start tags of their headings (see heading_openings), through `made` when given: bytes made
// for the call, which don't stay where they are.
void write_document(const node_tree& document, const located_nodes& located,
                    const heading_openings* openings, const toc_writer* toc, const byte_sink& out,
                    const byte_sink* made = nullptr);

// What the files of one build share as process_file takes them in turn.
struct build_state {
    build_state(const toc_project& settings, toc_tree& items) : project(settings), tree(items) {}

    const toc_project& project;
    toc_tree& tree;
    toc_node* last = nullptr;   // the item appended last, null before the first
    toc_node* first = nullptr;  // the first item of the file done last, or null
    bool insert_toc = false;    // each file gets a TOC of its own items
    // In a build of a set of files, set with the path that the links of the file's items get
    // before them once it is written (see process_file).
    bool links_take_path = false;
    byte_string link_path;
    progress_function progress;
};

// Reads `source`, anchors and numbers its headings into the state's tree after `last`, and
// writes it to `output`, with a TOC of this file's items when `insert_toc` is set and the
// template opens. Moves `last` and `first` on. `output` is untouched on failure.
//
// While the file is built, the texts of its items may view its document. Before the document
// goes, the links get the state's link path before them and the texts a copy of their bytes
// when `links_take_path` is set; else the views are dropped (a single file's items are read no
// more once it is written).
[[nodiscard]] result process_file(std::string_view source, std::string_view output,
                                  build_state& state);
// Reads `source`, removes its TOC, the program's anchors and (with numbering on) the heading
// numbers, and writes it to `output`.
[[nodiscard]] result clear_file(std::string_view source, std::string_view output,
                                const toc_project& project, const progress_function& progress);

// The threads a multi-file build reads its sources with unless told otherwise: one per core.
int32_t build_threads();
// Builds the project's TOC. Fails with status_code::source_failed when a source failed in multi
// mode, else with status_code::failed. Every file it writes is locked before the first source is
// read (see output_lock); while another build holds one, it waits as `wait` says, by default
// ten seconds without a notice. In multi mode `threads` read sources ahead of their turn; the
// files, the result and the progress's end are those of a build with one.
[[nodiscard]] result build_toc(const toc_project& project, const progress_function& progress,
                               const lock_wait& wait = {}, int32_t threads = build_threads());
// What a build would do, found by dry_build_toc without writing.
struct dry_build {
    // The files whose bytes the build would change (a missing one counts), named as in the
    // project and in the order the build writes them: the sources, then the destination.
    std::vector<byte_string> changed;
    // The TOC the build would insert into the page in single mode, into the destination in
    // multi mode, in pieces; empty when the template can't be opened.
    std::vector<byte_string> toc;
};
// Runs the build of `project` in memory: it reads, anchors, numbers and renders as build_toc
// does and fails as it would while reading, but compares each file's new bytes with its bytes
// instead of writing them, so a file the build could not write passes. It takes no lock and
// creates no file; a later step reads what an earlier one would have written. New anchors get
// new names, so a page that lacks them always changes.
[[nodiscard]] result dry_build_toc(const toc_project& project, dry_build& outcome,
                                   const progress_function& progress = {});
// Removes the TOC, the program's anchors and (with numbering on) the heading numbers. In multi
// mode every file is tried; the first failure is reported. Locks and waits as build_toc.
[[nodiscard]] result clear_toc(const toc_project& project, const progress_function& progress,
                               const lock_wait& wait = {});
