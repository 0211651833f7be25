// Template interpreter: whatever the template and the data, a rendering ends, its output does
// not depend on the chunks the template arrives in, and its length stays within a bound of
// template size times data, growing with the passes of nested loops up to the work limit, which
// is set low here so that runaway loops end quickly. Loop bodies replayed from their pieces give
// what a child interpreter reading the body text on every pass gives, and a template prepared
// once renders as its text does, over the data it first met and over other data after it.
//
// The first input byte picks the chunk size; the next five give the lengths (0 to 5) of the
// nine lists of the TOC data, two per byte; the rest is the template.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "render_template.h"
#include "sorted_map.h"
#include "template_block.h"
#include "template_interpreter.h"

namespace {

constexpr std::string_view names[] = {"item",  "text",        "link",     "open",       "numbering",
                                      "level", "indentation", "children", "parent_list"};
constexpr size_t size_bytes = 5;
constexpr int32_t max_list = 5;
constexpr int64_t work_limit = 1 << 16;

// 1 to 128 bytes, or multiples of 64 up to 8192.
int32_t chunk_size(uint8_t code) {
    return code < 128 ? code + 1 : (code - 127) * 64;
}

// Values of every kind the directives meet: numbers for if, markup and blanks for echo.
std::string value_of(size_t name, int32_t index) {
    switch (name % 4) {
        case 0:
            return std::to_string(index);
        case 1:
            return index % 2 ? "1" : "0";
        case 2:
            return "<a href=\"#q" + std::to_string(index) + "\">&amp;</a>";
        default:
            return std::string(static_cast<size_t>(index), ' ');
    }
}

void fail(const char* what) {
    std::fprintf(stderr, "template_fuzz: %s\n", what);
    __builtin_trap();
}

std::string joined(const std::vector<byte_string>& pieces) {
    std::string all;
    for (const byte_string& piece : pieces)
        all += piece.view();
    return all;
}

// Directives that may open a loop: the keyword is read case-blind and may carry other bytes.
size_t loop_count(std::string_view text) {
    size_t count = 0;
    for (size_t i = 0; i + 3 <= text.size(); ++i) {
        count +=
            (text[i] | 0x20) == 'f' && (text[i + 1] | 0x20) == 'o' && (text[i + 2] | 0x20) == 'r';
    }
    return count;
}

// The rendering with every body read again by a child interpreter, in one chunk.
template_end render_reread(std::string_view text, const named_lists& data, std::string& out) {
    template_interpreter interpreter;
    interpreter.set_data(data);
    interpreter.set_work_limit(work_limit);
    set_reread_bodies(interpreter, true);
    if (interpreter.feed(text) == scan_status::needs_input)
        static_cast<void>(interpreter.feed_end());
    template_value piece;
    while (interpreter.output().pop_front(piece))
        out += piece.view();
    return interpreter.has_open_block() ? template_end::block_open : template_end::blocks_closed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size <= size_bytes) return 0;
    const int32_t chunk = chunk_size(data[0]);
    named_lists lists;
    // the same lists, each a value longer where it is shorter than max_list
    named_lists other;
    int32_t longest = 0;
    size_t widest = 0;
    for (size_t name = 0; name < std::size(names); ++name) {
        const uint8_t code = data[1 + name / 2];
        const int32_t length = (name % 2 ? code >> 4 : code & 15) % (max_list + 1);
        longest = std::max(longest, length);
        // a list of no values is there and empty, which differs from a missing one
        lists.set_list(names[name], std::make_unique<value_list>());
        other.set_list(names[name], std::make_unique<value_list>());
        for (int32_t i = 0; i <= std::min(length, max_list - 1); ++i) {
            const std::string value = value_of(name, i);
            if (i < length) {
                widest = std::max(widest, value.size());
                lists.add_value(names[name], template_value(std::string_view(value)));
            }
            other.add_value(names[name], template_value(std::string_view(value)));
        }
    }
    const std::string_view text(reinterpret_cast<const char*>(data + 1 + size_bytes),
                                size - 1 - size_bytes);

    std::vector<byte_string> chunked;
    std::vector<byte_string> whole;
    const template_end chunked_end = render_template_text(text, lists, chunked, chunk, work_limit);
    const template_end whole_end = render_template_text(text, lists, whole, 1 << 20, work_limit);
    if (chunked_end != whole_end) fail("the result depends on the chunks");
    const std::string output = joined(whole);
    if (joined(chunked) != output) fail("the output depends on the chunks");
    std::string reread;
    if (render_reread(text, lists, reread) != whole_end) fail("replay changes the result");
    if (reread != output) fail("replay changes the output");
    prepared_template prepared(text);
    const auto into = [](std::string& all) {
        return [&all](std::string_view piece) { all += piece; };
    };
    for (const named_lists* over : {&lists, &other, &lists}) {
        std::string scanned;
        std::string replayed;
        if (prepared.render(*over, into(replayed), work_limit) !=
                render_template_text(text, *over, into(scanned), template_chunk_size, work_limit) ||
            replayed != scanned)
            fail("a prepared template renders otherwise");
    }

    // Each template byte gives at most a value or an error report of some 80 bytes, once per
    // pass of each loop around it; bodies write no more than the work limit and one report.
    const uint64_t top_level = (text.size() + 1) * (widest + 128);
    constexpr uint64_t saturated = uint64_t{1} << 62;
    uint64_t bound = top_level;
    for (size_t n = loop_count(text); n > 0 && bound < saturated; --n)
        bound *= static_cast<uint64_t>(std::max(longest, 1));
    bound = std::min(bound, top_level + work_limit + 128);
    if (output.size() > bound) fail("the output outgrew its bound");
    return 0;
}
