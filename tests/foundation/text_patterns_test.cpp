#include "text_patterns.h"

#include <gtest/gtest.h>
#include <locale.h>

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
    EXPECT_FALSE(number.is_text());

    template_value text("a & b; &#X41;");
    decode_numeric_entities(text);
    decode_named_entities(text, false, table);
    EXPECT_EQ(text.view(), "a & b; &#X41;");
}

TEST(TextPatternsTest, SubjectEndsAtItsFirstNul) {
    template_value value("&#65;\0&#66;"s);
    decode_numeric_entities(value);
    EXPECT_EQ(value.view(), "A\0&#66;"s);
    // the bytes just past the subject would complete the placeholder
    const std::string buffer = "<!-- toc -->";
    EXPECT_FALSE(is_toc_placeholder(std::string_view(buffer).substr(0, buffer.size() - 1)));
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

TEST_F(Utf8LocaleTest, DecodingIsByteWise) {
    template_value value("\xE9&#233;&lt;\xFF");
    decode_numeric_entities(value);
    decode_named_entities(value, false, scanner_entities());
    EXPECT_EQ(value.view(), "\xE9\xE9<\xFF");
    EXPECT_TRUE(is_toc_placeholder("<!--\xE9--><!-- TOC -->"));
    EXPECT_EQ(uselocale(locale_t(nullptr)), utf8_);
}

}  // namespace
