#include "html_elements.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string names_of(const element_set& set) {
    std::string names;
    for (int32_t element = 0; element < element_count; ++element) {
        if (!set.contains(element)) continue;
        if (!names.empty()) names += ' ';
        names += element_name(element);
    }
    return names;
}

TEST(HtmlElementsTest, EveryNameFindsItsPosition) {
    for (int32_t element = 0; element < element_count; ++element) {
        SCOPED_TRACE(element_name(element));
        EXPECT_EQ(element_index(element_name(element)), element);
    }
}

TEST(HtmlElementsTest, OtherNamesAreUnknown) {
    const std::string_view names[] = {"",   "abbr", "optgroup", "P",  "Body",
                                      "h7", "zz",   "aa",       "b ", std::string_view("p\0", 2)};
    for (std::string_view name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(element_index(name), -1);
    }
    EXPECT_EQ(element_name(-1), "");
    EXPECT_EQ(element_name(element_count), "");
    EXPECT_FALSE(block_elements().contains(-1));
}

TEST(HtmlElementsTest, ClosersInvertTheClosedByTable) {
    const struct {
        std::string_view start;
        std::string_view closers;
    } rows[] = {
        {"td", "colgroup td th"},
        {"tr", "colgroup td th tr"},
        {"tbody", "colgroup tbody td tfoot th thead tr"},
        {"div", "p"},
        {"h6", "p"},
        {"li", "li"},
        {"dt", "dd dt"},
        {"span", ""},
        {"body", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.start);
        EXPECT_EQ(names_of(closers_of(element_index(row.start))), row.closers);
    }
}

}  // namespace
