#include "markup/parse_tag.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/markup_dump.h"

namespace {

// The name, then each attribute as name=quoted value in map order.
std::string parsed(std::string_view text, bool lower_case = true, bool name_only = false) {
    qvchar name("stale");
    qvhash attributes;
    parse_tag(text, name, &attributes, lower_case, name_only);
    std::string out(name.view());
    for (const auto& [key, value] : attributes.entries())
        out += " " + std::string(key.view()) + "=" + quote_bytes(value.view());
    return out;
}

TEST(ParseTagTest, SplitsNameAndAttributes) {
    const struct {
        std::string_view text;
        std::string_view expected;
    } rows[] = {
        {R"(A HREF=x.htm Title="T 1" nowrap)", R"(a href="x.htm" nowrap="" title="T 1")"},
        {"br/", "br"},
        {"br /", "br"},
        {" p", "p"},
        {"a/b", "ab"},
        {R"(img src='a b.png' alt="it's")", R"(img alt="it's" src="a b.png")"},
        {R"(a href = "x" )", R"(a href="x")"},
        {"a x=1 x=2", R"(a x="2")"},
        {"a b c", R"(a b="" c="")"},
        {"a b c=", R"(a b="" c="")"},
        {"a\tb\r\nc\n=\nd", R"(a b="" c="d")"},
        {R"(a title="open)", R"(a title="open")"},
        {R"(a b='x"y')", R"(a b="x\"y")"},
        {R"(a b=x"y")", R"(a b="y")"},
        {R"(a "skipped x=1" b)", R"(a b="")"},
        {R"(a"q"b c)", R"(ab c="")"},
        {"a =x", R"(a ="x")"},
        {"a 1b=2", R"(a b="2")"},
        {"a=b c", R"(ab c="")"},
        // '=' inside an unquoted value is dropped; entities stay as written
        {"a href=x?y=1&amp;z", R"(a href="x?y1&amp;z")"},
        {"ns:Tag data-x.Y_z=V", R"(ns:tag data-x.y_z="V")"},
        {std::string_view("a b=\xE9\0!", 7), R"(a b="\xE9\x00!")"},
        {"", ""},
        {"  ", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(parsed(row.text), row.expected);
    }
}

TEST(ParseTagTest, OptionsKeepCaseOrStopAfterTheName) {
    EXPECT_EQ(parsed("A HREF=X", false), R"(A HREF="X")");
    EXPECT_EQ(parsed("DIV class=x id", true, true), "div");
    EXPECT_EQ(parsed("DIV", false, true), "DIV");

    qvchar name;
    parse_tag("P Class=x", name, nullptr, true, false);
    EXPECT_EQ(name, "p");
}

}  // namespace
