// Build then clear on one file, in place, as a user would run them: both end, both succeed,
// and a document that holds neither marker comments nor the program's anchor names comes back
// byte for byte from a build and clear with numbering off, and from a clear alone with any
// switches. A second build changes no byte of what the first rebuild wrote, and, where the
// reader and an HTML5 parser find the same headings, no anchor the build inserted nests in a
// link as the parser reads the built page. Some documents can't come back
// (TocBuildTest.BuildThenClearGivesTheDocumentBack), all through what the clear finds when it
// reads the built file: a listed heading holding an unclosed `a` element or a stray `</a>`,
// which pairs with the inserted anchor's tags; a listed heading holding others, of whose anchors
// a clear removes the first only (also where the TOC, put inside a paragraph, closes it and so
// moves what follows into the heading); and a document ending inside a construct in a listed
// heading, whose bytes the inserted end tag completes (and which, copied into the TOC, may
// swallow the end marker). Before each build, the same build in memory leaves the page as it
// is and tells whether that build changes it.
//
// The first input byte holds the switches: numbering (bit 0), titles (bit 1), anchor
// attributes (bit 2), an indent text (bit 3), `id` anchors (bit 4), padding (bit 7). With `id`
// anchors a page holding the build's id marker counts as built, like one holding its anchors. The
// second gives the heading range: from (bits 0-2) and to (bits 3-5), 0 to 7 each. With padding on,
// the third byte takes that many bytes off 16384 blanks put before the document, so that it
// straddles the boundary of the 16384-byte reads. The rest is the document.

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "heading_scan.h"
#ifdef TOCVANE_HTML5_REFERENCE
#include "html5_reference.h"
#endif
#include "html_reader.h"
#include "toc_build.h"
#include "xml_node.h"

namespace {

constexpr size_t read_size = 16384;

// Every row of the TOC data shows: the nesting lists of a real template and all texts.
constexpr std::string_view toc_template =
    "<ul><!--#for var=\"item\"--><!--#if var=\"open\"--><li><!--#echo var=\"indentation\"-->"
    "<a href=\"<!--#echo var=\"link\"-->\"><!--#echo var=\"numbering\"--><!--#echo "
    "var=\"text\"--></a><!--#if var=\"children\"--><ul><!--#else--></li><!--#endif-->"
    "<!--#else--><!--#echo var=\"parent_list\"--></ul></li><!--#endif--><!--#endfor--></ul>";

void fail(const char* what) {
    std::fprintf(stderr, "toc_build_fuzz: %s\n", what);
    __builtin_trap();
}

void put(const std::string& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        fail("can't write a scratch file");
    std::fclose(file);
}

std::string bytes_of(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Never freed: the exit handler that removes it runs after static destructors.
const std::string& scratch_dir() {
    static const std::string* dir = [] {
        // memory-backed where there is one: every write of a build ends in a sync
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "tbfuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) __builtin_trap();
        std::atexit([] { std::filesystem::remove_all(*dir); });
        put(pattern + "/t.tpl", toc_template);
        return new std::string(pattern);
    }();
    return *dir;
}

// Whether a heading in the range holds an `a` start or end tag that pairs with none, another
// heading in the range or another heading's end tag, or ends the document with the bytes of an
// unfinished construct; or,
// with `has_toc`, whether the document's TOC lacks a marker.
bool keeps_inserted_code(std::string_view document, int32_t from, int32_t to, bool has_toc) {
    node_tree tree;
    tree_insert(tree, new xml_node(), nullptr, nullptr);
    html_reader reader(tree);
    if (reader.feed(document) != scan_status::needs_input ||
        reader.feed_end() != scan_status::finished)
        fail("the document does not read");
    if (has_toc) {
        heading_scan scan;
        scan.locate(tree);
        if (!scan.located.start_marker || !scan.located.end_marker) return true;
    }
    const auto is_listed = [from, to](const xml_node& node) {
        const int32_t level = node.kind == construct_kind::start_tag ? heading_level(node) : 0;
        return level != 0 && level >= from && level <= to;
    };
    for (const tree_node* n = tree.first(); n; n = tree_next(n)) {
        const xml_node& heading = *as_xml(n);
        if (!is_listed(heading)) continue;
        const tree_node* after = tree_next_skip(n);
        for (const tree_node* d = heading.first_child(); d && d != after; d = tree_next(d)) {
            const xml_node& node = *as_xml(d);
            if (is_listed(node)) return true;
            // an HTML5 parser closes the heading there, where the reader reads on
            const std::string_view name = node.written_name();
            if (node.kind == construct_kind::end_tag && name.size() == 2 &&
                (name[0] == 'h' || name[0] == 'H') && name[1] >= '1' && name[1] <= '6')
                return true;
            const bool is_anchor_tag =
                (node.kind == construct_kind::start_tag || node.kind == construct_kind::end_tag) &&
                (name == "a" || name == "A");
            if (is_anchor_tag && !node.closed) return true;
            if (!after && !tree_next(d) && node.raw.find_char('<') >= 0) return true;
        }
    }
    return false;
}

#ifdef TOCVANE_HTML5_REFERENCE
// Whether the reader and an HTML5 parser find the same headings with the same text, so that an
// anchor the build puts into a heading lands where the parser sees that heading. Pages with
// references, NULs or CRs, which the parser rewrites, and with comments or declarations, whose
// ends the two may find apart, never agree.
bool headings_agree(std::string_view document) {
    if (document.find_first_of(std::string_view("&\0\r", 3)) != std::string_view::npos ||
        document.find("<!") != std::string_view::npos)
        return false;
    node_tree tree;
    tree_insert(tree, new xml_node(), nullptr, nullptr);
    html_reader reader(tree);
    (void)reader.feed(document);
    (void)reader.feed_end();
    std::vector<reference_heading> found;
    for (const tree_node* n = tree.first(); n; n = tree_next(n)) {
        const xml_node& heading = *as_xml(n);
        const int32_t level =
            heading.kind == construct_kind::start_tag ? heading_level(heading) : 0;
        if (level < 1 || level > 6) continue;
        found.push_back({level, {}});
        const tree_node* after = tree_next_skip(n);
        for (const tree_node* d = heading.first_child(); d && d != after; d = tree_next(d)) {
            const xml_node& node = *as_xml(d);
            const xml_node& parent = *as_xml(node.parent());
            const std::string_view name = element_name(parent.element);
            const bool hidden = name == "script" || name == "style" || name == "textarea";
            if (node.kind == construct_kind::text && !hidden) found.back().text += node.raw.view();
        }
    }
    return found == html5_headings(document);
}
#endif

// Builds, after the same build in memory has said whether the page will change.
void build_foreseen(const toc_project& project, const std::string& path) {
    const std::string before = bytes_of(path);
    dry_build foreseen;
    if (!dry_build_toc(project, foreseen).is_ok()) fail("the build in memory failed");
    if (bytes_of(path) != before) fail("the build in memory changed the page");
    if (!build_toc(project, {}).is_ok()) fail("the build failed");
    if (foreseen.changed.empty() != (bytes_of(path) == before))
        fail("the build in memory foresaw another build");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::setenv("SOURCE_DATE_EPOCH", "1000", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t switches = data[0];
    const bool numbering = switches & 1;
    std::string document;
    if (switches & 0x80) document.assign(read_size - data[2], ' ');
    document.append(reinterpret_cast<const char*>(data + 3), size - 3);
    const std::string source = scratch_dir() + "/s.htm";
    put(source, document);

    toc_project project;
    project.is_single = true;
    project.is_dest_as_source = true;
    project.source = {byte_string(source)};
    project.template_file = byte_string(scratch_dir() + "/t.tpl");
    project.process_numbering = numbering;
    project.process_title = (switches & 2) != 0;
    project.named_anchor_attributes = byte_string(switches & 4 ? "class=\"x\"" : "");
    project.indent = byte_string(switches & 8 ? "&nbsp;" : "");
    project.range_from = data[1] & 7;
    project.range_to = (data[1] >> 3) & 7;
    project.anchor_style = switches & 16 ? anchor_kind::id : anchor_kind::name;

    // a page in UTF-16 or UTF-32 is refused whole and never written
    using namespace std::string_view_literals;
    const std::string_view head(document);
    if (head.starts_with("\xFF\xFE"sv) || head.starts_with("\xFE\xFF"sv) ||
        head.starts_with("\0\0\xFE\xFF"sv)) {
        if (clear_toc(project, {}).is_ok() || build_toc(project, {}).is_ok())
            fail("a page in UTF-16 or UTF-32 was taken");
        if (bytes_of(source) != document) fail("a refused page changed");
        return 0;
    }
    std::string lower = document;
    for (char& c : lower)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    const bool unbuilt = document.find("QORV_HTML_TOC_START") == std::string::npos &&
                         document.find("qorv_link_") == std::string::npos &&
                         lower.find(build_id_marker) == std::string::npos;
    if (unbuilt) {
        if (!clear_toc(project, {}).is_ok()) fail("the clear failed");
        if (bytes_of(source) != document) fail("a clear changed a page no build touched");
    }
    build_foreseen(project, source);
    const std::string built = bytes_of(source);
    const int32_t from = project.range_from;
    const int32_t to = project.range_to;
    const bool kept_whole = !keeps_inserted_code(document, from, to, false);
#ifdef TOCVANE_HTML5_REFERENCE
    if (unbuilt && kept_whole && headings_agree(document) &&
        broken_links(built, anchor_prefix) != 0)
        fail("an inserted anchor nests");
#endif
    build_foreseen(project, source);
    const std::string rebuilt = bytes_of(source);
    build_foreseen(project, source);
    if (bytes_of(source) != rebuilt) fail("a rebuild changed the page");
    put(source, built);
    if (!clear_toc(project, {}).is_ok()) fail("the clear failed");
    if (numbering || !unbuilt || document.find("QORV_HTML_TOC") != std::string::npos) return 0;
    // what the clear reads is the built file, where the inserted code may have changed the shape
    if (!kept_whole || keeps_inserted_code(built, from, to, true)) return 0;
    if (bytes_of(source) != document) fail("build and clear changed the document");
    return 0;
}
