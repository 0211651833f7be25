#include "template_value.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

TEST(TemplateValueTest, TextToInteger) {
    struct Row {
        std::string_view text;
        int32_t integer;
    } rows[] = {
        {"  42xyz", 42},
        {" -7", -7},
        {"abc", 0},
        {"", 0},
        {"\t\n\v\f\r+12abc", 12},
        {"0.5", 0},
        {"- 5", 0},
        {"--5", 0},
        {"0x10", 0},
        {"2147483647", 2147483647},
        {"2147483648", std::numeric_limits<int32_t>::min()},
        {"4294967297", 1},
        {"-4294967296", 0},
        {"99999999999999999999", 1661992959},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.text));
        template_value value(row.text);
        EXPECT_EQ(value.to_integer(), row.integer);
        EXPECT_TRUE(value.is_text());
        EXPECT_EQ(value.view(), row.text);
    }
}

TEST(TemplateValueTest, TextFormOfIntegers) {
    struct Row {
        template_value value;
        std::string_view text;
    } rows[] = {
        {template_value(true), "1"},
        {template_value(false), "0"},
        {template_value(-5), "-5"},
        {template_value(std::numeric_limits<int32_t>::min()), "-2147483648"},
        {template_value(), "0"},
        {template_value(static_cast<const char*>(nullptr)), ""},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.text);
        const bool was_text = row.value.is_text();
        EXPECT_EQ(std::string_view(row.value.text()), row.text);
        EXPECT_EQ(row.value.text_length(), static_cast<int32_t>(row.text.size()));
        EXPECT_EQ(row.value.is_text(), was_text);
    }
}

TEST(TemplateValueTest, TextPointerStaysValidWhileValueUnchanged) {
    template_value value(123456);
    const char* first = value.text();
    EXPECT_EQ(value.text(), first);
    EXPECT_EQ(value.view().data(), first);
    EXPECT_STREQ(first, "123456");
}

TEST(TemplateValueTest, AppendAndLengthTurnIntoText) {
    template_value value(5);
    value.append("2x");
    EXPECT_TRUE(value.is_text());
    EXPECT_EQ(value.view(), "52x");
    value.set_integer(98765);
    value.set_text_length(2);
    EXPECT_TRUE(value.is_text());
    EXPECT_EQ(value.view(), "98");
}

TEST(TemplateValueTest, CopyAndMove) {
    template_value text("abc");
    template_value copy(text);
    copy.append("d");
    EXPECT_EQ(text.view(), "abc");
    EXPECT_EQ(copy.view(), "abcd");

    template_value number(7);
    copy = number;
    EXPECT_FALSE(copy.is_text());
    EXPECT_EQ(copy.view(), "7");

    template_value moved(std::move(text));
    EXPECT_EQ(moved.view(), "abc");
    EXPECT_TRUE(text.is_text());  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(text.view(), "");
    number = std::move(moved);
    EXPECT_EQ(number.view(), "abc");
}

}  // namespace
