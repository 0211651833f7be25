#include "text_patterns.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::string_literals;

struct Row {
    std::string input;
    std::string expected;
};

sorted_map scanner_entities() {
    sorted_map table;
    for (auto [name, text] : {std::pair{"amp", "&"},
                              {"lt", "<"},
                              {"gt", ">"},
                              {"apos", "'"},
                              {"quot", "\""},
                              {"copy", "(c)"}}) {
        table.insert(name, template_value(text));
    }
    return table;
}

// The out list as "[a|b|]".
std::string list_dump(const value_list& list) {
    std::string out = "[";
    for (const template_value& value : list) {
        if (out.size() > 1) out += '|';
        out += value.view();
    }
    return out + "]";
}

TEST(TextPatternsTest, NumericReferencesGiveOneByte) {
    const Row rows[] = {
        {"&#65;", "A"},
        {"&#x41;", "A"},
        {"&#xff;&#xFF;", "\xFF\xFF"},
        {"&#255;", "\xFF"},
        {"&#256;", "!"},
        {"&#1000;", "!"},
        {"&#x100;", "!"},
        {"&#0065;", "!"},
        {"&#1F;", "\x01"},
        {"&#0;", "\0"s},
        {"&#X41;", "&#X41;"},
        {"&#65", "&#65"},
        {"&#;&#x;", "&#;&#x;"},
        {"a&#65;b&#66;c", "aAbBc"},
        {"&#38;lt;", "&lt;"},
        {"&#38;#65;", "&#65;"},
        {"&amp;#65;", "&amp;#65;"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        template_value value(row.input);
        decode_numeric_entities(value);
        EXPECT_EQ(value.view(), row.expected);
    }
}

TEST(TextPatternsTest, NamedReferencesComeFromTheTable) {
    struct NamedRow {
        std::string input;
        bool lower_case;
        std::string expected;
    } rows[] = {
        {"a&lt;b&gt;c", false, "a<b>c"},
        {"&amp;lt;", false, "&lt;"},
        {"&amp;amp;", false, "&amp;"},
        {"&copy;", false, "(c)"},
        {"&nbsp;", false, "!"},
        {"&AMP;", false, "!"},
        {"&AMP;&Lt;", true, "&<"},
        {"&a.b-c:d_9;", false, "!"},
        {"&:x;&_y;", false, "!!"},
        {"&1a; & amp; &amp", false, "&1a; & amp; &amp"},
        {"&&amp;;", false, "&&;"},
        {"&#65;", false, "&#65;"},
        {"\xE9&quot;\xE9", false, "\xE9\"\xE9"},
    };
    const sorted_map table = scanner_entities();
    for (const NamedRow& row : rows) {
        SCOPED_TRACE(row.input);
        template_value value(row.input);
        decode_named_entities(value, row.lower_case, table);
        EXPECT_EQ(value.view(), row.expected);
    }
}

TEST(TextPatternsTest, ValueWithoutReferenceIsLeftAlone) {
    const sorted_map table = scanner_entities();
    template_value number(42);
    decode_numeric_entities(number);
    decode_named_entities(number, false, table);
    EXPECT_EQ(number.kind(), value_kind::integer);

    template_value text("a & b; &#X41;");
    decode_numeric_entities(text);
    decode_named_entities(text, false, table);
    EXPECT_EQ(text.view(), "a & b; &#X41;");
}

TEST(TextPatternsTest, SubjectEndsAtItsFirstNul) {
    template_value value("&#65;\0&#66;"s);
    decode_numeric_entities(value);
    EXPECT_EQ(value.view(), "A\0&#66;"s);

    EXPECT_NE(regex_match("b", 0, "a\0b"s, nullptr), 0);
    // the bytes just past the subject would complete the match
    const std::string buffer = "abc";
    EXPECT_NE(regex_match("abc", 0, std::string_view(buffer).substr(0, 2), nullptr), 0);
    EXPECT_EQ(regex_match("ab$", 0, std::string_view(buffer).substr(0, 2), nullptr), 0);
}

TEST(TextPatternsTest, MatchFillsTheOutList) {
    struct MatchRow {
        std::string pattern;
        int32_t flags;
        std::string subject;
        bool matches;
        std::string list;
    } rows[] = {
        {"(x)|(y)", 0, "-x-", true, "[x|x|]"},
        {"a(b*)c", 0, "zacz", true, "[ac|]"},
        {"([0-9]+)\\.([0-9]+)", 0, "v 10.25", true, "[10.25|10|25]"},
        {"ABC", regex_ignore_case, "xabcx", true, "[abc]"},
        {"ABC", 0, "xabcx", false, "[]"},
        {"a(b)", regex_no_sub, "ab", true, "[]"},
        {"(", 0, "(", false, "[]"},
        {"a{2", 0, "aa", false, "[]"},
        {"^$", 0, "", true, "[]"},
    };
    for (const MatchRow& row : rows) {
        SCOPED_TRACE(row.pattern + " on " + row.subject);
        value_list list;
        list.add(template_value("stale"));
        const int result = regex_match(row.pattern, row.flags, row.subject, &list);
        EXPECT_EQ(result == 0, row.matches);
        EXPECT_EQ(list_dump(list), row.list);
        EXPECT_EQ(regex_match(row.pattern, row.flags, row.subject, nullptr) == 0, row.matches);
    }
}

TEST(TextPatternsTest, PlaceholderSearch) {
    struct PlaceholderRow {
        std::string comment;
        bool expected;
    } rows[] = {
        {"<!-- toc -->", true},      {"<!--toc-->", true},
        {"<!--\t TOC\r\n-->", true}, {"<!-- ToC -->", true},
        {"x <!-- toc --> y", true},  {"<!-- x --><!--toc-->", true},
        {"<!--<!-- toc -->", true},  {"<!-- t<!--\nToc\n-->", true},
        {"<!-- toc -->\0"s, true},   {"<!-- toc\0 -->"s, false},
        {"<!-- toc2 -->", false},    {"<!-- the toc -->", false},
        {"<!-- toc --", false},      {"<!--\vtoc-->", false},
        {"<!-- \xE9toc -->", false}, {"", false},
    };
    for (const PlaceholderRow& row : rows) {
        SCOPED_TRACE(row.comment);
        EXPECT_EQ(is_toc_placeholder(row.comment), row.expected);
    }
}

TEST(TextPatternsTest, PlaceholderSearchFromManyThreads) {
    std::vector<std::thread> threads;
    std::vector<int> found(4, 0);
    for (size_t t = 0; t < found.size(); ++t) {
        threads.emplace_back([&found, t] {
            for (int i = 0; i < 200; ++i)
                found[t] += is_toc_placeholder(i % 2 ? "<!-- TOC -->" : "<!-- not -->");
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(found, std::vector<int>(4, 100));
}

// Runs the check with the calling thread in a UTF-8 locale, as a GUI framework sets it.
class Utf8LocaleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        utf8_ = newlocale(LC_ALL_MASK, "C.UTF-8", locale_t(nullptr));
        if (!utf8_) GTEST_SKIP() << "no C.UTF-8 locale";
        previous_ = uselocale(utf8_);
    }
    void TearDown() override {
        if (!utf8_) return;
        uselocale(previous_);
        freelocale(utf8_);
    }

    locale_t utf8_ = locale_t(nullptr);
    locale_t previous_ = locale_t(nullptr);
};

TEST_F(Utf8LocaleTest, MatchingIsByteWise) {
    // "é" in UTF-8 is two bytes, so two dots; a lone 0xE9 is one byte
    EXPECT_EQ(regex_match("^x..y$", 0, "x\xC3\xA9y", nullptr), 0);
    EXPECT_NE(regex_match("^x[^a]y$", 0, "x\xC3\xA9y", nullptr), 0);
    EXPECT_EQ(regex_match("^a.b$", 0,
                          "a\xE9"
                          "b",
                          nullptr),
              0);
    EXPECT_EQ(regex_match("^[\x80-\xFF]+$", 0, "\xE9\xFF\x80", nullptr), 0);
    EXPECT_NE(regex_match("\xC9", regex_ignore_case, "\xE9", nullptr), 0);
    value_list list;
    EXPECT_EQ(regex_match("a(.)c", 0,
                          "\xFF"
                          "a\xE9"
                          "c",
                          &list),
              0);
    EXPECT_EQ(list_dump(list),
              "[a\xE9"
              "c|\xE9]");

    template_value value("\xE9&#233;&lt;\xFF");
    decode_numeric_entities(value);
    decode_named_entities(value, false, scanner_entities());
    EXPECT_EQ(value.view(), "\xE9\xE9<\xFF");
    EXPECT_TRUE(is_toc_placeholder("<!--\xE9--><!-- TOC -->"));
    EXPECT_EQ(uselocale(locale_t(nullptr)), utf8_);
}

}  // namespace
