// libFuzzer target for the HTML reader: whatever the bytes and however they are cut into
// chunks, reading gives the input back byte for byte, and the tree does not depend on the cuts.
// A folding reading gives the same bytes and keeps every landmark as the plain reading has it;
// it reads as a file is read, its nodes viewing one copy of the document that the tree keeps.
//
// The first input byte picks the cuts: its low three bits say how many of the following bytes
// are chunk sizes (0: the document in one piece); the rest is the document.
//
// Build with clang and run for five minutes:
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DTOCVANE_FUZZ=ON \
//         -DTOCVANE_BUILD_TESTS=OFF
//   cmake --build build-fuzz --target html_reader_fuzz
//   mkdir -p build-fuzz/corpus
//   build-fuzz/bin/html_reader_fuzz build-fuzz/corpus tests/fuzz/seeds/html_reader \
//       -dict=tests/fuzz/html_reader.dict -max_total_time=300
// New inputs go to the first directory; a crash is written to crash-<hash> in the current one.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include <sanitizer/asan_interface.h>

#include "html_reader.h"
#include "tree_dump.h"
#include "xml_node.h"

namespace {

// 1 to 128 bytes, or multiples of 64 up to 8192.
size_t chunk_size(uint8_t code) {
    return code < 128 ? code + 1u : (code - 127u) * 64u;
}

scan_status read_in_chunks(node_tree& tree, std::string_view doc, std::string_view sizes,
                           node_classifier fold = {}) {
    tree_insert(tree, new xml_node(), nullptr, nullptr);
    html_reader reader(tree);
    reader.fold_with(fold);
    if (fold) {
        doc = tree.keep(byte_string(doc));
        reader.read_from(doc);
    }
    // a folding reading's chunks view the kept document: what is not fed yet is poisoned, so
    // that a read past a chunk is caught there too (to within the sanitizer's 8-byte granules)
    if (fold) ASAN_POISON_MEMORY_REGION(doc.data(), doc.size());
    scan_status status = scan_status::needs_input;
    size_t next_size = 0;
    for (size_t at = 0; at < doc.size() && status == scan_status::needs_input;) {
        size_t n = doc.size() - at;
        if (!sizes.empty()) {
            n = std::min(n, chunk_size(static_cast<uint8_t>(sizes[next_size++ % sizes.size()])));
        }
        if (fold) ASAN_UNPOISON_MEMORY_REGION(doc.data() + at, n);
        // a block of exactly the chunk's size, so that a read past it is caught
        const std::string piece(doc.substr(at, n));
        byte_string viewed;
        viewed.view_of(doc.substr(at, n));
        status = fold ? reader.feed(std::move(viewed)) : reader.feed(std::string_view(piece));
        at += n;
    }
    if (fold) ASAN_UNPOISON_MEMORY_REGION(doc.data(), doc.size());
    return status == scan_status::needs_input ? reader.feed_end() : status;
}

std::string raw_text(const node_tree& tree) {
    std::string out;
    for (const tree_node* node = tree.first(); node; node = tree_next(node))
        out += as_xml(node)->raw.view();
    return out;
}

bool same_node(const xml_node& a, const xml_node& b) {
    return a.kind == b.kind && a.raw == b.raw && a.closed == b.closed && a.element == b.element &&
           tree_child_count(a) == tree_child_count(b);
}

// Any heading's end tag closes a heading.
bool closes(const xml_node& end_tag, const xml_node& element) {
    return html_name(end_tag) == html_name(element) ||
           (is_heading(end_tag.element) && is_heading(element.element));
}

// A closed element ends with the end tag that closed it.
bool well_linked(const xml_node& node) {
    if (node.kind == construct_kind::start_tag && node.closed) {
        const xml_node* last = as_xml(node.last_child());
        return last && last->kind == construct_kind::end_tag && last->closed && closes(*last, node);
    }
    if (node.kind == construct_kind::end_tag && node.closed) {
        const xml_node* parent = as_xml(node.parent());
        return parent && parent->closed && closes(node, *parent) && parent->last_child() == &node;
    }
    return node.first_child() == nullptr || node.kind == construct_kind::start_tag;
}

void fail(const char* what) {
    std::fprintf(stderr, "html_reader_fuzz: %s\n", what);
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t size_count = std::min<size_t>(input[0] & 7, size - 1);
    const std::string_view sizes = input.substr(1, size_count);
    const std::string_view doc = input.substr(1 + size_count);

    node_tree whole;
    node_tree chunked;
    if (read_in_chunks(whole, doc, {}) != scan_status::finished)
        fail("reading in one piece failed");
    if (read_in_chunks(chunked, doc, sizes) != scan_status::finished)
        fail("reading in chunks failed");
    if (raw_text(whole) != doc) fail("the tree lost or changed bytes");
    if (raw_text(chunked) != doc) fail("the chunked tree lost or changed bytes");
    // the nodes in document order with their child counts fix the shape
    const tree_node* a = whole.first();
    const tree_node* b = chunked.first();
    for (; a && b; a = tree_next(a), b = tree_next(b)) {
        if (!same_node(*as_xml(a), *as_xml(b))) fail("the tree depends on the chunks");
        if (!well_linked(*as_xml(a))) fail("an end tag is out of place");
    }
    if (a || b) fail("the tree depends on the chunks");

    node_tree folded;
    if (read_in_chunks(folded, doc, sizes, fold_test_role) != scan_status::finished)
        fail("folded reading failed");
    if (raw_text(folded) != doc) fail("the folded tree lost or changed bytes");
    if (fold_landmarks(folded) != fold_landmarks(whole)) fail("folding changed a landmark");
    return 0;
}
