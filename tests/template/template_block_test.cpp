#include "template_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "render_template.h"
#include "template_interpreter.h"

namespace {

// Loop bodies replayed from their pieces must give what a child interpreter reading the body
// text on every pass gives: the same output texts, split the same way, the same error reports
// and the same result.

struct rendering {
    std::vector<std::string> pieces;
    bool has_open_block = false;
};

rendering render(std::string_view text, const named_lists& data, size_t chunk, int64_t limit,
                 bool reread) {
    template_interpreter interpreter;
    interpreter.set_data(data);
    interpreter.set_work_limit(limit);
    set_reread_bodies(interpreter, reread);
    rendering r;
    scan_status status = scan_status::needs_input;
    for (size_t at = 0; status == scan_status::needs_input; at += chunk) {
        status =
            at < text.size() ? interpreter.feed(text.substr(at, chunk)) : interpreter.feed_end();
        template_value piece;
        while (interpreter.output().pop_front(piece))
            r.pieces.emplace_back(piece.view());
    }
    r.has_open_block = interpreter.has_open_block();
    return r;
}

std::string joined(const rendering& r) {
    std::string all;
    for (const std::string& piece : r.pieces)
        all += piece;
    return all;
}

// Where two renderings first differ, with a little of each around it; empty when they agree.
std::string first_difference(const rendering& a, const rendering& b) {
    if (a.has_open_block != b.has_open_block) return "only one ends inside a block";
    const std::string all_a = joined(a);
    const std::string all_b = joined(b);
    const size_t at = static_cast<size_t>(
        std::mismatch(all_a.begin(), all_a.end(), all_b.begin(), all_b.end()).first -
        all_a.begin());
    if (at < all_a.size() || at < all_b.size()) {
        const size_t from = at < 40 ? 0 : at - 40;
        return "byte " + std::to_string(at) + ": \"" + all_a.substr(from, 80) + "\" and \"" +
               all_b.substr(from, 80) + "\"";
    }
    // texts are handed out after every step, so their borders depend on the chunks
    if (a.pieces.size() != b.pieces.size()) return "the texts are split differently";
    for (size_t i = 0; i < a.pieces.size(); ++i)
        if (a.pieces[i] != b.pieces[i]) return "text " + std::to_string(i) + " ends elsewhere";
    return "";
}

// Renders both ways in chunks of 1, 7 and 16384 bytes and expects the same texts from both and
// the same output in all chunk sizes; returns the output.
std::string render_both(std::string_view text, const named_lists& data,
                        int64_t limit = template_interpreter::default_work_limit) {
    const rendering whole = render(text, data, 16384, limit, true);
    for (size_t chunk : {size_t{1}, size_t{7}, size_t{16384}}) {
        if (chunk < 16384 && text.size() > 65536) continue;
        const rendering reread = render(text, data, chunk, limit, true);
        const rendering replayed = render(text, data, chunk, limit, false);
        EXPECT_EQ(first_difference(reread, replayed), "") << "in chunks of " << chunk;
        const rendering joined_reread{{joined(reread)}, reread.has_open_block};
        EXPECT_EQ(first_difference(joined_reread, {{joined(whole)}, whole.has_open_block}), "")
            << "in chunks of " << chunk;
    }
    return joined(whole);
}

// xorshift: the same templates on every platform.
class random_source {
  public:
    explicit random_source(uint64_t seed) : state_(seed * 2654435761u + 1) {}
    uint32_t below(uint32_t n) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<uint32_t>(state_ >> 32) % n;
    }
    template <typename T, size_t n>
    const T& pick(const T (&items)[n]) {
        return items[below(n)];
    }

  private:
    uint64_t state_;
};

using list_values = std::pair<std::string_view, std::vector<template_value>>;

// Lists of the values given for each name, kept for the whole run.
const named_lists& kept_lists(std::initializer_list<list_values> lists) {
    auto* data = new named_lists;
    for (const auto& [key, values] : lists) {
        data->set_list(key, std::make_unique<value_list>());
        for (const template_value& value : values)
            data->add_value(key, value);
    }
    return *data;
}

// Lists of every length a loop meets, values of every kind an echo or an if meets.
const named_lists& generated_data() {
    static const named_lists& data = kept_lists({
        {"none", {}},
        {"one", {template_value(int32_t{1})}},
        {"pair", {template_value("x"), template_value("0")}},
        {"three", {template_value(true), template_value(false), template_value(int32_t{7})}},
        {"text",
         {template_value("A"), template_value("<b>B</b>"), template_value("2abc"),
          template_value(""), template_value(" 3")}},
        {"flags",
         {template_value("1"), template_value("0"), template_value("1"), template_value("0")}},
        {"numbers",
         {template_value(int32_t{0}), template_value(int32_t{1}), template_value(int32_t{-2}),
          template_value(int32_t{3}), template_value(int32_t{0}), template_value(int32_t{5})}},
    });
    return data;
}

constexpr std::string_view keywords[] = {"echo", "for", "endfor", "if",      "else",  "endif",
                                         "ECHO", "For", "EndIf",  "include", "ec/ho", ""};
constexpr std::string_view vars[] = {
    R"( var="text")",  R"( var="flags")", R"( var="numbers")", R"( var="pair")", R"( var="one")",
    R"( var="three")", R"( var="none")",  R"( var="nosuch")",  R"( VAR='text')", "",
    " var=pair",       R"( var="a-->b")", R"( var="te\"xt")"};
constexpr std::string_view texts[] = {"a",          "\n",   "x\r\n", "<",          "<b>", "<<",
                                      "<!-- c -->", "\"",   "'",     "\\",         "-->", "<!",
                                      "<!--",       "<!-x", "  ",    "<a href=\"", "\">", "<!--#"};

std::string random_directive(random_source& random) {
    std::string directive = "<!--#";
    if (random.below(8) == 0) directive += ' ';
    directive += random.pick(keywords);
    directive += random.pick(vars);
    if (random.below(40) == 0) return directive;  // left unfinished
    directive += random.below(10) == 0 ? " -->" : "-->";
    return directive;
}

// A mix of text and directives, mostly well nested; blocks are opened and closed at random.
std::string random_template(random_source& random) {
    std::string text;
    std::vector<std::string_view> closers;
    const uint32_t parts = 1 + random.below(40);
    for (uint32_t i = 0; i < parts; ++i) {
        switch (random.below(9)) {
            case 0:
            case 1:
                text += random.pick(texts);
                break;
            case 2:
                text += random_directive(random);
                break;
            case 3:
                text += "<!--#echo";
                text += random.pick(vars);
                text += "-->";
                break;
            case 4:
            case 5: {
                const bool loop = random.below(3) != 0;
                text += loop ? "<!--#for" : "<!--#if";
                text += random.pick(vars);
                text += "-->";
                closers.push_back(loop ? "<!--#endfor-->" : "<!--#endif-->");
                break;
            }
            case 6:
                if (!closers.empty() && closers.back() == "<!--#endif-->") text += "<!--#else-->";
                break;
            default:
                if (!closers.empty()) {
                    text += closers.back();
                    closers.pop_back();
                }
                break;
        }
    }
    // most templates close what they opened; some end inside a block
    while (!closers.empty() && random.below(8) != 0) {
        text += closers.back();
        closers.pop_back();
    }
    return text;
}

TEST(TemplateBlockTest, GeneratedTemplatesRenderAsReread) {
    random_source random(1);
    for (int n = 0; n < 3000; ++n) {
        const std::string text = random_template(random);
        SCOPED_TRACE(text);
        render_both(text, generated_data(), int64_t{1} << 20);
        // a low limit ends the rendering inside some body
        render_both(text, generated_data(), 1 + random.below(400));
    }
}

TEST(TemplateBlockTest, LoopsOverGeneratedBodies) {
    random_source random(2);
    for (int n = 0; n < 2000; ++n) {
        // a body read once and replayed in every pass of the loops around it
        const std::string text = std::string(random.pick(texts)) + R"(<!--#for var="numbers"-->)" +
                                 random_template(random) + "\n" + random_template(random) +
                                 "<!--#endfor-->" + std::string(random.pick(texts));
        SCOPED_TRACE(text);
        render_both(text, generated_data(), int64_t{1} << 20);
        render_both(text, generated_data(), 50 + random.below(2000));
    }
}

// The generated lists again with other lengths and values, to render a prepared template over.
const named_lists& other_data() {
    static const named_lists& data = kept_lists({
        {"none", {template_value("n")}},
        {"one", {}},
        {"pair", {template_value("0"), template_value("y"), template_value(int32_t{2})}},
        {"text", {template_value("<i>"), template_value("")}},
        {"flags", {template_value("0"), template_value("1")}},
        {"numbers", {template_value(int32_t{4}), template_value(int32_t{0})}},
    });
    return data;
}

// What render_template_text gives, joined, and whether it ended inside a block.
std::pair<std::string, template_end> scanned(std::string_view text, const named_lists& data,
                                             int64_t limit) {
    std::string out;
    const template_end end = render_template_text(
        text, data, [&out](std::string_view piece) { out += piece; }, template_chunk_size, limit);
    return {out, end};
}

TEST(TemplateBlockTest, PreparedTemplatesRenderAsScanned) {
    random_source random(3);
    for (int n = 0; n < 2000; ++n) {
        const std::string text = random_template(random) + random_template(random);
        SCOPED_TRACE(text);
        prepared_template prepared(text);
        // the bodies kept by one rendering serve the next, over other data too
        for (const named_lists* data : {&generated_data(), &other_data(), &generated_data()}) {
            const int64_t limit = random.below(4) == 0 ? 1 + random.below(400) : int64_t{1} << 20;
            std::string out;
            const template_end end = prepared.render(
                *data, [&out](std::string_view piece) { out += piece; }, limit);
            EXPECT_EQ(std::pair(out, end), scanned(text, *data, limit));
        }
    }
}

std::string repeated(std::string_view text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

TEST(TemplateBlockTest, NestingLimitInsideReplayedBodies) {
    struct Row {
        std::string_view opener;
        std::string_view closer;
    } rows[] = {
        {R"(<!--#for var="one"-->)", "<!--#endfor-->"},
        {R"(<!--#if var="one"-->)", "<!--#endif-->"},
        {R"(<!--#if var="pair"-->a<!--#else-->)", "<!--#endif-->"},
    };
    for (const Row& row : rows) {
        for (int depth :
             {template_interpreter::max_nesting - 2, template_interpreter::max_nesting - 1,
              template_interpreter::max_nesting, template_interpreter::max_nesting + 3}) {
            SCOPED_TRACE(std::string(row.opener) + " nested " + std::to_string(depth));
            const std::string text = R"(<!--#for var="pair"-->)" + repeated(row.opener, depth) +
                                     "<!--#echo var=\"text\"-->" + repeated(row.closer, depth) +
                                     "\n<!--#endfor-->";
            const std::string out = render_both(text, generated_data());
            // the loop's body is at level 1: blocks from level max_nesting on are written out
            EXPECT_EQ(out.find("Error occurred") != std::string::npos,
                      depth >= template_interpreter::max_nesting);
        }
    }
}

TEST(TemplateBlockTest, BodiesPastTheScannerSizeLimit) {
    // a body of 17 MiB, read in slices, with directives across the slice boundaries and an
    // error on its last line
    std::string body = R"(<!--#echo var="text"-->)";
    std::string filler(1 << 20, 'x');
    for (int i = 0; i < 17; ++i) {
        filler[static_cast<size_t>(i) * 997 % filler.size()] = '\n';
        body += filler;
        body += R"(<!--#if var="flags"-->T<!--#else-->F<!--#endif-->)";
    }
    body += "\n<!--#endif-->";
    const std::string text = R"(<!--#for var="pair"-->)" + body + "<!--#endfor-->";
    const std::string out = render_both(text, generated_data());
    // the stray endif is reported when it is collected and in both passes; the fillers hold
    // 1 + 2 + ... + 17 line feeds
    const std::string report =
        "<b>Error occurred while processing QVI directive.</b> Line # 155 Col # 13";
    EXPECT_TRUE(out.starts_with(report + "A\n")) << out.substr(0, 100);
    const size_t second = out.find("<!--#endif-->" + report);
    ASSERT_NE(second, std::string::npos);
    EXPECT_NE(out.find("<!--#endif-->" + report, second + 1), std::string::npos);
}

TEST(TemplateBlockTest, BodiesOfManyPiecesAreRereadAlike) {
    // more pieces than bytes_per_piece allows: read again on every pass instead of replayed
    for (std::string_view unit : {"<<", "<b>", "<!--#x-->"}) {
        SCOPED_TRACE(unit);
        const std::string text = R"(<!--#for var="pair"-->)" + repeated(unit, 5000) +
                                 R"(<!--#echo var="pair"--><!--#endif--><!--#endfor-->)";
        const std::string inner(text.substr(22, text.size() - 22 - 14));
        int64_t pieces_left = template_block::pieces_per_rendering;
        {
            template_block body;
            EXPECT_EQ(body.read(inner, &generated_data(), pieces_left),
                      unit.size() > template_block::bytes_per_piece);
        }
        EXPECT_EQ(pieces_left, template_block::pieces_per_rendering);
        render_both(text, generated_data());
    }
    // the bodies of one rendering share a budget of pieces, given back as bodies go
    const std::string_view five = R"(a<!--#echo var="text"-->b<!--#x-->c)";
    int64_t pieces_left = 4;
    {
        template_block body;
        EXPECT_FALSE(body.read(five, &generated_data(), pieces_left));
    }
    EXPECT_EQ(pieces_left, 4);
    pieces_left = 6;
    {
        template_block body;
        EXPECT_TRUE(body.read(five, &generated_data(), pieces_left));
        EXPECT_EQ(body.pieces().size(), 5u);
        EXPECT_EQ(pieces_left, 1);
    }
    EXPECT_EQ(pieces_left, 6);
}

}  // namespace
