#include "heading_ids.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "html_reader.h"

namespace {

// The id give_out gives for `slug`.
std::string give_out(page_ids& ids, std::string_view slug) {
    const byte_string asked(slug);
    byte_string id;
    append_given_id(slug, ids.give_out(asked), id);
    return std::string(id.view());
}

TEST(HeadingIdsTest, SlugReadsLikeTheText) {
    struct Row {
        const char* text;
        const char* slug;
        const char* link;  // the fragment after '#'
    } rows[] = {
        {"Installing the LAMP", "installing-the-lamp", "installing-the-lamp"},
        {"  A &amp; B -- (c)!  ", "a-b-c", "a-b-c"},
        {"Fish & chips; more", "fish-chips-more", "fish-chips-more"},
        {"x &lt;y&gt; &#65;&#x42; &nbsp;&copy;z", "x-y-ab-z", "x-y-ab-z"},
        {"Caf&eacute; &Eacute;T&Eacute;", "caf\xC3\xA9-\xC3\xA9t\xC3\xA9",
         "caf%C3%A9-%C3%A9t%C3%A9"},
        // Latin-1, Greek and Cyrillic capitals lower-cased; other letters kept as they are
        {"\xC3\x89T\xC3\x89 \xCE\xA9 \xD0\x96 \xE6\x97\xA5\xE6\x9C\xAC",
         "\xC3\xA9t\xC3\xA9-\xCF\x89-\xD0\xB6-\xE6\x97\xA5\xE6\x9C\xAC",
         "%C3%A9t%C3%A9-%CF%89-%D0%B6-%E6%97%A5%E6%9C%AC"},
        // punctuation outside ASCII and bytes of no valid UTF-8 separate words
        {"a\xE2\x80\x94"
         "b\xC2\xA0"
         "c\xE9"
         "d \xF0\x9F\x98\x80",
         "a-b-c-d", "a-b-c-d"},
        {"2.0 Release", "2-0-release", "2-0-release"},
        {"&amp; -- !", "", ""},
        {"", "", ""},
        {"0123456789 0123456789 0123456789 0123456789 0123456789 0123456789 0123456789",
         "0123456789-0123456789-0123456789-0123456789-0123456789-012345678",
         "0123456789-0123456789-0123456789-0123456789-0123456789-012345678"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        const byte_string slug = heading_slug(r.text);
        EXPECT_EQ(slug.view(), r.slug);
        byte_string link;
        append_fragment(link, slug.view());
        EXPECT_EQ(link.view(), r.link);
    }
    byte_string link;
    append_fragment(link, "a b\"c%d#e&f'g");
    EXPECT_EQ(link.view(), "a%20b%22c%25d%23e&f%27g");
}

// Each row: the page's ids, then the slugs asked for in turn and the ids given out.
TEST(HeadingIdsTest, GivesOutIdsUniqueInThePage) {
    struct Row {
        const char* name;
        std::vector<std::string> found;  // ids an author wrote
        std::vector<std::string> asked;
        std::vector<std::string> given;
    } rows[] = {
        {"repeats", {}, {"intro", "intro", "intro"}, {"intro", "intro-2", "intro-3"}},
        {"an author's ids are skipped", {"intro", "intro-2"}, {"intro"}, {"intro-3"}},
        {"a heading called like a repeat", {}, {"a", "a-2", "a"}, {"a", "a-2", "a-3"}},
        {"never empty", {"section"}, {"", ""}, {"section-2", "section-3"}},
        // a length past 127 takes a second byte in the table
        {"a long id",
         {std::string(200, 'a')},
         {std::string(200, 'a')},
         {std::string(200, 'a') + "-2"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::string page;
        for (const std::string& id : r.found)
            page += "<p id=\"" + id + "\">";
        node_tree document;
        ASSERT_TRUE(parse_html_text(page, document).is_ok());
        page_ids ids;
        ids.collect(document, nullptr, nullptr);
        std::vector<std::string> given;
        for (const std::string& slug : r.asked)
            given.push_back(give_out(ids, slug));
        EXPECT_EQ(given, r.given);
    }
    // the table grows from its first few slots without losing an id
    page_ids ids;
    for (int i = 1; i <= 1000; ++i)
        ASSERT_EQ(give_out(ids, "x"), i == 1 ? "x" : "x-" + std::to_string(i));
}

// Which ids a build may keep: its own, once, and only while no author's element has it.
TEST(HeadingIdsTest, ReusesOnlyItsOwnIdsOnce) {
    node_tree document;
    ASSERT_TRUE(parse_html_text(R"(<h2 id="mine" data-qorv-id>a</h2><h2 id="twice" data-qorv-id>b)"
                                R"(</h2><h2 id="twice" data-qorv-id>c</h2><h3 id="taken" )"
                                R"(data-qorv-id>d</h3><a name="taken">e</a><h2 id="author">f)",
                                document)
                    .is_ok());
    page_ids ids;
    ids.collect(document, nullptr, nullptr);
    EXPECT_TRUE(ids.reuse("mine"));
    EXPECT_TRUE(ids.reuse("twice"));
    EXPECT_FALSE(ids.reuse("twice"));
    EXPECT_FALSE(ids.reuse("taken"));
    EXPECT_FALSE(ids.reuse("author"));
    EXPECT_EQ(give_out(ids, "mine"), "mine-2");
}

TEST(HeadingIdsTest, FindsAndRemovesAttributesAsWritten) {
    struct Row {
        const char* tag;
        const char* name;
        const char* value;  // null: not found
        const char* removed;
    } rows[] = {
        {R"(<h2 class="a" ID = 'x y' id="z">)", "id", "x y", R"(<h2 class="a" id="z">)"},
        {R"(<h2 title="id=q" id=r>)", "id", "r", R"(<h2 title="id=q">)"},
        {R"(<h2 data-qorv-id/id="s">)", "data-qorv-id", "", R"(<h2/id="s">)"},
        {R"(<h2 title="id=q">)", "id", nullptr, ""},
        {R"(<h2id="x">)", "id", nullptr, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.tag);
        tag_attribute found;
        ASSERT_EQ(find_attribute(r.tag, r.name, found), r.value != nullptr);
        if (!r.value) continue;
        EXPECT_EQ(found.value, r.value);
        byte_string tag(r.tag);
        remove_attribute(tag, found);
        EXPECT_EQ(tag.view(), r.removed);
    }
}

}  // namespace
