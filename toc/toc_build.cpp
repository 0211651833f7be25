#include "toc_build.h"

#include <sys/stat.h>

#include <memory>

#include "files.h"
#include "html_reader.h"
#include "paths.h"
#include "progress.h"
#include "xml_node.h"

namespace {

// Shares of one file's part of the progress bar.
constexpr double read_share_inserting = 0.38;
constexpr double read_share = 0.7;
constexpr double scan_share_inserting = 0.03;
constexpr double scan_share = 0.1;
constexpr double render_share = 0.41;
// Shares of the whole bar in multi mode.
constexpr double sources_scale_local_toc = 0.9;
constexpr double sources_scale = 0.8;
constexpr double destination_scale = 0.05;
constexpr double clear_sources_scale = 0.95;
constexpr double clear_destination_scale = 0.02;

// A scale that passes `share` of its percents on to the callback, after the shares done.
void start_share(progress_scale& part, double share) {
    part.total_units = 1.0;
    part.step_units = share;
    part.scale = 1.0;
}

void write_pieces(const std::vector<byte_string>& pieces, output_file& out) {
    for (const byte_string& piece : pieces)
        out.write(piece.view());
}

// Reads an HTML file into a document that starts with the empty node the TOC may follow. All
// the document is only written back except what the heading scan looks at, so the rest is
// folded as it is read.
int read_document(std::string_view path, node_tree& document, byte_string& error_text,
                  progress_scale* progress) {
    tree_prepend_top(document, new xml_node());
    const result read = parse_html_file(path, document, progress ? report_scaled_progress : nullptr,
                                        progress, scan_role);
    if (read.is_ok()) return 0;
    error_text.assign(read.message());
    return 1;
}

int commit_output(output_file& out, byte_string& error_text) {
    if (out.commit() == output_status::ok) return 0;
    error_text.assign(out.error_text());
    return 1;
}

int open_output(output_file& out, std::string_view path, byte_string& error_text) {
    if (out.open(path) == output_status::ok) return 0;
    error_text.assign(out.error_text());
    return 1;
}

// What the files of one multi-file run share: the replacements waiting for their common sync
// and the template read once. Empty for a single file, which is written and rendered directly.
struct file_run {
    output_batch* batch = nullptr;
    loaded_template* layout = nullptr;
};

int commit_output(output_file& out, const file_run& run, byte_string& error_text) {
    if (!run.batch) return commit_output(out, error_text);
    if (out.commit_to(*run.batch) == output_status::ok) return 0;
    error_text.assign(out.error_text());
    return 1;
}

// Puts the waiting replacements in place; 1 with the first failure's message otherwise.
int commit_batch(output_batch& batch, byte_string& error_text) {
    if (batch.commit() == output_status::ok) return 0;
    error_text.assign(batch.error_text());
    return 1;
}

// Reads the template again when a waiting replacement is of it, that is when a source written
// earlier in the build was the template. 1 when putting the waiting files in place failed.
int refresh_template(const toc_project& project, const file_run& run, byte_string& error_text) {
    loaded_template& layout = *run.layout;
    if (!run.batch || !run.batch->holds(layout.device, layout.inode)) return 0;
    if (commit_batch(*run.batch, error_text) != 0) return 1;
    load_template(project.template_file.view(), layout);
    return 0;
}

// file_stat as file_size sees the path: file_size refuses "page.htm/", which file_stat takes
// for "page.htm".
bool stat_source(std::string_view source, file_info& info) {
    return !source.ends_with('/') && file_stat(info, source);
}

// Readies `batch` for reading `source`: the replacement of the file it reaches goes in place
// first, and so do all before a device or pipe, which is written at once. Sets `found` and
// `info` as stat_source; 1 with the message when putting files in place failed.
int prepare_source(std::string_view source, output_batch& batch, file_info& info, bool& found,
                   byte_string& error_text) {
    found = stat_source(source, info);
    const bool waits = found ? batch.holds(info.device, info.inode) || !S_ISREG(info.attributes)
                             : batch.holds(source);
    if (!waits) return 0;
    const int result = commit_batch(batch, error_text);
    found = stat_source(source, info);
    return result;
}

// The part of the progress bar a source takes: its size as file_size tells it.
double size_units(bool found, const file_info& info) {
    return static_cast<double>(found ? static_cast<uint32_t>(info.size) : UINT32_MAX);
}

bool in_range(const xml_node& node, int32_t from, int32_t to) {
    if (node.kind != construct_kind::start_tag) return false;
    const int32_t level = heading_level(node);
    return level > 0 && level >= from && level <= to;
}

bool is_text(const xml_node& node) {
    return node.kind == construct_kind::text || node.kind == construct_kind::placeholder;
}

bool is_program_anchor(const xml_node& node) {
    if ((node.kind != construct_kind::start_tag && node.kind != construct_kind::empty_tag) ||
        node.name != "a")
        return false;
    const template_value* name = node.attributes.find_ref("name");
    return name && name->view().starts_with(anchor_prefix);
}

// Empties the program's anchor tags of one heading and strips its number when asked.
void clean_heading(xml_node& heading, bool numbering) {
    strip_state strip;
    if (numbering) strip.start(heading);
    const xml_node* anchor = nullptr;
    const tree_node* after = tree_next_skip(&heading);
    for (tree_node* n = heading.first_child(); n && n != after; n = tree_next(n)) {
        xml_node& node = *as_xml(n);
        if (!anchor && is_program_anchor(node)) {
            anchor = &node;
            node.raw.clear();
        } else if (anchor && node.kind == construct_kind::end_tag && node.name == "a" &&
                   node.parent() == anchor && node.closed && !node.next()) {
            node.raw.clear();
        } else if (numbering && is_text(node)) {
            strip.strip(node.raw);
        }
    }
}

byte_string normalized_anchor_attributes(const toc_project& project) {
    byte_string attributes(project.named_anchor_attributes.view());
    if (!attributes.is_empty() && attributes[0] != ' ') {
        byte_string spaced(" ");
        spaced.append(attributes);
        return spaced;
    }
    return attributes;
}

// The destination and the directory its links are worked out from, read once per build.
struct link_base {
    byte_string directory;  // the current one, empty when unknown
    byte_string destination;

    explicit link_base(std::string_view path) : directory(current_directory()) {
        if (!normalize_path(path, directory.view(), destination))
            destination.assign(byte_string(path));
    }
};

// The link prefix of a source in the destination's TOC: its relative path, percent-encoded.
byte_string link_path(const link_base& base, std::string_view source) {
    byte_string to;
    if (!normalize_path(source, base.directory.view(), to)) to.assign(byte_string(source));
    byte_string path;
    relative_path(base.destination.view(), to.view(), path, false);
    path.url_encode_path();
    return path;
}

std::string_view first_source(const toc_project& project) {
    return project.source.empty() ? std::string_view() : project.source.front().view();
}

std::string_view single_output(const toc_project& project) {
    return project.is_dest_as_source.to_integer() != 0 ? first_source(project)
                                                       : project.destination.view();
}

// process_file and clear_file, writing through `run`.
int process_file(std::string_view source, std::string_view output, bool insert,
                 const toc_project& project, toc_tree& tree, toc_node*& last, toc_node*& first,
                 byte_string& error_text, progress_callback callback, void* data,
                 const file_run& run);
int clear_file(std::string_view source, std::string_view output, toc_project& project,
               progress_callback callback, void* data, const file_run& run);

// Checks shared by the multi-mode build and clear: at least one source and each an existing
// file. Adds up their sizes.
int check_sources(toc_project& project, double& total) {
    if (project.source.empty()) {
        project.error_text.assign("At least one source file must be specified");
        return 1;
    }
    total = 0;
    file_info info;
    for (const byte_string& source : project.source) {
        if (!file_stat(info, source.view()) || info.is_directory) {
            project.error_text.assign("File doesn't exist: ");
            project.error_text.append(source);
            return 1;
        }
        // Paths carry no drive letters here, so every source is on the destination's drive.
        total += static_cast<double>(info.size);
    }
    return 0;
}

// The sources of a multi-file build, each read, anchored, numbered and written in turn: 0, or 2
// with the error text set. The replacements may still wait in `run`'s batch.
int build_sources(toc_project& project, toc_tree& tree, progress_scale& bar, const file_run& run) {
    const bool local_toc = project.insert_local_toc.to_integer() != 0;
    const link_base base(project.destination.view());
    toc_node* last = nullptr;
    for (const byte_string& source : project.source) {
        file_info info;
        bool found = false;
        if (prepare_source(source.view(), *run.batch, info, found, project.error_text) != 0) {
            return 2;
        }
        bar.step_units = size_units(found, info);
        toc_node* first = nullptr;
        if (process_file(source.view(), source.view(), local_toc, project, tree, last, first,
                         project.error_text, report_scaled_progress, &bar, run) != 0) {
            return 2;
        }
        progress_step_done(bar);
        const byte_string path = link_path(base, source.view());
        for (toc_node* item = first; item; item = toc_tree::next(item)) {
            byte_string link(path);
            link.append(item->link);
            item->link.move_from(link);
        }
    }
    return 0;
}

int build_multi(toc_project& project, progress_callback callback, void* data) {
    const std::string_view destination = project.destination.view();
    if (destination.empty()) {
        project.error_text.assign("Destination file must be specified");
        return 1;
    }
    double total = 0;
    if (check_sources(project, total) != 0) return 1;
    const std::string_view template_path = project.template_file.view();
    loaded_template layout;
    load_template(template_path, layout);
    if (!layout.opens) {
        project.error_text.assign("Can't open template file: ");
        project.error_text.append(template_path);
        return 1;
    }
    file_info info;
    if (file_stat(info, destination) && info.is_directory) {
        project.error_text.assign("Can't open file for writing: ");
        project.error_text.append(destination);
        return 1;
    }

    progress_scale bar;
    bar.total_units = total;
    bar.scale =
        project.insert_local_toc.to_integer() != 0 ? sources_scale_local_toc : sources_scale;
    bar.callback = callback;
    bar.user_data = data;

    toc_tree tree;
    tree.indent = byte_string(project.indent.view());
    output_batch batch;
    const int result = build_sources(project, tree, bar, file_run{&batch, &layout});
    // the files done before a failure are put in place, as if each had been written alone; a
    // failure among them is the earlier one
    if (commit_batch(batch, project.error_text) != 0) return 2;
    if (result != 0) return result;

    bar.scale = destination_scale;
    bar.step_units = bar.total_units;
    node_tree document;
    if (file_stat(info, destination)) {
        // an existing destination is never replaced by what could be read of it
        if (read_document(destination, document, project.error_text, &bar) != 0) return 1;
    } else {
        tree_prepend_top(document, new xml_node());
    }
    progress_step_done(bar);

    heading_scan scan;
    scan.locate(document);
    std::vector<byte_string> toc;
    if (render_toc(tree, tree.first(), template_path, toc) != 0) {
        project.error_text.assign("Can't open template file: ");
        project.error_text.append(template_path);
        return 1;
    }
    output_file out;
    if (open_output(out, destination, project.error_text) != 0) return 1;
    write_document(document, scan.located, &toc, out);
    if (commit_output(out, project.error_text) != 0) return 1;
    if (callback) callback(100, data);
    return 0;
}

int clear_multi(toc_project& project, progress_callback callback, void* data) {
    double total = 0;
    if (check_sources(project, total) != 0) return 1;
    progress_scale bar;
    bar.total_units = total;
    bar.scale = clear_sources_scale;
    bar.callback = callback;
    bar.user_data = data;

    // every file is tried; the first failure in the order of the files is the one reported
    int result = 0;
    byte_string first_error;
    const auto note = [&result, &first_error](const byte_string& error_text) {
        if (result != 0) return;
        result = 1;
        first_error.assign(error_text);
    };
    output_batch batch(batch_failure::go_on);
    // the waiting files come before whatever fails next
    const auto commit_waiting = [&batch, &note] {
        byte_string error_text;
        if (commit_batch(batch, error_text) != 0) note(error_text);
    };
    const file_run run{&batch, nullptr};
    for (const byte_string& source : project.source) {
        file_info info;
        bool found = false;
        byte_string error_text;
        if (prepare_source(source.view(), batch, info, found, error_text) != 0) note(error_text);
        bar.step_units = size_units(found, info);
        if (clear_file(source.view(), source.view(), project, report_scaled_progress, &bar, run) !=
            0) {
            const byte_string failure(project.error_text.view());
            commit_waiting();
            note(failure);
        }
        progress_step_done(bar);
    }
    commit_waiting();

    bar.scale = clear_destination_scale;
    bar.step_units = bar.total_units;
    const std::string_view destination = project.destination.view();
    node_tree document;
    byte_string read_error;
    if (!destination.empty() && read_document(destination, document, read_error, &bar) == 0) {
        heading_scan scan;
        scan.locate(document);
        output_file out;
        byte_string write_error;
        if (open_output(out, destination, write_error) == 0) {
            write_document(document, scan.located, nullptr, out);
            (void)commit_output(out, write_error);
        }
        if (!write_error.is_empty() && result == 0) {
            result = 1;
            first_error.assign(write_error);
        }
    }
    if (result != 0) {
        project.error_text.assign(first_error);
        return result;
    }
    if (callback) callback(100, data);
    return 0;
}

}  // namespace

void write_document(const node_tree& document, const located_nodes& located,
                    const std::vector<byte_string>* toc, output_file& out) {
    bool writing = true;
    bool end_seen = false;
    for (const tree_node* n = document.first(); n; n = tree_next(n)) {
        const xml_node* node = as_xml(n);
        if (node == located.start_marker && located.end_marker && !end_seen) {
            writing = false;
        } else if (node == located.end_marker) {
            writing = true;
            end_seen = true;
        } else if (writing) {
            out.write(node->raw.view());
        }
        // passing the insertion place always writes the TOC, even inside an old one it replaces
        if (node == located.insertion && toc) write_pieces(*toc, out);
    }
}

namespace {

int process_file(std::string_view source, std::string_view output, bool insert,
                 const toc_project& project, toc_tree& tree, toc_node*& last, toc_node*& first,
                 byte_string& error_text, progress_callback callback, void* data,
                 const file_run& run) {
    progress_scale part;
    part.callback = callback;
    part.user_data = data;
    start_share(part, insert ? read_share_inserting : read_share);
    node_tree document;
    if (read_document(source, document, error_text, &part) != 0) return 1;
    progress_step_done(part);

    heading_scan scan;
    scan.range_from = project.range_from.to_integer();
    scan.range_to = project.range_to.to_integer();
    scan.numbering = project.process_numbering.to_integer() != 0;
    scan.titles = project.process_title.to_integer() != 0;
    scan.anchor_attributes = normalized_anchor_attributes(project);
    scan.current = last;
    if (scan.run(document, tree) != 0) {
        error_text.assign("Memory error occurred\r\n");
        return 1;
    }
    first = last ? toc_tree::next(last) : tree.first();
    last = scan.current;
    start_share(part, insert ? scan_share_inserting : scan_share);
    progress_report(100, part);
    progress_step_done(part);

    output_file out;
    if (open_output(out, output, error_text) != 0) return 1;
    std::vector<byte_string> toc;
    bool rendered = false;
    if (insert) {
        toc_node* start = first;
        if (scan.titles && start && start->level == 0) start = toc_tree::next(start);
        if (run.layout) {
            if (refresh_template(project, run, error_text) != 0) return 1;
            rendered = render_toc(tree, start, *run.layout, toc) == 0;
        } else {
            rendered = render_toc(tree, start, project.template_file.view(), toc) == 0;
        }
        start_share(part, render_share);
        progress_report(100, part);
        progress_step_done(part);
    }
    // without a new TOC the document is written whole, an old TOC included
    write_document(document, rendered ? scan.located : located_nodes{}, rendered ? &toc : nullptr,
                   out);
    if (commit_output(out, run, error_text) != 0) return 1;
    if (callback) callback(100, data);
    return 0;
}

int clear_file(std::string_view source, std::string_view output, toc_project& project,
               progress_callback callback, void* data, const file_run& run) {
    progress_scale part;
    part.callback = callback;
    part.user_data = data;
    start_share(part, read_share);
    node_tree document;
    if (read_document(source, document, project.error_text, &part) != 0) return 1;
    progress_step_done(part);

    heading_scan scan;
    scan.locate(document);
    const int32_t from = project.range_from.to_integer();
    const int32_t to = project.range_to.to_integer();
    const bool numbering = project.process_numbering.to_integer() != 0;
    for (tree_node* n = document.first(); n;) {
        xml_node& node = *as_xml(n);
        if (in_range(node, from, to) && has_content(node)) {
            clean_heading(node, numbering);
            n = tree_next_skip(n);
        } else {
            n = tree_next(n);
        }
    }
    start_share(part, scan_share);
    progress_report(100, part);
    progress_step_done(part);

    output_file out;
    if (open_output(out, output, project.error_text) != 0) return 1;
    write_document(document, scan.located, nullptr, out);
    if (commit_output(out, run, project.error_text) != 0) return 1;
    if (callback) callback(100, data);
    return 0;
}

}  // namespace

int process_file(std::string_view source, std::string_view output, bool insert,
                 const toc_project& project, toc_tree& tree, toc_node*& last, toc_node*& first,
                 byte_string& error_text, progress_callback callback, void* data) {
    return process_file(source, output, insert, project, tree, last, first, error_text, callback,
                        data, file_run{});
}

int clear_file(std::string_view source, std::string_view output, toc_project& project,
               progress_callback callback, void* data) {
    return clear_file(source, output, project, callback, data, file_run{});
}

int build_toc(toc_project& project, progress_callback callback, void* data) {
    if (!project.single()) return build_multi(project, callback, data);
    progress_scale bar;
    bar.callback = callback;
    bar.user_data = data;
    toc_tree tree;
    tree.indent = byte_string(project.indent.view());
    toc_node* last = nullptr;
    toc_node* first = nullptr;
    return process_file(first_source(project), single_output(project), true, project, tree, last,
                        first, project.error_text, report_scaled_progress, &bar);
}

int clear_toc(toc_project& project, progress_callback callback, void* data) {
    if (!project.single()) return clear_multi(project, callback, data);
    progress_scale bar;
    bar.callback = callback;
    bar.user_data = data;
    return clear_file(first_source(project), single_output(project), project,
                      report_scaled_progress, &bar);
}
