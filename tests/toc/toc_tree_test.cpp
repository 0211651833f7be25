#include "toc_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Appends items of the given levels and dumps "level:numbering" per item in document order,
// with the parent's text in brackets.
std::string build(const std::vector<int>& levels) {
    toc_tree tree;
    toc_node* current = nullptr;
    int n = 0;
    for (int level : levels) {
        auto item = std::make_unique<toc_node>();
        item->level = level;
        item->text.append(std::to_string(++n));
        current = tree.append(std::move(item), current);
        tree.set_numbering(*current);
    }
    std::string dump;
    for (toc_node* item = tree.first(); item; item = toc_tree::next(item)) {
        if (!dump.empty()) dump += ' ';
        dump += std::string(item->text.view()) + "[";
        if (item->parent()) dump += std::string(as_toc(item->parent())->text.view());
        byte_string number;
        toc_tree::append_numbering(*item, number);
        dump.append("]").append(number.view());
    }
    return dump;
}

TEST(TocTreeTest, AppendByLevelAndNumbering) {
    struct Row {
        std::vector<int> levels;
        const char* expected;
    } rows[] = {
        {{1, 3, 2}, "1[]1.  2[1]1.1.  3[1]1.2. "},
        {{1, 4, 1}, "1[]1.  2[1]1.1.  3[]2. "},
        {{2, 1, 2}, "1[]1.  2[]2.  3[2]2.1. "},
        {{0, 1, 2, 0, 1}, "1[]1.  2[1]1.1.  3[2]1.1.1.  4[]2.  5[4]2.1. "},
        {{3, 3, 1, 2, 2, 3}, "1[]1.  2[]2.  3[]3.  4[3]3.1.  5[3]3.2.  6[5]3.2.1. "},
        {{}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        EXPECT_EQ(build(row.levels), row.expected);
    }
}

}  // namespace
