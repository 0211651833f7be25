#include "toc_build.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "files.h"
#include "html_reader.h"
#include "output_file.h"
#include "output_lock.h"
#include "paths.h"
#include "progress.h"
#include "work_ahead.h"
#include "xml_node.h"

namespace {

// Shares of one file's part of the progress bar for reading and scanning it.
struct file_shares {
    double read;
    double scan;
};
constexpr file_shares plain_file{0.7, 0.1};
constexpr file_shares file_with_toc{0.38, 0.03};  // the rest renders its TOC
constexpr double render_share = 0.41;
// Shares of the whole bar in multi mode: all sources, then the destination.
struct run_shares {
    double sources;
    double destination;
};
constexpr run_shares build_run{0.8, 0.05};
constexpr run_shares build_run_local_tocs{0.9, 0.05};
constexpr run_shares clear_run{0.95, 0.02};

// A scale that passes `share` of its percents on, after the shares done.
void start_share(progress_scale& part, double share) {
    part.total_units = 1.0;
    part.step_units = share;
    part.scale = 1.0;
}

// Passes the percent of one piece of work on through `bar`.
progress_function through(progress_scale& bar) {
    return [&bar](int32_t percent) { progress_report(percent, bar); };
}

// Reports a finished share of `part` at once.
void report_share(progress_scale& part, double share) {
    start_share(part, share);
    progress_report(100, part);
    progress_step_done(part);
}

result failure(std::string_view message, std::string_view path) {
    byte_string text(message);
    text.append(path);
    return {status_code::failed, std::move(text)};
}

// The reader takes a page's bytes as ASCII-compatible; a page in UTF-16 or UTF-32 would come
// back with 8-bit markup inside it. `head` is the start of the page.
result check_encoding_of(std::string_view head, std::string_view path) {
    using namespace std::string_view_literals;
    std::string_view encoding;
    if (head.starts_with("\xFF\xFE\0\0"sv))
        encoding = "UTF-32LE";
    else if (head.starts_with("\0\0\xFE\xFF"sv))
        encoding = "UTF-32BE";
    else if (head.starts_with("\xFF\xFE"sv))
        encoding = "UTF-16LE";
    else if (head.starts_with("\xFE\xFF"sv))
        encoding = "UTF-16BE";
    if (encoding.empty()) return result::success();
    byte_string message("Unsupported encoding ");
    message.append(encoding);
    message.append(" in file: ");
    message.append(path);
    return {status_code::failed, std::move(message)};
}

result check_encoding(std::string_view path) {
    byte_string head;
    const file_descriptor file = file_open(path);
    if (file == invalid_handle) return result::success();  // the reader tells why
    (void)file_read(head, 4, file);
    (void)file_close(file);
    return check_encoding_of(head.view(), path);
}

// A UTF-8 byte order mark must stay the first bytes of the file: it goes before the empty
// leading node, so a TOC put at the document's start follows it.
void keep_byte_order_mark_first(node_tree& document) {
    constexpr std::string_view mark = "\xEF\xBB\xBF";
    const tree_node* lead = document.first();
    xml_node* first = lead ? as_xml(lead->next()) : nullptr;
    if (!first || first->first_child() || !first->raw.view().starts_with(mark)) return;
    tree_prepend_top(document, new xml_node(construct_kind::text, mark));
    const byte_string rest(first->raw.view().substr(mark.size()));
    first->raw.assign(rest);
}

// file_stat as the reader sees the path: opening "page.htm/" fails, while stat takes it for
// "page.htm".
bool stat_source(std::string_view source, file_info& info) {
    return !source.ends_with('/') && file_stat(info, source);
}

// Compares bytes given piece by piece with a file's bytes, reading the file as it goes.
class file_comparison {
  public:
    explicit file_comparison(std::string_view path)
        : file_(file_open(path)), same_(file_ != invalid_handle) {}
    file_comparison(const file_comparison&) = delete;
    file_comparison& operator=(const file_comparison&) = delete;
    ~file_comparison() { (void)file_close(file_); }

    void compare(std::string_view bytes) {
        while (same_ && !bytes.empty()) {
            if (at_ == chunk_.view().size()) {
                same_ = file_read(chunk_, html_chunk_size, file_).is_ok() && !chunk_.is_empty();
                at_ = 0;
                continue;
            }
            const size_t n = std::min(bytes.size(), chunk_.view().size() - at_);
            same_ = chunk_.view().substr(at_, n) == bytes.substr(0, n);
            at_ += n;
            bytes.remove_prefix(n);
        }
    }

    // Whether the file holds the bytes compared and no more; a missing file never does. Asked
    // once, at the end.
    bool is_same() {
        if (!same_ || at_ != chunk_.view().size()) return false;
        return file_read(chunk_, 1, file_).is_ok() && chunk_.is_empty();
    }

  private:
    file_descriptor file_;
    bool same_;
    byte_string chunk_;
    size_t at_ = 0;
};

// A build in memory: the bytes meant for each output are compared with the file's instead of
// written. A file that a later step of the build reads again (a source listed twice, the
// template among the sources) keeps the bytes it would have got, for that step to read.
struct dry_files {
    struct kept_file {
        uint64_t device = 0;
        uint64_t inode = 0;
        bool written = false;
        bool fresh = false;  // written since the template was last taken from it
        byte_string bytes;
        byte_string reported;  // the path it is listed as changed under, if it is
    };

    explicit dry_files(dry_build& found) : outcome(found) {}

    // Keeps what is written to the template and to every source listed more than once.
    void keep_rereads(const toc_project& project, const loaded_template& layout);
    void keep(uint64_t device, uint64_t inode) {
        kept.emplace_back();
        kept.back().device = device;
        kept.back().inode = inode;
    }
    kept_file* find(std::string_view path);
    void compare(std::string_view path, const node_tree& document, const located_nodes& located,
                 const heading_openings* openings, const toc_writer* toc);
    // Takes the template from what a source written before it would have put there.
    void refresh(loaded_template& layout);

    dry_build& outcome;
    std::vector<kept_file> kept;
};

// The device and inode numbers of every source found, sorted: as `lock` found them when given.
std::vector<std::pair<uint64_t, uint64_t>> source_files(const toc_project& project,
                                                        output_lock* lock = nullptr) {
    std::vector<std::pair<uint64_t, uint64_t>> sources;
    file_info info;
    for (const byte_string& source : project.source) {
        if (const output_target* target = lock ? lock->find(source.view()) : nullptr) {
            if (target->exists()) sources.emplace_back(target->device(), target->inode());
        } else if (stat_source(source.view(), info)) {
            sources.emplace_back(info.device, info.inode);
        }
    }
    std::sort(sources.begin(), sources.end());
    return sources;
}

void dry_files::keep_rereads(const toc_project& project, const loaded_template& layout) {
    const std::vector<std::pair<uint64_t, uint64_t>> sources = source_files(project);
    for (size_t i = 1; i < sources.size(); ++i) {
        const bool last_of_run = i + 1 == sources.size() || sources[i + 1] != sources[i];
        if (sources[i] == sources[i - 1] && last_of_run) keep(sources[i].first, sources[i].second);
    }
    if (layout.opens) keep(layout.device, layout.inode);
}

dry_files::kept_file* dry_files::find(std::string_view path) {
    file_info info;
    if (kept.empty() || !stat_source(path, info)) return nullptr;
    for (kept_file& file : kept) {
        if (file.device == info.device && file.inode == info.inode) return &file;
    }
    return nullptr;
}

void dry_files::compare(std::string_view path, const node_tree& document,
                        const located_nodes& located, const heading_openings* openings,
                        const toc_writer* toc) {
    file_comparison file(path);
    kept_file* kept_here = find(path);
    // the TOC is kept for the caller, and written from there
    std::vector<byte_string> pieces;
    if (toc) (*toc)([&pieces](std::string_view piece) { pieces.emplace_back(piece); });
    const toc_writer kept_toc = [&pieces](const byte_sink& out) {
        for (const byte_string& piece : pieces)
            out(piece.view());
    };
    byte_string bytes;
    write_document(document, located, openings, toc ? &kept_toc : nullptr,
                   [&](std::string_view part) {
                       file.compare(part);
                       if (kept_here) bytes.append(part);
                   });
    const bool same = file.is_same();
    if (toc) outcome.toc = std::move(pieces);
    if (!kept_here) {
        if (!same) outcome.changed.emplace_back(path);
        return;
    }
    // a file written more than once changes when its last bytes differ from its bytes now
    std::vector<byte_string>& changed = outcome.changed;
    if (!kept_here->reported.is_empty())
        changed.erase(std::find(changed.begin(), changed.end(), kept_here->reported));
    kept_here->reported.clear();
    if (!same) {
        changed.emplace_back(path);
        kept_here->reported = changed.back();
    }
    kept_here->bytes.move_from(bytes);
    kept_here->written = true;
    kept_here->fresh = true;
}

void dry_files::refresh(loaded_template& layout) {
    for (kept_file& file : kept) {
        if (file.device != layout.device || file.inode != layout.inode || !file.fresh) continue;
        layout.text.assign(file.bytes);
        layout.readable = true;
        file.fresh = false;
    }
}

// What a build in memory would have written to the file at `path` by now; null when nothing
// or when no later step was to read it.
const byte_string* written_bytes(std::string_view path, dry_files* dry) {
    const dry_files::kept_file* file = dry ? dry->find(path) : nullptr;
    return file && file->written ? &file->bytes : nullptr;
}

// The levels a project lists.
listed_levels levels_of(const toc_project& project) {
    return {project.range_from, project.range_to};
}

// Reads an HTML file into a document that starts with the empty node the TOC may follow. All
// the document is only written back except what the heading scan looks at, so the rest is
// folded as it is read: headings outside `levels` too. A build with `id` anchors keeps every
// element with an id or anchor name, to give out no id twice. A build in memory reads what it
// would have written to the file before. `opened` receives what the file read was.
result read_document(std::string_view path, node_tree& document, progress_scale* progress,
                     anchor_kind anchors = anchor_kind::name, dry_files* dry = nullptr,
                     const listed_levels& levels = {}, file_info* opened = nullptr) {
    tree_prepend_top(document, new xml_node());
    const progress_function report = progress ? scaled_progress(*progress) : nullptr;
    const node_classifier fold(anchors == anchor_kind::id ? id_scan_role : scan_role, &levels);
    const byte_string* written = written_bytes(path, dry);
    if (written) {
        result read = parse_html_text(written->view(), document, report, html_chunk_size, fold);
        if (read.is_ok()) keep_byte_order_mark_first(document);
        return read;
    }
    // a file is read whole into the bytes the document keeps first, so its start is judged
    // there; a read that failed leaves the encoding, told first, to a look of its own
    const result read = parse_html_file(path, document, report, fold, opened);
    if (!read.is_ok()) {
        if (result checked = check_encoding(path); !checked.is_ok()) return checked;
        return read;
    }
    if (result checked = check_encoding_of(document.first_kept(), path); !checked.is_ok())
        return checked;
    keep_byte_order_mark_first(document);
    return read;
}

// Puts the waiting replacements in place, or fails with the first failure's message.
result commit_batch(output_batch& batch) {
    const result committed = batch.commit();
    if (committed.is_ok()) return committed;
    return result::failure(committed.message().view());
}

// What the files of one run share: the files locked and found before the first read, and in
// multi mode the replacements waiting for their common sync and the template read once. Empty
// for a file written and rendered directly. A build in memory has `dry` and neither batch nor
// lock.
struct file_run {
    output_batch* batch = nullptr;
    loaded_template* layout = nullptr;
    output_lock* lock = nullptr;
    dry_files* dry = nullptr;
    temporaries_ahead* made_ahead = nullptr;  // temporary files made for the lock's targets
};

// Opens `path`: the file the run's lock found for it, when it found one. A build in memory
// opens nothing.
result open_output(output_file& out, std::string_view path, const file_run& run) {
    if (run.dry) return result::success();
    output_target* target = run.lock ? run.lock->find(path) : nullptr;
    const result opened = target ? out.open(*target, run.made_ahead) : out.open(path);
    if (opened.is_ok()) return opened;
    return result::failure(opened.message().view());
}

// A source that the run writes must have been read from the file found for it: a name turned
// into a link meanwhile would carry another file's bytes into this one. `read` is what the read
// opened.
result check_read(std::string_view source, const file_info& read, const file_run& run) {
    const output_target* target = run.lock ? run.lock->find(source) : nullptr;
    if (!target || !target->exists()) return result::success();
    if (read.device == target->device() && read.inode == target->inode()) return result::success();
    return failure("File was replaced during the build: ", source);
}

// Locks the files a run writes until `lock` goes, before any of them is read.
result lock_outputs(output_lock& lock, const std::vector<byte_string>& files, std::string_view more,
                    const lock_wait& wait) {
    std::vector<std::string_view> paths;
    for (const byte_string& file : files)
        paths.push_back(file.view());
    if (!more.empty()) paths.push_back(more);
    return lock.lock(paths, wait);
}

// Writes the document into `out`, opened before, and puts it in place, or leaves it waiting in
// the run's batch. A build in memory compares the bytes with those at `path` instead.
result write_output(output_file& out, std::string_view path, const node_tree& document,
                    const located_nodes& located, const heading_openings* openings,
                    const toc_writer* toc, const file_run& run) {
    if (run.dry) {
        run.dry->compare(path, document, located, openings, toc);
        return result::success();
    }
    // the document stays as it is until the commit; the bytes made for it, the TOC's among
    // them, are copied as they come
    const byte_sink copy = [&out](std::string_view bytes) { out.write(bytes); };
    const toc_writer copied = [&copy, toc](const byte_sink&) { (*toc)(copy); };
    write_document(
        document, located, openings, toc ? &copied : nullptr,
        [&out](std::string_view bytes) { out.write_lasting(bytes); }, &copy);
    const result committed = run.batch ? out.commit_to(*run.batch) : out.commit();
    if (committed.is_ok()) return committed;
    return result::failure(committed.message().view());
}

// Reads the template again when a waiting replacement is of it, that is when a source written
// earlier in the build was the template. Fails when putting the waiting files in place failed.
result refresh_template(const toc_project& project, const file_run& run) {
    loaded_template& layout = *run.layout;
    if (run.dry) {
        run.dry->refresh(layout);
        return result::success();
    }
    if (!run.batch || !run.batch->holds(layout.device, layout.inode)) return result::success();
    if (result committed = commit_batch(*run.batch); !committed.is_ok()) return committed;
    load_template(project.template_file.view(), layout);
    return result::success();
}

// What prepare_source found of a source.
struct source_info {
    file_info info;
    bool found = false;  // as stat_source tells
};

// Readies the run's batch for reading `source`: the replacement of the file it reaches goes in
// place first, and so do all before a device or pipe, which is written at once. Fails with the
// message when putting files in place failed; `source` is looked at either way.
result prepare_source(std::string_view source, const file_run& run, source_info& found) {
    found.found = stat_source(source, found.info);
    if (!run.batch) return result::success();
    output_batch& batch = *run.batch;
    const bool waits = found.found ? batch.holds(found.info.device, found.info.inode) ||
                                         !S_ISREG(found.info.attributes)
                                   : batch.holds(source);
    if (!waits) return result::success();
    result committed = commit_batch(batch);
    found.found = stat_source(source, found.info);
    return committed;
}

// The part of the progress bar a source takes: its size, or a large share when it has none.
double size_units(const source_info& source) {
    return static_cast<double>(source.found ? source.info.size : uint64_t{UINT32_MAX});
}

bool in_range(const xml_node& node, int32_t from, int32_t to) {
    if (node.kind != construct_kind::start_tag) return false;
    const int32_t level = heading_level(node);
    return level > 0 && level >= from && level <= to;
}

bool is_text(const xml_node& node) {
    return node.kind == construct_kind::text || node.kind == construct_kind::placeholder;
}

// Whether a build has touched the page: it holds a TOC between both markers, or one of the
// program's anchors or ids in a heading in range. A clear leaves any other page as it is.
bool is_built(const node_tree& document, const located_nodes& located, const toc_project& project) {
    if (located.start_marker && located.end_marker) return true;
    for (const tree_node* n = document.first(); n; n = tree_next(n)) {
        if (!in_range(*as_xml(n), project.range_from, project.range_to)) continue;
        if (has_build_id(*as_xml(n))) return true;
        const tree_node* after = tree_next_skip(n);
        for (const tree_node* d = n->first_child(); d && d != after; d = tree_next(d)) {
            if (is_program_anchor(*as_xml(d))) return true;
        }
    }
    return false;
}

// Empties the program's anchor tags of one heading, drops the id a build added to it and strips
// its number when asked.
void clean_heading(xml_node& heading, bool numbering) {
    remove_program_anchor(heading);
    (void)remove_build_id(heading);
    if (!numbering) return;
    strip_state strip;
    strip.start(heading);
    const tree_node* after = tree_next_skip(&heading);
    for (tree_node* n = heading.first_child(); n && n != after; n = tree_next(n)) {
        if (is_text(*as_xml(n))) strip.strip(*as_xml(n));
    }
}

byte_string normalized_anchor_attributes(const toc_project& project) {
    const byte_string& attributes = project.named_anchor_attributes;
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
    return project.is_dest_as_source ? first_source(project) : project.destination.view();
}

// A source of a multi-file build read by a worker ahead of its turn.
struct early_read {
    node_tree document;
    result read;
    file_info opened;
};

// process_file and clear_file, writing through `run`; each takes the document from `early` when
// given instead of reading it.
result process_file(std::string_view source, std::string_view output, build_state& state,
                    const file_run& run, early_read* early = nullptr);
result clear_file(std::string_view source, std::string_view output, const toc_project& project,
                  const progress_function& progress, const file_run& run,
                  early_read* early = nullptr);

// A FIFO, device or socket is refused before any file is read or written: reading one could
// block or never end. A missing path or a directory is left to the caller's own checks.
result check_regular(std::string_view path) {
    file_info info;
    if (stat_source(path, info) && !info.is_directory && !S_ISREG(info.attributes))
        return failure("Not a regular file: ", path);
    return result::success();
}

// The project file as found once for the checks of all the outputs of a run.
struct project_file {
    explicit project_file(const toc_project& project)
        : found(!project.file_path.is_empty() && file_stat(info, project.file_path.view())) {}
    file_info info;
    bool found;
};

// Writing the TOC or a source's new bytes over the project file would destroy the project.
result check_not_project(const project_file& project, std::string_view output,
                         const file_info& found) {
    if (project.found && found.device == project.info.device && found.inode == project.info.inode)
        return failure("Can't write over the project file: ", output);
    return result::success();
}

result check_not_project(const project_file& project, std::string_view output) {
    file_info info;
    if (!stat_source(output, info)) return result::success();
    return check_not_project(project, output, info);
}

// The source, output and template of a single-file build or clear.
result check_single(const toc_project& project) {
    for (std::string_view path :
         {first_source(project), single_output(project), project.template_file.view()}) {
        if (result checked = check_regular(path); !checked.is_ok()) return checked;
    }
    return check_not_project(project_file(project), single_output(project));
}

// A source must be a regular file in an encoding the reader takes; `info` gets what was found.
result check_source(std::string_view source, file_info& info) {
    if (!file_stat(info, source) || info.is_directory)
        return failure("File doesn't exist: ", source);
    if (!S_ISREG(info.attributes)) return failure("Not a regular file: ", source);
    return check_encoding(source);
}

// The bytes of a run's sources, in all and of the largest one.
struct source_sizes {
    double total = 0;
    uint64_t largest = 0;
};

// Checks shared by the multi-mode build and clear: at least one source and each an existing
// file. Measures their sizes; `found` gets what was found of each source. Many sources are looked
// at on workers, while the first failure in their order is still the one told.
result check_sources(const toc_project& project, source_sizes& sizes,
                     std::vector<file_info>& found) {
    if (project.source.empty())
        return result::failure("At least one source file must be specified");
    constexpr size_t many_sources = 64;
    const size_t count = project.source.size();
    sizes = source_sizes{};
    found.assign(count, file_info());
    std::vector<result> checked(count, result::success());
    work_ahead workers(count, count >= many_sources ? build_threads() : 0, count,
                       [&project, &found, &checked](size_t i, size_t) {
                           checked[i] = check_source(project.source[i].view(), found[i]);
                       });
    for (size_t i = 0; i < count; ++i) {
        workers.take(i);
        if (!checked[i].is_ok()) return std::move(checked[i]);
        // Paths carry no drive letters here, so every source is on the destination's drive.
        sizes.total += static_cast<double>(found[i].size);
        sizes.largest = std::max(sizes.largest, found[i].size);
    }
    return result::success();
}

// The checks of a multi-file build before any file is read; loads the template into `layout`.
result check_build(const toc_project& project, loaded_template& layout, source_sizes& sizes) {
    const std::string_view destination = project.destination.view();
    if (destination.empty()) return result::failure("Destination file must be specified");
    std::vector<file_info> sources;
    if (result checked = check_sources(project, sizes, sources); !checked.is_ok()) return checked;
    const project_file own(project);
    for (size_t i = 0; i < sources.size(); ++i) {
        if (result checked = check_not_project(own, project.source[i].view(), sources[i]);
            !checked.is_ok())
            return checked;
    }
    if (result checked = check_not_project(own, destination); !checked.is_ok()) return checked;
    if (result checked = check_regular(project.template_file.view()); !checked.is_ok())
        return checked;
    load_template(project.template_file.view(), layout);
    if (!layout.opens) return failure("Can't open template file: ", project.template_file.view());
    file_info info;
    if (!file_stat(info, destination)) return result::success();
    if (info.is_directory) return failure("Can't open file for writing: ", destination);
    if (result checked = check_regular(destination); !checked.is_ok()) return checked;
    if (result checked = check_encoding(destination); !checked.is_ok()) return checked;
    // the TOC written over a source would take its headings with it
    for (const file_info& source : sources) {
        if (source.device == info.device && source.inode == info.inode)
            return failure("Destination file is one of the sources: ", destination);
    }
    return result::success();
}

// The sources of a multi-file build, read by workers ahead of their turn. A document goes back
// to the worker that read it to be freed: its pieces return to the heap of the thread that
// releases them, and so serve that worker's next sources.
class early_reads {
  public:
    // At most `threads` workers, and no more than sources; `largest` is the size of the largest
    // source when checked. `anchors` folds the documents as the caller's own reads would.
    early_reads(const toc_project& project, int32_t threads, anchor_kind anchors, uint64_t largest)
        : project_(project),
          anchors_(anchors),
          reads_(project.source.size()),
          finished_(worker_count(project, threads)),
          ahead_(project.source.size(), static_cast<int32_t>(finished_.size()),
                 documents_ahead(finished_.size(), largest),
                 [this](size_t item, size_t worker) { read(item, worker); }) {}

    // The read of source `item`, the source after the one taken last.
    early_read& take(size_t item) {
        ahead_.take(item);
        return reads_[item];
    }
    // Hands the document of `item`, done with, back to its worker.
    void retire(size_t item) {
        const std::lock_guard lock(mutex_);
        finished_[item % ahead_.workers()].push_back(std::move(reads_[item].document));
    }

  private:
    static size_t worker_count(const toc_project& project, int32_t threads) {
        return std::min(project.source.size(), static_cast<size_t>(std::max(threads, 1)));
    }
    // A few documents in flight per worker keep the workers busy without holding them all. Of
    // small sources up to four times as many, as long as their bytes stay within a few
    // megabytes: the writer then waits less for the next one.
    static size_t documents_ahead(size_t workers, uint64_t largest) {
        constexpr uint64_t bytes_ahead = uint64_t{8} << 20;
        const uint64_t fit = bytes_ahead / std::max<uint64_t>(largest, 1);
        return static_cast<size_t>(std::clamp<uint64_t>(fit, 2 * workers, 8 * workers));
    }

    void read(size_t item, size_t worker) {
        std::vector<node_tree> done;
        {
            const std::lock_guard lock(mutex_);
            done.swap(finished_[worker]);
        }
        done.clear();
        early_read& source = reads_[item];
        source.read = read_document(project_.source[item].view(), source.document, nullptr,
                                    anchors_, nullptr, levels_of(project_), &source.opened);
    }

    const toc_project& project_;
    anchor_kind anchors_;
    std::vector<early_read> reads_;
    std::mutex mutex_;
    std::vector<std::vector<node_tree>> finished_;  // per worker
    work_ahead ahead_;  // last, so that its workers stop before the rest goes
};

// Whether two sources, or a source and the run's template, are one file: a later read must
// then find what an earlier write made, so those sources are read in turn.
bool shares_a_file(const toc_project& project, const file_run& run) {
    std::vector<std::pair<uint64_t, uint64_t>> files = source_files(project, run.lock);
    const loaded_template* layout = run.layout;
    if (std::adjacent_find(files.begin(), files.end()) != files.end()) return true;
    return layout &&
           std::binary_search(files.begin(), files.end(), std::pair(layout->device, layout->inode));
}

// The read of source `item`, done ahead, with what it opened as `found`. Sources are read ahead
// only when none shares a file with another or the template, so no replacement waiting in the
// batch is of this source's file, which prepare_source would otherwise look for.
early_read* take_ahead(early_reads& ahead, size_t item, source_info& found) {
    early_read& early = ahead.take(item);
    found.found = early.read.is_ok();
    found.info = early.opened;
    return &early;
}

// Starts workers reading the sources ahead when that pays and is safe: with several threads and
// sources, and no file read twice.
void start_early_reads(std::optional<early_reads>& ahead, const toc_project& project,
                       int32_t threads, const file_run& run, anchor_kind anchors,
                       uint64_t largest) {
    if (threads > 1 && project.source.size() > 1 && !shares_a_file(project, run))
        ahead.emplace(project, threads, anchors, largest);
}

// Starts making the temporary files of the sources, the files a multi-file run replaces, ahead
// of the writer, when the sources are read ahead too and the run's lock found each of them.
void start_making_ahead(std::optional<temporaries_ahead>& made, const toc_project& project,
                        const std::optional<early_reads>& ahead, file_run& run) {
    if (!ahead || !run.batch || !run.lock) return;
    std::vector<const output_target*> targets;
    for (const byte_string& source : project.source) {
        const output_target* target = run.lock->find(source.view());
        if (!target) return;
        targets.push_back(target);
    }
    run.made_ahead = &made.emplace(targets);
}

// The sources of a multi-file build, each anchored, numbered and written in turn; with more than
// one thread, workers read the next few sources meanwhile. The replacements may still wait in
// `run`'s batch.
result build_sources(const toc_project& project, toc_tree& tree, progress_scale& bar,
                     const file_run& shared, int32_t threads, uint64_t largest) {
    file_run run = shared;
    const link_base base(project.destination.view());
    build_state state(project, tree);
    state.insert_toc = project.insert_local_toc;
    state.links_take_path = true;
    state.progress = through(bar);
    const std::vector<byte_string>& sources = project.source;
    std::optional<early_reads> ahead;
    start_early_reads(ahead, project, threads, run, project.anchor_style, largest);
    std::optional<temporaries_ahead> made;
    start_making_ahead(made, project, ahead, run);
    for (size_t i = 0; i < sources.size(); ++i) {
        const std::string_view source = sources[i].view();
        source_info found;
        early_read* early = ahead ? take_ahead(*ahead, i, found) : nullptr;
        if (!early) {
            if (result prepared = prepare_source(source, run, found); !prepared.is_ok())
                return prepared;
        }
        bar.step_units = size_units(found);
        state.link_path = link_path(base, source);
        if (result done = process_file(source, source, state, run, early); !done.is_ok())
            return done;
        if (ahead) ahead->retire(i);
        progress_step_done(bar);
    }
    return result::success();
}

// The destination of a multi-file build, with the TOC of every source's items.
result build_destination(const toc_project& project, toc_tree& tree, progress_scale& bar,
                         const file_run& run) {
    const std::string_view destination = project.destination.view();
    bar.scale = build_run.destination;
    bar.step_units = bar.total_units;
    node_tree document;
    file_info info;
    if (file_stat(info, destination)) {
        // an existing destination is never replaced by what could be read of it
        file_info opened;
        if (result read =
                read_document(destination, document, &bar, anchor_kind::name, run.dry, {}, &opened);
            !read.is_ok())
            return read;
        if (result same = check_read(destination, opened, run); !same.is_ok()) return same;
    } else {
        tree_prepend_top(document, new xml_node());
    }
    progress_step_done(bar);

    heading_scan scan;
    scan.locate(document);
    // the sources are in place by now, the template among them; in memory the template read
    // before learns what they would have become
    loaded_template read_now;
    if (run.dry) {
        (void)refresh_template(project, run);
    } else {
        load_template(project.template_file.view(), read_now);
    }
    const loaded_template& layout = run.dry ? *run.layout : read_now;
    if (!renders_toc(layout, tree.first()))
        return failure("Can't open template file: ", project.template_file.view());
    const toc_writer toc = [&tree, &layout](const byte_sink& bytes) {
        render_toc(tree, tree.first(), layout, bytes);
    };
    output_file out;
    if (result opened = open_output(out, destination, run); !opened.is_ok()) return opened;
    return write_output(out, destination, document, scan.located, nullptr, &toc,
                        file_run{nullptr, nullptr, run.lock, run.dry});
}

// The multi-file build; in memory with `dry`, which then takes no lock.
result build_multi(const toc_project& project, const progress_function& progress,
                   const lock_wait& wait, dry_files* dry, int32_t threads) {
    source_sizes sizes;
    loaded_template layout;
    if (result checked = check_build(project, layout, sizes); !checked.is_ok()) return checked;
    output_lock lock;
    if (dry) {
        dry->keep_rereads(project, layout);
    } else if (result locked = lock_outputs(lock, project.source, project.destination.view(), wait);
               !locked.is_ok()) {
        return locked;
    }
    progress_scale bar{sizes.total, 1.0,
                       (project.insert_local_toc ? build_run_local_tocs : build_run).sources, 0,
                       progress};
    toc_tree tree;
    tree.indent = project.indent;
    output_batch batch;
    const file_run run{dry ? nullptr : &batch, &layout, dry ? nullptr : &lock, dry};
    result built = build_sources(project, tree, bar, run, threads, sizes.largest);
    // the files done before a failure are put in place, as if each had been written alone; a
    // failure among them is the earlier one
    if (result committed = commit_batch(batch); !committed.is_ok()) built = committed;
    if (!built.is_ok()) return {status_code::source_failed, built.message()};
    if (result written = build_destination(project, tree, bar, run); !written.is_ok())
        return written;
    if (progress) progress(100);
    return result::success();
}

// The destination of a multi-file clear loses its TOC; one that can't be read is left alone.
result clear_destination(std::string_view destination, progress_scale& bar, output_lock& lock) {
    bar.scale = clear_run.destination;
    bar.step_units = bar.total_units;
    node_tree document;
    file_info opened;
    if (destination.empty() ||
        !read_document(destination, document, &bar, anchor_kind::name, nullptr, {}, &opened)
             .is_ok())
        return result::success();
    const file_run run{nullptr, nullptr, &lock};
    if (result same = check_read(destination, opened, run); !same.is_ok()) return same;
    heading_scan scan;
    scan.locate(document);
    // a lone end marker is no TOC of a build: the page keeps it
    if (!scan.located.start_marker) scan.located = {};
    output_file out;
    if (result opened = open_output(out, destination, run); !opened.is_ok()) return opened;
    return write_output(out, destination, document, scan.located, nullptr, nullptr, run);
}

result clear_multi(const toc_project& project, const progress_function& progress,
                   const lock_wait& wait) {
    source_sizes sizes;
    std::vector<file_info> sources;
    if (result checked = check_sources(project, sizes, sources); !checked.is_ok()) return checked;
    // a destination that isn't there is left alone, as one that can't be read
    file_info destination;
    const bool has_destination = stat_source(project.destination.view(), destination);
    output_lock lock;
    if (result locked = lock_outputs(lock, project.source,
                                     has_destination ? project.destination.view() : "", wait);
        !locked.is_ok())
        return locked;
    progress_scale bar{sizes.total, 1.0, clear_run.sources, 0, progress};

    // every file is tried; the first failure in the order of the files is the one reported
    result outcome = result::success();
    const auto note = [&outcome](result next) {
        if (outcome.is_ok()) outcome = std::move(next);
    };
    output_batch batch(batch_failure::go_on);
    file_run run{&batch, nullptr, &lock};
    std::optional<early_reads> ahead;
    start_early_reads(ahead, project, build_threads(), run, anchor_kind::name, sizes.largest);
    std::optional<temporaries_ahead> made;
    start_making_ahead(made, project, ahead, run);
    for (size_t i = 0; i < project.source.size(); ++i) {
        const std::string_view source = project.source[i].view();
        source_info found;
        early_read* early = ahead ? take_ahead(*ahead, i, found) : nullptr;
        if (!early) note(prepare_source(source, run, found));
        bar.step_units = size_units(found);
        result cleared = clear_file(source, source, project, through(bar), run, early);
        if (ahead) ahead->retire(i);
        if (!cleared.is_ok()) {
            // the waiting files come before whatever fails next
            note(commit_batch(batch));
            note(std::move(cleared));
        }
        progress_step_done(bar);
    }
    note(commit_batch(batch));
    note(clear_destination(project.destination.view(), bar, lock));
    if (!outcome.is_ok()) return outcome;
    if (progress) progress(100);
    return result::success();
}

}  // namespace

void write_document(const node_tree& document, const located_nodes& located,
                    const heading_openings* openings, const toc_writer* toc, const byte_sink& out,
                    const byte_sink* made) {
    bool writing = true;
    bool end_seen = false;
    // the anchored headings come in document order, as the scan met them
    size_t next_opening = 0;
    const size_t openings_count = openings ? openings->headings.size() : 0;
    byte_string opening;
    for (const tree_node* n = document.first(); n; n = tree_next(n)) {
        const xml_node* node = as_xml(n);
        const bool opens =
            next_opening < openings_count && openings->headings[next_opening].heading == node;
        const std::string_view raw = node->raw.view();
        if (node == located.start_marker && located.end_marker && !end_seen) {
            writing = false;
        } else if (node == located.end_marker) {
            writing = true;
            end_seen = true;
        } else if (writing && opens && openings->headings[next_opening].item->made_id) {
            const size_t place = build_id_place(raw);
            out(raw.substr(0, place));
            byte_string id;
            toc_tree::append_made_id(*openings->headings[next_opening].item, id);
            opening.clear();
            append_build_id(raw, place, id.view(), opening);
            (made ? *made : out)(opening.view());
            out(raw.substr(place));
        } else if (writing) {
            out(raw);
        }
        if (opens) {
            opening.clear();
            openings->append(*openings->headings[next_opening++].item, opening);
            if (writing) (made ? *made : out)(opening.view());
        }
        // passing the insertion place always writes the TOC, even inside an old one it replaces
        if (node == located.insertion && toc) (*toc)(out);
    }
}

namespace {

// The template for the TOC of the file just scanned, the run's or one read into `read_now`;
// none, without an error, when it can't render the file's items.
result file_template(const build_state& state, const toc_node* start, const file_run& run,
                     loaded_template& read_now, const loaded_template*& layout) {
    layout = nullptr;
    if (run.layout) {
        if (result refreshed = refresh_template(state.project, run); !refreshed.is_ok())
            return refreshed;
    } else {
        load_template(state.project.template_file.view(), read_now);
    }
    const loaded_template& found = run.layout ? *run.layout : read_now;
    if (renders_toc(found, start)) layout = &found;
    return result::success();
}

heading_scan scan_for(const build_state& state) {
    const toc_project& project = state.project;
    heading_scan scan;
    scan.range_from = project.range_from;
    scan.range_to = project.range_to;
    scan.numbering = project.process_numbering;
    scan.titles = project.process_title;
    scan.anchor_attributes = normalized_anchor_attributes(project);
    scan.anchors = project.anchor_style;
    scan.current = state.last;
    return scan;
}

// Reads `source` into `read` unless a worker already did (`early`), then checks that the file
// read is the one the run's lock found.
result read_source(std::string_view source, const file_run& run, progress_scale& part,
                   anchor_kind anchors, const listed_levels& levels, bool early, early_read& read) {
    if (early) {
        if (!read.read.is_ok()) return std::move(read.read);
        progress_report(100, part);
    } else if (result done = read_document(source, read.document, &part, anchors, run.dry, levels,
                                           &read.opened);
               !done.is_ok()) {
        return done;
    }
    return check_read(source, read.opened, run);
}

// Settles the links and texts of a file's items when it goes, before the file's document (see
// process_file).
class settled_items {
  public:
    explicit settled_items(build_state& state) : state_(state) {}
    settled_items(const settled_items&) = delete;
    settled_items& operator=(const settled_items&) = delete;
    ~settled_items() {
        for (toc_node* item = state_.first; item; item = toc_tree::next(item)) {
            if (state_.links_take_path) {
                byte_string link(state_.link_path);
                state_.tree.append_link(*item, link);
                item->link.move_from(link);
                item->made_anchor = false;
                item->made_id = false;
                // a copy of a view holds its bytes itself
                if (item->text.is_view()) item->text = byte_string(item->text);
            } else if (item->text.is_view()) {
                // a given id is made of the text
                if (item->made_id) {
                    state_.tree.append_link(*item, item->link);
                    item->made_id = false;
                }
                item->text.reset(0);
            }
        }
    }

  private:
    build_state& state_;
};

result process_file(std::string_view source, std::string_view output, build_state& state,
                    const file_run& run, early_read* early) {
    const bool insert = state.insert_toc;
    progress_scale part;
    part.report = state.progress;
    const file_shares& shares = insert ? file_with_toc : plain_file;
    start_share(part, shares.read);
    early_read own;
    // a document read early stays with its read, to be freed on the thread that read it
    early_read& read = early ? *early : own;
    if (result done = read_source(source, run, part, state.project.anchor_style,
                                  levels_of(state.project), early != nullptr, read);
        !done.is_ok())
        return done;
    node_tree& document = read.document;
    progress_step_done(part);

    heading_scan scan = scan_for(state);
    scan.run(document, state.tree);
    state.first = state.last ? toc_tree::next(state.last) : state.tree.first();
    state.last = scan.current;
    const settled_items settled(state);
    report_share(part, shares.scan);

    output_file out;
    if (result opened = open_output(out, output, run); !opened.is_ok()) return opened;
    toc_node* start = state.first;
    if (scan.titles && start && start->level == 0) start = toc_tree::next(start);
    loaded_template read_now;
    const loaded_template* layout = nullptr;
    if (insert) {
        if (result found = file_template(state, start, run, read_now, layout); !found.is_ok())
            return found;
    }
    // rendered straight into the file as it is written
    const toc_writer toc = [&state, start, layout](const byte_sink& bytes) {
        render_toc(state.tree, start, *layout, bytes);
    };
    // without a new TOC the document is written whole, an old TOC included
    if (result written =
            write_output(out, output, document, layout ? scan.located : located_nodes{},
                         &scan.openings, layout ? &toc : nullptr, run);
        !written.is_ok())
        return written;
    if (insert) report_share(part, render_share);
    if (state.progress) state.progress(100);
    return result::success();
}

// Empties the program's anchors of every heading in range and strips their numbers when asked.
void clean_headings(node_tree& document, const toc_project& project) {
    for (tree_node* n = document.first(); n;) {
        xml_node& node = *as_xml(n);
        if (in_range(node, project.range_from, project.range_to) && has_content(node)) {
            clean_heading(node, project.process_numbering);
            n = tree_next_skip(n);
        } else {
            n = tree_next(n);
        }
    }
}

result clear_file(std::string_view source, std::string_view output, const toc_project& project,
                  const progress_function& progress, const file_run& run, early_read* early) {
    progress_scale part;
    part.report = progress;
    start_share(part, plain_file.read);
    early_read own;
    early_read& read = early ? *early : own;
    if (result done = read_source(source, run, part, anchor_kind::name, levels_of(project),
                                  early != nullptr, read);
        !done.is_ok())
        return done;
    node_tree& document = read.document;
    progress_step_done(part);

    heading_scan scan;
    scan.locate(document);
    if (is_built(document, scan.located, project))
        clean_headings(document, project);
    else
        scan.located = {};
    report_share(part, plain_file.scan);

    output_file out;
    if (result opened = open_output(out, output, run); !opened.is_ok()) return opened;
    if (result written = write_output(out, output, document, scan.located, nullptr, nullptr, run);
        !written.is_ok())
        return written;
    if (progress) progress(100);
    return result::success();
}

}  // namespace

result process_file(std::string_view source, std::string_view output, build_state& state) {
    return process_file(source, output, state, file_run{});
}

result clear_file(std::string_view source, std::string_view output, const toc_project& project,
                  const progress_function& progress) {
    return clear_file(source, output, project, progress, file_run{});
}

namespace {

// The build of either mode; in memory with `dry`, which then takes no lock.
result build_project(const toc_project& project, const progress_function& progress,
                     const lock_wait& wait, dry_files* dry, int32_t threads) {
    if (!project.single()) return build_multi(project, progress, wait, dry, threads);
    if (result checked = check_single(project); !checked.is_ok()) return checked;
    output_lock lock;
    if (!dry) {
        if (result locked = lock_outputs(lock, {}, single_output(project), wait); !locked.is_ok())
            return locked;
    }
    toc_tree tree;
    tree.indent = project.indent;
    build_state state(project, tree);
    state.insert_toc = true;
    state.progress = progress;
    return process_file(first_source(project), single_output(project), state,
                        file_run{nullptr, nullptr, dry ? nullptr : &lock, dry});
}

}  // namespace

int32_t build_threads() {
    return std::max(1, static_cast<int32_t>(std::thread::hardware_concurrency()));
}

result build_toc(const toc_project& project, const progress_function& progress,
                 const lock_wait& wait, int32_t threads) {
    return build_project(project, progress, wait, nullptr, threads);
}

result dry_build_toc(const toc_project& project, dry_build& outcome,
                     const progress_function& progress) {
    outcome = {};
    dry_files dry(outcome);
    return build_project(project, progress, {}, &dry, build_threads());
}

result clear_toc(const toc_project& project, const progress_function& progress,
                 const lock_wait& wait) {
    if (!project.single()) return clear_multi(project, progress, wait);
    if (result checked = check_single(project); !checked.is_ok()) return checked;
    output_lock lock;
    if (result locked = lock_outputs(lock, {}, single_output(project), wait); !locked.is_ok())
        return locked;
    return clear_file(first_source(project), single_output(project), project, progress,
                      file_run{nullptr, nullptr, &lock});
}
