#include "parse_tag.h"

#include <gtest/gtest.h>

#include <string>

#include "markup_dump.h"

namespace {

// The name, then " key=value" per attribute in key order, values quoted.
std::string tag_dump(std::string_view text, bool lower_case) {
    byte_string name("stale");
    sorted_map attributes;
    parse_tag(text, lower_case ? name_case::lowered : name_case::as_written, name, attributes);
    std::string dump(name.view());
    for (const auto& [key, value] : attributes.entries())
        dump.append(" ").append(key.view()).append("=").append(quote_bytes(value.view()));
    return dump;
}

TEST(ParseTagTest, SplitsNameAndAttributes) {
    struct Row {
        std::string_view text;
        bool lower_case;
        std::string_view expected;
    } rows[] = {
        {R"(A HREF=x.htm Title="T 1" nowrap)", true, R"(a href="x.htm" nowrap="" title="T 1")"},
        {"A B=X", false, R"(A B="X")"},
        {"br/", true, "br"},
        {"br /", true, "br"},
        {"a b='x\"y' c=\"p'q\"", false, R"(a b="x\"y" c="p'q")"},
        {"a b = c", false, R"(a b="c")"},
        {"a\tb\n=\r\nc", false, R"(a b="c")"},
        {"a b c", false, R"(a b="" c="")"},
        {"a b c=1", false, R"(a b="" c="1")"},
        {"a b=", false, R"(a b="")"},
        {"a b=x=y", false, R"(a b="xy")"},
        {"a b=\"open", false, R"(a b="open")"},
        {"a b=x b=y", false, R"(a b="y")"},
        {"a B=1 b=2", true, R"(a b="2")"},
        {"a x-1.y:z_w=1", false, R"(a x-1.y:z_w="1")"},
        {"a 1b=2 -c", false, R"(a b="2" c="")"},
        {"a b=&amp;%20", false, R"(a b="&amp;%20")"},
        {"a b=\xE9/x", false, R"(a b="\xE9/x")"},
        {"a b='x'c", false, R"(a b="x" c="")"},
        {"a b=x\"y z\"w", false, R"(a b="y z" w="")"},
        {"ab\"x\"cd e", false, R"(abcd e="")"},
        {"\xE9!a?", false, "a"},
        {"\"q\"a", false, "a"},
        {"=a =b", false, R"(a ="b")"},
        {"", false, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(quote_bytes(row.text));
        EXPECT_EQ(tag_dump(row.text, row.lower_case), row.expected);
    }
}

TEST(ParseTagTest, NameOnlyStopsAfterTheName) {
    struct Row {
        std::string_view text;
        bool lower_case;
        std::string_view expected;
    } rows[] = {
        {"/p", true, "p"},      {"/KEY ", true, "key"}, {"/KEY ", false, "KEY"},
        {"/a b=c", false, "a"}, {"a b=c", false, "a"},  {"/a=b", false, "ab"},
        {"/", false, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const name_case names = row.lower_case ? name_case::lowered : name_case::as_written;
        byte_string name("stale");
        parse_tag_name(row.text, names, name);
        EXPECT_EQ(name.view(), row.expected);
        // the full reading gives the same name
        sorted_map attributes;
        parse_tag(row.text, names, name, attributes);
        EXPECT_EQ(name.view(), row.expected);
    }
}

}  // namespace
