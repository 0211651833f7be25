#include "template_interpreter.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "render_template.h"

namespace {

struct Row {
    std::string_view input;
    std::string_view expected;  // "{line:column}" stands for an error report
    template_end end = template_end::blocks_closed;
};

const char* const error_text = "<b>Error occurred while processing QVI directive.</b> Line # ";

std::string error_at(int64_t line, int64_t column) {
    return error_text + std::to_string(line) + " Col # " + std::to_string(column);
}

// Replaces every "{line:column}" by the error report for that position.
std::string expand(std::string_view expected) {
    std::string out;
    size_t i = 0;
    while (i < expected.size()) {
        const size_t open = expected.find('{', i);
        if (open == std::string_view::npos) break;
        const size_t colon = expected.find(':', open);
        const size_t close = expected.find('}', colon);
        out += expected.substr(i, open - i);
        out += error_at(std::stoll(std::string(expected.substr(open + 1, colon - open - 1))),
                        std::stoll(std::string(expected.substr(colon + 1, close - colon - 1))));
        i = close + 1;
    }
    out += expected.substr(i);
    return out;
}

void add_list(named_lists& data, std::string_view key, std::vector<std::string_view> values) {
    data.set_list(key, std::make_unique<value_list>());
    for (std::string_view value : values)
        data.add_value(key, template_value(value));
}

const named_lists& sample_data() {
    static const named_lists* data = [] {
        auto* d = new named_lists;
        add_list(*d, "text", {"A", "B", "C"});
        add_list(*d, "item", {"1", "2", "3"});
        add_list(*d, "link", {"#a", "#b", "#c"});
        add_list(*d, "open", {"1", "0", "1"});
        add_list(*d, "long", {"1", "2", "3", "4", "5"});
        add_list(*d, "pair", {"x", "y"});
        add_list(*d, "empty", {});
        add_list(*d, "one", {"1"});
        add_list(*d, "zero", {"0"});
        add_list(*d, "abc", {"abc"});
        add_list(*d, "twoabc", {"2abc"});
        add_list(*d, "te'xt", {"Q"});
        add_list(*d, "a-->b", {"Z"});
        return d;
    }();
    return *data;
}

struct rendering {
    std::string text;
    template_end end = template_end::blocks_closed;
};

rendering render(std::string_view input, const named_lists& data, int32_t chunk_size,
                 int64_t work_limit = template_interpreter::default_work_limit) {
    std::vector<byte_string> pieces;
    rendering r;
    r.end = render_template_text(input, data, pieces, chunk_size, work_limit);
    for (const byte_string& piece : pieces)
        r.text += piece.view();
    return r;
}

// Every row is fed byte by byte, in odd-sized chunks and whole.
void check_rows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        for (int32_t chunk_size : {1, 7, 16384}) {
            SCOPED_TRACE(std::string(row.input) + " in chunks of " + std::to_string(chunk_size));
            const rendering r = render(row.input, sample_data(), chunk_size);
            EXPECT_EQ(r.text, expand(row.expected));
            EXPECT_EQ(r.end, row.end);
        }
    }
}

TEST(TemplateInterpreterTest, TextAndEcho) {
    check_rows({
        {"<p class=x>a &amp; b</p>\n<!-- c -->\r\n", "<p class=x>a &amp; b</p>\n<!-- c -->\r\n"},
        {"", ""},
        {R"(<!--#echo var="text"-->)", "A"},
        {R"(<!--#ECHO VAR="text"-->)", "A"},
        {R"(<!--#echo var="Text"-->)", R"(<!--#echo var="Text"-->)"},
        {R"(<!-- #echo var="text"-->)", R"(<!-- #echo var="text"-->)"},
        {R"(<!--# echo var="text" -->)", "A"},
        {R"(<!--#echo var='te\'xt'-->)", "Q"},
        {R"(<!--#echo var="a-->b"-->)", "Z"},
        {R"(<a href="<!--#echo var="link"-->">)", R"(<a href="#a">)"},
        {R"(<!--#ec/ho var="text"-->)", "A"},
        {R"(<!--#echo var="nosuch" VAR="text"-->)", "A"},
        {"<!--#echo-->", "<!--#echo-->"},
        {R"(<!--#echo var="nosuch"-->)", R"(<!--#echo var="nosuch"-->)"},
        {R"(<!--#echo var="empty"-->)", R"(<!--#echo var="empty"-->)"},
        {R"(<><!><<!--#echo var="text"-->)", R"(<><!><<!--#echo var="text"-->)"},
        {R"(<!--#include file="x"-->)", R"(<!--#include file="x"-->)"},
        {R"(x<!--#echo var="text")", R"(x<!--#echo var="text")"},
        {R"(<!--#echo var="a-->)", R"(<!--#echo var="a-->)"},
        {"<!--#echo var=\"text\"-->\r\n<!--#echo var=\"link\"-->\n", "A\r\n#a\n"},
    });
}

TEST(TemplateInterpreterTest, Loops) {
    check_rows({
        {R"(<!--#for var="item"-->[<!--#echo var="text"-->]<!--#endfor-->)", "[A][B][C]"},
        {R"(<!--#FOR Var="item"-->x<!--#EndFor-->)", "xxx"},
        {R"(<!--#for var="empty"-->[<!--#echo var="text"-->]<!--#endfor-->)", ""},
        {R"(<!--#for var="item"--><!--#endfor-->)", ""},
        // the indexing rule: pass 0 and passes beyond the echoed list read the first value
        {R"(<!--#for var="long"-->[<!--#echo var="text"-->]<!--#endfor-->)", "[A][B][C][A][A]"},
        {R"(<!--#for var="pair"--><!--#x--><!--#endfor-->)", "<!--#x--><!--#x-->"},
        {R"(<!--#for var="item"-->(<!--#for var="pair"--><!--#echo var="text"--><!--#endfor-->))"
         R"(<!--#endfor-->)",
         "(AB)(AB)(AB)"},
        {R"(<!--#for var="item"--><!--#if var="open"-->Y<!--#else-->N<!--#endif--><!--#endfor-->)",
         "YNY"},
    });
}

TEST(TemplateInterpreterTest, Conditions) {
    check_rows({
        {R"(<!--#if var="one"-->Y<!--#else-->N<!--#endif-->)", "Y"},
        {R"(<!--#if var="zero"-->Y<!--#else-->N<!--#endif-->)", "N"},
        {R"(<!--#if var="abc"-->Y<!--#else-->N<!--#endif-->)", "N"},
        {R"(<!--#if var="twoabc"-->Y<!--#else-->N<!--#endif-->)", "Y"},
        {R"(<!--#If var="zero"-->Y<!--#ENDIF-->)", ""},
        {R"(<!--#if var="one"--><!--#echo var="text"--><!--#endif-->)", "A"},
        // an if in a dropped branch is only counted, even on an absent variable
        {R"(<!--#if var="zero"--><!--#if var="nosuch"-->x<!--#endif--><!--#else-->N<!--#endif-->)",
         "N"},
        {R"(<!--#if var="one"--><!--#if var="zero"-->x<!--#else-->y<!--#endif-->z<!--#endif-->)",
         "yz"},
    });
}

TEST(TemplateInterpreterTest, ErrorsAreWrittenInline) {
    check_rows({
        {R"(<!--#if var="nosuch"-->Y<!--#else-->N<!--#endif-->)", "{1:23}YN"},
        {R"(<!--#if var="empty"-->Y<!--#endif-->)", "{1:22}Y"},
        {R"(<!--#for var="nosuch"-->[<!--#echo var="text"-->]<!--#endfor-->)", "{1:24}[A]"},
        {"<!--#for-->x<!--#endfor-->", "{1:11}x"},
        // inside a failed block nested blocks are written unchanged
        {R"(<!--#for var="nosuch"--><!--#if var="one"-->y<!--#endif--><!--#endfor-->)",
         R"({1:24}<!--#if var="one"-->y<!--#endif-->)"},
        {"<!--#endif-->", "<!--#endif-->{1:13}"},
        {"a<!--#endfor-->b", "a<!--#endfor-->{1:15}b"},
        {"<!--#else-->", "<!--#else-->"},
        {"a\r\nb<!--#endif-->", "a\r\nb<!--#endif-->{2:14}"},
        // positions count from the body's first byte, once per pass
        {R"(<!--#for var="item"-->ab<!--#if var="nosuch"-->x<!--#endif--><!--#endfor-->)",
         "ab{1:25}xab{1:25}xab{1:25}x"},
        {"<!--#for var=\"pair\"-->a\n<!--#if var=\"nosuch\"-->b<!--#endif-->\n<!--#endfor-->",
         "a\n{2:23}b\na\n{2:23}b\n"},
        // a stray closer in a body is reported when it is collected and again in every pass
        {"<!--#for var=\"pair\"-->a\n<!--#endif-->\n<!--#endfor-->",
         "{2:13}a\n<!--#endif-->{2:13}\na\n<!--#endif-->{2:13}\n"},
    });
}

TEST(TemplateInterpreterTest, InputEndingInsideABlock) {
    check_rows({
        {R"(<!--#if var="one"-->abc<!--#echo var="text"-->tail)", "tail", template_end::block_open},
        {R"(<!--#if var="one"-->abc<b)", "<b", template_end::block_open},
        {R"(<!--#if var="zero"-->abc)", "abc", template_end::block_open},
        {R"(<!--#for var="item"-->x<!--#echo var="text")", R"(<!--#echo var="text")",
         template_end::block_open},
        {R"(<!--#for var="nosuch"-->x)", "{1:24}x"},
    });
}

std::string repeated(std::string_view text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

TEST(TemplateInterpreterTest, DeepNestingStopsAtTheLimit) {
    struct Block {
        std::string_view opener;
        std::string_view closer;
    } blocks[] = {
        {R"(<!--#if var="one"-->)", "<!--#endif-->"},
        {R"(<!--#for var="one"-->)", "<!--#endfor-->"},
    };
    for (const Block& block : blocks) {
        SCOPED_TRACE(block.opener);
        const auto nested = [&](int depth) {
            return repeated(block.opener, depth) + "x" + repeated(block.closer, depth);
        };
        EXPECT_EQ(render(nested(template_interpreter::max_nesting), sample_data(), 16384).text,
                  "x");
        // the first block beyond the limit is reported and written out with all it holds
        const int depth = 5000;
        const int unevaluated = depth - template_interpreter::max_nesting;
        const rendering deep = render(nested(depth), sample_data(), 16384);
        EXPECT_EQ(deep.text,
                  error_at(1, static_cast<int64_t>(block.opener.size())) + nested(unevaluated));
        EXPECT_EQ(deep.end, template_end::blocks_closed);
    }
}

// Each pass costs its body's length and what it writes; the pass that would go past the limit
// writes the report instead, and nothing is written after it.
TEST(TemplateInterpreterTest, WorkLimitEndsRunawayLoops) {
    struct LimitRow {
        int64_t limit;
        std::string_view input;
        std::string_view expected;
    } rows[] = {
        {45, R"(<!--#for var="long"-->abcdefghij<!--#endfor-->tail)", "abcdefghijabcdefghij{1:46}"},
        // a nested body's own write goes past it: the report shows the place in that body
        {40, R"(<!--#for var="pair"-->b<!--#if var="one"-->cd<!--#endif--><!--#endfor-->tail)",
         "b{1:2}"},
        {1000, R"(<!--#for var="pair"-->ab<!--#endfor-->tail)", "ababtail"},
    };
    for (const LimitRow& row : rows) {
        for (int32_t chunk_size : {1, 7, 16384}) {
            SCOPED_TRACE(std::string(row.input) + " in chunks of " + std::to_string(chunk_size));
            const rendering r = render(row.input, sample_data(), chunk_size, row.limit);
            EXPECT_EQ(r.text, expand(row.expected));
            EXPECT_EQ(r.end, template_end::blocks_closed);
        }
    }
    // 2^200 passes that write nothing end at the default limit
    const int depth = template_interpreter::max_nesting;
    const rendering nested = render(
        repeated(R"(<!--#for var="pair"-->)", depth) + repeated("<!--#endfor-->", depth) + "tail",
        sample_data(), 16384);
    EXPECT_TRUE(nested.text.starts_with(error_text)) << nested.text;
    EXPECT_EQ(nested.text.find(error_text, 1), std::string::npos);
    EXPECT_FALSE(nested.text.ends_with("tail"));
    EXPECT_EQ(nested.end, template_end::blocks_closed);
}

TEST(TemplateInterpreterTest, LongLoopRendersEveryRow) {
    const int rows = 200000;
    named_lists data;
    data.set_list("item", std::make_unique<value_list>());
    data.set_list("open", std::make_unique<value_list>());
    std::string expected;
    for (int i = 0; i < rows; ++i) {
        data.add_value("item", template_value(int32_t{i}));
        data.add_value("open", template_value(i % 2 == 0));
        expected += "<li>" + std::to_string(i) + (i % 2 == 0 ? "+" : "-") + "</li>\n";
    }
    const rendering r = render(
        "<ul>\n<!--#for var=\"item\"--><li><!--#echo var=\"item\"-->"
        "<!--#if var=\"open\"-->+<!--#else-->-<!--#endif--></li>\n<!--#endfor--></ul>",
        data, 16384);
    EXPECT_EQ(r.text, "<ul>\n" + expected + "</ul>");
}

TEST(TemplateInterpreterTest, DrivingLoopHandsOutOutputAfterEveryStep) {
    // the driving loop by hand: output is taken after every step
    template_interpreter interpreter;
    interpreter.set_data(sample_data());
    interpreter.push_chunk(R"(<!--#for var="item"-->)");
    EXPECT_EQ(interpreter.scan_step(), scan_status::needs_input);
    EXPECT_EQ(interpreter.mode(), interpreter_mode::collect);
    EXPECT_TRUE(interpreter.output().is_empty());
    interpreter.push_chunk(R"(<!--#echo var="text"--><!--#endfor-->.)");
    EXPECT_EQ(interpreter.scan_step(), scan_status::needs_input);
    std::string out;
    template_value piece;
    while (interpreter.output().pop_front(piece))
        out += piece.view();
    EXPECT_EQ(out, "ABC");
    interpreter.set_end_of_input(true);
    EXPECT_EQ(interpreter.scan_step(), scan_status::finished);
    while (interpreter.output().pop_front(piece))
        out += piece.view();
    EXPECT_EQ(out, "ABC.");
}

TEST(TemplateInterpreterTest, DrainTakesALongOutputWithinOneStep) {
    named_lists data;
    add_list(data, "item", {});
    std::string expected;
    for (int i = 0; i < 20000; ++i) {
        data.add_value("item", template_value(int32_t{i}));
        expected += "<li>" + std::to_string(i) + "</li>";
    }
    std::string drained;
    const std::function<void(std::string_view)> drain = [&drained](std::string_view text) {
        drained += text;
    };
    template_interpreter interpreter;
    interpreter.set_data(data);
    interpreter.set_output_drain(&drain);
    interpreter.push_chunk(
        R"(<!--#for var="item"--><li><!--#echo var="item"--></li><!--#endfor-->)");
    EXPECT_EQ(interpreter.scan_step(), scan_status::needs_input);
    // the step kept no more than the text it was filling
    EXPECT_LE(interpreter.output().count(), 1);
    for (template_value piece; interpreter.output().pop_front(piece);)
        drained += piece.view();
    EXPECT_EQ(drained, expected);
}

TEST(TemplateInterpreterTest, DirectiveWords) {
    struct WordsRow {
        std::string_view directive;
        std::string_view keyword;
        std::string_view var;  // "-" when no var was written
    } rows[] = {
        {R"(<!--#echo var="x"-->)", "echo", "x"},
        {R"(<!--#  12 ECHO VAR="MixedCase"-->)", "echo", "MixedCase"},
        {R"(<!--#e.c/h-o var="x"-->)", "e.ch-o", "x"},
        {R"(<!--#echo var='te\'xt'-->)", "echo", "te'xt"},
        {R"(<!--#echo var="a\\b\"c"-->)", "echo", R"(a\b"c)"},
        {R"(<!--#echo var="x" var='y'-->)", "echo", "y"},
        {R"(<!--#echo var="x" var-->)", "echo", ""},
        {"<!--#echo var other=z-->", "echo", ""},
        {"<!--#echo var=a-b.c:d other-->", "echo", "a-b.c:d"},
        {R"(<!--#echo "var=q" var= "x"-->)", "echo", "x"},
        {R"(<!--#echo var = "x"-->)", "echo", ""},
        {"<!--#echo\tvar=\"a b\"\r\n-->", "echo", "a b"},
        {R"(<!--#echo xvar="x" va-r="y"-->)", "echo", "-"},
        {"<!--#echo-->", "echo", "-"},
        {"<!--#-->", "", "-"},
    };
    byte_string keyword;
    byte_string var;
    for (const WordsRow& row : rows) {
        SCOPED_TRACE(row.directive);
        const bool has_var = read_directive(row.directive, keyword, var);
        EXPECT_EQ(keyword.view(), row.keyword);
        EXPECT_EQ(has_var ? var.view() : "-", row.var);
    }
}

}  // namespace
