#include "tag_value_file.h"

#include <gtest/gtest.h>

#include <string>

#include "files.h"
#include "markup_dump.h"
#include "output_file.h"
#include "scratch_dir.h"

using namespace std::literals;

namespace {

class TagValueFileTest : public ScratchDirTest {};

// "key=[v1|v2]" per key in key order.
std::string values_dump(const named_lists& values) {
    std::string dump;
    for (const auto& [key, list] : values.entries()) {
        if (!dump.empty()) dump += ' ';
        dump += std::string(key.view()) + "=[";
        bool first = true;
        for (const template_value& value : *list) {
            if (!first) dump += '|';
            first = false;
            dump += quote_bytes(value.view());
        }
        dump += "]";
    }
    return dump;
}

TEST_F(TagValueFileTest, ReadYieldsTextAndSelfClosingElements) {
    struct Row {
        std::string_view file;
        std::string_view expected;
    } rows[] = {
        {"<b>2</b>\r\n<a>1</a>\r\n<b>3</b>\r\n", R"(a=["1"] b=["2"|"3"])"},
        {"<a></a><b/><c />", R"(b=[""] c=[""])"},
        {"<a> </a><b>&lt;&#233;&amp;lt;</b>", R"(a=[" "] b=["<\xE9&lt;"])"},
        {"<A>x</a>", R"(a=["x"])"},
        {"<wrap><a>x</a><b><c>y</c></b></wrap>", R"(a=["x"] c=["y"])"},
        {"<a><![CDATA[<&amp;>]]></a>", R"(a=["<&amp;>"])"},
        {"<?xml version=\"1.0\"?>\n<!-- note --><a>x<!-- c --></a>", R"(a=["x"])"},
        {"<a>x\r\ny\rz</a>", R"(a=["x\ny\nz"])"},
        {"", ""},
        // the reference decoders read C strings: none after a NUL is decoded, so such a value
        // written escaped reads back escaped
        {"<a>&lt;\0&lt;</a><b>&amp;</b>"sv, R"(a=["<\x00&lt;"] b=["&"])"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(quote_bytes(row.file));
        put("t.txt", std::string(row.file));
        tag_value_file file;
        ASSERT_TRUE(file.read(path("t.txt")).is_ok());
        EXPECT_EQ(values_dump(file.values), row.expected);
    }
}

// A first line that puts its CR LF across the boundary of the 8092-byte reads.
std::string long_file(int lines, std::string_view tail) {
    std::string text = "<p>" + std::string(8091 - 7, 'x') + "</p>\r\n";
    EXPECT_EQ(text[8091], '\r');
    for (int i = 0; i < lines; ++i)
        text += "<k>" + std::to_string(i) + "</k>\r\n";
    return text + std::string(tail);
}

TEST_F(TagValueFileTest, ReadsInChunks) {
    put("t.txt", long_file(1000, ""));
    tag_value_file file;
    ASSERT_TRUE(file.read(path("t.txt")).is_ok());
    const value_list* list = file.values.find_list("k");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 1000);
    EXPECT_EQ(list->back().view(), "999");
    template_value p;
    EXPECT_TRUE(file.values.first_value("p", p));
    EXPECT_EQ(p.text_length(), 8091 - 7);
}

TEST_F(TagValueFileTest, FailedReadReportsAndKeepsValues) {
    struct Row {
        std::string file;
        std::string expected;
    } rows[] = {
        {"<a>x</b>", "Line: 1, column: 8\r\nError: misplaced end tag.\r\n"},
        {"<a>x</a>\r\n<b>", "Line: 2, column: 3\r\nError: unclosed tag.\r\n"},
        {long_file(1000, "</x>"), "Line: 1002, column: 4\r\nError: misplaced end tag.\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(quote_bytes(row.file.substr(0, 40)));
        put("t.txt", row.file);
        tag_value_file file;
        file.values.add_value("old", template_value("kept"));
        EXPECT_EQ(file.read(path("t.txt")).message().view(), row.expected);
        EXPECT_EQ(values_dump(file.values), R"(old=["kept"])");
    }
    tag_value_file missing;
    EXPECT_EQ(missing.read(path("none.txt")).message().view(),
              "Can't open file " + path("none.txt"));
    // opens, then every read fails with EIO: a failure, not an empty file
    tag_value_file unreadable;
    EXPECT_EQ(unreadable.read("/proc/self/mem").message().view(), "Can't open file /proc/self/mem");
    // past what a text holds: refused before reading
    put_sparse("huge.txt", largest_readable_file + 1);
    tag_value_file huge;
    EXPECT_EQ(huge.read(path("huge.txt")).message().view(),
              "File is too large: " + path("huge.txt"));
}

TEST_F(TagValueFileTest, WritesSortedEscapedLines) {
    tag_value_file file;
    file.values.add_value("b", template_value("2 < 3"));
    file.values.add_value("a", template_value(7));
    file.values.add_value("b", template_value("\"it's\" & \xE9"));
    file.values.add_value("B", template_value(""));
    file.values.add_value("c", template_value("x\r\ny\rz"));
    ASSERT_TRUE(file.write(path("t.txt")).is_ok());
    EXPECT_EQ(bytes_of("t.txt"),
              "<B></B>\r\n<a>7</a>\r\n<b>2 &lt; 3</b>\r\n<b>&quot;it's&quot; &amp; &#233;</b>\r\n"
              "<c>x&#13;\ny&#13;z</c>\r\n");

    // a carriage return written raw would read back as a line feed
    tag_value_file again;
    ASSERT_TRUE(again.read(path("t.txt")).is_ok());
    template_value c;
    EXPECT_TRUE(again.values.first_value("c", c));
    EXPECT_EQ(c.view(), "x\r\ny\rz");

    tag_value_file empty;
    ASSERT_TRUE(empty.write(path("t.txt")).is_ok());
    EXPECT_EQ(bytes_of("t.txt"), "");
}

TEST_F(TagValueFileTest, FailedWriteLeavesTheOldFile) {
    put("t.txt", "old");
    tag_value_file file;
    file.values.add_value("a", template_value(std::string(100, 'x')));
    set_output_fault_for_testing(20);
    const result written = file.write(path("t.txt"));
    set_output_fault_for_testing(-1);
    EXPECT_EQ(written.message().view(), "Can't write to file: " + path("t.txt"));
    EXPECT_EQ(bytes_of("t.txt"), "old");
    EXPECT_EQ(names_in(), std::vector<std::string>{"t.txt"});
    EXPECT_FALSE(file.write(path("missing/t.txt")).is_ok());
}

}  // namespace
