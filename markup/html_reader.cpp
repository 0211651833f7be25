#include "html_reader.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <limits>
#include <utility>

#include "background_read.h"
#include "files.h"
#include "small_heap.h"

namespace {

constexpr int32_t largest_text_chunk = 1048576;
// Text read from a source goes to the nodes in pieces of about this size.
constexpr int32_t text_piece_bytes = 65536;

// Percent of a source read, reported once per chunk.
class percent_meter {
  public:
    // A size of all bits set stands for an unknown size: only the final 100 is reported.
    percent_meter(const progress_function& report, uint64_t size) : report_(report), size_(size) {}

    void report(uint64_t done) const {
        if (!report_ || size_ == std::numeric_limits<uint64_t>::max()) return;
        // a file that grew while it was read, or one that tells no size (a pipe), counts as done
        const uint64_t percent = size_ == 0 || done >= size_ ? 100 : done * 100 / size_;
        report_(static_cast<int32_t>(percent));
    }
    void report_done() const {
        if (report_) report_(100);
    }

  private:
    const progress_function& report_;
    uint64_t size_;
};

result file_failure(std::string_view message, std::string_view path) {
    byte_string text(message);
    text.append(path);
    return {status_code::failed, std::move(text)};
}

// Elements outside the table that never take an end tag either.
bool takes_no_end_tag(std::string_view name) {
    for (std::string_view empty : {"embed", "keygen", "source", "track", "wbr"})
        if (is_name(name, empty)) return true;
    return false;
}

// HTML5's block elements outside the table: a start tag of one ends an open `p` as a `div`'s does.
bool is_block_outside_table(std::string_view name) {
    for (std::string_view block :
         {"article", "aside", "details", "dialog", "figcaption", "figure", "footer", "header",
          "hgroup", "listing", "main", "nav", "plaintext", "search", "section", "summary", "xmp"})
        if (is_name(name, block)) return true;
    return false;
}

constexpr int32_t element_div = element_index("div");

// The name of a tag node as written, and the element the node takes for it, found in one pass
// over the name.
struct tag_name {
    std::string_view written;
    int16_t element;
};
tag_name read_tag_name(const xml_node& node) {
    const std::string_view raw = node.raw.view();
    const size_t from = node.kind == construct_kind::end_tag ? 2 : 1;
    uint32_t h = element_lookup::hash_start;
    size_t end = from;
    for (; end < raw.size() && !ends_tag_name(raw[end]); ++end)
        h = element_lookup::hash_step(h, lower_ascii(raw[end]));
    const std::string_view written = end > from ? raw.substr(from, end - from) : std::string_view();
    const int32_t element = written_element_of_hash(written, element_lookup::hash_end(h));
    if (element >= 0) return {written, static_cast<int16_t>(element)};
    return {written, written_heading_digit(written) >= 0 ? int16_t{-1} : no_heading_outside_table};
}

// The elements of the table whose content is raw text (see html_reader::start_raw_text).
constexpr element_set raw_text_in_table = [] {
    element_set set;
    for (std::string_view name : {"script", "style", "title", "textarea", "iframe", "noframes"})
        set.add(element_index(name));
    return set;
}();

constexpr std::string_view memory_message = "Memory error occurred";
constexpr std::string_view too_large_message = "Source file is too large: ";

}  // namespace

html_reader::html_reader(node_tree& tree) : tree_(tree) {
    configure_for_html(*this);
    // it never reports a markup error, so no position
    stop_counting();
    innermost_known_.fill(-1);
}

html_reader::~html_reader() {
    // what an unfinished reading holds outside the tree goes in, as it stands
    if (in_region()) unfold_region();
}

void html_reader::read_from(std::string_view source) {
    source_ = source;
    // the nodes view the source: the scanner need not hold a long text whole
    set_text_piece_limit(text_piece_bytes);
}

std::string_view html_reader::token_bytes() const {
    const std::string_view token = token_view();
    const auto size = static_cast<int64_t>(token.size());
    const int64_t end = token_end();
    if (size == 0 || end < size || end > static_cast<int64_t>(source_.size())) return token;
    // the scanner hands on the bytes it read in order: a token is the last ones before its end
    const std::string_view read(source_.data() + (end - size), token.size());
    assert(read == token);
    return read.front() == token.front() && read.back() == token.back() ? read : token;
}

void html_reader::set_bytes(byte_string& text, std::string_view bytes) const {
    if (in_source(bytes))
        text.view_of(bytes);
    else
        text.assign(bytes.data(), static_cast<int32_t>(bytes.size()));
}

// A run grows by many small pieces: its room grows to the whole piece of storage it gets, and
// at least doubles past that, where the buffer would add a sixteenth.
void html_reader::append_to_run(byte_string& run, std::string_view bytes) const {
    if (bytes.empty()) return;
    if (in_source(bytes)) {
        if (run.is_empty()) {
            run.view_of(bytes);
            return;
        }
        if (run.is_view() && run.view().data() + run.length() == bytes.data()) {
            run.widen_view(static_cast<int32_t>(bytes.size()));
            return;
        }
    }
    const int64_t needed = int64_t{run.length()} + static_cast<int64_t>(bytes.size());
    if (needed > run.capacity()) {
        int64_t room = std::max<int64_t>(needed, int64_t{2} * run.capacity());
        if (static_cast<uint64_t>(needed) <= small_heap::largest)
            room = static_cast<int64_t>(small_heap::class_bytes(static_cast<size_t>(needed)));
        run.reserve(static_cast<int32_t>(std::min<int64_t>(room, INT32_MAX - 64)));
    }
    run.append(bytes);
}

scan_status html_reader::feed(byte_string&& chunk) {
    queue_chunk(std::move(chunk));
    return scan_and_release();
}

scan_status html_reader::on_end() {
    const scan_status status = markup_scanner::on_end();
    // elements left open have no end to fold at
    if (in_region()) unfold_region();
    return status;
}

bool html_reader::on_text() {
    if (token().is_empty()) return true;
    // text is never a landmark: inside the region or right after a run it needs no node
    if (in_region()) {
        append_to_run(region_run_->raw, token_bytes());
        return true;
    }
    if (run_ && folds_at(path_.size())) {
        append_to_run(run_->raw, token_bytes());
        return true;
    }
    auto* node = new xml_node();
    node->kind = construct_kind::text;
    set_bytes(node->raw, token_bytes());
    place(node, false);
    return true;
}

bool html_reader::on_construct() {
    const construct_kind scanned = kind();
    if (template_depth_ > 0 && !closes_template(scanned)) return on_text();
    // "<>" is no markup to a browser
    if (scanned == construct_kind::unknown_markup) return on_text();
    auto* node = new xml_node();
    node->kind = scanned;
    set_bytes(node->raw, token_bytes());

    if (scanned == construct_kind::start_tag) return on_start_tag(node);
    if (scanned == construct_kind::end_tag) {
        node->element = read_tag_name(*node).element;
        const int32_t open = innermost_open(*node);
        node->closed = open >= 0;
        if (open >= 0) {
            close_at(static_cast<size_t>(open), node);
        } else {
            place(node, false);
        }
        return true;
    }
    place(node, false);
    return true;
}

bool html_reader::on_start_tag(xml_node* node) {
    const std::string_view raw = node->raw.view();
    // the scanner's start tags are at least "<a>"
    if (raw[raw.size() - 2] == '/') node->kind = construct_kind::empty_tag;
    const auto [name, element] = read_tag_name(*node);
    node->element = element;
    // the names looked at by name alone are outside the table
    const bool in_table = node->element >= 0;
    if (empty_elements().contains(node->element) || (!in_table && takes_no_end_tag(name)))
        node->kind = construct_kind::empty_tag;
    const bool is_open = node->kind == construct_kind::start_tag;
    node->closed = !is_open;
    if (is_open && (!in_table || raw_text_in_table.contains(node->element))) {
        start_raw_text(name);
        if (is_name(name, "template")) template_depth_ = 1;
    }

    const int32_t closing_as =
        node->element < 0 && is_block_outside_table(name) ? element_div : node->element;
    const int32_t stop = implied_stop(closing_as);
    if (stop >= 0 &&
        closers_of(closing_as).contains(path_[static_cast<size_t>(stop)].node->element))
        close_implied(static_cast<size_t>(stop));
    // a heading never holds another: a browser ends the open one first
    if (is_heading(node->element) && !path_.empty() && is_heading(path_.back().node->element)) {
        // That one has no end tag then. Folded away, it would take in what a caller puts before
        // this heading, or before an element this one starts: into the tree with it first.
        if (in_region()) unfold_region();
        close_implied(path_.size() - 1);
    }
    place(node, is_open);
    return true;
}

bool html_reader::closes_template(construct_kind scanned) {
    const std::string_view raw = token_view();
    if (scanned == construct_kind::start_tag) {
        if (raw[raw.size() - 2] == '/') return false;
        const std::string_view name = written_tag_name(scanned, raw);
        start_raw_text(name);
        if (is_name(name, "template")) ++template_depth_;
        return false;
    }
    if (scanned != construct_kind::end_tag) return false;
    return is_name(written_tag_name(scanned, raw), "template") && --template_depth_ == 0;
}

void html_reader::start_raw_text(std::string_view element) {
    struct raw_text_element {
        std::string_view name;
        raw_text_kind kind;
    };
    static constexpr raw_text_element raw_text_elements[] = {
        {"script", raw_text_kind::script}, {"style", raw_text_kind::plain},
        {"title", raw_text_kind::plain},   {"textarea", raw_text_kind::plain},
        {"xmp", raw_text_kind::plain},     {"iframe", raw_text_kind::plain},
        {"noembed", raw_text_kind::plain}, {"noframes", raw_text_kind::plain},
    };
    for (const raw_text_element& raw_text : raw_text_elements) {
        if (is_name(element, raw_text.name)) {
            read_raw_text(raw_text.name, raw_text.kind);
            return;
        }
    }
    // nothing ends it
    if (is_name(element, "plaintext")) read_raw_text({}, raw_text_kind::plain);
}

void html_reader::close_implied(size_t depth) {
    auto* end_tag = new xml_node();
    const xml_node& closing = *path_[depth].node;
    end_tag->kind = construct_kind::end_tag;
    end_tag->element = closing.element;
    close_at(depth, end_tag);
}

void html_reader::place(xml_node* node, bool opens) {
    node_role role = node_role::ordinary;
    if (classify_) {
        role = classify_(*node);
        if (role != node_role::ordinary) {
            // every open element holds a landmark now
            if (in_region()) unfold_region();
            keep_depth_ = path_.size();
        } else if (in_region()) {
            append_to_run(region_run_->raw, node->raw.view());
            if (opens) {
                push_open_in_region(node);
            } else {
                delete node;
            }
            return;
        } else if (folds_at(path_.size())) {
            if (opens) {
                start_region();
                append_to_run(region_run_->raw, node->raw.view());
                push_open_in_region(node);
                return;
            }
            if (run_) {
                append_to_run(run_->raw, node->raw.view());
                delete node;
                return;
            }
            make_run(*node);
            insert(node);
            run_ = node;
            return;
        }
    }
    insert(node);
    run_ = nullptr;
    if (!opens) return;
    push_open(node);
    if (role == node_role::ordinary) return;
    keep_depth_ = path_.size();
    if (role == node_role::landmark_with_content && shield_ == no_shield)
        shield_ = path_.size() - 1;
}

void html_reader::push_open_in_region(xml_node* node) {
    push_open(node);
    // its start tag is the last thing the region got
    path_.back().region_at = region_run_->raw.view().size() - node->raw.view().size();
}

void html_reader::make_run(xml_node& node) {
    node.kind = construct_kind::text;
    node.element = -1;
    node.closed = true;
}

void html_reader::start_region() {
    xml_node* run = run_;
    if (!run) {
        run = new xml_node(construct_kind::text, {});
        insert(run);
        run_ = run;
    }
    region_run_ = run;
    region_base_ = static_cast<size_t>(run->raw.length());
}

void html_reader::unfold_region() {
    // The region's bytes leave the run: each region element goes into the tree as the last
    // child of its parent, followed by one run of what it holds up to the next region
    // element's start tag.
    xml_node* region_run = region_run_;
    region_run_ = nullptr;
    const std::string_view bytes = region_run->raw.view();
    for (size_t index = keep_depth_; index < path_.size(); ++index) {
        xml_node* element = path_[index].node;
        if (index == 0) {
            tree_insert(tree_, element, nullptr, nullptr);
        } else {
            tree_append_child(tree_, element, path_[index - 1].node);
        }
        run_ = nullptr;
        const size_t from = path_[index].region_at + static_cast<size_t>(element->raw.length());
        const size_t to = index + 1 < path_.size() ? path_[index + 1].region_at : bytes.size();
        if (to <= from) continue;
        auto* run = new xml_node(construct_kind::text, {});
        set_bytes(run->raw, bytes.substr(from, to - from));
        tree_append_child(tree_, run, element);
        run_ = run;
    }
    if (region_base_ == 0) {
        tree_unlink(tree_, region_run);
        delete region_run;
    } else {
        region_run->raw.set_length(static_cast<int32_t>(region_base_));
    }
    keep_depth_ = path_.size();
}

void html_reader::insert(xml_node* node) {
    if (path_.empty()) {
        tree_insert(tree_, node, nullptr, nullptr);
    } else {
        tree_append_child(tree_, node, path_.back().node);
    }
}

void html_reader::push_open(xml_node* node) {
    const auto depth = static_cast<int32_t>(path_.size());
    int32_t outer_same;
    if (node->element >= 0) {
        int32_t& innermost = innermost_known_[static_cast<size_t>(node->element)];
        outer_same = innermost;
        innermost = depth;
    } else {
        auto entry = innermost_unknown_.try_emplace(node->written_name(), -1).first;
        outer_same = entry->second;
        entry->second = depth;
    }
    path_.push_back({node, outer_same, 0});
}

void html_reader::close_at(size_t depth, xml_node* end_tag) {
    if (in_region() && depth >= keep_depth_) {
        append_to_run(region_run_->raw, end_tag->raw.view());
        delete end_tag;
        pop_to(depth);
        return;
    }
    // a region inside the element ends before its end tag
    pop_to(depth + 1);
    xml_node* element = path_[depth].node;
    element->closed = true;
    // The end tag of an element kept only for what it holds is only written back; a heading
    // ended by the next one's start tag keeps its end, which tells the two apart.
    const bool ended_by_heading = end_tag->raw.is_empty() && is_heading(element->element);
    if (run_ && folds_at(depth + 1) && !ended_by_heading) {
        append_to_run(run_->raw, end_tag->raw.view());
        delete end_tag;
        pop_to(depth);
        return;
    }
    tree_append_child(tree_, end_tag, element);
    pop_to(depth);
    // What follows joins the end tag when it folds: the tag's text is only written back. One
    // without bytes (an implied end) takes none, so it stays told apart.
    run_ = classify_ && !end_tag->raw.is_empty() && folds_at(depth) ? end_tag : nullptr;
}

void html_reader::pop_to(size_t depth) {
    while (path_.size() > depth) {
        const open_element& top = path_.back();
        xml_node* node = top.node;
        if (node->element >= 0) {
            innermost_known_[static_cast<size_t>(node->element)] = top.outer_same;
        } else if (top.outer_same >= 0) {
            innermost_unknown_[node->written_name()] = top.outer_same;
        } else {
            innermost_unknown_.erase(node->written_name());
        }
        const bool in_region_now = in_region();
        path_.pop_back();
        if (!classify_) continue;
        const size_t index = path_.size();
        // the name no longer keys anything: a region element can go
        if (in_region_now) {
            delete node;
            // the region's first element is finished; its bytes are in the run already
            if (index == keep_depth_) region_run_ = nullptr;
        }
        keep_depth_ = std::min(keep_depth_, index);
        if (shield_ == index) shield_ = no_shield;
    }
}

// The walk up the open elements ends at the first one that the new element closes or whose
// scope holds it; with the innermost position of every element at hand that is the deepest
// open member of either set.
int32_t html_reader::implied_stop(int32_t element) const {
    const element_set& scope = scope_of(element);
    if (scope.is_empty()) return -1;
    const element_set stops = scope | closers_of(element);
    // mostly the innermost open element is one, and none lies deeper
    if (!path_.empty() && stops.contains(path_.back().node->element))
        return static_cast<int32_t>(path_.size()) - 1;
    int32_t deepest = -1;
    for (size_t word = 0; word < stops.words.size(); ++word) {
        for (uint32_t bits = stops.words[word]; bits != 0; bits &= bits - 1) {
            const size_t member = word * 32 + static_cast<size_t>(std::countr_zero(bits));
            deepest = std::max(deepest, innermost_known_[member]);
        }
    }
    return deepest;
}

int32_t html_reader::innermost_open(const xml_node& end_tag) const {
    // any heading's end tag closes the innermost open heading
    if (is_heading(end_tag.element)) {
        const auto first = innermost_known_.begin() + element_h1;
        return *std::max_element(first, first + 6);
    }
    if (end_tag.element >= 0) return innermost_known_[static_cast<size_t>(end_tag.element)];
    const std::string_view name = end_tag.written_name();
    if (name.empty()) return -1;
    const auto found = innermost_unknown_.find(name);
    return found == innermost_unknown_.end() ? -1 : found->second;
}

namespace {

// Feeds `source` to the reader in pieces of `step` bytes that view it; the status after the last.
// With `arriving`, each piece is fed once it has been read, and feeding stops where reading did.
scan_status feed_pieces(html_reader& reader, std::string_view source, size_t step,
                        const percent_meter& meter, background_read* arriving = nullptr) {
    scan_status status = scan_status::needs_input;
    for (size_t at = 0; at < source.size() && status == scan_status::needs_input; at += step) {
        size_t end = std::min(source.size(), at + step);
        if (arriving) end = std::min(end, arriving->wait_for(end));
        if (end <= at) break;
        byte_string piece;
        piece.view_of(source.substr(at, end - at));
        status = reader.feed(std::move(piece));
        if (status == scan_status::needs_input) meter.report(end);
    }
    return status;
}

}  // namespace

result parse_html_file(std::string_view path, node_tree& tree, const progress_function& progress,
                       node_classifier fold, file_info* opened) {
    const file_descriptor file = file_open(path);
    if (file == invalid_handle) return file_failure("Can't open source file: ", path);
    file_info found;
    const bool size_known = file_descriptor_stat(found, file);
    const uint64_t size = size_known ? found.size : unknown_file_size;
    if (size_known && opened) *opened = std::move(found);
    if (size_known && size > largest_readable_file) {
        file_close(file);
        return file_failure(too_large_message, path);
    }
    const percent_meter meter(progress, size);

    html_reader reader(tree);
    reader.fold_with(fold);
    bool read_failed = false;
    bool too_large = false;
    // a file of known size is read into one buffer the tree keeps for its nodes to view, and
    // read while it is parsed
    byte_string whole;
    if (size_known && size > 0) {
        whole.reserve(static_cast<int32_t>(size));
        whole.set_length(static_cast<int32_t>(size));
    }
    char* const target = whole.data();
    const std::string_view source = tree.keep(std::move(whole));
    reader.read_from(source);
    scan_status status = scan_status::needs_input;
    uint64_t total = 0;
    {
        background_read arriving(file, target, source.size());
        status = feed_pieces(reader, source, html_chunk_size, meter, &arriving);
        // a reading stopped early fails on its own: the rest is left unread
        if (status == scan_status::needs_input) {
            total = arriving.finish();
            read_failed = arriving.failed() || total < source.size();
        }
    }
    // a pipe tells no size, and a file may grow while it is read
    while (!read_failed && status == scan_status::needs_input) {
        byte_string chunk;
        const bool read_ok = file_read(chunk, html_chunk_size, file).is_ok();
        const int32_t n = chunk.length();
        if (!read_ok || n == 0) {
            // a failed read may also show as an early end: the file is shorter than it said
            read_failed = !read_ok || (size_known && total < size);
            break;
        }
        total += static_cast<uint64_t>(n);
        if (total > largest_readable_file) {
            too_large = true;
            break;
        }
        status = reader.feed(std::move(chunk));
        if (status == scan_status::needs_input) meter.report(total);
    }
    if (status == scan_status::needs_input && !too_large) status = reader.feed_end();
    file_close(file);

    if (too_large) return file_failure(too_large_message, path);
    // writing back a document read in part would cut the file short
    if (read_failed) return file_failure("Can't read source file: ", path);
    if (status != scan_status::finished) return result::failure(memory_message);
    meter.report_done();
    return result::success();
}

result parse_html_text(std::string_view text, node_tree& tree, const progress_function& progress,
                       int32_t chunk_size, node_classifier fold) {
    const auto step = static_cast<size_t>(std::clamp(chunk_size, 1, largest_text_chunk));
    const percent_meter meter(progress, text.size());
    html_reader reader(tree);
    reader.fold_with(fold);
    byte_string copy;
    copy.reserve(static_cast<int32_t>(text.size()));
    copy.append(text);
    const std::string_view source = tree.keep(std::move(copy));
    reader.read_from(source);
    scan_status status = feed_pieces(reader, source, step, meter);
    if (status == scan_status::needs_input) status = reader.feed_end();
    if (status != scan_status::finished) return result::failure(memory_message);
    meter.report_done();
    return result::success();
}
