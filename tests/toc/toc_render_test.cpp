#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files.h"
#include "scratch_dir.h"
#include "toc_build.h"

namespace {

constexpr const char* keys[] = {"item",  "text",        "link",     "open",       "numbering",
                                "level", "indentation", "children", "parent_list"};

// A tree of items given as (level, text); links are "#" + text, numbering as the build makes it.
struct TreeFixture {
    toc_tree tree;
    std::vector<toc_node*> items;

    explicit TreeFixture(const std::vector<std::pair<int, const char*>>& entries) {
        toc_node* current = nullptr;
        for (const auto& [level, text] : entries) {
            auto item = std::make_unique<toc_node>();
            item->level = level;
            item->text.append(text);
            item->link.append("#");
            item->link.append(text);
            current = tree.append(std::move(item), current);
            tree.set_numbering(*current);
            items.push_back(current);
        }
    }

    toc_node* find(std::string_view text) const {
        for (toc_node* item : items)
            if (item->text == text) return item;
        return nullptr;
    }

    // One line per row: the nine fields in key order, separated by '|'.
    std::vector<std::string> rows(toc_node* start) {
        named_lists data;
        fill_toc_data(tree, start, data);
        EXPECT_EQ(data.count(), 9);
        std::vector<std::string> out;
        const int32_t count = data.find_list("item") ? data.find_list("item")->count() : 0;
        for (int32_t row = 0; row < count; ++row) {
            std::string line;
            for (const char* key : keys) {
                const value_list* list = data.find_list(key);
                EXPECT_NE(list, nullptr) << key;
                if (!list) return out;
                EXPECT_EQ(list->count(), count) << key;
                if (row >= list->count()) return out;
                const template_value& value = list->value(row);
                if (!line.empty()) line += '|';
                line += std::string(value.view());
            }
            out.push_back(line);
        }
        return out;
    }
};

TEST(TocRenderTest, RowsOfNestedItems) {
    TreeFixture fixture({{1, "A"}, {2, "B"}, {2, "C"}, {1, "D"}});
    fixture.tree.indent.assign("..");
    const std::vector<std::string> expected = {
        "1|A|#A|1|1. |0||1|", "2|B|#B|1|1.1. |1|..|0|1", "3|C|#C|1|1.2. |1|..|0|1",
        "4|||0||||1|",        "5|D|#D|1|2. |0||0|",
    };
    EXPECT_EQ(fixture.rows(fixture.find("A")), expected);
    EXPECT_EQ(fixture.find("A")->render_index, 1u);
    EXPECT_EQ(fixture.find("D")->render_index, 5u);
}

TEST(TocRenderTest, CloseRowLevelIsEmptyText) {
    TreeFixture fixture({{1, "A"}, {2, "B"}});
    named_lists data;
    fill_toc_data(fixture.tree, fixture.find("A"), data);
    ASSERT_GT(data.find_list("level")->count(), 2);
    const template_value& level = data.find_list("level")->value(2);
    EXPECT_TRUE(level.is_text());
    EXPECT_EQ(level.view(), "");
    ASSERT_GT(data.find_list("open")->count(), 2);
    const template_value& open = data.find_list("open")->value(2);
    EXPECT_EQ(open.to_integer(), 0);
}

TEST(TocRenderTest, IndentationRepeatsByDepth) {
    TreeFixture fixture({{1, "A"}, {2, "B"}, {3, "C"}, {1, "D"}});
    fixture.tree.indent.assign("  ");
    const std::vector<std::string> expected = {
        "1|A|#A|1|1. |0||1|",
        "2|B|#B|1|1.1. |1|  |1|1",
        "3|C|#C|1|1.1.1. |2|    |0|2,1",
        "4|||0|||  |1|",
        "5|||0||||1|",
        "6|D|#D|1|2. |0||0|",
    };
    EXPECT_EQ(fixture.rows(fixture.find("A")), expected);
}

TEST(TocRenderTest, StartBelowTopLevel) {
    // a local TOC under a page title: the title was never rendered and contributes 0
    TreeFixture fixture({{0, "T"}, {1, "A"}, {2, "B"}, {1, "C"}, {0, "U"}, {1, "E"}});
    const std::vector<std::string> expected = {
        "1|A|#A|1|1.1. |1||1|0", "2|B|#B|1|1.1.1. |2||0|1,0",
        "3|||0||||1|",           "4|C|#C|1|1.2. |1||0|0",
        "5|||0||||1|",           "6|U|#U|1|2. |0||1|",
        "7|E|#E|1|2.1. |1||0|6", "8|||0||||1|",
    };
    EXPECT_EQ(fixture.rows(fixture.find("A")), expected);
}

TEST(TocRenderTest, AncestorKeepsEarlierRenderIndex) {
    TreeFixture fixture({{0, "T"}, {1, "A"}});
    (void)fixture.rows(fixture.find("T"));
    const std::vector<std::string> expected = {"1|A|#A|1|1.1. |1||0|1", "2|||0||||1|"};
    EXPECT_EQ(fixture.rows(fixture.find("A")), expected);
}

TEST(TocRenderTest, NoStartItemGivesNoRows) {
    TreeFixture fixture({});
    EXPECT_TRUE(fixture.rows(nullptr).empty());
}

const std::string toc_comment =
    "\r\n<!--\r\nTOC is created by QORV Tocvane.\r\nhttps://tocvane.example.org/\r\n"
    "*Do not edit or delete* start and end tags wrapped within HTML comments.\r\n"
    "If you need to edit TOC, just regenerate it using the same project.\r\n-->\r\n";

class RenderTocTest : public ScratchDirTest {
  protected:
    // The TOC's bytes, or "missing" when the template can't render it.
    std::string render(TreeFixture& fixture, toc_node* start, const std::string& template_name) {
        loaded_template layout;
        load_template(path(template_name), layout);
        if (!renders_toc(layout, start)) return "missing";
        std::string all;
        render_toc(fixture.tree, start, layout, [&all](std::string_view bytes) { all += bytes; });
        return all;
    }
};

TEST_F(RenderTocTest, MarkersCommentAndTemplateOutput) {
    put("t.tpl",
        "<!--#for var=\"item\"--><!--#echo var=\"open\"--><!--#echo var=\"text\"-->"
        "<!--#endfor-->");
    TreeFixture fixture({{1, "A"}, {2, "B"}});
    EXPECT_EQ(render(fixture, fixture.find("A"), "t.tpl"),
              "<!--QORV_HTML_TOC_START-->" + toc_comment + "1A1B0<!--QORV_HTML_TOC_END-->");
    // no items: the template is not run
    TreeFixture empty({});
    EXPECT_EQ(render(empty, nullptr, "t.tpl"),
              "<!--QORV_HTML_TOC_START-->" + toc_comment + "<!--QORV_HTML_TOC_END-->");
}

TEST_F(RenderTocTest, MissingTemplateAddsNothing) {
    TreeFixture fixture({{1, "A"}});
    EXPECT_EQ(render(fixture, fixture.find("A"), "none.tpl"), "missing");
    TreeFixture empty({});
    EXPECT_EQ(render(empty, nullptr, "none.tpl"), "missing");
    // a template too large to read opens all the same: only a TOC without items comes out
    put_sparse("huge.tpl", largest_readable_file + 1);
    EXPECT_EQ(render(fixture, fixture.find("A"), "huge.tpl"), "missing");
    EXPECT_EQ(render(empty, nullptr, "huge.tpl"),
              "<!--QORV_HTML_TOC_START-->" + toc_comment + "<!--QORV_HTML_TOC_END-->");
}

}  // namespace
